// A PNG's embedded profile is compressed (zlib) in its iCCP chunk, and only the platform's
// decoder inflates it. Decoding the picture itself to get at it would cost a second full
// decode; instead the compressed profile is put into a PNG of one pixel, whose decode costs
// nothing. No Windows header here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framewise {

// The CRC-32 of PNG chunks (ISO 3309, as zlib computes it), continued from `crc`.
uint32_t PngCrc(const uint8_t* data, size_t size, uint32_t crc = 0);

// A complete 1 x 1 8-bit RGB PNG whose iCCP chunk carries `compressed` (a zlib stream, as
// ReadEmbeddedProfile gives a PNG's profile). Empty when the stream is empty or larger than
// a chunk can hold.
std::vector<uint8_t> PngCarryingProfile(const uint8_t* compressed, size_t size);

}  // namespace framewise
