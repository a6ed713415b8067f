// The picture as the menu's previews need it: a small upright copy, decoded at a reduced
// size where the platform's decoder can do that, so opening the submenu of a large photo
// does not cost a full decode on systems that offer it.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include "fitting/colour_management.h"
#include "fitting/imaging.h"
#include "fitting/wic_transform.h"

namespace framewise {

// The size of the copy: `height` pixels high and as wide as the upright picture's
// proportions make it; a copy wider than `maxWidth` shrinks, proportions kept. At least
// one pixel each way, however thin the picture.
struct CopySize {
  int32_t width = 0;
  int32_t height = 0;
};
CopySize PreviewCopySize(uint32_t uprightWidth, uint32_t uprightHeight, float height,
                         float maxWidth);

// Makes the upright preview copy of a picture file: 32-bit premultiplied, with the
// resolution of `screen`, so drawing it there does not scale it. `header` is the file's
// header: its orientation is applied unless the decoder already did
// (OrientationLeftAfterDecode). Decodes through the platform's codecs (reduced where the
// frame offers it); what they cannot read goes through the library's own loader
// (LoadPicture, without asking WIC again). False, with *copy empty, when the pixels cannot
// be decoded.
bool MakePreviewCopy(const wchar_t* path, const PictureHeader& header, float height, float maxWidth,
                     GpGraphics* screen, fw::GpBitmapOwner* copy);

// The same from a decoded frame: the reduced decode through its IWICBitmapSourceTransform
// when it has one, else the whole frame through a format converter of `factory` (tone
// mapped where its samples are floating or fixed point). The copy's pixels are converted
// by `toSrgb` as they are drawn, when it is given and has a transform.
bool PreviewCopyFromFrame(IWICImagingFactory* factory, IWICBitmapSource* frame, int orientation,
                          float height, float maxWidth, GpGraphics* screen, fw::GpBitmapOwner* copy,
                          const SrgbConversion* toSrgb = nullptr);

}  // namespace framewise
