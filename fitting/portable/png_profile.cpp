#include "fitting/portable/png_profile.h"

#include <cstring>

namespace framewise {

namespace {

void Put32(std::vector<uint8_t>* out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<uint8_t>(v >> shift));
}

void Chunk(std::vector<uint8_t>* out, const char* type, const uint8_t* data, size_t size) {
  Put32(out, static_cast<uint32_t>(size));
  const size_t start = out->size();
  out->insert(out->end(), type, type + 4);
  if (size) out->insert(out->end(), data, data + size);
  Put32(out, PngCrc(out->data() + start, out->size() - start));
}

}  // namespace

uint32_t PngCrc(const uint8_t* data, size_t size, uint32_t crc) {
  crc = ~crc;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return ~crc;
}

std::vector<uint8_t> PngCarryingProfile(const uint8_t* compressed, size_t size) {
  std::vector<uint8_t> png;
  // A chunk's data is at most 2^31 - 1 bytes; the profile's name and method take 3.
  if (!compressed || size == 0 || size > 0x7FFFFFFFu - 3) return png;
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  // 1 x 1, 8 bits a sample, RGB, deflate, no filter choice, no interlace.
  static const uint8_t kHeader[13] = {0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0};
  // The one row (filter byte 0, then a black pixel), deflated.
  static const uint8_t kRow[12] = {0x78, 0x9C, 0x63, 0x60, 0x60, 0x60,
                                   0x00, 0x00, 0x00, 0x04, 0x00, 0x01};
  png.reserve(size + 80);
  png.insert(png.end(), kSignature, kSignature + sizeof kSignature);
  Chunk(&png, "IHDR", kHeader, sizeof kHeader);
  std::vector<uint8_t> profile = {'p', 0, 0};  // name "p", compression method 0
  profile.insert(profile.end(), compressed, compressed + size);
  Chunk(&png, "iCCP", profile.data(), profile.size());
  Chunk(&png, "IDAT", kRow, sizeof kRow);
  Chunk(&png, "IEND", nullptr, 0);
  return png;
}

}  // namespace framewise
