#include "tests/support/system_overrides.h"

namespace testsupport {

namespace {

std::vector<FakeMonitor> g_monitors;

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
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    if (monitor != HandleOf(i) || !info || info->cbSize < sizeof(MONITORINFO)) continue;
    info->rcMonitor = g_monitors[i].monitor;
    info->rcWork = g_monitors[i].work;
    info->dwFlags = g_monitors[i].primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
  }
  return FALSE;
}

// The monitors are set before the imports are patched (the first member to be made).
const char* Install(const std::vector<FakeMonitor>& monitors) {
  g_monitors = monitors;
  return "user32.dll";
}

}  // namespace

MonitorsOverride::MonitorsOverride(const std::vector<FakeMonitor>& monitors, HMODULE module)
    : fromRect_(Install(monitors), "MonitorFromRect",
                reinterpret_cast<void*>(&FakeMonitorFromRect), module),
      fromWindow_("user32.dll", "MonitorFromWindow", reinterpret_cast<void*>(&FakeMonitorFromWindow),
                  module),
      info_("user32.dll", "GetMonitorInfoW", reinterpret_cast<void*>(&FakeMonitorInfo), module) {}

MonitorsOverride::~MonitorsOverride() = default;

namespace {

RECT g_work;
RECT g_monitor;

BOOL WINAPI FakePrimaryInfo(HMONITOR, LPMONITORINFO info) {
  if (!info || info->cbSize < sizeof(MONITORINFO)) return FALSE;
  info->rcWork = g_work;
  info->rcMonitor = g_monitor;
  info->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

// The areas are set before the import is patched.
const char* Install(RECT work, RECT monitor) {
  g_work = work;
  g_monitor = monitor;
  return "user32.dll";
}

}  // namespace

WorkAreaOverride::WorkAreaOverride(RECT work, RECT monitor, HMODULE module)
    : info_(Install(work, monitor), "GetMonitorInfoW", reinterpret_cast<void*>(&FakePrimaryInfo),
            module) {}

SystemColours::SystemColours(std::initializer_list<std::pair<int, COLORREF>> colours) {
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

}  // namespace testsupport
