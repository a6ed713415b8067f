// Colour management of pictures: a picture whose embedded colour description is not sRGB
// (an ICC profile in the file, or a HEIF/AVIF coded description) is converted to sRGB by
// the system's colour management (mscms), for the wallpaper and the previews alike, since
// the desktop shows a wallpaper's numbers as sRGB. The conversion runs inside the
// resampler, on the rows it draws (ResampleOptions::convert), so only the pixels of the
// fitted wallpaper or the preview copy go through the engine, never the whole picture:
// under Wine the engine takes some 40 ns a pixel, almost a second for a 24-megapixel photo.
//
// A picture without a description, or with one that is sRGB in effect, keeps its pixels to
// the byte, and costs only the reading of its header bytes. A description the system cannot
// use (damaged, not RGB, refused by the colour engine) also leaves the pixels as they are:
// colour management never makes a picture fail.
#pragma once

#include <windows.h>
#include <icm.h>
#include <wincodec.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fitting/imaging.h"
#include "fitting/portable/resample.h"

namespace framewise {

// The system's transform from one picture's colours to sRGB (perceptual intent), or none.
// Each colour goes through the engine once: a fitted photo has few distinct colours (some
// 75,000 in a 1920 x 1280 landscape), and the engine takes some 85 ns a colour under Wine,
// so converted colours are kept in a table and only new ones are sent, a row's worth at a
// time. The table makes an object for one thread's use at a time.
class SrgbConversion final : public RowConverter {
 public:
  SrgbConversion() = default;
  ~SrgbConversion() override;
  SrgbConversion(SrgbConversion&& other) noexcept;
  SrgbConversion& operator=(SrgbConversion&& other) noexcept;
  SrgbConversion(const SrgbConversion&) = delete;
  SrgbConversion& operator=(const SrgbConversion&) = delete;

  // The conversion a picture file needs, from the colour description embedded in it. A PNG's
  // profile is compressed in the file: it comes from `frame` when the caller has the file
  // decoded already, else through the platform's PNG decoder from a one-pixel picture that
  // carries it. None when there is nothing to convert.
  static SrgbConversion ForPicture(const wchar_t* path, IWICBitmapFrameDecode* frame = nullptr);

  // The conversion from an RGB ICC profile. None when the profile is sRGB in effect, not
  // plausible, or refused by the system's colour engine.
  static SrgbConversion FromProfile(const uint8_t* profile, size_t size);

  explicit operator bool() const { return transform_ != nullptr; }

  // Converts 8-bit pixels in place: 3 channels (B, G, R) or 4 (B, G, R, A, the colour
  // premultiplied by alpha when `premultiplied`). Alpha is kept. False when there is no
  // transform, the buffer is not one of those layouts, or the engine fails.
  bool Convert(PixelBuffer* pixels, bool premultiplied) const;

  // The resampler's hook: a row of 3 channels, or of 4 with premultiplied colour. Left as
  // it is when there is no transform or the engine fails.
  void ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const override;

 private:
  bool ConvertLine(uint8_t* row, int32_t count, int32_t channels, bool premultiplied) const;
  void Close();

  HPROFILE source_ = nullptr;
  HPROFILE srgb_ = nullptr;
  HTRANSFORM transform_ = nullptr;
  // Converted colours by a hash of the colour: the colour with a mark (0 is an empty slot),
  // and what it became, both as 0x00RRGGBB.
  mutable std::vector<uint32_t> keys_;
  mutable std::vector<uint32_t> values_;
  // A row's colours not in the table yet, as the engine takes them (and a copy of what was
  // asked, as the engine converts in place), and where they go.
  mutable std::vector<uint8_t> batch_;
  mutable std::vector<uint8_t> asked_;
  mutable std::vector<int32_t> batchAt_;
};

}  // namespace framewise
