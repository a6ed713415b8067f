#include "fitting/high_range.h"

#include <memory>
#include <new>

namespace framewise {

namespace {

// Samples read per band of rows, at most.
constexpr UINT64 kBandBytes = 4ull << 20;
// The largest picture made into a bitmap here, as for any other decoded picture.
constexpr UINT64 kMaxPixels = 128ull * 1024 * 1024;

struct Known {
  const GUID* format;
  HighRangeLayout layout;
};

const Known kFormats[] = {
    {&GUID_WICPixelFormat128bppRGBAFloat, {SampleType::Float32, 4, 3, 3, false, false}},
    {&GUID_WICPixelFormat128bppPRGBAFloat, {SampleType::Float32, 4, 3, 3, true, false}},
    {&GUID_WICPixelFormat128bppRGBFloat, {SampleType::Float32, 4, 3, -1, false, false}},
    {&GUID_WICPixelFormat96bppRGBFloat, {SampleType::Float32, 3, 3, -1, false, false}},
    {&GUID_WICPixelFormat32bppGrayFloat, {SampleType::Float32, 1, 1, -1, false, false}},
    {&GUID_WICPixelFormat64bppRGBAHalf, {SampleType::Half16, 4, 3, 3, false, false}},
    {&GUID_WICPixelFormat64bppPRGBAHalf, {SampleType::Half16, 4, 3, 3, true, false}},
    {&GUID_WICPixelFormat64bppRGBHalf, {SampleType::Half16, 4, 3, -1, false, false}},
    {&GUID_WICPixelFormat48bppRGBHalf, {SampleType::Half16, 3, 3, -1, false, false}},
    {&GUID_WICPixelFormat16bppGrayHalf, {SampleType::Half16, 1, 1, -1, false, false}},
    {&GUID_WICPixelFormat128bppRGBAFixedPoint, {SampleType::Fixed32, 4, 3, 3, false, false}},
    {&GUID_WICPixelFormat128bppRGBFixedPoint, {SampleType::Fixed32, 4, 3, -1, false, false}},
    {&GUID_WICPixelFormat96bppRGBFixedPoint, {SampleType::Fixed32, 3, 3, -1, false, false}},
    {&GUID_WICPixelFormat32bppGrayFixedPoint, {SampleType::Fixed32, 1, 1, -1, false, false}},
    {&GUID_WICPixelFormat64bppRGBAFixedPoint, {SampleType::Fixed16, 4, 3, 3, false, false}},
    {&GUID_WICPixelFormat64bppBGRAFixedPoint, {SampleType::Fixed16, 4, 3, 3, false, true}},
    {&GUID_WICPixelFormat64bppRGBFixedPoint, {SampleType::Fixed16, 4, 3, -1, false, false}},
    {&GUID_WICPixelFormat48bppRGBFixedPoint, {SampleType::Fixed16, 3, 3, -1, false, false}},
    {&GUID_WICPixelFormat48bppBGRFixedPoint, {SampleType::Fixed16, 3, 3, -1, false, true}},
    {&GUID_WICPixelFormat16bppGrayFixedPoint, {SampleType::Fixed16, 1, 1, -1, false, false}},
};

}  // namespace

bool HighRangeLayoutOf(const WICPixelFormatGUID& format, HighRangeLayout* layout) {
  for (const Known& known : kFormats) {
    if (IsEqualGUID(format, *known.format)) {
      *layout = known.layout;
      return true;
    }
  }
  return false;
}

bool CopyToneMapped(IWICBitmapSource* frame, PixelBuffer* target) {
  WICPixelFormatGUID format = {};
  HighRangeLayout layout;
  UINT width = 0, height = 0;
  if (!frame || !target || !target->pixels || target->channels != 4 ||
      FAILED(frame->GetPixelFormat(&format)) || !HighRangeLayoutOf(format, &layout) ||
      FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      static_cast<UINT64>(target->width) != width ||
      static_cast<UINT64>(target->height) != height) {
    return false;
  }
  const UINT64 rowBytes = static_cast<UINT64>(width) * HighRangeBytesPerPixel(layout);
  if (rowBytes == 0 || rowBytes > kBandBytes) return false;
  const UINT bandRows = static_cast<UINT>(kBandBytes / rowBytes);
  const UINT rows = bandRows < height ? bandRows : height;
  std::unique_ptr<uint8_t[]> band(new (std::nothrow) uint8_t[static_cast<size_t>(rowBytes * rows)]);
  if (!band) return false;
  for (UINT y = 0; y < height; y += rows) {
    const UINT n = height - y < rows ? height - y : rows;
    const WICRect rect = {0, static_cast<INT>(y), static_cast<INT>(width), static_cast<INT>(n)};
    if (FAILED(frame->CopyPixels(&rect, static_cast<UINT>(rowBytes),
                                 static_cast<UINT>(rowBytes * n), band.get()))) {
      return false;
    }
    for (UINT r = 0; r < n; ++r) {
      ToneMapRow(band.get() + rowBytes * r, layout, target->width,
                 target->pixels + target->stride * static_cast<int64_t>(y + r));
    }
  }
  return true;
}

fw::GpImageOwner ToneMappedPicture(IWICBitmapSource* frame) {
  fw::GpImageOwner none;
  WICPixelFormatGUID format = {};
  HighRangeLayout layout;
  UINT width = 0, height = 0;
  if (!frame || FAILED(frame->GetPixelFormat(&format)) || !HighRangeLayoutOf(format, &layout) ||
      FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > 0x7FFFFFFF / 4 || height > 0x7FFFFFFF ||
      static_cast<UINT64>(width) * height > kMaxPixels) {
    return none;
  }
  fw::GpBitmapOwner bitmap;
  LockedPixels pixels;
  if (!pixels.LockNew(width, height, &bitmap)) return none;
  const bool copied = CopyToneMapped(frame, pixels.mutable_buffer());
  pixels.Unlock();
  if (!copied) return none;
  return fw::GpImageOwner(bitmap.release());
}

}  // namespace framewise
