// Pictures through the imaging component (WIC), for what the imaging library (GDI+) cannot
// read: the file name extensions of every installed WIC decoder, a frame's size where no
// header reader knows the format (camera RAW), and the whole picture decoded upright into a
// library bitmap for the wallpaper.
#pragma once

#include <windows.h>
#include <wincodec.h>

#include <string>

#include "fitting/imaging.h"

namespace framewise {

// A whole frame is decoded into memory only up to this size: past it the allocation alone
// would strain the shell's process.
constexpr UINT64 kMaxDecodedBytes = 512ull * 1024 * 1024;

// Whether a file name has an extension that an installed WIC decoder lists. The decoders are
// enumerated once per process, on the first call that can create the imaging factory (COM
// must be started on the calling thread); any thread may call.
bool MatchesInstalledWicDecoder(const std::wstring& path);

// The orientation (1..8) a decoded frame's metadata states, 0 when it states none or the
// frame has no metadata. For a format whose orientation is part of the picture
// (`insideThePicture`), the HEIF decoder's own property, then System.Photo.Orientation; for
// the others System.Photo.Orientation, then the EXIF tag where a JPEG or a TIFF keeps it.
int FrameOrientation(IWICBitmapFrameDecode* frame, bool insideThePicture);

// The size and orientation of a picture's first frame as its WIC decoder gives them, for a
// format no header reader knows. The format is Unknown. False when no installed decoder
// opens the file.
bool ReadWicFrameHeader(const wchar_t* path, PictureHeader* header);

// Decodes a picture's first frame through WIC into a 32-bit premultiplied library bitmap
// (from WIC's 32bppPBGRA, through a format converter) and turns it upright: `header` is the
// file's header, whose orientation is applied unless the decoder already did
// (OrientationLeftAfterDecode). An empty owner when no decoder reads it, or when the frame
// is larger than kMaxDecodedBytes at four bytes a pixel. Leaves no file open.
fw::GpImageOwner LoadPictureThroughWic(const wchar_t* path, const PictureHeader& header);

}  // namespace framewise
