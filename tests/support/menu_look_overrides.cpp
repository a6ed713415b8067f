#include "tests/support/menu_look_overrides.h"

#include <vssym32.h>

#include "framework/win_owners.h"

namespace testsupport {

namespace {

// The styles of the override alive now. Each made-up class is handed out as a real
// handle of another class (so that a handle closed after the override is gone is still
// one the system knows), told apart by the table below.
constexpr const wchar_t* kStandInClasses[] = {L"Menu", L"Button", L"Edit", L"Tab", L"Header", L"Status"};
struct StyleSlot {
  FakeMenuStyle style;
  HTHEME handle = nullptr;
};
std::vector<StyleSlot> g_styles;
std::vector<std::wstring> g_asked;
int g_openHandles = 0;
bool g_failDrawing = false;
bool g_failColours = false;
HTHEME(WINAPI* g_realOpen)(HWND, LPCWSTR) = nullptr;
HRESULT(WINAPI* g_realClose)(HTHEME) = nullptr;
HRESULT(WINAPI* g_realDraw)(HTHEME, HDC, int, int, LPCRECT, LPCRECT) = nullptr;
HRESULT(WINAPI* g_realColour)(HTHEME, int, int, int, COLORREF*) = nullptr;

const FakeMenuStyle* StyleOf(HTHEME theme) {
  for (const StyleSlot& slot : g_styles) {
    if (theme && slot.handle == theme) return &slot.style;
  }
  return nullptr;
}

HTHEME WINAPI FakeOpenThemeData(HWND, LPCWSTR name) {
  g_asked.push_back(name ? name : L"");
  for (size_t i = 0; i < g_styles.size(); ++i) {
    if (!name || lstrcmpiW(name, g_styles[i].style.themeClass.c_str()) != 0) continue;
    HTHEME theme = g_realOpen ? g_realOpen(nullptr, kStandInClasses[i]) : nullptr;
    if (!theme) theme = reinterpret_cast<HTHEME>(static_cast<ULONG_PTR>(0x5100 + i));
    g_styles[i].handle = theme;
    ++g_openHandles;
    return theme;
  }
  return nullptr;
}

HRESULT WINAPI FakeCloseThemeData(HTHEME theme) {
  if (StyleOf(theme)) --g_openHandles;
  const ULONG_PTR value = reinterpret_cast<ULONG_PTR>(theme);
  if (value >= 0x5100 && value < 0x5100 + 16) return S_OK;  // made up: nothing to close
  return g_realClose ? g_realClose(theme) : E_HANDLE;
}

HRESULT WINAPI FakeDrawThemeBackground(HTHEME theme, HDC dc, int part, int state, LPCRECT rect, LPCRECT clip) {
  const FakeMenuStyle* style = StyleOf(theme);
  if (!style) return g_realDraw ? g_realDraw(theme, dc, part, state, rect, clip) : E_HANDLE;
  if (g_failDrawing || !rect) return E_FAIL;
  COLORREF colour = CLR_INVALID;
  if (part == MENU_POPUPBACKGROUND) colour = style->background;
  if (part == MENU_POPUPITEM && (state == MPI_HOT || state == MPI_DISABLEDHOT)) colour = style->hot;
  if (colour == CLR_INVALID) return S_OK;  // a state that paints nothing over the background
  const fw::UniqueBrush brush(CreateSolidBrush(colour));
  return brush && FillRect(dc, rect, brush.get()) ? S_OK : E_FAIL;
}

HRESULT WINAPI FakeGetThemeColor(HTHEME theme, int part, int state, int property, COLORREF* colour) {
  const FakeMenuStyle* style = StyleOf(theme);
  if (!style) return g_realColour ? g_realColour(theme, part, state, property, colour) : E_HANDLE;
  if (g_failColours || !colour || part != MENU_POPUPITEM || property != TMT_TEXTCOLOR || state < MPI_NORMAL ||
      state > MPI_DISABLEDHOT) {
    return E_FAIL;
  }
  *colour = style->text[state - MPI_NORMAL];
  return S_OK;
}

}  // namespace

FakeMenuStyle DarkMenuStyle(const wchar_t* themeClass) {
  return FakeMenuStyle{themeClass, RGB(44, 44, 44), RGB(70, 70, 70),
                       {RGB(255, 255, 255), RGB(255, 255, 255), RGB(120, 120, 120), RGB(130, 130, 130)}};
}

FakeMenuStyle LightMenuStyle(const wchar_t* themeClass) {
  return FakeMenuStyle{themeClass, RGB(249, 249, 249), RGB(222, 232, 246),
                       {RGB(20, 20, 20), RGB(0, 0, 0), RGB(160, 160, 160), RGB(150, 150, 150)}};
}

MenuStyleOverride::MenuStyleOverride(std::vector<FakeMenuStyle> styles, HMODULE module)
    : open_("uxtheme.dll", "OpenThemeData", reinterpret_cast<void*>(&FakeOpenThemeData), module),
      close_("uxtheme.dll", "CloseThemeData", reinterpret_cast<void*>(&FakeCloseThemeData), module),
      draw_("uxtheme.dll", "DrawThemeBackground", reinterpret_cast<void*>(&FakeDrawThemeBackground), module),
      colour_("uxtheme.dll", "GetThemeColor", reinterpret_cast<void*>(&FakeGetThemeColor), module) {
  g_realOpen = open_.real_as<decltype(g_realOpen)>();
  g_realClose = close_.real_as<decltype(g_realClose)>();
  g_realDraw = draw_.real_as<decltype(g_realDraw)>();
  g_realColour = colour_.real_as<decltype(g_realColour)>();
  g_styles.clear();
  for (size_t i = 0; i < styles.size() && i < sizeof(kStandInClasses) / sizeof(kStandInClasses[0]); ++i) {
    g_styles.push_back(StyleSlot{styles[i], nullptr});
  }
  g_asked.clear();
  g_openHandles = 0;
  g_failDrawing = false;
  g_failColours = false;
}

MenuStyleOverride::~MenuStyleOverride() {
  g_failDrawing = false;
  g_failColours = false;
}

bool MenuStyleOverride::applied() const {
  return open_.real() && close_.real() && draw_.real() && colour_.real();
}
void MenuStyleOverride::FailDrawing(bool fail) { g_failDrawing = fail; }
void MenuStyleOverride::FailColours(bool fail) { g_failColours = fail; }
const std::vector<std::wstring>& MenuStyleOverride::asked() const { return g_asked; }
int MenuStyleOverride::openHandles() const { return g_openHandles; }

namespace {

int g_highContrast = -1;
int g_menuUnderlines = -1;
BOOL(WINAPI* g_realParameters)(UINT, UINT, PVOID, UINT) = nullptr;

BOOL WINAPI FakeSystemParametersInfoW(UINT action, UINT param, PVOID data, UINT flags) {
  if (action == SPI_GETHIGHCONTRAST && g_highContrast >= 0 && data) {
    auto* contrast = static_cast<HIGHCONTRASTW*>(data);
    contrast->dwFlags = HCF_AVAILABLE | (g_highContrast ? HCF_HIGHCONTRASTON : 0);
    contrast->lpszDefaultScheme = nullptr;
    return TRUE;
  }
  if (action == SPI_GETMENUUNDERLINES && g_menuUnderlines >= 0 && data) {
    *static_cast<BOOL*>(data) = g_menuUnderlines ? TRUE : FALSE;
    return TRUE;
  }
  return g_realParameters ? g_realParameters(action, param, data, flags) : FALSE;
}

}  // namespace

SystemParametersOverride::SystemParametersOverride(int highContrast, int menuUnderlines, HMODULE module)
    : savedContrast_(g_highContrast),
      savedUnderlines_(g_menuUnderlines),
      patch_("user32.dll", "SystemParametersInfoW", reinterpret_cast<void*>(&FakeSystemParametersInfoW), module) {
  if (patch_.real() && patch_.real() != reinterpret_cast<void*>(&FakeSystemParametersInfoW)) {
    g_realParameters = patch_.real_as<decltype(g_realParameters)>();
  }
  g_highContrast = highContrast;
  g_menuUnderlines = menuUnderlines;
}

SystemParametersOverride::~SystemParametersOverride() {
  g_highContrast = savedContrast_;
  g_menuUnderlines = savedUnderlines_;
}

namespace {

UINT g_windowDpi = 0;
std::vector<UINT> g_metricsAsked;
FARPROC(WINAPI* g_realGetProcAddress)(HMODULE, LPCSTR) = nullptr;

UINT WINAPI FakeGetDpiForWindow(HWND) { return g_windowDpi; }

BOOL WINAPI FakeSystemParametersInfoForDpi(UINT action, UINT param, PVOID data, UINT flags, UINT dpi) {
  g_metricsAsked.push_back(dpi);
  if (action != SPI_GETNONCLIENTMETRICS || !data) return FALSE;
  if (!SystemParametersInfoW(action, param, data, flags)) return FALSE;
  int systemDpi = 96;
  {
    const fw::WindowDc screen(nullptr);
    if (screen) systemDpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
  }
  auto* metrics = static_cast<NONCLIENTMETRICSW*>(data);
  for (LOGFONTW* font : {&metrics->lfCaptionFont, &metrics->lfSmCaptionFont, &metrics->lfMenuFont,
                         &metrics->lfStatusFont, &metrics->lfMessageFont}) {
    font->lfHeight = MulDiv(font->lfHeight, static_cast<int>(dpi), systemDpi);
  }
  return TRUE;
}

FARPROC WINAPI FakeGetProcAddress(HMODULE module, LPCSTR name) {
  if (name && !IS_INTRESOURCE(name) && module == GetModuleHandleW(L"user32.dll")) {
    const bool dpiForWindow = lstrcmpA(name, "GetDpiForWindow") == 0;
    const bool metricsForDpi = lstrcmpA(name, "SystemParametersInfoForDpi") == 0;
    if (dpiForWindow || metricsForDpi) {
      if (g_windowDpi == 0) return nullptr;
      return dpiForWindow ? reinterpret_cast<FARPROC>(&FakeGetDpiForWindow)
                          : reinterpret_cast<FARPROC>(&FakeSystemParametersInfoForDpi);
    }
  }
  return g_realGetProcAddress ? g_realGetProcAddress(module, name) : nullptr;
}

}  // namespace

DpiOverride::DpiOverride(UINT windowDpi, HMODULE module)
    : savedDpi_(g_windowDpi),
      patch_("kernel32.dll", "GetProcAddress", reinterpret_cast<void*>(&FakeGetProcAddress), module) {
  if (patch_.real() && patch_.real() != reinterpret_cast<void*>(&FakeGetProcAddress)) {
    g_realGetProcAddress = patch_.real_as<decltype(g_realGetProcAddress)>();
  }
  g_windowDpi = windowDpi;
  g_metricsAsked.clear();
}

DpiOverride::~DpiOverride() { g_windowDpi = savedDpi_; }

const std::vector<UINT>& DpiOverride::metricsAsked() const { return g_metricsAsked; }

}  // namespace testsupport
