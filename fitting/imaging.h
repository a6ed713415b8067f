// The imaging library behind one header: GDI+'s flat functions, their owners, and the
// few helpers every caller of them shares.
#pragma once

#include <windows.h>

#include "framework/gdiplus_owners.h"

namespace framewise {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

// Loads a picture from a file; an empty owner when the library cannot decode it.
fw::GpImageOwner LoadPicture(const wchar_t* path);

// The picture's width and height in pixels; false when the library cannot say.
bool GetPictureSize(GpImage* picture, UINT* width, UINT* height);

}  // namespace framewise
