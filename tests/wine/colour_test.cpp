// Colour management through the system's colour engine: pictures tagged with real profiles
// come out, in the wallpaper and in the previews, as lcms2 (through Pillow, when the inputs
// were made) converts them; sRGB-tagged and untagged pictures keep their pixels to the byte;
// broken profiles change nothing; 16-bit samples come down without wrapping; floating-point
// JPEG XR is tone mapped, its highlights saturated.
#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "colour_checks.h"
#include "fitting/colour_management.h"
#include "fitting/high_range.h"
#include "fitting/image_fixer.h"
#include "fitting/portable/colour_profile.h"
#include "fitting/preview_source.h"
#include "fitting/screen.h"
#include "framework/com_ptr.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/com_apartment.h"
#include "tests/support/frame_stand_in.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/import_patch.h"

namespace framewise {
namespace {

using Gdiplus::ARGB;
using testsupport::Handler;
using testsupport::NearColour;

constexpr RECT kScreen = {0, 0, 1280, 1024};
// Every input is 160 x 80: fitted whole into 1280 x 1024 it is 1280 x 640 at y 192; its
// preview copy is 384 x 192.
constexpr float kPlacedY = 192, kPlacedW = 1280, kPlacedH = 640;
constexpr float kCopyW = 384, kCopyH = 192;

std::wstring Input(const std::string& name) {
  return testsupport::InputPath(std::wstring(name.begin(), name.end()).c_str());
}

ARGB Pixel(GpBitmap* bitmap, int x, int y) {
  ARGB c = 0;
  EXPECT_EQ(gp::GdipBitmapGetPixel(bitmap, x, y, &c), Gdiplus::Ok) << x << "," << y;
  return c;
}

// The colour at the centre of quadrant i (0 top left .. 3 bottom right) of a rectangle.
ARGB QuadrantCentre(GpBitmap* bitmap, int i, float x, float y, float w, float h) {
  return Pixel(bitmap, static_cast<int>(x + w * (i % 2 ? 0.75f : 0.25f)),
               static_cast<int>(y + h * (i / 2 ? 0.75f : 0.25f)));
}

// colour-expected.txt: per picture, the lcms2 conversion of each quadrant ("-" where it is
// transparent, given here as 0).
std::map<std::string, std::array<ARGB, 4>> ExpectedColours() {
  std::map<std::string, std::array<ARGB, 4>> out;
  std::istringstream lines(testsupport::ReadBytes(Input("colour-expected.txt")));
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string name, cell;
    std::array<ARGB, 4> colours = {};
    fields >> name;
    for (ARGB& c : colours) {
      fields >> cell;
      c = cell == "-" ? 0 : 0xFF000000u | static_cast<ARGB>(std::stoul(cell, nullptr, 16));
    }
    if (!name.empty()) out[name] = colours;
  }
  return out;
}

// The pixels of a picture as 32-bit ARGB bytes, for comparisons to the byte.
std::vector<BYTE> Bytes(GpImage* picture) {
  UINT w = 0, h = 0;
  EXPECT_TRUE(GetPictureSize(picture, &w, &h));
  const Gdiplus::GpRect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
  Gdiplus::BitmapData data = {};
  std::vector<BYTE> out;
  if (gp::GdipBitmapLockBits(static_cast<GpBitmap*>(picture), &all, Gdiplus::ImageLockModeRead,
                             PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    ADD_FAILURE() << "cannot lock";
    return out;
  }
  for (UINT y = 0; y < h; ++y) {
    const BYTE* row = static_cast<const BYTE*>(data.Scan0) + static_cast<INT_PTR>(data.Stride) * y;
    out.insert(out.end(), row, row + w * 4);
  }
  gp::GdipBitmapUnlockBits(static_cast<GpBitmap*>(picture), &data);
  return out;
}

std::vector<uint8_t> ReadProfile(const char* name) {
  const std::string bytes = testsupport::ReadBytes(Input(name));
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

class ColourTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Input("x").empty()) GTEST_SKIP() << "FRAMEWISE_INPUTS is not set (CTest sets it)";
    ASSERT_TRUE(desktopColour.applied());
    ASSERT_TRUE(desktop.registered());
    desktop.record().applyToSystem = false;
    ASSERT_EQ(gp::GdipCreateFromHWND(GetDesktopWindow(), screen.put()), Gdiplus::Ok);
  }

  // The wallpaper of a file made in memory, as the command makes it before saving (its
  // colours converted as they are drawn, unless `convert` is false).
  fw::GpBitmapOwner Wallpaper(const std::wstring& path, bool convert = true) {
    fw::GpImageOwner picture = LoadPicture(path.c_str());
    fw::GpBitmapOwner wallpaper;
    EXPECT_TRUE(picture);
    const SrgbConversion colour = SrgbConversion::ForPicture(path.c_str());
    BestFitImageFixer fixer;
    if (convert) fixer.SetColourConversion(&colour);
    const ScreenRect whole{0, 0, 1280, 1024};
    if (picture) {
      EXPECT_TRUE(fixer.MakeWallpaperFor(picture.get(), whole, whole, &wallpaper));
    }
    return wallpaper;
  }

  fw::GpBitmapOwner Preview(const std::wstring& path) {
    fw::GpBitmapOwner copy;
    PictureHeader header;
    EXPECT_TRUE(ReadPictureFileHeader(path.c_str(), &header));
    EXPECT_TRUE(MakePreviewCopy(path.c_str(), header, kCopyH, 8192.0f, screen.get(), &copy));
    return copy;
  }

  // The wallpaper file the command writes for a picture, as bytes.
  std::string CommandWallpaper(const std::wstring& path) {
    Handler h;
    EXPECT_EQ(h.InitializeWithFiles({path}), S_OK);
    EXPECT_EQ(h.Invoke(FitModeBestFit), S_OK) << std::string(path.begin(), path.end());
    return testsupport::ReadBytes(jpeg.path());
  }

  // The quadrant centres of the picture in the command's wallpaper file (let go at once:
  // the next command replaces the file).
  std::array<ARGB, 4> CommandQuadrants(const std::wstring& path) {
    CommandWallpaper(path);
    fw::GpBitmapOwner wallpaper;
    std::array<ARGB, 4> out = {};
    EXPECT_EQ(gp::GdipCreateBitmapFromFile(jpeg.path().c_str(), wallpaper.put()), Gdiplus::Ok);
    for (int i = 0; wallpaper && i < 4; ++i) {
      out[i] = QuadrantCentre(wallpaper.get(), i, 0, kPlacedY, kPlacedW, kPlacedH);
    }
    return out;
  }

  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  // The desktop colour, set by the test: red, green and blue all different.
  testsupport::TestDesktopColour desktopColour;
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
  fw::GpGraphicsOwner screen;
};

TEST_F(ColourTest, TaggedPicturesComeOutAsLcmsConvertsThem) {
  const auto expected = ExpectedColours();
  ASSERT_EQ(expected.size(), 7u) << "colour-expected.txt";
  for (const auto& entry : expected) {
    const std::string& name = entry.first;
    const std::wstring path = Input(name);
    fw::GpBitmapOwner wallpaper = Wallpaper(path);
    fw::GpBitmapOwner preview = Preview(path);
    ASSERT_TRUE(wallpaper && preview) << name;
    // Through the command, against the reference conversion fitted the same way.
    const std::array<ARGB, 4> commanded = CommandQuadrants(path);
    const std::array<ARGB, 4> reference =
        CommandQuadrants(Input(name.substr(0, name.rfind('.')) + "-ref.png"));
    for (int i = 0; i < 4; ++i) {
      const ARGB want = entry.second[i];
      const ARGB inWallpaper = QuadrantCentre(wallpaper.get(), i, 0, kPlacedY, kPlacedW, kPlacedH);
      const ARGB inPreview = QuadrantCentre(preview.get(), i, 0, 0, kCopyW, kCopyH);
      if (want == 0) {  // transparent: the desktop shows through, the copy keeps alpha 0
        EXPECT_TRUE(NearColour(inWallpaper, testsupport::TestDesktopColour::kArgb, 0))
            << name << " quadrant " << i;
        EXPECT_EQ(inPreview >> 24, 0u) << name << " quadrant " << i;
        continue;
      }
      EXPECT_TRUE(NearColour(inWallpaper, want, 2)) << name << " wallpaper quadrant " << i;
      EXPECT_TRUE(NearColour(inPreview, want, 2)) << name << " preview quadrant " << i;
      EXPECT_EQ(inPreview >> 24, 0xFFu) << name << " quadrant " << i;
      EXPECT_TRUE(NearColour(commanded[i], reference[i], 2)) << name << " command quadrant " << i;
    }
  }
}

TEST_F(ColourTest, SrgbAndUntaggedPicturesKeepTheirPixelsToTheByte) {
  for (const char* ext : {"jpg", "png", "tif"}) {
    const std::wstring tagged = Input(std::string("colour-srgb.") + ext);
    const std::wstring untagged = Input(std::string("colour-untagged.") + ext);
    EXPECT_FALSE(SrgbConversion::ForPicture(tagged.c_str())) << ext;
    fw::GpBitmapOwner fromTaggedPicture = Wallpaper(tagged);
    ASSERT_TRUE(fromTaggedPicture) << ext;
    EXPECT_EQ(Bytes(fromTaggedPicture.get()), Bytes(Wallpaper(untagged).get())) << ext;
    const std::string fromTagged = CommandWallpaper(tagged);
    EXPECT_FALSE(fromTagged.empty()) << ext;
    EXPECT_TRUE(fromTagged == CommandWallpaper(untagged)) << ext << ": the wallpaper files differ";
  }
}

TEST_F(ColourTest, BrokenProfilesChangeNothingAndFailNothing) {
  // A table profile whose table is garbage passes the header checks; the engine refuses it.
  const std::vector<uint8_t> table = ReadProfile("damaged-table.icc");
  ASSERT_TRUE(IsPlausibleIccProfile(table.data(), table.size()));
  EXPECT_FALSE(SrgbConversion::FromProfile(table.data(), table.size()));
  for (const char* name :
       {"colour-damaged-short.jpg", "colour-damaged-table.jpg", "colour-damaged-signature.png"}) {
    const std::wstring path = Input(name);
    EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str())) << name;
    fw::GpBitmapOwner wallpaper = Wallpaper(path);
    ASSERT_TRUE(wallpaper) << name;
    EXPECT_EQ(Bytes(wallpaper.get()), Bytes(Wallpaper(path, false).get())) << name;
    fw::GpBitmapOwner preview = Preview(path);
    ASSERT_TRUE(preview) << name;
    for (int i = 0; i < 4; ++i) {
      EXPECT_TRUE(NearColour(QuadrantCentre(preview.get(), i, 0, 0, kCopyW, kCopyH),
                             testsupport::kQuadrantColours[i], 2))
          << name << " quadrant " << i;
    }
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({path}), S_OK) << name;
    EXPECT_EQ(h.Invoke(FitModeBestFit), S_OK) << name;
  }
}

// Pixels of one colour, B G R order, in rows with padding after them.
struct Rows {
  int32_t width, height, channels;
  int64_t stride;
  std::vector<uint8_t> bytes;
  Rows(int32_t w, int32_t h, int32_t c, std::array<uint8_t, 4> pixel)
      : width(w), height(h), channels(c), stride(int64_t{w} * c + 7), bytes(stride * h, 0xAB) {
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) std::memcpy(At(x, y), pixel.data(), c);
    }
  }
  uint8_t* At(int32_t x, int32_t y) { return &bytes[y * stride + int64_t{x} * channels]; }
  PixelBuffer Buffer() { return PixelBuffer{bytes.data(), width, height, stride, channels}; }
};

testing::AssertionResult PixelIs(Rows& rows, int32_t x, int32_t y, std::array<int, 4> want,
                                 int tolerance) {
  for (int c = 0; c < rows.channels; ++c) {
    if (std::abs(rows.At(x, y)[c] - want[c]) > tolerance) {
      return testing::AssertionFailure() << "pixel " << x << "," << y << " channel " << c << " is "
                                         << int(rows.At(x, y)[c]) << ", expected " << want[c];
    }
  }
  return testing::AssertionSuccess();
}

TEST_F(ColourTest, ConversionKeepsAlphaStridesAndPadding) {
  const std::vector<uint8_t> prophoto = ReadProfile("prophoto.icc");
  const SrgbConversion conversion = SrgbConversion::FromProfile(prophoto.data(), prophoto.size());
  ASSERT_TRUE(conversion);
  // ProPhoto (40, 160, 60) is sRGB (0, 191, 38), as lcms2 through Pillow converts it.
  // Rows with 7 bytes of padding after them: an engine that took the rows as contiguous
  // would convert the padding and shift every row after the first.
  Rows padded(5, 3, 3, {60, 160, 40, 0});
  PixelBuffer buffer = padded.Buffer();
  ASSERT_TRUE(conversion.Convert(&buffer, false));
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) EXPECT_TRUE(PixelIs(padded, x, y, {38, 191, 0, 0}, 1));
    for (int k = 0; k < 7; ++k) EXPECT_EQ(padded.At(4, y)[3 + k], 0xAB) << "padding of row " << y;
  }
  // Straight alpha kept as it was; premultiplied colour converted as the colour it stands for.
  Rows straight(3, 2, 4, {60, 160, 40, 77});
  buffer = straight.Buffer();
  ASSERT_TRUE(conversion.Convert(&buffer, false));
  EXPECT_TRUE(PixelIs(straight, 2, 1, {38, 191, 0, 77}, 1));
  EXPECT_EQ(straight.At(2, 1)[3], 77);
  Rows premultiplied(3, 2, 4, {30, 80, 20, 128});
  std::memset(premultiplied.At(1, 1), 0, 4);  // transparent, no colour
  buffer = premultiplied.Buffer();
  ASSERT_TRUE(conversion.Convert(&buffer, true));
  EXPECT_TRUE(PixelIs(premultiplied, 0, 0, {19, 96, 0, 128}, 1));
  EXPECT_EQ(premultiplied.At(0, 0)[3], 128);
  EXPECT_TRUE(PixelIs(premultiplied, 1, 1, {0, 0, 0, 0}, 0));
  // A colour one above its alpha (rounding elsewhere can leave one) is full white, never
  // wrapped round to black; white stays white.
  Rows over(2, 1, 4, {172, 172, 172, 171});
  buffer = over.Buffer();
  ASSERT_TRUE(conversion.Convert(&buffer, true));
  EXPECT_TRUE(PixelIs(over, 1, 0, {171, 171, 171, 171}, 1));
  // A row handed over by the resampler, one pixel long: converted like any other, four
  // channels as premultiplied; a row of another channel count is left as it is.
  Rows one(1, 1, 3, {60, 160, 40, 0});
  conversion.ConvertRow(one.At(0, 0), 1, 3);
  EXPECT_TRUE(PixelIs(one, 0, 0, {38, 191, 0}, 1));
  Rows onePremultiplied(1, 1, 4, {30, 80, 20, 128});
  conversion.ConvertRow(onePremultiplied.At(0, 0), 1, 4);
  EXPECT_TRUE(PixelIs(onePremultiplied, 0, 0, {19, 96, 0, 128}, 1));
  // A buffer of one pixel is converted; one without pixels, either way, is refused.
  buffer = one.Buffer();
  EXPECT_TRUE(conversion.Convert(&buffer, false));
  for (const auto& size : {std::make_pair(0, 1), std::make_pair(1, 0)}) {
    buffer.width = size.first;
    buffer.height = size.second;
    EXPECT_FALSE(conversion.Convert(&buffer, false)) << size.first << " x " << size.second;
  }
  uint8_t twoChannels[2] = {60, 160};
  conversion.ConvertRow(twoChannels, 1, 2);
  EXPECT_TRUE(twoChannels[0] == 60 && twoChannels[1] == 160);
  // Nothing to convert: sRGB's own profile, bytes that are no profile, nothing.
  const std::string srgb = testsupport::ReadBytes(
      L"C:\\windows\\system32\\spool\\drivers\\color\\sRGB Color Space Profile.icm");
  ASSERT_FALSE(srgb.empty());
  EXPECT_FALSE(
      SrgbConversion::FromProfile(reinterpret_cast<const uint8_t*>(srgb.data()), srgb.size()));
  EXPECT_FALSE(SrgbConversion::FromProfile(prophoto.data(), 100));
  EXPECT_FALSE(SrgbConversion::FromProfile(nullptr, 0));
  SrgbConversion none;
  EXPECT_FALSE(none.Convert(&buffer, true));
}

TEST_F(ColourTest, ColoursSeenBeforeComeOutAsTheEngineGivesThem) {
  // Colours every 7 levels a channel, through the engine directly, and through a conversion
  // as two rows: the first asks the engine, the second (the same colours backwards) is
  // answered from the colours converted already.
  const std::vector<uint8_t> prophoto = ReadProfile("prophoto.icc");
  std::vector<uint8_t> colours;
  for (int r = 0; r < 256; r += 7) {
    for (int g = 0; g < 256; g += 7) {
      for (int b = 0; b < 256; b += 7)
        colours.insert(colours.end(), {uint8_t(b), uint8_t(g), uint8_t(r)});
    }
  }
  const DWORD count = static_cast<DWORD>(colours.size() / 3);
  std::vector<uint8_t> engine = colours;
  PROFILE embedded = {PROFILE_MEMBUFFER, const_cast<uint8_t*>(prophoto.data()),
                      static_cast<DWORD>(prophoto.size())};
  wchar_t srgbPath[MAX_PATH] = {};
  DWORD bytes = sizeof(srgbPath);
  ASSERT_TRUE(GetStandardColorSpaceProfileW(nullptr, 0x73524742, srgbPath, &bytes));  // 'sRGB'
  PROFILE standard = {PROFILE_FILENAME, srgbPath, static_cast<DWORD>((wcslen(srgbPath) + 1) * 2)};
  HPROFILE chain[2] = {OpenColorProfileW(&embedded, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING),
                       OpenColorProfileW(&standard, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING)};
  ASSERT_TRUE(chain[0] && chain[1]);
  DWORD intents[2] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
  HTRANSFORM transform =
      CreateMultiProfileTransform(chain, 2, intents, 2, BEST_MODE, INDEX_DONT_CARE);
  ASSERT_TRUE(transform);
  EXPECT_TRUE(TranslateBitmapBits(transform, engine.data(), BM_RGBTRIPLETS, count, 1, count * 3,
                                  engine.data(), BM_RGBTRIPLETS, count * 3, nullptr, 0));
  DeleteColorTransform(transform);
  CloseColorProfile(chain[0]);
  CloseColorProfile(chain[1]);

  std::vector<uint8_t> rows = colours;
  for (size_t i = colours.size(); i > 0; i -= 3)
    rows.insert(rows.end(), colours.begin() + (i - 3), colours.begin() + i);
  const SrgbConversion conversion = SrgbConversion::FromProfile(prophoto.data(), prophoto.size());
  ASSERT_TRUE(conversion);
  PixelBuffer buffer{rows.data(), static_cast<int32_t>(count), 2,
                     static_cast<int64_t>(colours.size()), 3};
  ASSERT_TRUE(conversion.Convert(&buffer, false));
  EXPECT_TRUE(std::equal(engine.begin(), engine.end(), rows.begin())) << "first row";
  for (DWORD i = 0; i < count; ++i) {
    ASSERT_TRUE(
        std::equal(engine.begin() + i * 3, engine.begin() + i * 3 + 3, rows.end() - (i + 1) * 3))
        << "second row, colour " << i;
  }
  EXPECT_NE(engine, colours);  // the engine did change them
}

// A picture's coded colour description (H.273 code points, as AVIF carries them) asks for a
// conversion where it is not sRGB; a profile in a HEIF item's colour box does as well.
TEST_F(ColourTest, CodedColourDescriptionsAskForAConversionUnlessTheyAreSrgb) {
  const auto fixture = [](const char* name) {
    const std::string path =
        std::string("Z:") + FRAMEWISE_SOURCE_DIR + "/tests/fixtures/colour/" + name;
    return std::wstring(path.begin(), path.end());
  };
  const struct {
    const char* file;
    bool converted;
  } cases[] = {{"avif_nclx_p3.avif", true},  // Display P3 primaries, sRGB transfer
               {"avif_nclx_srgb.avif", false},
               {"heic_displayp3.heic", true},
               {"jpeg_plain.jpg", false}};
  for (const auto& c : cases) {
    EXPECT_EQ(static_cast<bool>(SrgbConversion::ForPicture(fixture(c.file).c_str())), c.converted)
        << c.file;
  }
}

// The colour engine's handles as this program opens and closes them: each one opened is
// closed once, and nothing is closed that was not opened.
struct EngineLedger {
  static std::set<HANDLE> open;  // opened and not yet closed
  static int unknownCloses;      // closes of handles not open
  static decltype(&OpenColorProfileW) realOpen;
  static decltype(&CloseColorProfile) realClose;
  static decltype(&CreateMultiProfileTransform) realCreate;
  static decltype(&DeleteColorTransform) realDelete;
  static void Opened(HANDLE h) {
    if (h) open.insert(h);
  }
  static void Closed(HANDLE h) {
    if (open.erase(h) == 0) ++unknownCloses;
  }
  static HPROFILE WINAPI Open(PPROFILE p, DWORD access, DWORD share, DWORD creation) {
    const HPROFILE h = realOpen(p, access, share, creation);
    Opened(h);
    return h;
  }
  static BOOL WINAPI Close(HPROFILE h) {
    Closed(h);
    return realClose(h);
  }
  static HTRANSFORM WINAPI Create(PHPROFILE chain, DWORD n, PDWORD intents, DWORD ni, DWORD flags,
                                  DWORD index) {
    const HTRANSFORM h = realCreate(chain, n, intents, ni, flags, index);
    Opened(h);
    return h;
  }
  static BOOL WINAPI Delete(HTRANSFORM h) {
    Closed(h);
    return realDelete(h);
  }

  testsupport::ImportPatch openPatch{"mscms.dll", "OpenColorProfileW",
                                     reinterpret_cast<void*>(&Open)};
  testsupport::ImportPatch closePatch{"mscms.dll", "CloseColorProfile",
                                      reinterpret_cast<void*>(&Close)};
  testsupport::ImportPatch createPatch{"mscms.dll", "CreateMultiProfileTransform",
                                       reinterpret_cast<void*>(&Create)};
  testsupport::ImportPatch deletePatch{"mscms.dll", "DeleteColorTransform",
                                       reinterpret_cast<void*>(&Delete)};
  EngineLedger() {
    open.clear();
    unknownCloses = 0;
    realOpen = openPatch.real_as<decltype(realOpen)>();
    realClose = closePatch.real_as<decltype(realClose)>();
    realCreate = createPatch.real_as<decltype(realCreate)>();
    realDelete = deletePatch.real_as<decltype(realDelete)>();
  }
  bool active() const { return realOpen && realClose && realCreate && realDelete; }
};
std::set<HANDLE> EngineLedger::open;
int EngineLedger::unknownCloses = 0;
decltype(&OpenColorProfileW) EngineLedger::realOpen = nullptr;
decltype(&CloseColorProfile) EngineLedger::realClose = nullptr;
decltype(&CreateMultiProfileTransform) EngineLedger::realCreate = nullptr;
decltype(&DeleteColorTransform) EngineLedger::realDelete = nullptr;

// Conversions made, refused, moved onto each other and let go give every profile and
// transform they opened back to the engine, once.
TEST_F(ColourTest, ConversionsGiveTheEngineBackWhatTheyOpenedOnce) {
  const std::vector<uint8_t> prophoto = ReadProfile("prophoto.icc");
  const std::vector<uint8_t> table = ReadProfile("damaged-table.icc");
  EngineLedger ledger;
  ASSERT_TRUE(ledger.active());
  {
    SrgbConversion a = SrgbConversion::FromProfile(prophoto.data(), prophoto.size());
    std::vector<uint8_t> first = {40, 160, 60, 200, 10, 90, 0, 0, 0, 255, 255, 255};
    std::vector<uint8_t> again = first;
    PixelBuffer row{first.data(), 4, 1, 12, 3};
    {
      SrgbConversion b = SrgbConversion::FromProfile(prophoto.data(), prophoto.size());
      ASSERT_TRUE(a && b);
      EXPECT_EQ(EngineLedger::open.size(), 6u);  // two profiles and a transform each
      // The colours b converted come out the same from whatever b moves into.
      ASSERT_TRUE(b.Convert(&row, false));
      a = std::move(b);  // a's own go back now
      EXPECT_EQ(EngineLedger::open.size(), 3u);
    }
    // What b held is a's now: b, let go, gave nothing back.
    EXPECT_EQ(EngineLedger::open.size(), 3u);
    row.pixels = again.data();
    ASSERT_TRUE(a.Convert(&row, false));
    EXPECT_EQ(again, first);
    SrgbConversion c(std::move(a));
    EXPECT_TRUE(c);
    EXPECT_FALSE(SrgbConversion::FromProfile(table.data(), table.size()));
    EXPECT_EQ(EngineLedger::open.size(), 3u);
  }
  EXPECT_TRUE(EngineLedger::open.empty()) << EngineLedger::open.size() << " still open";
  EXPECT_EQ(EngineLedger::unknownCloses, 0);
}

BOOL WINAPI RefusingTranslate(HTRANSFORM, PVOID, BMFORMAT, DWORD, DWORD, DWORD, PVOID, BMFORMAT,
                              DWORD, PBMCALLBACKFN, ULONG) {
  SetLastError(ERROR_INVALID_PARAMETER);
  return FALSE;
}

// An engine that takes the profile and makes a transform, then cannot convert a pixel with
// it: no conversion is offered (pictures are drawn as they are), and what the engine
// opened for it goes back at once.
TEST_F(ColourTest, AnEngineThatCannotConvertGivesNoConversion) {
  const std::vector<uint8_t> prophoto = ReadProfile("prophoto.icc");
  EngineLedger ledger;
  ASSERT_TRUE(ledger.active());
  testsupport::ImportPatch refusing("mscms.dll", "TranslateBitmapBits",
                                    reinterpret_cast<void*>(&RefusingTranslate));
  ASSERT_NE(refusing.real(), nullptr);
  {
    SrgbConversion conversion = SrgbConversion::FromProfile(prophoto.data(), prophoto.size());
    EXPECT_FALSE(conversion);
    EXPECT_TRUE(EngineLedger::open.empty()) << EngineLedger::open.size() << " still open";
  }
  EXPECT_EQ(EngineLedger::unknownCloses, 0);
}

// A decoder that says it filled more colour contexts than it was given (a third-party one
// may): only those it was given are read.
class ClaimingFrame final : public testsupport::FrameStandIn {
 public:
  explicit ClaimingFrame(std::vector<uint8_t> profile) : profile_(std::move(profile)) {}
  STDMETHODIMP GetColorContexts(UINT count, IWICColorContext** contexts, UINT* actual) override {
    if (count > 0 && !profile_.empty()) {
      HRESULT hr =
          contexts[0]->InitializeFromMemory(profile_.data(), static_cast<UINT>(profile_.size()));
      if (FAILED(hr)) return hr;
    }
    *actual = count + 1;
    return S_OK;
  }

 private:
  std::vector<uint8_t> profile_;
};

TEST_F(ColourTest, ADecoderClaimingMoreProfilesThanItWasGivenIsReadNoFurther) {
  testsupport::ComApartment apartment;
  // The PNG's profile is compressed: the decoder's frame is asked for it.
  const std::wstring path = Input("colour-prophoto.png");
  ClaimingFrame profiled(ReadProfile("prophoto.icc"));
  EXPECT_TRUE(SrgbConversion::ForPicture(path.c_str(), &profiled));
  ClaimingFrame empty({});  // the one context it was given left without a profile
  EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str(), &empty));
}

// A decoder's frame holding the colour contexts a test lists, in order: a context may be
// an EXIF colour space, a profile, or left as it was given (no type yet).
class ContextsFrame final : public testsupport::FrameStandIn {
 public:
  struct Context {
    UINT exifSpace;  // 0: none
    std::vector<uint8_t> profile;
  };
  explicit ContextsFrame(std::vector<Context> contexts) : contexts_(std::move(contexts)) {}
  STDMETHODIMP GetColorContexts(UINT count, IWICColorContext** given, UINT* actual) override {
    if (!given) {
      *actual = static_cast<UINT>(contexts_.size());
      return S_OK;
    }
    largestAsked = std::max(largestAsked, count);
    UINT filled = 0;
    for (; filled < count && filled < contexts_.size(); ++filled) {
      const Context& c = contexts_[filled];
      HRESULT hr = S_OK;
      if (c.exifSpace != 0) hr = given[filled]->InitializeFromExifColorSpace(c.exifSpace);
      if (!c.profile.empty()) {
        hr = given[filled]->InitializeFromMemory(c.profile.data(),
                                                 static_cast<UINT>(c.profile.size()));
      }
      if (FAILED(hr)) return hr;
    }
    *actual = filled;
    return failFill ? E_FAIL : S_OK;
  }

  bool failFill = false;
  UINT largestAsked = 0;

 private:
  std::vector<Context> contexts_;
};

// A frame's contexts are read in order, and the first profile among them is the picture's:
// an EXIF colour space or an empty context before it is passed over; a frame that fails
// to hand its contexts over has none, whatever it wrote.
TEST_F(ColourTest, TheFirstProfileAmongAFramesColourContextsIsThePictures) {
  testsupport::ComApartment apartment;
  const std::wstring path = Input("colour-prophoto.png");
  const std::vector<uint8_t> wide = ReadProfile("prophoto.icc");
  const std::vector<uint8_t> broken = ReadProfile("damaged-table.icc");
  ASSERT_FALSE(wide.empty());
  ASSERT_FALSE(broken.empty());
  const ContextsFrame::Context exif{1, {}}, none{0, {}}, profiled{0, wide}, damaged{0, broken};

  ContextsFrame afterExif({exif, profiled});
  EXPECT_TRUE(SrgbConversion::ForPicture(path.c_str(), &afterExif));
  ContextsFrame afterEmpty({none, none, profiled});
  EXPECT_TRUE(SrgbConversion::ForPicture(path.c_str(), &afterEmpty));
  ContextsFrame onlyExif({exif});
  EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str(), &onlyExif));
  ContextsFrame noContexts({});
  EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str(), &noContexts));
  EXPECT_EQ(noContexts.largestAsked, 0u);
  // The first profile stands, even when it cannot be used: no guessing at a later one.
  ContextsFrame damagedFirst({damaged, profiled});
  EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str(), &damagedFirst));
  ContextsFrame failing({profiled});
  failing.failFill = true;
  EXPECT_FALSE(SrgbConversion::ForPicture(path.c_str(), &failing));
  // A frame claiming a great many contexts is asked for a few only.
  ContextsFrame many(std::vector<ContextsFrame::Context>(1000, profiled));
  EXPECT_TRUE(SrgbConversion::ForPicture(path.c_str(), &many));
  EXPECT_GE(many.largestAsked, 1u);
  EXPECT_LE(many.largestAsked, 16u);
}

// 8 bits from a 16-bit sample: the nearest level; a decoder may instead take the high byte.
int Level(unsigned sample) { return static_cast<int>((sample * 255 + 32767) / 65535); }

TEST_F(ColourTest, SixteenBitSamplesComeDownWithoutWrapping) {
  // The quadrants of bright16* (scripts/make_colour_inputs.py): high and low bytes apart.
  const unsigned samples[4][3] = {{0xFFFF, 0xFF00, 0x00FF},
                                  {0x8000, 0x7FFF, 0x80FF},
                                  {0x0100, 0x01FF, 0xFE01},
                                  {0xFFFE, 0x0001, 0x4000}};
  for (const char* name : {"bright16.png", "bright16a.png", "bright16.tif", "bright16a.tif"}) {
    const std::wstring path = Input(name);
    fw::GpImageOwner picture = LoadPicture(path.c_str());
    ASSERT_TRUE(picture) << name;
    fw::GpBitmapOwner wallpaper = Wallpaper(path);
    fw::GpBitmapOwner preview = Preview(path);
    ASSERT_TRUE(wallpaper && preview) << name;
    for (int i = 0; i < 4; ++i) {
      const ARGB want = 0xFF000000u | static_cast<ARGB>(Level(samples[i][0]) << 16) |
                        static_cast<ARGB>(Level(samples[i][1]) << 8) |
                        static_cast<ARGB>(Level(samples[i][2]));
      EXPECT_TRUE(NearColour(
          QuadrantCentre(static_cast<GpBitmap*>(picture.get()), i, 0, 0, 160, 80), want, 1, true))
          << name << " decoded quadrant " << i;
      EXPECT_TRUE(
          NearColour(QuadrantCentre(wallpaper.get(), i, 0, kPlacedY, kPlacedW, kPlacedH), want, 1))
          << name << " wallpaper quadrant " << i;
      EXPECT_TRUE(NearColour(QuadrantCentre(preview.get(), i, 0, 0, kCopyW, kCopyH), want, 1, true))
          << name << " preview quadrant " << i;
    }
  }
}

// sRGB's encoding of linear light (IEC 61966-2-1), rounded to 8 bits.
int SrgbLevel(double v) {
  const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<int>(std::floor(e * 255 + 0.5));
}

int Red(ARGB c) { return static_cast<int>((c >> 16) & 0xFF); }
int Green(ARGB c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(ARGB c) { return static_cast<int>(c & 0xFF); }

// The HDR quadrants, linear scRGB: (0.2, 0.5, 0.8), white 1.0, (4, 2, 0.5) and
// (12.5, 30, -0.1) (scripts/make_colour_inputs.py).
void ExpectToneMapped(GpBitmap* bitmap, float x, float y, float w, float h, const char* what) {
  const ARGB ordinary = QuadrantCentre(bitmap, 0, x, y, w, h);
  EXPECT_TRUE(NearColour(
      ordinary, 0xFF000000u | (SrgbLevel(0.2) << 16) | (SrgbLevel(0.5) << 8) | SrgbLevel(0.8), 1,
      true))
      << what << ": below the knee, plain sRGB";
  const ARGB white = QuadrantCentre(bitmap, 1, x, y, w, h);
  EXPECT_TRUE(Red(white) == Green(white) && Green(white) == Blue(white)) << what;
  EXPECT_GT(Red(white), SrgbLevel(0.8)) << what;
  EXPECT_LT(Red(white), 255) << what << ": SDR white leaves room above it";
  const ARGB bright = QuadrantCentre(bitmap, 2, x, y, w, h);
  EXPECT_GE(Red(bright), Green(bright)) << what;
  EXPECT_GT(Green(bright), Red(white)) << what << ": brighter than white stays brighter";
  EXPECT_NEAR(Blue(bright), SrgbLevel(0.5), 1) << what;
  EXPECT_TRUE(NearColour(QuadrantCentre(bitmap, 3, x, y, w, h), 0xFFFFFF00u, 0, true))
      << what << ": far past white saturates, the negative blue is 0";
}

// A monitor or work area without pixels makes no wallpaper, whichever edge is empty; one
// pixel wide or tall is a screen like any other.
TEST_F(ColourTest, NoWallpaperForAnEmptyScreen) {
  fw::GpImageOwner picture = LoadPicture(Input("colour-srgb.png").c_str());
  ASSERT_TRUE(picture);
  const ScreenRect whole{0, 0, 1280, 1024};
  const ScreenRect empty[] = {{0, 0, 0, 1024}, {0, 0, 1280, 0}, {0, 0, -5, 1024}};
  for (const ScreenRect& e : empty) {
    fw::GpBitmapOwner wallpaper;
    EXPECT_FALSE(BestFitImageFixer().MakeWallpaperFor(picture.get(), e, whole, &wallpaper));
    EXPECT_FALSE(wallpaper);
    EXPECT_FALSE(BestFitImageFixer().MakeWallpaperFor(picture.get(), whole, e, &wallpaper));
    EXPECT_FALSE(wallpaper);
  }
  const ScreenRect thin[] = {{0, 0, 1, 1024}, {0, 0, 1280, 1}};
  for (const ScreenRect& t : thin) {
    fw::GpBitmapOwner wallpaper;
    EXPECT_TRUE(BestFitImageFixer().MakeWallpaperFor(picture.get(), t, whole, &wallpaper));
    fw::GpBitmapOwner own;
    ASSERT_TRUE(BestFitImageFixer().MakeWallpaperFor(picture.get(), t, t, &own));
    UINT width = 0, height = 0;
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::DllExports::GdipGetImageWidth(own.get(), &width));
    ASSERT_EQ(Gdiplus::Ok, Gdiplus::DllExports::GdipGetImageHeight(own.get(), &height));
    EXPECT_EQ(t.width, int(width));
    EXPECT_EQ(t.height, int(height));
  }
  fw::GpBitmapOwner wallpaper;
  EXPECT_TRUE(BestFitImageFixer().MakeWallpaperFor(picture.get(), whole, whole, &wallpaper));
}

fw::ComPtr<IWICImagingFactory> ImagingFactory() {
  fw::ComPtr<IWICImagingFactory> factory;
  EXPECT_EQ(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IWICImagingFactory, factory.put_void()),
            S_OK);
  return factory;
}

// A floating-point frame tone-mapped into a buffer the caller owns fills every one of its
// rows, band after band, and not one byte past its last row.
TEST(HighRange, AToneMappedCopyFillsItsBufferAndNoMore) {
  testsupport::ComApartment apartment;
  const fw::ComPtr<IWICImagingFactory> factory = ImagingFactory();
  ASSERT_TRUE(factory);
  // 4096 pixels of 16 bytes a row: 4 MiB holds 64 rows, so 130 rows come in three bands.
  for (UINT height : {1u, 2u, 130u}) {
    SCOPED_TRACE(height);
    const UINT width = height == 130 ? 4096 : 3;
    std::vector<float> source(static_cast<size_t>(width) * height * 4, 0.5f);
    for (size_t i = 3; i < source.size(); i += 4) source[i] = 1.0f;  // opaque
    fw::ComPtr<IWICBitmap> frame;
    ASSERT_EQ(factory->CreateBitmapFromMemory(width, height, GUID_WICPixelFormat128bppRGBAFloat,
                                              width * 16, static_cast<UINT>(source.size() * 4),
                                              reinterpret_cast<BYTE*>(source.data()), frame.put()),
              S_OK);
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> memory(rowBytes * (height + 1), 0xA5);  // one guard row after
    PixelBuffer target;
    target.pixels = memory.data();
    target.width = static_cast<int32_t>(width);
    target.height = static_cast<int32_t>(height);
    target.stride = static_cast<int64_t>(rowBytes);
    target.channels = 4;
    ASSERT_TRUE(CopyToneMapped(frame.get(), &target));
    int unwritten = 0;
    for (UINT y = 0; y < height; ++y) {
      for (UINT x = 0; x < width; ++x) unwritten += memory[y * rowBytes + x * 4 + 3] != 255;
    }
    EXPECT_EQ(unwritten, 0);
    EXPECT_EQ(std::count(memory.end() - rowBytes, memory.end(), 0xA5),
              static_cast<ptrdiff_t>(rowBytes));
  }
}

// Every floating- and fixed-point format the imaging component defines is read with the
// layout the component itself gives: bits per pixel, numeric kind, channels and whether it
// carries alpha, asked of its pixel-format information where it has one; the sample size
// as the format is defined (half 16, float 32, fixed point 16 or 32 bits), the order and
// premultiplication as its name says. Integer and shared-exponent formats are not read so.
TEST(HighRange, EveryFormatHasTheImagingComponentsOwnLayout) {
  testsupport::ComApartment apartment;
  const fw::ComPtr<IWICImagingFactory> factory = ImagingFactory();
  ASSERT_TRUE(factory);
  struct Format {
    const char* name;
    const GUID& guid;
    int sampleBits;
  };
#define FRAMEWISE_FORMAT(name, bits) \
  { #name, GUID_WICPixelFormat##name, bits }
  const Format formats[] = {
      FRAMEWISE_FORMAT(128bppRGBAFloat, 32),      FRAMEWISE_FORMAT(128bppPRGBAFloat, 32),
      FRAMEWISE_FORMAT(128bppRGBFloat, 32),       FRAMEWISE_FORMAT(96bppRGBFloat, 32),
      FRAMEWISE_FORMAT(32bppGrayFloat, 32),       FRAMEWISE_FORMAT(64bppRGBAHalf, 16),
      FRAMEWISE_FORMAT(64bppPRGBAHalf, 16),       FRAMEWISE_FORMAT(64bppRGBHalf, 16),
      FRAMEWISE_FORMAT(48bppRGBHalf, 16),         FRAMEWISE_FORMAT(16bppGrayHalf, 16),
      FRAMEWISE_FORMAT(128bppRGBAFixedPoint, 32), FRAMEWISE_FORMAT(128bppRGBFixedPoint, 32),
      FRAMEWISE_FORMAT(96bppRGBFixedPoint, 32),   FRAMEWISE_FORMAT(32bppGrayFixedPoint, 32),
      FRAMEWISE_FORMAT(64bppRGBAFixedPoint, 16),  FRAMEWISE_FORMAT(64bppBGRAFixedPoint, 16),
      FRAMEWISE_FORMAT(64bppRGBFixedPoint, 16),   FRAMEWISE_FORMAT(48bppRGBFixedPoint, 16),
      FRAMEWISE_FORMAT(48bppBGRFixedPoint, 16),   FRAMEWISE_FORMAT(16bppGrayFixedPoint, 16),
  };
  const Format notHighRange[] = {
      FRAMEWISE_FORMAT(64bppRGBA, 16), FRAMEWISE_FORMAT(48bppRGB, 16),
      FRAMEWISE_FORMAT(16bppGray, 16), FRAMEWISE_FORMAT(32bppBGRA, 8),
      FRAMEWISE_FORMAT(32bppRGBE, 8),  FRAMEWISE_FORMAT(64bppPRGBA, 16),
  };
#undef FRAMEWISE_FORMAT
  int described = 0;
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    HighRangeLayout layout;
    ASSERT_TRUE(HighRangeLayoutOf(f.guid, &layout));
    const std::string name = f.name;
    const bool floating = name.find("Fixed") == std::string::npos;
    const SampleType expected =
        floating ? (f.sampleBits == 16 ? SampleType::Half16 : SampleType::Float32)
                 : (f.sampleBits == 16 ? SampleType::Fixed16 : SampleType::Fixed32);
    EXPECT_EQ(layout.sample, expected);
    EXPECT_EQ(layout.premultiplied, name.find("PRGBA") != std::string::npos);
    EXPECT_EQ(layout.bgr, name.find("BGR") != std::string::npos);
    EXPECT_EQ(layout.colourChannels, name.find("Gray") != std::string::npos ? 1 : 3);
    const int bitsPerPixel = std::stoi(name);  // the name's "<n>bpp"
    EXPECT_EQ(layout.samplesPerPixel, bitsPerPixel / f.sampleBits);
    EXPECT_EQ(static_cast<int>(HighRangeBytesPerPixel(layout)) * 8, bitsPerPixel);
    const bool alpha = name.find("A") != std::string::npos;  // RGBA, PRGBA, BGRA
    EXPECT_EQ(layout.alphaIndex, alpha ? 3 : -1);

    fw::ComPtr<IWICComponentInfo> info;
    fw::ComPtr<IWICPixelFormatInfo2> pixel;
    if (FAILED(factory->CreateComponentInfo(f.guid, info.put())) || FAILED(info.As(&pixel))) {
      continue;  // a format this imaging component does not describe
    }
    ++described;
    UINT bits = 0, channels = 0;
    ASSERT_EQ(pixel->GetBitsPerPixel(&bits), S_OK);
    EXPECT_EQ(static_cast<int>(bits), bitsPerPixel);
    if (SUCCEEDED(pixel->GetChannelCount(&channels))) {
      // A padding sample is not a channel; alpha is the last one.
      EXPECT_EQ(static_cast<int>(channels), layout.colourChannels + (alpha ? 1 : 0));
    }
    BOOL transparency = FALSE;
    if (SUCCEEDED(pixel->SupportsTransparency(&transparency))) {
      EXPECT_EQ(transparency != FALSE, alpha);
    }
    WICPixelFormatNumericRepresentation numeric = WICPixelFormatNumericRepresentationUnspecified;
    if (SUCCEEDED(pixel->GetNumericRepresentation(&numeric))) {
      EXPECT_EQ(numeric, floating ? WICPixelFormatNumericRepresentationFloat
                                  : WICPixelFormatNumericRepresentationFixed);
    }
  }
  printf("  %d of %zu formats described by this imaging component\n", described,
         sizeof formats / sizeof formats[0]);
  for (const Format& f : notHighRange) {
    HighRangeLayout layout;
    EXPECT_FALSE(HighRangeLayoutOf(f.guid, &layout)) << f.name;
  }
}

TEST_F(ColourTest, FloatingPointJpegXrIsToneMappedNotWrapped) {
  const fw::ComPtr<IWICImagingFactory> factory = ImagingFactory();
  ASSERT_TRUE(factory);
  for (const char* name : {"hdr-float.jxr", "hdr-half.jxr"}) {
    const std::wstring path = Input(name);
    fw::ComPtr<IWICBitmapDecoder> decoder;
    fw::ComPtr<IWICBitmapFrameDecode> frame;
    ASSERT_EQ(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                 WICDecodeMetadataCacheOnDemand, decoder.put()),
              S_OK)
        << name;
    ASSERT_EQ(decoder->GetFrame(0, frame.put()), S_OK) << name;
    WICPixelFormatGUID format = {};
    HighRangeLayout layout;
    ASSERT_EQ(frame->GetPixelFormat(&format), S_OK);
    ASSERT_TRUE(HighRangeLayoutOf(format, &layout)) << name << ": not a floating-point frame";
    // The wallpaper's loader: the library cannot read the file, the imaging component's
    // decoder can, and its floating-point samples are tone mapped on the way.
    fw::GpImageOwner picture = LoadPicture(path.c_str());
    ASSERT_TRUE(picture) << name;
    ExpectToneMapped(static_cast<GpBitmap*>(picture.get()), 0, 0, 160, 80, name);
    fw::GpBitmapOwner wallpaper;
    const ScreenRect whole{0, 0, 1280, 1024};
    ASSERT_TRUE(BestFitImageFixer().MakeWallpaperFor(picture.get(), whole, whole, &wallpaper))
        << name;
    ExpectToneMapped(wallpaper.get(), 0, kPlacedY, kPlacedW, kPlacedH, name);
    fw::GpBitmapOwner preview = Preview(path);
    ASSERT_TRUE(preview) << name;
    ExpectToneMapped(preview.get(), 0, 0, kCopyW, kCopyH, name);
  }
}

}  // namespace
}  // namespace framewise
