// A top-level window that plays the shell's part for a context menu's messages, for the
// host program and the tests that track a real menu.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "tests/support/screen_objects.h"

namespace testsupport {

// While a handler is set (MenuOwnerHandler()), the window hands WM_INITMENUPOPUP,
// WM_MEASUREITEM, WM_DRAWITEM and WM_MENUCHAR to its HandleMenuMsg2 and answers with
// the result wherever the handler took the message (S_OK).
class MenuOwnerWindow {
 public:
  explicit MenuOwnerWindow(const wchar_t* title);
  HWND get() const { return window_.get(); }
  explicit operator bool() const { return static_cast<bool>(window_); }

 private:
  UniqueWindow window_;
};

// The handler the owner windows hand messages to: null for none, not owned. Set it for a
// while with ScopedValue.
IContextMenu3*& MenuOwnerHandler();

// What the handler answered to each WM_MENUCHAR the owner windows got: its result where
// it took the key, -1 where it left the key to others.
std::vector<LRESULT>& MenuCharAnswers();

}  // namespace testsupport
