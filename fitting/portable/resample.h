// Filtered resampling of 8-bit pictures: part of a photo drawn at another size, for the
// wallpaper and for the menu previews, without the aliasing of a nearest-pixel scaler.
// No Windows header here.
#pragma once

#include <cstdint>

namespace framewise {

// 8-bit pixels, rows top-down, `stride` bytes apart. 3 channels: B,G,R. 4 channels: B,G,R,A with
// colour premultiplied by alpha (the platform's PARGB layout).
struct PixelBuffer {
  uint8_t* pixels = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int64_t stride = 0;
  int32_t channels = 0;
};

struct SourceArea { double x = 0, y = 0, width = 0, height = 0; };  // may be fractional

// Converts the colours of a row of pixels in place: 3 channels B,G,R, or 4 channels B,G,R,A
// with colour premultiplied by alpha (alpha to be kept).
class RowConverter {
 public:
  virtual ~RowConverter() = default;
  virtual void ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const = 0;
};

struct ResampleOptions {
  // Darkens the result: max(0, c - 128) on blue, green and red after compositing (alpha kept).
  bool dim = false;
  // Converts each filtered row before it is composited onto the target (so only the pixels
  // drawn are converted, and never the target's own); nullptr for none.
  const RowConverter* convert = nullptr;
};

// Draws the area `from` of `source` onto the area `to` of `target` (both in their own pixel
// coordinates, fractional allowed). Sets every target pixel whose centre lies inside `to`
// (left and top edges included, right and bottom excluded) and inside the target.
//
// Target pixel centre i + 0.5 maps to source position from.x + (i + 0.5 - to.x) * from.width /
// to.width (the same for y), where a separable Catmull-Rom cubic is centred; when reducing, the
// filter widens by the reduction on that axis, so nothing aliases. Source positions outside the
// source take its nearest edge pixel; when enlarging, a position within half a pixel of the
// edge takes the edge pixel too (no overshoot along the border). A 4-channel source is
// composited over the target's existing pixels (premultiplied "over"); a 3-channel source is
// opaque. The target may have 3 or 4 channels; a 4-channel target gets alpha 255 where written
// when the source is opaque, else the composited alpha.
//
// Channels must be 3 or 4 and |stride| at least width * channels (a negative stride walks a
// bottom-up buffer); the two buffers must not overlap. False, with the target untouched, on
// invalid arguments (null pixels, non-positive sizes, NaN or infinite areas, empty `from`) or
// when memory runs out; an empty `to` draws nothing and returns true. No exception escapes.
bool Resample(const PixelBuffer& source, const SourceArea& from, PixelBuffer* target,
              const SourceArea& to, const ResampleOptions& options = {});

}  // namespace framewise
