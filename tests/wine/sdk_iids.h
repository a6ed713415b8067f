// Interface IDs as the Windows SDK states them, written out for the tests' stand-ins, so that
// a stand-in answers only to the real IID and never to a constant of the product's own.
#pragma once

#include <windows.h>

// IWICBitmapSourceTransform, from wincodec.h: {3B16811B-6A43-4EC9-B713-3D5A0C13B940}.
constexpr IID kSdkBitmapSourceTransform = {
    0x3B16811B, 0x6A43, 0x4EC9, {0xB7, 0x13, 0x3D, 0x5A, 0x0C, 0x13, 0xB9, 0x40}};
