// The reduced decode taken only when it covers the copy: a decoder may answer with a native
// size below the one asked for, and a copy made from that would be enlarged and blurred.
#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <cstring>

#include "fitting/preview_source.h"
#include "sdk_iids.h"
#include "fitting/wic_transform.h"
#include "framework/gdiplus_owners.h"

namespace {

// A 400 x 300 grey frame whose decoder scales, but only to half of any size asked for.
class ShrinkingFrame final : public IWICBitmapSource, public IWICBitmapSourceTransform {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWICBitmapSource)) {
      *out = static_cast<IWICBitmapSource*>(this);
    } else if (IsEqualIID(iid, kSdkBitmapSourceTransform)) {
      *out = static_cast<IWICBitmapSourceTransform*>(this);
    } else {
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  // Lives on the test's stack: the references are not counted.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP GetSize(UINT* w, UINT* h) override {
    *w = 400;
    *h = 300;
    return S_OK;
  }
  STDMETHODIMP GetPixelFormat(WICPixelFormatGUID* format) override {
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  STDMETHODIMP GetResolution(double* x, double* y) override {
    *x = *y = 96;
    return S_OK;
  }
  STDMETHODIMP CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
  STDMETHODIMP CopyPixels(const WICRect*, UINT, UINT size, BYTE* buffer) override {
    ++wholeCopies;
    std::memset(buffer, 0x80, size);
    return S_OK;
  }

  STDMETHODIMP CopyPixels(const WICRect*, UINT, UINT, WICPixelFormatGUID*, WICBitmapTransformOptions,
                          UINT, UINT size, BYTE* buffer) override {
    ++reducedCopies;
    std::memset(buffer, 0x80, size);
    return S_OK;
  }
  STDMETHODIMP GetClosestSize(UINT* w, UINT* h) override {
    *w /= 2;
    *h /= 2;
    return S_OK;
  }
  STDMETHODIMP GetClosestPixelFormat(WICPixelFormatGUID* format) override {
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  STDMETHODIMP DoesSupportTransform(WICBitmapTransformOptions, BOOL* supported) override {
    *supported = TRUE;
    return S_OK;
  }

  int wholeCopies = 0;
  int reducedCopies = 0;
};

TEST(ReducedDecode, AnAnswerBelowTheCopysSizeFallsBackToTheWholeFrame) {
  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  fw::GpGraphicsOwner screen;
  ASSERT_EQ(fw::gp::GdipCreateFromHWND(GetDesktopWindow(), screen.put()), Gdiplus::Ok);
  ShrinkingFrame frame;
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(framewise::PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_EQ(frame.reducedCopies, 0) << "decoded at a size below the copy's";
  EXPECT_EQ(frame.wholeCopies, 1);
  UINT width = 0, height = 0;
  fw::gp::GdipGetImageWidth(copy.get(), &width);
  fw::gp::GdipGetImageHeight(copy.get(), &height);
  EXPECT_EQ(width, 256u);
  EXPECT_EQ(height, 192u);
}

}  // namespace
