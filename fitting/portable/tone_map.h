// Pictures of more than 8 bits made into 8-bit sRGB: the tone curve that brings the linear,
// open-ended light of an HDR picture (scRGB, where 1.0 is the white of ordinary sRGB content
// and highlights go far above it) into the 0..1 a wallpaper can show, and the conversion of
// rows of floating-point, half-float and fixed-point samples to 8-bit premultiplied BGRA.
// No Windows header here.
//
// The curve, for a linear value x:
//   x <= 0 (and NaN)   0
//   0 < x <= k         x                                  (k = kToneKnee: left as it is)
//   x > k              k + (1 - k) * t / (1 + t),  t = (x - k) / (1 - k)
// It is continuous with a slope of 1 at the knee, rises everywhere and approaches 1 without
// reaching it (+infinity gives 1). The result is sRGB-encoded and rounded to 8 bits: SDR
// white (1.0) shows as 243, 2.5 as 253, and from about 9.6 on everything is 255. Nothing
// depends on the brightest pixel of the picture, so a highlight never dims the rest.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framewise {

constexpr double kToneKnee = 0.8;

// The tone curve above: linear light in, linear light in [0, 1) out (1 for +infinity).
double ToneCurve(double linear);

// A linear value in [0, 1] sRGB-encoded and rounded to 8 bits; values outside are clipped,
// NaN gives 0.
uint8_t EncodeSrgb8(double linear);

// ToneCurve, then EncodeSrgb8.
uint8_t ToneMapToSrgb8(float linear);

// How a row of high-range samples is laid out.
enum class SampleType {
  Float32,  // IEEE single precision
  Half16,   // IEEE half precision
  Fixed16,  // signed 16-bit fixed point, 13 fraction bits (8192 is 1.0)
  Fixed32,  // signed 32-bit fixed point, 24 fraction bits
};

struct HighRangeLayout {
  SampleType sample = SampleType::Float32;
  int samplesPerPixel = 4;  // including any padding sample
  int colourChannels = 3;   // 3 (red, green, blue) or 1 (grey)
  int alphaIndex = -1;      // the sample holding alpha; -1 when there is none
  bool premultiplied = false;
  bool bgr = false;  // blue, green, red order instead of red, green, blue
};

// Bytes one pixel of the layout takes; 0 when the layout is not valid.
size_t HighRangeBytesPerPixel(const HighRangeLayout& layout);

// Converts `width` pixels of one row (little-endian samples, any alignment) to 8-bit
// premultiplied BGRA: colour through ToneMapToSrgb8 (premultiplied colour is divided by its
// alpha first), alpha clipped to [0, 1] (NaN 0; 255 when the layout has none). False, with
// nothing written, when the layout is not valid.
bool ToneMapRow(const uint8_t* row, const HighRangeLayout& layout, int32_t width, uint8_t* bgra);

}  // namespace framewise
