// How the submenu looks where it opens, read again on every opening (the shell gets the
// theme and settings messages, the handler does not): the DPI of the monitor under the
// menu, the menu font at that DPI, the colours of the menu's visual style (light or dark)
// or the system colours, and whether access keys are always underlined.
#pragma once

#include <windows.h>

#include "framework/theme_owner.h"
#include "framework/win_owners.h"

namespace framewise {

class MenuLook {
 public:
  // System colours and the stock font at 96 dpi: the look before any opening.
  MenuLook() = default;
  MenuLook(MenuLook&&) = default;
  MenuLook& operator=(MenuLook&&) = default;

  // The look for a menu opening now. `menuWindow` is the open menu window (null: none is
  // known, and the system's DPI is used); `systemDpi` the screen DC's dots per inch.
  static MenuLook Read(HWND menuWindow, UINT systemDpi);

  UINT dpi() const { return dpi_; }
  // The menu font at dpi(); the stock GUI font when none could be made. Not owned.
  HFONT font() const;
  bool dark() const { return dark_; }
  bool highContrast() const { return highContrast_; }
  bool styled() const { return static_cast<bool>(theme_); }
  // The user asked for access keys underlined at all times, not only after a key press.
  bool alwaysUnderline() const { return alwaysUnderline_; }

  // Paints an item's background, plain or selected, enabled or greyed, and gives the
  // colour for its text: from the visual style, or from the system colours where there is
  // none or a style call fails. False only when nothing could be painted.
  bool PaintItemBackground(HDC dc, const RECT& rect, bool selected, bool enabled,
                           COLORREF* textColour) const;

 private:
  UINT dpi_ = 96;
  fw::UniqueFont font_;
  fw::UniqueTheme theme_;
  COLORREF styleText_[4] = {CLR_INVALID, CLR_INVALID, CLR_INVALID, CLR_INVALID};  // by state
  bool dark_ = false;
  bool highContrast_ = false;
  bool alwaysUnderline_ = false;
};

// The menu window of this thread that is showing now (the menu the submenu opens from),
// or null.
HWND ShowingMenuWindow();

}  // namespace framewise
