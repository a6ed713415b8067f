// The preview copy from a decoded frame: the decoder's own reduced decode where the frame
// offers one (Wine's frames do not, so a stand-in frame plays a decoder that does), the
// whole frame otherwise, and the orientation applied to the small copy.
#include <windows.h>
#include <wincodec.h>

#include <gtest/gtest.h>

#include <vector>

#include "colour_checks.h"
#include "fault_checks.h"
#include "sdk_iids.h"
#include "fitting/imaging.h"
#include "fitting/preview_source.h"
#include "fitting/wallpaper_output.h"
#include "fitting/wic_picture.h"
#include "tests/support/files.h"
#include "tests/support/frame_stand_in.h"
#include "tests/support/refused_allocations.h"

namespace framewise {
namespace {

// Quadrant colours as BGR bytes (top left, top right, bottom left, bottom right).
constexpr BYTE kBgr[4][3] = {{0x40, 0xA0, 0xE0}, {0xA0, 0xE0, 0x40}, {0xE0, 0x40, 0xA0}, {0xF0, 0x70, 0x30}};
constexpr const Gdiplus::ARGB* kArgb = testsupport::kQuadrantColours;

// A frame of a 4000 x 3000 picture in quadrant colours, 24-bit BGR, that can scale by 1/2,
// 1/4 or 1/8 while decoding when `scales` is set. Records what it was asked for.
class StandInFrame final : public IWICBitmapSource, public IWICBitmapSourceTransform {
 public:
  explicit StandInFrame(bool scales, UINT width = kWidth, UINT height = kHeight)
      : scales_(scales), width_(width), height_(height) {}

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IWICBitmapSource)) {
      *out = static_cast<IWICBitmapSource*>(this);
    } else if (scales_ && IsEqualIID(iid, kSdkBitmapSourceTransform)) {
      *out = static_cast<IWICBitmapSourceTransform*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }

  // IWICBitmapSource: the whole picture.
  STDMETHODIMP GetSize(UINT* w, UINT* h) override {
    *w = width_;
    *h = height_;
    return S_OK;
  }
  STDMETHODIMP GetPixelFormat(WICPixelFormatGUID* format) override {
    *format = GUID_WICPixelFormat24bppBGR;
    return S_OK;
  }
  STDMETHODIMP GetResolution(double* x, double* y) override { *x = *y = 96; return S_OK; }
  STDMETHODIMP CopyPalette(IWICPalette*) override { return E_NOTIMPL; }
  STDMETHODIMP CopyPixels(const WICRect*, UINT stride, UINT size, BYTE* buffer) override {
    ++wholeCopies;
    return Fill(width_, height_, stride, size, buffer);
  }

  // IWICBitmapSourceTransform: the largest 1/2^n size that still covers the request.
  STDMETHODIMP CopyPixels(const WICRect*, UINT w, UINT h, WICPixelFormatGUID* format,
                          WICBitmapTransformOptions transform, UINT stride, UINT size, BYTE* buffer) override {
    reducedWidth = w;
    reducedHeight = h;
    if (transform != WICBitmapTransformRotate0 || !IsEqualGUID(*format, GUID_WICPixelFormat24bppBGR)) return E_INVALIDARG;
    return Fill(w, h, stride, size, buffer);
  }
  STDMETHODIMP GetClosestSize(UINT* w, UINT* h) override {
    UINT scale = 8;
    while (scale > 1 && (width_ / scale < *w || height_ / scale < *h)) scale /= 2;
    *w = width_ / scale;
    *h = height_ / scale;
    return S_OK;
  }
  STDMETHODIMP GetClosestPixelFormat(WICPixelFormatGUID* format) override {
    *format = closestFormat;
    return S_OK;
  }
  STDMETHODIMP DoesSupportTransform(WICBitmapTransformOptions transform, BOOL* supported) override {
    *supported = transform == WICBitmapTransformRotate0 && keepsOrientation;
    return S_OK;
  }

  static constexpr UINT kWidth = 4000, kHeight = 3000;
  // What the reduced decode offers: its pixel format, and whether it can decode unturned.
  WICPixelFormatGUID closestFormat = GUID_WICPixelFormat24bppBGR;
  bool keepsOrientation = true;
  ULONG refs = 1;
  int wholeCopies = 0;
  UINT reducedWidth = 0, reducedHeight = 0;

 private:
  HRESULT Fill(UINT w, UINT h, UINT stride, UINT size, BYTE* buffer) {
    if (static_cast<UINT64>(stride) * h > size || stride < w * 3) return E_INVALIDARG;
    for (UINT y = 0; y < h; ++y) {
      for (UINT x = 0; x < w; ++x) {
        const BYTE* c = kBgr[(y >= h / 2 ? 2 : 0) + (x >= w / 2 ? 1 : 0)];
        BYTE* p = buffer + static_cast<size_t>(y) * stride + x * 3;
        p[0] = c[0];
        p[1] = c[1];
        p[2] = c[2];
      }
    }
    return S_OK;
  }
  bool scales_;
  UINT width_, height_;
};

testing::AssertionResult Near(Gdiplus::ARGB a, Gdiplus::ARGB b) { return testsupport::NearColour(a, b, 3); }

// The copy's size and its quadrant colours, read at the quadrants' centres.
void ExpectCopy(GpBitmap* copy, UINT width, UINT height, const int (&quadrantOf)[4]) {
  UINT w = 0, h = 0;
  ASSERT_TRUE(GetPictureSize(copy, &w, &h));
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
  for (int i = 0; i < 4; ++i) {
    Gdiplus::ARGB c = 0;
    gp::GdipBitmapGetPixel(copy, static_cast<INT>(w * (i % 2 ? 3 : 1) / 4), static_cast<INT>(h * (i / 2 ? 3 : 1) / 4), &c);
    EXPECT_TRUE(Near(c, kArgb[quadrantOf[i]])) << "quadrant " << i << ": " << std::hex << c;
  }
}

class PreviewSourceTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(gdiplus);
    ASSERT_EQ(gp::GdipCreateFromHWND(GetDesktopWindow(), screen.put()), Gdiplus::Ok);
  }
  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  fw::GpGraphicsOwner screen;
};

TEST_F(PreviewSourceTest, DecoderThatScalesDecodesOnlyAnEighth) {
  StandInFrame frame(true);
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_EQ(frame.wholeCopies, 0);
  EXPECT_EQ(frame.reducedWidth, 500u);  // 256 x 192 wanted: 1/8 covers it
  EXPECT_EQ(frame.reducedHeight, 375u);
  ExpectCopy(copy.get(), 256, 192, {0, 1, 2, 3});
  EXPECT_EQ(frame.refs, 1u);
}

TEST_F(PreviewSourceTest, OtherDecodersGiveTheWholeFrame) {
  StandInFrame frame(false);
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_EQ(frame.wholeCopies, 1);
  EXPECT_EQ(frame.reducedWidth, 0u);
  ExpectCopy(copy.get(), 256, 192, {0, 1, 2, 3});
}

// A frame of 2 x 2 pixels enlarged: each pixel fills its own quarter of the copy, none
// taken from its neighbour's place.
TEST_F(PreviewSourceTest, EachPixelOfATinyFrameFillsItsOwnQuarter) {
  StandInFrame frame(false, 2, 2);
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
  ExpectCopy(copy.get(), 192, 192, {0, 1, 2, 3});
}

// A decoder that scales, but only into pixels the preview cannot take (grey, or never
// unturned): the whole frame is decoded instead.
TEST_F(PreviewSourceTest, AReducedDecodeOfUnusablePixelsGivesWayToTheWholeFrame) {
  for (bool grey : {true, false}) {
    SCOPED_TRACE(grey ? "grey pixels" : "turned only");
    StandInFrame frame(true);
    if (grey) frame.closestFormat = GUID_WICPixelFormat8bppGray;
    if (!grey) frame.keepsOrientation = false;
    fw::GpBitmapOwner copy;
    ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
    EXPECT_EQ(frame.wholeCopies, 1);
    EXPECT_EQ(frame.reducedWidth, 0u);
    ExpectCopy(copy.get(), 256, 192, {0, 1, 2, 3});
  }
}

// A frame whose whole decode would pass half a gigabyte (24-bit pixels) is refused before a
// byte is decoded, and an earlier copy given in does not come back as if it were its own;
// one just under it is not refused for its size.
TEST_F(PreviewSourceTest, AFrameTooLargeToDecodeWholeIsRefused) {
  StandInFrame huge(false, 16384, 10923);  // 3 x 16384 x 10923 bytes: just over 512 MB
  fw::GpBitmapOwner copy;
  StandInFrame earlier(true);
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &earlier, 1, 192.0f, 8192.0f, screen.get(), &copy));
  ASSERT_TRUE(copy);
  EXPECT_FALSE(PreviewCopyFromFrame(nullptr, &huge, 1, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_EQ(huge.wholeCopies, 0);
  EXPECT_FALSE(copy);
  EXPECT_EQ(huge.refs, 1u);
}

// A picture one pixel wide or high still gets its copy; a frame that says it has no pixels
// on a side gets none.
TEST_F(PreviewSourceTest, FramesOfOnePixelAndOfNone) {
  const struct {
    bool scales;
    UINT width, height;
    bool made;
  } cases[] = {{false, 1, 1, true},   {true, 1, 1, true},     {false, 1, 300, true},
               {false, 300, 1, true}, {false, 0, 300, false}, {false, 300, 0, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << (c.scales ? " scaling" : ""));
    StandInFrame frame(c.scales, c.width, c.height);
    fw::GpBitmapOwner copy;
    EXPECT_EQ(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy),
              c.made);
    EXPECT_EQ(static_cast<bool>(copy), c.made);
  }
}

// No memory for the decoded pixels, reduced or whole: no copy, and the copy given in does
// not come back.
TEST_F(PreviewSourceTest, NoMemoryForThePixelsGivesNoCopy) {
  for (bool scales : {true, false}) {
    SCOPED_TRACE(scales ? "a decoder that scales" : "a whole decode");
    StandInFrame frame(scales);
    fw::GpBitmapOwner copy;
    StandInFrame earlier(true);
    ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &earlier, 1, 192.0f, 8192.0f, screen.get(), &copy));
    testsupport::RefusedAllocations refused(64 * 1024);  // below even the reduced decode's
    EXPECT_FALSE(PreviewCopyFromFrame(nullptr, &frame, 1, 192.0f, 8192.0f, screen.get(), &copy));
    EXPECT_FALSE(copy);
    EXPECT_GT(refused.refused(), 0u);
    EXPECT_EQ(frame.wholeCopies, 0);
  }
}

// A file that neither the codecs nor the library can read gives no copy, and the copy
// given in does not come back as if it were the file's.
TEST_F(PreviewSourceTest, AnUnreadableFileGivesNoCopy) {
  testsupport::TempDir dir;
  const std::wstring path = dir.File(L"broken.jpg");
  const char kBroken[] = "\xFF\xD8\xFF\xE0 not a picture at all";
  ASSERT_TRUE(testsupport::WriteBytes(path, kBroken, sizeof(kBroken)));
  PictureHeader header;
  header.format = PictureFormat::Jpeg;
  StandInFrame earlier(true);
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &earlier, 1, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_FALSE(MakePreviewCopy(path.c_str(), header, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_FALSE(copy);
}

// A picture with transparent parts: the copy is transparent there too, exactly, so the
// menu's background shows through it as it would through the picture.
TEST_F(PreviewSourceTest, TransparentPartsStayExactlyTransparent) {
  testsupport::TempDir dir;
  const std::wstring path = dir.File(L"window.png");
  {
    // 400 x 300: the left half transparent, the right half opaque orange.
    const fw::GpBitmapOwner picture =
        testsupport::ClearedBitmap(400, 300, PixelFormat32bppARGB, 0x00000000);
    ASSERT_TRUE(picture);
    fw::GpGraphicsOwner g;
    ASSERT_EQ(gp::GdipGetImageGraphicsContext(picture.get(), g.put()), Gdiplus::Ok);
    fw::GpSolidFillOwner orange;
    ASSERT_EQ(gp::GdipCreateSolidFill(0xFFFF8000, orange.put()), Gdiplus::Ok);
    ASSERT_EQ(gp::GdipFillRectangleI(g.get(), orange.get(), 200, 0, 200, 300), Gdiplus::Ok);
    g.reset();
    CLSID png = {};
    ASSERT_GE(FindEncoder(L"image/png", &png), 0);
    ASSERT_EQ(gp::GdipSaveImageToFile(picture.get(), path.c_str(), &png, nullptr), Gdiplus::Ok);
  }
  PictureHeader header;
  ASSERT_TRUE(ReadPictureFileHeader(path.c_str(), &header));
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(MakePreviewCopy(path.c_str(), header, 150.0f, 8192.0f, screen.get(), &copy));
  UINT w = 0, h = 0;
  ASSERT_TRUE(GetPictureSize(copy.get(), &w, &h));
  ASSERT_EQ(w, 200u);
  ASSERT_EQ(h, 150u);
  Gdiplus::BitmapData data = {};
  const Gdiplus::GpRect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
  ASSERT_EQ(gp::GdipBitmapLockBits(copy.get(), &all, Gdiplus::ImageLockModeRead,
                                   PixelFormat32bppPARGB, &data),
            Gdiplus::Ok);
  int notClear = 0, notOrange = 0;
  for (UINT y = 0; y < h; ++y) {
    const UINT32* row =
        reinterpret_cast<const UINT32*>(static_cast<const BYTE*>(data.Scan0) + y * data.Stride);
    for (UINT x = 0; x < 95; ++x) notClear += row[x] != 0;
    for (UINT x = 105; x < w; ++x) notOrange += !Near(row[x], 0xFFFF8000);
  }
  gp::GdipBitmapUnlockBits(copy.get(), &data);
  EXPECT_EQ(notClear, 0);
  EXPECT_EQ(notOrange, 0);
}

// One failing call at a time while a turned copy is made: no copy, or exactly the one made
// when nothing fails.
TEST_F(PreviewSourceTest, AnyFailingCallGivesNoCopyOrTheWholeOne) {
  testsupport::faults::Injector injector;
  ASSERT_TRUE(injector.complete());
  for (int orientation : {1, 6}) {
    SCOPED_TRACE(orientation);
    StandInFrame frame(true);
    faultchecks::ExpectNoneOrTheWhole([&](fw::GpBitmapOwner* out) {
      return PreviewCopyFromFrame(nullptr, &frame, orientation, 96.0f, 8192.0f, screen.get(), out);
    });
  }
}

TEST_F(PreviewSourceTest, OrientationTurnsTheSmallCopy) {
  // Stored 4000 x 3000 and shown turned a quarter clockwise: upright 3000 x 4000, so the
  // copy is 144 x 192 and the stored bottom left comes to the top left.
  StandInFrame frame(true);
  fw::GpBitmapOwner copy;
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &frame, 6, 192.0f, 8192.0f, screen.get(), &copy));
  EXPECT_EQ(frame.reducedWidth, 500u);  // 192 x 144 in the stored orientation
  ExpectCopy(copy.get(), 144, 192, {2, 0, 3, 1});
  // A copy wider than allowed shrinks, proportions kept.
  StandInFrame wide(true);
  ASSERT_TRUE(PreviewCopyFromFrame(nullptr, &wide, 1, 192.0f, 128.0f, screen.get(), &copy));
  ExpectCopy(copy.get(), 128, 96, {0, 1, 2, 3});
}

// An object that counts its references: what a metadata value holds must go back.
struct Counted final : IUnknown {
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

// Metadata whose every orientation entry holds an object rather than a number, as a
// damaged file's may; and a frame that offers it.
class ObjectMetadata final : public IWICMetadataQueryReader {
 public:
  explicit ObjectMetadata(IUnknown* value) : value_(value) {}
  STDMETHODIMP QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  STDMETHODIMP GetContainerFormat(GUID*) override { return E_NOTIMPL; }
  STDMETHODIMP GetLocation(UINT, WCHAR*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMetadataByName(LPCWSTR, PROPVARIANT* value) override {
    ++asked;
    PropVariantInit(value);
    value->vt = VT_UNKNOWN;
    value->punkVal = value_;
    value_->AddRef();
    return S_OK;
  }
  STDMETHODIMP GetEnumerator(IEnumString**) override { return E_NOTIMPL; }
  ULONG refs = 1;
  int asked = 0;

 private:
  IUnknown* value_;
};

class MetadataFrame final : public testsupport::FrameStandIn {
 public:
  explicit MetadataFrame(IWICMetadataQueryReader* reader) : reader_(reader) {}
  STDMETHODIMP GetMetadataQueryReader(IWICMetadataQueryReader** reader) override {
    reader_->AddRef();
    *reader = reader_;
    return S_OK;
  }

 private:
  IWICMetadataQueryReader* reader_;
};

// An orientation entry that is no number is no orientation, and what it held is released.
TEST(FrameOrientationTest, AnEntryThatIsNoNumberIsReleasedAndIgnored) {
  for (bool insideThePicture : {false, true}) {
    Counted value;
    ObjectMetadata metadata(&value);
    MetadataFrame frame(&metadata);
    EXPECT_EQ(FrameOrientation(&frame, insideThePicture), 0);
    EXPECT_GE(metadata.asked, 1);
    EXPECT_EQ(value.refs, 1u);
    EXPECT_EQ(metadata.refs, 1u);
  }
}

}  // namespace
}  // namespace framewise
