// Desktops of several monitors: one wallpaper per monitor, each cut for its own shape and
// size, set through the per-monitor wallpaper object (a stand-in here: Wine has none), and
// the one-file path kept where that object or a second monitor is missing.
#include <windows.h>
#include <shlobj.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "colour_checks.h"
#include "fitting/desktop_wallpaper.h"
#include "fitting/imaging.h"
#include "fitting/monitor_wallpapers.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/monitor_fit.h"
#include "fitting/wallpaper_output.h"
#include "settings/version.h"
#include "shellext/portable/menu_table.h"
#include "fitting/screen.h"
#include "framework/gdiplus_owners.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/desktop_wallpaper_stand_in.h"

using Gdiplus::ARGB;
using testsupport::Handler;

namespace {

namespace gp = Gdiplus::DllExports;

// Three monitors: a landscape primary, a portrait one on its right, and a larger one on
// its left whose taskbar is docked on its left edge.
const testsupport::FakeMonitor kPrimary{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, true};
const testsupport::FakeMonitor kPortrait{{1920, 0, 3000, 1920}, {1920, 0, 3000, 1920}, false};
const testsupport::FakeMonitor kLarge{{-2560, 0, 0, 1440}, {-2500, 0, 0, 1440}, false};
const wchar_t kPrimaryId[] = L"\\\\?\\DISPLAY#PRIMARY#1";
const wchar_t kPortraitId[] = L"\\\\?\\DISPLAY#PORTRAIT#2";
const wchar_t kLargeId[] = L"\\\\?\\DISPLAY#LARGE#3";

constexpr ARGB kTopLeft = testsupport::kQuadrantColours[0], kTopRight = testsupport::kQuadrantColours[1],
               kBottomLeft = testsupport::kQuadrantColours[2], kBottomRight = testsupport::kQuadrantColours[3];

testing::AssertionResult Near(ARGB a, ARGB b, int tolerance = 20) { return testsupport::NearColour(a, b, tolerance); }

// A 1600 x 1200 picture in four colours, split at its middle, saved losslessly.
void WriteQuadrants(const std::wstring& path) {
  fw::GpBitmapOwner picture;
  ASSERT_EQ(gp::GdipCreateBitmapFromScan0(1600, 1200, 0, PixelFormat24bppRGB, nullptr, picture.put()), Gdiplus::Ok);
  fw::GpGraphicsOwner g;
  ASSERT_EQ(gp::GdipGetImageGraphicsContext(picture.get(), g.put()), Gdiplus::Ok);
  const struct { ARGB c; int x, y; } parts[] = {{kTopLeft, 0, 0}, {kTopRight, 800, 0}, {kBottomLeft, 0, 600}, {kBottomRight, 800, 600}};
  for (const auto& p : parts) {
    fw::GpSolidFillOwner brush;
    ASSERT_EQ(gp::GdipCreateSolidFill(p.c, brush.put()), Gdiplus::Ok);
    ASSERT_EQ(gp::GdipFillRectangleI(g.get(), brush.get(), p.x, p.y, 800, 600), Gdiplus::Ok);
  }
  g.reset();
  CLSID png = {};
  ASSERT_GE(framewise::FindEncoder(L"image/png", &png), 0);
  ASSERT_EQ(gp::GdipSaveImageToFile(picture.get(), path.c_str(), &png, nullptr), Gdiplus::Ok);
}

struct Wallpaper {
  fw::GpBitmapOwner bitmap;
  UINT width = 0, height = 0;
  ARGB At(int x, int y) const {
    ARGB c = 0;
    gp::GdipBitmapGetPixel(bitmap.get(), x, y, &c);
    return c;
  }
};

Wallpaper Load(const std::wstring& path) {
  Wallpaper w;
  EXPECT_EQ(gp::GdipCreateBitmapFromFile(path.c_str(), w.bitmap.put()), Gdiplus::Ok) << std::string(path.begin(), path.end());
  gp::GdipGetImageWidth(w.bitmap.get(), &w.width);
  gp::GdipGetImageHeight(w.bitmap.get(), &w.height);
  return w;
}

class MonitorsTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus);
    picture = dir.File(L"quadrants.png");
    WriteQuadrants(picture);
    ASSERT_TRUE(activeDesktop.registered());
    activeDesktop.record().applyToSystem = false;
    folder = testsupport::UserDataFolder();
  }

  std::wstring FileOf(const wchar_t* id) const {
    return folder + L"\\" + framewise::MonitorWallpaperName(id);
  }
  std::wstring Ini(const wchar_t* key) const {
    wchar_t value[512] = {};
    GetPrivateProfileStringW(L"Desktop", key, L"<none>", value, 512, ini.path().c_str());
    return value;
  }

  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  testsupport::TempDir dir;
  std::wstring picture, folder;
  testsupport::MonitorsOverride monitors{{kPrimary, kPortrait, kLarge}};
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside primaryFile{testsupport::UserWallpaperFile()};
  testsupport::FileAside portraitFile{testsupport::UserDataFolder() + L"\\" + framewise::MonitorWallpaperName(kPortraitId)};
  testsupport::FileAside largeFile{testsupport::UserDataFolder() + L"\\" + framewise::MonitorWallpaperName(kLargeId)};
  standin::ActiveDesktopStandIn activeDesktop;
};

// The stand-in reporting the three monitors in the shell's order.
void Report(standin::DesktopWallpaperStandIn& wallpaper, bool all = true) {
  wallpaper.record().monitors = {{kLargeId, kLarge.monitor}, {kPrimaryId, kPrimary.monitor}};
  if (all) wallpaper.record().monitors.push_back({kPortraitId, kPortrait.monitor});
}

TEST_F(MonitorsTest, EveryMonitorGetsItsOwnCut) {
  // The desktop colour, set by the test: red, green and blue all different.
  testsupport::TestDesktopColour desktopColour;
  ASSERT_TRUE(desktopColour.applied());
  standin::DesktopWallpaperStandIn wallpaper;
  ASSERT_TRUE(wallpaper.registered());
  Report(wallpaper);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
  ASSERT_EQ(h.Invoke(framewise::FitModeTop), S_OK);

  const auto& record = wallpaper.record();
  EXPECT_EQ(record.wallpapers.at(kPrimaryId), primaryFile.path());
  EXPECT_EQ(record.wallpapers.at(kPortraitId), portraitFile.path());
  EXPECT_EQ(record.wallpapers.at(kLargeId), largeFile.path());
  EXPECT_EQ(record.setPositionCalls, 1);
  EXPECT_EQ(record.position, 0);  // centred (the shell's DWPOS_CENTER)
  EXPECT_EQ(activeDesktop.record().setWallpaperCalls, 0);
  EXPECT_EQ(Ini(L"Photo"), picture);
  EXPECT_EQ(Ini(L"WhichPart"), L"Top");

  // Primary, 16:9: the 4:3 picture is taller, so Top keeps its full width and its top
  // 900 rows; the split at row 600 lands at 600 / 900 * 1080 = 720.
  Wallpaper primary = Load(primaryFile.path());
  ASSERT_EQ(primary.width, 1920u);
  ASSERT_EQ(primary.height, 1080u);
  EXPECT_TRUE(Near(primary.At(400, 700), kTopLeft));
  EXPECT_TRUE(Near(primary.At(400, 740), kBottomLeft));
  EXPECT_TRUE(Near(primary.At(1500, 700), kTopRight));
  EXPECT_TRUE(Near(primary.At(1500, 1075), kBottomRight));

  // Portrait 1080 x 1920: the picture is wider there, so Top becomes Middle: all 1200 rows
  // and the middle 675 columns (x 462..1137); the split at column 800 lands at
  // (800 - 462) / 675 * 1080 = 540.8, and row 600 at 960.
  Wallpaper portrait = Load(portraitFile.path());
  ASSERT_EQ(portrait.width, 1080u);
  ASSERT_EQ(portrait.height, 1920u);
  EXPECT_TRUE(Near(portrait.At(520, 940), kTopLeft));
  EXPECT_TRUE(Near(portrait.At(562, 940), kTopRight));
  EXPECT_TRUE(Near(portrait.At(520, 980), kBottomLeft));
  EXPECT_TRUE(Near(portrait.At(1075, 1915), kBottomRight));

  // Large 2560 x 1440 with a 60-pixel bar on the left: the work area 2500 x 1440 is
  // wider than 4:3, so Top applies; 1600 / (2500 / 1440) = 921 rows of the picture fill the
  // work area's height. The crop widened over the bar reaches 38 columns past the picture:
  // the first 59 columns keep the desktop colour, as on a primary monitor.
  Wallpaper large = Load(largeFile.path());
  ASSERT_EQ(large.width, 2560u);
  ASSERT_EQ(large.height, 1440u);
  const int split = static_cast<int>(600.0 / 921.0 * 1440.0);  // 938
  EXPECT_TRUE(Near(large.At(200, split - 15), kTopLeft));
  EXPECT_TRUE(Near(large.At(200, split + 15), kBottomLeft));
  EXPECT_TRUE(Near(large.At(2, 10), testsupport::TestDesktopColour::kArgb, 4));
  EXPECT_TRUE(Near(large.At(100, 10), kTopLeft));
  EXPECT_TRUE(Near(large.At(2500, 10), kTopRight));
}

TEST_F(MonitorsTest, OneMonitorOrNoObjectKeepsTheOneFilePath) {
  {
    standin::DesktopWallpaperStandIn wallpaper;
    wallpaper.record().monitors = {{kPrimaryId, kPrimary.monitor}};
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
    ASSERT_EQ(h.Invoke(framewise::FitModeMiddle), S_OK);
    EXPECT_TRUE(wallpaper.record().wallpapers.empty());
    EXPECT_EQ(activeDesktop.record().setWallpaperCalls, 1);
    EXPECT_EQ(activeDesktop.record().wallpaper, primaryFile.path());
  }
  // No per-monitor object at all (Windows 7; Wine): three monitors, one file.
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
  ASSERT_EQ(h.Invoke(framewise::FitModeMiddle), S_OK);
  EXPECT_EQ(activeDesktop.record().setWallpaperCalls, 2);
  EXPECT_EQ(GetFileAttributesW(portraitFile.path().c_str()), INVALID_FILE_ATTRIBUTES);
  Wallpaper primary = Load(primaryFile.path());
  EXPECT_EQ(primary.width, 1920u);
}

TEST_F(MonitorsTest, OneMonitorFailingFailsTheCommandAndRemembersNothing) {
  standin::DesktopWallpaperStandIn wallpaper;
  Report(wallpaper);
  wallpaper.record().failingMonitor = kPrimaryId;  // the second one set, in the shell's order
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
  EXPECT_EQ(h.Invoke(framewise::FitModeMiddle), E_FAIL);
  // The monitor set before the failure keeps its file; none after it is written.
  EXPECT_EQ(wallpaper.record().order, std::vector<std::wstring>{kLargeId});
  EXPECT_NE(GetFileAttributesW(largeFile.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesW(portraitFile.path().c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(wallpaper.record().setPositionCalls, 0);
  EXPECT_EQ(Ini(L"Photo"), L"<none>");
  EXPECT_EQ(activeDesktop.record().setWallpaperCalls, 0);
}

TEST_F(MonitorsTest, ExactBecomesMiddleWhereProportionsDiffer) {
  // A picture with the primary's 16:9 proportions: "Fill Screen" (Exact) is offered.
  const std::wstring screen = dir.File(L"screen.png");
  ASSERT_TRUE(testsupport::WritePicture(screen, 1600, 900, L"image/png"));
  standin::DesktopWallpaperStandIn wallpaper;
  Report(wallpaper);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({screen}), S_OK);
  ASSERT_EQ(h.Invoke(framewise::FitModeExact), S_OK);
  EXPECT_EQ(Ini(L"WhichPart"), L"Exact");
  // On the portrait monitor Exact would keep the left edge; Middle keeps the centre: the
  // middle 506 columns (x 547..1053), so the portrait's column 700 shows picture column
  // 875, which the whole-picture primary shows at column 1050.
  Wallpaper portrait = Load(portraitFile.path());
  Wallpaper primary = Load(primaryFile.path());
  EXPECT_TRUE(Near(portrait.At(700, 300), primary.At(1050, 300), 24));
  EXPECT_FALSE(Near(portrait.At(700, 300), primary.At(700, 300), 24));
}

// The fitting's own methods, called as a later caller might: only a found monitor's index
// and only the seven commands' modes make a wallpaper, and what was refused sets nothing.
TEST_F(MonitorsTest, OnlyAFoundMonitorAndAMenuModeMakeAWallpaper) {
  standin::DesktopWallpaperStandIn wallpaper;
  Report(wallpaper);  // the shell's order: large, primary, portrait
  framewise::MonitorWallpapers monitors;
  ASSERT_TRUE(monitors.Find());
  ASSERT_EQ(monitors.monitors().size(), 3u);
  fw::GpImageOwner image = framewise::LoadPicture(picture.c_str());
  ASSERT_TRUE(image);
  const int middle = framewise::FitModeMiddle;
  using framewise::WallpaperTarget;

  for (int index : {-1, 3}) {
    EXPECT_FALSE(monitors.MakeOne(image.get(), middle, index)) << index;
    EXPECT_FALSE(monitors.ApplyTo(WallpaperTarget::OneMonitor, nullptr, picture, middle)) << index;
  }
  // Modes 1 to 7 are the commands; 0 and 8 are none.
  for (int mode : {0, 8}) {
    EXPECT_FALSE(monitors.MakeOne(image.get(), mode, 0)) << mode;
    EXPECT_FALSE(monitors.Make(image.get(), mode)) << mode;
    EXPECT_FALSE(monitors.MakeSpan(image.get(), mode)) << mode;
    EXPECT_FALSE(monitors.ApplyTo(WallpaperTarget::Span, nullptr, picture, mode)) << mode;
  }
  EXPECT_TRUE(wallpaper.record().wallpapers.empty());
  EXPECT_EQ(Ini(L"Photo"), L"<none>");

  // The first and the last monitor found are each theirs to set alone.
  ASSERT_TRUE(monitors.MakeOne(image.get(), middle, 0));
  ASSERT_TRUE(monitors.ApplyTo(WallpaperTarget::OneMonitor, nullptr, picture, middle));
  EXPECT_EQ(wallpaper.record().order, std::vector<std::wstring>{kLargeId});
  ASSERT_TRUE(monitors.MakeOne(image.get(), framewise::FitModeBestFit, 2));
  ASSERT_TRUE(
      monitors.ApplyTo(WallpaperTarget::OneMonitor, nullptr, picture, framewise::FitModeBestFit));
  EXPECT_EQ(wallpaper.record().order, (std::vector<std::wstring>{kLargeId, kPortraitId}));
  EXPECT_EQ(Load(portraitFile.path()).width, 1080u);
}

// A beta build sets no monitor without its notice: with no font to write it in, a command
// for every monitor or for the span fails and sets and remembers nothing.
TEST_F(MonitorsTest, ABetaBuildSetsNoMonitorWithoutItsNotice) {
  standin::DesktopWallpaperStandIn wallpaper;
  Report(wallpaper);
  testsupport::PrereleaseBuild beta;
  ASSERT_TRUE(beta.patched());
  ASSERT_TRUE(framewise::IsPrereleaseBuild());
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
  {
    testsupport::NoFontFamilies noFonts;
    ASSERT_TRUE(noFonts.patched());
    EXPECT_EQ(h.Invoke(framewise::FitModeMiddle), E_FAIL);
    EXPECT_EQ(h.Invoke(framewise::kSpanCommandBase + framewise::FitModeMiddle), E_FAIL);
    // Each way of making them says so itself.
    framewise::MonitorWallpapers monitors;
    ASSERT_TRUE(monitors.Find());
    fw::GpImageOwner image = framewise::LoadPicture(picture.c_str());
    ASSERT_TRUE(image);
    EXPECT_FALSE(monitors.Make(image.get(), framewise::FitModeMiddle));
    EXPECT_FALSE(monitors.MakeSpan(image.get(), framewise::FitModeMiddle));
    EXPECT_FALSE(monitors.MakeOne(image.get(), framewise::FitModeMiddle, 1));
  }
  EXPECT_TRUE(wallpaper.record().wallpapers.empty());
  EXPECT_EQ(Ini(L"Photo"), L"<none>");
  EXPECT_EQ(h.Invoke(framewise::kSpanCommandBase + framewise::FitModeMiddle), S_OK);
  EXPECT_EQ(wallpaper.record().wallpapers.size(), 3u);
}

}  // namespace
