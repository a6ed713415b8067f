#include "widgets/please_wait.h"

#include "resources/resource_ids.h"

namespace framewise {

PleaseWait::PleaseWait(HWND parent) : fw::CDialog(IDD_PLEASE_WAIT, parent) {}

PleaseWait::~PleaseWait() { DestroyWindow(); }

bool PleaseWait::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message == WM_DESTROY) {
    // The children still exist: note the logo before the picture control goes.
    logo_.Note(GetSafeHwnd());
    return false;
  }
  return fw::CDialog::OnMessage(message, wParam, lParam, result);
}

void PleaseWait::OnFinalDestroy() { logo_.Free(); }

}  // namespace framewise
