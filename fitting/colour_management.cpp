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

// The table of converted colours: 2^18 slots (2 MB), found by a multiplicative hash.
constexpr int kTableBits = 18;
constexpr size_t kTableSlots = size_t{1} << kTableBits;
constexpr uint32_t kFilled = 0x01000000;  // marks a slot's key as a colour

uint32_t Slot(uint32_t key) { return (key * 2654435761u) >> (32 - kTableBits); }

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
  const fw::ComPtr<IStream> stream =
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
    keys_.swap(other.keys_);
    values_.swap(other.values_);
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
  try {
    std::vector<uint8_t> profile;
    if (!path || !SourceProfile(path, frame, &profile)) return SrgbConversion();
    return FromProfile(profile.data(), profile.size());
  } catch (...) {  // out of memory for the profile: the picture is drawn as it is
    return SrgbConversion();
  }
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

bool SrgbConversion::ConvertLine(uint8_t* row, int32_t count, int32_t channels,
                                 bool premultiplied) const {
  try {
    if (keys_.empty()) {
      keys_.assign(kTableSlots, 0);
      values_.assign(kTableSlots, 0);
    }
    batch_.resize(static_cast<size_t>(count) * 3);
    asked_.resize(static_cast<size_t>(count) * 3);
    batchAt_.resize(static_cast<size_t>(count));
  } catch (...) {  // out of memory: the row stays as it is
    return false;
  }
  const bool straighten = premultiplied && channels == 4;
  int32_t misses = 0;
  for (int32_t i = 0; i < count; ++i) {
    uint8_t* p = row + static_cast<size_t>(i) * channels;
    const uint8_t a = channels == 4 ? p[3] : 255;
    if (straighten && a == 0) continue;  // no colour to convert
    uint8_t c[3] = {p[0], p[1], p[2]};
    if (straighten && a != 255) {
      for (uint8_t& v : c) v = Unpremultiply(v, a);
    }
    const uint32_t key = kFilled | c[0] | (uint32_t{c[1]} << 8) | (uint32_t{c[2]} << 16);
    const uint32_t slot = Slot(key);
    if (keys_[slot] == key) {
      const uint32_t v = values_[slot];
      for (int k = 0; k < 3; ++k) {
        const uint8_t out = static_cast<uint8_t>(v >> (8 * k));
        p[k] = straighten ? Premultiply(out, a) : out;
      }
      continue;
    }
    std::memcpy(&batch_[static_cast<size_t>(misses) * 3], c, 3);
    batchAt_[misses++] = i;
  }
  if (misses == 0) return true;
  // The new colours as 24-bit pixels of one row: blue, green, red in memory.
  const DWORD bytes = static_cast<DWORD>(misses) * 3;
  std::memcpy(asked_.data(), batch_.data(), bytes);
  if (!TranslateBitmapBits(transform_, batch_.data(), BM_RGBTRIPLETS, static_cast<DWORD>(misses), 1,
                           bytes, batch_.data(), BM_RGBTRIPLETS, bytes, nullptr, 0)) {
    return false;
  }
  for (int32_t m = 0; m < misses; ++m) {
    const uint8_t* in = &asked_[static_cast<size_t>(m) * 3];
    const uint8_t* out = &batch_[static_cast<size_t>(m) * 3];
    const uint32_t key = kFilled | in[0] | (uint32_t{in[1]} << 8) | (uint32_t{in[2]} << 16);
    const uint32_t slot = Slot(key);
    keys_[slot] = key;
    values_[slot] = out[0] | (uint32_t{out[1]} << 8) | (uint32_t{out[2]} << 16);
    uint8_t* p = row + static_cast<size_t>(batchAt_[m]) * channels;
    const uint8_t a = channels == 4 ? p[3] : 255;
    for (int k = 0; k < 3; ++k) p[k] = straighten ? Premultiply(out[k], a) : out[k];
  }
  return true;
}

bool SrgbConversion::Convert(PixelBuffer* pixels, bool premultiplied) const {
  if (!transform_ || !pixels || !pixels->pixels || pixels->width <= 0 || pixels->height <= 0 ||
      (pixels->channels != 3 && pixels->channels != 4)) {
    return false;
  }
  for (int32_t y = 0; y < pixels->height; ++y) {
    if (!ConvertLine(pixels->pixels + pixels->stride * y, pixels->width, pixels->channels,
                     premultiplied)) {
      return false;
    }
  }
  return true;
}

void SrgbConversion::ConvertRow(uint8_t* pixels, int32_t count, int32_t channels) const {
  if (transform_ && pixels && count > 0 && (channels == 3 || channels == 4)) {
    ConvertLine(pixels, count, channels, channels == 4);
  }
}

}  // namespace framewise
