// Pictures whose decoder gives more than 8 bits of linear light a channel (floating and
// fixed point, as JPEG XR's HDR screenshots carry them: scRGB, where 1.0 is SDR white):
// decoded in their own format and tone mapped to 8-bit sRGB (fitting/portable/tone_map.h),
// since neither the format converter (it refuses these formats under Wine) nor a plain
// clip would keep highlights apart without wrapping.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include "fitting/imaging.h"
#include "fitting/portable/tone_map.h"

namespace framewise {

// The sample layout of a floating or fixed point RGB, RGBA or grey WIC pixel format; false
// for any other format (8 and 16-bit integer formats among them: their values are
// already encoded, and the converter takes them to 8 bits by their high byte).
bool HighRangeLayoutOf(const WICPixelFormatGUID& format, HighRangeLayout* layout);

// Decodes a high-range frame, tone mapped, into `target`: 4 channels (premultiplied BGRA),
// the frame's size. Reads a band of rows at a time, so the frame's samples are never all in
// memory. False when the frame is not high-range or cannot be read.
bool CopyToneMapped(IWICBitmapSource* frame, PixelBuffer* target);

// The same into a new 32-bit premultiplied GDI+ bitmap, for the wallpaper's path. Empty
// when the frame is not high-range, is larger than the library takes, or cannot be read.
fw::GpImageOwner ToneMappedPicture(IWICBitmapSource* frame);

}  // namespace framewise
