// Fuzz target: picture files come from anywhere, so any bytes must go through the header
// reader without faults or unbounded work, and what it accepts must be a usable header.
#include "fitting/portable/picture_header.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace std::string_literals;

extern const std::vector<std::string> kFuzzDictionary;
const std::vector<std::string> kFuzzDictionary = {
    // JPEG markers: SOI, EOI, SOS, frame headers, tables, restarts, fill bytes, APPn.
    "\xFF\xD8"s,
    "\xFF\xD9"s,
    "\xFF\xDA\x00\x08"s,
    "\xFF\xC0\x00\x0B\x08"s,
    "\xFF\xC2\x00\x0B"s,
    "\xFF\xC4\x00\x02"s,
    "\xFF\xC8"s,
    "\xFF\xCC"s,
    "\xFF\xD0"s,
    "\xFF\x01"s,
    "\xFF\xFF"s,
    "\xFF"s,
    "\xFF\xE0\x00\x10JFIF\x00"s,
    "\xFF\xE1"s,
    "\xFF\xE1\x00\x40"s,
    "\x00\x01"s,
    "\x00\x00"s,
    "Exif\0\0"s,
    // TIFF headers, IFD0 offsets and entry counts in both byte orders.
    "II*\0"s,
    "MM\0*"s,
    "\x08\0\0\0"s,
    "\0\0\0\x08"s,
    "\x01\0"s,
    "\0\x01"s,
    "\xFF\xFF"s,
    "\xF0\xFF\xFF\xFF"s,
    // Orientation, width and height entries, little then big endian.
    "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"s,
    "\x01\x12\0\x03\0\0\0\x01\0\x06\0\0"s,
    "\x12\x01\x04\0\x02\0\0\0\x09\0\0\0"s,
    "\x01\x12\0\x03\xFF\xFF\xFF\xFF\0\x00\0\0"s,
    "\0\x01\x03\0\x01\0\0\0\x80\x02\0\0"s,
    "\x01\0\0\x04\0\0\0\x01\0\0\x01\xE0"s,
    "\x01\x01\x04\0\x01\0\0\0\xE0\x01\0\0"s,
    // The other formats' headers.
    "\x89PNG\r\n\x1A\n"s,
    "\0\0\0\x0DIHDR"s,
    "GIF87a"s,
    "GIF89a"s,
    "BM"s,
    "\x0C\0\0\0"s,
    "\x28\0\0\0"s,
    "\0\0\0\x80"s,
    "\0\0\x01\0\x01\0"s,
    "\0\0\x01\0\0\0"s,
    // WebP: the RIFF header, chunk names and sizes, the VP8 start code, the VP8L signature,
    // a VP8X header with the EXIF flag and a canvas of 2^24 x 2^24.
    "RIFF"s,
    "WEBP"s,
    "VP8 "s,
    "VP8L"s,
    "VP8X"s,
    "EXIF"s,
    "ALPH"s,
    "ANIM"s,
    "\x0A\0\0\0"s,
    "\x9D\x01\x2A"s,
    "\x2F"s,
    "\x08\0\0\0\xFF\xFF\xFF\xFF\xFF\xFF"s,
    "\x7F\x02\0\x7F\x01\0"s,
    // Boxes: sizes (64-bit, to the end, tiny), the item boxes and properties, brands.
    "\0\0\0\x01"s,
    "\0\0\0\0"s,
    "\0\0\0\x08"s,
    "\0\0\0\x0C"s,
    "\0\0\0\x10"s,
    "\0\0\0\x14"s,
    "ftyp"s,
    "meta"s,
    "hdlr"s,
    "pitm"s,
    "iinf"s,
    "infe"s,
    "iprp"s,
    "ipco"s,
    "ipma"s,
    "ispe"s,
    "irot"s,
    "imir"s,
    "mdat"s,
    "heic"s,
    "mif1"s,
    "avif"s,
    "av01"s,
    "hvc1"s,
    "grid"s,
    "\0\0\0\x14ispe\0\0\0\0\0\0\x01\0\0\0\0\x80"s,
    "\0\0\0\x09irot\x01"s,
    "\0\0\0\x09imir\x01"s,
    "\0\0\0\x01\0\x01\x02\x81\x02"s,
    "\x01\0\0\x01"s,
    // JPEG XL: the codestream signature, the container's signature box and codestream boxes.
    "\xFF\x0A"s,
    "\0\0\0\x0CJXL \r\n\x87\n"s,
    "jxlc"s,
    "jxlp"s,
    "jxl "s,
    "\x80\0\0\0"s,
    // JPEG XR: the header and the width, height and spatial transform entries.
    "II\xBC\x01\x08\0\0\0"s,
    "\x80\xBC\x04\0\x01\0\0\0"s,
    "\x81\xBC\x03\0\x01\0\0\0"s,
    "\x02\xBC\x04\0\x01\0\0\0\x05\0\0\0"s,
    // TGA: a true-colour header, a mapped one's start and the footer's signature.
    "\0\0\x02\0\0\0\0\0\0\0\0\0\x10\0\x10\0\x18\0"s,
    "\0\x01\x09\0\0\0\x01\x18"s,
    "TRUEVISION-XFILE.\0"s,
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

void CheckOrientation(int orientation) {
  if (orientation < 1 || orientation > 8) std::abort();
}

void Check(const std::string& bytes) {
  CountingSource source(bytes);
  framewise::PictureHeader header;
  const bool read = framewise::ReadPictureHeader(source, &header);
  const int exif = framewise::ReadExifOrientation(source);
  CheckOrientation(exif);
  CheckOrientation(framewise::OrientationFromTiff(
      reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  if (!read) {
    if (header.format != framewise::PictureFormat::Unknown || header.width != 0) std::abort();
    return;
  }
  if (header.width == 0 || header.height == 0) std::abort();
  if (header.format == framewise::PictureFormat::Unknown) std::abort();
  CheckOrientation(header.orientation);
  // JPEG and TIFF carry an EXIF orientation, and both readers must agree on it; the newer
  // formats carry their own; the rest none.
  using F = framewise::PictureFormat;
  const F f = header.format;
  const bool exifCarrier = f == F::Jpeg || f == F::Tiff;
  const bool ownCarrier =
      f == F::Webp || f == F::Heif || f == F::Avif || f == F::JpegXl || f == F::JpegXr;
  // A TGA has no signature: only ReadTgaHeader, told so by the caller, reads one.
  if (f == F::Tga || static_cast<int>(f) > static_cast<int>(F::Tga)) std::abort();
  if (exifCarrier ? header.orientation != exif : !ownCarrier && header.orientation != 1) {
    std::abort();
  }
  uint32_t w = 0, h = 0;
  framewise::UprightSize(header, &w, &h);
  if (static_cast<uint64_t>(w) * h != static_cast<uint64_t>(header.width) * header.height) {
    std::abort();
  }
}

// The same bytes as a TGA file, which has no signature: a plausible header or nothing.
void CheckTga(const std::string& bytes) {
  CountingSource source(bytes);
  framewise::PictureHeader header;
  if (!framewise::ReadTgaHeader(source, &header)) {
    if (header.format != framewise::PictureFormat::Unknown || header.width != 0) std::abort();
    return;
  }
  if (header.format != framewise::PictureFormat::Tga || header.width == 0 || header.height == 0 ||
      header.orientation != 1 || source.reads > 1) {
    std::abort();
  }
}

// `body` as a box of `type`.
std::string Box(const char* type, const std::string& body) {
  const size_t size = body.size() + 8;
  std::string b = {static_cast<char>(size >> 24), static_cast<char>(size >> 16),
                   static_cast<char>(size >> 8), static_cast<char>(size)};
  return b + type + body;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  Check(input);
  // The same bytes as the inside of a JPEG's Exif block and after a TIFF header, so the
  // IFD reader sees them often even when the input does not start with a header.
  std::string exif = "\xFF\xD8\xFF\xE1"s;
  const size_t block = std::min<size_t>(size, 0xFFFF - 8);
  exif.push_back(static_cast<char>((block + 8) >> 8));
  exif.push_back(static_cast<char>(block + 8));
  exif += "Exif\0\0"s + input.substr(0, block) + "\xFF\xC0\x00\x0B\x08\x00\x02\x00\x03\x01"s;
  Check(exif);
  Check("II*\0\x08\0\0\0"s + input);
  Check("MM\0*\0\0\0\x08"s + input);
  CheckTga(input);
  // Behind each newer format's signature, so their readers see the bytes as their own:
  // a HEIF's boxes after its file type, its item boxes inside meta, its properties inside
  // ipco (with an association list for item 1), a JPEG XL container's boxes, a WebP's
  // chunks, a JPEG XR's IFD, a JPEG XL codestream.
  const std::string ftyp = Box("ftyp", "heic\0\0\0\0mif1heic"s);
  Check(ftyp + input);
  Check(ftyp + Box("meta", "\0\0\0\0"s + input));
  const std::string ipma = Box("ipma", "\0\0\0\0\0\0\0\x01\0\x01\x04\x81\x02\x03\x04"s);
  Check(ftyp + Box("meta", "\0\0\0\0"s + Box("pitm", "\0\0\0\0\0\x01"s) +
                               Box("iprp", Box("ipco", input) + ipma)));
  Check("\0\0\0\x0CJXL \r\n\x87\n"s + input);
  Check("RIFF\0\0\0\0WEBPVP8X\x0A\0\0\0\x08\0\0\0\x01\0\0\x01\0\0"s + input);
  Check("II\xBC\x01\x08\0\0\0"s + input);
  Check("\xFF\x0A"s + input);
  return 0;
}
