// Fuzz target: pictures and their profiles come from anywhere, so any bytes must go through
// the colour description reader and the profile checks without faults or unbounded work;
// what the reader returns stays within its cap and agrees with its kind, what the sRGB check
// accepts is plausible, and every profile the builder makes is plausible.
#include "fitting/portable/colour_profile.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

extern const std::vector<std::string> kFuzzDictionary;
const std::vector<std::string> kFuzzDictionary = {
    // JPEG: SOI, SOS, EOI, APP2 profile chunks (sequence, count), other segments.
    "\xFF\xD8"s,
    "\xFF\xDA"s,
    "\xFF\xD9"s,
    "\xFF\xE2"s,
    "\xFF\xE2\x00\x20"s,
    "ICC_PROFILE\0"s,
    "ICC_PROFILE\0\x01\x01"s,
    "ICC_PROFILE\0\x01\x02"s,
    "ICC_PROFILE\0\x02\x02"s,
    "ICC_PROFILE\0\x00\x01"s,
    "\xFF\xE0\x00\x10JFIF\0"s,
    "\xFF\xFF"s,
    "\xFF\xD0"s,
    // TIFF: headers, an entry count, profile entries in both byte orders.
    "II*\0\x08\0\0\0"s,
    "MM\0*\0\0\0\x08"s,
    "\x01\0"s,
    "\0\x01"s,
    "\x73\x87\x07\0\x80\0\0\0\x1A\0\0\0"s,
    "\x87\x73\0\x07\0\0\0\x80\0\0\0\x1A"s,
    "\x73\x87\x01\0\xFF\xFF\xFF\xFF\x08\0\0\0"s,
    // PNG: signature, chunk types, a name and compression method.
    "\x89PNG\r\n\x1A\n"s,
    "IHDR"s,
    "iCCP"s,
    "IDAT"s,
    "IEND"s,
    "ICC\0\0"s,
    "\0\0\0\x20"s,
    // WebP: RIFF header and chunks.
    "RIFF"s,
    "WEBP"s,
    "VP8X\x0A\0\0\0"s,
    "VP8 "s,
    "ICCP"s,
    "\x20\0\0\0"s,
    // ISO-BMFF: box types, sizes, colour kinds.
    "ftyp"s,
    "avif"s,
    "heic"s,
    "meta"s,
    "pitm"s,
    "iprp"s,
    "ipco"s,
    "ipma"s,
    "colr"s,
    "prof"s,
    "rICC"s,
    "nclx"s,
    "\0\0\0\x01"s,
    "\0\0\0\0"s,
    "\0\0\0\x10"s,
    "\x01\0\0\x01"s,
    "\x02\x01\x82"s,
    "\0\x0C\0\x0D\0\x01\x80"s,
    // ICC: header fields, tag signatures and types.
    "acsp"s,
    "mntr"s,
    "scnr"s,
    "RGB "s,
    "XYZ "s,
    "Lab "s,
    "\x02\x40\0\0"s,
    "\x04\x30\0\0"s,
    "rXYZ"s,
    "gXYZ"s,
    "bXYZ"s,
    "rTRC"s,
    "gTRC"s,
    "bTRC"s,
    "A2B0"s,
    "curv"s,
    "para"s,
    "\0\x03\0\0"s,
    "\0\x02\x66\x66"s,
    "\0\0\xF3\x52"s,
    "\0\0\x6F\xA2"s,
};

namespace {

// Counts reads, so endless walks show up as failures.
class CountingSource final : public framewise::ByteSource {
 public:
  explicit CountingSource(const std::string& bytes) : memory_(bytes.data(), bytes.size()) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (++reads > 50000) std::abort();
    return memory_.ReadAt(offset, buffer, size);
  }
  int reads = 0;

 private:
  framewise::MemoryByteSource memory_;
};

void CheckProfile(const uint8_t* data, size_t size) {
  const bool plausible = framewise::IsPlausibleIccProfile(data, size);
  if (framewise::IsSrgbProfile(data, size) && !plausible) std::abort();
}

void CheckFile(const std::string& bytes) {
  CountingSource source(bytes);
  std::vector<uint8_t> profile = {1, 2, 3};
  framewise::EmbeddedColourInfo info;
  const bool found = framewise::ReadEmbeddedProfile(source, &profile, &info);
  if (profile.size() > framewise::kMaxProfileBytes) std::abort();
  if (!found) {
    if (!profile.empty() || info.kind != framewise::EmbeddedColour::None) std::abort();
    return;
  }
  if (info.kind == framewise::EmbeddedColour::None) std::abort();
  // Only a coded description comes without bytes.
  if ((info.kind == framewise::EmbeddedColour::Nclx) != profile.empty()) std::abort();
  if (info.kind == framewise::EmbeddedColour::Nclx && !info.hasNclx) std::abort();
  CheckProfile(profile.data(), profile.size());
}

void PutBe32(std::string* s, uint32_t v) {
  for (int i = 3; i >= 0; --i) s->push_back(static_cast<char>(v >> (8 * i)));
}

// The input as a profile's tag table and data, behind a sound RGB display header.
std::string AsProfile(const std::string& input) {
  std::string p(128, '\0');
  const uint32_t size = static_cast<uint32_t>(128 + input.size());
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>(size >> (24 - 8 * i));
  std::memcpy(&p[8], "\x04\x30\0\0mntrRGB XYZ ", 16);
  std::memcpy(&p[36], "acsp", 4);
  return p + input;
}

// The input as the only profile chunk of a JPEG, and as the profile property of a HEIF item.
std::string AsJpeg(const std::string& input) {
  const std::string body = input.substr(0, 0xFFFF - 16);
  std::string j = "\xFF\xD8\xFF\xE2"s;
  j.push_back(static_cast<char>((body.size() + 16) >> 8));
  j.push_back(static_cast<char>(body.size() + 16));
  return j + "ICC_PROFILE\0\x01\x01"s + body + "\xFF\xD9"s;
}

std::string Box(const std::string& type, const std::string& payload) {
  std::string b;
  PutBe32(&b, static_cast<uint32_t>(8 + payload.size()));
  return b + type + payload;
}

std::string AsHeif(const std::string& input) {
  const std::string ipco = Box("ipco", Box("colr", "prof"s + input));
  const std::string ipma = Box("ipma", "\0\0\0\0\0\0\0\x01\0\x01\x01\x81"s);
  const std::string meta =
      Box("meta", "\0\0\0\0"s + Box("pitm", "\0\0\0\0\0\x01"s) + Box("iprp", ipco + ipma));
  return Box("ftyp", "avif\0\0\0\0"s) + meta;
}

double Number(const uint8_t* data, size_t size, size_t at) {
  if (at + 2 > size) return 0.5;
  return (data[at] << 8 | data[at + 1]) / 32768.0 - 0.5;  // -0.5..1.5
}

// Primaries, white and curve parameters taken from the input; whatever is built must be
// plausible.
void CheckBuilder(const uint8_t* data, size_t size) {
  framewise::RgbPrimaries p;
  p.red = {Number(data, size, 0), Number(data, size, 2)};
  p.green = {Number(data, size, 4), Number(data, size, 6)};
  p.blue = {Number(data, size, 8), Number(data, size, 10)};
  p.white = {Number(data, size, 12), Number(data, size, 14)};
  framewise::TransferCurve t;
  t.g = Number(data, size, 16) * 4;
  t.a = Number(data, size, 18) * 2;
  t.b = Number(data, size, 20);
  t.c = Number(data, size, 22) * 20;
  t.d = Number(data, size, 24);
  const std::vector<uint8_t> made = framewise::MakeRgbMatrixProfile(p, t, "fuzz");
  if (!made.empty() && !framewise::IsPlausibleIccProfile(made.data(), made.size())) std::abort();

  framewise::NclxColour nclx;
  nclx.primaries = size > 0 ? data[0] % 24 : 2;
  nclx.transfer = size > 1 ? data[1] % 24 : 2;
  std::vector<uint8_t> profile;
  const framewise::NclxHandling handling = framewise::ProfileForNclx(nclx, &profile);
  if ((handling == framewise::NclxHandling::Profile) != !profile.empty()) std::abort();
  if (!profile.empty() && !framewise::IsPlausibleIccProfile(profile.data(), profile.size())) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckFile(input);
  CheckProfile(data, size);
  const std::string profile = AsProfile(input);
  CheckProfile(reinterpret_cast<const uint8_t*>(profile.data()), profile.size());
  CheckFile(AsJpeg(input));
  CheckFile(AsJpeg(profile));
  CheckFile(AsHeif(input));
  CheckFile("II*\0\x08\0\0\0"s + input);
  CheckFile("MM\0*\0\0\0\x08"s + input);
  CheckFile("RIFF\xFF\xFF\0\0WEBPVP8X\x0A\0\0\0\x20\0\0\0\0\0\0\0\0\0"s + input);
  CheckBuilder(data, size);
  return 0;
}
