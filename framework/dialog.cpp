#include "framework/dialog.h"

#include "framework/app.h"
#include "framework/static_control.h"

#include <vector>

namespace fw {

HWND CDataExchange::Control(int id) {
  const HWND control = ::GetDlgItem(dialog_, id);
  if (!control) failed_ = true;
  return control;
}

void DDX_Text(CDataExchange* exchange, int id, std::wstring& value) {
  const HWND control = exchange->Control(id);
  if (!control) return;
  if (!exchange->saving()) {
    SetWindowTextW(control, value.c_str());
    return;
  }
  const int length = GetWindowTextLengthW(control);
  std::vector<wchar_t> text(static_cast<size_t>(length > 0 ? length : 0) + 1);
  const int copied = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
  value.assign(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void DDX_Check(CDataExchange* exchange, int id, int& value) {
  const HWND control = exchange->Control(id);
  if (!control) return;
  if (exchange->saving()) {
    value = static_cast<int>(SendMessageW(control, BM_GETCHECK, 0, 0));
    return;
  }
  if (value < 0 || value > 2) value = 0;
  SendMessageW(control, BM_SETCHECK, static_cast<WPARAM>(value), 0);
}

void DDX_Control(CDataExchange* exchange, int id, CStatic& control) {
  if (control.GetSafeHwnd()) return;
  const HWND window = exchange->Control(id);
  if (!window) return;
  if (!control.SubclassWindow(window)) exchange->Fail();
}

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

BOOL CDialog::UpdateData(BOOL saveAndValidate) {
  if (!hwnd_) return FALSE;
  CDataExchange exchange(hwnd_, saveAndValidate != FALSE);
  DoDataExchange(&exchange);
  return exchange.failed() ? FALSE : TRUE;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  if (!UpdateData(TRUE)) return;
  EndDialog(IDOK);
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

namespace {

// Messages whose answer a dialog procedure returns itself instead of in DWLP_MSGRESULT.
bool ReturnsAnswerDirectly(UINT message) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
    case WM_QUERYDRAGICON:
      return true;
    default:
      return false;
  }
}

}  // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  CDialog* self;
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<CDialog*>(lParam);
    SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
    self->hwnd_ = window;
    ModuleStateScope state;
    try {
      return self->OnInitDialog();
    } catch (...) {
      return TRUE;  // nothing may leave a dialog procedure
    }
  }
  self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (!self) return FALSE;
  if (message == WM_NCDESTROY) {
    self->hwnd_ = nullptr;
    SetWindowLongPtrW(window, DWLP_USER, 0);
    self->OnFinalDestroy();
    return FALSE;
  }
  ModuleStateScope state;
  try {
    LRESULT reflected = 0;
    INT_PTR result = 0;
    bool handled = CStatic::ReflectNotification(message, wParam, lParam, &reflected);
    if (handled) {
      result = reflected;
    } else {
      handled = self->OnMessage(message, wParam, lParam, &result);
    }
    if (!handled) return FALSE;
    if (ReturnsAnswerDirectly(message)) return result;
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
  } catch (...) {
    return FALSE;  // nothing may leave a dialog procedure
  }
}

}  // namespace fw
