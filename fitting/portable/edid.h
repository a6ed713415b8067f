// Reading a monitor's EDID: who made it, its native pixel size and the physical size it
// states. The blob comes from the monitor through the driver, so any bytes are possible.
// No Windows header here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace framewise {

constexpr size_t kEdidBlockSize = 128;
// A base block and at most 255 extensions; bytes past this are never read.
constexpr size_t kEdidMaxSize = kEdidBlockSize * 256;

struct EdidInfo {
  // Three-letter maker id, NUL-terminated. Each 5-bit code maps to '@' + code, so the
  // invalid codes 0 and 27..31 (which real monitors do send) read as '@' and '[' .. '_'.
  char manufacturer[4] = {};
  uint16_t productCode = 0;
  uint8_t version = 0;
  uint8_t revision = 0;
  // Extension blocks the base block announces, and how many of them were present whole.
  uint8_t extensionCount = 0;
  uint8_t extensionsPresent = 0;
  // Basic block bytes 21 and 22: the screen's size in cm, both 0 when either byte is 0.
  uint8_t screenWidthCm = 0;
  uint8_t screenHeightCm = 0;
  // From revision 4, one zero byte of the two encodes the aspect ratio instead of a size:
  // width / height, 0 when there is none.
  double screenAspect = 0;
  // First detailed timing descriptor, searched in the base block and then in the
  // CTA-861 extensions: whether there is one, its active pixels (a whole frame, also
  // for an interlaced timing) and its image size in mm (12 bits each, 0 for unknown).
  bool hasDetailedTiming = false;
  uint32_t nativeWidth = 0;
  uint32_t nativeHeight = 0;
  uint32_t imageWidthMm = 0;
  uint32_t imageHeightMm = 0;
};

// Reads `size` bytes of an EDID. False, with *out reset, unless there are at least 128
// bytes, the header is 00 FF FF FF FF FF FF 00, the base block's bytes sum to 0 mod 256
// and its version is 1. Extensions are read only when whole and with a valid checksum;
// a missing or broken extension is skipped, not an error.
bool ParseEdid(const uint8_t* data, size_t size, EdidInfo* out);

}  // namespace framewise
