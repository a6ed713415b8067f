// The window framework's small pieces on real windows: texts formatted and loaded from the
// string table, and a control object attached to a control by subclassing.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/app_theme.h"
#include "framework/static_control.h"
#include "framework/strings.h"
#include "resources/resource_ids.h"
#include "tests/support/import_patch.h"
#include "tests/support/system_overrides.h"
#include "tests/support/test_support.h"

namespace fw {
namespace {

// "%s" takes the arguments in turn, "%%" is a percent sign; nothing else is a format.
TEST(Strings, FormatTakesPercentSAndDoublePercentOnly) {
  EXPECT_EQ(FormatString(L"%s and %s", L"one", L"two"), L"one and two");
  EXPECT_EQ(FormatString(L"%s%s", L"a", L""), L"a");
  EXPECT_EQ(FormatString(L"%s %s %s", L"a", L"b"), L"a b ");  // no third argument
  EXPECT_EQ(FormatString(L"[%s] [%s]", L"only"), L"[only] []");
  EXPECT_EQ(FormatString(L"100%%", L"x"), L"100%");
  EXPECT_EQ(FormatString(L"%%s is %s", L"x"), L"%s is x");
  EXPECT_EQ(FormatString(L"%d %1 %", L"x"), L"%d %1 %");
  EXPECT_EQ(FormatString(L"%", L"x"), L"%");
  EXPECT_EQ(FormatString(L"", L"x"), L"");
  EXPECT_EQ(FormatString(L"%s", L"%s"), L"%s");  // an argument is not formatted again
}

// A string of the table whole, as the system copies it; an identifier without one, nothing.
TEST(Strings, ResourceStringsAreWholeOrNothing) {
  for (UINT id : {static_cast<UINT>(IDS_BETA_NOTICE), static_cast<UINT>(IDS_BETA)}) {
    wchar_t copied[512] = {};
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, copied, 512);
    ASSERT_GT(length, 0) << id;
    EXPECT_EQ(LoadResourceString(id), std::wstring(copied, static_cast<size_t>(length))) << id;
  }
  EXPECT_EQ(LoadResourceString(65000), L"");
}

// A control object that records what reached it.
class RecordingStatic : public CStatic {
 public:
  int presubclassed = 0;
  int painted = 0;
  int notified = 0;
  int erased = 0;
  UINT lastNotification = 0;

 protected:
  void PreSubclassWindow() override {
    ++presubclassed;
    EXPECT_NE(GetSafeHwnd(), nullptr);  // the handle is set before messages arrive
  }
  bool OnMessage(UINT message, WPARAM, LPARAM, LRESULT* result) override {
    if (message == WM_ERASEBKGND) ++erased;
    if (message != WM_USER + 7) return false;
    ++painted;
    *result = 42;
    return true;
  }
  bool OnChildNotify(UINT message, WPARAM, LPARAM, LRESULT* result) override {
    ++notified;
    lastNotification = message;
    *result = 99;
    return true;
  }
};

HWND Static(HWND parent, int id, const wchar_t* text) {
  return CreateWindowExW(0, L"STATIC", text, WS_CHILD | SS_NOTIFY, 0, 0, 100, 20, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleW(nullptr), nullptr);
}

// A hidden parent for the controls under test.
HWND Host() {
  return CreateWindowExW(0, L"STATIC", L"host", WS_POPUP, 0, 0, 300, 100, nullptr, nullptr,
                         GetModuleHandleW(nullptr), nullptr);
}

// One object a control and one control an object; messages reach the object, and what it
// does not handle reaches the control; a control's notifications to its parent are given
// to its object; detaching or destroying the control frees both.
// The windows whose subclass was taken off, in order.
std::vector<HWND> g_subclassRemovedFrom;
decltype(&RemoveWindowSubclass) g_realRemoveSubclass = nullptr;
BOOL WINAPI RecordingRemoveSubclass(HWND window, SUBCLASSPROC procedure, UINT_PTR id) {
  g_subclassRemovedFrom.push_back(window);
  return g_realRemoveSubclass(window, procedure, id);
}

TEST(ControlObject, AttachesOnceAndDetachesOnEveryPath) {
  testsupport::UniqueWindow host(Host());
  ASSERT_TRUE(host);
  const HWND first = Static(host.get(), 11, L"first text");
  const HWND second = Static(host.get(), 12, L"");
  ASSERT_TRUE(first && second);

  RecordingStatic object, other;
  EXPECT_FALSE(object.SubclassWindow(nullptr));
  EXPECT_EQ(object.GetWindowText(), L"");  // not attached
  EXPECT_FALSE(object.DestroyWindow());
  ASSERT_TRUE(object.SubclassWindow(first));
  EXPECT_EQ(object.presubclassed, 1);
  EXPECT_FALSE(object.SubclassWindow(second));  // already attached
  EXPECT_FALSE(other.SubclassWindow(first));    // the control has its object
  EXPECT_EQ(other.presubclassed, 0);
  EXPECT_EQ(CStatic::FromHandle(first), &object);
  EXPECT_EQ(CStatic::FromHandle(second), nullptr);
  EXPECT_EQ(CStatic::FromHandle(nullptr), nullptr);

  EXPECT_EQ(SendMessageW(first, WM_USER + 7, 0, 0), 42);
  EXPECT_EQ(object.painted, 1);
  EXPECT_EQ(object.GetWindowText(), L"first text");  // the control's own processing
  object.SetWindowText(std::wstring(300, L'x'));
  EXPECT_EQ(object.GetWindowText(), std::wstring(300, L'x'));
  object.SetWindowText(L"");
  EXPECT_EQ(object.GetWindowText(), L"");

  // Reflection: notifications from the control, not from another or from a menu.
  LRESULT result = 0;
  EXPECT_TRUE(CStatic::ReflectNotification(WM_COMMAND, MAKEWPARAM(11, STN_CLICKED),
                                           reinterpret_cast<LPARAM>(first), &result));
  EXPECT_EQ(result, 99);
  for (UINT colour : {WM_CTLCOLORSTATIC, WM_CTLCOLORBTN, WM_CTLCOLOREDIT, WM_CTLCOLORLISTBOX}) {
    EXPECT_TRUE(CStatic::ReflectNotification(colour, 0, reinterpret_cast<LPARAM>(first), &result));
    EXPECT_EQ(object.lastNotification, colour);
  }
  EXPECT_EQ(object.notified, 5);
  EXPECT_FALSE(CStatic::ReflectNotification(WM_COMMAND, MAKEWPARAM(12, STN_CLICKED),
                                            reinterpret_cast<LPARAM>(second), &result));
  EXPECT_FALSE(CStatic::ReflectNotification(WM_COMMAND, MAKEWPARAM(5, 0), 0, &result));
  EXPECT_FALSE(
      CStatic::ReflectNotification(WM_NOTIFY, 11, reinterpret_cast<LPARAM>(first), &result));
  EXPECT_FALSE(
      CStatic::ReflectNotification(WM_CTLCOLORDLG, 0, reinterpret_cast<LPARAM>(first), &result));
  EXPECT_EQ(object.notified, 5);

  // Detached: the control is its own again, and may take another object.
  EXPECT_EQ(object.UnsubclassWindow(), first);
  EXPECT_EQ(object.GetSafeHwnd(), nullptr);
  EXPECT_EQ(CStatic::FromHandle(first), nullptr);
  EXPECT_EQ(SendMessageW(first, WM_USER + 7, 0, 0), 0);
  EXPECT_EQ(object.painted, 1);
  EXPECT_EQ(object.UnsubclassWindow(), nullptr);
  ASSERT_TRUE(other.SubclassWindow(first));
  // Destroyed through the object: the object lets go of it, and takes its subclass off as
  // the window goes, as the system asks of every subclass.
  testsupport::ImportPatch removal("comctl32.dll", "RemoveWindowSubclass",
                                   reinterpret_cast<void*>(&RecordingRemoveSubclass));
  ASSERT_NE(removal.real(), nullptr);
  g_realRemoveSubclass = removal.real_as<decltype(g_realRemoveSubclass)>();
  g_subclassRemovedFrom.clear();
  EXPECT_TRUE(other.DestroyWindow());
  EXPECT_FALSE(IsWindow(first));
  EXPECT_EQ(other.GetSafeHwnd(), nullptr);
  EXPECT_EQ(g_subclassRemovedFrom, std::vector<HWND>{first});
  // Destroyed with its parent while attached: the same.
  ASSERT_TRUE(object.SubclassWindow(second));
  host.reset();
  EXPECT_EQ(object.GetSafeHwnd(), nullptr);
  EXPECT_EQ(g_subclassRemovedFrom, (std::vector<HWND>{first, second}));
}

// A plain control object handles nothing itself: the control keeps its own processing
// and its parent its notifications.
TEST(ControlObject, APlainObjectLeavesEverythingToTheControl) {
  testsupport::UniqueWindow host(Host());
  ASSERT_TRUE(host);
  const HWND control = Static(host.get(), 11, L"plain text");
  ASSERT_TRUE(control);
  CStatic plain;
  ASSERT_TRUE(plain.SubclassWindow(control));
  EXPECT_EQ(SendMessageW(control, WM_GETTEXTLENGTH, 0, 0), 10);
  LRESULT result = 0;
  EXPECT_FALSE(CStatic::ReflectNotification(WM_CTLCOLORSTATIC, 0, reinterpret_cast<LPARAM>(control),
                                            &result));
  EXPECT_FALSE(CStatic::ReflectNotification(WM_COMMAND, MAKEWPARAM(11, STN_CLICKED),
                                            reinterpret_cast<LPARAM>(control), &result));
}

// Invalidated, a control is painted again on an erased background: a link drawn with
// transparent text would otherwise show its old text under the new.
TEST(ControlObject, InvalidatingErasesTheBackground) {
  testsupport::UniqueWindow host(CreateWindowExW(0, L"STATIC", L"host", WS_POPUP | WS_VISIBLE, 0, 0,
                                                 300, 100, nullptr, nullptr,
                                                 GetModuleHandleW(nullptr), nullptr));
  ASSERT_TRUE(host);
  const HWND control = Static(host.get(), 11, L"text");
  ASSERT_TRUE(control);
  ShowWindow(control, SW_SHOWNA);
  RecordingStatic object;
  ASSERT_TRUE(object.SubclassWindow(control));
  UpdateWindow(control);
  object.erased = 0;
  object.Invalidate();
  UpdateWindow(control);
  EXPECT_EQ(object.erased, 1);
}

// The apps' dark choice is a DWORD AppsUseLightTheme of 0; without one, or with one of
// another type, apps are light.
TEST(AppTheme, DarkOnlyWhenTheUserChoseIt) {
  const testsupport::AppThemeOverride saved(false);  // puts the user's own back after
  ASSERT_TRUE(saved.applied());
  const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
  const DWORD light = 1, dark = 0;
  ASSERT_EQ(
      RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &dark, sizeof(dark)),
      ERROR_SUCCESS);
  EXPECT_TRUE(AppsUseDarkTheme());
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_DWORD, &light,
                            sizeof(light)),
            ERROR_SUCCESS);
  EXPECT_FALSE(AppsUseDarkTheme());
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme", REG_SZ, L"0", 4),
            ERROR_SUCCESS);
  EXPECT_FALSE(AppsUseDarkTheme());
  ASSERT_EQ(RegDeleteKeyValueW(HKEY_CURRENT_USER, key, L"AppsUseLightTheme"), ERROR_SUCCESS);
  EXPECT_FALSE(AppsUseDarkTheme());
}

BOOL WINAPI RefusingSetWindowSubclass(HWND, SUBCLASSPROC, UINT_PTR, DWORD_PTR) { return FALSE; }
BOOL WINAPI RefusingSetProp(HWND, LPCWSTR, HANDLE) { return FALSE; }

// A control the system will not subclass, or on which the object cannot be marked, stays
// its own: the object is not attached and the control's messages reach it no more.
TEST(ControlObject, AControlThatCannotBeTakenStaysItsOwn) {
  testsupport::UniqueWindow host(Host());
  ASSERT_TRUE(host);
  const HWND control = Static(host.get(), 11, L"text");
  ASSERT_TRUE(control);
  for (bool refuseSubclass : {true, false}) {
    SCOPED_TRACE(refuseSubclass ? "no subclass" : "no mark");
    RecordingStatic object;
    {
      testsupport::ImportPatch refused(refuseSubclass ? "comctl32.dll" : "user32.dll",
                                       refuseSubclass ? "SetWindowSubclass" : "SetPropW",
                                       refuseSubclass
                                           ? reinterpret_cast<void*>(&RefusingSetWindowSubclass)
                                           : reinterpret_cast<void*>(&RefusingSetProp));
      ASSERT_NE(refused.real(), nullptr);
      EXPECT_FALSE(object.SubclassWindow(control));
    }
    EXPECT_EQ(object.GetSafeHwnd(), nullptr);
    EXPECT_EQ(CStatic::FromHandle(control), nullptr);
    EXPECT_EQ(SendMessageW(control, WM_USER + 7, 0, 0), 0);
    EXPECT_EQ(object.painted, 0);
  }
}

}  // namespace
}  // namespace fw
