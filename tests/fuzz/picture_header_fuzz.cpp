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
    "\xFF\xD8"s, "\xFF\xD9"s, "\xFF\xDA\x00\x08"s, "\xFF\xC0\x00\x0B\x08"s, "\xFF\xC2\x00\x0B"s,
    "\xFF\xC4\x00\x02"s, "\xFF\xC8"s, "\xFF\xCC"s, "\xFF\xD0"s, "\xFF\x01"s, "\xFF\xFF"s, "\xFF"s,
    "\xFF\xE0\x00\x10JFIF\x00"s, "\xFF\xE1"s, "\xFF\xE1\x00\x40"s, "\x00\x01"s, "\x00\x00"s,
    "Exif\0\0"s,
    // TIFF headers, IFD0 offsets and entry counts in both byte orders.
    "II*\0"s, "MM\0*"s, "\x08\0\0\0"s, "\0\0\0\x08"s, "\x01\0"s, "\0\x01"s, "\xFF\xFF"s,
    "\xF0\xFF\xFF\xFF"s,
    // Orientation, width and height entries, little then big endian.
    "\x12\x01\x03\0\x01\0\0\0\x06\0\0\0"s, "\x01\x12\0\x03\0\0\0\x01\0\x06\0\0"s,
    "\x12\x01\x04\0\x02\0\0\0\x09\0\0\0"s, "\x01\x12\0\x03\xFF\xFF\xFF\xFF\0\x00\0\0"s,
    "\0\x01\x03\0\x01\0\0\0\x80\x02\0\0"s, "\x01\0\0\x04\0\0\0\x01\0\0\x01\xE0"s,
    "\x01\x01\x04\0\x01\0\0\0\xE0\x01\0\0"s,
    // The other formats' headers.
    "\x89PNG\r\n\x1A\n"s, "\0\0\0\x0DIHDR"s, "GIF87a"s, "GIF89a"s, "BM"s, "\x0C\0\0\0"s,
    "\x28\0\0\0"s, "\0\0\0\x80"s, "\0\0\x01\0\x01\0"s, "\0\0\x01\0\0\0"s,
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
  // Only JPEG and TIFF carry an orientation, and both readers must agree on it.
  const bool carries = header.format == framewise::PictureFormat::Jpeg ||
                       header.format == framewise::PictureFormat::Tiff;
  if (carries ? header.orientation != exif : header.orientation != 1) std::abort();
  uint32_t w = 0, h = 0;
  framewise::UprightSize(header, &w, &h);
  if (static_cast<uint64_t>(w) * h != static_cast<uint64_t>(header.width) * header.height) {
    std::abort();
  }
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
  return 0;
}
