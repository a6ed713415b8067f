// Photos as people have them, through the handler to the wallpaper file: EXIF orientation
// in rows, previews and wallpaper; the layouts cameras and programs write; clean edges;
// the encoder's quality; and a wallpaper file that a failed save never destroys.
#include <windows.h>
#include <shlobj.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "colour_checks.h"
#include "fitting/image_fixer.h"
#include "fitting/screen.h"
#include "framework/gdiplus_owners.h"
#include "framework/unique_resource.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/active_desktop_stand_in.h"

using Gdiplus::ARGB;
using testsupport::Handler;
using testsupport::OpenedMenu;

namespace {

namespace gp = Gdiplus::DllExports;

constexpr RECT kScreen = {0, 0, 1280, 1024};
// The quadrants every generated picture shows upright (scripts/make_inputs.py).
constexpr const ARGB* kQuadrants = testsupport::kQuadrantColours;
constexpr ARGB kGreys[4] = {0xFF282828, 0xFF646464, 0xFFA0A0A0, 0xFFDCDCDC};

using testsupport::NearColour;

ARGB Pixel(Gdiplus::GpBitmap* bitmap, int x, int y) {
  ARGB c = 0;
  EXPECT_EQ(gp::GdipBitmapGetPixel(bitmap, x, y, &c), Gdiplus::Ok) << x << "," << y;
  return c;
}

// The colours at the centres of the four quadrants of a rectangle of a bitmap.
std::vector<ARGB> QuadrantColours(Gdiplus::GpBitmap* bitmap, float x, float y, float w, float h) {
  std::vector<ARGB> out;
  for (int i = 0; i < 4; ++i) {
    out.push_back(Pixel(bitmap, static_cast<int>(x + w * (i % 2 ? 0.75f : 0.25f)),
                        static_cast<int>(y + h * (i / 2 ? 0.75f : 0.25f))));
  }
  return out;
}

testing::AssertionResult QuadrantsAre(const std::vector<ARGB>& actual, const ARGB* expected,
                                      int tolerance) {
  for (int i = 0; i < 4; ++i) {
    testing::AssertionResult r = NearColour(actual[i], expected[i], tolerance);
    if (!r) return r << " in quadrant " << i;
  }
  return testing::AssertionSuccess();
}

// The generated pictures (CTest runs scripts/make_inputs.py first).
std::wstring Input(const wchar_t* name) { return testsupport::InputPath(name); }

// A search of a folder's files, closed when the owner goes.
struct SearchDeleter {
  void operator()(HANDLE search) const { FindClose(search); }
};
using UniqueSearch = fw::UniqueResource<HANDLE, SearchDeleter>;

class PhotoTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Input(L"x").empty()) GTEST_SKIP() << "FRAMEWISE_INPUTS is not set (CTest sets it)";
    ASSERT_TRUE(desktop.registered());
    desktop.record().applyToSystem = false;
  }

  // Fits a picture with a command and loads the wallpaper file it wrote.
  fw::GpBitmapOwner Fit(const std::wstring& picture, int mode) {
    fw::GpBitmapOwner wallpaper;
    Handler h;
    EXPECT_EQ(h.InitializeWithFiles({picture}), S_OK);
    EXPECT_EQ(h.Invoke(mode), S_OK);
    EXPECT_EQ(gp::GdipCreateBitmapFromFile(jpeg.path().c_str(), wallpaper.put()), Gdiplus::Ok);
    return wallpaper;
  }

  std::vector<std::wstring> TemporaryFiles() const {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE first = FindFirstFileW((testsupport::UserDataFolder() + L"\\*.tmp").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return names;
    const UniqueSearch search(first);
    do names.push_back(found.cFileName); while (FindNextFileW(search.get(), &found));
    return names;
  }

  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
};

// The 160 x 80 upright picture fitted whole into the 1280 x 1024 screen: 1280 x 640 at y 192.
constexpr float kPlacedY = 192, kPlacedW = 1280, kPlacedH = 640;

// A picture the library cannot turn upright is not used the wrong way round: with every
// turn and mirror refused, only the upright one (orientation 1, nothing to turn) loads.
Gdiplus::GpStatus WINGDIPAPI NoTurning(Gdiplus::GpImage*, Gdiplus::RotateFlipType) {
  return Gdiplus::OutOfMemory;
}

TEST_F(PhotoTest, APictureThatCannotBeTurnedUprightIsNotUsed) {
  const testsupport::ImportPatch turn("gdiplus.dll", "GdipImageRotateFlip",
                                      reinterpret_cast<void*>(&NoTurning));
  ASSERT_NE(turn.real(), nullptr);
  for (int n = 1; n <= 8; ++n) {
    const fw::GpImageOwner picture =
        framewise::LoadPicture(Input((L"orient-" + std::to_wstring(n) + L".jpg").c_str()).c_str());
    EXPECT_EQ(static_cast<bool>(picture), n == 1) << n;
  }
}

TEST_F(PhotoTest, EveryOrientationComesOutUpright) {
  std::vector<std::wstring> files;
  for (int n = 1; n <= 8; ++n) files.push_back(Input((L"orient-" + std::to_wstring(n) + L".jpg").c_str()));
  files.push_back(Input(L"orient-6.tif"));
  for (const std::wstring& file : files) {
    const std::string name(file.begin() + file.rfind(L'\\') + 1, file.end());
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({file}), S_OK) << name;
    // Rows: stored 80 x 160 or 160 x 80, upright always wider than the screen.
    EXPECT_EQ(h->pictureShape, framewise::WiderThanScreen) << name;
    {
      OpenedMenu opened(h);
      ASSERT_EQ(opened.opened, S_OK) << name;
      EXPECT_EQ(opened.Offsets(), (std::vector<int>{3, 4, 6, 0, 7, 0, 10, 11, 0, 12})) << name;
      // The preview copy and the best-fit item's framed preview.
      ASSERT_TRUE(h->preview) << name;
      EXPECT_TRUE(QuadrantsAre(QuadrantColours(h->preview.get(), 0, 0, 384, 192), kQuadrants, 12)) << name;
      Gdiplus::GpBitmap* item = h->menuItems.at(7)->image.get();
      ASSERT_NE(item, nullptr) << name;
      UINT w = 0, hh = 0;
      gp::GdipGetImageWidth(item, &w);
      gp::GdipGetImageHeight(item, &hh);
      EXPECT_TRUE(QuadrantsAre(QuadrantColours(item, 2, 2, w - 4.0f, hh - 4.0f), kQuadrants, 12)) << name;
    }
    fw::GpBitmapOwner wallpaper = Fit(file, framewise::FitModeBestFit);
    ASSERT_TRUE(wallpaper) << name;
    EXPECT_TRUE(QuadrantsAre(QuadrantColours(wallpaper.get(), 0, kPlacedY, kPlacedW, kPlacedH), kQuadrants, 16)) << name;
  }
}

TEST_F(PhotoTest, PicturesAsProgramsWriteThem) {
  // The desktop colour, set by the test: red, green and blue all different.
  testsupport::TestDesktopColour desktop;
  ASSERT_TRUE(desktop.applied());
  const ARGB desktopColour = testsupport::TestDesktopColour::kArgb;
  const ARGB transparentRight[4] = {kQuadrants[0], desktopColour, kQuadrants[2], desktopColour};
  const ARGB blackWhite[4] = {0xFF000000, 0xFFFFFFFF, 0xFF000000, 0xFFFFFFFF};
  const struct {
    const wchar_t* file;
    const ARGB* quadrants;
  } cases[] = {
      {L"cmyk.jpg", kQuadrants},      {L"progressive.jpg", kQuadrants},
      {L"grey.jpg", kGreys},          {L"grey.png", kGreys},
      {L"grey16.png", kGreys},        {L"rgb16.png", kQuadrants},
      {L"palette.png", kQuadrants},   {L"alpha.png", transparentRight},
      {L"animated.gif", kQuadrants},  {L"multipage.tif", kQuadrants},
      {L"mono.bmp", blackWhite},
  };
  for (const auto& c : cases) {
    const std::wstring file = Input(c.file);
    const std::string name(file.begin() + file.rfind(L'\\') + 1, file.end());
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({file}), S_OK) << name;
    {
      OpenedMenu opened(h);
      ASSERT_EQ(opened.opened, S_OK) << name;
      ASSERT_TRUE(h->preview) << name << ": the submenu could not read it";
      // The copy composites transparency later: compare it over the desktop colour only
      // where it is opaque.
      if (c.quadrants != transparentRight) {
        EXPECT_TRUE(QuadrantsAre(QuadrantColours(h->preview.get(), 0, 0, 384, 192), c.quadrants, 12)) << name;
      }
    }
    fw::GpBitmapOwner wallpaper = Fit(file, framewise::FitModeBestFit);
    ASSERT_TRUE(wallpaper) << name;
    EXPECT_TRUE(QuadrantsAre(QuadrantColours(wallpaper.get(), 0, kPlacedY, kPlacedW, kPlacedH), c.quadrants, 16)) << name;
  }
}

// A picture of one colour inside a band of another, drawn in memory (no encoder blur).
fw::GpBitmapOwner BandedPicture(int width, int height, int band, ARGB edge, ARGB inside) {
  fw::GpBitmapOwner picture;
  EXPECT_EQ(gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr, picture.put()), Gdiplus::Ok);
  fw::GpGraphicsOwner g;
  EXPECT_EQ(gp::GdipGetImageGraphicsContext(picture.get(), g.put()), Gdiplus::Ok);
  EXPECT_EQ(gp::GdipGraphicsClear(g.get(), edge), Gdiplus::Ok);
  fw::GpSolidFillOwner brush;
  EXPECT_EQ(gp::GdipCreateSolidFill(inside, brush.put()), Gdiplus::Ok);
  EXPECT_EQ(gp::GdipFillRectangleI(g.get(), brush.get(), band, band, width - 2 * band, height - 2 * band), Gdiplus::Ok);
  return picture;
}

TEST_F(PhotoTest, EdgesComeFromThePictureNeverTheDesktop) {
  constexpr ARGB kEdge = 0xFF30C030, kInside = 0xFF606060;
  testsupport::TestDesktopColour desktop;
  ASSERT_TRUE(desktop.applied());
  // Enlarged 20 times with a one-pixel edge, and reduced about three times with an edge
  // wider than the filter reaches: the picture area's outermost rows and columns.
  const struct {
    int width, height, band, tolerance;
  } cases[] = {{64, 48, 1, 12}, {4000, 3000, 40, 1}};
  for (const auto& c : cases) {
    fw::GpBitmapOwner picture = BandedPicture(c.width, c.height, c.band, kEdge, kInside);
    framewise::BestFitImageFixer fixer;
    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(picture.get(), &wallpaper));
    // 4:3 in 1280 x 1024: 1280 x 960 at y 32.
    for (int x = 0; x < 1280; x += 7) {
      EXPECT_TRUE(NearColour(Pixel(wallpaper.get(), x, 32), kEdge, c.tolerance)) << c.width << " top " << x;
      EXPECT_TRUE(NearColour(Pixel(wallpaper.get(), x, 32 + 959), kEdge, c.tolerance)) << c.width << " bottom " << x;
    }
    for (int y = 32; y < 32 + 960; y += 7) {
      EXPECT_TRUE(NearColour(Pixel(wallpaper.get(), 0, y), kEdge, c.tolerance)) << c.width << " left " << y;
      EXPECT_TRUE(NearColour(Pixel(wallpaper.get(), 1279, y), kEdge, c.tolerance)) << c.width << " right " << y;
    }
    EXPECT_TRUE(
        NearColour(Pixel(wallpaper.get(), 640, 31), testsupport::TestDesktopColour::kArgb, 0))
        << c.width;
  }
}

// ---- the file: quality, a safe replace, re-fitting the wallpaper itself ----

struct SaveRecord {
  int calls = 0;
  bool qualityGiven = false;
  ULONG quality = 0;
  std::wstring file;
};
SaveRecord g_save;
bool g_failSaveAfterWriting = false;
using SaveFunction = Gdiplus::GpStatus(WINGDIPAPI*)(Gdiplus::GpImage*, const WCHAR*, const CLSID*,
                                                     const Gdiplus::EncoderParameters*);
SaveFunction g_realSave = nullptr;
// {1D5BE4B5-FA4A-452D-9CDD-5DB35105E7EB}: the encoder's quality parameter.
constexpr GUID kQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

Gdiplus::GpStatus WINGDIPAPI RecordingSave(Gdiplus::GpImage* image, const WCHAR* file, const CLSID* encoder,
                                           const Gdiplus::EncoderParameters* parameters) {
  ++g_save.calls;
  g_save.file = file;
  if (parameters && parameters->Count == 1 && IsEqualGUID(parameters->Parameter[0].Guid, kQuality) &&
      parameters->Parameter[0].Type == Gdiplus::EncoderParameterValueTypeLong &&
      parameters->Parameter[0].NumberOfValues == 1) {
    g_save.qualityGiven = true;
    g_save.quality = *static_cast<const ULONG*>(parameters->Parameter[0].Value);
  }
  if (g_failSaveAfterWriting) {  // a disk that fills up part-way
    testsupport::WriteBytes(file, "\xFF\xD8partial", 9);
    return Gdiplus::Win32Error;
  }
  return g_realSave(image, file, encoder, parameters);
}

int g_moveFailures = 0;
BOOL WINAPI RefusingMove(LPCWSTR, LPCWSTR, DWORD) {
  ++g_moveFailures;
  SetLastError(ERROR_ACCESS_DENIED);
  return FALSE;
}

using testsupport::ImportPatch;

TEST_F(PhotoTest, SavedAtQuality95BesideTheOldFileThenMoved) {
  g_save = SaveRecord();
  g_failSaveAfterWriting = false;
  ImportPatch save("gdiplus.dll", "GdipSaveImageToFile", reinterpret_cast<void*>(&RecordingSave));
  ASSERT_NE(save.real(), nullptr);
  g_realSave = reinterpret_cast<SaveFunction>(save.real());
  fw::GpBitmapOwner wallpaper = Fit(Input(L"progressive.jpg"), framewise::FitModeMiddle);
  EXPECT_TRUE(wallpaper);
  EXPECT_EQ(g_save.calls, 1);
  EXPECT_TRUE(g_save.qualityGiven);
  EXPECT_EQ(g_save.quality, 95u);
  // Written under another name in the same folder, not over the wallpaper itself.
  EXPECT_NE(lstrcmpiW(g_save.file.c_str(), jpeg.path().c_str()), 0);
  EXPECT_EQ(g_save.file.compare(0, g_save.file.rfind(L'\\'), testsupport::UserDataFolder()), 0);
  EXPECT_TRUE(TemporaryFiles().empty());
}

TEST_F(PhotoTest, FailedSaveOrMoveKeepsTheOldWallpaperAndLeavesNoFile) {
  fw::GpBitmapOwner first = Fit(Input(L"grey.png"), framewise::FitModeBestFit);
  ASSERT_TRUE(first);
  first.reset();
  const std::string before = testsupport::ReadBytes(jpeg.path());
  ASSERT_GT(before.size(), 1000u);
  ASSERT_TRUE(DeleteFileW(ini.path().c_str()));

  for (int failure = 0; failure < 2; ++failure) {
    g_save = SaveRecord();
    g_failSaveAfterWriting = failure == 0;
    g_moveFailures = 0;
    {
      ImportPatch save("gdiplus.dll", "GdipSaveImageToFile", reinterpret_cast<void*>(&RecordingSave));
      g_realSave = reinterpret_cast<SaveFunction>(save.real());
      std::optional<ImportPatch> move;
      if (failure == 1) {
        move.emplace("kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&RefusingMove));
        ASSERT_NE(move->real(), nullptr);
      }
      Handler h;
      ASSERT_EQ(h.InitializeWithFiles({Input(L"progressive.jpg")}), S_OK);
      EXPECT_EQ(h.Invoke(framewise::FitModeMiddle), E_FAIL) << failure;
    }
    EXPECT_EQ(g_save.calls, 1) << failure;
    EXPECT_EQ(g_moveFailures, failure == 1 ? 1 : 0);
    EXPECT_TRUE(testsupport::ReadBytes(jpeg.path()) == before) << failure << ": the old wallpaper changed";
    EXPECT_TRUE(TemporaryFiles().empty()) << failure;
    EXPECT_EQ(GetFileAttributesW(ini.path().c_str()), INVALID_FILE_ATTRIBUTES) << failure;
  }
}

TEST_F(PhotoTest, RefittingTheWallpaperFileItself) {
  ASSERT_TRUE(CopyFileW(Input(L"progressive.jpg").c_str(), jpeg.path().c_str(), FALSE));
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({jpeg.path()}), S_OK);
  {
    OpenedMenu opened(h);  // the preview has read it too
    ASSERT_TRUE(h->preview);
  }
  ASSERT_EQ(h.Invoke(framewise::FitModeMiddle), S_OK);
  fw::GpBitmapOwner wallpaper;
  ASSERT_EQ(gp::GdipCreateBitmapFromFile(jpeg.path().c_str(), wallpaper.put()), Gdiplus::Ok);
  UINT w = 0, hh = 0;
  gp::GdipGetImageWidth(wallpaper.get(), &w);
  gp::GdipGetImageHeight(wallpaper.get(), &hh);
  EXPECT_EQ(w, 1280u);
  EXPECT_EQ(hh, 1024u);
}

}  // namespace
