// The hyperlink control on real static controls of a real window: colours, underline
// modes, the hover timer, opening and its failures, fitting to the text.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "tests/support/test_support.h"
#include "widgets/hyperlink.h"

namespace framewise {
namespace {

// A link's text colours are written out as web browsers have long drawn them: blue
// 0, 0, 238 until visited, purple 85, 26, 139 after, red while the mouse is over it.

// What the patched system calls saw, and what they answer.
std::vector<std::wstring> g_shellOpened;
INT_PTR g_shellAnswer = 42;
std::vector<std::string> g_winExecLines;
std::vector<std::wstring> g_messages;
std::vector<std::wstring> g_captions;
std::vector<UINT> g_messageTypes;
bool g_failRegistry = false;

HINSTANCE WINAPI FakeShellExecute(HWND, LPCWSTR, LPCWSTR file, LPCWSTR, LPCWSTR, INT) {
  g_shellOpened.push_back(file ? file : L"");
  return reinterpret_cast<HINSTANCE>(g_shellAnswer);
}
UINT WINAPI FakeWinExec(LPCSTR line, UINT) {
  g_winExecLines.push_back(line);
  return 33;
}
// The conversion as documented: a length is -1 (up to the terminator) or a count of
// characters. Wine reads any negative length as -1; anything else is refused here, as a
// length outside the documented ones may be.
decltype(&WideCharToMultiByte) g_realToMultiByte = nullptr;
int WINAPI DocumentedWideCharToMultiByte(UINT page, DWORD flags, LPCWCH text, int length, LPSTR out,
                                         int size, LPCCH fallback, LPBOOL usedFallback) {
  if (length < -1 || length == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return g_realToMultiByte(page, flags, text, length, out, size, fallback, usedFallback);
}
int WINAPI FakeMessageBox(HWND, LPCWSTR text, LPCWSTR caption, UINT type) {
  g_messages.push_back(text);
  g_captions.push_back(caption);
  g_messageTypes.push_back(type);
  return IDOK;
}
using RegOpenFn = LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
RegOpenFn g_realRegOpen = nullptr;
// A registry with a program for web pages, whatever the prefix has.
bool g_fakeHtm = false;
const HKEY kFakeHtmKey = reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7001));
const HKEY kFakeCommandKey = reinterpret_cast<HKEY>(static_cast<INT_PTR>(0x7002));
const wchar_t kFakeCommand[] = L"\"C:\\Web\\browser.exe\" -nohome \"%1\" -new";
LONG WINAPI FakeRegOpen(HKEY root, LPCWSTR key, DWORD options, REGSAM access, PHKEY result) {
  if (g_failRegistry) return ERROR_FILE_NOT_FOUND;
  if (g_fakeHtm && root == HKEY_CLASSES_ROOT && key) {
    if (lstrcmpiW(key, L".htm") == 0) return *result = kFakeHtmKey, ERROR_SUCCESS;
    if (lstrcmpiW(key, L"webpage\\shell\\open\\command") == 0) return *result = kFakeCommandKey, ERROR_SUCCESS;
  }
  return g_realRegOpen(root, key, options, access, result);
}
using RegQueryFn = LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD);
RegQueryFn g_realRegQuery = nullptr;
LONG WINAPI FakeRegQuery(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD size) {
  const wchar_t* value = key == kFakeHtmKey ? L"webpage" : key == kFakeCommandKey ? kFakeCommand : nullptr;
  if (!value) return g_realRegQuery(key, name, reserved, type, data, size);
  const DWORD bytes = static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t));
  if (*size < bytes) return ERROR_MORE_DATA;
  memcpy(data, value, bytes);
  *size = bytes;
  *type = REG_SZ;
  return ERROR_SUCCESS;
}
using RegCloseFn = LONG(WINAPI*)(HKEY);
RegCloseFn g_realRegClose = nullptr;
LONG WINAPI FakeRegClose(HKEY key) {
  if (key == kFakeHtmKey || key == kFakeCommandKey) return ERROR_SUCCESS;
  return g_realRegClose(key);
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT result = 0;
  if (fw::CStatic::ReflectNotification(message, wParam, lParam, &result)) return result;
  return DefWindowProcW(window, message, wParam, lParam);
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  do {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    Sleep(5);
  } while (GetTickCount() - start < ms);
}

// A visible top-level window that reflects its children's notifications, with the
// system calls of a link's click replaced for the test's duration.
class HyperLinkTest : public testing::Test {
 protected:
  void SetUp() override {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = HostProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"FramewiseLinkHost";
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    RegisterClassW(&wc);
    host_.reset(CreateWindowExW(0, L"FramewiseLinkHost", L"links", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                50, 50, 500, 200, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
    ASSERT_TRUE(host_);
    g_shellOpened.clear();
    g_winExecLines.clear();
    g_messages.clear();
    g_captions.clear();
    g_messageTypes.clear();
    g_shellAnswer = 42;
    g_failRegistry = false;
    g_fakeHtm = false;
    Patch("shell32.dll", "ShellExecuteW", reinterpret_cast<void*>(&FakeShellExecute));
    Patch("kernel32.dll", "WinExec", reinterpret_cast<void*>(&FakeWinExec));
    Patch("user32.dll", "MessageBoxW", reinterpret_cast<void*>(&FakeMessageBox));
    g_realToMultiByte = reinterpret_cast<decltype(&WideCharToMultiByte)>(
        Patch("kernel32.dll", "WideCharToMultiByte",
              reinterpret_cast<void*>(&DocumentedWideCharToMultiByte)));
    g_realRegOpen = reinterpret_cast<RegOpenFn>(
        Patch("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&FakeRegOpen)));
    g_realRegQuery = reinterpret_cast<RegQueryFn>(
        Patch("advapi32.dll", "RegQueryValueExW", reinterpret_cast<void*>(&FakeRegQuery)));
    g_realRegClose = reinterpret_cast<RegCloseFn>(
        Patch("advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(&FakeRegClose)));
  }

  void* Patch(const char* dll, const char* function, void* replacement) {
    patches_.push_back(std::make_unique<testsupport::ImportPatch>(dll, function, replacement));
    EXPECT_NE(patches_.back()->real(), nullptr) << function;
    return patches_.back()->real();
  }

  HWND AddStatic(const wchar_t* text, DWORD style, int x, int y, int width, int height, int id = 0) {
    HWND control = CreateWindowExW(0, L"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                   height, host_.get(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return control;
  }

  // The text colour the link asks its parent's colour request for. The link is drawn over
  // its parent's background: no brush, and its text cells left unfilled.
  COLORREF TextColour(HWND control) {
    const fw::WindowDc dc(control);
    EXPECT_TRUE(dc);
    if (!dc) return CLR_INVALID;
    SetTextColor(dc.get(), RGB(1, 2, 3));
    SetBkMode(dc.get(), OPAQUE);
    const LRESULT brush = SendMessageW(host_.get(), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                                       reinterpret_cast<LPARAM>(control));
    EXPECT_EQ(brush, reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH)));
    EXPECT_EQ(GetBkMode(dc.get()), TRANSPARENT);
    return GetTextColor(dc.get());
  }

  // A real click: the static (with SS_NOTIFY) reports STN_CLICKED to the host.
  static void Click(HWND control) {
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    SendMessageW(control, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    Pump(20);
  }

  // Cursor onto the control and a mouse move to it; then away (no message follows).
  static void Enter(HWND control) {
    RECT r;
    GetWindowRect(control, &r);
    SetCursorPos(r.left + 2, r.top + 2);
    SendMessageW(control, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  }
  static void Leave() { SetCursorPos(5, 700); }

  std::vector<std::unique_ptr<testsupport::ImportPatch>> patches_;
  testsupport::UniqueWindow host_;
};

TEST_F(HyperLinkTest, ColoursFollowHoverVisitAndAFailedOpen) {
  HWND control = AddStatic(L"http://link.test/", 0, 10, 10, 300, 20, 300);
  CHyperLink link;
  ASSERT_TRUE(link.SubclassWindow(control));
  EXPECT_TRUE(GetWindowLongW(control, GWL_STYLE) & SS_NOTIFY);
  EXPECT_EQ(TextColour(control), RGB(0, 0, 238));

  Enter(control);
  EXPECT_EQ(TextColour(control), RGB(255, 0, 0));
  Leave();
  Pump(180);

  Click(control);  // opens: visited, hover cleared by the click
  ASSERT_EQ(g_shellOpened.size(), 1u);
  EXPECT_EQ(g_shellOpened[0], L"http://link.test/");
  EXPECT_TRUE(link.isVisited());
  EXPECT_EQ(TextColour(control), RGB(85, 26, 139));
  EXPECT_TRUE(g_messages.empty());

  // The shell fails and so does the ".htm" lookup: the shell's code is reported.
  g_shellAnswer = SE_ERR_FNF;
  g_failRegistry = true;
  Click(control);
  EXPECT_FALSE(link.isVisited());
  EXPECT_EQ(TextColour(control), RGB(0, 0, 238));
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0], L"Unable to open hyperlink:\n\nThe specified file was not found.");
  EXPECT_EQ(g_captions[0], L"wine_tests");
  EXPECT_EQ(g_messageTypes[0], static_cast<UINT>(MB_ICONEXCLAMATION | MB_OK));
  EXPECT_TRUE(g_winExecLines.empty());
}

TEST_F(HyperLinkTest, ErrorTextsOfUnlistedAndSharingCodes) {
  HWND control = AddStatic(L"x", 0, 10, 10, 100, 20);
  CHyperLink link;
  ASSERT_TRUE(link.SubclassWindow(control));
  link.ShowOpenError(26);
  link.ShowOpenError(4);
  ASSERT_EQ(g_messages.size(), 2u);
  EXPECT_EQ(g_messages[0], L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
  EXPECT_EQ(g_messages[1], L"Unable to open hyperlink:\n\nUnknown Error (4) occurred.");
}

TEST_F(HyperLinkTest, FallsBackToTheProgramRegisteredForWebPages) {
  g_fakeHtm = true;
  g_shellAnswer = SE_ERR_NOASSOC;
  EXPECT_EQ(CHyperLink::OpenTarget(L"http://fallback.test/", SW_SHOW), 33);
  ASSERT_EQ(g_winExecLines.size(), 1u);
  EXPECT_EQ(g_winExecLines[0], "\"C:\\Web\\browser.exe\" -nohome  http://fallback.test/");

  // A successful open by the shell never looks further.
  g_shellAnswer = 42;
  EXPECT_EQ(CHyperLink::OpenTarget(L"http://fallback.test/", SW_SHOW), 42);
  EXPECT_EQ(g_winExecLines.size(), 1u);
}

TEST_F(HyperLinkTest, UnderlineModesAndTheHoverTimer) {
  HWND hover = AddStatic(L"hover", 0, 10, 10, 200, 20);
  HWND always = AddStatic(L"always", 0, 10, 40, 200, 20);
  HWND never = AddStatic(L"never", 0, 10, 70, 200, 20);
  CHyperLink hoverLink, alwaysLink, neverLink;
  ASSERT_TRUE(hoverLink.SubclassWindow(hover));
  ASSERT_TRUE(alwaysLink.SubclassWindow(always));
  ASSERT_TRUE(neverLink.SubclassWindow(never));
  alwaysLink.SetUnderlineMode(CHyperLink::kUnderlineAlways);
  neverLink.SetUnderlineMode(CHyperLink::kUnderlineNever);
  EXPECT_FALSE(testsupport::DrawsUnderlined(hover));
  EXPECT_TRUE(testsupport::DrawsUnderlined(always));
  EXPECT_FALSE(testsupport::DrawsUnderlined(never));

  const struct {
    HWND control;
    CHyperLink* link;
    bool underlinedInside;
    bool underlinedAfter;
  } cases[] = {{hover, &hoverLink, true, false}, {always, &alwaysLink, true, true},
               {never, &neverLink, false, false}};
  for (const auto& c : cases) {
    Enter(c.control);
    Pump(250);  // timer ticks while the cursor stays inside: still hovering
    EXPECT_TRUE(c.link->isHovering());
    EXPECT_EQ(testsupport::DrawsUnderlined(c.control), c.underlinedInside);
    EXPECT_EQ(TextColour(c.control), RGB(255, 0, 0));
    Leave();
    // No mouse message follows; the next tick (100 ms) finds the cursor outside.
    Pump(180);
    EXPECT_FALSE(c.link->isHovering());
    EXPECT_EQ(testsupport::DrawsUnderlined(c.control), c.underlinedAfter);
    EXPECT_EQ(TextColour(c.control), RGB(0, 0, 238));
    // Its work done, the hover timer (id 100) is gone rather than ticking on.
    EXPECT_FALSE(KillTimer(c.control, 100));
  }
}

// The control's client pixels as the screen shows them.
std::vector<COLORREF> ClientPixels(HWND control) {
  RECT client;
  GetClientRect(control, &client);
  std::vector<COLORREF> pixels;
  HDC dc = GetDC(control);
  if (!dc) return pixels;
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) pixels.push_back(GetPixel(dc, x, y));
  }
  ReleaseDC(control, dc);
  return pixels;
}

// Once the mouse has left, a link looks as it did before it came, in every mode: the hover
// colour and underline are painted over, not left on the screen. Each link is compared
// with a twin the mouse never touched.
TEST_F(HyperLinkTest, AfterTheMouseLeavesTheLinkLooksUntouched) {
  const CHyperLink::UnderlineMode modes[] = {
      CHyperLink::kUnderlineHover, CHyperLink::kUnderlineAlways, CHyperLink::kUnderlineNever};
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    HWND visited = AddStatic(L"Wrenfly", 0, 10, 10 + 30 * static_cast<int>(i), 200, 20);
    HWND twin = AddStatic(L"Wrenfly", 0, 250, 10 + 30 * static_cast<int>(i), 200, 20);
    CHyperLink link, untouched;
    ASSERT_TRUE(link.SubclassWindow(visited));
    ASSERT_TRUE(untouched.SubclassWindow(twin));
    link.SetUnderlineMode(modes[i]);
    untouched.SetUnderlineMode(modes[i]);
    UpdateWindow(host_.get());
    Pump(50);
    const std::vector<COLORREF> before = ClientPixels(visited);
    Enter(visited);
    Pump(150);
    UpdateWindow(visited);
    EXPECT_NE(ClientPixels(visited), before) << "the hover colour shows";
    Leave();
    Pump(180);
    UpdateWindow(visited);
    UpdateWindow(twin);
    ASSERT_FALSE(link.isHovering());
    const std::vector<COLORREF> after = ClientPixels(visited);
    EXPECT_EQ(after, before);
    EXPECT_EQ(after, ClientPixels(twin));

    // Opened, the link shows the visited colour at its next paint.
    Click(visited);
    UpdateWindow(visited);
    const std::vector<COLORREF> opened = ClientPixels(visited);
    EXPECT_NE(std::find(opened.begin(), opened.end(), RGB(85, 26, 139)), opened.end());
  }
}

TEST_F(HyperLinkTest, SettingsMadeBeforeAttachment) {
  // Empty text: the target becomes the text. An underline mode gives way to the default.
  HWND empty = AddStatic(L"", 0, 10, 10, 300, 20);
  CHyperLink preset;
  preset.SetTarget(L"http://preset.test/");
  preset.SetUnderlineMode(CHyperLink::kUnderlineAlways);
  ASSERT_TRUE(preset.SubclassWindow(empty));
  EXPECT_EQ(preset.GetWindowText(), L"http://preset.test/");
  EXPECT_EQ(preset.underlineMode(), CHyperLink::kUnderlineHover);
  EXPECT_FALSE(testsupport::DrawsUnderlined(empty));

  // A text of one character is read whole.
  HWND single = AddStatic(L"x", 0, 10, 70, 300, 20);
  CHyperLink one;
  ASSERT_TRUE(one.SubclassWindow(single));
  EXPECT_EQ(one.GetWindowText(), L"x");

  // No target: a click opens the window text.
  HWND plain = AddStatic(L"plain.txt", 0, 10, 40, 300, 20);
  CHyperLink fromText;
  ASSERT_TRUE(fromText.SubclassWindow(plain));
  Click(plain);
  ASSERT_EQ(g_shellOpened.size(), 1u);
  EXPECT_EQ(g_shellOpened[0], L"plain.txt");

  // The click reaches the link as its parent's WM_COMMAND, answered as processed (0).
  HWND numbered = AddStatic(L"numbered.txt", 0, 10, 100, 300, 20, 42);
  CHyperLink byCommand;
  ASSERT_TRUE(byCommand.SubclassWindow(numbered));
  EXPECT_EQ(SendMessageW(host_.get(), WM_COMMAND, MAKEWPARAM(42, STN_CLICKED),
                         reinterpret_cast<LPARAM>(numbered)),
            0);
  ASSERT_EQ(g_shellOpened.size(), 2u);
  EXPECT_EQ(g_shellOpened[1], L"numbered.txt");

  // The hand cursor: ours when asked by the system.
  ASSERT_NE(fromText.linkCursor(), nullptr);
  EXPECT_EQ(SendMessageW(plain, WM_SETCURSOR, reinterpret_cast<WPARAM>(plain),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)), TRUE);
  EXPECT_EQ(GetCursor(), fromText.linkCursor());
}

UINT WINAPI NoWindowsFolder(LPWSTR buffer, UINT size) {
  if (size) buffer[0] = L'\0';
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}
using LoadCursorFn = HCURSOR(WINAPI*)(HINSTANCE, LPCWSTR);
LoadCursorFn g_realLoadCursor = nullptr;
HCURSOR WINAPI NoSystemHand(HINSTANCE module, LPCWSTR name) {
  if (!module && name == IDC_HAND) return nullptr;
  return g_realLoadCursor(module, name);
}

// Without the help program's hand or the system's there is no link cursor: the control
// says it did not set one and does not touch the cursor.
TEST_F(HyperLinkTest, WithoutAnyHandCursorTheCursorIsLeftAlone) {
  Patch("kernel32.dll", "GetWindowsDirectoryW", reinterpret_cast<void*>(&NoWindowsFolder));
  g_realLoadCursor = reinterpret_cast<LoadCursorFn>(
      Patch("user32.dll", "LoadCursorW", reinterpret_cast<void*>(&NoSystemHand)));
  HWND control = AddStatic(L"no hand", 0, 10, 10, 200, 20);
  CHyperLink link;
  ASSERT_TRUE(link.SubclassWindow(control));
  EXPECT_EQ(link.linkCursor(), nullptr);
  HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
  SetCursor(arrow);
  EXPECT_EQ(SendMessageW(control, WM_SETCURSOR, reinterpret_cast<WPARAM>(control),
                         MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)),
            FALSE);
  EXPECT_EQ(GetCursor(), arrow);
  // It still opens its target.
  Click(control);
  EXPECT_EQ(g_shellOpened.size(), 1u);
}

// A Windows folder of `g_windowsFolderLength` characters, and the help program's loads seen.
size_t g_windowsFolderLength = 0;
UINT WINAPI LongWindowsFolder(LPWSTR buffer, UINT size) {
  const std::wstring folder = L"C:\\" + std::wstring(g_windowsFolderLength - 3, L'w');
  if (folder.size() + 1 > size) return static_cast<UINT>(folder.size() + 1);
  wcscpy(buffer, folder.c_str());
  return static_cast<UINT>(folder.size());
}
std::vector<std::wstring> g_helpProgramLoads;
using LoadLibraryExFn = HMODULE(WINAPI*)(LPCWSTR, HANDLE, DWORD);
LoadLibraryExFn g_realLoadLibraryEx = nullptr;
HMODULE WINAPI RecordingLoadLibraryEx(LPCWSTR name, HANDLE file, DWORD flags) {
  if (name && wcsstr(name, L"winhlp32")) g_helpProgramLoads.push_back(name);
  return g_realLoadLibraryEx(name, file, flags);
}

// The help program's path is tried only when it fits the classic limit of 260 with its end:
// from a Windows folder of 246 characters it is 259 long and tried, from one of 247 it
// would need 260 and is not. Either way the link gets the system's hand.
TEST_F(HyperLinkTest, TheHelpProgramsPathIsTriedOnlyWhenItFits) {
  Patch("kernel32.dll", "GetWindowsDirectoryW", reinterpret_cast<void*>(&LongWindowsFolder));
  g_realLoadLibraryEx = reinterpret_cast<LoadLibraryExFn>(
      Patch("kernel32.dll", "LoadLibraryExW", reinterpret_cast<void*>(&RecordingLoadLibraryEx)));
  for (size_t length : {size_t{246}, size_t{247}}) {
    SCOPED_TRACE(length);
    g_windowsFolderLength = length;
    g_helpProgramLoads.clear();
    HWND control = AddStatic(L"long folder", 0, 10, 10, 200, 20);
    CHyperLink link;
    ASSERT_TRUE(link.SubclassWindow(control));
    EXPECT_NE(link.linkCursor(), nullptr);
    if (length == 246) {
      ASSERT_EQ(g_helpProgramLoads.size(), 1u);
      EXPECT_EQ(g_helpProgramLoads[0].size(), 259u);
      EXPECT_EQ(g_helpProgramLoads[0].substr(246), L"\\winhlp32.exe");
    } else {
      EXPECT_TRUE(g_helpProgramLoads.empty());
    }
    link.UnsubclassWindow();
    DestroyWindow(control);
  }
}

// The program for web pages is read from a default value of up to 260 characters with its
// end: 259 characters come back whole, 260 are refused rather than cut.
TEST_F(HyperLinkTest, RegistryTextsUpTo259CharactersAreRead) {
  const wchar_t* kKey = L"Software\\FramewiseTest\\LinkValue";
  struct Cleanup {
    ~Cleanup() { RegDeleteTreeW(HKEY_CURRENT_USER, L"Software\\FramewiseTest"); }
  } cleanup;
  for (size_t length : {size_t{1}, size_t{258}, size_t{259}, size_t{260}, size_t{600}}) {
    SCOPED_TRACE(length);
    const std::wstring text(length, L'w');
    fw::UniqueHKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(
        RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>((length + 1) * sizeof(wchar_t))),
        ERROR_SUCCESS);
    std::wstring read = L"marker";
    const LONG status = ReadDefaultRegValue(HKEY_CURRENT_USER, kKey, &read);
    if (length < 260) {
      EXPECT_EQ(status, ERROR_SUCCESS);
      EXPECT_EQ(read, text);
    } else {
      EXPECT_NE(status, ERROR_SUCCESS);
      EXPECT_EQ(read, L"marker");
    }
  }
  // A value that is not text is refused too.
  fw::UniqueHKey key;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_WRITE, key.put()), ERROR_SUCCESS);
  const DWORD number = 7;
  ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                           sizeof(number)),
            ERROR_SUCCESS);
  std::wstring read;
  EXPECT_NE(ReadDefaultRegValue(HKEY_CURRENT_USER, kKey, &read), ERROR_SUCCESS);
}

TEST_F(HyperLinkTest, FitsToTextKeepingItsAlignment) {
  const wchar_t* text = L"Fit me";
  HWND left = AddStatic(text, SS_LEFT, 20, 10, 300, 30);
  HWND centre = AddStatic(text, SS_CENTER, 20, 50, 300, 30);
  HWND right = AddStatic(text, SS_RIGHT, 20, 90, 300, 30);
  HWND middle = AddStatic(text, SS_LEFT | SS_CENTERIMAGE, 20, 130, 300, 31);
  HWND framed = AddStatic(text, SS_LEFT | WS_BORDER, 20, 170, 300, 30);
  CHyperLink l, c, r, m, f;
  ASSERT_TRUE(l.SubclassWindow(left));
  ASSERT_TRUE(c.SubclassWindow(centre));
  ASSERT_TRUE(r.SubclassWindow(right));
  ASSERT_TRUE(m.SubclassWindow(middle));
  ASSERT_TRUE(f.SubclassWindow(framed));

  auto rectOf = [this](HWND w) {
    RECT rc;
    GetWindowRect(w, &rc);
    MapWindowPoints(nullptr, host_.get(), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
  };
  const RECT rl = rectOf(left), rcn = rectOf(centre), rr = rectOf(right);
  const LONG width = rl.right - rl.left;
  EXPECT_GT(width, 10);
  EXPECT_LT(width, 100);
  EXPECT_EQ(rl.left, 20);
  EXPECT_LE(std::abs((rcn.right - rcn.left) - width), 1);  // the odd pixel stays
  EXPECT_LE(std::abs((rcn.left + rcn.right) - (20 + 320)), 1);  // centre kept
  EXPECT_EQ(rr.right, 320);
  EXPECT_EQ(rr.right - rr.left, width);
  EXPECT_EQ(rl.top, 10);
  const LONG height = rl.bottom - rl.top;
  EXPECT_LT(height, 30);
  // Centred vertically: the middle kept, the height the text's (the odd pixel stays).
  const RECT rm = rectOf(middle);
  EXPECT_EQ(rm.left, 20);
  EXPECT_EQ(rm.right - rm.left, width);
  EXPECT_LE(std::abs((rm.top + rm.bottom) - (130 + 161)), 1);
  EXPECT_LE(std::abs((rm.bottom - rm.top) - height), 1);
  // A border is kept around the text.
  const RECT rf = rectOf(framed);
  EXPECT_EQ(rf.right - rf.left, width + 2 * GetSystemMetrics(SM_CXBORDER));
  EXPECT_EQ(rf.bottom - rf.top, height + 2 * GetSystemMetrics(SM_CYBORDER));
  EXPECT_EQ(rf.top, 170);
}

}  // namespace
}  // namespace framewise
