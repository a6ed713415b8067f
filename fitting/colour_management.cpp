#include "fitting/colour_management.h"

#include <shlwapi.h>

#include <cstring>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "fitting/portable/colour_profile.h"
#include "fitting/portable/png_profile.h"
#include "framework/com_ptr.h"

namespace framewise {

namespace {

// LCS_sRGB ('sRGB'), spelled as a number: the header's multi-character constant draws a
// warning from some compilers.
constexpr LCSCSTYPE kLcsSrgb = 0x73524742;

// Pixels go through the colour engine in pieces of a row, through memory of our own: the
// engine then never depends on row strides (Wine's ignores them) nor on what it does with
// the fourth byte of a pixel.
constexpr int32_t kPiecePixels = 4096;

// The most colour contexts asked of a frame; pictures carry one.
constexpr UINT kMaxColourContexts = 4;

// A PNG's profile, inflated by the platform's decoder, as its frame's colour context.
bool ProfileFromFrame(IWICBitmapFrameDecode* frame, std::vector<uint8_t>* profile) {
  fw::ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void()))) {
    return false;
  }
  UINT count = 0;
  if (FAILED(frame->GetColorContexts(0, nullptr, &count)) || count == 0) return false;
  if (count > kMaxColourContexts) count = kMaxColourContexts;
  fw::ComPtr<IWICColorContext> contexts[kMaxColourContexts];
  IWICColorContext* raw[kMaxColourContexts] = {};
  for (UINT i = 0; i < count; ++i) {
    if (FAILED(factory->CreateColorContext(contexts[i].put()))) return false;
    raw[i] = contexts[i].get();
  }
  UINT filled = 0;
  if (FAILED(frame->GetColorContexts(count, raw, &filled))) return false;
  for (UINT i = 0; i < filled && i < count; ++i) {
    WICColorContextType type = WICColorContextUninitialized;
    UINT size = 0;
    if (FAILED(raw[i]->GetType(&type)) || type != WICColorContextProfile ||
        FAILED(raw[i]->GetProfileBytes(0, nullptr, &size)) || size == 0 ||
        size > kMaxProfileBytes) {
      continue;
    }
    profile->assign(size, 0);
    UINT got = 0;
    if (SUCCEEDED(raw[i]->GetProfileBytes(size, profile->data(), &got)) && got == size) {
      return true;
    }
  }
  profile->clear();
  return false;
}

// A PNG's profile, from `frame` when the caller decoded the picture already, else from a
// picture of one pixel that carries the same compressed profile: decoding the picture
// itself again would cost as much as its first decode.
bool ProfileFromDecoder(IWICBitmapFrameDecode* frame, std::vector<uint8_t>* profile) {
  if (frame) return ProfileFromFrame(frame, profile);
  const std::vector<uint8_t> png = PngCarryingProfile(profile->data(), profile->size());
  profile->clear();
  if (png.empty() || png.size() > 0xFFFFFFFFu) return false;
  fw::ComPtr<IStream> stream;
  stream =
      fw::ComPtr<IStream>::Attach(SHCreateMemStream(png.data(), static_cast<UINT>(png.size())));
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IWICBitmapDecoder> decoder;
  fw::ComPtr<IWICBitmapFrameDecode> first;
  return stream &&
         SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, factory.put_void())) &&
         SUCCEEDED(factory->CreateDecoderFromStream(stream.get(), &GUID_ContainerFormatPng,
                                                    WICDecodeMetadataCacheOnDemand,
                                                    decoder.put())) &&
         SUCCEEDED(decoder->GetFrame(0, first.put())) && ProfileFromFrame(first.get(), profile);
}

// The profile that describes a picture file's colours; false when it has none to use.
bool SourceProfile(const wchar_t* path, IWICBitmapFrameDecode* frame,
                   std::vector<uint8_t>* profile) {
  FileByteSource source(path);
  EmbeddedColourInfo info;
  if (!source.is_open() || !ReadEmbeddedProfile(source, profile, &info)) return false;
  switch (info.kind) {
    case EmbeddedColour::IccProfile: return true;
    case EmbeddedColour::CompressedIcc: return ProfileFromDecoder(frame, profile);
    case EmbeddedColour::Nclx: return ProfileForNclx(info.nclx, profile) == NclxHandling::Profile;
    case EmbeddedColour::None: break;
  }
  return false;
}

HPROFILE OpenProfile(PROFILE* where) {
  return OpenColorProfileW(where, PROFILE_READ, FILE_SHARE_READ, OPEN_EXISTING);
}

// Straight 8-bit colour from premultiplied, rounded; alpha 0 carries no colour.
uint8_t Unpremultiply(uint8_t c, uint8_t a) {
  if (a == 0) return 0;
  const unsigned v = (static_cast<unsigned>(c) * 255 + a / 2) / a;
  return static_cast<uint8_t>(v > 255 ? 255 : v);
}

uint8_t Premultiply(uint8_t c, uint8_t a) {
  return static_cast<uint8_t>((static_cast<unsigned>(c) * a + 127) / 255);
}

// A bitmap's pixels locked in a chosen layout (24-bit RGB or 32-bit ARGB) while it lives.
class BitsLock {
 public:
  BitsLock(GpBitmap* bitmap, UINT mode, Gdiplus::PixelFormat format) {
    UINT width = 0, height = 0;
    if (!GetPictureSize(bitmap, &width, &height) || width == 0 || height == 0) return;
    const Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    if (!Ok(gp::GdipBitmapLockBits(bitmap, &all, mode, format, &data_)) || !data_.Scan0) return;
    bitmap_ = bitmap;
    buffer_ = PixelBuffer{static_cast<uint8_t*>(data_.Scan0), static_cast<int32_t>(data_.Width),
                          static_cast<int32_t>(data_.Height), data_.Stride,
                          format == PixelFormat24bppRGB ? 3 : 4};
  }
  ~BitsLock() {
    if (bitmap_) gp::GdipBitmapUnlockBits(bitmap_, &data_);
  }
  BitsLock(const BitsLock&) = delete;
  BitsLock& operator=(const BitsLock&) = delete;
  bool locked() const { return bitmap_ != nullptr; }
  PixelBuffer* buffer() { return &buffer_; }

 private:
  GpBitmap* bitmap_ = nullptr;
  Gdiplus::BitmapData data_ = {};
  PixelBuffer buffer_;
};

}  // namespace

SrgbConversion::~SrgbConversion() { Close(); }

SrgbConversion::SrgbConversion(SrgbConversion&& other) noexcept { *this = std::move(other); }

SrgbConversion& SrgbConversion::operator=(SrgbConversion&& other) noexcept {
  if (this != &other) {
    Close();
    std::swap(source_, other.source_);
    std::swap(srgb_, other.srgb_);
    std::swap(transform_, other.transform_);
  }
  return *this;
}

void SrgbConversion::Close() {
  if (transform_) DeleteColorTransform(transform_);
  if (source_) CloseColorProfile(source_);
  if (srgb_) CloseColorProfile(srgb_);
  transform_ = nullptr;
  source_ = srgb_ = nullptr;
}

SrgbConversion SrgbConversion::ForPicture(const wchar_t* path, IWICBitmapFrameDecode* frame) {
  std::vector<uint8_t> profile;
  if (!path || !SourceProfile(path, frame, &profile)) return SrgbConversion();
  return FromProfile(profile.data(), profile.size());
}

SrgbConversion SrgbConversion::FromProfile(const uint8_t* profile, size_t size) {
  SrgbConversion c;
  if (!profile || size > kMaxProfileBytes || !IsPlausibleIccProfile(profile, size) ||
      IsSrgbProfile(profile, size)) {
    return c;
  }
  wchar_t srgbPath[MAX_PATH] = {};
  DWORD bytes = sizeof(srgbPath);
  if (!GetStandardColorSpaceProfileW(nullptr, kLcsSrgb, srgbPath, &bytes)) return c;
  PROFILE embedded = {PROFILE_MEMBUFFER, const_cast<uint8_t*>(profile), static_cast<DWORD>(size)};
  PROFILE standard = {PROFILE_FILENAME, srgbPath,
                      static_cast<DWORD>((wcslen(srgbPath) + 1) * sizeof(wchar_t))};
  c.source_ = OpenProfile(&embedded);
  c.srgb_ = OpenProfile(&standard);
  if (!c.source_ || !c.srgb_) {
    c.Close();
    return c;
  }
  HPROFILE chain[2] = {c.source_, c.srgb_};
  DWORD intents[2] = {INTENT_PERCEPTUAL, INTENT_PERCEPTUAL};
  c.transform_ = CreateMultiProfileTransform(chain, 2, intents, 2, BEST_MODE, INDEX_DONT_CARE);
  // One pixel through it first: an engine that takes a profile and then cannot convert
  // with it is found here, before any picture is touched.
  uint8_t probe[3] = {0x40, 0x80, 0xC0};
  if (!c.transform_ || !TranslateBitmapBits(c.transform_, probe, BM_RGBTRIPLETS, 1, 1, 3, probe,
                                            BM_RGBTRIPLETS, 3, nullptr, 0)) {
    c.Close();
  }
  return c;
}

bool SrgbConversion::Convert(PixelBuffer* pixels, bool premultiplied) const {
  if (!transform_ || !pixels || !pixels->pixels || pixels->width <= 0 || pixels->height <= 0 ||
      (pixels->channels != 3 && pixels->channels != 4)) {
    return false;
  }
  const int32_t channels = pixels->channels;
  // BM_RGBTRIPLETS and BM_xRGBQUADS are blue, green, red (and one more byte) in memory,
  // as Windows' bitmaps store them; Wine's mscms reads them so too.
  const BMFORMAT format = channels == 3 ? BM_RGBTRIPLETS : BM_xRGBQUADS;
  std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kPiecePixels * 4]);
  if (!piece) return false;
  for (int32_t y = 0; y < pixels->height; ++y) {
    uint8_t* row = pixels->pixels + pixels->stride * y;
    for (int32_t x = 0; x < pixels->width; x += kPiecePixels) {
      const int32_t n = pixels->width - x < kPiecePixels ? pixels->width - x : kPiecePixels;
      uint8_t* at = row + static_cast<size_t>(x) * channels;
      const size_t bytes = static_cast<size_t>(n) * channels;
      if (channels == 3 || !premultiplied) {
        std::memcpy(piece.get(), at, bytes);
      } else {
        for (size_t i = 0; i < bytes; i += 4) {
          const uint8_t a = at[i + 3];
          for (int k = 0; k < 3; ++k) piece[i + k] = Unpremultiply(at[i + k], a);
          piece[i + 3] = a;
        }
      }
      if (!TranslateBitmapBits(transform_, piece.get(), format, static_cast<DWORD>(n), 1,
                               static_cast<DWORD>(bytes), piece.get(), format,
                               static_cast<DWORD>(bytes), nullptr, 0)) {
        return false;
      }
      if (channels == 3) {
        std::memcpy(at, piece.get(), bytes);
        continue;
      }
      for (size_t i = 0; i < bytes; i += 4) {  // colour back, alpha as it was
        const uint8_t a = at[i + 3];
        for (int k = 0; k < 3; ++k)
          at[i + k] = premultiplied ? Premultiply(piece[i + k], a) : piece[i + k];
      }
    }
  }
  return true;
}

void ConvertPictureToSrgb(const wchar_t* path, fw::GpImageOwner* picture) {
  if (!picture || !*picture) return;
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  Gdiplus::PixelFormat format = 0;
  if (!Ok(gp::GdipGetImageType(picture->get(), &type)) || type != Gdiplus::ImageTypeBitmap ||
      !Ok(gp::GdipGetImagePixelFormat(picture->get(), &format))) {
    return;
  }
  const SrgbConversion conversion = SrgbConversion::ForPicture(path);
  if (!conversion) return;
  // The layouts the resampler reads the picture in: 24-bit where it is opaque, straight
  // 32-bit ARGB (colour unpremultiplied for the engine) where it may be transparent.
  const bool transparency =
      (format & (PixelFormatAlpha | PixelFormatPAlpha | PixelFormatIndexed)) != 0;
  const Gdiplus::PixelFormat layout = transparency ? PixelFormat32bppARGB : PixelFormat24bppRGB;
  GpBitmap* bitmap = static_cast<GpBitmap*>(picture->get());
  if (format == layout) {
    BitsLock pixels(bitmap, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite, layout);
    if (pixels.locked()) conversion.Convert(pixels.buffer(), false);
    return;
  }
  // Other layouts (a palette, 16 bits a channel...) are converted in a copy.
  UINT width = 0, height = 0;
  if (!GetPictureSize(bitmap, &width, &height) || width == 0 || height == 0) return;
  fw::GpBitmapOwner copy;
  if (!Ok(gp::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                        layout, nullptr, copy.put()))) {
    return;
  }
  {
    BitsLock from(bitmap, Gdiplus::ImageLockModeRead, layout);
    BitsLock to(copy.get(), Gdiplus::ImageLockModeWrite, layout);
    if (!from.locked() || !to.locked()) return;
    const PixelBuffer& s = *from.buffer();
    PixelBuffer* t = to.buffer();
    const size_t rowBytes = static_cast<size_t>(s.width) * static_cast<size_t>(s.channels);
    for (int32_t y = 0; y < s.height; ++y) {
      std::memcpy(t->pixels + t->stride * y, s.pixels + s.stride * y, rowBytes);
    }
    if (!conversion.Convert(t, false)) return;
  }
  Gdiplus::REAL dpiX = 0, dpiY = 0;
  if (Ok(gp::GdipGetImageHorizontalResolution(bitmap, &dpiX)) &&
      Ok(gp::GdipGetImageVerticalResolution(bitmap, &dpiY))) {
    gp::GdipBitmapSetResolution(copy.get(), dpiX, dpiY);
  }
  picture->reset(copy.release());
}

}  // namespace framewise
