// The WIC decoder's scaling interface, IWICBitmapSourceTransform, for toolchains whose
// headers lack it (the SDK's own declaration is used where it has one).
#pragma once

#include <windows.h>
#include <wincodec.h>

namespace framewise {

// {3B16811B-6A43-4EC9-B713-3D5A0C13B940}
constexpr IID kIidBitmapSourceTransform = {
    0x3b16811b, 0x6a43, 0x4ec9, {0xb7, 0x13, 0x3d, 0x5a, 0x0c, 0x13, 0xb9, 0x40}};

}  // namespace framewise

#ifndef __IWICBitmapSourceTransform_INTERFACE_DEFINED__
#define __IWICBitmapSourceTransform_INTERFACE_DEFINED__
struct IWICBitmapSourceTransform : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE CopyPixels(const WICRect* rect, UINT width, UINT height,
                                               WICPixelFormatGUID* format,
                                               WICBitmapTransformOptions transform, UINT stride,
                                               UINT bufferSize, BYTE* buffer) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestSize(UINT* width, UINT* height) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetClosestPixelFormat(WICPixelFormatGUID* format) = 0;
  virtual HRESULT STDMETHODCALLTYPE DoesSupportTransform(WICBitmapTransformOptions transform,
                                                         BOOL* supported) = 0;
};
#endif
