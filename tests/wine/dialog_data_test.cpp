// Dialog data exchange on real controls: a control's text both ways, whole at every length,
// and a check box's three states, with anything else shown clear.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "framework/dialog.h"
#include "resources/resource_ids.h"
#include "tests/support/test_support.h"

namespace fw {
namespace {

HWND Child(HWND host, const wchar_t* cls, DWORD style, int id) {
  return CreateWindowExW(0, cls, L"", WS_CHILD | style, 0, 0, 200, 20, host,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

TEST(DialogDataExchange, TextsOfEveryLengthAndCheckStates) {
  testsupport::UniqueWindow host(CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 100,
                                                 nullptr, nullptr, GetModuleHandleW(nullptr),
                                                 nullptr));
  ASSERT_TRUE(host);
  ASSERT_NE(Child(host.get(), L"EDIT", ES_AUTOHSCROLL, 101), nullptr);
  ASSERT_NE(Child(host.get(), L"BUTTON", BS_AUTO3STATE, 102), nullptr);

  for (const std::wstring& text :
       {std::wstring(), std::wstring(L"x"), std::wstring(L"two words"), std::wstring(300, L'w')}) {
    SCOPED_TRACE(text.size());
    std::wstring shown = text;
    CDataExchange load(host.get(), false);
    DDX_Text(&load, 101, shown);
    std::wstring read = L"marker";
    CDataExchange save(host.get(), true);
    DDX_Text(&save, 101, read);
    EXPECT_EQ(read, text);
    EXPECT_FALSE(save.failed());
  }

  const struct { int shown, read; } states[] = {{0, 0}, {1, 1}, {2, 2}, {3, 0}, {-1, 0}};
  for (const auto& s : states) {
    SCOPED_TRACE(s.shown);
    int value = s.shown;
    CDataExchange load(host.get(), false);
    DDX_Check(&load, 102, value);
    EXPECT_EQ(value, s.read);
    int read = 99;
    CDataExchange save(host.get(), true);
    DDX_Check(&save, 102, read);
    EXPECT_EQ(read, s.read);
  }

  // A control the dialog does not have fails the exchange and leaves the member.
  std::wstring untouched = L"kept";
  CDataExchange missing(host.get(), true);
  DDX_Text(&missing, 999, untouched);
  EXPECT_TRUE(missing.failed());
  EXPECT_EQ(untouched, L"kept");
}

// A dialog of the about box's template whose handlers record what reached them.
class RecordingDialog : public CDialog {
 public:
  RecordingDialog() : CDialog(IDD_ABOUT) {}
  int exchanges = 0;
  int finalDestroys = 0;
  bool refuseData = false;
  bool postOkOnInit = false;
  bool throwOnMessage = false;
  bool destroyOnInit = false;
  BOOL destroyed = FALSE;
  int allow = 1;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    if (postOkOnInit) PostMessageW(GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    if (destroyOnInit) PostMessageW(GetSafeHwnd(), WM_USER + 4, 0, 0);
    return TRUE;
  }
  void DoDataExchange(CDataExchange* exchange) override {
    ++exchanges;
    DDX_Check(exchange, IDC_ABOUT_ALLOW_CHECKS, allow);
    if (refuseData) exchange->Fail();
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override {
    if (throwOnMessage && message == WM_USER + 3) throw std::runtime_error("handler failed");
    if (message == WM_USER + 4) {
      destroyed = DestroyWindow();
      *result = 0;
      return true;
    }
    if (message == WM_CTLCOLORSTATIC || message == WM_USER + 1) {
      *result = 0x1234;
      return true;
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
  }
  void OnFinalDestroy() override { ++finalDestroys; }
};

LRESULT Click(HWND dialog, int id, WORD code = BN_CLICKED) {
  return SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), 0);
}

// A modeless dialog: made once, its controls loaded on creation; a handled message answers
// through the message result, the colour messages with their own return value, an
// unhandled one nothing; OK saves and closes only when saving succeeds, Cancel just closes;
// a handler that throws does not take the window down; the object removes a live window.
TEST(DialogLifecycle, ModelessMessagesOkAndCancel) {
  {
    RecordingDialog dialog;
    EXPECT_FALSE(dialog.DestroyWindow());  // no window yet
    ASSERT_TRUE(dialog.Create());
    const HWND window = dialog.GetSafeHwnd();
    ASSERT_TRUE(IsWindow(window));
    EXPECT_FALSE(dialog.Create());  // one window an object
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_EQ(dialog.exchanges, 1);
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_ABOUT_ALLOW_CHECKS, BM_GETCHECK, 0, 0), BST_CHECKED);

    EXPECT_EQ(SendMessageW(window, WM_USER + 1, 0, 0), 0x1234);
    HDC dc = GetDC(window);
    EXPECT_EQ(SendMessageW(window, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(GetDlgItem(window, IDOK))),
              0x1234);
    ReleaseDC(window, dc);
    EXPECT_EQ(SendMessageW(window, WM_USER + 2, 0, 0), 0);
    dialog.throwOnMessage = true;
    EXPECT_EQ(SendMessageW(window, WM_USER + 3, 0, 0), 0);
    EXPECT_TRUE(IsWindow(window));

    // Another notification of the OK button is not a click.
    Click(window, IDOK, BN_SETFOCUS);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(dialog.exchanges, 1);
    // Saving fails: the dialog stays, what it read is kept for the next try.
    SendDlgItemMessageW(window, IDC_ABOUT_ALLOW_CHECKS, BM_SETCHECK, BST_UNCHECKED, 0);
    dialog.refuseData = true;
    Click(window, IDOK);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(dialog.exchanges, 2);
    dialog.refuseData = false;
    // Asked without a direction, the exchange reads the controls, and the members take them.
    dialog.allow = 1;
    EXPECT_TRUE(dialog.UpdateData());
    EXPECT_EQ(dialog.allow, 0);
    EXPECT_EQ(SendDlgItemMessageW(window, IDC_ABOUT_ALLOW_CHECKS, BM_GETCHECK, 0, 0),
              BST_UNCHECKED);
    Click(window, IDOK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dialog.exchanges, 4);
    EXPECT_EQ(dialog.allow, 0);
    EXPECT_EQ(dialog.finalDestroys, 1);
    EXPECT_FALSE(dialog.UpdateData(TRUE));  // nothing to read from

    // Cancel closes without reading the controls.
    ASSERT_TRUE(dialog.Create());
    Click(dialog.GetSafeHwnd(), IDCANCEL);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(dialog.exchanges, 5);  // the load on creation only
    EXPECT_EQ(dialog.finalDestroys, 2);
  }
  HWND left = nullptr;
  {
    RecordingDialog dialog;
    ASSERT_TRUE(dialog.Create());
    left = dialog.GetSafeHwnd();
  }
  EXPECT_FALSE(IsWindow(left));
}

// A modal dialog returns the code it was ended with, and its object is free again after.
TEST(DialogLifecycle, ModalReturnsItsEndCode) {
  RecordingDialog dialog;
  dialog.postOkOnInit = true;
  dialog.allow = 0;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
  EXPECT_EQ(dialog.exchanges, 2);
  EXPECT_EQ(dialog.allow, 0);
  EXPECT_EQ(dialog.finalDestroys, 1);
  EXPECT_EQ(dialog.DoModal(), IDOK);  // again
  EXPECT_EQ(dialog.finalDestroys, 2);

  // Destroyed from inside, a modal dialog ends as cancelled, and the call says it did.
  RecordingDialog destroying;
  destroying.destroyOnInit = true;
  EXPECT_EQ(destroying.DoModal(), IDCANCEL);
  EXPECT_TRUE(destroying.destroyed);
  EXPECT_EQ(destroying.GetSafeHwnd(), nullptr);
  // A modeless one is destroyed at once.
  ASSERT_TRUE(destroying.Create());
  const HWND window = destroying.GetSafeHwnd();
  EXPECT_TRUE(destroying.DestroyWindow());
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(destroying.GetSafeHwnd(), nullptr);
}

// A dialog that leaves its first message to the base class has the keyboard on its first
// tab stop (the About template's OK button) by the time it is shown: the dialog manager
// puts it there when the first message asks for it.
class PlainDialog : public CDialog {
 public:
  PlainDialog() : CDialog(IDD_ABOUT) {}
  int focusIdAtOpen = 0;  // as it is shown; 0: on no control of the dialog

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override {
    if (message == WM_SHOWWINDOW && wParam) {
      const HWND focus = GetFocus();
      if (focus && GetParent(focus) == GetSafeHwnd()) focusIdAtOpen = GetDlgCtrlID(focus);
      PostMessageW(GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    }
    return CDialog::OnMessage(message, wParam, lParam, result);
  }
};

TEST(DialogLifecycle, OpensWithTheKeyboardOnItsFirstTabStop) {
  PlainDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDCANCEL);
  EXPECT_EQ(dialog.focusIdAtOpen, IDOK);
}

}  // namespace
}  // namespace fw
