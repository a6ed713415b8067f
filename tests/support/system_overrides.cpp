#include "tests/support/system_overrides.h"

#include <cwchar>

namespace testsupport {

namespace {

// The made-up desktop of the override alive now. With `g_anyHandle`, every monitor handle
// gets the first monitor's answer: a work-area override patches GetMonitorInfoW alone, so
// the handles it is asked about are the system's own.
std::vector<FakeMonitor> g_monitors;
bool g_anyHandle = false;

HMONITOR HandleOf(size_t index) { return reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0x7000 + index)); }

HMONITOR WINAPI FakeMonitorFromRect(LPCRECT rect, DWORD) {
  for (size_t i = 0; rect && i < g_monitors.size(); ++i) {
    if (EqualRect(rect, &g_monitors[i].monitor)) return HandleOf(i);
  }
  return nullptr;
}

HMONITOR WINAPI FakeMonitorFromWindow(HWND, DWORD) {
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    if (g_monitors[i].primary) return HandleOf(i);
  }
  return nullptr;
}

BOOL WINAPI FakeMonitorInfo(HMONITOR monitor, LPMONITORINFO info) {
  if (!info || info->cbSize < sizeof(MONITORINFO)) return FALSE;
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    if (monitor != HandleOf(i) && !g_anyHandle) continue;
    info->rcMonitor = g_monitors[i].monitor;
    info->rcWork = g_monitors[i].work;
    info->dwFlags = g_monitors[i].primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
  }
  return FALSE;
}

BOOL WINAPI FakeEnumDisplayMonitors(HDC, LPCRECT, MONITORENUMPROC callback, LPARAM data) {
  for (size_t i = 0; callback && i < g_monitors.size(); ++i) {
    RECT area = g_monitors[i].monitor;
    if (!callback(HandleOf(i), nullptr, &area, data)) break;
  }
  return TRUE;
}

}  // namespace

FakeDesktop::FakeDesktop(const std::vector<FakeMonitor>& monitors, bool anyHandle)
    : savedMonitors_(g_monitors), savedAnyHandle_(g_anyHandle) {
  g_monitors = monitors;
  g_anyHandle = anyHandle;
}

FakeDesktop::~FakeDesktop() {
  g_monitors = savedMonitors_;
  g_anyHandle = savedAnyHandle_;
}

MonitorsOverride::MonitorsOverride(const std::vector<FakeMonitor>& monitors, HMODULE module)
    : desktop_(monitors, false),
      fromRect_("user32.dll", "MonitorFromRect", reinterpret_cast<void*>(&FakeMonitorFromRect),
                module),
      fromWindow_("user32.dll", "MonitorFromWindow",
                  reinterpret_cast<void*>(&FakeMonitorFromWindow), module),
      info_("user32.dll", "GetMonitorInfoW", reinterpret_cast<void*>(&FakeMonitorInfo), module),
      enumerate_("user32.dll", "EnumDisplayMonitors",
                 reinterpret_cast<void*>(&FakeEnumDisplayMonitors), module) {}

MonitorsOverride::~MonitorsOverride() = default;

WorkAreaOverride::WorkAreaOverride(RECT work, RECT monitor, HMODULE module)
    : desktop_({FakeMonitor{monitor, work, true}}, true),
      info_("user32.dll", "GetMonitorInfoW",
            reinterpret_cast<void*>(&FakeMonitorInfo), module) {}

DWORD WINAPI NoModuleFileName(HMODULE, LPWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

SystemColours::SystemColours(const std::vector<std::pair<int, COLORREF>>& colours) {
  std::vector<COLORREF> values;
  for (const auto& colour : colours) {
    indexes_.push_back(colour.first);
    saved_.push_back(GetSysColor(colour.first));
    values.push_back(colour.second);
  }
  applied_ = SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), values.data()) != FALSE;
}

SystemColours::~SystemColours() {
  if (applied_) SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), saved_.data());
}

namespace {
constexpr wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightTheme[] = L"AppsUseLightTheme";
}  // namespace

AppThemeOverride::AppThemeOverride(bool dark) {
  DWORD size = sizeof(saved_);
  hadValue_ = RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme, RRF_RT_REG_DWORD, nullptr,
                           &saved_, &size) == ERROR_SUCCESS;
  const DWORD light = dark ? 0 : 1;
  applied_ = RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme, REG_DWORD, &light,
                             sizeof(light)) == ERROR_SUCCESS;
}

AppThemeOverride::~AppThemeOverride() {
  if (!applied_) return;
  if (hadValue_) {
    RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme, REG_DWORD, &saved_, sizeof(saved_));
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme);
  }
}

namespace {

using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
VerQueryValueFunction g_realVerQueryValue = nullptr;

BOOL WINAPI PrereleaseVerQueryValueW(LPCVOID block, LPCWSTR name, LPVOID* value, PUINT length) {
  if (!g_realVerQueryValue(block, name, value, length)) return FALSE;
  if (wcscmp(name, L"\\") == 0 && *value && *length >= sizeof(VS_FIXEDFILEINFO)) {
    auto* info = static_cast<VS_FIXEDFILEINFO*>(*value);
    info->dwFileFlags |= VS_FF_PRERELEASE;
    info->dwFileFlagsMask |= VS_FF_PRERELEASE;
  }
  return TRUE;
}

// The imaging library's status for a family it does not have (FontFamilyNotFound).
constexpr int kFontFamilyNotFound = 14;
int WINAPI NoFontFamily(const WCHAR*, void*, void** family) {
  *family = nullptr;
  return kFontFamilyNotFound;
}
int WINAPI NoGenericFamily(void** family) {
  *family = nullptr;
  return kFontFamilyNotFound;
}

}  // namespace

PrereleaseBuild::PrereleaseBuild()
    : query_("version.dll", "VerQueryValueW", reinterpret_cast<void*>(&PrereleaseVerQueryValueW)) {
  if (query_.real()) g_realVerQueryValue = query_.real_as<VerQueryValueFunction>();
}

NoFontFamilies::NoFontFamilies()
    : named_("gdiplus.dll", "GdipCreateFontFamilyFromName", reinterpret_cast<void*>(&NoFontFamily)),
      generic_("gdiplus.dll", "GdipGetGenericFontFamilySansSerif",
               reinterpret_cast<void*>(&NoGenericFamily)) {}

}  // namespace testsupport
