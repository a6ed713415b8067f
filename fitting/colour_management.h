// Colour management of pictures: a picture whose embedded colour description is not sRGB
// (an ICC profile in the file, or a HEIF/AVIF coded description) has its decoded pixels
// converted to sRGB by the system's colour management (mscms), for the wallpaper and the
// previews alike, since the desktop shows a wallpaper's numbers as sRGB.
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

#include "fitting/imaging.h"

namespace framewise {

// A transform from one picture's colours to sRGB (perceptual intent), or none.
class SrgbConversion {
 public:
  SrgbConversion() = default;
  ~SrgbConversion();
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
  // transform or the buffer is not one of those layouts.
  bool Convert(PixelBuffer* pixels, bool premultiplied) const;

 private:
  void Close();

  HPROFILE source_ = nullptr;
  HPROFILE srgb_ = nullptr;
  HTRANSFORM transform_ = nullptr;
};

// Converts a decoded picture to sRGB when its file calls for it (see SrgbConversion). The
// picture is converted in place when its pixels are 24-bit RGB or 32-bit ARGB, else
// replaced by a converted copy in one of those layouts; it stays as it was when anything
// fails.
void ConvertPictureToSrgb(const wchar_t* path, fw::GpImageOwner* picture);

}  // namespace framewise
