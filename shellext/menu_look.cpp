#include "shellext/menu_look.h"

#include <uxtheme.h>
#include <vssym32.h>

#include "framework/app_theme.h"

namespace framewise {

namespace {

// The style classes a dark menu is drawn from, most specific first. The shell draws its
// own context menus from the first; none of them is documented, so each is taken only
// when it opens (a missing class gives null) and its item text is light: an unknown
// "X::Menu" may fall back to the light "Menu" class.
constexpr const wchar_t* kDarkMenuClasses[] = {L"DarkMode_ImmersiveStart::Menu", L"ImmersiveStartDark::Menu",
                                               L"DarkMode::Menu"};
constexpr wchar_t kMenuClass[] = L"Menu";

// Functions of Windows 10 (1607 and later), looked up by name: this module also runs on
// Windows 7, which lacks them.
using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFunction = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

template <typename Function>
Function User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(user32, name)))
                : nullptr;
}

bool HighContrastOn() {
  HIGHCONTRASTW contrast = {};
  contrast.cbSize = sizeof(contrast);
  return SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof(contrast), &contrast, 0) &&
         (contrast.dwFlags & HCF_HIGHCONTRASTON) != 0;
}

bool MenuUnderlinesAlways() {
  BOOL always = FALSE;
  return SystemParametersInfoW(SPI_GETMENUUNDERLINES, 0, &always, 0) && always;
}

// The menu font at `dpi`: asked for that DPI where Windows can answer, else the system
// DPI's font scaled to it.
fw::UniqueFont MenuFontFor(UINT dpi, UINT systemDpi) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  LOGFONTW font = {};
  auto forDpi = User32Function<SystemParametersInfoForDpiFunction>("SystemParametersInfoForDpi");
  if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
    font = metrics.lfMenuFont;
  } else {
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
      font = metrics.lfMenuFont;
    } else if (!GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(font), &font)) {
      return fw::UniqueFont();
    }
    if (systemDpi != 0) font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(systemDpi));
  }
  return fw::UniqueFont(CreateFontIndirectW(&font));
}

// Index into the text colours and the MENU_POPUPITEM state of an item.
int StateIndex(bool selected, bool enabled) { return (enabled ? 0 : 2) + (selected ? 1 : 0); }
constexpr int kItemStates[4] = {MPI_NORMAL, MPI_HOT, MPI_DISABLED, MPI_DISABLEDHOT};

bool IsLight(COLORREF colour) {
  return GetRValue(colour) * 299 + GetGValue(colour) * 587 + GetBValue(colour) * 114 >= 128 * 1000;
}

BOOL CALLBACK FindShowingMenu(HWND window, LPARAM found) {
  wchar_t name[8];
  if (IsWindowVisible(window) && GetClassNameW(window, name, 8) && lstrcmpW(name, L"#32768") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND ShowingMenuWindow() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindShowingMenu, reinterpret_cast<LPARAM>(&found));
  return found;
}

MenuLook MenuLook::Read(HWND menuWindow, UINT systemDpi) {
  MenuLook look;
  look.dpi_ = systemDpi != 0 ? systemDpi : 96;
  auto dpiForWindow = User32Function<GetDpiForWindowFunction>("GetDpiForWindow");
  if (menuWindow && dpiForWindow) {
    const UINT windowDpi = dpiForWindow(menuWindow);
    if (windowDpi != 0) look.dpi_ = windowDpi;
  }
  look.font_ = MenuFontFor(look.dpi_, systemDpi);
  look.alwaysUnderline_ = MenuUnderlinesAlways();
  // High contrast asks owner-drawn items for the system colours alone.
  look.highContrast_ = HighContrastOn();
  if (look.highContrast_) return look;

  if (fw::AppsUseDarkTheme()) {
    for (const wchar_t* name : kDarkMenuClasses) {
      fw::UniqueTheme theme(OpenThemeData(menuWindow, name));
      COLORREF text = 0;
      if (theme && SUCCEEDED(GetThemeColor(theme.get(), MENU_POPUPITEM, MPI_NORMAL, TMT_TEXTCOLOR, &text)) &&
          IsLight(text)) {
        look.theme_ = std::move(theme);
        look.dark_ = true;
        break;
      }
    }
  }
  if (!look.theme_) look.theme_.reset(OpenThemeData(menuWindow, kMenuClass));
  if (look.theme_) {
    for (int i = 0; i < 4; ++i) {
      COLORREF text = 0;
      if (SUCCEEDED(GetThemeColor(look.theme_.get(), MENU_POPUPITEM, kItemStates[i], TMT_TEXTCOLOR, &text))) {
        look.styleText_[i] = text;
      }
    }
  }
  return look;
}

HFONT MenuLook::font() const {
  return font_ ? font_.get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

bool MenuLook::PaintItemBackground(HDC dc, const RECT& rect, bool selected, bool enabled,
                                   COLORREF* textColour) const {
  const int index = StateIndex(selected, enabled);
  // The style's popup background, then the item's state over it (the selection, which
  // newer styles draw inset and rounded). A state without a text colour is not drawn
  // from the style at all: its text would have no colour that fits.
  if (theme_ && styleText_[index] != CLR_INVALID &&
      SUCCEEDED(DrawThemeBackground(theme_.get(), dc, MENU_POPUPBACKGROUND, 0, &rect, nullptr)) &&
      SUCCEEDED(DrawThemeBackground(theme_.get(), dc, MENU_POPUPITEM, kItemStates[index], &rect, nullptr))) {
    *textColour = styleText_[index];
    return true;
  }
  *textColour = GetSysColor(!enabled ? COLOR_GRAYTEXT : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
  return FillRect(dc, &rect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU)) != 0;
}

}  // namespace framewise
