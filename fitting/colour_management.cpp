#include "fitting/colour_management.h"

#include <shlwapi.h>

#include <cstring>
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

// 32-bit pixels go through the engine in pieces of a row, in memory of our own.
constexpr int32_t kPiecePixels = 1024;

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

bool SrgbConversion::ConvertPieces(uint8_t* row, int32_t count, int32_t channels,
                                   bool premultiplied) const {
  // One row at a time (Wine's engine ignores strides, so no call spans two rows). 24-bit
  // pixels go to the engine where they are; 32-bit ones through memory of our own, so the
  // fourth byte (alpha) is never the engine's to write, and premultiplied colour is made
  // straight first.
  if (channels == 3) {
    const DWORD bytes = static_cast<DWORD>(count) * 3;
    return TranslateBitmapBits(transform_, row, BM_RGBTRIPLETS, static_cast<DWORD>(count), 1,
                               bytes, row, BM_RGBTRIPLETS, bytes, nullptr, 0) != FALSE;
  }
  uint8_t piece[kPiecePixels * 4];
  for (int32_t x = 0; x < count; x += kPiecePixels) {
    const int32_t n = count - x < kPiecePixels ? count - x : kPiecePixels;
    uint8_t* at = row + static_cast<size_t>(x) * 4;
    for (int32_t i = 0; i < n * 4; i += 4) {
      for (int k = 0; k < 3; ++k) {
        piece[i + k] = premultiplied ? Unpremultiply(at[i + k], at[i + 3]) : at[i + k];
      }
      piece[i + 3] = at[i + 3];
    }
    const DWORD bytes = static_cast<DWORD>(n) * 4;
    if (!TranslateBitmapBits(transform_, piece, BM_xRGBQUADS, static_cast<DWORD>(n), 1, bytes,
                             piece, BM_xRGBQUADS, bytes, nullptr, 0)) {
      return false;
    }
    for (int32_t i = 0; i < n * 4; i += 4) {  // colour back, alpha as it was
      for (int k = 0; k < 3; ++k) {
        at[i + k] = premultiplied ? Premultiply(piece[i + k], at[i + 3]) : piece[i + k];
      }
    }
  }
  return true;
}

bool SrgbConversion::Convert(PixelBuffer* pixels, bool premultiplied) const {
  if (!transform_ || !pixels || !pixels->pixels || pixels->width <= 0 || pixels->height <= 0 ||
      (pixels->channels != 3 && pixels->channels != 4)) {
    return false;
  }
  for (int32_t y = 0; y < pixels->height; ++y) {
    if (!ConvertPieces(pixels->pixels + pixels->stride * y, pixels->width, pixels->channels,
                       premultiplied)) {
      return false;
    }
  }
  return true;
}

void SrgbConversion::ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const {
  if (transform_ && pixels && count > 0 && (channels == 3 || channels == 4)) {
    ConvertPieces(pixels, count, channels, channels == 4);
  }
}

}  // namespace framewise
