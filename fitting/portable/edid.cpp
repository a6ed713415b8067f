#include "fitting/portable/edid.h"

namespace framewise {

namespace {

constexpr uint8_t kHeader[8] = {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00};
constexpr size_t kDescriptorSize = 18;
constexpr uint8_t kCtaExtensionTag = 0x02;

bool ChecksumOk(const uint8_t* block) {
  uint32_t sum = 0;
  for (size_t i = 0; i < kEdidBlockSize; ++i) sum += block[i];
  return (sum & 0xFF) == 0;
}

// A detailed timing has a non-zero pixel clock; display descriptors start with 0000.
bool IsDetailedTiming(const uint8_t* d) { return d[0] != 0 || d[1] != 0; }

void ReadDetailedTiming(const uint8_t* d, EdidInfo* info) {
  info->hasDetailedTiming = true;
  info->nativeWidth = d[2] | ((d[4] & 0xF0u) << 4);
  info->nativeHeight = d[5] | ((d[7] & 0xF0u) << 4);
  // An interlaced timing counts the lines of one field.
  if (d[17] & 0x80) info->nativeHeight *= 2;
  info->imageWidthMm = d[12] | ((d[14] & 0xF0u) << 4);
  info->imageHeightMm = d[13] | ((d[14] & 0x0Fu) << 8);
}

// The first detailed timing of a CTA-861 extension: its descriptors start at the offset
// in byte 2, after the data blocks.
void FindCtaTiming(const uint8_t* block, EdidInfo* info) {
  if (block[0] != kCtaExtensionTag) return;
  const size_t start = block[2];
  if (start < 4 || start + kDescriptorSize > kEdidBlockSize - 1) return;
  if (IsDetailedTiming(block + start)) ReadDetailedTiming(block + start, info);
}

}  // namespace

bool ParseEdid(const uint8_t* data, size_t size, EdidInfo* out) {
  *out = EdidInfo();
  if (!data || size < kEdidBlockSize) return false;
  for (size_t i = 0; i < sizeof(kHeader); ++i) {
    if (data[i] != kHeader[i]) return false;
  }
  if (!ChecksumOk(data) || data[18] != 1) return false;

  EdidInfo info;
  const uint32_t id = (static_cast<uint32_t>(data[8]) << 8) | data[9];
  for (int i = 0; i < 3; ++i) {
    info.manufacturer[i] = static_cast<char>('@' + ((id >> (10 - 5 * i)) & 0x1F));
  }
  info.productCode = static_cast<uint16_t>(data[10] | (data[11] << 8));
  info.version = data[18];
  info.revision = data[19];

  const uint8_t h = data[21];
  const uint8_t v = data[22];
  if (h != 0 && v != 0) {
    info.screenWidthCm = h;
    info.screenHeightCm = v;
  } else if (info.revision >= 4 && h != 0) {
    info.screenAspect = (h + 99) / 100.0;  // landscape
  } else if (info.revision >= 4 && v != 0) {
    info.screenAspect = 100.0 / (v + 99);  // portrait
  }

  for (size_t at = 54; at < 126; at += kDescriptorSize) {
    if (IsDetailedTiming(data + at)) {
      ReadDetailedTiming(data + at, &info);
      break;
    }
  }

  info.extensionCount = data[126];
  const size_t limit = size < kEdidMaxSize ? size : kEdidMaxSize;
  const size_t whole = limit / kEdidBlockSize - 1;
  const size_t present = info.extensionCount < whole ? info.extensionCount : whole;
  info.extensionsPresent = static_cast<uint8_t>(present);
  for (size_t i = 1; i <= present && !info.hasDetailedTiming; ++i) {
    const uint8_t* block = data + i * kEdidBlockSize;
    if (ChecksumOk(block)) FindCtaTiming(block, &info);
  }

  *out = info;
  return true;
}

}  // namespace framewise
