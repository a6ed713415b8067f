// Fuzz target: a decoder hands over whatever sample bits a file holds, so any bytes in any
// layout must come through the tone mapping without faults: a layout is taken exactly when
// it adds up, premultiplied output never has more colour than alpha, and the curve stays
// within [0, 1] and never falls as its input rises.
#include "fitting/portable/tone_map.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

extern const std::vector<std::string> kFuzzDictionary;
const std::vector<std::string> kFuzzDictionary = {
    // Half: 1.0, 65504, +infinity, NaN, -2; float: 1.0, +infinity, NaN, the largest.
    "\x00\x3C"s,         "\xFF\x7B"s,         "\x00\x7C"s,         "\x00\x7E"s,         "\x00\xC0"s,
    "\x00\x00\x80\x3F"s, "\x00\x00\x80\x7F"s, "\x00\x00\xC0\x7F"s, "\xFF\xFF\x7F\x7F"s,
};

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

float FloatAt(const uint8_t* p) {
  uint32_t bits = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                  (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
  float f;
  std::memcpy(&f, &bits, sizeof(f));
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  using framewise::HighRangeLayout;
  using framewise::SampleType;
  HighRangeLayout layout;
  layout.sample = static_cast<SampleType>(data[0] % 4);
  layout.samplesPerPixel = data[1] % 6;
  layout.colourChannels = (data[1] / 6) % 4;
  layout.alphaIndex = static_cast<int>(data[2] % 6) - 1;
  layout.premultiplied = (data[2] & 0x40) != 0;
  layout.bgr = (data[2] & 0x80) != 0;
  const uint8_t* row = data + 3;
  const size_t rest = size - 3;

  const size_t pixelBytes = framewise::HighRangeBytesPerPixel(layout);
  const int32_t width = pixelBytes ? static_cast<int32_t>(rest / pixelBytes) : 1;
  std::vector<uint8_t> out(static_cast<size_t>(width) * 4 + 4, 0xEE);
  const bool taken = framewise::ToneMapRow(rest ? row : data, layout, width, out.data());
  Check(taken == (pixelBytes != 0));
  if (taken) {
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t* p = &out[static_cast<size_t>(x) * 4];
      for (int c = 0; c < 3; ++c) Check(p[c] <= p[3]);
    }
  }
  Check(out[static_cast<size_t>(width) * 4] == 0xEE);  // nothing past the row

  for (size_t i = 0; i + 8 <= rest; i += 8) {
    const float a = FloatAt(row + i), b = FloatAt(row + i + 4);
    const double ya = framewise::ToneCurve(a), yb = framewise::ToneCurve(b);
    Check(ya >= 0 && ya <= 1 && yb >= 0 && yb <= 1);
    if (a <= b) Check(ya <= yb && framewise::ToneMapToSrgb8(a) <= framewise::ToneMapToSrgb8(b));
  }
  return 0;
}
