// The header reader against real files from the WebP, HEIF, AVIF, JPEG XL, JPEG XR and TGA
// encoders (tests/fixtures/formats/, made by scripts/make_format_fixtures.sh: each file's
// name says the size and orientation the encoder was given), and against hostile variants
// of them: cut, lying, self-referencing and endless boxes and chunks.
#include "fitting/portable/picture_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace framewise {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Fixture(const std::string& name) {
  std::ifstream in(std::string(FRAMEWISE_SOURCE_DIR) + "/tests/fixtures/formats/" + name,
                   std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Read(const Bytes& b, PictureHeader* header) {
  MemoryByteSource source(b.data(), b.size());
  return ReadPictureHeader(source, header);
}

bool ReadTga(const Bytes& b, PictureHeader* header) {
  MemoryByteSource source(b.data(), b.size());
  return ReadTgaHeader(source, header);
}

void Put(Bytes* b, const std::string& text) { b->insert(b->end(), text.begin(), text.end()); }
void PutBe32(Bytes* b, uint32_t v) {
  Put(b, {char(v >> 24), char(v >> 16), char(v >> 8), char(v)});
}
void PutLe32(Bytes* b, uint32_t v) {
  Put(b, {char(v), char(v >> 8), char(v >> 16), char(v >> 24)});
}
void PutBe16(Bytes* b, uint32_t v) { Put(b, {char(v >> 8), char(v)}); }
Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct FixtureCase {
  const char* file;
  PictureFormat format;
  uint32_t width, height;  // as the encoder was given them
  int orientation;
};

TEST(PictureFormats, RealFilesGiveTheSizeAndUprightShapeTheirEncoderWasGiven) {
  using F = PictureFormat;
  const FixtureCase cases[] = {
      {"webp/lossy_1x1.webp", F::Webp, 1, 1, 1},
      {"webp/lossy_33x17.webp", F::Webp, 33, 17, 1},
      {"webp/lossy_640x480.webp", F::Webp, 640, 480, 1},
      {"webp/lossy_17x4000.webp", F::Webp, 17, 4000, 1},
      {"webp/lossy_16383x2.webp", F::Webp, 16383, 2, 1},
      {"webp/lossless_1x1.webp", F::Webp, 1, 1, 1},
      {"webp/lossless_33x17.webp", F::Webp, 33, 17, 1},
      {"webp/lossless_17x4000.webp", F::Webp, 17, 4000, 1},
      {"webp/lossless_16383x1.webp", F::Webp, 16383, 1, 1},
      {"webp/alpha_33x17.webp", F::Webp, 33, 17, 1},
      {"webp/animated_33x17.webp", F::Webp, 33, 17, 1},
      {"webp/exif_o3_40x24.webp", F::Webp, 40, 24, 3},
      {"webp/exif_o6_40x24.webp", F::Webp, 40, 24, 6},
      {"webp/exif_o8_40x24.webp", F::Webp, 40, 24, 8},
      {"heif/heic_1x1.heic", F::Heif, 1, 1, 1},
      {"heif/heic_33x17.heic", F::Heif, 33, 17, 1},
      {"heif/heic_640x480.heic", F::Heif, 640, 480, 1},
      {"heif/heic_17x4000.heic", F::Heif, 17, 4000, 1},
      {"heif/thumbnail_96x40.heic", F::Heif, 96, 40, 1},
      {"avif/avif_1x1.avif", F::Avif, 1, 1, 1},
      {"avif/avif_33x17.avif", F::Avif, 33, 17, 1},
      {"avif/avif_640x480.avif", F::Avif, 640, 480, 1},
      {"avif/avif_17x4000.avif", F::Avif, 17, 4000, 1},
      {"avif/alpha_33x17.avif", F::Avif, 33, 17, 1},
      {"avif/heifenc_33x17.avif", F::Avif, 33, 17, 1},
      {"avif/o1_40x24.avif", F::Avif, 40, 24, 1},
      {"avif/o2_40x24.avif", F::Avif, 40, 24, 2},
      {"avif/o3_40x24.avif", F::Avif, 40, 24, 3},
      {"avif/o4_40x24.avif", F::Avif, 40, 24, 4},
      {"avif/o5_40x24.avif", F::Avif, 40, 24, 5},
      {"avif/o6_40x24.avif", F::Avif, 40, 24, 6},
      {"avif/o7_40x24.avif", F::Avif, 40, 24, 7},
      {"avif/o8_40x24.avif", F::Avif, 40, 24, 8},
      {"avif/imir_first_o5_40x24.avif", F::Avif, 40, 24, 5},
      {"jxl/bare_1x1.jxl", F::JpegXl, 1, 1, 1},
      {"jxl/bare_33x17.jxl", F::JpegXl, 33, 17, 1},
      {"jxl/bare_64x64.jxl", F::JpegXl, 64, 64, 1},
      {"jxl/bare_80x64.jxl", F::JpegXl, 80, 64, 1},
      {"jxl/bare_96x48.jxl", F::JpegXl, 96, 48, 1},
      {"jxl/bare_60x50.jxl", F::JpegXl, 60, 50, 1},
      {"jxl/bare_30x20.jxl", F::JpegXl, 30, 20, 1},
      {"jxl/bare_640x480.jxl", F::JpegXl, 640, 480, 1},
      {"jxl/bare_160x90.jxl", F::JpegXl, 160, 90, 1},
      {"jxl/bare_17x4000.jxl", F::JpegXl, 17, 4000, 1},
      {"jxl/bare_70000x1.jxl", F::JpegXl, 70000, 1, 1},
      {"jxl/bare_300000x1.jxl", F::JpegXl, 300000, 1, 1},
      {"jxl/container_300000x1.jxl", F::JpegXl, 300000, 1, 1},
      {"jxl/container_o1_40x24.jxl", F::JpegXl, 40, 24, 1},
      {"jxl/container_o2_40x24.jxl", F::JpegXl, 40, 24, 2},
      {"jxl/container_o3_40x24.jxl", F::JpegXl, 40, 24, 3},
      {"jxl/container_o4_40x24.jxl", F::JpegXl, 40, 24, 4},
      {"jxl/container_o5_40x24.jxl", F::JpegXl, 40, 24, 5},
      {"jxl/container_o6_40x24.jxl", F::JpegXl, 40, 24, 6},
      {"jxl/container_o7_40x24.jxl", F::JpegXl, 40, 24, 7},
      {"jxl/container_o8_40x24.jxl", F::JpegXl, 40, 24, 8},
      {"jxl/jpeg_o6_40x24.jxl", F::JpegXl, 40, 24, 6},
      {"jxl/bare_o6_40x24.jxl", F::JpegXl, 40, 24, 6},
      {"jxr/jxr_1x1.jxr", F::JpegXr, 1, 1, 1},
      {"jxr/jxr_33x17.jxr", F::JpegXr, 33, 17, 1},
      {"jxr/jxr_640x480.jxr", F::JpegXr, 640, 480, 1},
      {"jxr/jxr_17x4000.jxr", F::JpegXr, 17, 4000, 1},
      {"jxr/hdphoto_33x17.wdp", F::JpegXr, 33, 17, 1},
  };
  for (const FixtureCase& c : cases) {
    const Bytes file = Fixture(c.file);
    ASSERT_FALSE(file.empty()) << c.file;
    PictureHeader h;
    ASSERT_TRUE(Read(file, &h)) << c.file;
    EXPECT_EQ(h.format, c.format) << c.file;
    EXPECT_EQ(h.width, c.width) << c.file;
    EXPECT_EQ(h.height, c.height) << c.file;
    EXPECT_EQ(h.orientation, c.orientation) << c.file;
    // Orientations 5 to 8 turn a quarter: the 40x24 pictures stand upright as 24x40.
    uint32_t w, hgt;
    UprightSize(h, &w, &hgt);
    const bool turned = c.orientation >= 5;
    EXPECT_EQ(w, turned ? c.height : c.width) << c.file;
    EXPECT_EQ(hgt, turned ? c.width : c.height) << c.file;
  }
}

TEST(PictureFormats, TgaIsReadOnlyWhenTheCallerSaysSo) {
  const FixtureCase cases[] = {
      {"tga/rgb_1x1.tga", PictureFormat::Tga, 1, 1, 1},
      {"tga/rgb_33x17.tga", PictureFormat::Tga, 33, 17, 1},
      {"tga/rgb_rle_320x240.tga", PictureFormat::Tga, 320, 240, 1},
      {"tga/rgba_top_down_33x17.tga", PictureFormat::Tga, 33, 17, 1},
      {"tga/grey_17x40.tga", PictureFormat::Tga, 17, 40, 1},
      {"tga/grey_rle_17x40.tga", PictureFormat::Tga, 17, 40, 1},
      {"tga/grey_alpha_17x40.tga", PictureFormat::Tga, 17, 40, 1},
      {"tga/palette_33x17.tga", PictureFormat::Tga, 33, 17, 1},
      {"tga/palette_rle_33x17.tga", PictureFormat::Tga, 33, 17, 1},
  };
  for (const FixtureCase& c : cases) {
    const Bytes file = Fixture(c.file);
    PictureHeader h;
    ASSERT_TRUE(ReadTga(file, &h)) << c.file;
    EXPECT_EQ(h.format, PictureFormat::Tga) << c.file;
    EXPECT_EQ(h.width, c.width) << c.file;
    EXPECT_EQ(h.height, c.height) << c.file;
    EXPECT_EQ(h.orientation, 1) << c.file << ": top-down rows are the decoder's business";
    EXPECT_FALSE(Read(file, &h)) << c.file << ": no signature to know it by";
  }
}

// An 18-byte TGA header: colour map type, image type, map length and entry bits, size,
// pixel depth.
Bytes Tga(uint8_t mapType, uint8_t imageType, uint16_t mapLength, uint8_t mapBits, uint16_t w,
          uint16_t h, uint8_t depth) {
  return {0, mapType, imageType, 0, 0, uint8_t(mapLength), uint8_t(mapLength >> 8), mapBits,
          0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(h), uint8_t(h >> 8), depth, 0};
}

TEST(PictureFormats, ImplausibleTgaHeadersAreRefused) {
  const struct {
    const char* name;
    Bytes header;
    bool plausible;
  } cases[] = {
      {"true colour 15 bits", Tga(0, 2, 0, 0, 65535, 1, 15), true},
      {"true colour 8 bits", Tga(0, 2, 0, 0, 5, 5, 8), false},
      {"true colour with an unused map", Tga(1, 10, 16, 24, 5, 5, 32), true},
      {"grey 16 bits", Tga(0, 11, 0, 0, 5, 5, 16), true},
      {"grey 24 bits", Tga(0, 3, 0, 0, 5, 5, 24), false},
      {"mapped 16-bit indices", Tga(1, 9, 256, 15, 5, 5, 16), true},
      {"mapped without a map", Tga(0, 1, 0, 0, 5, 5, 8), false},
      {"mapped, map of no entries", Tga(1, 1, 0, 24, 5, 5, 8), false},
      {"mapped, 8-bit map entries", Tga(1, 1, 256, 8, 5, 5, 8), false},
      {"map type 2", Tga(2, 2, 0, 0, 5, 5, 24), false},
      {"no image data", Tga(0, 0, 0, 0, 5, 5, 24), false},
      {"image type 4", Tga(0, 4, 0, 0, 5, 5, 24), false},
      {"image type 12", Tga(0, 12, 0, 0, 5, 5, 24), false},
      {"zero width", Tga(0, 2, 0, 0, 0, 5, 24), false},
      {"zero height", Tga(0, 2, 0, 0, 5, 0, 24), false},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    EXPECT_EQ(ReadTga(c.header, &h), c.plausible) << c.name;
    const Bytes cut(c.header.begin(), c.header.end() - 1);
    EXPECT_FALSE(ReadTga(cut, &h)) << c.name << ", cut";
  }
}

// ---- WebP ----

Bytes Chunk(const std::string& fourcc, const Bytes& body) {
  Bytes b;
  Put(&b, fourcc);
  PutLe32(&b, uint32_t(body.size()));
  b = b + body;
  if (body.size() % 2) b.push_back(0);
  return b;
}

Bytes Webp(const Bytes& chunks) {
  Bytes b;
  Put(&b, "RIFF");
  PutLe32(&b, uint32_t(chunks.size() + 4));
  Put(&b, "WEBP");
  return b + chunks;
}

Bytes Vp8x(uint8_t flags, uint32_t width, uint32_t height) {
  Bytes body = {flags, 0, 0, 0};
  for (uint32_t v : {width - 1, height - 1}) Put(&body, {char(v), char(v >> 8), char(v >> 16)});
  return Chunk("VP8X", body);
}

// The TIFF structure of an EXIF block holding only an orientation.
Bytes TiffOrientation(uint16_t o) {
  return {'I', 'I', '*', 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, uint8_t(o), 0, 0, 0,
          0, 0, 0, 0};
}

TEST(PictureFormats, WebpHeadersAtTheirLimits) {
  Bytes vp8 = {0x50, 0x01, 0x00, 0x9D, 0x01, 0x2A, 0x80, 0x42, 0xE0, 0xC1};  // 640, 480 + scales
  Bytes vp8Inter = vp8;
  vp8Inter[0] |= 1;
  Bytes vp8BadStart = vp8;
  vp8BadStart[5] = 0x2B;
  const Bytes vp8lMax = {0x2F, 0xFF, 0xFF, 0xFF, 0x0F};  // 16384 x 16384, version 0
  const Bytes vp8lVersion1 = {0x2F, 0xFF, 0xFF, 0xFF, 0x2F};
  const Bytes vp8lBadSignature = {0x2E, 0, 0, 0, 0};
  const struct {
    const char* name;
    Bytes file;
    bool read;
    uint32_t w, h;
    int orientation;
  } cases[] = {
      {"vp8, upscaling bits ignored", Webp(Chunk("VP8 ", vp8)), true, 640, 480, 1},
      {"vp8 inter frame", Webp(Chunk("VP8 ", vp8Inter)), false, 0, 0, 1},
      {"vp8 start code", Webp(Chunk("VP8 ", vp8BadStart)), false, 0, 0, 1},
      {"vp8l 14 bits each", Webp(Chunk("VP8L", vp8lMax)), true, 16384, 16384, 1},
      {"vp8l version 1", Webp(Chunk("VP8L", vp8lVersion1)), false, 0, 0, 1},
      {"vp8l signature", Webp(Chunk("VP8L", vp8lBadSignature)), false, 0, 0, 1},
      // The canvas may hold 2^32 - 1 pixels (65535 x 65537), not one more row.
      {"canvas of 2^32 - 1", Webp(Vp8x(0, 65537, 65535)), true, 65537, 65535, 1},
      {"canvas past 2^32 - 1", Webp(Vp8x(0, 65537, 65536)), false, 0, 0, 1},
      {"canvas of 2^24 x 2^24", Webp(Vp8x(0, 1u << 24, 1u << 24)), false, 0, 0, 1},
      {"canvas larger than its data", Webp(Vp8x(0, 1u << 24, 1)), true, 1u << 24, 1, 1},
      {"exif after a padded chunk",
       Webp(Vp8x(0x08, 3, 2) + Chunk("ICCP", {1, 2, 3}) + Chunk("EXIF", TiffOrientation(7))), true,
       3, 2, 7},
      {"exif after Exif\\0\\0",
       Webp(Vp8x(0x08, 3, 2) + Chunk("EXIF", Bytes{'E', 'x', 'i', 'f', 0, 0} + TiffOrientation(5))),
       true, 3, 2, 5},
      {"exif flag without the chunk", Webp(Vp8x(0x08, 3, 2) + Chunk("VP8L", vp8lMax)), true, 3,
       2, 1},
      {"exif chunk without the flag", Webp(Vp8x(0, 3, 2) + Chunk("EXIF", TiffOrientation(6))), true,
       3, 2, 1},
      {"exif chunk of a hostile size",
       Webp(Vp8x(0x08, 3, 2) + Bytes{'E', 'X', 'I', 'F', 0xFF, 0xFF, 0xFF, 0xFF} +
            TiffOrientation(6)),
       true, 3, 2, 6},
      {"unknown first chunk", Webp(Chunk("ALPH", vp8)), false, 0, 0, 1},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    ASSERT_EQ(Read(c.file, &h), c.read) << c.name;
    if (!c.read) continue;
    EXPECT_EQ(h.format, PictureFormat::Webp) << c.name;
    EXPECT_EQ(h.width, c.w) << c.name;
    EXPECT_EQ(h.height, c.h) << c.name;
    EXPECT_EQ(h.orientation, c.orientation) << c.name;
  }
}

// ---- HEIF and AVIF ----

Bytes IsoBox(const std::string& type, const Bytes& body) {
  Bytes b;
  PutBe32(&b, uint32_t(body.size() + 8));
  Put(&b, type);
  return b + body;
}

Bytes FullBox(const std::string& type, uint8_t version, uint32_t flags, const Bytes& body) {
  const Bytes head = {version, uint8_t(flags >> 16), uint8_t(flags >> 8), uint8_t(flags)};
  return IsoBox(type, head + body);
}

Bytes Ispe(uint32_t w, uint32_t h) {
  Bytes body;
  PutBe32(&body, w);
  PutBe32(&body, h);
  return FullBox("ispe", 0, 0, body);
}

struct Item {
  uint32_t id;
  std::string type;
  std::vector<uint16_t> properties;  // 1-based ipco indices, essential bit included
};

struct HeifFile {
  std::string brands = "heicmif1";
  uint8_t pitmVersion = 0;
  uint32_t primary = 1;
  uint8_t iinfVersion = 0;
  std::vector<Item> items;
  std::vector<Bytes> properties;
  uint8_t ipmaVersion = 0;
  uint32_t ipmaFlags = 0;
};

Bytes Build(const HeifFile& f) {
  Bytes ftyp;
  Put(&ftyp, f.brands.substr(0, 4) + std::string(4, '\0') + f.brands);
  Bytes pitm;
  f.pitmVersion == 0 ? PutBe16(&pitm, f.primary) : PutBe32(&pitm, f.primary);
  Bytes iinf, ipma, ipco;
  const uint32_t count = uint32_t(f.items.size());
  f.iinfVersion == 0 ? PutBe16(&iinf, count) : PutBe32(&iinf, count);
  PutBe32(&ipma, count);
  for (const Item& item : f.items) {
    Bytes infe;
    PutBe16(&infe, item.id);
    PutBe16(&infe, 0);
    Put(&infe, item.type);
    iinf = iinf + FullBox("infe", 2, 0, infe);
    f.ipmaVersion == 0 ? PutBe16(&ipma, item.id) : PutBe32(&ipma, item.id);
    ipma.push_back(uint8_t(item.properties.size()));
    for (uint16_t p : item.properties) {
      (f.ipmaFlags & 1) ? PutBe16(&ipma, p) : ipma.push_back(uint8_t(p));
    }
  }
  for (const Bytes& p : f.properties) ipco = ipco + p;
  const Bytes iprp =
      IsoBox("iprp", IsoBox("ipco", ipco) + FullBox("ipma", f.ipmaVersion, f.ipmaFlags, ipma));
  const Bytes meta = FullBox("hdlr", 0, 0, Bytes(20, 0)) + FullBox("pitm", f.pitmVersion, 0, pitm) +
                     FullBox("iinf", f.iinfVersion, 0, iinf) + iprp;
  return IsoBox("ftyp", ftyp) + FullBox("meta", 0, 0, meta) + IsoBox("mdat", Bytes(16, 0xAB));
}

size_t Find(const Bytes& b, const char* type, size_t from = 0) {
  return size_t(std::search(b.begin() + from, b.end(), type, type + 4) - b.begin()) - 4;
}

void SetBe32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (24 - 8 * i));
}

TEST(PictureFormats, HeifItemsAndTheirProperties) {
  const Bytes irot1 = IsoBox("irot", {1}), imirLeftRight = IsoBox("imir", {1});
  HeifFile plain;
  plain.items = {{1, "hvc1", {1}}};
  plain.properties = {Ispe(300, 200)};

  HeifFile wide = plain;  // 32-bit ids, 15-bit indices with the essential bit
  wide.pitmVersion = 1;
  wide.iinfVersion = 1;
  wide.ipmaVersion = 1;
  wide.ipmaFlags = 1;
  wide.primary = 70000;
  wide.items = {{5, "hvc1", {0x8001}}, {70000, "hvc1", {0x8002, 0x8003, 4}}};
  wide.properties = {Ispe(10, 10), Ispe(300, 200), irot1, imirLeftRight};

  HeifFile primaryLast = plain;  // a thumbnail listed first
  primaryLast.primary = 2;
  primaryLast.items = {{1, "hvc1", {1}}, {2, "hvc1", {2, 3}}};
  primaryLast.properties = {Ispe(16, 10), Ispe(300, 200), irot1};

  HeifFile strayIndices = plain;  // index 0 is none; 9 is past ipco's end
  strayIndices.items = {{1, "hvc1", {0, 9, 2}}};
  strayIndices.properties = {irot1, Ispe(300, 200)};

  HeifFile avifGrid = plain;  // a grid's tiles are AV1 when the brands say so
  avifGrid.brands = "avifmif1miaf";
  avifGrid.items = {{1, "grid", {1}}};
  HeifFile av1UnderHeic = plain;  // the item's type before the brands
  av1UnderHeic.items = {{1, "av01", {1}}};
  HeifFile maxSize = plain;
  maxSize.properties = {Ispe(0xFFFFFFFFu, 0xFFFFFFFFu)};

  const struct {
    const char* name;
    HeifFile file;
    PictureFormat format;
    uint32_t w, h;
    int orientation;
  } cases[] = {
      {"plain", plain, PictureFormat::Heif, 300, 200, 1},
      {"32-bit ids, 15-bit indices", wide, PictureFormat::Heif, 300, 200, 7},
      {"primary listed last", primaryLast, PictureFormat::Heif, 300, 200, 8},
      {"stray indices", strayIndices, PictureFormat::Heif, 300, 200, 1},
      {"avif grid", avifGrid, PictureFormat::Avif, 300, 200, 1},
      {"av1 item under heic brands", av1UnderHeic, PictureFormat::Avif, 300, 200, 1},
      {"ispe of 2^32 - 1", maxSize, PictureFormat::Heif, 0xFFFFFFFFu, 0xFFFFFFFFu, 1},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    ASSERT_TRUE(Read(Build(c.file), &h)) << c.name;
    EXPECT_EQ(h.format, c.format) << c.name;
    EXPECT_EQ(h.width, c.w) << c.name;
    EXPECT_EQ(h.height, c.h) << c.name;
    EXPECT_EQ(h.orientation, c.orientation) << c.name;
  }

  HeifFile zeroWidth = plain, noIspe = plain, notPrimary = plain, noPitm = plain, video = plain;
  zeroWidth.properties = {Ispe(0, 200)};
  noIspe.properties = {irot1};
  notPrimary.primary = 2;
  video.brands = "isomiso2mp41";
  for (const HeifFile& f : {zeroWidth, noIspe, notPrimary, video}) {
    PictureHeader h;
    EXPECT_FALSE(Read(Build(f), &h));
  }
  // pitm last in meta, with a 64-bit size of 8 that ends inside its own header: taken for a
  // box, its body would lie past its end and still name item 1.
  Bytes selfSized = {0, 0, 0, 1, 'p', 'i', 't', 'm', 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 1};
  const Bytes built = Build(plain);
  const size_t metaAt = Find(built, "meta"), hdlrAt = Find(built, "hdlr");
  const size_t pitmAt = Find(built, "pitm"), iinfAt = Find(built, "iinf");
  const size_t mdatAt = Find(built, "mdat");
  const Bytes pitmLast =
      Bytes(built.begin(), built.begin() + long(metaAt)) +
      FullBox("meta", 0, 0,
              Bytes(built.begin() + long(hdlrAt), built.begin() + long(pitmAt)) +
                  Bytes(built.begin() + long(iinfAt), built.begin() + long(mdatAt)) + selfSized) +
      Bytes(built.begin() + long(mdatAt), built.end());
  PictureHeader self;
  EXPECT_FALSE(Read(pitmLast, &self));
  selfSized[15] = 22;  // the size it has
  const Bytes fixedLast =
      Bytes(built.begin(), built.begin() + long(metaAt)) +
      FullBox("meta", 0, 0,
              Bytes(built.begin() + long(hdlrAt), built.begin() + long(pitmAt)) +
                  Bytes(built.begin() + long(iinfAt), built.begin() + long(mdatAt)) + selfSized) +
      Bytes(built.begin() + long(mdatAt), built.end());
  ASSERT_TRUE(Read(fixedLast, &self));
  EXPECT_EQ(self.width, 300u);

  Bytes withoutPitm = Build(noPitm);
  std::copy_n("skip", 4, withoutPitm.begin() + long(Find(withoutPitm, "pitm")) + 4);
  PictureHeader h;
  EXPECT_FALSE(Read(withoutPitm, &h));
}

TEST(PictureFormats, HostileBoxesInARealAvif) {
  const Bytes real = Fixture("avif/o6_40x24.avif");
  ASSERT_FALSE(real.empty());
  const size_t meta = Find(real, "meta"), hdlr = Find(real, "hdlr"), ispe = Find(real, "ispe");
  const size_t mdat = Find(real, "mdat");
  ASSERT_LT(meta, hdlr);
  ASSERT_LT(meta, mdat);  // meta first, then mdat, which ends the file

  auto with = [&](size_t at, uint32_t v) {
    Bytes b = real;
    SetBe32(&b, at, v);
    return b;
  };
  Bytes largeMeta(real.begin(), real.begin() + long(meta));  // meta with a 64-bit size
  PutBe32(&largeMeta, 1);
  Put(&largeMeta, "meta");
  PutBe32(&largeMeta, 0);
  PutBe32(&largeMeta, uint32_t(mdat - meta + 8));
  largeMeta.insert(largeMeta.end(), real.begin() + long(meta) + 8, real.end());
  Bytes lastMeta(real.begin(), real.begin() + long(meta));  // mdat, then meta to the end
  lastMeta.insert(lastMeta.end(), real.begin() + long(mdat), real.end());
  lastMeta.insert(lastMeta.end(), real.begin() + long(meta), real.begin() + long(mdat));
  SetBe32(&lastMeta, meta + (real.size() - mdat), 0);
  const Bytes sizeZeroMdat = with(mdat, 0);

  for (const Bytes& same : {largeMeta, lastMeta, sizeZeroMdat}) {
    PictureHeader h;
    ASSERT_TRUE(Read(same, &h));
    EXPECT_EQ(h.width, 40u);
    EXPECT_EQ(h.orientation, 6);
  }
  PictureHeader h;
  ASSERT_TRUE(Read(with(ispe + 12, 0xFFFFFFFFu), &h));
  EXPECT_EQ(h.width, 0xFFFFFFFFu);
  EXPECT_EQ(h.height, 24u);

  Bytes selfLarge = with(hdlr, 1);  // a 64-bit size of 8, inside its own 16-byte header
  SetBe32(&selfLarge, hdlr + 8, 0);
  SetBe32(&selfLarge, hdlr + 12, 8);
  const struct {
    const char* name;
    Bytes file;
  } hostile[] = {
      {"meta far past the end of the file", with(meta, uint32_t(real.size()))},
      {"meta one byte past the end of the file", with(meta, uint32_t(real.size() - meta + 1))},
      {"a child past meta's end", with(hdlr, uint32_t(mdat - hdlr + 1))},
      {"a box smaller than its header", with(hdlr, 7)},
      {"a box of no size at all", with(hdlr, 4)},
      {"a 64-bit size that points at itself", selfLarge},
      {"ftyp larger than the file", with(0, 0x7FFFFFFF)},
      {"ispe width 0", with(ispe + 12, 0)},
      {"ispe height 0", with(ispe + 16, 0)},
  };
  for (const auto& c : hostile) {
    PictureHeader read;
    EXPECT_FALSE(Read(c.file, &read)) << c.name;
  }
}

// ---- JPEG XL ----

// Writes bits from least to most significant, as the codestream packs them.
class BitWriter {
 public:
  BitWriter& Add(uint32_t value, int count) {
    for (int i = 0; i < count; ++i, ++bits_) {
      if (bits_ % 8 == 0) bytes_.push_back(0);
      bytes_.back() |= uint8_t(((value >> i) & 1) << (bits_ % 8));
    }
    return *this;
  }
  Bytes Codestream() const { return Bytes{0xFF, 0x0A} + bytes_; }

 private:
  Bytes bytes_;
  size_t bits_ = 0;
};

Bytes JxlContainer(const Bytes& boxes) {
  return Bytes{0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A} +
         IsoBox("ftyp", Bytes{'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '}) + boxes;
}

Bytes Jxlp(uint32_t index, const Bytes& piece) {
  Bytes body;
  PutBe32(&body, index);
  return IsoBox("jxlp", body + piece);
}

TEST(PictureFormats, JpegXlSizeHeadersAndContainers) {
  // The largest height (30-bit field) at a 2:1 ratio: a width of 2^31.
  const Bytes largest = BitWriter().Add(0, 1).Add(3, 2).Add((1u << 30) - 1, 30).Add(7, 3).Add(1, 1)
                            .Add(0, 30).Codestream();
  // 8 x 256 in the short form, then orientation 8 after the two metadata bits.
  const Bytes shortForm = BitWriter().Add(1, 1).Add(31, 5).Add(0, 3).Add(0, 5).Add(0, 1).Add(1, 1)
                              .Add(7, 3).Add(0, 16).Codestream();
  const Bytes allDefault = BitWriter().Add(1, 1).Add(0, 5).Add(1, 3).Add(1, 1).Codestream();
  // Extra fields not set: orientation 1 even when the next bits look like one.
  const Bytes noExtras = BitWriter().Add(1, 1).Add(0, 5).Add(1, 3).Add(0, 1).Add(0, 1).Add(7, 3)
                             .Codestream();
  // Cut before the orientation's last bit.
  const Bytes cutOrientation(shortForm.begin(), shortForm.begin() + 4);

  // The real o6 codestream in one-byte jxlp pieces, other boxes between them.
  const Bytes real = Fixture("jxl/bare_o6_40x24.jxl");
  ASSERT_GT(real.size(), 20u);
  Bytes pieces;
  for (uint32_t i = 0; i < 20; ++i) {
    pieces = pieces + Jxlp(i == 19 ? 0x80000000u | i : i, {real[i]}) + IsoBox("free", {});
  }
  Bytes lastTooSoon = pieces;  // the second piece (after 13 + 8 bytes) claims to be the last
  lastTooSoon[13 + 8 + 8] = 0x80;

  const struct {
    const char* name;
    Bytes file;
    bool read;
    uint32_t w, h;
    int orientation;
  } cases[] = {
      {"2^31 x 2^30", largest, true, 1u << 31, 1u << 30, 1},
      {"short form", shortForm, true, 8, 256, 8},
      {"all default", allDefault, true, 8, 8, 1},
      {"no extra fields", noExtras, true, 8, 8, 1},
      {"cut in the orientation", cutOrientation, false, 0, 0, 1},
      {"one-byte pieces", JxlContainer(pieces), true, 40, 24, 6},
      {"last piece too soon", JxlContainer(lastTooSoon), false, 0, 0, 1},
      {"whole codestream box", JxlContainer(IsoBox("jxlc", real)), true, 40, 24, 6},
      {"no codestream box", JxlContainer(IsoBox("Exif", real)), false, 0, 0, 1},
      {"piece without its index", JxlContainer(IsoBox("jxlp", {0, 0})), false, 0, 0, 1},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    ASSERT_EQ(Read(c.file, &h), c.read) << c.name;
    if (!c.read) continue;
    EXPECT_EQ(h.format, PictureFormat::JpegXl) << c.name;
    EXPECT_EQ(h.width, c.w) << c.name;
    EXPECT_EQ(h.height, c.h) << c.name;
    EXPECT_EQ(h.orientation, c.orientation) << c.name;
  }
}

// ---- JPEG XR ----

TEST(PictureFormats, JpegXrSpatialTransformsAsOrientations) {
  const Bytes real = Fixture("jxr/jxr_33x17.jxr");
  const Bytes transformEntry = {0x02, 0xBC, 4, 0, 1, 0, 0, 0};  // 0xBC02, LONG, one value
  const size_t at = size_t(std::search(real.begin(), real.end(), transformEntry.begin(),
                                       transformEntry.end()) - real.begin());
  ASSERT_LT(at, real.size());
  // The container's values as published: 0 none, 1 mirror vertical, 2 mirror horizontal,
  // 3 rotate 180, 4 rotate 90 CW, 5 mirror horizontal and rotate 90 CW, 6 mirror horizontal
  // and rotate 270 CW, 7 rotate 270 CW; 8 is none of them.
  const int orientations[9] = {1, 4, 2, 3, 6, 7, 5, 8, 1};
  for (uint8_t value = 0; value <= 8; ++value) {
    Bytes b = real;
    b[at + 8] = value;
    PictureHeader h;
    ASSERT_TRUE(Read(b, &h)) << int(value);
    EXPECT_EQ(h.width, 33u);
    EXPECT_EQ(h.orientation, orientations[value]) << int(value);
  }
  Bytes farIfd = real;
  SetBe32(&farIfd, 4, 0xF0FFFFFF);  // little-endian 0xFFFFFFF0
  Bytes version0 = real;
  version0[3] = 0;
  for (const Bytes& b : {farIfd, version0}) {
    PictureHeader h;
    EXPECT_FALSE(Read(b, &h));
  }
}

// ---- Every format ----

TEST(PictureFormats, TruncatedFilesGiveFalseOrTheWholeAnswer) {
  for (const char* name :
       {"webp/lossy_33x17.webp", "webp/lossless_33x17.webp", "webp/exif_o6_40x24.webp",
        "heif/heic_33x17.heic", "avif/o7_40x24.avif", "jxl/bare_33x17.jxl", "jxl/jpeg_o6_40x24.jxl",
        "jxr/jxr_33x17.jxr", "tga/palette_33x17.tga"}) {
    const Bytes whole = Fixture(name);
    const bool tga = std::string(name).rfind("tga/", 0) == 0;
    PictureHeader full;
    ASSERT_TRUE(tga ? ReadTga(whole, &full) : Read(whole, &full)) << name;
    for (size_t size = 0; size < whole.size(); ++size) {
      // Exactly-sized copies, so the sanitizer sees any read past the end.
      const Bytes cut(whole.begin(), whole.begin() + long(size));
      PictureHeader h;
      if (tga ? ReadTga(cut, &h) : Read(cut, &h)) {
        EXPECT_EQ(h.format, full.format) << name << " " << size;
        EXPECT_EQ(h.width, full.width) << name << " " << size;
        EXPECT_EQ(h.height, full.height) << name << " " << size;
        // A WebP's EXIF chunk follows the size, so a cut one may lose only the orientation.
        if (full.format != PictureFormat::Webp) {
          EXPECT_EQ(h.orientation, full.orientation) << name << " " << size;
        }
      }
    }
  }
}

// A file of `prefix`, then `pattern` over and over, that counts its reads.
class EndlessSource final : public ByteSource {
 public:
  EndlessSource(Bytes prefix, Bytes pattern)
      : prefix_(std::move(prefix)), pattern_(std::move(pattern)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    ++reads;
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
      const uint64_t at = offset + i;
      out[i] = at < prefix_.size() ? prefix_[at]
                                   : pattern_[(at - prefix_.size()) % pattern_.size()];
    }
    return size;
  }
  int reads = 0;

 private:
  Bytes prefix_;
  Bytes pattern_;
};

TEST(PictureFormats, EndlessBoxesAndChunksStopAfterBoundedWork) {
  const Bytes ftyp = IsoBox("ftyp", Bytes{'h', 'e', 'i', 'c', 0, 0, 0, 0, 'm', 'i', 'f', '1'});
  const Bytes toEnd = {0, 0, 0, 0};
  // The primary item's one property is ipco's 32767th, after endless ispe boxes of 0 x 0.
  const Bytes farProperty = FullBox("ipma", 0, 1, {0, 0, 0, 1, 0, 1, 1, 0xFF, 0xFF});
  const struct {
    const char* name;
    Bytes prefix, pattern;
    bool read;
  } cases[] = {
      {"top-level boxes", ftyp, IsoBox("free", {}), false},
      {"meta's boxes", ftyp + toEnd + Bytes{'m', 'e', 't', 'a', 0, 0, 0, 0}, IsoBox("free", {}),
       false},
      {"properties", ftyp + toEnd + Bytes{'m', 'e', 't', 'a', 0, 0, 0, 0} +
                         FullBox("pitm", 0, 0, {0, 1}) + toEnd + Bytes{'i', 'p', 'r', 'p'} +
                         farProperty + toEnd + Bytes{'i', 'p', 'c', 'o'},
       Ispe(0, 0), false},
      {"codestream pieces", JxlContainer({}), Jxlp(0, {}), false},
      {"webp chunks before the exif", Webp(Vp8x(0x08, 3, 2)), Chunk("JUNK", {}), true},
  };
  for (const auto& c : cases) {
    EndlessSource source(c.prefix, c.pattern);
    PictureHeader h;
    EXPECT_EQ(ReadPictureHeader(source, &h), c.read) << c.name;
    EXPECT_LT(source.reads, 20000) << c.name;
    EXPECT_GT(source.reads, 60) << c.name << ": walked to a limit, not stopped at once";
  }
}

}  // namespace
}  // namespace framewise
