// Fitting commands from InvokeCommand to the desktop: the JPEG, the applied wallpaper,
// the remembered choice, and every failure path leaving the settings untouched.
#include <windows.h>
#include <wininet.h>
#include <shlobj.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "fitting/fitting_command.h"
#include "fitting/wallpaper_output.h"
#include "framework/gdiplus_owners.h"
#include "tests/support/handler_fixture.h"
#include "leak_checks.h"
#include "settings/settings_file.h"
#include "settings/version.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/desktop_wallpaper_stand_in.h"
#include "colour_checks.h"
#include "tests/support/fault_injection.h"

using testsupport::Handler;
using testsupport::TempDir;

namespace {

namespace gp = Gdiplus::DllExports;

std::wstring ReadIni(const std::wstring& path, const wchar_t* key) {
  return testsupport::ReadIniValue(path, L"Desktop", key);
}

// Dialog windows of this thread: the please-wait window must never outlive a command.
BOOL CALLBACK CountDialogs(HWND window, LPARAM count) {
  wchar_t name[16];
  if (GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32770") == 0)
    ++*reinterpret_cast<int*>(count);
  return TRUE;
}
int ThreadDialogs() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountDialogs, reinterpret_cast<LPARAM>(&count));
  return count;
}

bool IsWaitCursor(HCURSOR cursor) { return cursor && cursor == LoadCursorW(nullptr, IDC_WAIT); }

// The please-wait window as the command made it, and as it was while the work ran.
struct PleaseWaitRecord {
  int created = 0;
  LPCWSTR templateName = nullptr;
  bool waitCursorAtCreation = false;
  HWND window = nullptr;
  // Seen when the wallpaper file was saved, in the middle of the work.
  bool seenAtSave = false;
  bool visible = false;
  bool painted = false;  // no part of it or its controls waits for a paint
  bool waitCursorAtSave = false;
  HWND owner = nullptr;
  POINT topLeft = {};          // of its client area, on the screen
  POINT expectedTopLeft = {};  // the template's 40, 40 dialog units from the owner's client area
};
PleaseWaitRecord g_pleaseWait;

using CreateDialogFunction = HWND(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
CreateDialogFunction g_realCreateDialog = nullptr;  // the patched import must not call itself
HWND WINAPI CountingCreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc,
                                       LPARAM param) {
  ++g_pleaseWait.created;
  g_pleaseWait.templateName = name;
  g_pleaseWait.waitCursorAtCreation = IsWaitCursor(GetCursor());
  g_pleaseWait.window = g_realCreateDialog(instance, name, owner, proc, param);
  return g_pleaseWait.window;
}

bool WaitsForPaint(HWND window) { return GetUpdateRect(window, nullptr, FALSE) != FALSE; }

using SaveFunction = Gdiplus::GpStatus(WINGDIPAPI*)(Gdiplus::GpImage*, const WCHAR*, const CLSID*,
                                                    const Gdiplus::EncoderParameters*);
SaveFunction g_realSave = nullptr;
Gdiplus::GpStatus WINGDIPAPI SaveLookingAtTheWindow(Gdiplus::GpImage* image, const WCHAR* file,
                                                    const CLSID* encoder,
                                                    const Gdiplus::EncoderParameters* parameters) {
  PleaseWaitRecord& r = g_pleaseWait;
  const HWND window = r.window;
  r.seenAtSave = window && IsWindow(window);
  if (r.seenAtSave) {
    r.visible = IsWindowVisible(window) != FALSE;
    r.painted = !WaitsForPaint(window);
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
      r.painted = r.painted && !WaitsForPaint(child);
    }
    r.owner = GetWindow(window, GW_OWNER);
    r.topLeft = {0, 0};
    ClientToScreen(window, &r.topLeft);
    RECT units = {40, 40, 0, 0};
    MapDialogRect(window, &units);
    POINT origin = {0, 0};
    if (r.owner) ClientToScreen(r.owner, &origin);
    r.expectedTopLeft = {origin.x + units.left, origin.y + units.top};
  }
  r.waitCursorAtSave = IsWaitCursor(GetCursor());
  return g_realSave(image, file, encoder, parameters);
}

class CommandTest : public testing::Test {
 protected:
  void SetUp() override {
    folder = testsupport::UserDataFolder();
    ASSERT_FALSE(folder.empty());
    wide = dir.File(L"wide.jpg");
    tall = dir.File(L"tall.png");
    ASSERT_TRUE(testsupport::WritePicture(wide, 1600, 800));
    ASSERT_TRUE(testsupport::WritePicture(tall, 500, 900, L"image/png"));
    ASSERT_TRUE(desktop.registered());
    ASSERT_NE(createDialog.real(), nullptr);
    g_realCreateDialog = createDialog.real_as<CreateDialogFunction>();
    g_pleaseWait = PleaseWaitRecord();
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));  // a live cursor to come back to
  }

  std::wstring Settings() const { return ini.path(); }

  TempDir dir;
  std::wstring folder, wide, tall;
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
  testsupport::ImportPatch createDialog{"user32.dll", "CreateDialogParamW",
                                        reinterpret_cast<void*>(&CountingCreateDialogParamW)};
};

TEST_F(CommandTest, FittingMakesTheWallpaperAndRemembersIt) {
  const HCURSOR before = GetCursor();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  ASSERT_EQ(h.Invoke(4), S_OK);  // Middle
  EXPECT_EQ(GetCursor(), before);
  EXPECT_EQ(ThreadDialogs(), 0);
  EXPECT_EQ(g_pleaseWait.created, 1);

  // The file: the monitor's size, a JPEG, at the user's data folder.
  UINT width = 0, height = 0;
  GUID format = {};
  {
    fw::GpImageOwner image;
    ASSERT_EQ(gp::GdipLoadImageFromFile(jpeg.path().c_str(), image.put()), Gdiplus::Ok);
    gp::GdipGetImageWidth(image.get(), &width);
    gp::GdipGetImageHeight(image.get(), &height);
    gp::GdipGetImageRawFormat(image.get(), &format);
  }  // the file is free again for what follows
  EXPECT_EQ(width, static_cast<UINT>(GetSystemMetrics(SM_CXSCREEN)));
  EXPECT_EQ(height, static_cast<UINT>(GetSystemMetrics(SM_CYSCREEN)));
  EXPECT_TRUE(IsEqualGUID(format, Gdiplus::ImageFormatJPEG));

  // Applied centred through Active Desktop, and the desktop really changed.
  const auto& record = desktop.record();
  EXPECT_EQ(record.wallpaper, jpeg.path());
  EXPECT_EQ(record.style, static_cast<DWORD>(WPSTYLE_CENTER));
  EXPECT_EQ(record.optionsSize, 8u);
  EXPECT_EQ(record.applyFlags, static_cast<DWORD>(AD_APPLY_ALL));
  wchar_t current[MAX_PATH] = {};
  SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, current, 0);
  EXPECT_EQ(lstrcmpiW(current, jpeg.path().c_str()), 0);

  EXPECT_EQ(ReadIni(Settings(), L"Photo"), wide);
  EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), L"Middle");
}

// Windows 8 and later with one monitor attached and another the shell still remembers
// (its path has no rectangle): one monitor is no reason for the per-monitor path.
TEST_F(CommandTest, OneAttachedMonitorKeepsTheOneFilePath) {
  standin::DesktopWallpaperStandIn perMonitor;
  ASSERT_TRUE(perMonitor.registered());
  ASSERT_EQ(perMonitor.record().monitors.size(), 1u);
  perMonitor.record().monitors.push_back({L"\\\\?\\DISPLAY#Remembered#1", RECT{0, 0, 0, 0}});
  desktop.record().applyToSystem = false;
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  ASSERT_EQ(h.Invoke(framewise::FitModeMiddle), S_OK);
  EXPECT_TRUE(perMonitor.record().wallpapers.empty());
  EXPECT_EQ(perMonitor.record().setPositionCalls, 0);
  EXPECT_EQ(desktop.record().setWallpaperCalls, 1);
  EXPECT_EQ(desktop.record().wallpaper, jpeg.path());
}

TEST_F(CommandTest, StoredNamesAndOnlyTheLatestChoice) {
  Handler a;
  ASSERT_EQ(a.InitializeWithFiles({wide}), S_OK);
  ASSERT_EQ(a.Invoke(7), S_OK);
  EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), L"BestFit");
  Handler b;
  ASSERT_EQ(b.InitializeWithFiles({tall}), S_OK);
  ASSERT_EQ(b.Invoke(2), S_OK);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), tall);
  EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), L"Top");
  EXPECT_EQ(desktop.record().wallpaper, jpeg.path());  // the same file, replaced
  // "Fill Screen" is stored as "Exact".
  const std::wstring screen = dir.File(L"screen.bmp");
  ASSERT_TRUE(testsupport::WritePicture(screen, 1280, 1024, L"image/bmp"));
  Handler c;
  ASSERT_EQ(c.InitializeWithFiles({screen}), S_OK);
  ASSERT_EQ(c.Invoke(1), S_OK);
  EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), L"Exact");
}

TEST_F(CommandTest, DeletedPictureFailsWithoutTheWindow) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  ASSERT_TRUE(DeleteFileW(wide.c_str()));
  EXPECT_EQ(h.Invoke(3), E_FAIL);
  EXPECT_EQ(g_pleaseWait.created, 0);
  EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
}

// The command's modes are 1 to 7: a mode outside them is refused before anything is read,
// written or shown, whatever the target; the first and the last mode are taken.
TEST_F(CommandTest, ModesOutsideOneToSevenAreRefusedBeforeAnything) {
  using framewise::WallpaperTarget;
  for (int mode : {0, 8, -1}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(framewise::RunFittingCommand(wide, mode, nullptr, framewise::CommandProgress::Window),
              E_INVALIDARG);
    for (WallpaperTarget target : {WallpaperTarget::Span, WallpaperTarget::OneMonitor}) {
      EXPECT_EQ(framewise::RunTargetedCommand(wide, mode, target, L"", nullptr,
                                              framewise::CommandProgress::Window),
                E_INVALIDARG);
    }
  }
  EXPECT_EQ(g_pleaseWait.created, 0);
  EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
  for (int mode : {1, 7}) {
    EXPECT_EQ(framewise::RunFittingCommand(wide, mode, nullptr, framewise::CommandProgress::Silent),
              S_OK)
        << mode;
  }
  EXPECT_EQ(desktop.record().setWallpaperCalls, 2);
}

Gdiplus::GpStatus WINGDIPAPI NoEncoders(UINT* count, UINT* size) {
  *count = 0;
  *size = 0;
  return Gdiplus::Ok;
}

// An encoder is found by its exact MIME type, at its place in the library's own list;
// anything else is -1.
TEST(EncoderLookup, ExactMimeTypesAtTheirPlaceOrMinusOne) {
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  ASSERT_TRUE(gdiplus);
  UINT count = 0, size = 0;
  ASSERT_EQ(gp::GdipGetImageEncodersSize(&count, &size), Gdiplus::Ok);
  std::vector<BYTE> buffer(size);
  auto codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  ASSERT_EQ(gp::GdipGetImageEncoders(count, size, codecs), Gdiplus::Ok);
  for (const wchar_t* mime : {L"image/jpeg", L"image/png"}) {
    CLSID found = {};
    const int index = framewise::FindEncoder(mime, &found);
    ASSERT_GE(index, 0);
    ASSERT_LT(static_cast<UINT>(index), count);
    EXPECT_STREQ(codecs[index].MimeType, mime);
    EXPECT_TRUE(IsEqualCLSID(codecs[index].Clsid, found));
  }
  CLSID untouched = {};
  for (const wchar_t* mime : {L"image/JPEG", L"image/jpe", L"image/jpeg ", L""}) {
    EXPECT_EQ(framewise::FindEncoder(mime, &untouched), -1);
  }
}

TEST_F(CommandTest, NoJpegEncoderWritesAndRemembersNothing) {
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  const HCURSOR before = GetCursor();
  {
    testsupport::ImportPatch encoders("gdiplus.dll", "GdipGetImageEncodersSize",
                                      reinterpret_cast<void*>(&NoEncoders));
    ASSERT_NE(encoders.real(), nullptr);
    EXPECT_EQ(h.Invoke(4), E_FAIL);
  }
  EXPECT_EQ(GetCursor(), before);
  EXPECT_EQ(ThreadDialogs(), 0);
  EXPECT_EQ(g_pleaseWait.created, 1);  // shown and removed again
  EXPECT_EQ(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
}

// The please-wait window while a command works: template 216, shown and painted at once
// (nothing pumps messages until the work is over), under the wait cursor, owned by the
// thread's active window and placed 40, 40 dialog units from its owner's client area.
TEST_F(CommandTest, PleaseWaitWindowIsShownPaintedAndPlacedWhileTheWorkRuns) {
  desktop.record().applyToSystem = false;
  testsupport::ImportPatch save("gdiplus.dll", "GdipSaveImageToFile",
                                reinterpret_cast<void*>(&SaveLookingAtTheWindow));
  ASSERT_NE(save.real(), nullptr);
  g_realSave = save.real_as<SaveFunction>();
  testsupport::UniqueWindow shell(testsupport::CreateShellWindow(230, 170, 600, 400));
  ASSERT_TRUE(shell);
  SetActiveWindow(shell.get());
  ASSERT_EQ(GetActiveWindow(), shell.get());
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);

  // The shell's own window, and no window at all: the active window owns it either way.
  for (HWND given : {shell.get(), static_cast<HWND>(nullptr)}) {
    SCOPED_TRACE(given ? "the shell's window given" : "no window given");
    g_pleaseWait = PleaseWaitRecord();
    ASSERT_EQ(h.Invoke(framewise::FitModeMiddle, given), S_OK);
    const PleaseWaitRecord& r = g_pleaseWait;
    EXPECT_EQ(r.created, 1);
    EXPECT_TRUE(IS_INTRESOURCE(r.templateName) &&
                LOWORD(reinterpret_cast<ULONG_PTR>(r.templateName)) == 216)
        << "not dialog template 216 (the please-wait window)";
    EXPECT_TRUE(r.waitCursorAtCreation);
    EXPECT_TRUE(r.waitCursorAtSave);
    ASSERT_TRUE(r.seenAtSave) << "the window was gone before the work ended";
    EXPECT_TRUE(r.visible);
    EXPECT_TRUE(r.painted) << "shown without being painted at once";
    EXPECT_EQ(r.owner, shell.get());
    EXPECT_EQ(r.topLeft.x, r.expectedTopLeft.x);
    EXPECT_EQ(r.topLeft.y, r.expectedTopLeft.y);
    EXPECT_TRUE(IsWindowEnabled(shell.get())) << "a modeless window leaves its owner enabled";
    EXPECT_FALSE(IsWindow(r.window));
  }

  // With no active window on the thread it has no owner and is placed from the screen's
  // top left corner.
  shell.reset();
  if (GetActiveWindow() != nullptr) GTEST_SKIP() << "another window of this thread became active";
  g_pleaseWait = PleaseWaitRecord();
  ASSERT_EQ(h.Invoke(framewise::FitModeMiddle), S_OK);
  ASSERT_TRUE(g_pleaseWait.seenAtSave);
  EXPECT_EQ(g_pleaseWait.owner, nullptr);
  EXPECT_EQ(g_pleaseWait.topLeft.x, g_pleaseWait.expectedTopLeft.x);
  EXPECT_EQ(g_pleaseWait.topLeft.y, g_pleaseWait.expectedTopLeft.y);
}

TEST_F(CommandTest, ActiveDesktopFailuresStopTheRestAndRememberNothing) {
  for (int failing = 1; failing <= 3; ++failing) {
    desktop.record() = standin::ActiveDesktopRecord();
    desktop.record().failingCall = failing;
    desktop.record().failure = E_ACCESSDENIED;
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
    EXPECT_EQ(h.Invoke(6), E_FAIL) << failing;
    EXPECT_EQ(desktop.record().setOptionsCalls, failing >= 2 ? 1 : 0) << failing;
    EXPECT_EQ(desktop.record().applyCalls, failing >= 3 ? 1 : 0) << failing;
    EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>") << failing;
    // The file itself was written before Active Desktop was asked.
    EXPECT_NE(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ThreadDialogs(), 0);
  }
  // Any success code is success.
  desktop.record() = standin::ActiveDesktopRecord();
  desktop.record().success = S_FALSE;
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  EXPECT_EQ(h.Invoke(6), S_OK);
  EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), L"Right");
}

// The notice of beta builds sits in the lower right of the work area; release builds (this
// program's version resource) draw none.
TEST_F(CommandTest, BetaNoticeIsDrawnBottomRight) {
  const fw::GpBitmapOwner bitmap =
      testsupport::ClearedBitmap(1280, 1024, PixelFormat24bppRGB, 0xFF000000);
  ASSERT_TRUE(bitmap);
  {
    testsupport::WorkAreaOverride area({0, 0, 1280, 984}, {0, 0, 1280, 1024});
    EXPECT_TRUE(framewise::DrawBetaNotice(bitmap.get()));
  }
  int whiteLowerRight = 0, anyUpperLeft = 0, belowWork = 0;
  for (int y = 0; y < 1024; y += 2) {
    for (int x = 0; x < 1280; x += 2) {
      Gdiplus::ARGB c = 0;
      gp::GdipBitmapGetPixel(bitmap.get(), x, y, &c);
      if ((c & 0xFFFFFF) == 0) continue;
      if (y >= 984)
        ++belowWork;
      else if (x > 640 && y > 700 && (c & 0xFFFFFF) == 0xFFFFFF)
        ++whiteLowerRight;
      else if (x < 640 && y < 700)
        ++anyUpperLeft;
    }
  }
  EXPECT_GT(whiteLowerRight, 50);
  EXPECT_EQ(anyUpperLeft, 0);
  EXPECT_EQ(belowWork, 0);
}

// Without any font to write it in, the notice is not drawn and the drawing says so: a beta
// wallpaper is never made without its notice.
using NoFonts = testsupport::NoFontFamilies;

TEST_F(CommandTest, BetaNoticeWithoutAnyFontFails) {
  fw::GpBitmapOwner bitmap;
  ASSERT_EQ(gp::GdipCreateBitmapFromScan0(640, 480, 0, PixelFormat24bppRGB, nullptr, bitmap.put()),
            Gdiplus::Ok);
  NoFonts noFonts;
  ASSERT_TRUE(noFonts.patched());
  testsupport::WorkAreaOverride area({0, 0, 640, 440}, {0, 0, 640, 480});
  EXPECT_FALSE(framewise::DrawBetaNotice(bitmap.get()));
}

// One failing call at a time while the notice is drawn: the drawing says it failed, or
// the notice is the one drawn when nothing fails.
TEST_F(CommandTest, BetaNoticeWithAFailingCallSaysSoOrIsWhole) {
  testsupport::faults::Injector injector;
  ASSERT_TRUE(injector.complete());
  testsupport::WorkAreaOverride area({0, 0, 640, 440}, {0, 0, 640, 480});
  // The lower right quarter, where the notice goes, after drawing it with call `failAt`
  // failing (0: none).
  auto draw = [](int failAt, bool* drawn) {
    std::vector<Gdiplus::ARGB> pixels;
    fw::GpBitmapOwner bitmap;
    if (gp::GdipCreateBitmapFromScan0(640, 480, 0, PixelFormat24bppRGB, nullptr, bitmap.put()) !=
        Gdiplus::Ok) {
      return pixels;
    }
    testsupport::faults::g_calls = 0;
    testsupport::faults::g_failAt = failAt;
    testsupport::faults::g_armed = true;
    *drawn = framewise::DrawBetaNotice(bitmap.get());
    testsupport::faults::g_armed = false;
    for (int y = 240; y < 480; y += 2) {
      for (int x = 320; x < 640; x += 2) {
        Gdiplus::ARGB c = 0;
        gp::GdipBitmapGetPixel(bitmap.get(), x, y, &c);
        pixels.push_back(c);
      }
    }
    return pixels;
  };
  bool drawn = false;
  const std::vector<Gdiplus::ARGB> whole = draw(0, &drawn);
  ASSERT_TRUE(drawn);
  const int calls = testsupport::faults::g_calls;
  ASSERT_GE(calls, 5);
  for (int failing = 1; failing <= calls; ++failing) {
    const std::vector<Gdiplus::ARGB> shown = draw(failing, &drawn);
    SCOPED_TRACE(testsupport::faults::g_failed);
    if (drawn) {
      EXPECT_TRUE(shown == whole) << "a notice drawn in part, reported as drawn";
    }
  }
}

// A beta build never sets a wallpaper without its notice: with no font to write it in, the
// command fails and writes and remembers nothing; with one, it goes through.
TEST_F(CommandTest, ABetaBuildsWallpaperIsNotMadeWithoutItsNotice) {
  testsupport::PrereleaseBuild beta;
  ASSERT_TRUE(beta.patched());
  ASSERT_TRUE(framewise::IsPrereleaseBuild());
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  {
    NoFonts noFonts;
    ASSERT_TRUE(noFonts.patched());
    EXPECT_EQ(h.Invoke(4), E_FAIL);
  }
  EXPECT_EQ(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
  EXPECT_EQ(h.Invoke(4), S_OK);
  EXPECT_NE(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
}

// 200 commands; fewer through an emulator.
const int kCommands = testsupport::RunsUnderEmulator() ? 20 : 200;

TEST_F(CommandTest, ManyCommandsLeakNothing) {
  desktop.record().applyToSystem = false;  // the desktop repaint is Wine's cost, not ours
  // Wine's COM keeps two handles from every activation of a class it has not registered
  // (it looks for a local server): the per-monitor object answers here as on a desktop of
  // one monitor, so that the handles counted are the command's own.
  standin::DesktopWallpaperStandIn perMonitor;
  ASSERT_TRUE(perMonitor.registered());
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({tall}), S_OK);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(h.Invoke(5), S_OK);
  const auto before = testsupport::CurrentResourceCounts();
  for (int i = 0; i < kCommands; ++i) ASSERT_EQ(h.Invoke(i % 2 ? 5 : 7), S_OK);
  const auto after = testsupport::CurrentResourceCounts();
  printf("[ leaks    ] %d commands: private bytes %zu -> %zu\n", kCommands, before.privateBytes,
         after.privateBytes);
  EXPECT_LT(after.privateBytes, before.privateBytes + 4 * 1024 * 1024);
  EXPECT_EQ(ThreadDialogs(), 0);
  testsupport::ExpectCountsKept(before, after, 2, 4);
}

// One failing call at a time, for every call a fill and a best fit make: the command either
// fails, leaving the wallpaper file and the settings as they were and the desktop unasked, or
// succeeds with exactly the wallpaper it makes when nothing fails. A failure answered as
// success shows as a success with another file or none.
TEST_F(CommandTest, AnyFailingCallFailsTheCommandOrChangesNothing) {
  testsupport::faults::Injector injector;
  ASSERT_TRUE(injector.complete());
  const std::string kOld = "the wallpaper before";
  for (const int mode : {framewise::FitModeMiddle, framewise::FitModeBestFit}) {
    SCOPED_TRACE(mode);
    // What the command makes when nothing fails, and how many calls it makes.
    DeleteFileW(Settings().c_str());
    testsupport::faults::g_calls = 0;
    testsupport::faults::g_failAt = 0;
    {
      Handler h;
      ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
      testsupport::faults::g_armed = true;
      const HRESULT made = h.Invoke(mode);
      testsupport::faults::g_armed = false;
      ASSERT_EQ(made, S_OK);
    }
    const int calls = testsupport::faults::g_calls;
    ASSERT_GT(calls, 5);
    const std::string expected = testsupport::ReadBytes(jpeg.path());
    ASSERT_FALSE(expected.empty());
    const std::wstring part = ReadIni(Settings(), L"WhichPart");
    for (int failing = 1; failing <= calls; ++failing) {
      SCOPED_TRACE(failing);
      ASSERT_TRUE(testsupport::WriteBytes(jpeg.path(), kOld.data(), kOld.size()));
      DeleteFileW(Settings().c_str());
      desktop.record() = standin::ActiveDesktopRecord();
      desktop.record().applyToSystem = false;
      testsupport::faults::g_calls = 0;
      testsupport::faults::g_failAt = failing;
      Handler h;
      ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
      testsupport::faults::g_armed = true;
      const HRESULT result = h.Invoke(mode);
      testsupport::faults::g_armed = false;
      SCOPED_TRACE(testsupport::faults::g_failed);
      if (SUCCEEDED(result)) {
        EXPECT_TRUE(testsupport::ReadBytes(jpeg.path()) == expected) << "another wallpaper";
        EXPECT_EQ(ReadIni(Settings(), L"WhichPart"), part);
      } else {
        EXPECT_EQ(testsupport::ReadBytes(jpeg.path()), kOld);
        EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
        EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
      }
      EXPECT_EQ(ThreadDialogs(), 0);
    }
  }
}
}  // namespace
