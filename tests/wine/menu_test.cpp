// The submenu through the handler's IContextMenu3 with real menus: the entry, the rows per
// picture shape, help texts, owner-draw support and command routing.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/gdiplus_owners.h"
#include "tests/support/handler_fixture.h"
#include "settings/update_checker.h"
#include "shellext/menu_commands.h"
#include "shellext/menu_support.h"

using testsupport::Handler;
using testsupport::TempDir;

namespace {

const RECT kScreen = {0, 0, 1280, 1024};

// Rows of a populated popup as offsets from `first`, separators as 0.
std::vector<int> PopupRows(HMENU popup, UINT first) {
  std::vector<int> rows;
  for (int i = 0; i < GetMenuItemCount(popup); ++i) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_FTYPE | MIIM_ID;
    GetMenuItemInfoW(popup, i, TRUE, &info);
    rows.push_back((info.fType & MFT_SEPARATOR) ? 0 : static_cast<int>(info.wID - first));
    if (!(info.fType & MFT_SEPARATOR)) {
      EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
    }
  }
  return rows;
}

// The entry's check-mark bitmap at a position of a menu (null when it has none).
HBITMAP EntryBitmapAt(HMENU menu, UINT position) {
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_CHECKMARKS;
  return GetMenuItemInfoW(menu, position, TRUE, &info) ? info.hbmpUnchecked : nullptr;
}

class MenuTest : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.File(L"wide.jpg");
    tall = dir.File(L"tall.jpg");
    square = dir.File(L"screen.jpg");
    ASSERT_TRUE(testsupport::WritePicture(wide, 600, 300));
    ASSERT_TRUE(testsupport::WritePicture(tall, 300, 600));
    ASSERT_TRUE(testsupport::WritePicture(square, 500, 400));  // 1.25, the screen's
  }

  // Initialises and adds the entry at position 1 of a two-item menu; returns its submenu.
  HMENU AddEntry(Handler& h, const std::wstring& picture, UINT first = 100) {
    EXPECT_EQ(h.InitializeWithFiles({picture}), S_OK);
    menu.reset(CreatePopupMenu());
    AppendMenuW(menu.get(), MF_STRING, 1, L"Open");
    AppendMenuW(menu.get(), MF_STRING, 2, L"Print");
    EXPECT_EQ(h.menu->QueryContextMenu(menu.get(), 1, first, first + 200, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    return GetSubMenu(menu.get(), 1);
  }

  // AddEntry, then opens the submenu as the shell does on hovering the entry.
  HMENU OpenSubmenu(Handler& h, const std::wstring& picture, UINT first = 100) {
    HMENU popup = AddEntry(h, picture, first);
    LRESULT result = 99;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 1, &result), S_OK);
    EXPECT_EQ(result, 0);
    return popup;
  }

  TempDir dir;
  std::wstring wide, tall, square;
  fw::UniqueMenu menu;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  // Process-wide answers the tests set, put back after each.
  testsupport::ScopedValue<int> ownerDraw{framewise::ownerDrawSupported, -1};
  testsupport::ScopedValue<volatile LONG> updateFound{framewise::UpdateFound, 0};
  testsupport::ScopedValue<const wchar_t* volatile> updateText{framewise::UpdateText, nullptr};
};

TEST_F(MenuTest, EntryIsInsertedWithFourteenIdentifiers) {
  Handler h;
  HMENU popup = AddEntry(h, wide, 1000);
  ASSERT_EQ(GetMenuItemCount(menu.get()), 3);
  wchar_t text[128] = {};
  GetMenuStringW(menu.get(), 1, text, 128, MF_BYPOSITION);
  EXPECT_STREQ(text, L"Wrenfly Framewise - Set Desktop Background");
  EXPECT_EQ(h->firstCommandId, 1000);
  // Until it opens, the submenu holds one placeholder: a separator with the first identifier.
  ASSERT_EQ(GetMenuItemCount(popup), 1);
  MENUITEMINFOW placeholder = {};
  placeholder.cbSize = sizeof(placeholder);
  placeholder.fMask = MIIM_FTYPE | MIIM_ID;
  ASSERT_TRUE(GetMenuItemInfoW(popup, 0, TRUE, &placeholder));
  EXPECT_TRUE(placeholder.fType & MFT_SEPARATOR);
  EXPECT_EQ(placeholder.wID, 1000u);
  // The entry's bitmap goes to the entry, not to the shell's own items around it.
  EXPECT_NE(EntryBitmapAt(menu.get(), 1), nullptr);
  EXPECT_EQ(EntryBitmapAt(menu.get(), 0), nullptr);
  EXPECT_EQ(EntryBitmapAt(menu.get(), 2), nullptr);

  LRESULT result = 99;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 1, &result), S_OK);
  EXPECT_EQ(PopupRows(popup, 1000), (std::vector<int>{3, 4, 6, 0, 7, 0, 10, 11, 0, 12}));

  // A host's identifiers may start as low as 0 (the least the interface allows), where an
  // identifier and a position in the submenu are the same numbers: the rows come in the
  // same order.
  for (UINT lowest : {0u, 1u}) {
    SCOPED_TRACE(lowest);
    Handler low;
    HMENU lowPopup = AddEntry(low, wide, lowest);
    ASSERT_NE(lowPopup, nullptr);
    EXPECT_EQ(
        low.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(lowPopup), 1, &result),
        S_OK);
    EXPECT_EQ(PopupRows(lowPopup, lowest), (std::vector<int>{3, 4, 6, 0, 7, 0, 10, 11, 0, 12}));
  }
}

// Failures injected into the menu calls: nothing is added to the shell's menu, and the
// submenu that could not be handed over is destroyed, not leaked.
HMENU(WINAPI* g_realCreatePopupMenu)() = nullptr;
bool g_failCreatePopup = false;
std::vector<HMENU> g_popupsMade;
HMENU WINAPI RecordingCreatePopupMenu() {
  if (g_failCreatePopup) return nullptr;
  HMENU made = g_realCreatePopupMenu();
  g_popupsMade.push_back(made);
  return made;
}
bool g_failInsertMenu = false;
BOOL(WINAPI* g_realInsertMenuW)(HMENU, UINT, UINT, UINT_PTR, LPCWSTR) = nullptr;
BOOL WINAPI FailingInsertMenuW(HMENU menu, UINT position, UINT flags, UINT_PTR id, LPCWSTR text) {
  if (!g_failInsertMenu) return g_realInsertMenuW(menu, position, flags, id, text);
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}
bool g_failInsertItem = false;
BOOL(WINAPI* g_realInsertMenuItemW)(HMENU, UINT, BOOL, LPCMENUITEMINFOW) = nullptr;
BOOL WINAPI FailingInsertMenuItemW(HMENU menu, UINT item, BOOL byPosition, LPCMENUITEMINFOW info) {
  if (!g_failInsertItem) return g_realInsertMenuItemW(menu, item, byPosition, info);
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return FALSE;
}

TEST_F(MenuTest, FailedInsertionsAddNothingAndLeakNoMenu) {
  testsupport::ImportPatch create("user32.dll", "CreatePopupMenu",
                                  reinterpret_cast<void*>(&RecordingCreatePopupMenu));
  testsupport::ImportPatch insert("user32.dll", "InsertMenuW", reinterpret_cast<void*>(&FailingInsertMenuW));
  testsupport::ImportPatch insertItem("user32.dll", "InsertMenuItemW",
                                      reinterpret_cast<void*>(&FailingInsertMenuItemW));
  ASSERT_NE(create.real(), nullptr);
  ASSERT_NE(insert.real(), nullptr);
  ASSERT_NE(insertItem.real(), nullptr);
  g_realCreatePopupMenu = create.real_as<decltype(g_realCreatePopupMenu)>();
  g_realInsertMenuW = insert.real_as<decltype(g_realInsertMenuW)>();
  g_realInsertMenuItemW = insertItem.real_as<decltype(g_realInsertMenuItemW)>();

  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  const struct {
    const char* failing;
    bool* flag;
    HRESULT expected;
  } cases[] = {
      {"CreatePopupMenu", &g_failCreatePopup, E_OUTOFMEMORY},
      {"InsertMenuItemW (the placeholder)", &g_failInsertItem, E_FAIL},
      {"InsertMenuW (the entry)", &g_failInsertMenu, E_FAIL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failing);
    fw::UniqueMenu shell(CreatePopupMenu());
    AppendMenuW(shell.get(), MF_STRING, 1, L"Open");
    g_popupsMade.clear();
    *c.flag = true;
    const HRESULT hr = h.menu->QueryContextMenu(shell.get(), 1, 100, 300, CMF_NORMAL);
    *c.flag = false;
    EXPECT_EQ(hr, c.expected);
    EXPECT_EQ(GetMenuItemCount(shell.get()), 1) << "something was added to the shell's menu";
    EXPECT_EQ(EntryBitmapAt(shell.get(), 0), nullptr);
    for (HMENU made : g_popupsMade) EXPECT_FALSE(IsMenu(made)) << "the submenu leaked";
  }
  // Nothing failing: the same handler adds its entry.
  fw::UniqueMenu shell(CreatePopupMenu());
  EXPECT_EQ(h.menu->QueryContextMenu(shell.get(), 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  EXPECT_EQ(GetMenuItemCount(shell.get()), 1);
  // Rows that cannot be inserted as the submenu opens: the opening fails.
  LRESULT result = 0;
  g_failInsertItem = true;
  const HRESULT opened = h.menu->HandleMenuMsg2(
      WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(shell.get(), 0)), 0, &result);
  g_failInsertItem = false;
  EXPECT_EQ(opened, E_OUTOFMEMORY);
}

// The screen's DPI and a screen DC size every row: when the DPI cannot be read, reads as
// nothing, or there is no DC, the submenu's opening fails rather than lay rows out at no
// size.
Gdiplus::GpStatus g_dpiStatus = Gdiplus::Ok;
float g_dpiY = 0;
Gdiplus::GpStatus WINAPI BrokenDpiY(Gdiplus::GpGraphics*, float* dpi) {
  *dpi = g_dpiY;
  return g_dpiStatus;
}

HDC WINAPI NoScreenDc(HWND) { return nullptr; }

TEST_F(MenuTest, AScreenThatCannotBeMeasuredFailsTheOpening) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  const struct {
    const char* name;
    Gdiplus::GpStatus status;
    float dpi;
  } cases[] = {{"GdipGetDpiY fails", Gdiplus::GenericError, 96}, {"0 dpi", Gdiplus::Ok, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_dpiStatus = c.status;
    g_dpiY = c.dpi;
    testsupport::ImportPatch dpi("gdiplus.dll", "GdipGetDpiY",
                                 reinterpret_cast<void*>(&BrokenDpiY));
    ASSERT_NE(dpi.real(), nullptr);
    testsupport::OpenedMenu opened(h);
    EXPECT_EQ(opened.query, MAKE_HRESULT(0, 0, 14));
    EXPECT_EQ(opened.opened, E_FAIL);
  }
  {
    // No screen DC to measure the texts with.
    testsupport::ImportPatch noDc("user32.dll", "GetDC", reinterpret_cast<void*>(&NoScreenDc));
    ASSERT_NE(noDc.real(), nullptr);
    testsupport::OpenedMenu opened(h);
    EXPECT_EQ(opened.query, MAKE_HRESULT(0, 0, 14));
    EXPECT_EQ(opened.opened, E_FAIL);
  }
  testsupport::OpenedMenu opened(h);
  EXPECT_EQ(opened.opened, S_OK);
}

TEST_F(MenuTest, RowsPerShapeAndUpdateState) {
  {
    Handler h;
    EXPECT_EQ(PopupRows(OpenSubmenu(h, square), 100), (std::vector<int>{1, 0, 10, 11, 0, 12}));
    menu.reset();
  }
  framewise::UpdateFound = 1;
  framewise::UpdateText = L"A new beta release of Wrenfly Framewise is available";
  {
    Handler h;
    HMENU popup = OpenSubmenu(h, tall);
    EXPECT_EQ(PopupRows(popup, 100), (std::vector<int>{2, 4, 5, 0, 7, 0, 8, 10, 11, 0, 12}));
    ASSERT_TRUE(h->menuItems.count(8));
    EXPECT_EQ(h->menuItems[8]->text, L"A new beta release of Wrenfly Framewise is available");
    EXPECT_EQ(h->menuItems[10]->text, L"Help & Feedback");
    EXPECT_TRUE(h->menuItems[2]->image);   // preview rows carry a copy of the preview
    EXPECT_FALSE(h->menuItems[10]->image);
    menu.reset();
  }
  framewise::UpdateText = L"";  // known, but no published text
  Handler h;
  OpenSubmenu(h, wide);
  EXPECT_EQ(h->menuItems[8]->text, L"An update is is available. Go online for info.");
}

TEST_F(MenuTest, SecondOpeningChangesNothing) {
  Handler h;
  HMENU popup = OpenSubmenu(h, wide);
  const auto before = PopupRows(popup, 100);
  LRESULT result = 99;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 1, &result), S_OK);
  EXPECT_EQ(result, 0);
  EXPECT_EQ(PopupRows(popup, 100), before);

  // The shell asks again on the same handler (another right-click on the same object):
  // the new submenu is filled as well, and a popup that is not ours is left alone.
  fw::UniqueMenu again(CreatePopupMenu());
  EXPECT_EQ(h.menu->QueryContextMenu(again.get(), 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  HMENU second = GetSubMenu(again.get(), 0);
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(second), 0, &result), S_OK);
  EXPECT_EQ(PopupRows(second, 100), before);
  fw::UniqueMenu foreign(CreatePopupMenu());
  AppendMenuW(foreign.get(), MF_SEPARATOR, 100, nullptr);
  AppendMenuW(foreign.get(), MF_STRING, 101, L"Other");
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(foreign.get()), 0, &result), S_OK);
  EXPECT_EQ(GetMenuItemCount(foreign.get()), 2);
  // Another handler's placeholder looks like ours but for its identifier.
  fw::UniqueMenu lookalike(CreatePopupMenu());
  AppendMenuW(lookalike.get(), MF_SEPARATOR, 250, nullptr);
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(lookalike.get()), 0, &result), S_OK);
  EXPECT_EQ(GetMenuItemCount(lookalike.get()), 1);
}

TEST_F(MenuTest, PictureThatDoesNotDecodeSaysSoAndOffersNoFitting) {
  // A JPEG header over nothing: it reads, its pixels do not.
  const std::wstring broken = dir.File(L"broken.jpg");
  ASSERT_TRUE(testsupport::WriteUndecodableJpeg(broken, 600, 300));
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  Handler h;
  HMENU popup = OpenSubmenu(h, broken);
  // 600 x 300: the wide rows, after the line that says why they cannot be chosen.
  EXPECT_EQ(PopupRows(popup, 100), (std::vector<int>{9, 3, 4, 6, 0, 7, 0, 10, 11, 0, 12}));
  EXPECT_EQ(h->menuItems.at(9)->text, L"This picture could not be read.");
  for (int offset : {9, 3, 4, 6, 7, 10, 11, 12}) {
    const UINT state = GetMenuState(popup, 100 + offset, MF_BYCOMMAND);
    EXPECT_EQ((state & MF_DISABLED) != 0, offset < 10) << offset;
  }
  EXPECT_EQ(h->imageColumnWidth, 0u);
  EXPECT_EQ(h.Invoke(4), E_FAIL);
  EXPECT_EQ(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(ini.path().c_str()), INVALID_FILE_ATTRIBUTES);
}

HRESULT CALLBACK Shell470(DLLVERSIONINFO* v) { v->dwMajorVersion = 4; v->dwMinorVersion = 70; return S_OK; }
HRESULT CALLBACK Shell471(DLLVERSIONINFO* v) { v->dwMajorVersion = 4; v->dwMinorVersion = 71; return S_OK; }
HRESULT CALLBACK Shell500(DLLVERSIONINFO* v) { v->dwMajorVersion = 5; v->dwMinorVersion = 0; return S_OK; }
HRESULT CALLBACK ShellFails(DLLVERSIONINFO* v) { v->dwMajorVersion = 6; return E_FAIL; }

TEST_F(MenuTest, OwnerDrawNeedsAShellOf471OrLater) {
  EXPECT_FALSE(framewise::DecideOwnerDrawSupported(Shell470));
  EXPECT_TRUE(framewise::DecideOwnerDrawSupported(Shell471));
  EXPECT_TRUE(framewise::DecideOwnerDrawSupported(Shell500));
  EXPECT_FALSE(framewise::DecideOwnerDrawSupported(ShellFails));
  EXPECT_FALSE(framewise::DecideOwnerDrawSupported(nullptr));

  // An old shell: the submenu stays empty. The fixture puts the process-wide answer back.
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  menu.reset(CreatePopupMenu());
  ASSERT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  framewise::ownerDrawSupported = 0;
  HMENU popup = GetSubMenu(menu.get(), 0);
  LRESULT result = 99;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0, &result), E_FAIL);
  EXPECT_EQ(GetMenuItemCount(popup), 0);
}

TEST_F(MenuTest, EntryIsLeftOutWhenItCannotServe) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  menu.reset(CreatePopupMenu());
  EXPECT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 1, 500, CMF_DEFAULTONLY), S_OK);
  EXPECT_EQ(GetMenuItemCount(menu.get()), 0);
  // A range with room for fewer than fourteen identifiers: nothing added, nothing claimed.
  EXPECT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 100, 112, CMF_NORMAL), MAKE_HRESULT(0, 0, 0));
  EXPECT_EQ(GetMenuItemCount(menu.get()), 0);
  EXPECT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 100, 113, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  EXPECT_EQ(GetMenuItemCount(menu.get()), 1);

  Handler two;
  ASSERT_EQ(two.InitializeWithFiles({wide, tall}), S_OK);
  fw::UniqueMenu other(CreatePopupMenu());
  EXPECT_EQ(two.menu->QueryContextMenu(other.get(), 0, 1, 500, CMF_NORMAL), S_OK);
  EXPECT_EQ(GetMenuItemCount(other.get()), 0);
}

int g_fakeDpi = 96;
int(WINAPI* g_realGetDeviceCaps)(HDC, int) = nullptr;
int WINAPI FakeGetDeviceCaps(HDC dc, int index) {
  return index == LOGPIXELSY ? g_fakeDpi : g_realGetDeviceCaps(dc, index);
}

// The entry bitmap's width for the screen as the handler sees it.
LONG EntryBitmapWidth(Handler& h) {
  fw::UniqueMenu m(CreatePopupMenu());
  EXPECT_EQ(h.menu->QueryContextMenu(m.get(), 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  const HBITMAP shown = EntryBitmapAt(m.get(), 0);
  BITMAP bitmap = {};
  if (!shown || !GetObjectW(shown, sizeof(bitmap), &bitmap)) return 0;
  // The same bitmap every time: nothing is loaded per right-click.
  fw::UniqueMenu again(CreatePopupMenu());
  EXPECT_EQ(h.menu->QueryContextMenu(again.get(), 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  EXPECT_EQ(EntryBitmapAt(again.get(), 0), shown);
  return bitmap.bmWidth;
}

TEST_F(MenuTest, EntryBitmapFollowsTheScreenResolution) {
  testsupport::ImportPatch caps("gdi32.dll", "GetDeviceCaps", reinterpret_cast<void*>(&FakeGetDeviceCaps));
  ASSERT_NE(caps.real(), nullptr);
  g_realGetDeviceCaps = caps.real_as<int(WINAPI*)(HDC, int)>();
  for (int dpi : {119, 120}) {
    g_fakeDpi = dpi;
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
    EXPECT_EQ(EntryBitmapWidth(h), dpi >= 120 ? 16 : 13) << dpi;
  }
}

// Run in a prefix whose screen reports 120 dots per inch: the large bitmap, unpatched.
TEST_F(MenuTest, Dpi120EntryBitmapIsTheLargeOne) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  EXPECT_EQ(EntryBitmapWidth(h), 16);
}

TEST_F(MenuTest, HelpTexts) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  wchar_t wide10[16];
  wmemset(wide10, L'#', 16);
  EXPECT_EQ(h.menu->GetCommandString(12, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(wide10), 10), S_OK);
  EXPECT_STREQ(wide10, L"Does not ");
  EXPECT_EQ(wide10[10], L'#');

  char ansi[128];
  EXPECT_EQ(h.menu->GetCommandString(7, GCS_HELPTEXTA, nullptr, ansi, 128), S_OK);
  EXPECT_STREQ(ansi, "Uses the selected picture as the background for your computer screen with no cropping.");
  EXPECT_EQ(h.menu->GetCommandString(1, GCS_HELPTEXTA, nullptr, ansi, 128), S_OK);
  EXPECT_STREQ(ansi, "Uses the the selected picture as the background for your computer screen.");

  strcpy(ansi, "untouched");
  EXPECT_EQ(h.menu->GetCommandString(9, GCS_HELPTEXTA, nullptr, ansi, 128), S_OK);
  EXPECT_STREQ(ansi, "untouched");
  EXPECT_EQ(h.menu->GetCommandString(13, GCS_HELPTEXTA, nullptr, ansi, 128), E_INVALIDARG);
  EXPECT_EQ(h.menu->GetCommandString(1, GCS_VERBW, nullptr, ansi, 128), E_INVALIDARG);
  EXPECT_EQ(h.menu->GetCommandString(1, GCS_VALIDATEW, nullptr, ansi, 128), E_INVALIDARG);
}

TEST_F(MenuTest, CommandsItDoesNotTake) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  CMINVOKECOMMANDINFO info = {};
  info.cbSize = sizeof(info);
  info.lpVerb = "open";
  EXPECT_EQ(h.menu->InvokeCommand(&info), E_INVALIDARG);
  for (int offset : {0, 9, 12, 13, 200}) EXPECT_EQ(h.Invoke(offset), E_INVALIDARG) << offset;
  EXPECT_EQ(h.menu->InvokeCommand(nullptr), E_INVALIDARG);
}

std::vector<std::wstring> g_opened;
HINSTANCE WINAPI FakeShellExecuteW(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
  g_opened.push_back(file ? file : L"");
  return reinterpret_cast<HINSTANCE>(42);
}

TEST_F(MenuTest, UpdateAndHelpPagesCarryTheShortVersion) {
  // No help file beside the program, whatever ran before.
  testsupport::FileAside noHelpFile{testsupport::ProgramFolder() + L"Framewise.chm"};
  g_opened.clear();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  {
    testsupport::ImportPatch open("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&FakeShellExecuteW));
    ASSERT_NE(open.real(), nullptr);
    EXPECT_EQ(h.Invoke(8), S_OK);
    // No help file beside the program: the help page opens instead.
    EXPECT_EQ(h.Invoke(10), S_OK);
  }
  ASSERT_EQ(g_opened.size(), 2u);
  EXPECT_EQ(g_opened[0], std::wstring(FRAMEWISE_TEST_BASE_URL) + L"/framewise/checkforupdates?fromversion=1.0");
  EXPECT_EQ(g_opened[1], std::wstring(FRAMEWISE_TEST_BASE_URL) + L"/framewise/help?version=1.0");
}


BOOL CALLBACK CloseHelpWindows(HWND window, LPARAM closed) {
  wchar_t name[32];
  if (GetClassNameW(window, name, 32) && lstrcmpW(name, L"HH Parent") == 0) {
    DestroyWindow(window);
    ++*reinterpret_cast<int*>(closed);
  }
  return TRUE;
}

// The help engine's windows on this thread and its hold on the help file, given up when the
// owner goes: the engine keeps the file open after its window closes, and a copied file
// beside the program must be removable again.
class HelpWindows {
 public:
  HelpWindows() = default;
  ~HelpWindows() { Close(); }
  HelpWindows(const HelpWindows&) = delete;
  HelpWindows& operator=(const HelpWindows&) = delete;
  // Closes them now; how many windows there were.
  int Close() {
    int closed = 0;
    EnumThreadWindows(GetCurrentThreadId(), &CloseHelpWindows, reinterpret_cast<LPARAM>(&closed));
    framewise::LoadHtmlHelp(nullptr, nullptr, 0x12 /* HH_CLOSE_ALL */, 0);
    return closed;
  }
};

// With the help file beside the module the Help command opens it, not the web page.
TEST_F(MenuTest, HelpOpensTheHelpFileBesideTheModule) {
  const std::wstring folder = testsupport::ProgramFolder();
  const std::wstring built = folder + L"package\\Framewise.chm";
  const std::wstring beside = folder + L"Framewise.chm";
  if (GetFileAttributesW(built.c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no help file built beside this program (scripts/package.sh): nothing to open";
  }
  testsupport::FileAside copied{beside};  // removes the copy when the test ends
  HelpWindows help;  // closed before the copy is removed
  ASSERT_TRUE(CopyFileW(built.c_str(), beside.c_str(), FALSE));
  g_opened.clear();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  {
    testsupport::ImportPatch open("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&FakeShellExecuteW));
    EXPECT_EQ(h.Invoke(10), S_OK);
  }
  EXPECT_TRUE(g_opened.empty()) << "the web page opened instead of the help file";
  EXPECT_EQ(help.Close(), 1);
}

// The About box through InvokeCommand: modal, owned by the shell's window (disabled while
// it shows), closed here from a timer on this thread, as its modal loop runs the timer.
struct AboutSeen {
  HWND dialog = nullptr;
  HWND owner = nullptr;
  bool ownerDisabled = false;
  int ticks = 0;
};
AboutSeen g_about;

BOOL CALLBACK FindAbout(HWND window, LPARAM found) {
  wchar_t caption[64] = {};
  GetWindowTextW(window, caption, 64);
  if (IsWindowVisible(window) && lstrcmpW(caption, L"About Wrenfly Framewise") == 0) {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK CloseAboutFromTimer(HWND, UINT, UINT_PTR, DWORD) {
  ++g_about.ticks;
  HWND dialog = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), &FindAbout, reinterpret_cast<LPARAM>(&dialog));
  if (!dialog || g_about.dialog) return;
  g_about.dialog = dialog;
  g_about.owner = GetWindow(dialog, GW_OWNER);
  g_about.ownerDisabled = g_about.owner && !IsWindowEnabled(g_about.owner);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

struct TimerDeleter {
  void operator()(UINT_PTR id) const { KillTimer(nullptr, id); }
};
using UniqueThreadTimer = fw::UniqueResource<UINT_PTR, TimerDeleter>;

TEST_F(MenuTest, AboutOpensModallyOverTheShellWindow) {
  testsupport::UniqueWindow shell(testsupport::CreateShellWindow(100, 100, 500, 300));
  ASSERT_TRUE(shell);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  g_about = AboutSeen();
  UniqueThreadTimer timer(SetTimer(nullptr, 0, 30, &CloseAboutFromTimer));
  ASSERT_TRUE(timer);
  EXPECT_EQ(h.Invoke(11, shell.get()), S_OK);
  EXPECT_NE(g_about.dialog, nullptr) << "no About box was shown";
  EXPECT_EQ(g_about.owner, shell.get());
  EXPECT_TRUE(g_about.ownerDisabled) << "not modal";
  EXPECT_FALSE(IsWindow(g_about.dialog));
  EXPECT_TRUE(IsWindowEnabled(shell.get()));
}

}  // namespace
