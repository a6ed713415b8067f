// The one-pixel PNG that carries a picture's compressed profile to the platform's decoder:
// chunk checksums as PNG defines them, and the chunks in the order a decoder reads them.
#include "fitting/portable/png_profile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fitting/portable/colour_profile.h"
#include "fitting/portable/picture_header.h"

namespace framewise {
namespace {

uint32_t Get32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

TEST(PngProfileTest, ChecksumsAreThoseOfPng) {
  // Every PNG ends in an IEND chunk whose CRC is AE 42 60 82; "123456789" checks to CBF43926.
  EXPECT_EQ(PngCrc(reinterpret_cast<const uint8_t*>("IEND"), 4), 0xAE426082u);
  EXPECT_EQ(PngCrc(reinterpret_cast<const uint8_t*>("123456789"), 9), 0xCBF43926u);
  EXPECT_EQ(PngCrc(reinterpret_cast<const uint8_t*>("6789"), 4,
                   PngCrc(reinterpret_cast<const uint8_t*>("12345"), 5)),
            0xCBF43926u);
}

TEST(PngProfileTest, AOnePixelPictureCarryingTheStream) {
  const uint8_t stream[] = {0x78, 0x9C, 0x01, 0x02, 0x03};
  const std::vector<uint8_t> png = PngCarryingProfile(stream, sizeof stream);
  ASSERT_GT(png.size(), 8u);
  // Its header reads as a 1 x 1 PNG, and the profile reader finds the stream as it went in.
  MemoryByteSource source(png.data(), png.size());
  PictureHeader header;
  ASSERT_TRUE(ReadPictureHeader(source, &header));
  EXPECT_EQ(header.format, PictureFormat::Png);
  EXPECT_EQ(header.width, 1u);
  EXPECT_EQ(header.height, 1u);
  std::vector<uint8_t> found;
  EmbeddedColourInfo info;
  ASSERT_TRUE(ReadEmbeddedProfile(source, &found, &info));
  EXPECT_EQ(info.kind, EmbeddedColour::CompressedIcc);
  EXPECT_EQ(found, std::vector<uint8_t>(stream, stream + sizeof stream));
  // Chunks in order, each with its own checksum over type and data.
  std::string order;
  size_t pos = 8;
  while (pos + 12 <= png.size()) {
    const uint32_t length = Get32(&png[pos]);
    ASSERT_LE(pos + 12 + length, png.size());
    EXPECT_EQ(Get32(&png[pos + 8 + length]), PngCrc(&png[pos + 4], 4 + length))
        << std::string(png.begin() + pos + 4, png.begin() + pos + 8);
    order += std::string(png.begin() + pos + 4, png.begin() + pos + 8) + " ";
    pos += 12 + length;
  }
  EXPECT_EQ(pos, png.size());
  EXPECT_EQ(order, "IHDR iCCP IDAT IEND ");
  EXPECT_TRUE(PngCarryingProfile(stream, 0).empty());
  EXPECT_TRUE(PngCarryingProfile(nullptr, 5).empty());
}

// The data of the first chunk of `type`, or nothing.
std::vector<uint8_t> ChunkData(const std::vector<uint8_t>& png, const char* type) {
  for (size_t pos = 8; pos + 12 <= png.size(); pos += 12 + Get32(&png[pos])) {
    const uint32_t length = Get32(&png[pos]);
    if (pos + 12 + length > png.size()) break;
    if (std::memcmp(&png[pos + 4], type, 4) == 0) {
      return std::vector<uint8_t>(png.begin() + long(pos + 8),
                                  png.begin() + long(pos + 8 + length));
    }
  }
  return {};
}

// IHDR as PNG lays it out for a 1 x 1 picture of 8-bit RGB samples (colour type 2) with
// compression, filter and interlace methods 0; the one row (filter byte 0, then a black
// pixel) as zlib itself deflates it at its default level.
TEST(PngProfileTest, HeaderAndRowOfTheOnePixel) {
  const uint8_t stream[] = {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01};
  const std::vector<uint8_t> png = PngCarryingProfile(stream, sizeof stream);
  EXPECT_EQ(ChunkData(png, "IHDR"), (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 1, 8, 2, 0, 0, 0}));
  EXPECT_EQ(ChunkData(png, "IDAT"), (std::vector<uint8_t>{0x78, 0x9C, 0x63, 0x60, 0x60, 0x60, 0x00,
                                                          0x00, 0x00, 0x04, 0x00, 0x01}));
  EXPECT_TRUE(ChunkData(png, "IEND").empty());
}

}  // namespace
// A chunk holds at most 2^31 - 1 bytes: with the profile's name and method (3 bytes), a
// compressed profile of 2^31 - 4 bytes is the largest that fits, and anything longer is
// refused before a byte of it is read.
TEST(PngProfileTest, AProfileTooLargeForAChunkIsRefused) {
  const uint8_t one = 0;
  EXPECT_TRUE(PngCarryingProfile(&one, 0x7FFFFFFDu).empty());
  EXPECT_TRUE(PngCarryingProfile(&one, SIZE_MAX).empty());
  EXPECT_TRUE(PngCarryingProfile(&one, 0).empty());
  EXPECT_TRUE(PngCarryingProfile(nullptr, 1).empty());
  EXPECT_FALSE(PngCarryingProfile(&one, 1).empty());
}

}  // namespace framewise
