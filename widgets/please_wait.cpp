#include "widgets/please_wait.h"

#include "resources/resource_ids.h"

namespace framewise {

PleaseWait::PleaseWait(HWND parent) : fw::CDialog(IDD_PLEASE_WAIT, parent) {}

PleaseWait::~PleaseWait() { DestroyWindow(); }

bool PleaseWait::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message == WM_DESTROY) {
    // The children still exist: note the logo before the picture control goes.
    for (HWND child = GetWindow(GetSafeHwnd(), GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
        logo_ = reinterpret_cast<HGDIOBJ>(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
      }
    }
    return false;
  }
  return fw::CDialog::OnMessage(message, wParam, lParam, result);
}

void PleaseWait::OnFinalDestroy() {
  // Freed here only when the control left it behind.
  if (logo_ && GetObjectType(logo_) == OBJ_BITMAP) DeleteObject(logo_);
  logo_ = nullptr;
}

}  // namespace framewise
