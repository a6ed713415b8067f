#include "framework/static_control.h"

#include <commctrl.h>

#include <vector>

#include "framework/app.h"

namespace fw {

namespace {
// One subclass per object; the reference data is the object. The window property names
// the object too, so that a parent can find it (GetWindowSubclass is not exported by name
// from every version of the common controls).
constexpr UINT_PTR kSubclassId = 1;
constexpr wchar_t kObjectProperty[] = L"Framewise.CStatic";
}  // namespace

CStatic::~CStatic() { UnsubclassWindow(); }

BOOL CStatic::SubclassWindow(HWND window) {
  if (hwnd_ || !window || !IsWindow(window) || FromHandle(window)) return FALSE;
  hwnd_ = window;
  PreSubclassWindow();
  if (!SetWindowSubclass(window, &CStatic::SubclassProc, kSubclassId,
                         reinterpret_cast<DWORD_PTR>(this))) {
    hwnd_ = nullptr;
    return FALSE;
  }
  if (!SetPropW(window, kObjectProperty, this)) {
    RemoveWindowSubclass(window, &CStatic::SubclassProc, kSubclassId);
    hwnd_ = nullptr;
    return FALSE;
  }
  return TRUE;
}

HWND CStatic::UnsubclassWindow() {
  const HWND window = hwnd_;
  if (window) {
    RemoveWindowSubclass(window, &CStatic::SubclassProc, kSubclassId);
    RemovePropW(window, kObjectProperty);
    hwnd_ = nullptr;
  }
  return window;
}

BOOL CStatic::DestroyWindow() {
  return hwnd_ ? ::DestroyWindow(hwnd_) : FALSE;  // WM_NCDESTROY detaches
}

std::wstring CStatic::GetWindowText() const {
  if (!hwnd_) return std::wstring();
  const int length = GetWindowTextLengthW(hwnd_);
  if (length <= 0) return std::wstring();
  std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
  const int copied = ::GetWindowTextW(hwnd_, text.data(), length + 1);
  return std::wstring(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

void CStatic::SetWindowText(const std::wstring& text) {
  if (hwnd_) ::SetWindowTextW(hwnd_, text.c_str());
}

CStatic* CStatic::FromHandle(HWND window) {
  return window ? static_cast<CStatic*>(GetPropW(window, kObjectProperty)) : nullptr;
}

bool CStatic::ReflectNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  HWND child = nullptr;
  switch (message) {
    case WM_COMMAND:  // from a control, not from a menu or an accelerator
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      child = reinterpret_cast<HWND>(lParam);
      break;
    default:
      return false;
  }
  CStatic* control = FromHandle(child);
  return control && control->OnChildNotify(message, wParam, lParam, result);
}

bool CStatic::OnMessage(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

bool CStatic::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*) { return false; }

LRESULT CStatic::Default(UINT message, WPARAM wParam, LPARAM lParam) {
  return hwnd_ ? DefSubclassProc(hwnd_, message, wParam, lParam) : 0;
}

LRESULT CALLBACK CStatic::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<CStatic*>(data);
  if (message == WM_NCDESTROY) {
    RemoveWindowSubclass(window, &CStatic::SubclassProc, kSubclassId);
    RemovePropW(window, kObjectProperty);
    if (self) self->hwnd_ = nullptr;
    return DefSubclassProc(window, message, wParam, lParam);
  }
  if (self) {
    ModuleStateScope state;
    try {
      LRESULT result = 0;
      if (self->OnMessage(message, wParam, lParam, &result)) return result;
    } catch (...) {
      // Nothing may leave a window procedure; the control's own processing follows.
    }
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace fw
