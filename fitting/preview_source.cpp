#include "fitting/preview_source.h"

#include <memory>
#include <new>

#include "fitting/high_range.h"
#include "fitting/portable/decoded_orientation.h"
#include "fitting/wic_picture.h"
#include "framework/com_ptr.h"

namespace framewise {

namespace {

// Pixels decoded into memory of our own.
struct DecodedPixels {
  std::unique_ptr<uint8_t[]> memory;
  PixelBuffer buffer;
};

bool Allocate(UINT width, UINT height, int32_t channels, DecodedPixels* out) {
  // Rows packed tight: Wine's JPEG XR decoder writes past the buffer when rows are padded.
  const UINT64 stride = static_cast<UINT64>(width) * static_cast<UINT64>(channels);
  const UINT64 bytes = stride * height;
  if (width == 0 || height == 0 || bytes > kMaxDecodedBytes) return false;
  out->memory.reset(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
  if (!out->memory) return false;
  out->buffer.pixels = out->memory.get();
  out->buffer.width = static_cast<int32_t>(width);
  out->buffer.height = static_cast<int32_t>(height);
  out->buffer.stride = static_cast<int64_t>(stride);
  out->buffer.channels = channels;
  return true;
}

UINT Bytes(const PixelBuffer& b) { return static_cast<UINT>(b.stride * b.height); }

// The channel count our resampler reads for a WIC format: 24-bit BGR or 32-bit
// premultiplied BGRA; 0 for any other.
int32_t ChannelsOf(const WICPixelFormatGUID& format) {
  if (IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) return 3;
  if (IsEqualGUID(format, GUID_WICPixelFormat32bppPBGRA)) return 4;
  return 0;
}

// The frame decoded at a reduced size of at least width x height, by the decoder itself
// (a JPEG decoder scales by 1/2, 1/4 or 1/8 while decoding). False when it cannot.
bool DecodeReduced(IWICBitmapSource* frame, UINT width, UINT height, DecodedPixels* out) {
  fw::ComPtr<IWICBitmapSourceTransform> transform;
  if (FAILED(frame->QueryInterface(kIidBitmapSourceTransform, transform.put_void()))) {
    return false;
  }
  UINT w = width, h = height;
  if (FAILED(transform->GetClosestSize(&w, &h)) || w < width || h < height) return false;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (FAILED(transform->GetClosestPixelFormat(&format))) return false;
  const int32_t channels = ChannelsOf(format);
  BOOL supported = FALSE;
  if (channels == 0 ||
      FAILED(transform->DoesSupportTransform(WICBitmapTransformRotate0, &supported)) ||
      !supported || !Allocate(w, h, channels, out)) {
    return false;
  }
  return SUCCEEDED(transform->CopyPixels(nullptr, w, h, &format, WICBitmapTransformRotate0,
                                         static_cast<UINT>(out->buffer.stride),
                                         Bytes(out->buffer), out->buffer.pixels));
}

// The whole frame, in a layout the resampler reads (converted where it is not one).
bool DecodeWhole(IWICImagingFactory* factory, IWICBitmapSource* frame, DecodedPixels* out) {
  UINT w = 0, h = 0;
  WICPixelFormatGUID format = {};
  if (FAILED(frame->GetSize(&w, &h)) || FAILED(frame->GetPixelFormat(&format))) return false;
  fw::ComPtr<IWICBitmapSource> source = fw::ComPtr<IWICBitmapSource>::Share(frame);
  int32_t channels = ChannelsOf(format);
  HighRangeLayout highRange;
  if (channels == 0 && HighRangeLayoutOf(format, &highRange)) {
    return Allocate(w, h, 4, out) && CopyToneMapped(frame, &out->buffer);
  }
  if (channels == 0) {
    fw::ComPtr<IWICFormatConverter> converter;
    if (!factory || FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame, GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
      return false;
    }
    source = fw::ComPtr<IWICBitmapSource>::Share(converter.get());
    channels = 4;
  }
  if (!Allocate(w, h, channels, out)) return false;
  return SUCCEEDED(source->CopyPixels(nullptr, static_cast<UINT>(out->buffer.stride),
                                      Bytes(out->buffer), out->buffer.pixels));
}

// Resamples decoded pixels into a width x height copy with the screen's resolution, then
// turns it upright; `convert` (may be nullptr) converts the colours drawn.
bool CopyInto(const PixelBuffer& source, int32_t width, int32_t height, int orientation,
              GpGraphics* screen, fw::GpBitmapOwner* copy, const RowConverter* convert) {
  fw::GpBitmapOwner bitmap;
  if (!Ok(gp::GdipCreateBitmapFromGraphics(width, height, screen, bitmap.put()))) return false;
  {
    fw::GpGraphicsOwner surface;
    if (!Ok(gp::GdipGetImageGraphicsContext(bitmap.get(), surface.put())) ||
        !Ok(gp::GdipGraphicsClear(surface.get(), 0))) {
      return false;
    }
  }
  {
    LockedPixels target;
    if (!target.LockCanvas(bitmap.get())) return false;
    const SourceArea from{0, 0, static_cast<double>(source.width),
                          static_cast<double>(source.height)};
    const SourceArea to{0, 0, static_cast<double>(width), static_cast<double>(height)};
    ResampleOptions options;
    options.convert = convert;
    if (!Resample(source, from, target.mutable_buffer(), to, options)) return false;
  }
  if (!TurnUpright(bitmap.get(), orientation)) return false;
  *copy = std::move(bitmap);
  return true;
}

}  // namespace

CopySize PreviewCopySize(uint32_t uprightWidth, uint32_t uprightHeight, float height,
                         float maxWidth) {
  CopySize size;
  if (uprightWidth == 0 || uprightHeight == 0) return size;
  const float aspect = static_cast<float>(static_cast<double>(uprightWidth) /
                                          static_cast<double>(uprightHeight));
  float h = static_cast<float>(static_cast<int>(height));
  float w = aspect * h;
  if (w > maxWidth) {
    h = h * (maxWidth / w);
    w = maxWidth;
  }
  size.width = w < 1.0f ? 1 : static_cast<int32_t>(w);
  size.height = h < 1.0f ? 1 : static_cast<int32_t>(h);
  return size;
}

bool PreviewCopyFromFrame(IWICImagingFactory* factory, IWICBitmapSource* frame, int orientation,
                          float height, float maxWidth, GpGraphics* screen, fw::GpBitmapOwner* copy,
                          const SrgbConversion* toSrgb) {
  copy->reset();
  UINT w = 0, h = 0;
  if (!frame || FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0) return false;
  const bool swaps = OrientationSwapsAxes(orientation);
  const CopySize upright = PreviewCopySize(swaps ? h : w, swaps ? w : h, height, maxWidth);
  // The copy is made in the stored orientation, then turned.
  const int32_t storedWidth = swaps ? upright.height : upright.width;
  const int32_t storedHeight = swaps ? upright.width : upright.height;
  DecodedPixels pixels;
  if (!DecodeReduced(frame, static_cast<UINT>(storedWidth), static_cast<UINT>(storedHeight),
                     &pixels) &&
      !DecodeWhole(factory, frame, &pixels)) {
    return false;
  }
  return CopyInto(pixels.buffer, storedWidth, storedHeight, orientation, screen, copy,
                  toSrgb && *toSrgb ? toSrgb : nullptr);
}

bool MakePreviewCopy(const wchar_t* path, const PictureHeader& header, float height, float maxWidth,
                     GpGraphics* screen, fw::GpBitmapOwner* copy) {
  copy->reset();
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IWICBitmapDecoder> decoder;
  fw::ComPtr<IWICBitmapFrameDecode> frame;
  UINT w = 0, h = 0;
  if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                 IID_IWICImagingFactory, factory.put_void())) &&
      SUCCEEDED(factory->CreateDecoderFromFilename(
          path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, decoder.put())) &&
      SUCCEEDED(decoder->GetFrame(0, frame.put())) && SUCCEEDED(frame->GetSize(&w, &h))) {
    // A decoder may have carried out a turn the format keeps inside the picture.
    const int orientation = OrientationLeftAfterDecode(
        header, w, h,
        OrientationInsideThePicture(header.format) ? FrameOrientation(frame.get(), true) : 0);
    const SrgbConversion toSrgb = SrgbConversion::ForPicture(path, frame.get());
    if (PreviewCopyFromFrame(factory.get(), frame.get(), orientation, height, maxWidth, screen,
                             copy, &toSrgb)) {
      return true;
    }
  }
  frame.reset();
  decoder.reset();
  // What the codecs do not read (metafiles, or a layout they refuse) goes through the
  // library's own loader, which also turns the picture upright.
  fw::GpImageOwner picture = LoadPicture(path, false);
  if (!picture) return false;
  LockedPixels source;
  if (!source.LockForReading(picture.get())) return false;
  const CopySize size = PreviewCopySize(static_cast<uint32_t>(source.buffer().width),
                                        static_cast<uint32_t>(source.buffer().height), height,
                                        maxWidth);
  const SrgbConversion toSrgb = SrgbConversion::ForPicture(path);
  return CopyInto(source.buffer(), size.width, size.height, 1, screen, copy,
                  toSrgb ? &toSrgb : nullptr);
}

}  // namespace framewise
