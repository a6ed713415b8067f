// The filtered resampler: exact colours where the picture is flat or copied, edges, which
// target pixels are written, compositing, dimming, aliasing and the arguments it refuses.
#include "fitting/portable/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <new>
#include <set>
#include <thread>
#include <utility>
#include <vector>

namespace framewise {
namespace {

struct Picture {
  int32_t width, height, channels;
  std::vector<uint8_t> bytes;
  Picture(int32_t w, int32_t h, int32_t c, std::vector<uint8_t> colour = {0, 0, 0, 255})
      : width(w), height(h), channels(c), bytes(static_cast<size_t>(w) * h * c) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = colour[i % c];
  }
  uint8_t* At(int32_t x, int32_t y) { return &bytes[(size_t(y) * width + x) * channels]; }
  PixelBuffer Buffer() {
    return {bytes.data(), width, height, int64_t{width} * channels, channels};
  }
};

bool Draw(Picture& source, SourceArea from, Picture* target, SourceArea to, bool dim = false) {
  PixelBuffer s = source.Buffer();
  PixelBuffer t = target->Buffer();
  ResampleOptions options;
  options.dim = dim;
  return Resample(s, from, &t, to, options);
}

SourceArea Whole(const Picture& p) { return SourceArea{0, 0, double(p.width), double(p.height)}; }

void ExpectColour(Picture& p, int32_t x, int32_t y, std::vector<int> colour, int tolerance = 0) {
  for (int c = 0; c < p.channels; ++c) {
    ASSERT_NEAR(p.At(x, y)[c], colour[c], tolerance) << "pixel " << x << "," << y << " ch " << c;
  }
}

TEST(Resample, FlatPictureStaysExactlyFlatAtEveryScale) {
  const SourceArea cases[][2] = {
      {{0, 0, 4, 3}, {0, 0, 200, 150}},                      // enlarged
      {{0, 0, 301, 207}, {0, 0, 17, 11}},                    // reduced
      {{3.3, 2.7, 250.1, 150.9}, {1.25, 2.5, 40.5, 30.75}},  // fractional both sides
      {{-7.5, 0.5, 20, 30}, {0, 0, 20, 30}},                 // half-pixel shift, partly outside
  };
  const uint8_t colour[] = {37, 150, 222, 255};
  for (int sourceChannels : {3, 4}) {
    Picture source(301, 207, sourceChannels, {37, 150, 222, 255});
    for (int targetChannels : {3, 4}) {
      for (const auto& c : cases) {
        Picture target(200, 150, targetChannels, {9, 9, 9, 9});
        ASSERT_TRUE(Draw(source, c[0], &target, c[1]));
        size_t written = 0;
        size_t wrong = 0;
        for (size_t i = 0; i < target.bytes.size(); i += targetChannels) {
          if (target.bytes[i] == 9) continue;  // outside `to`
          ++written;
          for (int k = 0; k < targetChannels; ++k) wrong += target.bytes[i + k] != colour[k];
        }
        EXPECT_EQ(wrong, 0u);
        EXPECT_EQ(written, static_cast<size_t>(std::lround(c[1].width) * std::lround(c[1].height)));
      }
    }
  }
  // White, the largest value, through reductions wide enough to spread a target pixel over
  // thousands of source pixels.
  Picture white(5, 3000, 3, {255, 255, 255});
  for (int32_t height : {1, 2, 7}) {
    Picture target(5, height, 3, {9, 9, 9});
    ASSERT_TRUE(Draw(white, Whole(white), &target, Whole(target)));
    EXPECT_EQ(target.bytes, Picture(5, height, 3, {255, 255, 255}).bytes) << height;
  }
}

TEST(Resample, CopiesAtSameSizeAndKeepsStepsCentredWhenScaled) {
  Picture source(37, 23, 3);
  for (auto& b : source.bytes) b = static_cast<uint8_t>(std::rand());
  Picture copy(37, 23, 3);
  ASSERT_TRUE(Draw(source, Whole(source), &copy, Whole(copy)));
  EXPECT_EQ(copy.bytes, source.bytes);
  Picture part(20, 10, 3);
  ASSERT_TRUE(Draw(source, {5, 3, 20, 10}, &part, Whole(part)));
  for (int y = 0; y < 10; ++y)
    EXPECT_TRUE(std::equal(part.At(0, y), part.At(0, y) + 60, source.At(5, y + 3)));
  // A black-to-white step halfway across, reduced 4x and enlarged 4x: flat away from the
  // step, and the transition symmetric about the middle.
  for (int32_t from : {40, 10}) {
    Picture step(from, 2, 3);
    for (int x = from / 2; x < from; ++x) step.At(x, 0)[0] = step.At(x, 1)[0] = 255;
    const int32_t to = from == 40 ? 10 : 40;
    Picture target(to, 1, 3);
    ASSERT_TRUE(Draw(step, Whole(step), &target, Whole(target)));
    EXPECT_EQ(target.At(0, 0)[0], 0);
    EXPECT_EQ(target.At(to - 1, 0)[0], 255);
    for (int x = 0; x < to / 2; ++x) {
      EXPECT_NEAR(target.At(x, 0)[0] + target.At(to - 1 - x, 0)[0], 255, 1) << x;
    }
  }
}

// Three horizontal bands (top, middle, bottom) `band` rows each; the transpose when `columns`.
Picture Bands(int32_t band, bool columns) {
  const std::vector<uint8_t> colours[] = {{250, 10, 10}, {10, 250, 10}, {10, 10, 250}};
  Picture p(columns ? 3 * band : 4 * band, columns ? 4 * band : 3 * band, 3);
  for (int y = 0; y < p.height; ++y) {
    for (int x = 0; x < p.width; ++x) {
      for (int c = 0; c < 3; ++c) p.At(x, y)[c] = colours[(columns ? x : y) / band][c];
    }
  }
  return p;
}

TEST(Resample, OutermostTargetPixelsTakeTheEdgeColours) {
  for (bool columns : {false, true}) {
    for (int32_t band : {1, 30}) {  // 1: a tiny picture enlarged; 30: a picture reduced 10x
      Picture source = Bands(band, columns);
      Picture target(band == 1 ? 640 : source.width / 10, band == 1 ? 480 : source.height / 10, 3);
      ASSERT_TRUE(Draw(source, Whole(source), &target, Whole(target)));
      const int32_t across = columns ? target.height : target.width;
      const int32_t last = (columns ? target.width : target.height) - 1;
      for (int32_t i = 0; i < across; ++i) {
        ExpectColour(target, columns ? 0 : i, columns ? i : 0, {250, 10, 10}, 1);
        ExpectColour(target, columns ? last : i, columns ? i : last, {10, 10, 250}, 1);
      }
    }
  }
  // An area reaching far left of the picture repeats its left edge there.
  Picture source = Bands(30, true);
  Picture target(36, 12, 3);
  ASSERT_TRUE(Draw(source, {-240, 0, 360, 120}, &target, Whole(target)));
  for (int x = 0; x < 20; ++x) ExpectColour(target, x, 5, {250, 10, 10});

  // Positions outside the picture take its edge pixels: reducing an area that reaches past
  // both ends of a row gives what the row padded with copies of its end pixels gives.
  const int32_t width = 40, pad = 30;
  Picture row(width, 2, 3), padded(width + 2 * pad, 2, 3);
  for (int32_t x = 0; x < width; ++x) {
    const uint8_t v = static_cast<uint8_t>(x == 0 ? 255 : x == width - 1 ? 0 : 60 + x * 3);
    for (int32_t y = 0; y < 2; ++y) std::fill_n(row.At(x, y), 3, v);
  }
  for (int32_t x = 0; x < padded.width; ++x) {
    const int32_t from = std::min(std::max(x - pad, 0), width - 1);
    for (int32_t y = 0; y < 2; ++y) std::copy_n(row.At(from, 0), 3, padded.At(x, y));
  }
  for (double reduction : {3.0, 4.5}) {
    Picture fromRow(16, 2, 3), fromPadded(16, 2, 3);
    const double left = -8, span = 16 * reduction;
    ASSERT_TRUE(Draw(row, {left, 0, span, 2}, &fromRow, Whole(fromRow)));
    ASSERT_TRUE(Draw(padded, {left + pad, 0, span, 2}, &fromPadded, Whole(fromPadded)));
    for (int32_t x = 0; x < 16; ++x) {
      EXPECT_NEAR(fromRow.At(x, 0)[0], fromPadded.At(x, 0)[0], 1) << reduction << " " << x;
    }
  }
}

TEST(Resample, WritesOnlyPixelsWhoseCentresLieInsideTheArea) {
  Picture source(8, 8, 3, {200, 200, 200});
  Picture target(60, 40, 3, {1, 2, 3});
  ASSERT_TRUE(Draw(source, Whole(source), &target, {10.5, 5.25, 30, 20.5}));  // x: centre to centre
  for (int y = 0; y < 40; ++y) {
    for (int x = 0; x < 60; ++x) {
      const bool inside = x >= 10 && x <= 39 && y >= 5 && y <= 25;
      ExpectColour(target, x, y,
                   inside ? std::vector<int>{200, 200, 200} : std::vector<int>{1, 2, 3});
    }
  }
  Picture small(8, 8, 3, {1, 2, 3});
  ASSERT_TRUE(Draw(source, Whole(source), &small, {3.6, 3.6, 0.8, 0.8}));  // holds no centre
  ASSERT_TRUE(Draw(source, Whole(source), &small, {3.6, 0, 0.8, 8}));      // no column's centre
  ASSERT_TRUE(Draw(source, Whole(source), &small, {0, 3.6, 8, 0.8}));      // no row's centre
  ASSERT_TRUE(Draw(source, Whole(source), &small, {5, 5, 0, 3}));          // empty
  EXPECT_EQ(small.bytes, Picture(8, 8, 3, {1, 2, 3}).bytes);
  ASSERT_TRUE(Draw(source, Whole(source), &small, {3.4, 3.4, 0.2, 0.2}));  // holds centre 3.5
  ExpectColour(small, 3, 3, {200, 200, 200});
  ExpectColour(small, 4, 3, {1, 2, 3});
  ASSERT_TRUE(Draw(source, Whole(source), &small, {-100.5, -3, 300, 300}));  // past every side
  EXPECT_EQ(small.bytes, Picture(8, 8, 3, {200, 200, 200}).bytes);
}

TEST(Resample, TranslucentSourceCompositesOverTheTarget) {
  Picture clear(5, 5, 4, {0, 0, 0, 0});
  Picture half(5, 5, 4, {64, 0, 128, 128});  // premultiplied
  for (int targetChannels : {3, 4}) {
    Picture target(9, 7, targetChannels, {200, 100, 0, 255});
    ASSERT_TRUE(Draw(clear, Whole(clear), &target, Whole(target)));
    ExpectColour(target, 4, 3, {200, 100, 0, 255});
    ASSERT_TRUE(Draw(half, Whole(half), &target, Whole(target)));
    ExpectColour(target, 4, 3, {164, 50, 128, 255}, 1);
  }
  // At a step in alpha alone, the filtered alpha dips below the flat colour; the colour must
  // follow it down, or the sum over white passes 255.
  Picture step(4, 1, 4, {200, 200, 200, 200});
  for (int x = 2; x < 4; ++x) step.At(x, 0)[3] = 255;
  Picture white(64, 1, 4, {255, 255, 255, 255});
  ASSERT_TRUE(Draw(step, Whole(step), &white, Whole(white)));
  for (int x = 0; x < 64; ++x) ASSERT_GE(white.At(x, 0)[0], 199) << x;  // 255 to 200, no wrap
  Picture glass(9, 7, 4, {0, 0, 0, 0});
  ASSERT_TRUE(Draw(half, Whole(half), &glass, Whole(glass)));
  ExpectColour(glass, 4, 3, {64, 0, 128, 128});
}

// "Over" at every alpha onto every target level, copied at its own size (so no filtering
// mixes pixels): what shows through is the target scaled by 255 - alpha over 255, rounded
// to the nearest level, exactly.
TEST(Resample, OverRoundsWhatShowsThroughToTheNearestLevel) {
  Picture source(256, 256, 4, {0, 0, 0, 0});
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) source.At(x, y)[3] = static_cast<uint8_t>(x);  // black, alpha x
  }
  Picture target(256, 256, 4, {0, 0, 0, 0});
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      for (int c = 0; c < 4; ++c) target.At(x, y)[c] = static_cast<uint8_t>(y);
    }
  }
  ASSERT_TRUE(Draw(source, Whole(source), &target, Whole(target)));
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 256; ++x) {
      const int through = (y * (255 - x) + 127) / 255;
      ASSERT_EQ(target.At(x, y)[0], through) << "alpha " << x << " over " << y;
      ASSERT_EQ(target.At(x, y)[3], x + through) << "alpha " << x << " over " << y;
    }
  }
}

TEST(Resample, DimSubtractsFromColourAfterCompositing) {
  Picture opaque(3, 3, 3, {200, 100, 50});
  Picture target(6, 6, 4, {1, 1, 1, 1});
  ASSERT_TRUE(Draw(opaque, Whole(opaque), &target, Whole(target), true));
  ExpectColour(target, 2, 2, {72, 0, 0, 255});
  Picture half(3, 3, 4, {64, 0, 128, 128});
  Picture wall(6, 6, 3, {255, 255, 255});
  ASSERT_TRUE(Draw(half, Whole(half), &wall, Whole(wall), true));
  ExpectColour(wall, 2, 2, {191 - 128, 0, 255 - 128}, 1);  // composited 191, 127, 255
  // max(0, c - 128) on each side of 128.
  Picture steps(4, 1, 3);
  const uint8_t levels[4] = {127, 128, 129, 255};
  for (int32_t x = 0; x < 4; ++x) std::fill(steps.At(x, 0), steps.At(x, 0) + 3, levels[x]);
  Picture dimmedSteps(4, 1, 3);
  ASSERT_TRUE(Draw(steps, Whole(steps), &dimmedSteps, Whole(dimmedSteps), true));
  ExpectColour(dimmedSteps, 0, 0, {0, 0, 0});
  ExpectColour(dimmedSteps, 1, 0, {0, 0, 0});
  ExpectColour(dimmedSteps, 2, 0, {1, 1, 1});
  ExpectColour(dimmedSteps, 3, 0, {127, 127, 127});
}

// Records the rows it is given and swaps blue and red in them.
struct SwappingConverter final : RowConverter {
  void ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const override {
    ++rows;
    pixelsSeen += count;
    for (int32_t i = 0; i < count; ++i) std::swap(pixels[i * channels], pixels[i * channels + 2]);
  }
  mutable int rows = 0;
  mutable int64_t pixelsSeen = 0;
};

TEST(Resample, ConvertsOnlyTheDrawnPixelsBeforeCompositingAndDimming) {
  SwappingConverter swap;
  ResampleOptions options;
  options.convert = &swap;
  // An opaque picture drawn onto part of the target: the drawn rows converted, the rest kept.
  Picture opaque(30, 20, 3, {200, 100, 50});
  Picture target(12, 10, 3, {9, 8, 7});
  PixelBuffer s = opaque.Buffer(), t = target.Buffer();
  ASSERT_TRUE(Resample(s, Whole(opaque), &t, SourceArea{2, 3, 6, 4}, options));
  EXPECT_EQ(swap.rows, 4);
  EXPECT_EQ(swap.pixelsSeen, 24);
  ExpectColour(target, 4, 4, {50, 100, 200});
  ExpectColour(target, 1, 4, {9, 8, 7});
  ExpectColour(target, 4, 2, {9, 8, 7});
  // A translucent one: its own (premultiplied) colour converted, then composited over the
  // target, whose colour is never converted.
  Picture half(5, 5, 4, {64, 0, 128, 128});
  Picture wall(6, 6, 3, {0, 100, 200});
  s = half.Buffer();
  t = wall.Buffer();
  ASSERT_TRUE(Resample(s, Whole(half), &t, Whole(wall), options));
  ExpectColour(wall, 2, 2, {128 + 0, 0 + 50, 64 + 100}, 1);  // 127/255 of (0, 100, 200) kept
  // Dimming comes after the conversion.
  Picture dimmed(6, 6, 3, {0, 0, 0});
  s = opaque.Buffer();
  t = dimmed.Buffer();
  options.dim = true;
  ASSERT_TRUE(Resample(s, Whole(opaque), &t, Whole(dimmed), options));
  ExpectColour(dimmed, 2, 2, {0, 0, 200 - 128});
}

// Inverts colours, one row at a time: counts the rows, where it ran and how many ran at once.
struct InvertingConverter final : RowConverter {
  void ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const override {
    const int running = ++inside;
    if (running > mostAtOnce) mostAtOnce = running;
    threads.insert(std::this_thread::get_id());
    firstPixels.push_back(pixels[0] | pixels[1] << 8);
    if (slow && rows % 8 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    for (int32_t i = 0; i < count; ++i) {
      for (int c = 0; c < 3; ++c)
        pixels[i * channels + c] = static_cast<uint8_t>(255 - pixels[i * channels + c]);
    }
    ++rows;
    --inside;
  }
  bool slow = false;  // now and then slower than the filtering
  mutable std::atomic<int> inside{0};
  mutable int mostAtOnce = 0;
  mutable int rows = 0;
  mutable std::set<std::thread::id> threads;
  mutable std::vector<int> firstPixels;  // blue and green of each row's first pixel
};

// A wallpaper-sized draw converts on a second thread while the next row is filtered: the
// result is the same as converting after the draw, every row is converted once, and the
// converter never runs twice at once. Small draws stay on the caller's thread.
TEST(Resample, ConvertingLargeDrawsOnASecondThreadChangesNothing) {
  Picture source(1600, 1200, 3);
  for (int32_t y = 0; y < source.height; ++y) {
    for (int32_t x = 0; x < source.width; ++x) {
      uint8_t* p = source.At(x, y);
      p[0] = static_cast<uint8_t>(x * 7 + y);
      p[1] = static_cast<uint8_t>(x ^ y);
      p[2] = static_cast<uint8_t>(y * 3);
    }
  }
  for (auto [size, slow] : {std::pair<int32_t, bool>{1024, false}, {1024, true}, {100, false}}) {
    SCOPED_TRACE(testing::Message() << size << (slow ? " slow" : ""));
    Picture plain(size, size * 3 / 4, 3, {1, 2, 3});
    Picture converted = plain;
    ASSERT_TRUE(Draw(source, Whole(source), &plain, Whole(plain)));
    InvertingConverter invert;
    invert.slow = slow;
    ResampleOptions options;
    options.convert = &invert;
    PixelBuffer s = source.Buffer(), t = converted.Buffer();
    ASSERT_TRUE(Resample(s, Whole(source), &t, Whole(converted), options));
    EXPECT_EQ(invert.rows, converted.height);
    EXPECT_EQ(invert.mostAtOnce, 1);
    ASSERT_EQ(invert.threads.size(), 1u);
    EXPECT_EQ(*invert.threads.begin() == std::this_thread::get_id(), size == 100);
    size_t differing = 0;
    for (size_t i = 0; i < plain.bytes.size(); ++i)
      differing += converted.bytes[i] != 255 - plain.bytes[i];
    EXPECT_EQ(differing, 0u);
  }

  // The rows reach the converter in order, top to bottom: a copy at the same size whose
  // first column numbers its rows.
  Picture numbered(1024, 768, 3, {0, 0, 0});
  for (int32_t y = 0; y < numbered.height; ++y) {
    numbered.At(0, y)[0] = static_cast<uint8_t>(y);
    numbered.At(0, y)[1] = static_cast<uint8_t>(y >> 8);
  }
  Picture copy(1024, 768, 3);
  InvertingConverter invert;
  ResampleOptions options;
  options.convert = &invert;
  PixelBuffer s = numbered.Buffer(), t = copy.Buffer();
  ASSERT_TRUE(Resample(s, Whole(numbered), &t, Whole(copy), options));
  ASSERT_EQ(invert.firstPixels.size(), 768u);
  for (int y = 0; y < 768; ++y) ASSERT_EQ(invert.firstPixels[size_t(y)], y);

  // Every row is converted and written whatever the height, the last one included.
  Picture flat(64, 48, 3, {10, 20, 30});
  for (int32_t height : {33, 63}) {
    Picture wide(8192, height, 3, {1, 2, 3});
    InvertingConverter inverting;
    options.convert = &inverting;
    s = flat.Buffer();
    t = wide.Buffer();
    ASSERT_TRUE(Resample(s, Whole(flat), &t, Whole(wide), options));
    EXPECT_EQ(inverting.rows, height);
    ExpectColour(wide, 4000, height - 1, {245, 235, 225});
  }
}

// A converter that throws on a second thread fails the draw as it does on the caller's.
struct ThrowingConverter final : RowConverter {
  void ConvertRow(uint8_t*, int32_t, int32_t) const override { throw std::bad_alloc(); }
};

TEST(Resample, AConverterThatThrowsFailsTheDraw) {
  Picture source(800, 600, 3, {10, 20, 30});
  ThrowingConverter throwing;
  ResampleOptions options;
  options.convert = &throwing;
  for (int32_t size : {1024, 100}) {
    Picture target(size, size, 3);
    PixelBuffer s = source.Buffer(), t = target.Buffer();
    EXPECT_FALSE(Resample(s, Whole(source), &t, Whole(target), options)) << size;
  }
}

TEST(Resample, FineDetailReducesToUniformGrey) {
  // Checkerboard and stripes each way at one pixel per step; an unfiltered scaler keeps only
  // one phase and gives black or white.
  for (int pattern = 0; pattern < 3; ++pattern) {
    Picture source(320, 320, 3);
    for (int y = 0; y < 320; ++y) {
      for (int x = 0; x < 320; ++x) {
        const int phase = pattern == 0 ? x + y : (pattern == 1 ? x : y);
        for (int c = 0; c < 3; ++c) source.At(x, y)[c] = phase % 2 ? 255 : 0;
      }
    }
    for (int32_t size : {32, 37}) {  // 8x and a fractional reduction, away from the edges
      Picture target(size, size, 3);
      ASSERT_TRUE(Draw(source, {32, 32, 256, 256}, &target, Whole(target)));
      for (uint8_t v : target.bytes) ASSERT_NEAR(v, 127.5, 3.0) << pattern << " " << size;
    }
  }
}

TEST(Resample, RefusesInvalidArgumentsAndLeavesTheTarget) {
  Picture source(10, 10, 3, {90, 90, 90});
  Picture target(10, 10, 4, {5, 6, 7, 8});
  const std::vector<uint8_t> before = target.bytes;
  PixelBuffer t = target.Buffer();
  const SourceArea all = Whole(source);
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  for (const SourceArea& bad :
       {SourceArea{nan, 0, 10, 10}, SourceArea{0, 0, 10, inf}, SourceArea{1e308, 0, 1e308, 1}}) {
    EXPECT_FALSE(Resample(source.Buffer(), bad, &t, all));
    EXPECT_FALSE(Resample(source.Buffer(), all, &t, bad));
  }
  EXPECT_FALSE(Resample(source.Buffer(), {0, 0, 0, 10}, &t, all));
  EXPECT_FALSE(Resample(source.Buffer(), {0, 0, 10, -1}, &t, all));
  const PixelBuffer s = source.Buffer();
  for (int field = 0; field < 7; ++field) {
    for (bool onTarget : {false, true}) {
      PixelBuffer broken = onTarget ? t : s;
      if (field == 0) broken.pixels = nullptr;
      if (field == 1) broken.width = 0;
      if (field == 2) broken.height = -3;
      if (field == 3) broken.channels = 2;
      if (field == 4) broken.stride = 29;  // shorter than a row
      if (field == 5) broken.height = 0;
      if (field == 6) broken.width = -1;
      EXPECT_FALSE(onTarget ? Resample(s, all, &broken, all) : Resample(broken, all, &t, all));
    }
  }
  EXPECT_FALSE(Resample(s, all, nullptr, all));
  EXPECT_EQ(target.bytes, before);
}

TEST(Resample, ExtremeShapesAndAreas) {
  Picture column(1, 20000, 3);
  for (int y = 0; y < 20000; ++y) std::fill_n(column.At(0, y), 3, y % 2 ? 100 : 60);
  Picture dot(1, 1, 3);
  ASSERT_TRUE(Draw(column, Whole(column), &dot, Whole(dot)));
  ExpectColour(dot, 0, 0, {80, 80, 80}, 1);

  Picture row(20000, 1, 4);
  for (int x = 0; x < 20000; ++x) row.At(x, 0)[0] = row.At(x, 0)[3] = uint8_t(x * 255 / 19999);
  Picture small(7, 3, 4);
  ASSERT_TRUE(Draw(row, Whole(row), &small, Whole(small)));
  for (int x = 0; x < 7; ++x) {
    EXPECT_NEAR(small.At(x, 0)[0], (x + 0.5) / 7 * 255, 3) << x;
    EXPECT_EQ(small.At(x, 2)[0], small.At(x, 0)[0]);
  }
  // An absurdly large area: bounded work, the picture shrinks to about one pixel in the middle.
  Picture target(9, 9, 3, {1, 2, 3});
  Picture flat(3, 3, 3, {40, 50, 60});
  ASSERT_TRUE(Draw(flat, {-1e12, -1e12, 2e12, 2e12}, &target, Whole(target)));
  ExpectColour(target, 0, 0, {40, 50, 60});
  ExpectColour(target, 4, 4, {40, 50, 60});
}

}  // namespace
}  // namespace framewise
