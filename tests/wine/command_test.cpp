// Fitting commands from InvokeCommand to the desktop: the JPEG, the applied wallpaper,
// the remembered choice, and every failure path leaving the settings untouched.
#include <windows.h>
#include <wininet.h>
#include <shlobj.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>

#include "fitting/wallpaper_output.h"
#include "handler_fixture.h"
#include "settings/settings_file.h"
#include "tools/support/active_desktop_stand_in.h"

using testsupport::Handler;
using testsupport::TempDir;

namespace {

namespace gp = Gdiplus::DllExports;

std::wstring ReadIni(const std::wstring& path, const wchar_t* key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(L"Desktop", key, L"<none>", value, 1024, path.c_str());
  return value;
}

// Dialog windows of this thread: the please-wait window must never outlive a command.
BOOL CALLBACK CountDialogs(HWND window, LPARAM count) {
  wchar_t name[16];
  if (GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32770") == 0) ++*reinterpret_cast<int*>(count);
  return TRUE;
}
int ThreadDialogs() {
  int count = 0;
  EnumThreadWindows(GetCurrentThreadId(), CountDialogs, reinterpret_cast<LPARAM>(&count));
  return count;
}

int g_dialogsCreated = 0;
using CreateDialogFunction = HWND(WINAPI*)(HINSTANCE, LPCWSTR, HWND, DLGPROC, LPARAM);
CreateDialogFunction g_realCreateDialog = nullptr;  // the patched import must not call itself
HWND WINAPI CountingCreateDialogParamW(HINSTANCE instance, LPCWSTR name, HWND owner, DLGPROC proc, LPARAM param) {
  ++g_dialogsCreated;
  return g_realCreateDialog(instance, name, owner, proc, param);
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
    realCreateDialog = testsupport::PatchImport(nullptr, "user32.dll", "CreateDialogParamW",
                                                reinterpret_cast<void*>(&CountingCreateDialogParamW));
    ASSERT_NE(realCreateDialog, nullptr);
    g_realCreateDialog = reinterpret_cast<CreateDialogFunction>(realCreateDialog);
    g_dialogsCreated = 0;
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));  // a live cursor to come back to
  }
  void TearDown() override {
    testsupport::PatchImport(nullptr, "user32.dll", "CreateDialogParamW", realCreateDialog);
  }

  std::wstring Settings() const { return ini.path(); }

  TempDir dir;
  std::wstring folder, wide, tall;
  testsupport::FileAside ini{testsupport::UserDataFolder() + L"\\Wrenfly Framewise.ini"};
  testsupport::FileAside jpeg{testsupport::UserDataFolder() + L"\\Desktop Background.jpg"};
  standin::ActiveDesktopStandIn desktop;
  void* realCreateDialog = nullptr;
};

TEST_F(CommandTest, FittingMakesTheWallpaperAndRemembersIt) {
  const HCURSOR before = GetCursor();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  ASSERT_EQ(h.Invoke(4), S_OK);  // Middle
  EXPECT_EQ(GetCursor(), before);
  EXPECT_EQ(ThreadDialogs(), 0);
  EXPECT_EQ(g_dialogsCreated, 1);

  // The file: the monitor's size, a JPEG, at the user's data folder.
  Gdiplus::GpImage* image = nullptr;
  ASSERT_EQ(gp::GdipLoadImageFromFile(jpeg.path().c_str(), &image), Gdiplus::Ok);
  UINT width = 0, height = 0;
  GUID format = {};
  gp::GdipGetImageWidth(image, &width);
  gp::GdipGetImageHeight(image, &height);
  gp::GdipGetImageRawFormat(image, &format);
  gp::GdipDisposeImage(image);
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
  EXPECT_EQ(g_dialogsCreated, 0);
  EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
}

Gdiplus::GpStatus WINGDIPAPI NoEncoders(UINT* count, UINT* size) {
  *count = 0;
  *size = 0;
  return Gdiplus::Ok;
}

TEST_F(CommandTest, NoJpegEncoderWritesAndRemembersNothing) {
  void* real = testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipGetImageEncodersSize",
                                        reinterpret_cast<void*>(&NoEncoders));
  ASSERT_NE(real, nullptr);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
  const HCURSOR before = GetCursor();
  EXPECT_EQ(h.Invoke(4), E_FAIL);
  testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipGetImageEncodersSize", real);
  EXPECT_EQ(GetCursor(), before);
  EXPECT_EQ(ThreadDialogs(), 0);
  EXPECT_EQ(g_dialogsCreated, 1);  // shown and removed again
  EXPECT_EQ(GetFileAttributesW(jpeg.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(ReadIni(Settings(), L"Photo"), L"<none>");
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
  Gdiplus::GpBitmap* bitmap = nullptr;
  ASSERT_EQ(gp::GdipCreateBitmapFromScan0(1280, 1024, 0, PixelFormat24bppRGB, nullptr, &bitmap), Gdiplus::Ok);
  Gdiplus::GpGraphics* g = nullptr;
  ASSERT_EQ(gp::GdipGetImageGraphicsContext(bitmap, &g), Gdiplus::Ok);
  gp::GdipGraphicsClear(g, 0xFF000000);
  gp::GdipDeleteGraphics(g);
  {
    testsupport::WorkAreaOverride area({0, 0, 1280, 984}, {0, 0, 1280, 1024});
    EXPECT_TRUE(framewise::DrawBetaNotice(bitmap));
  }
  int whiteLowerRight = 0, anyUpperLeft = 0, belowWork = 0;
  for (int y = 0; y < 1024; y += 2) {
    for (int x = 0; x < 1280; x += 2) {
      Gdiplus::ARGB c = 0;
      gp::GdipBitmapGetPixel(bitmap, x, y, &c);
      if ((c & 0xFFFFFF) == 0) continue;
      if (y >= 984) ++belowWork;
      else if (x > 640 && y > 700 && (c & 0xFFFFFF) == 0xFFFFFF) ++whiteLowerRight;
      else if (x < 640 && y < 700) ++anyUpperLeft;
    }
  }
  gp::GdipDisposeImage(bitmap);
  EXPECT_GT(whiteLowerRight, 50);
  EXPECT_EQ(anyUpperLeft, 0);
  EXPECT_EQ(belowWork, 0);
}

// 200 commands on x64; fewer through the 32-bit emulator.
constexpr int kCommands = sizeof(void*) == 8 ? 200 : 20;

TEST_F(CommandTest, ManyCommandsLeakNothing) {
  desktop.record().applyToSystem = false;  // the desktop repaint is Wine's cost, not ours
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({tall}), S_OK);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(h.Invoke(5), S_OK);
  const auto before = testsupport::CurrentResourceCounts();
  for (int i = 0; i < kCommands; ++i) ASSERT_EQ(h.Invoke(i % 2 ? 5 : 7), S_OK);
  const auto after = testsupport::CurrentResourceCounts();
  printf("[ leaks    ] %d commands: private bytes %zu -> %zu; GDI objects %lu -> %lu\n", kCommands,
         before.privateBytes, after.privateBytes, before.gdiObjects, after.gdiObjects);
  EXPECT_LT(after.privateBytes, before.privateBytes + 4 * 1024 * 1024);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + 2);
  EXPECT_EQ(ThreadDialogs(), 0);
}

}  // namespace
