#include "framework/dialog.h"

#include "framework/app.h"

namespace fw {

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::~CDialog() { DestroyWindow(); }

BOOL CDialog::Create(HWND owner) {
  if (hwnd_) return FALSE;
  if (!owner) owner = GetActiveWindow();
  modal_ = false;
  const HWND window = CreateDialogParamW(ResourceInstance(), MAKEINTRESOURCEW(templateId_), owner,
                                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  return window != nullptr;
}

INT_PTR CDialog::DoModal() {
  if (hwnd_) return -1;
  modal_ = true;
  const INT_PTR result = DialogBoxParamW(ResourceInstance(), MAKEINTRESOURCEW(templateId_), parent_,
                                         &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
  hwnd_ = nullptr;
  return result;
}

BOOL CDialog::DestroyWindow() {
  if (!hwnd_) return FALSE;
  const HWND window = hwnd_;
  if (modal_) {
    ::EndDialog(window, IDCANCEL);
    return TRUE;
  }
  return ::DestroyWindow(window);  // WM_NCDESTROY clears hwnd_
}

void CDialog::EndDialog(INT_PTR result) {
  if (!hwnd_) return;
  if (modal_) {
    ::EndDialog(hwnd_, result);
  } else {
    ::DestroyWindow(hwnd_);
  }
}

bool CDialog::OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR* result) {
  if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
    if (LOWORD(wParam) == IDOK) {
      OnOK();
      *result = TRUE;
      return true;
    }
    if (LOWORD(wParam) == IDCANCEL) {
      OnCancel();
      *result = TRUE;
      return true;
    }
  }
  return false;
}

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = window;
    return self->OnInitDialog();
  }
  self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    self->hwnd_ = nullptr;
    SetWindowLongPtrW(window, DWLP_USER, 0);
    return FALSE;
  }
  ModuleStateScope state;
  INT_PTR result = 0;
  if (self->OnMessage(message, wParam, lParam, &result)) {
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  }
  return FALSE;
}

}  // namespace fw
