#include "tests/support/menu_owner.h"

namespace testsupport {

namespace {

constexpr wchar_t kClassName[] = L"FramewiseMenuOwner";

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITMENUPOPUP:
    case WM_MEASUREITEM:
    case WM_DRAWITEM:
    case WM_MENUCHAR:
      if (IContextMenu3* handler = MenuOwnerHandler()) {
        LRESULT result = 0;
        const HRESULT hr = handler->HandleMenuMsg2(message, wParam, lParam, &result);
        if (message == WM_MENUCHAR) MenuCharAnswers().push_back(hr == S_OK ? result : -1);
        if (hr == S_OK) return result;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

IContextMenu3*& MenuOwnerHandler() {
  static IContextMenu3* handler = nullptr;
  return handler;
}

std::vector<LRESULT>& MenuCharAnswers() {
  static std::vector<LRESULT> answers;
  return answers;
}

MenuOwnerWindow::MenuOwnerWindow(const wchar_t* title) {
  WNDCLASSW wc = {};
  wc.lpfnWndProc = OwnerProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClassName;
  RegisterClassW(&wc);  // fails harmlessly once it is registered
  window_.reset(CreateWindowW(kClassName, title, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                              wc.hInstance, nullptr));
}

}  // namespace testsupport
