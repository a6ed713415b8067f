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

// A TIFF image file directory: 12-byte entries (tag, type, count, value or offset) after a
// 2-byte count, read a bounded batch at a time.
constexpr size_t kIfdEntrySize = 12;
constexpr size_t kIfdEntriesPerRead = 32;

// Calls `visit(entry)` for each entry of the IFD at `ifd` in file order until it returns
// true. A truncated or lying count ends the walk where the bytes end; only this one IFD is
// read, so looping IFD chains cannot matter.
template <typename Visit>
void ForEachIfdEntry(ByteSource& source, bool littleEndian, uint32_t ifd, Visit visit) {
  uint8_t countBytes[2];
  if (!ReadFully(source, ifd, countBytes, sizeof countBytes)) return;
  const uint32_t count = Get16(countBytes, littleEndian);
  uint8_t entries[kIfdEntriesPerRead * kIfdEntrySize];
  uint64_t at = static_cast<uint64_t>(ifd) + 2;
  for (uint32_t done = 0; done < count;) {
    const size_t wanted = std::min<size_t>(count - done, kIfdEntriesPerRead);
    const size_t got = ReadSome(source, at, entries, wanted * kIfdEntrySize) / kIfdEntrySize;
    for (size_t i = 0; i < got; ++i) {
      if (visit(entries + i * kIfdEntrySize)) return;
    }
    if (got < wanted) return;
    done += static_cast<uint32_t>(wanted);
    at += wanted * kIfdEntrySize;
  }
}

}  // namespace bytes
}  // namespace framewise
