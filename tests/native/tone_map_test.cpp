// High-range pictures to 8-bit sRGB: the tone curve's shape (identity below its knee,
// continuous, rising, never wrapping), exact sRGB encoding, and rows of float, half-float and
// fixed-point samples as their encoders lay them out.
#include "fitting/portable/tone_map.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace framewise {
namespace {

// sRGB's encoding as IEC 61966-2-1 states it, rounded to 8 bits.
int SrgbByFormula(double v) {
  const double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
  return static_cast<int>(std::floor(e * 255 + 0.5));
}

TEST(ToneCurveTest, LeavesValuesBelowTheKneeAndClosesOnOneAbove) {
  EXPECT_EQ(ToneCurve(0), 0);
  for (double x : {1e-6, 0.01, 0.18, 0.5, 0.79, kToneKnee}) EXPECT_DOUBLE_EQ(ToneCurve(x), x) << x;
  // Continuous at the knee, with the same slope on both sides.
  const double e = 1e-7;
  EXPECT_NEAR(ToneCurve(kToneKnee + e), kToneKnee + e, 1e-12);
  EXPECT_NEAR((ToneCurve(kToneKnee + e) - ToneCurve(kToneKnee)) / e, 1.0, 1e-5);
  // Rises everywhere, stays below 1 for every finite value.
  double previous = 0;
  for (double x = 1e-4; x < 1e7; x *= 1.01) {
    const double y = ToneCurve(x);
    EXPECT_GT(y, previous) << x;
    EXPECT_LT(y, 1.0) << x;
    previous = y;
  }
  EXPECT_EQ(ToneCurve(std::numeric_limits<double>::infinity()), 1.0);
  for (double bad : {-1e-9, -1.0, -std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
    EXPECT_EQ(ToneCurve(bad), 0) << bad;
  }
}

TEST(ToneCurveTest, EncodesSrgbExactly) {
  for (int i = 0; i <= 200000; ++i) {
    const double v = i / 200000.0;
    ASSERT_EQ(EncodeSrgb8(v), SrgbByFormula(v)) << v;
  }
  // Both sides of a step: encoded 127.5 / 255 is linear 0.214041; 128 itself is 0.215861.
  EXPECT_EQ(EncodeSrgb8(0.21403), 127);
  EXPECT_EQ(EncodeSrgb8(0.21405), 128);
  EXPECT_EQ(EncodeSrgb8(0.215861), 128);
  // The least doubles whose encoding (worked out exactly) reaches c - 0.5 steps: each
  // gives c, and the double just below it c - 1. One in the linear segment, one in the
  // power segment, and the last code.
  const struct {
    double least;
    int code;
  } starts[] = {
      {0x1.3e45677c176f7p-13, 1}, {0x1.9d91a31608f92p-5, 64}, {0x1.fdb81b627af91p-1, 255}};
  for (const auto& s : starts) {
    EXPECT_EQ(EncodeSrgb8(s.least), s.code);
    EXPECT_EQ(EncodeSrgb8(std::nextafter(s.least, 0.0)), s.code - 1);
  }
  EXPECT_EQ(EncodeSrgb8(0.5), 188);
  EXPECT_EQ(EncodeSrgb8(-0.5), 0);
  EXPECT_EQ(EncodeSrgb8(1.5), 255);
  EXPECT_EQ(EncodeSrgb8(std::numeric_limits<double>::quiet_NaN()), 0);
}

TEST(ToneCurveTest, EightBitsNeverWrap) {
  // Below the knee the plain sRGB codes; above, rising to 255 and staying there.
  EXPECT_EQ(ToneMapToSrgb8(0.0f), 0);
  EXPECT_EQ(ToneMapToSrgb8(0.5f), 188);
  EXPECT_EQ(ToneMapToSrgb8(0.215861f), 128);
  int previous = 0;
  for (float x = 1e-5f; x < 1e6f; x *= 1.001f) {
    const int code = ToneMapToSrgb8(x);
    ASSERT_GE(code, previous) << x;
    previous = code;
  }
  EXPECT_LT(ToneMapToSrgb8(1.0f), 255);  // SDR white keeps room for highlights
  for (float large : {12.5f, 100.0f, 1e9f, FLT_MAX, std::numeric_limits<float>::infinity()}) {
    EXPECT_EQ(ToneMapToSrgb8(large), 255) << large;
  }
  for (float none : {-0.01f, -1e9f, -std::numeric_limits<float>::infinity(),
                     std::numeric_limits<float>::quiet_NaN()}) {
    EXPECT_EQ(ToneMapToSrgb8(none), 0) << none;
  }
}

// Little-endian sample bytes.
void Put16(std::vector<uint8_t>* out, uint16_t v) {
  out->push_back(static_cast<uint8_t>(v));
  out->push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>* out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}
void PutFloat(std::vector<uint8_t>* out, float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof(bits));
  Put32(out, bits);
}

std::vector<uint8_t> Row(const std::vector<uint8_t>& samples, const HighRangeLayout& layout,
                         int32_t width) {
  std::vector<uint8_t> bgra(static_cast<size_t>(width) * 4, 0xEE);
  EXPECT_TRUE(ToneMapRow(samples.data(), layout, width, bgra.data()));
  return bgra;
}

TEST(ToneMapRowTest, SampleLayoutsOfTheEncoders) {
  const int mid = ToneMapToSrgb8(0.5f), white = ToneMapToSrgb8(1.0f);
  {  // 128-bit RGBA float, straight alpha: half-transparent mid grey, bright red, NaN green
    std::vector<uint8_t> s;
    for (float f : {0.5f, 0.5f, 0.5f, 0.5f, 30.0f, 0.0f, -2.0f, 1.0f}) PutFloat(&s, f);
    for (float f : {0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f, 1.0f}) PutFloat(&s, f);
    HighRangeLayout layout{SampleType::Float32, 4, 3, 3, false, false};
    const int halfMid = (mid * 128 + 127) / 255;
    EXPECT_EQ(Row(s, layout, 3),
              (std::vector<uint8_t>{uint8_t(halfMid), uint8_t(halfMid), uint8_t(halfMid), 128, 0, 0,
                                    255, 255, 0, 0, 0, 255}));
    // The same colours premultiplied by the same alphas come out the same.
    std::vector<uint8_t> p;
    for (float f : {0.25f, 0.25f, 0.25f, 0.5f, 30.0f, 0.0f, -2.0f, 1.0f}) PutFloat(&p, f);
    for (float f : {0.0f, std::numeric_limits<float>::quiet_NaN(), 0.0f, 1.0f}) PutFloat(&p, f);
    layout.premultiplied = true;
    EXPECT_EQ(Row(p, layout, 3),
              Row(s, HighRangeLayout{SampleType::Float32, 4, 3, 3, false, false}, 3));
  }
  {  // alpha clipped to 0..1: none, negative and NaN hide the colour; the least step shows it
    std::vector<uint8_t> s;
    for (float a : {0.0f, -0.5f, std::numeric_limits<float>::quiet_NaN(), 1 / 255.0f, 2.0f}) {
      for (float f : {1.0f, 1.0f, 1.0f, a}) PutFloat(&s, f);
    }
    const uint8_t least = uint8_t((white + 127) / 255);  // white premultiplied by 1/255
    EXPECT_EQ(Row(s, HighRangeLayout{SampleType::Float32, 4, 3, 3, false, false}, 5),
              (std::vector<uint8_t>{0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    0,
                                    least,
                                    least,
                                    least,
                                    1,
                                    uint8_t(white),
                                    uint8_t(white),
                                    uint8_t(white),
                                    255}));
  }
  {  // 48-bit RGB half: 1.0 = 0x3C00, 12.5 = 0x4A40, +inf = 0x7C00, -2 = 0xC000, NaN = 0x7E00
    std::vector<uint8_t> s;
    for (uint16_t h : {0x3C00, 0x4A40, 0x7C00, 0xC000, 0x7E00, 0x3800}) Put16(&s, h);
    const std::vector<uint8_t> out =
        Row(s, HighRangeLayout{SampleType::Half16, 3, 3, -1, false, false}, 2);
    EXPECT_EQ(out, (std::vector<uint8_t>{255, 255, uint8_t(white), 255, uint8_t(mid), 0, 0, 255}));
  }
  {  // 64-bit RGB fixed point (s2.13, padded to four samples) and BGR order
    std::vector<uint8_t> s;
    for (uint16_t v : {8192, 4096, 0x8000, 0x1234}) Put16(&s, v);  // 1.0, 0.5, -4.0, padding
    EXPECT_EQ(Row(s, HighRangeLayout{SampleType::Fixed16, 4, 3, -1, false, false}, 1),
              (std::vector<uint8_t>{0, uint8_t(mid), uint8_t(white), 255}));
    EXPECT_EQ(Row(s, HighRangeLayout{SampleType::Fixed16, 4, 3, -1, false, true}, 1),
              (std::vector<uint8_t>{uint8_t(white), uint8_t(mid), 0, 255}));
  }
  {  // 32-bit grey fixed point (s7.24) and 32-bit grey float
    std::vector<uint8_t> s;
    Put32(&s, 1u << 23);    // 0.5
    Put32(&s, 0x7FFFFFFF);  // nearly 128
    EXPECT_EQ(
        Row(s, HighRangeLayout{SampleType::Fixed32, 1, 1, -1, false, false}, 2),
        (std::vector<uint8_t>{uint8_t(mid), uint8_t(mid), uint8_t(mid), 255, 255, 255, 255, 255}));
    std::vector<uint8_t> f;
    PutFloat(&f, 0.5f);
    EXPECT_EQ(Row(f, HighRangeLayout{SampleType::Float32, 1, 1, -1, false, false}, 1),
              (std::vector<uint8_t>{uint8_t(mid), uint8_t(mid), uint8_t(mid), 255}));
  }
}

TEST(ToneMapRowTest, RefusesLayoutsThatDoNotAddUp) {
  const std::vector<uint8_t> samples(64, 0);
  std::vector<uint8_t> out(16, 0xEE);
  const HighRangeLayout bad[] = {
      {SampleType::Float32, 4, 2, -1, false, false},  // two colour channels
      {SampleType::Float32, 2, 3, -1, false, false},  // fewer samples than channels
      {SampleType::Float32, 5, 3, -1, false, false},  // more than four samples
      {SampleType::Float32, 4, 3, 4, false, false},   // alpha past the pixel
      {SampleType::Float32, 4, 3, 1, false, false},   // alpha inside the colour
      {SampleType::Float32, 4, 3, 0, false, false},   // alpha where the first colour is
      {SampleType::Float32, 3, 3, -1, true, false},   // premultiplied without alpha
  };
  for (const HighRangeLayout& layout : bad) {
    EXPECT_EQ(HighRangeBytesPerPixel(layout), 0u);
    EXPECT_FALSE(ToneMapRow(samples.data(), layout, 1, out.data()));
  }
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
  // The layouts' sizes as the pixel formats name them: 128, 48 and 32 bits.
  EXPECT_EQ(HighRangeBytesPerPixel({SampleType::Float32, 4, 3, 3, false, false}), 16u);
  EXPECT_EQ(HighRangeBytesPerPixel({SampleType::Half16, 3, 3, -1, false, false}), 6u);
  EXPECT_EQ(HighRangeBytesPerPixel({SampleType::Fixed32, 1, 1, -1, false, false}), 4u);
  EXPECT_FALSE(ToneMapRow(nullptr, {SampleType::Half16, 3, 3, -1, false, false}, 1, out.data()));
  // An empty row is a valid one with nothing to write; a negative width is not.
  const HighRangeLayout half{SampleType::Half16, 3, 3, -1, false, false};
  EXPECT_TRUE(ToneMapRow(samples.data(), half, 0, out.data()));
  EXPECT_FALSE(ToneMapRow(samples.data(), half, -1, out.data()));
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0xEE));
}

}  // namespace
}  // namespace framewise
