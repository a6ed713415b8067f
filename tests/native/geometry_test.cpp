// The fitting arithmetic against the worked examples: crops, wallpaper extensions,
// placements, preview rectangles and sizes.
#include "fitting/portable/geometry.h"

#include <gtest/gtest.h>

#include <cmath>

#include <cstring>

namespace framewise {
namespace {

const ScreenRect kMonitor{0, 0, 1280, 1024};
const ScreenRect kTaskbarBottom{0, 0, 1280, 984};
const ScreenRect kTaskbarTop{0, 30, 1280, 994};
const ScreenRect kTaskbarLeft{60, 0, 1220, 1024};

struct CropCase {
  const char* name;
  uint32_t w, h;
  ScreenRect work;
  FillPart part;
  bool wallpaper;
  Crop expected;
};

const CropCase kCropCases[] = {
    {"middle, no bar", 1600, 1200, kMonitor, FillPart::Middle, true, {50, 0, 1500, 1200}},
    {"wide middle, bottom bar, wallpaper", 4000, 2000, kTaskbarBottom, FillPart::Middle, true, {699, 0, 2601, 2081}},
    {"wide middle, bottom bar, preview", 4000, 2000, kTaskbarBottom, FillPart::Middle, false, {699, 0, 2601, 2000}},
    {"wide right, bottom bar, wallpaper", 4000, 2000, kTaskbarBottom, FillPart::Right, true, {1399, 0, 2601, 2081}},
    {"tall top, bottom bar, wallpaper", 1000, 3000, kTaskbarBottom, FillPart::Top, true, {0, 0, 1000, 799}},
    {"tall bottom, bottom bar, wallpaper", 1000, 3000, kTaskbarBottom, FillPart::Bottom, true, {0, 2232, 1000, 799}},
    {"wide left, left bar, wallpaper", 4000, 2000, kTaskbarLeft, FillPart::Left, true, {-117, 0, 2499, 2000}},
    {"wide middle, left bar, wallpaper", 4000, 2000, kTaskbarLeft, FillPart::Middle, true, {692, 0, 2499, 2000}},
    {"tall middle, top bar, wallpaper", 1000, 3000, kTaskbarTop, FillPart::Middle, true, {0, 1089, 1000, 799}},
    {"exact proportions, bottom bar", 1280, 984, kTaskbarBottom, FillPart::Exact, true, {0, 0, 1280, 1024}},
    {"exact proportions, preview", 1280, 984, kTaskbarBottom, FillPart::Exact, false, {0, 0, 1280, 984}},
    {"preview of a small wide picture", 384, 192, kTaskbarBottom, FillPart::Middle, false, {67, 0, 249, 192}},
};

TEST(ComputeCrop, WorkedExamples) {
  for (const CropCase& c : kCropCases) {
    const Crop crop = ComputeCropFor(c.w, c.h, kMonitor, c.work, c.part, c.wallpaper);
    EXPECT_EQ(crop.x, c.expected.x) << c.name;
    EXPECT_EQ(crop.y, c.expected.y) << c.name;
    EXPECT_EQ(crop.cw, c.expected.cw) << c.name;
    EXPECT_EQ(crop.ch, c.expected.ch) << c.name;
  }
}

TEST(ComputeCrop, PreviewFormStaysInsidePictureForEveryPart) {
  const uint32_t sizes[][2] = {{1, 1}, {1, 5000}, {5000, 1}, {4000, 2000}, {999, 1001}, {3, 7}};
  for (const auto& size : sizes) {
    for (int part = 0; part <= 5; ++part) {
      const Crop c = ComputeCropFor(size[0], size[1], kMonitor, kTaskbarLeft,
                                    static_cast<FillPart>(part), false);
      EXPECT_GE(c.x, 0);
      EXPECT_GE(c.y, 0);
      EXPECT_LE(static_cast<int64_t>(c.x) + c.cw, static_cast<int64_t>(size[0]));
      EXPECT_LE(static_cast<int64_t>(c.y) + c.ch, static_cast<int64_t>(size[1]));
    }
  }
}

// A picture of the work area's own shape is kept whole, however the ratio rounds: 1280 x 952
// and 1280 x 990 are among the sizes whose width / (width / height) falls short of the height.
TEST(ComputeCrop, PictureOfTheWorkAreasShapeIsKeptWhole) {
  for (int32_t bar = 0; bar <= 120; ++bar) {
    for (const ScreenRect& work :
         {ScreenRect{0, 0, 1280, 1024 - bar}, ScreenRect{bar, 0, 1280 - bar, 1024}}) {
      const Crop c = ComputeCropFor(uint32_t(work.width), uint32_t(work.height), kMonitor, work,
                                    FillPart::Middle, false);
      EXPECT_EQ(c.x, 0) << bar;
      EXPECT_EQ(c.y, 0) << bar;
      EXPECT_EQ(c.cw, work.width) << bar;
      EXPECT_EQ(c.ch, work.height) << bar;
    }
  }
}

TEST(ComputeCrop, HugePicturesStayPositiveAndDefined) {
  const uint32_t big = 3000000000u;  // more than 2^31: converted without sign
  const Crop c = ComputeCropFor(big, 1000, kMonitor, kTaskbarBottom, FillPart::Right, true);
  EXPECT_GT(c.x, 0);
  EXPECT_GT(c.cw, 0);
  const Crop tall = ComputeCropFor(1000, big, kMonitor, kTaskbarBottom, FillPart::Bottom, false);
  EXPECT_GT(tall.y, 0);
  EXPECT_GT(tall.ch, 0);
}

struct PlacementCase {
  const char* name;
  uint32_t w, h;
  ScreenRect work;
  ScreenRect expected;
};

const PlacementCase kPlacementCases[] = {
    {"wide, bottom bar", 4000, 2000, kTaskbarBottom, {0, 172, 1280, 640}},
    {"wide, top bar", 4000, 2000, kTaskbarTop, {0, 207, 1280, 640}},
    {"tall, bottom bar", 1200, 2000, kTaskbarBottom, {345, 0, 590, 984}},
    {"tall, left bar", 1000, 3000, kTaskbarLeft, {499, 0, 341, 1024}},
    {"odd leftover, no bar", 3000, 2000, kMonitor, {0, 85, 1280, 853}},
    {"work area proportions", 1280, 984, kTaskbarBottom, {0, 0, 1280, 984}},
    {"small picture scaled up", 16, 9, kMonitor, {0, 152, 1280, 720}},
};

TEST(ComputePlacement, WorkedExamples) {
  for (const PlacementCase& c : kPlacementCases) {
    const ScreenRect r = ComputePlacementFor(c.w, c.h, c.work);
    EXPECT_EQ(r.x, c.expected.x) << c.name;
    EXPECT_EQ(r.y, c.expected.y) << c.name;
    EXPECT_EQ(r.width, c.expected.width) << c.name;
    EXPECT_EQ(r.height, c.expected.height) << c.name;
  }
}

TEST(PreviewRects, FillScreenKeptPartAndFrame) {
  const Crop crop = ComputeCropFor(384, 192, kMonitor, kTaskbarBottom, FillPart::Middle, false);
  const RectF kept = PreviewKeptPart(crop, 384, 192, 288, 144);
  EXPECT_FLOAT_EQ(kept.x, 51.55208f);
  EXPECT_FLOAT_EQ(kept.y, 2.0f);
  EXPECT_FLOAT_EQ(kept.width, 184.15625f);
  EXPECT_FLOAT_EQ(kept.height, 140.0f);
  const RectF frame = FrameAround(kept);
  EXPECT_FLOAT_EQ(frame.x, 51.05208f);
  EXPECT_FLOAT_EQ(frame.y, 1.5f);
  EXPECT_FLOAT_EQ(frame.width, 184.65625f);
  EXPECT_FLOAT_EQ(frame.height, 140.5f);
}

TEST(PreviewRects, BestFitPictureAreaAndFrame) {
  const RectF area = PreviewPictureArea(20, 10);
  EXPECT_EQ(area.x, 2.0f);
  EXPECT_EQ(area.y, 2.0f);
  EXPECT_EQ(area.width, 16.0f);
  EXPECT_EQ(area.height, 6.0f);
  const RectF frame = FrameAround(area);
  EXPECT_EQ(frame.x, 1.5f);
  EXPECT_EQ(frame.y, 1.5f);
  EXPECT_EQ(frame.width, 16.5f);
  EXPECT_EQ(frame.height, 6.5f);
}

TEST(LimitPreviewSize, SixInchLimit) {
  float width = -1, height = 144;
  LimitPreviewSizeFor(&width, &height, 96.0f, 2.0f);
  EXPECT_EQ(width, 288.0f);
  EXPECT_EQ(height, 144.0f);

  height = 144;
  LimitPreviewSizeFor(&width, &height, 96.0f, 5.0f);
  EXPECT_EQ(width, 576.0f);
  EXPECT_FLOAT_EQ(height, 115.2f);

  height = 144;  // exactly six inches: unchanged
  LimitPreviewSizeFor(&width, &height, 96.0f, 4.0f);
  EXPECT_EQ(width, 576.0f);
  EXPECT_EQ(height, 144.0f);
}

TEST(Classify, ShapesAgainstTheScreen) {
  EXPECT_EQ(ClassifyPicture(1600.0f / 1200.0f, AspectOf({0, 0, 1280, 960})), MatchesScreen);
  EXPECT_EQ(ClassifyPicture(1600.0f / 1200.0f, AspectOf({0, 0, 1024, 738})), TallerThanScreen);
  EXPECT_EQ(ClassifyPicture(1920.0f / 1080.0f, AspectOf({0, 0, 1024, 738})), WiderThanScreen);
  // The boundary: a difference of 0.01 or more is no match, on either side.
  EXPECT_EQ(ClassifyPicture(1.5f, 1.49), WiderThanScreen);   // 1.5f - 1.49 > 0.01 in double
  EXPECT_EQ(ClassifyPicture(1.25f, 1.26), TallerThanScreen);
  EXPECT_EQ(ClassifyPicture(1.259f, 1.25), MatchesScreen);
  EXPECT_EQ(ClassifyPicture(1.0f, 1.0), MatchesScreen);
}

TEST(FitModes, NamesAndParts) {
  const wchar_t* names[] = {L"ERROR", L"Exact", L"Top", L"Left", L"Middle", L"Bottom", L"Right", L"BestFit", L"ERROR"};
  for (int mode = 0; mode <= 8; ++mode) EXPECT_EQ(std::wcscmp(FitModeName(mode), names[mode]), 0) << mode;
  EXPECT_EQ(std::wcscmp(FitModeName(-1), L"ERROR"), 0);
  for (int mode = 1; mode <= 7; ++mode) EXPECT_EQ(FitModeFromName(names[mode]), mode) << mode;
  EXPECT_EQ(FitModeFromName(L"bestfit"), FitModeBestFit);
  EXPECT_EQ(FitModeFromName(L"MIDDLE"), FitModeMiddle);
  for (const wchar_t* other : {L"ERROR", L"", L"Mid", L"Middles", L"Best Fit", L"4"}) {
    EXPECT_EQ(FitModeFromName(other), FitModeNone);
  }
  EXPECT_EQ(FitModeFromName(nullptr), FitModeNone);
  FillPart part;
  EXPECT_FALSE(FillPartForMode(0, &part));
  EXPECT_FALSE(FillPartForMode(7, &part));
  ASSERT_TRUE(FillPartForMode(1, &part));
  EXPECT_EQ(part, FillPart::Exact);
  ASSERT_TRUE(FillPartForMode(6, &part));
  EXPECT_EQ(part, FillPart::Right);
}

TEST(ClipCrop, TaskbarLeftStartsLeftOfPicture) {
  // Crop (-117, 0, 2499, 2000) onto the 1280 x 1024 monitor: the first 117 source columns
  // are not picture; they map to 117 * 1280 / 2499 destination pixels.
  const Crop crop{-117, 0, 2499, 2000};
  ClippedDraw draw;
  ASSERT_TRUE(ClipCropToPicture(crop, 4000, 2000, kMonitor, &draw));
  EXPECT_EQ(draw.source.x, 0.0f);
  EXPECT_EQ(draw.source.width, 2382.0f);
  EXPECT_FLOAT_EQ(draw.destination.x, 117.0f * 1280.0f / 2499.0f);
  EXPECT_FLOAT_EQ(draw.destination.x + draw.destination.width, 1280.0f);
  EXPECT_EQ(draw.destination.height, 1024.0f);
}

TEST(ClipCrop, TaskbarBottomReachesBelowPicture) {
  const Crop crop{699, 0, 2601, 2081};
  ClippedDraw draw;
  ASSERT_TRUE(ClipCropToPicture(crop, 4000, 2000, kMonitor, &draw));
  EXPECT_EQ(draw.source.height, 2000.0f);
  EXPECT_FLOAT_EQ(draw.destination.height, 2000.0f * 1024.0f / 2081.0f);
  EXPECT_EQ(draw.destination.width, 1280.0f);
}

TEST(ClipCrop, InsideCropIsUnchangedAndEmptyIsRefused) {
  const Crop inside{0, 0, 1000, 799};
  ClippedDraw draw;
  ASSERT_TRUE(ClipCropToPicture(inside, 1000, 3000, kMonitor, &draw));
  EXPECT_EQ(draw.destination.x, 0.0f);
  EXPECT_EQ(draw.destination.width, 1280.0f);
  EXPECT_EQ(draw.destination.height, 1024.0f);
  EXPECT_FALSE(ClipCropToPicture(Crop{5000, 0, 10, 10}, 1000, 1000, kMonitor, &draw));
  EXPECT_FALSE(ClipCropToPicture(Crop{0, 0, 0, 10}, 1000, 1000, kMonitor, &draw));
  EXPECT_FALSE(ClipCropToPicture(Crop{0, 0, 10, 0}, 1000, 1000, kMonitor, &draw));
  // A crop that only touches the picture's edge keeps nothing of it; one that overlaps it
  // by a pixel keeps that pixel, drawn over its share of the monitor.
  EXPECT_FALSE(ClipCropToPicture(Crop{1000, 0, 10, 10}, 1000, 1000, kMonitor, &draw));
  EXPECT_FALSE(ClipCropToPicture(Crop{0, 1000, 10, 10}, 1000, 1000, kMonitor, &draw));
  EXPECT_FALSE(ClipCropToPicture(Crop{-10, 0, 10, 10}, 1000, 1000, kMonitor, &draw));
  ASSERT_TRUE(ClipCropToPicture(Crop{999, 999, 10, 10}, 1000, 1000, kMonitor, &draw));
  EXPECT_EQ(draw.source.x, 999.0f);
  EXPECT_EQ(draw.source.width, 1.0f);
  EXPECT_EQ(draw.source.height, 1.0f);
  EXPECT_FLOAT_EQ(draw.destination.width, 128.0f);   // 1280 / 10
  EXPECT_FLOAT_EQ(draw.destination.height, 102.4f);  // 1024 / 10
  ASSERT_TRUE(ClipCropToPicture(Crop{0, 0, 1, 1}, 1, 1, kMonitor, &draw));
  EXPECT_EQ(draw.destination.width, 1280.0f);
}

// A value past what an int holds is its end; one that is not a number is none.
TEST(ClipCrop, TruncationToIntKeepsItsEnds) {
  EXPECT_EQ(TruncateToInt32(std::nan("")), 0);
  EXPECT_EQ(TruncateToInt32(2147483647.0), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(2147483646.9), 2147483646);
  EXPECT_EQ(TruncateToInt32(-2147483648.0), INT32_MIN);
  EXPECT_EQ(TruncateToInt32(-2147483647.9), -2147483647);
  EXPECT_EQ(TruncateToInt32(1e300), INT32_MAX);
  EXPECT_EQ(TruncateToInt32(-0.9), 0);
}

TEST(ClipCrop, InsideTestMatchesTheWorkedCrops) {
  EXPECT_TRUE(CropInsidePicture(Crop{0, 0, 1000, 799}, 1000, 3000));
  EXPECT_TRUE(CropInsidePicture(Crop{0, 0, 1000, 3000}, 1000, 3000));
  EXPECT_FALSE(CropInsidePicture(Crop{0, 2232, 1000, 799}, 1000, 3000));  // 31 rows below
  EXPECT_FALSE(CropInsidePicture(Crop{-117, 0, 2499, 2000}, 4000, 2000));
  EXPECT_FALSE(CropInsidePicture(Crop{699, 0, 2601, 2081}, 4000, 2000));
  EXPECT_FALSE(CropInsidePicture(Crop{0, 0, 0, 10}, 1000, 1000));
  EXPECT_FALSE(CropInsidePicture(Crop{0, 0, 10, 0}, 1000, 1000));
  EXPECT_TRUE(CropInsidePicture(Crop{0, 0, 1, 1}, 1, 1));  // one pixel is a picture
  EXPECT_FALSE(CropInsidePicture(Crop{0, 0, 2, 1}, 1, 1));
  // Edges summed without overflow.
  EXPECT_FALSE(CropInsidePicture(Crop{INT32_MAX, 0, INT32_MAX, 1}, 4000000000u, 1));
  EXPECT_TRUE(CropInsidePicture(Crop{0, 0, INT32_MAX, 1}, 4000000000u, 1));
}

}  // namespace
}  // namespace framewise
