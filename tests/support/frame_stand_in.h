// A decoded frame that answers nothing: the tests' stand-in frames derive from it and
// answer only what they play. It lives on the stack, so its count is not kept.
#pragma once

#include <windows.h>
#include <wincodec.h>

namespace testsupport {

class FrameStandIn : public IWICBitmapFrameDecode {
 public:
  virtual ~FrameStandIn() = default;
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP GetSize(UINT*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPixelFormat(WICPixelFormatGUID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetResolution(double*, double*) override { return E_NOTIMPL; }
  STDMETHODIMP CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
  STDMETHODIMP CopyPixels(const WICRect*, UINT, UINT, BYTE*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMetadataQueryReader(IWICMetadataQueryReader**) override { return E_NOTIMPL; }
  STDMETHODIMP GetColorContexts(UINT, IWICColorContext**, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetThumbnail(IWICBitmapSource**) override { return E_NOTIMPL; }
};

}  // namespace testsupport
