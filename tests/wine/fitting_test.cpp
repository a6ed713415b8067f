// The fitting strategies through the real imaging library: wallpapers and previews of
// pictures with a known colour per quadrant, checked pixel by pixel.
#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <typeinfo>

#include "colour_checks.h"
#include "fitting/image_fixer.h"
#include "fitting/screen.h"
#include "leak_checks.h"
#include "fault_checks.h"
#include "tests/support/test_support.h"

namespace framewise {
namespace {

using Gdiplus::ARGB;
using testsupport::WorkAreaOverride;

constexpr RECT kMonitor{0, 0, 1280, 1024};
constexpr RECT kTaskbarBottom{0, 0, 1280, 984};
constexpr RECT kTaskbarTop{0, 30, 1280, 1024};
constexpr RECT kTaskbarLeft{60, 0, 1280, 1024};

constexpr ARGB kTopLeft = testsupport::kQuadrantColours[0];
constexpr ARGB kTopRight = testsupport::kQuadrantColours[1];
constexpr ARGB kBottomLeft = testsupport::kQuadrantColours[2];
constexpr ARGB kBottomRight = testsupport::kQuadrantColours[3];
constexpr ARGB kBlack = 0xFF000000;
constexpr ARGB kOrange = 0xFFFF9B00;

int Channel(ARGB c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

testing::AssertionResult Near(ARGB actual, ARGB expected, int tolerance = 3) {
  return testsupport::NearColour(actual, expected, tolerance, true);
}

// The dimmed form of an opaque colour: half the full range off each of red, green, blue.
ARGB Dimmed(ARGB c) {
  ARGB out = 0xFF000000;
  for (int shift = 0; shift < 24; shift += 8) {
    const int v = Channel(c, shift) - 128;
    out |= static_cast<ARGB>(v < 0 ? 0 : v) << shift;
  }
  return out;
}

ARGB Pixel(GpBitmap* bitmap, int x, int y) {
  ARGB c = 0;
  EXPECT_EQ(gp::GdipBitmapGetPixel(bitmap, x, y, &c), Gdiplus::Ok) << x << "," << y;
  return c;
}

// A picture split at (w / 2, h / 2) into the four quadrant colours.
fw::GpBitmapOwner QuadrantPicture(int width, int height) {
  fw::GpBitmapOwner picture;
  fw::GpGraphicsOwner graphics;
  EXPECT_EQ(gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr,
                                          picture.put()), Gdiplus::Ok);
  EXPECT_EQ(gp::GdipGetImageGraphicsContext(picture.get(), graphics.put()), Gdiplus::Ok);
  const float w = static_cast<float>(width), h = static_cast<float>(height);
  const float mx = static_cast<float>(width / 2), my = static_cast<float>(height / 2);
  const struct { ARGB color; float x, y, w, h; } quadrants[] = {
      {kTopLeft, 0, 0, mx, my}, {kTopRight, mx, 0, w - mx, my},
      {kBottomLeft, 0, my, mx, h - my}, {kBottomRight, mx, my, w - mx, h - my}};
  for (const auto& q : quadrants) {
    fw::GpSolidFillOwner brush;
    EXPECT_EQ(gp::GdipCreateSolidFill(q.color, brush.put()), Gdiplus::Ok);
    EXPECT_EQ(gp::GdipFillRectangle(graphics.get(), brush.get(), q.x, q.y, q.w, q.h), Gdiplus::Ok);
  }
  return picture;
}

// The pixel a 1.0 pen line at this coordinate covers: the library rounds half up.
int LinePixel(float coordinate) { return static_cast<int>(std::floor(coordinate + 0.5f)); }

GpImage* Image(const fw::GpBitmapOwner& bitmap) { return bitmap.get(); }

void ExpectCanvas(GpBitmap* bitmap, UINT width, UINT height, Gdiplus::PixelFormat format) {
  UINT w = 0, h = 0;
  Gdiplus::PixelFormat f = 0;
  ASSERT_TRUE(GetPictureSize(bitmap, &w, &h));
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
  ASSERT_EQ(gp::GdipGetImagePixelFormat(bitmap, &f), Gdiplus::Ok);
  EXPECT_EQ(f, format);
}

class FitTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus_);
    ASSERT_TRUE(desktopColour_.applied());
    for (ARGB other : {kBlack, kTopLeft, kTopRight, kBottomLeft, kBottomRight}) {
      ASSERT_FALSE(Near(desktop_, other, 24)) << "desktop colour too close to a test colour";
    }
  }
  fw::GdiplusToken gdiplus_ = fw::StartGdiplus();
  // A desktop colour of the test's own, red, green and blue all different, which the
  // checks tell from the border and the picture.
  testsupport::TestDesktopColour desktopColour_;
  const ARGB desktop_ = testsupport::TestDesktopColour::kArgb;
};

std::unique_ptr<ImageFixer> Fixer(int mode) {
  auto fixer = CreateImageFixer(mode);
  EXPECT_TRUE(fixer) << mode;
  return fixer;
}

TEST(ImageFixerFactory, ModesMakeTheirStrategies) {
  const FillPart parts[] = {FillPart::Exact, FillPart::Top, FillPart::Left,
                            FillPart::Middle, FillPart::Bottom, FillPart::Right};
  for (int mode = 1; mode <= 6; ++mode) {
    auto fixer = Fixer(mode);
    auto fill = dynamic_cast<FillScreenImageFixer*>(fixer.get());
    ASSERT_NE(fill, nullptr) << mode;
    EXPECT_EQ(fill->fillPart(), parts[mode - 1]) << mode;
  }
  EXPECT_NE(dynamic_cast<BestFitImageFixer*>(Fixer(7).get()), nullptr);
  for (int mode : {0, 8, -1, 1000}) EXPECT_FALSE(CreateImageFixer(mode)) << mode;
}

// ---- Wallpapers ----

TEST_F(FitTest, BestFitWallpaperLiesOnTheDesktopColour) {
  const struct {
    RECT work;
    int w, h;
    ScreenRect placement;
  } cases[] = {
      {kTaskbarBottom, 4000, 2000, {0, 172, 1280, 640}},
      {kTaskbarTop, 4000, 2000, {0, 207, 1280, 640}},
      {kTaskbarBottom, 1200, 2000, {345, 0, 590, 984}},
      {kTaskbarLeft, 1000, 3000, {499, 0, 341, 1024}},
      {kMonitor, 3000, 2000, {0, 85, 1280, 853}},
      {kTaskbarBottom, 1280, 984, {0, 0, 1280, 984}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " on work area " << c.work.left
                                    << "," << c.work.top << "-" << c.work.right << ","
                                    << c.work.bottom);
    WorkAreaOverride area(c.work, kMonitor);
    auto picture = QuadrantPicture(c.w, c.h);
    BestFitImageFixer fixer;
    ScreenRect placement;
    ASSERT_TRUE(fixer.ComputePlacement(Image(picture), ScreenRect{c.work.left, c.work.top,
        c.work.right - c.work.left, c.work.bottom - c.work.top}, &placement));
    EXPECT_EQ(placement.x, c.placement.x);
    EXPECT_EQ(placement.y, c.placement.y);
    EXPECT_EQ(placement.width, c.placement.width);
    EXPECT_EQ(placement.height, c.placement.height);

    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(Image(picture), &wallpaper));
    ExpectCanvas(wallpaper.get(), 1280, 1024, PixelFormat24bppRGB);
    const ScreenRect& p = c.placement;
    const int left = p.x, top = p.y, right = p.x + p.width - 1, bottom = p.y + p.height - 1;
    const int midX = p.x + p.width / 2, midY = p.y + p.height / 2;
    // Inside: each quadrant where the placement puts it, up to its edges.
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), left + 2, top + 2), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), right - 2, top + 2), kTopRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), left + 2, bottom - 2), kBottomLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), right - 2, bottom - 2), kBottomRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), midX - 3, midY - 3), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), midX + 3, midY + 3), kBottomRight));
    // Outside, under the bar included: the desktop colour.
    const struct { bool outside; int x, y; } beyond[] = {
        {left > 0, left - 1, midY}, {top > 0, midX, top - 1},
        {right < 1279, right + 1, midY}, {bottom < 1023, midX, bottom + 1}};
    for (const auto& o : beyond) {
      if (o.outside) {
        EXPECT_TRUE(Near(Pixel(wallpaper.get(), o.x, o.y), desktop_, 0)) << o.x << "," << o.y;
      }
    }
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 0, 1023), desktop_, 0));
  }
}

TEST_F(FitTest, FillScreenWallpaperUnderBarsShowsOnlyThePicture) {
  // Taskbar at the left, part left: the crop starts 117 columns left of the picture.
  // Picture column c lands at (c + 117) * 1280 / 2499: column 0 at 59.9, the quadrant
  // edge (2000) at 1084.3. Left of that lies no picture: the desktop colour.
  {
    WorkAreaOverride area(kTaskbarLeft, kMonitor);
    auto picture = QuadrantPicture(4000, 2000);
    FillScreenImageFixer fixer(FillPart::Left);
    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(Image(picture), &wallpaper));
    ExpectCanvas(wallpaper.get(), 1280, 1024, PixelFormat24bppRGB);
    for (int y : {0, 300, 1023}) {
      for (int x : {0, 30, 58}) EXPECT_TRUE(Near(Pixel(wallpaper.get(), x, y), desktop_, 0)) << x;
    }
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 61, 200), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1082, 200), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1087, 200), kTopRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1279, 1023), kBottomRight));
    // The picture keeps its whole height: rows 0..999 above the quadrant edge at 512.
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 600, 509), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 600, 514), kBottomLeft));
  }
  // Taskbar at the bottom, part middle: crop (699, 0, 2601, 2081) reaches 81 rows below
  // the picture. Row r lands at r * 1024 / 2081: the picture ends at 984.1, its quadrant
  // edge (1000) at 492.1; column 2000 lands at (2000 - 699) * 1280 / 2601 = 640.2.
  {
    WorkAreaOverride area(kTaskbarBottom, kMonitor);
    auto picture = QuadrantPicture(4000, 2000);
    FillScreenImageFixer fixer(FillPart::Middle);
    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(Image(picture), &wallpaper));
    for (int x : {0, 640, 1279}) {
      for (int y : {986, 1000, 1023}) EXPECT_TRUE(Near(Pixel(wallpaper.get(), x, y), desktop_, 0)) << y;
    }
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 0, 0), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 300, 489), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 300, 495), kBottomLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 637, 700), kBottomLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 643, 700), kBottomRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1279, 982), kBottomRight));
  }
  // Exact proportions, bottom bar: crop (0, 0, 1280, 1024) maps the picture one to one
  // onto the work area; the 40 rows under the bar are the desktop colour.
  {
    WorkAreaOverride area(kTaskbarBottom, kMonitor);
    auto picture = QuadrantPicture(1280, 984);
    FillScreenImageFixer fixer(FillPart::Exact);
    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(Image(picture), &wallpaper));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 639, 491), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 640, 492), kBottomRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1279, 983), kBottomRight));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1279, 985), desktop_, 0));
  }
  // Tall picture, part top: the crop lies inside the picture and covers the whole screen.
  {
    WorkAreaOverride area(kTaskbarBottom, kMonitor);
    auto picture = QuadrantPicture(1000, 3000);
    FillScreenImageFixer fixer(FillPart::Top);
    fw::GpBitmapOwner wallpaper;
    ASSERT_TRUE(fixer.MakeWallpaper(Image(picture), &wallpaper));
    // The very last row and column blend with the canvas in the library's interpolation.
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1, 1021), kTopLeft));
    EXPECT_TRUE(Near(Pixel(wallpaper.get(), 1277, 1021), kTopRight));
  }
}

// ---- Previews ----

TEST_F(FitTest, FillScreenPreviewDimsAllButTheFramedPart) {
  // 384 x 192 at 288 x 144, bottom bar, part middle: kept part (51.55, 2, 184.16, 140),
  // frame (51.05, 1.5, 184.66, 140.5).
  WorkAreaOverride area(kTaskbarBottom, kMonitor);
  auto picture = QuadrantPicture(384, 192);
  FillScreenImageFixer fixer(FillPart::Middle);
  Crop crop;
  ASSERT_TRUE(fixer.ComputeCrop(Image(picture), ScreenRect{0, 0, 1280, 1024},
                                ScreenRect{0, 0, 1280, 984}, false, &crop));
  EXPECT_EQ(crop.x, 67);
  EXPECT_EQ(crop.cw, 249);
  fw::GpBitmapOwner preview;
  ASSERT_TRUE(fixer.MakePreview(Image(picture), &preview, 288, 144));
  GpBitmap* b = preview.get();
  ExpectCanvas(b, 288, 144, PixelFormat32bppARGB);

  // Darkened outside the kept part, on both sides, full brightness inside.
  EXPECT_TRUE(Near(Pixel(b, 20, 30), Dimmed(kTopLeft)));
  EXPECT_TRUE(Near(Pixel(b, 20, 110), Dimmed(kBottomLeft)));
  EXPECT_TRUE(Near(Pixel(b, 260, 30), Dimmed(kTopRight)));
  EXPECT_TRUE(Near(Pixel(b, 60, 30), kTopLeft));
  EXPECT_TRUE(Near(Pixel(b, 230, 110), kBottomRight));
  // The frame's sides where the library puts lines at its coordinates (rounded half up):
  // columns 51 and 236, rows 2 and 142.
  const RectF frame = FrameAround(PreviewKeptPart(crop, 384, 192, 288, 144));
  const int frameLeft = LinePixel(frame.x), frameRight = LinePixel(frame.x + frame.width);
  const int frameTop = LinePixel(frame.y), frameBottom = LinePixel(frame.y + frame.height);
  EXPECT_EQ(frameLeft, 51);
  EXPECT_EQ(frameRight, 236);
  EXPECT_EQ(frameTop, 2);
  EXPECT_EQ(frameBottom, 142);
  for (int y : {10, 70, 130}) {
    EXPECT_TRUE(Near(Pixel(b, frameLeft, y), kOrange, 0)) << y;
    EXPECT_TRUE(Near(Pixel(b, frameRight, y), kOrange, 0)) << y;
  }
  for (int x : {60, 140, 230}) {
    EXPECT_TRUE(Near(Pixel(b, x, frameTop), kOrange, 0)) << x;
    EXPECT_TRUE(Near(Pixel(b, x, frameBottom), kOrange, 0)) << x;
    EXPECT_TRUE(Near(Pixel(b, x, 1), kBlack, 0)) << x;
  }
  EXPECT_TRUE(Near(Pixel(b, 50, 70), Dimmed(kTopLeft)));
  EXPECT_TRUE(Near(Pixel(b, 237, 30), Dimmed(kTopRight)));
  // Outside the frame the border keeps its black.
  EXPECT_TRUE(Near(Pixel(b, 20, 1), kBlack, 0));
  EXPECT_TRUE(Near(Pixel(b, 260, 142), kBlack, 0));
}

// A span's preview: the whole picture darkened, each monitor's part drawn again at full
// brightness and framed. 384 x 192 quadrants in (2, 2, 284, 140): the top-left and the
// bottom-right 96 x 96 squares are the parts, at 0.74 x 0.73 preview pixels a picture pixel.
TEST_F(FitTest, SpanPreviewBrightensAndFramesEveryPart) {
  auto picture = QuadrantPicture(384, 192);
  fw::GpBitmapOwner preview;
  ASSERT_TRUE(ImageFixer::MakeSpanPreview(
      Image(picture), {SourceArea{0, 0, 96, 96}, SourceArea{288, 96, 96, 96}}, 288, 144, &preview));
  GpBitmap* b = preview.get();
  ExpectCanvas(b, 288, 144, PixelFormat32bppARGB);
  EXPECT_TRUE(Near(Pixel(b, 37, 37), kTopLeft));
  EXPECT_TRUE(Near(Pixel(b, 250, 107), kBottomRight));
  EXPECT_TRUE(Near(Pixel(b, 37, 107), Dimmed(kBottomLeft)));
  EXPECT_TRUE(Near(Pixel(b, 250, 37), Dimmed(kTopRight)));
  EXPECT_TRUE(Near(Pixel(b, 100, 37), Dimmed(kTopLeft)));  // right of the first part
  // The first part's right side (x = 73) and the second's left side (x = 215) are orange.
  const auto orangeNear = [&](int x0, int y) {
    for (int x = x0 - 1; x <= x0 + 1; ++x) {
      if (Near(Pixel(b, x, y), kOrange, 0)) return true;
    }
    return false;
  };
  EXPECT_TRUE(orangeNear(73, 37));
  EXPECT_TRUE(orangeNear(215, 107));
  EXPECT_FALSE(orangeNear(144, 70));
}

TEST_F(FitTest, BestFitPreviewFramesTheWholePictureArea) {
  WorkAreaOverride area(kTaskbarBottom, kMonitor);
  fw::GpBitmapOwner picture;
  ASSERT_EQ(gp::GdipCreateBitmapFromScan0(40, 30, 0, PixelFormat24bppRGB, nullptr, picture.put()),
            Gdiplus::Ok);
  {
    fw::GpGraphicsOwner g;
    ASSERT_EQ(gp::GdipGetImageGraphicsContext(picture.get(), g.put()), Gdiplus::Ok);
    ASSERT_EQ(gp::GdipGraphicsClear(g.get(), kTopRight), Gdiplus::Ok);
  }
  BestFitImageFixer fixer;
  fw::GpBitmapOwner preview;
  ASSERT_TRUE(fixer.MakePreview(Image(picture), &preview, 20, 10));
  ExpectCanvas(preview.get(), 20, 10, PixelFormat32bppARGB);
  // The frame (1.5, 1.5, 16.5, 6.5) lands on columns 2 and 18 and rows 2 and 8, less
  // its bottom-right corner pixel; inside it the picture, which fills (2, 2, 16, 6) up to
  // column 17 and row 7; around it black.
  const RectF frame = FrameAround(PreviewPictureArea(20, 10));
  const int left = LinePixel(frame.x), right = LinePixel(frame.x + frame.width);
  const int top = LinePixel(frame.y), bottom = LinePixel(frame.y + frame.height);
  ASSERT_EQ(left, 2);
  ASSERT_EQ(right, 18);
  ASSERT_EQ(top, 2);
  ASSERT_EQ(bottom, 8);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x < 20; ++x) {
      const ARGB actual = Pixel(preview.get(), x, y);
      const bool inside = x > left && x < right && y > top && y < bottom;
      const bool onFrame = !inside && x >= left && x <= right && y >= top && y <= bottom;
      if (x == right && y == bottom) continue;
      if (inside) {
        EXPECT_TRUE(Near(actual, kTopRight)) << x << "," << y;
      } else if (onFrame) {
        EXPECT_TRUE(Near(actual, kOrange, 0)) << x << "," << y;
      } else {
        EXPECT_TRUE(Near(actual, kBlack, 0)) << x << "," << y;
      }
    }
  }
}

TEST_F(FitTest, EveryModesPreviewKeepsABlackRing) {
  WorkAreaOverride area(kTaskbarBottom, kMonitor);
  for (const auto& size : {std::make_pair(300, 900), std::make_pair(1200, 400)}) {
    auto picture = QuadrantPicture(size.first, size.second);
    for (int mode = 1; mode <= 7; ++mode) {
      SCOPED_TRACE(testing::Message() << "mode " << mode << ", " << size.first << "x" << size.second);
      fw::GpBitmapOwner preview;
      ASSERT_TRUE(Fixer(mode)->MakePreview(Image(picture), &preview, 216, 144));
      ExpectCanvas(preview.get(), 216, 144, PixelFormat32bppARGB);
      for (int i = 0; i < 216; i += 5) {
        EXPECT_TRUE(Near(Pixel(preview.get(), i, 0), kBlack, 0)) << i;
        EXPECT_TRUE(Near(Pixel(preview.get(), i, 143), kBlack, 0)) << i;
      }
      for (int i = 0; i < 144; i += 5) {
        EXPECT_TRUE(Near(Pixel(preview.get(), 0, i), kBlack, 0)) << i;
        EXPECT_TRUE(Near(Pixel(preview.get(), 215, i), kBlack, 0)) << i;
      }
    }
  }
}

// The preview rectangles in single precision, bit for bit: both builds must round alike
// (x87 excess precision once gave other last bits in the 32-bit build).
TEST(FitArithmetic, PreviewRectanglesRoundInSinglePrecision) {
  const ScreenRect monitor{0, 0, 1280, 1024}, work{0, 0, 1280, 984};
  const struct {
    uint32_t w, h;
    int32_t previewWidth, previewHeight;
    FillPart part;
    uint32_t kept[4];
  } cases[] = {
      {384, 192, 288, 144, FillPart::Middle, {0x424E3555, 0x40000000, 0x43382800, 0x430C0000}},
      {300, 900, 216, 144, FillPart::Bottom, {0x40000000, 0x42D471C8, 0x43540000, 0x420F1C72}},
      {1200, 400, 216, 144, FillPart::Middle, {0x42784444, 0x40000000, 0x42B7BBBB, 0x430C0000}},
      {4000, 2000, 216, 144, FillPart::Right, {0x42984B43, 0x40000000, 0x4309DA5E, 0x430C0000}},
      {1000, 3000, 97, 61, FillPart::Middle, {0x40000000, 0x41B9A1CA, 0x42BA0000, 0x416978D4}},
  };
  for (const auto& c : cases) {
    const Crop crop = ComputeCropFor(c.w, c.h, monitor, work, c.part, false);
    const RectF kept = PreviewKeptPart(crop, c.w, c.h, c.previewWidth, c.previewHeight);
    const float values[] = {kept.x, kept.y, kept.width, kept.height};
    for (int i = 0; i < 4; ++i) {
      uint32_t bits;
      std::memcpy(&bits, &values[i], sizeof(bits));
      EXPECT_EQ(bits, c.kept[i]) << c.w << "x" << c.h << " value " << i << " = " << values[i];
    }
  }
}

// ---- Failures ----


BOOL WINAPI FailingGetMonitorInfoW(HMONITOR, LPMONITORINFO) { return FALSE; }
Gdiplus::GpStatus WINAPI FailingLockBits(Gdiplus::GpBitmap*, const Gdiplus::GpRect*, UINT,
                                         Gdiplus::PixelFormat, Gdiplus::BitmapData*) {
  return Gdiplus::Win32Error;
}
Gdiplus::GpStatus WINAPI FailingCreatePen(Gdiplus::ARGB, Gdiplus::REAL, Gdiplus::GpUnit,
                                          Gdiplus::GpPen**) {
  return Gdiplus::OutOfMemory;
}

// Each strategy's wallpaper (or, given a size, preview) must fail; the output already
// holds a bitmap and must come back empty.
void ExpectAllFail(GpImage* picture, int previewWidth = -1, int previewHeight = -1) {
  for (int mode : {4, 7}) {
    auto fixer = Fixer(mode);
    fw::GpBitmapOwner out = QuadrantPicture(4, 4);
    if (previewWidth < 0) {
      EXPECT_FALSE(fixer->MakeWallpaper(picture, &out)) << mode;
    } else {
      EXPECT_FALSE(fixer->MakePreview(picture, &out, previewWidth, previewHeight)) << mode;
    }
    EXPECT_FALSE(out) << mode;
  }
}

Gdiplus::GpStatus WINAPI NoWidth(Gdiplus::GpImage*, UINT*) { return Gdiplus::GenericError; }

// A picture is locked whole, in rows of its width; one whose size cannot be read is not
// locked at all, and hands out no pixels.
TEST_F(FitTest, LockedPixelsHoldTheWholePictureOrNothing) {
  auto picture = QuadrantPicture(30, 20);
  {
    auto other = QuadrantPicture(8, 6);  // outlives the locks on it
    LockedPixels pixels;
    ASSERT_TRUE(pixels.LockForReading(Image(picture)));
    EXPECT_NE(pixels.buffer().pixels, nullptr);
    EXPECT_EQ(pixels.buffer().width, 30);
    EXPECT_EQ(pixels.buffer().height, 20);
    EXPECT_GE(pixels.buffer().stride, 30 * pixels.buffer().channels);
    // Locked again, onto another picture, it lets the first one go.
    ASSERT_TRUE(pixels.LockForReading(Image(other)));
    EXPECT_EQ(pixels.buffer().width, 8);
    LockedPixels again;
    EXPECT_TRUE(again.LockForReading(Image(picture)));
  }
  {
    // A new bitmap of no pixels is not made, and the owner given in is left empty.
    LockedPixels pixels;
    for (const auto& size : {std::array<UINT, 2>{0, 5}, std::array<UINT, 2>{5, 0}}) {
      fw::GpBitmapOwner made = QuadrantPicture(4, 4);
      EXPECT_FALSE(pixels.LockNew(size[0], size[1], &made));
      EXPECT_FALSE(made);
    }
    fw::GpBitmapOwner made;
    ASSERT_TRUE(pixels.LockNew(1, 1, &made));
    EXPECT_EQ(pixels.buffer().width, 1);
  }
  testsupport::ImportPatch failing("gdiplus.dll", "GdipGetImageWidth",
                                   reinterpret_cast<void*>(&NoWidth));
  ASSERT_NE(failing.real(), nullptr);
  LockedPixels pixels;
  EXPECT_FALSE(pixels.LockForReading(Image(picture)));
  EXPECT_FALSE(pixels.LockCanvas(picture.get()));
  EXPECT_EQ(pixels.buffer().pixels, nullptr);
  // Nor is any mode's wallpaper or preview made of it.
  ExpectAllFail(Image(picture));
  ExpectAllFail(Image(picture), 216, 144);
  // Nor is a span's preview made of it.
  fw::GpBitmapOwner preview = QuadrantPicture(4, 4);
  EXPECT_FALSE(
      ImageFixer::MakeSpanPreview(Image(picture), {SourceArea{0, 0, 15, 20}}, 216, 144, &preview));
  EXPECT_FALSE(preview);
}

// A monitor or work area of no pixels either way gets no wallpaper in any mode, and the
// bitmap given in does not come back; one pixel each way does get one.
TEST_F(FitTest, AMonitorOfNoSizeGetsNoWallpaper) {
  auto picture = QuadrantPicture(30, 20);
  const ScreenRect one{0, 0, 1, 1};
  const ScreenRect sizes[] = {{0, 0, 0, 1}, {0, 0, 1, 0}, one};
  for (int mode = 1; mode <= 7; ++mode) {
    for (const ScreenRect& monitor : sizes) {
      for (const ScreenRect& work : sizes) {
        SCOPED_TRACE(testing::Message()
                     << "mode " << mode << ", monitor " << monitor.width << "x" << monitor.height
                     << ", work " << work.width << "x" << work.height);
        const bool made =
            monitor.width > 0 && monitor.height > 0 && work.width > 0 && work.height > 0;
        fw::GpBitmapOwner wallpaper = QuadrantPicture(4, 4);
        EXPECT_EQ(Fixer(mode)->MakeWallpaperFor(Image(picture), work, monitor, &wallpaper), made);
        EXPECT_EQ(static_cast<bool>(wallpaper), made);
      }
    }
  }
}

// A monitor's part of a span is as large as the monitor: one pixel each way is a part,
// none either way is refused, and the earlier bitmap in the output does not come back.
TEST_F(FitTest, ASpanPartOfNoSizeIsRefused) {
  auto picture = QuadrantPicture(30, 20);
  const SourceArea from{0, 0, 30, 20};
  for (const auto& size :
       {std::array<int32_t, 2>{1, 1}, std::array<int32_t, 2>{0, 1}, std::array<int32_t, 2>{1, 0}}) {
    SCOPED_TRACE(std::to_string(size[0]) + "x" + std::to_string(size[1]));
    const SourceArea to{0, 0, static_cast<double>(size[0]), static_cast<double>(size[1])};
    fw::GpBitmapOwner part = QuadrantPicture(4, 4);
    const bool made = size[0] > 0 && size[1] > 0;
    EXPECT_EQ(ImageFixer::MakeSpanPart(Image(picture), from, to, size[0], size[1], nullptr, &part),
              made);
    EXPECT_EQ(static_cast<bool>(part), made);
    if (made) {
      UINT w = 0, h = 0;
      gp::GdipGetImageWidth(Image(part), &w);
      gp::GdipGetImageHeight(Image(part), &h);
      EXPECT_EQ(w, 1u);
      EXPECT_EQ(h, 1u);
    }
  }
}

// One failing call at a time while a preview is made, of one monitor or of a span, of a
// picture the desktop colour shows through: no preview, or exactly the one made when
// nothing fails.
TEST_F(FitTest, AnyFailingCallGivesNoPreviewOrTheWholeOne) {
  testsupport::faults::Injector injector;
  ASSERT_TRUE(injector.complete());
  WorkAreaOverride area(kTaskbarBottom, kMonitor);
  // Half see-through, so that what lies under the picture shows in the preview too.
  const fw::GpBitmapOwner picture =
      testsupport::ClearedBitmap(600, 400, PixelFormat32bppARGB, 0x80FF8000);
  ASSERT_TRUE(picture);
  for (int mode : {4, 7}) {
    SCOPED_TRACE(mode);
    faultchecks::ExpectNoneOrTheWhole([&](fw::GpBitmapOwner* out) {
      return Fixer(mode)->MakePreview(Image(picture), out, 216, 144);
    });
  }
  faultchecks::ExpectNoneOrTheWhole([&](fw::GpBitmapOwner* out) {
    return ImageFixer::MakeSpanPreview(
        Image(picture), {SourceArea{0, 0, 300, 400}, SourceArea{300, 0, 300, 400}}, 216, 144, out);
  });
}

TEST_F(FitTest, FailuresReleaseEverythingAndReturnNoBitmap) {
  auto picture = QuadrantPicture(600, 400);
  auto sliver = QuadrantPicture(1, 4000);  // on a wide screen its crop has no height
  const auto run = [&] {
    ExpectAllFail(Image(picture), 0, 144);
    ExpectAllFail(Image(picture), 216, 0);
    {
      WorkAreaOverride huge({0, 0, 100000, 100000}, {0, 0, 100000, 100000});
      ExpectAllFail(Image(picture));
    }
    {
      testsupport::ImportPatch failing("user32.dll", "GetMonitorInfoW",
                                       reinterpret_cast<void*>(&FailingGetMonitorInfoW));
      EXPECT_NE(failing.real(), nullptr);
      ExpectAllFail(Image(picture));
      ExpectAllFail(Image(picture), 216, 144);
    }
    {
      // Pixels that cannot be locked are not drawn: no wallpaper, no preview, no span part.
      fw::GpBitmapOwner part = QuadrantPicture(4, 4);
      testsupport::ImportPatch failing("gdiplus.dll", "GdipBitmapLockBits",
                                       reinterpret_cast<void*>(&FailingLockBits));
      EXPECT_NE(failing.real(), nullptr);
      ExpectAllFail(Image(picture));
      ExpectAllFail(Image(picture), 216, 144);
      EXPECT_FALSE(ImageFixer::MakeSpanPart(Image(picture), {0, 0, 600, 400}, {0, 0, 30, 20}, 30,
                                            20, nullptr, &part));
      EXPECT_FALSE(part);
      fw::GpBitmapOwner spanPreview = QuadrantPicture(4, 4);
      EXPECT_FALSE(ImageFixer::MakeSpanPreview(Image(picture), {SourceArea{0, 0, 300, 400}}, 216,
                                               144, &spanPreview));
      EXPECT_FALSE(spanPreview);
    }
    {
      // No pen for the orange frame: no preview either, of one monitor or of a span.
      testsupport::ImportPatch failing("gdiplus.dll", "GdipCreatePen1",
                                       reinterpret_cast<void*>(&FailingCreatePen));
      EXPECT_NE(failing.real(), nullptr);
      ExpectAllFail(Image(picture), 216, 144);
      fw::GpBitmapOwner spanPreview;
      EXPECT_FALSE(ImageFixer::MakeSpanPreview(Image(picture), {SourceArea{0, 0, 300, 400}}, 216,
                                               144, &spanPreview));
      EXPECT_FALSE(spanPreview);
    }
    {
      WorkAreaOverride area(kMonitor, kMonitor);
      fw::GpBitmapOwner out = QuadrantPicture(4, 4);
      EXPECT_FALSE(FillScreenImageFixer(FillPart::Top).MakeWallpaper(Image(sliver), &out));
      EXPECT_FALSE(out);
    }
  };
  // Successful runs in between, so that a leak on either road shows.
  const auto succeed = [&] {
    WorkAreaOverride area(kTaskbarBottom, kMonitor);
    for (int mode : {2, 7}) {
      fw::GpBitmapOwner out;
      EXPECT_TRUE(Fixer(mode)->MakeWallpaper(Image(picture), &out));
      EXPECT_TRUE(Fixer(mode)->MakePreview(Image(picture), &out, 216, 144));
    }
  };
  run();
  succeed();
  const auto before = testsupport::CurrentResourceCounts();
  const size_t memoryBefore = testsupport::CurrentResourceCounts().privateBytes;
  for (int i = 0; i < 20; ++i) {
    run();
    succeed();
  }
  const auto after = testsupport::CurrentResourceCounts();
  const size_t memoryAfter = testsupport::CurrentResourceCounts().privateBytes;
  std::printf("[ leaks    ] committed private memory %zu -> %zu\n", memoryBefore, memoryAfter);
  // Each round makes two 1280 x 1024 wallpapers and two previews, and fails after making
  // a canvas: any of them leaked would grow memory by more than a megabyte.
  EXPECT_GT(memoryBefore, 0u);
  EXPECT_LT(memoryAfter, memoryBefore + 1024 * 1024);
  testsupport::ExpectCountsKept(before, after, 2, 2);
}

}  // namespace
}  // namespace framewise
