// Reading numbers out of file bytes, shared by the readers of picture headers and embedded
// colour: fixed-width integers in either byte order, four-character codes, and bounded
// reads from a ByteSource. No Windows header here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "fitting/portable/picture_header.h"

namespace framewise {
namespace bytes {

inline uint16_t Get16(const uint8_t* p, bool littleEndian) {
  return littleEndian ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                      : static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t Get32(const uint8_t* p, bool littleEndian) {
  const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
  return littleEndian ? (b0 | (b1 << 8) | (b2 << 16) | (b3 << 24))
                      : ((b0 << 24) | (b1 << 16) | (b2 << 8) | b3);
}

// Big-endian, as ISO boxes store their 64-bit sizes.
inline uint64_t Get64(const uint8_t* p) {
  return (static_cast<uint64_t>(Get32(p, false)) << 32) | Get32(p + 4, false);
}

// A box or chunk name as the big-endian number its four bytes make.
constexpr uint32_t FourCc(const char (&name)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(name[3]));
}

// How many bytes were read, never more than asked even from a misbehaving source.
inline size_t ReadSome(ByteSource& source, uint64_t offset, void* buffer, size_t size) {
  return std::min(source.ReadAt(offset, buffer, size), size);
}

inline bool ReadFully(ByteSource& source, uint64_t offset, void* buffer, size_t size) {
  return ReadSome(source, offset, buffer, size) == size;
}

}  // namespace bytes
}  // namespace framewise
