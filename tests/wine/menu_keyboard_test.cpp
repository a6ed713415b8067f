// The submenu from the keyboard and for screen readers: each item's menu string and
// access key, the MSAAMENUINFO its data starts with, WM_MENUCHAR answers, and key presses
// through a real TrackPopupMenuEx (also at another monitor DPI).
#include <windows.h>
#include <oleacc.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "shellext/menu_support.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/menu_owner.h"

using testsupport::Handler;

namespace {

const RECT kScreen = {0, 0, 1280, 1024};

struct ItemSeen {
  UINT id;
  std::wstring string;
  const MSAAMENUINFO* accessible;
};

// The popup's items in order, separators left out.
std::vector<ItemSeen> ItemsOf(HMENU popup) {
  std::vector<ItemSeen> items;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    wchar_t text[128] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_DATA;
    info.dwTypeData = text;
    info.cch = 128;
    EXPECT_TRUE(GetMenuItemInfoW(popup, static_cast<UINT>(i), TRUE, &info));
    if (info.fType & MFT_SEPARATOR) continue;
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW) << i;
    items.push_back(ItemSeen{info.wID, text, reinterpret_cast<const MSAAMENUINFO*>(info.dwItemData)});
  }
  return items;
}

// The position of the item with this id in the popup, separators counted; -1 if none.
int PositionOf(HMENU popup, UINT id) {
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    if (GetMenuItemID(popup, i) == id) return i;
  }
  return -1;
}

class MenuKeyboardTest : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.File(L"wide.png");
    ASSERT_TRUE(testsupport::WritePicture(wide, 600, 300, L"image/png"));
  }
  testsupport::TempDir dir;
  std::wstring wide;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  testsupport::MenuStyleOverride noStyle{{}};
};

TEST_F(MenuKeyboardTest, EveryItemHasItsMenuStringAndScreenReaderText) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  testsupport::OpenedMenu opened(h);
  ASSERT_EQ(opened.opened, S_OK);
  const std::vector<std::wstring> expected = {
      L"Fill Screen (&Left Side of Picture)", L"Fill Screen (&Middle Portion of Picture)",
      L"Fill Screen (&Right Side of Picture)", L"&Best Fit (Entire Picture)", L"&Help && Feedback",
      L"&About Wrenfly Framewise", L"&Cancel"};
  const std::vector<ItemSeen> items = ItemsOf(opened.popup);
  ASSERT_EQ(items.size(), expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(testing::Message() << "item " << i);
    EXPECT_EQ(items[i].string, expected[i]);
    const MSAAMENUINFO* accessible = items[i].accessible;
    ASSERT_NE(accessible, nullptr);
    EXPECT_EQ(accessible->dwMSAASignature, static_cast<DWORD>(MSAA_MENU_SIG));
    ASSERT_NE(accessible->pszWText, nullptr);
    EXPECT_EQ(std::wstring(accessible->pszWText, accessible->cchWText), expected[i]);
    EXPECT_EQ(accessible->pszWText[accessible->cchWText], L'\0');
  }
}

TEST_F(MenuKeyboardTest, MenuCharChoosesTheItemOfThatKeyInItsPopupOnly) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  testsupport::OpenedMenu opened(h);
  ASSERT_EQ(opened.opened, S_OK);
  HMENU popup = opened.popup;
  auto menuChar = [&](wchar_t key, HMENU menu, LRESULT* result) {
    *result = 0x5555;
    return h.menu->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(key, MF_POPUP), reinterpret_cast<LPARAM>(menu), result);
  };
  const struct {
    wchar_t key;
    int offset;  // the item chosen; 0 for none
  } cases[] = {{L'm', 4}, {L'M', 4}, {L'l', 3}, {L'r', 6}, {L'b', 7}, {L'h', 10}, {L'a', 11}, {L'C', 12},
               {L'z', 0}, {L'F', 0}, {L'&', 0}, {L' ', 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "key " << static_cast<char>(c.key));
    LRESULT result;
    EXPECT_EQ(menuChar(c.key, popup, &result), S_OK);
    if (c.offset) {
      const int position = PositionOf(popup, 100 + c.offset);
      ASSERT_GE(position, 0);
      EXPECT_EQ(result, MAKELRESULT(position, MNC_EXECUTE));
    } else {
      EXPECT_EQ(result, MAKELRESULT(0, MNC_IGNORE));
    }
  }
  // Another menu, the shell's own or none: left to others.
  LRESULT result;
  EXPECT_EQ(menuChar(L'm', opened.menu, &result), S_FALSE);
  EXPECT_EQ(result, MAKELRESULT(0, MNC_IGNORE));
  EXPECT_EQ(menuChar(L'm', nullptr, &result), S_FALSE);
  EXPECT_EQ(result, MAKELRESULT(0, MNC_IGNORE));

  // A picture whose pixels do not decode: its greyed rows keep their keys, which choose
  // nothing; the rows that work still answer.
  const std::wstring broken = dir.File(L"broken.jpg");
  ASSERT_TRUE(testsupport::WriteUndecodableJpeg(broken, 600, 300));
  Handler greyed;
  ASSERT_EQ(greyed.InitializeWithFiles({broken}), S_OK);
  testsupport::OpenedMenu greyedMenu(greyed);
  ASSERT_EQ(greyedMenu.opened, S_OK);
  EXPECT_EQ(ItemsOf(greyedMenu.popup).front().string, L"&This picture could not be read.");
  for (wchar_t key : {L't', L'l', L'm'}) {
    LRESULT answer = 0x5555;
    EXPECT_EQ(greyed.menu->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(key, MF_POPUP),
                                          reinterpret_cast<LPARAM>(greyedMenu.popup), &answer),
              S_OK);
    EXPECT_EQ(answer, MAKELRESULT(0, MNC_IGNORE)) << static_cast<char>(key);
  }
  LRESULT help = 0;
  EXPECT_EQ(greyed.menu->HandleMenuMsg2(WM_MENUCHAR, MAKEWPARAM(L'h', MF_POPUP),
                                        reinterpret_cast<LPARAM>(greyedMenu.popup), &help),
            S_OK);
  EXPECT_EQ(help, MAKELRESULT(PositionOf(greyedMenu.popup, 110), MNC_EXECUTE));
}

// A real menu: a window that hands menu messages to the handler as the shell does, and
// TrackPopupMenuEx driven by messages posted to the open menu from a timer, one step per
// tick.
std::vector<std::function<void()>> g_steps;
size_t g_nextStep = 0;

void CALLBACK NextStep(HWND window, UINT, UINT_PTR id, DWORD) {
  if (g_nextStep < g_steps.size()) {
    g_steps[g_nextStep++]();
    return;
  }
  KillTimer(window, id);
  EndMenu();  // a menu still open after the last step: the test goes on
}

HWND OpenMenuWindow() { return FindWindowW(L"#32768", nullptr); }

void PostKeys(std::initializer_list<WPARAM> keys) {
  HWND menu = OpenMenuWindow();
  for (WPARAM key : keys) {
    PostMessageW(menu, WM_KEYDOWN, key, 0);
    PostMessageW(menu, WM_KEYUP, key, 0);
  }
}

void PostChar(wchar_t typed) { PostMessageW(OpenMenuWindow(), WM_CHAR, typed, 0); }

// Tracks the shell menu with the steps and returns the command chosen (0 for none).
UINT Track(Handler& h, HMENU shellMenu, std::vector<std::function<void()>> steps) {
  const testsupport::MenuOwnerWindow owner(L"owner");
  EXPECT_TRUE(owner);
  if (!owner) return 0;
  ShowWindow(owner.get(), SW_SHOW);
  SetForegroundWindow(owner.get());
  const testsupport::ScopedValue<IContextMenu3*> handler(testsupport::MenuOwnerHandler(), h.menu.get());
  g_steps = std::move(steps);
  g_nextStep = 0;
  testsupport::MenuCharAnswers().clear();
  SetTimer(owner.get(), 1, 150, NextStep);
  const UINT chosen = static_cast<UINT>(
      TrackPopupMenuEx(shellMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, 40, 40, owner.get(), nullptr));
  KillTimer(owner.get(), 1);
  g_steps.clear();
  return chosen;
}

TEST_F(MenuKeyboardTest, KeysChooseItemsInARealMenu) {
  // Wine matches a typed key against the item's string itself first: the keys of the
  // strings choose their items.
  for (const auto& c : {std::make_pair(L'm', 4u), std::make_pair(L'H', 10u), std::make_pair(L'b', 7u)}) {
    SCOPED_TRACE(testing::Message() << "key " << static_cast<char>(c.first));
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
    fw::UniqueMenu shell(CreatePopupMenu());
    ASSERT_EQ(h.menu->QueryContextMenu(shell.get(), 0, 100, 400, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    const wchar_t key = c.first;
    EXPECT_EQ(Track(h, shell.get(), {[] { PostKeys({VK_DOWN, VK_RIGHT}); }, [key] { PostChar(key); }}),
              100 + c.second);
  }

  // Where the system does not match an owner-drawn item's string (the strings emptied
  // here), it asks the owner with WM_MENUCHAR, and the answer chooses the item; a key no
  // item has chooses nothing and leaves the menu open.
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  testsupport::OpenedMenu opened(h);
  ASSERT_EQ(opened.opened, S_OK);
  for (int i = 0; i < GetMenuItemCount(opened.popup); ++i) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_STRING;
    wchar_t empty[] = L"";
    info.dwTypeData = empty;
    SetMenuItemInfoW(opened.popup, static_cast<UINT>(i), TRUE, &info);
  }
  EXPECT_EQ(Track(h, opened.menu, {[] { PostKeys({VK_DOWN, VK_RIGHT}); }, [] { PostChar(L'z'); },
                                   [] { PostChar(L'r'); }}),
            106u);
  const std::vector<LRESULT>& answers = testsupport::MenuCharAnswers();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0], MAKELRESULT(0, MNC_IGNORE));
  EXPECT_EQ(answers[1], MAKELRESULT(PositionOf(opened.popup, 106), MNC_EXECUTE));
}

// Opened on a monitor of 144 dpi (the menu window's DPI, patched: Wine reports one DPI),
// the items are measured and drawn for it: the preview row 1.5 inches there, the text
// in the menu font of that DPI.
TEST_F(MenuKeyboardTest, MeasuredAtTheDpiOfTheMenusMonitor) {
  const std::wstring picture = dir.File(L"p300x200.png");
  ASSERT_TRUE(testsupport::WritePicture(picture, 300, 200, L"image/png"));
  struct Seen {
    UINT dpi = 0;
    UINT column = 0;
    UINT previewHeight = 0;
    UINT textHeight = 0;
  };
  auto open = [&](UINT monitorDpi) {
    testsupport::DpiOverride dpi(monitorDpi);
    EXPECT_TRUE(dpi.applied());
    Handler h;
    EXPECT_EQ(h.InitializeWithFiles({picture}), S_OK);
    fw::UniqueMenu shell(CreatePopupMenu());
    EXPECT_EQ(h.menu->QueryContextMenu(shell.get(), 0, 100, 400, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    Seen seen;
    Track(h, shell.get(), {[] { PostKeys({VK_DOWN, VK_RIGHT}); },
                           [&] {
                             seen.dpi = h->menuLook.dpi();
                             seen.column = h->imageColumnWidth;
                             if (h->menuItems.count(3)) seen.previewHeight = h->menuItems[3]->height;
                             if (h->menuItems.count(12)) seen.textHeight = h->menuItems[12]->height;
                           },
                           [] { PostKeys({VK_ESCAPE, VK_ESCAPE}); }});
    return seen;
  };
  const Seen at96 = open(96);
  const Seen at144 = open(144);
  EXPECT_EQ(at96.dpi, 96u);
  EXPECT_EQ(at96.column, 216u);
  EXPECT_EQ(at96.previewHeight, 152u);
  EXPECT_EQ(at144.dpi, 144u);
  EXPECT_EQ(at144.column, 324u);
  EXPECT_EQ(at144.previewHeight, 224u);  // 216 and the row's padding
  EXPECT_GT(at144.textHeight, at96.textHeight);
  EXPECT_EQ(framewise::previewRowHeight, 144.0f) << "the system's row height stays";
}

}  // namespace
