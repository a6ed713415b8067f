#include "fitting/portable/tone_map.h"

#include <cmath>
#include <cstring>

namespace framewise {

namespace {

double SrgbDecode(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// The sRGB encoding to 8 bits, exactly rounded: a table over 16-bit steps gives the code
// of a value to within one, and the linear values where each code begins settle it.
struct SrgbTables {
  static constexpr int kSteps = 65535;
  uint8_t guess[kSteps + 1];
  double start[256];  // start[c]: the least linear value encoded as c (start[0] = 0)

  SrgbTables() {
    start[0] = 0;
    for (int c = 1; c < 256; ++c) start[c] = SrgbDecode((c - 0.5) / 255.0);
    int c = 0;
    for (int i = 0; i <= kSteps; ++i) {
      const double v = static_cast<double>(i) / kSteps;
      while (c < 255 && v >= start[c + 1]) ++c;
      guess[i] = static_cast<uint8_t>(c);
    }
  }
};

const SrgbTables& Tables() {
  static const SrgbTables tables;
  return tables;
}

uint32_t Le16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}

uint32_t Le32(const uint8_t* p) { return Le16(p) | (Le16(p + 2) << 16); }

float HalfToFloat(uint32_t h) {
  const uint32_t sign = (h >> 15) & 1, exponent = (h >> 10) & 0x1F, mantissa = h & 0x3FF;
  float magnitude;
  if (exponent == 0) {
    magnitude = std::ldexp(static_cast<float>(mantissa), -24);  // zero and subnormals
  } else if (exponent == 31) {
    magnitude = mantissa ? NAN : INFINITY;
  } else {
    magnitude = std::ldexp(static_cast<float>(mantissa | 0x400), static_cast<int>(exponent) - 25);
  }
  return sign ? -magnitude : magnitude;
}

size_t SampleBytes(SampleType type) {
  switch (type) {
    case SampleType::Float32:
    case SampleType::Fixed32: return 4;
    case SampleType::Half16:
    case SampleType::Fixed16: return 2;
  }
  return 0;
}

float Sample(const uint8_t* p, SampleType type) {
  switch (type) {
    case SampleType::Float32: {
      const uint32_t bits = Le32(p);
      float f;
      std::memcpy(&f, &bits, sizeof(f));
      return f;
    }
    case SampleType::Half16: return HalfToFloat(Le16(p));
    case SampleType::Fixed16:
      return static_cast<float>(static_cast<int16_t>(static_cast<uint16_t>(Le16(p)))) / 8192.0f;
    case SampleType::Fixed32:
      return static_cast<float>(static_cast<double>(static_cast<int32_t>(Le32(p))) / 16777216.0);
  }
  return 0;
}

uint8_t Alpha8(float a) {
  if (!(a > 0)) return 0;  // NaN too
  if (a >= 1) return 255;
  return static_cast<uint8_t>(a * 255.0f + 0.5f);
}

}  // namespace

double ToneCurve(double linear) {
  if (!(linear > 0)) return 0;  // negative (outside the sRGB gamut) and NaN
  if (linear <= kToneKnee) return linear;
  if (std::isinf(linear)) return 1;
  const double room = 1 - kToneKnee;
  const double t = (linear - kToneKnee) / room;
  return kToneKnee + room * (t / (1 + t));
}

uint8_t EncodeSrgb8(double linear) {
  if (!(linear > 0)) return 0;
  if (linear >= 1) return 255;
  const SrgbTables& tables = Tables();
  int c = tables.guess[static_cast<int>(linear * SrgbTables::kSteps + 0.5)];
  while (c > 0 && linear < tables.start[c]) --c;
  while (c < 255 && linear >= tables.start[c + 1]) ++c;
  return static_cast<uint8_t>(c);
}

uint8_t ToneMapToSrgb8(float linear) { return EncodeSrgb8(ToneCurve(linear)); }

size_t HighRangeBytesPerPixel(const HighRangeLayout& layout) {
  const int needed = layout.colourChannels + (layout.alphaIndex >= 0 ? 1 : 0);
  if ((layout.colourChannels != 1 && layout.colourChannels != 3) ||
      layout.samplesPerPixel < needed || layout.samplesPerPixel > 4 ||
      layout.alphaIndex >= layout.samplesPerPixel ||
      (layout.alphaIndex >= 0 && layout.alphaIndex < layout.colourChannels) ||
      (layout.premultiplied && layout.alphaIndex < 0)) {
    return 0;
  }
  return SampleBytes(layout.sample) * static_cast<size_t>(layout.samplesPerPixel);
}

bool ToneMapRow(const uint8_t* row, const HighRangeLayout& layout, int32_t width, uint8_t* bgra) {
  const size_t pixelBytes = HighRangeBytesPerPixel(layout);
  if (pixelBytes == 0 || !row || !bgra || width < 0) return false;
  const size_t sampleBytes = SampleBytes(layout.sample);
  for (int32_t x = 0; x < width; ++x, row += pixelBytes, bgra += 4) {
    float colour[3];
    for (int c = 0; c < layout.colourChannels; ++c)
      colour[c] = Sample(row + c * sampleBytes, layout.sample);
    if (layout.colourChannels == 1) colour[1] = colour[2] = colour[0];
    const float alpha =
        layout.alphaIndex >= 0
            ? Sample(row + static_cast<size_t>(layout.alphaIndex) * sampleBytes, layout.sample)
            : 1.0f;
    const uint8_t a8 = Alpha8(alpha);
    if (layout.premultiplied) {
      for (float& c : colour) c = alpha > 0 ? c / alpha : 0;  // NaN alpha gives no colour
    }
    const int red = layout.bgr ? 2 : 0, blue = layout.bgr ? 0 : 2;
    const uint8_t straight[3] = {ToneMapToSrgb8(colour[blue]), ToneMapToSrgb8(colour[1]),
                                 ToneMapToSrgb8(colour[red])};
    for (int c = 0; c < 3; ++c) {
      bgra[c] = a8 == 255 ? straight[c] : static_cast<uint8_t>((straight[c] * a8 + 127) / 255);
    }
    bgra[3] = a8;
  }
  return true;
}

}  // namespace framewise
