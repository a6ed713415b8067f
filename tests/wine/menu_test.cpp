// The submenu through the handler's IContextMenu3 with real menus: the entry, the rows per
// picture shape, help texts, owner-draw support and command routing.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "handler_fixture.h"
#include "settings/update_checker.h"
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

class MenuTest : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.File(L"wide.jpg");
    tall = dir.File(L"tall.jpg");
    square = dir.File(L"screen.jpg");
    ASSERT_TRUE(testsupport::WritePicture(wide, 600, 300));
    ASSERT_TRUE(testsupport::WritePicture(tall, 300, 600));
    ASSERT_TRUE(testsupport::WritePicture(square, 500, 400));  // 1.25, the screen's
    framewise::ownerDrawSupported = -1;
  }
  void TearDown() override {
    framewise::UpdateFound = 0;
    framewise::UpdateText = nullptr;
  }

  // Initialises, adds the entry at position 1 of a two-item menu and opens the submenu.
  HMENU OpenSubmenu(Handler& h, const std::wstring& picture, UINT first = 100) {
    EXPECT_EQ(h.InitializeWithFiles({picture}), S_OK);
    menu = CreatePopupMenu();
    AppendMenuW(menu, MF_STRING, 1, L"Open");
    AppendMenuW(menu, MF_STRING, 2, L"Print");
    EXPECT_EQ(h.menu->QueryContextMenu(menu, 1, first, first + 200, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    HMENU popup = GetSubMenu(menu, 1);
    LRESULT result = 99;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 1, &result), S_OK);
    EXPECT_EQ(result, 0);
    return popup;
  }

  ~MenuTest() override { if (menu) DestroyMenu(menu); }

  TempDir dir;
  std::wstring wide, tall, square;
  HMENU menu = nullptr;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
};

TEST_F(MenuTest, EntryIsInsertedWithFourteenIdentifiers) {
  Handler h;
  HMENU popup = OpenSubmenu(h, wide);
  ASSERT_EQ(GetMenuItemCount(menu), 3);
  wchar_t text[128] = {};
  GetMenuStringW(menu, 1, text, 128, MF_BYPOSITION);
  EXPECT_STREQ(text, L"Wrenfly Framewise - Set Desktop Background");
  EXPECT_EQ(h->firstCommandId, 100);
  EXPECT_EQ(PopupRows(popup, 100), (std::vector<int>{3, 4, 6, 0, 7, 0, 10, 11, 0, 12}));
}

TEST_F(MenuTest, RowsPerShapeAndUpdateState) {
  {
    Handler h;
    EXPECT_EQ(PopupRows(OpenSubmenu(h, square), 100), (std::vector<int>{1, 0, 10, 11, 0, 12}));
    DestroyMenu(menu);
    menu = nullptr;
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
    DestroyMenu(menu);
    menu = nullptr;
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
  HMENU again = CreatePopupMenu();
  EXPECT_EQ(h.menu->QueryContextMenu(again, 0, 100, 300, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  HMENU second = GetSubMenu(again, 0);
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(second), 0, &result), S_OK);
  EXPECT_EQ(PopupRows(second, 100), before);
  HMENU foreign = CreatePopupMenu();
  AppendMenuW(foreign, MF_SEPARATOR, 100, nullptr);
  AppendMenuW(foreign, MF_STRING, 101, L"Other");
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(foreign), 0, &result), S_OK);
  EXPECT_EQ(GetMenuItemCount(foreign), 2);
  DestroyMenu(foreign);
  DestroyMenu(again);
}

TEST_F(MenuTest, PictureThatDoesNotDecodeSaysSoAndOffersNoFitting) {
  // A JPEG header over nothing: it reads, its pixels do not.
  const std::wstring broken = dir.File(L"broken.jpg");
  const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 1, 44, 2, 88, 1, 1, 0x11, 0};
  ASSERT_TRUE(testsupport::WriteBytes(broken, header, sizeof(header)));
  testsupport::FileAside ini{testsupport::UserDataFolder() + L"\\Wrenfly Framewise.ini"};
  testsupport::FileAside jpeg{testsupport::UserDataFolder() + L"\\Desktop Background.jpg"};
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

  // An old shell: the submenu stays empty. The process-wide answer is put back after.
  struct Restore {
    ~Restore() { framewise::ownerDrawSupported = -1; }
  } restore;
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  menu = CreatePopupMenu();
  ASSERT_EQ(h.menu->QueryContextMenu(menu, 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  framewise::ownerDrawSupported = 0;
  HMENU popup = GetSubMenu(menu, 0);
  LRESULT result = 99;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0, &result), E_FAIL);
  EXPECT_EQ(GetMenuItemCount(popup), 0);
}

TEST_F(MenuTest, EntryIsLeftOutWhenItCannotServe) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  menu = CreatePopupMenu();
  EXPECT_EQ(h.menu->QueryContextMenu(menu, 0, 1, 500, CMF_DEFAULTONLY), S_OK);
  EXPECT_EQ(GetMenuItemCount(menu), 0);
  // A range with room for fewer than fourteen identifiers: nothing added, nothing claimed.
  EXPECT_EQ(h.menu->QueryContextMenu(menu, 0, 100, 112, CMF_NORMAL), MAKE_HRESULT(0, 0, 0));
  EXPECT_EQ(GetMenuItemCount(menu), 0);
  EXPECT_EQ(h.menu->QueryContextMenu(menu, 0, 100, 113, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  EXPECT_EQ(GetMenuItemCount(menu), 1);

  Handler two;
  ASSERT_EQ(two.InitializeWithFiles({wide, tall}), S_OK);
  HMENU other = CreatePopupMenu();
  EXPECT_EQ(two.menu->QueryContextMenu(other, 0, 1, 500, CMF_NORMAL), S_OK);
  EXPECT_EQ(GetMenuItemCount(other), 0);
  DestroyMenu(other);
}

int g_fakeDpi = 96;
int(WINAPI* g_realGetDeviceCaps)(HDC, int) = nullptr;
int WINAPI FakeGetDeviceCaps(HDC dc, int index) {
  return index == LOGPIXELSY ? g_fakeDpi : g_realGetDeviceCaps(dc, index);
}

TEST_F(MenuTest, EntryBitmapFollowsTheScreenResolution) {
  void* real = testsupport::PatchImport(nullptr, "gdi32.dll", "GetDeviceCaps",
                                        reinterpret_cast<void*>(&FakeGetDeviceCaps));
  ASSERT_NE(real, nullptr);
  g_realGetDeviceCaps = reinterpret_cast<int(WINAPI*)(HDC, int)>(real);
  for (int dpi : {119, 120}) {
    g_fakeDpi = dpi;
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
    HMENU m = CreatePopupMenu();
    ASSERT_EQ(h.menu->QueryContextMenu(m, 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_CHECKMARKS;
    ASSERT_TRUE(GetMenuItemInfoW(m, 0, TRUE, &info));
    BITMAP bitmap = {};
    ASSERT_TRUE(GetObjectW(info.hbmpUnchecked, sizeof(bitmap), &bitmap));
    EXPECT_EQ(bitmap.bmWidth, dpi >= 120 ? 16 : 13) << dpi;
    // The same bitmap every time: nothing is loaded per right-click.
    HMENU again = CreatePopupMenu();
    ASSERT_EQ(h.menu->QueryContextMenu(again, 0, 1, 500, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    MENUITEMINFOW second = info;
    GetMenuItemInfoW(again, 0, TRUE, &second);
    EXPECT_EQ(second.hbmpUnchecked, info.hbmpUnchecked);
    DestroyMenu(again);
    DestroyMenu(m);
  }
  testsupport::PatchImport(nullptr, "gdi32.dll", "GetDeviceCaps", real);
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
  void* real = testsupport::PatchImport(nullptr, "shell32.dll", "ShellExecuteW",
                                        reinterpret_cast<void*>(&FakeShellExecuteW));
  ASSERT_NE(real, nullptr);
  g_opened.clear();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  EXPECT_EQ(h.Invoke(8), S_OK);
  // No help file beside the program: the help page opens instead.
  EXPECT_EQ(h.Invoke(10), S_OK);
  testsupport::PatchImport(nullptr, "shell32.dll", "ShellExecuteW", real);
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

// With the help file beside the module the Help command opens it, not the web page.
TEST_F(MenuTest, HelpOpensTheHelpFileBesideTheModule) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring folder(self);
  folder.resize(folder.find_last_of(L'\\'));
  const std::wstring built = folder + L"\\package\\Framewise.chm";
  const std::wstring beside = folder + L"\\Framewise.chm";
  if (GetFileAttributesW(built.c_str()) == INVALID_FILE_ATTRIBUTES) {
    printf("[ note     ] no help file built beside this program: nothing to open\n");
    return;
  }
  ASSERT_TRUE(CopyFileW(built.c_str(), beside.c_str(), FALSE));
  void* real = testsupport::PatchImport(nullptr, "shell32.dll", "ShellExecuteW",
                                        reinterpret_cast<void*>(&FakeShellExecuteW));
  g_opened.clear();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  EXPECT_EQ(h.Invoke(10), S_OK);
  testsupport::PatchImport(nullptr, "shell32.dll", "ShellExecuteW", real);
  EXPECT_TRUE(g_opened.empty()) << "the web page opened instead of the help file";
  int closed = 0;
  EnumThreadWindows(GetCurrentThreadId(), &CloseHelpWindows, reinterpret_cast<LPARAM>(&closed));
  EXPECT_EQ(closed, 1);
  DeleteFileW(beside.c_str());
}

}  // namespace
