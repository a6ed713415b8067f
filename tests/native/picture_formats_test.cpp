// The header reader against real files from the WebP, HEIF, AVIF, JPEG XL, JPEG XR and TGA
// encoders (tests/fixtures/formats/, made by scripts/make_format_fixtures.sh: each file's
// name says the size and orientation the encoder was given), and against hostile variants:
// cut, lying, self-referencing and endless boxes and chunks.
#include "fitting/portable/picture_header.h"
#include "tests/native/test_byte_sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace framewise {
namespace {

using Bytes = std::vector<uint8_t>;
const std::string kFixtures = std::string(FRAMEWISE_SOURCE_DIR) + "/tests/fixtures/formats/";

Bytes Load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool Read(const Bytes& b, PictureHeader* header, bool tga = false) {
  MemoryByteSource source(b.data(), b.size());
  return tga ? ReadTgaHeader(source, header) : ReadPictureHeader(source, header);
}

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
void Append(Bytes* a, const Bytes& b) { a->insert(a->end(), b.begin(), b.end()); }
Bytes Be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Bytes Le32(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(PictureFormats, RealFilesGiveTheSizeAndUprightShapeTheirEncoderWasGiven) {
  const std::map<std::string, PictureFormat> folders = {
      {"webp", PictureFormat::Webp},  {"heif", PictureFormat::Heif},  {"avif", PictureFormat::Avif},
      {"jxl", PictureFormat::JpegXl}, {"jxr", PictureFormat::JpegXr}, {"tga", PictureFormat::Tga}};
  const std::regex name(R"((?:^|_)(?:o([1-8])_)?(\d+)x(\d+)\.\w+$)");
  int files = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kFixtures)) {
    if (!entry.is_regular_file()) continue;
    const std::string file = entry.path().filename().string();
    std::smatch given;
    ASSERT_TRUE(std::regex_search(file, given, name)) << file;
    const PictureFormat format = folders.at(entry.path().parent_path().filename().string());
    const int orientation = given[1].matched ? std::stoi(given[1]) : 1;
    const uint32_t w = uint32_t(std::stoul(given[2])), h = uint32_t(std::stoul(given[3]));
    const Bytes bytes = Load(entry.path().string());
    PictureHeader header;
    ASSERT_TRUE(Read(bytes, &header, format == PictureFormat::Tga)) << file;
    ++files;
    EXPECT_EQ(header.format, format) << file;
    EXPECT_EQ(header.width, w) << file;
    EXPECT_EQ(header.height, h) << file;
    EXPECT_EQ(header.orientation, orientation) << file;
    // Orientations 5 to 8 turn a quarter: 40x24 stands upright as 24x40.
    uint32_t uw, uh;
    UprightSize(header, &uw, &uh);
    EXPECT_EQ(uw, orientation >= 5 ? h : w) << file;
    EXPECT_EQ(uh, orientation >= 5 ? w : h) << file;
    // A TGA has no signature: read only when the caller says it is one.
    if (format == PictureFormat::Tga) {
      EXPECT_FALSE(Read(bytes, &header)) << file;
    }
  }
  EXPECT_GE(files, 70);
}

// An 18-byte TGA header: colour map type, image type, map length and entry bits, size,
// pixel depth.
Bytes Tga(uint8_t map, uint8_t type, uint8_t mapLength, uint8_t mapBits, uint16_t w,
          uint8_t depth) {
  return {0, map, type,  0, 0, mapLength, 0, mapBits, 0, 0, 0, 0, uint8_t(w), uint8_t(w >> 8),
          5, 0,   depth, 0};
}

TEST(PictureFormats, ImplausibleTgaHeadersAreRefused) {
  const std::pair<Bytes, bool> cases[] = {
      {Tga(0, 2, 0, 0, 65535, 15), true}, {Tga(0, 2, 0, 0, 5, 8), false},     // true colour
      {Tga(1, 10, 16, 24, 5, 32), true},  {Tga(0, 11, 0, 0, 5, 16), true},    // grey
      {Tga(0, 3, 0, 0, 5, 24), false},    {Tga(1, 9, 255, 15, 5, 16), true},  // mapped
      {Tga(0, 1, 0, 0, 5, 8), false},     {Tga(1, 1, 0, 24, 5, 8), false},
      {Tga(1, 1, 16, 8, 5, 8), false},    {Tga(2, 2, 0, 0, 5, 24), false},
      {Tga(0, 0, 0, 0, 5, 24), false},    {Tga(0, 12, 0, 0, 5, 24), false},
      {Tga(0, 2, 0, 0, 0, 24), false},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    EXPECT_EQ(Read(c.first, &h, true), c.second) << int(c.first[1]) << " " << int(c.first[2]);
    EXPECT_FALSE(Read(Bytes(c.first.begin(), c.first.end() - 1), &h, true));
  }
  // True-colour pixels and colour map entries are 15, 16, 24 or 32 bits, nothing between.
  for (uint8_t bits = 14; bits <= 33; ++bits) {
    const bool valid = bits == 15 || bits == 16 || bits == 24 || bits == 32;
    PictureHeader h;
    EXPECT_EQ(Read(Tga(0, 2, 0, 0, 5, bits), &h, true), valid) << "pixel " << int(bits);
    EXPECT_EQ(Read(Tga(1, 1, 16, bits, 5, 8), &h, true), valid) << "map entry " << int(bits);
  }
}

struct Expected {
  const char* name;
  Bytes file;
  bool read;
  uint32_t w, h;
  int orientation;
};

void Check(const Expected& c, PictureFormat format) {
  PictureHeader h;
  ASSERT_EQ(Read(c.file, &h), c.read) << c.name;
  if (!c.read) return;
  EXPECT_EQ(h.format, format) << c.name;
  EXPECT_EQ(h.width, c.w) << c.name;
  EXPECT_EQ(h.height, c.h) << c.name;
  EXPECT_EQ(h.orientation, c.orientation) << c.name;
}

Bytes Chunk(const std::string& fourcc, const Bytes& body) {
  Bytes b = Text(fourcc) + Le32(uint32_t(body.size())) + body;
  if (body.size() % 2) b.push_back(0);
  return b;
}
Bytes Cut(Bytes b, size_t size) {
  b.resize(size);
  return b;
}
Bytes Webp(const Bytes& chunks) {
  return Text("RIFF") + Le32(uint32_t(chunks.size() + 4)) + Text("WEBP") + chunks;
}
Bytes Vp8x(uint8_t flags, uint32_t w, uint32_t h) {
  --w, --h;
  return Chunk("VP8X", {flags, 0, 0, 0, uint8_t(w), uint8_t(w >> 8), uint8_t(w >> 16), uint8_t(h),
                        uint8_t(h >> 8), uint8_t(h >> 16)});
}
// The TIFF structure of an EXIF block holding only an orientation.
Bytes Tiff(uint8_t o) {
  return {'I', 'I', '*', 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, o, 0, 0, 0, 0, 0, 0, 0};
}

TEST(PictureFormats, WebpHeadersAtTheirLimits) {
  const Bytes vp8 = {0x50, 1, 0, 0x9D, 1, 0x2A, 0x80, 0x42, 0xE0, 0xC1};  // 640, 480, scaled
  Bytes inter = vp8, badStart = vp8;
  inter[0] |= 1;
  badStart[5] = 0x2B;
  auto junk = [](int count) {
    Bytes b;
    for (int i = 0; i < count; ++i) Append(&b, Chunk("JUNK", {1}));
    return b;
  };
  const Expected cases[] = {
      {"vp8, upscaling bits not in the size", Webp(Chunk("VP8 ", vp8)), true, 640, 480, 1},
      {"vp8 inter frame", Webp(Chunk("VP8 ", inter)), false, 0, 0, 1},
      {"vp8 start code", Webp(Chunk("VP8 ", badStart)), false, 0, 0, 1},
      {"vp8l 14 bits each", Webp(Chunk("VP8L", {0x2F, 0xFF, 0xFF, 0xFF, 0x0F})), true, 16384, 16384,
       1},
      {"vp8l version 1", Webp(Chunk("VP8L", {0x2F, 0xFF, 0xFF, 0xFF, 0x2F})), false, 0, 0, 1},
      // The file may end with the header, before the pad byte of its odd-sized chunk.
      {"vp8l ends after its header", Cut(Webp(Chunk("VP8L", {0x2F, 0x40, 0xC0, 0x10, 0})), 25),
       true, 65, 68, 1},
      {"vp8l cut in its header", Cut(Webp(Chunk("VP8L", {0x2F, 0x40, 0xC0, 0x10, 0})), 24), false,
       0, 0, 1},
      // A canvas may hold 2^32 - 1 pixels (65537 x 65535), not one more row; what it says
      // is its size even when no data follows.
      {"canvas of 2^32 - 1", Webp(Vp8x(0, 65537, 65535)), true, 65537, 65535, 1},
      {"canvas past 2^32 - 1", Webp(Vp8x(0, 65537, 65536)), false, 0, 0, 1},
      {"canvas of 2^24 x 1", Webp(Vp8x(0, 1u << 24, 1)), true, 1u << 24, 1, 1},
      {"exif after a padded chunk",
       Webp(Vp8x(8, 3, 2) + Chunk("ICCP", {1, 2, 3}) + Chunk("EXIF", Tiff(7))), true, 3, 2, 7},
      {"exif after Exif\\0\\0",
       Webp(Vp8x(8, 3, 2) + Chunk("EXIF", Text("Exif") + Bytes(2) + Tiff(5))), true, 3, 2, 5},
      {"exif without its flag", Webp(Vp8x(0, 3, 2) + Chunk("EXIF", Tiff(6))), true, 3, 2, 1},
      // Up to 64 chunks after the canvas are looked through for the EXIF chunk.
      {"exif as the 64th chunk", Webp(Vp8x(8, 3, 2) + junk(63) + Chunk("EXIF", Tiff(7))), true, 3,
       2, 7},
      {"exif as the 65th chunk", Webp(Vp8x(8, 3, 2) + junk(64) + Chunk("EXIF", Tiff(7))), true, 3,
       2, 1},
  };
  for (const Expected& c : cases) Check(c, PictureFormat::Webp);
  // Only flag bit 3 says there is an EXIF chunk; the others (alpha, ICC profile, XMP,
  // animation and the reserved bits) do not.
  for (int flags = 0; flags < 256; ++flags) {
    const Bytes file = Webp(Vp8x(uint8_t(flags), 3, 2) + Chunk("EXIF", Tiff(6)));
    Check({"flags", file, true, 3, 2, (flags & 8) ? 6 : 1}, PictureFormat::Webp);
  }
}

Bytes Box(const std::string& type, const Bytes& body) {
  return Be32(uint32_t(body.size() + 8)) + Text(type) + body;
}
Bytes FullBox(const std::string& type, uint8_t version, uint8_t flags, const Bytes& body) {
  return Box(type, Bytes{version, 0, 0, flags} + body);
}
Bytes Ispe(uint32_t w, uint32_t h) { return FullBox("ispe", 0, 0, Be32(w) + Be32(h)); }
size_t Find(const Bytes& b, const char* type) {  // where the box of `type` starts
  return size_t(std::search(b.begin(), b.end(), type, type + 4) - b.begin()) - 4;
}
void Set32(Bytes* b, size_t at, uint32_t v) {
  std::copy_n(Be32(v).begin(), 4, b->begin() + long(at));
}

// A HEIF file: brands, a 32-bit primary id (pitm version 1), items with their types and
// 15-bit property indices (ipma version 1, flag 1: 32-bit ids, two-byte indices), ipco. The
// item count of iinf is 32 bits (version 1) or 16 (version 0); each infe's item id 32 bits
// (version 3) or 16 (version 2).
Bytes Heif(const std::string& brands, uint32_t primary,
           const std::vector<std::pair<uint32_t, std::vector<uint16_t>>>& items,
           const std::string& type, const Bytes& properties, uint8_t iinfVersion = 1,
           uint8_t infeVersion = 3) {
  Bytes infes, ipma = Be32(uint32_t(items.size()));
  for (const auto& item : items) {
    const Bytes id =
        infeVersion == 2 ? Bytes{uint8_t(item.first >> 8), uint8_t(item.first)} : Be32(item.first);
    infes = infes + FullBox("infe", infeVersion, 0, id + Bytes(2) + Text(type));
    ipma = ipma + Be32(item.first) + Bytes{uint8_t(item.second.size())};
    for (uint16_t p : item.second) ipma = ipma + Bytes{uint8_t(p >> 8), uint8_t(p)};
  }
  const Bytes meta =
      FullBox("hdlr", 0, 0, Bytes(20)) + FullBox("pitm", 1, 0, Be32(primary)) +
      FullBox("iinf", iinfVersion, 0,
              (iinfVersion == 0 ? Bytes{0, uint8_t(items.size())} : Be32(uint32_t(items.size()))) +
                  infes) +
      Box("iprp", Box("ipco", properties) + FullBox("ipma", 1, 1, ipma));
  return Box("ftyp", Text(brands.substr(0, 4)) + Bytes(4) + Text(brands)) +
         FullBox("meta", 0, 0, meta) + Box("mdat", Bytes(16, 0xAB));
}

TEST(PictureFormats, HeifItemsAndTheirProperties) {
  const Bytes props = Ispe(16, 10) + Ispe(300, 200) + Box("irot", {1}) + Box("imir", {1});
  using P = PictureFormat;
  // Item 70000 after a thumbnail; index 0 is none, 9 past ipco's end; the top bit says
  // essential. The turn, then the mirror: orientation 7, as the real o7 file.
  const auto items = std::vector<std::pair<uint32_t, std::vector<uint16_t>>>{
      {5, {1}}, {70000, {0, 9, 0x8002, 0x8003, 4}}};
  const auto items16 = std::vector<std::pair<uint32_t, std::vector<uint16_t>>>{
      {5, {1}}, {7, {0, 9, 0x8002, 0x8003, 4}}};
  const struct {
    Expected expected;
    PictureFormat format;
  } cases[] = {
      {{"heic", Heif("heicmif1", 70000, items, "hvc1", props), true, 300, 200, 7}, P::Heif},
      {{"avif grid", Heif("avifmif1", 70000, items, "grid", props), true, 300, 200, 7}, P::Avif},
      {{"av01 under heic", Heif("heicmif1", 70000, items, "av01", props), true, 300, 200, 7},
       P::Avif},
      {{"av01 under heic, 16-bit item count", Heif("heicmif1", 70000, items, "av01", props, 0),
        true, 300, 200, 7},
       P::Avif},
      {{"hvc1 under avif, 16-bit item count", Heif("avifmif1", 70000, items, "hvc1", props, 0),
        true, 300, 200, 7},
       P::Heif},
      {{"av01 under heic, 16-bit item ids", Heif("heicmif1", 7, items16, "av01", props, 0, 2), true,
        300, 200, 7},
       P::Avif},
      {{"hvc1 under avif, 16-bit item ids", Heif("avifmif1", 7, items16, "hvc1", props, 0, 2), true,
        300, 200, 7},
       P::Heif},
      {{"ispe of 2^32 - 1 each way", Heif("mif1", 1, {{1, {1}}}, "hvc1", Ispe(~0u, ~0u)), true, ~0u,
        ~0u, 1},
       P::Heif},
      {{"no ispe", Heif("mif1", 70000, items, "hvc1", Box("irot", {1})), false, 0, 0, 1}, P::Heif},
      {{"primary not listed", Heif("mif1", 6, items, "hvc1", props), false, 0, 0, 1}, P::Heif},
      // The only property of the item a box whose 64-bit size is cut off by ipco's end.
      {{"64-bit header cut short",
        Heif("mif1", 1, {{1, {2}}}, "hvc1", Ispe(300, 200) + Be32(1) + Text("free") + Bytes(4)),
        false, 0, 0, 1},
       P::Heif},
      {{"video brands", Heif("isomiso2", 70000, items, "hvc1", props), false, 0, 0, 1}, P::Heif},
      // The picture brand as the last compatible brand, ending the box.
      {{"picture brand last", Heif("isommif1", 70000, items, "hvc1", props), true, 300, 200, 7},
       P::Heif},
  };
  for (const auto& c : cases) Check(c.expected, c.format);
  // The primary item's own type decides, not that of an item listed before it (here a
  // thumbnail of the other coding), with 16- and 32-bit item ids.
  for (uint8_t infeVersion : {2, 3}) {
    for (const auto& types : {std::make_pair("av01", "hvc1"), std::make_pair("hvc1", "av01")}) {
      Bytes file = Heif("mif1", 7, items16, types.first, props, 0, infeVersion);
      const size_t thumbnail = Find(file, "infe") + (infeVersion == 2 ? 16 : 18);
      std::copy_n(types.second, 4, file.begin() + long(thumbnail));
      Check({types.first, file, true, 300, 200, 7}, types.first[0] == 'a' ? P::Avif : P::Heif);
    }
  }
  // Each picture brand alone makes an item file; the AV1 ones make a grid an AVIF.
  for (const char* brand : {"avif", "avis", "avio", "mif1", "mif2", "msf1", "miaf", "heic", "heix",
                            "heim", "heis", "hevc", "hevx"}) {
    const P format = std::string(brand).rfind("av", 0) == 0 ? P::Avif : P::Heif;
    Check({brand, Heif(brand, 70000, items, "grid", props), true, 300, 200, 7}, format);
  }

  // An ftyp of its major brand and minor version only, with no list of compatible brands.
  const Bytes listed = Heif("mif1", 70000, items, "hvc1", props);
  ASSERT_EQ(Find(listed, "ftyp"), 0u);
  ASSERT_EQ(listed[3], 20);  // 8 + major, minor and one compatible brand
  const Bytes majorOnly =
      Box("ftyp", Text("mif1") + Bytes(4)) + Bytes(listed.begin() + 20, listed.end());
  Check({"major brand only", majorOnly, true, 300, 200, 7}, P::Heif);
  // The four bytes after the major brand are its minor version, a number, not a brand.
  const Bytes grid = Heif("mif1", 70000, items, "grid", props);
  for (const char* minor : {"mif1", "avif"}) {
    const Bytes rest(grid.begin() + 20, grid.end());
    Check({"minor version", Box("ftyp", Text("isom") + Text(minor) + Text("isom")) + rest, false, 0,
           0, 1},
          P::Heif);
    Check({"minor version", Box("ftyp", Text("mif1") + Text(minor) + Text("mif1")) + rest, true,
           300, 200, 7},
          P::Heif);
  }

  // pitm last in meta with a 64-bit size of 8, which ends inside its own 16-byte header:
  // taken for a box, its body would lie past its end and still name item 1.
  const Bytes one = Heif("mif1", 1, {{1, {1}}}, "hvc1", Ispe(3, 2));
  const size_t meta = Find(one, "meta"), pitm = Find(one, "pitm"), iinf = Find(one, "iinf");
  const size_t mdat = Find(one, "mdat");
  for (uint32_t size : {8u, 24u}) {
    const Bytes body = Bytes(one.begin() + long(meta) + 12, one.begin() + long(pitm)) +
                       Bytes(one.begin() + long(iinf), one.begin() + long(mdat)) + Be32(1) +
                       Text("pitm") + Be32(0) + Be32(size) + Bytes{1, 0, 0, 0} + Be32(1);
    const Bytes file = Bytes(one.begin(), one.begin() + long(meta)) + FullBox("meta", 0, 0, body) +
                       Bytes(one.begin() + long(mdat), one.end());
    Check({"pitm last", file, size == 24, 3, 2, 1}, P::Heif);
  }

  // Metadata running to the end of the file with its item information last: whole, that
  // names the primary item's coding; cut off by the file's end, it is not read and the
  // brands decide.
  const Bytes infe = FullBox("infe", 2, 0, Bytes{0, 1, 0, 0} + Text("av01"));
  const Bytes iprp =
      Box("iprp", Box("ipco", Ispe(3, 2)) + FullBox("ipma", 0, 0, Be32(1) + Bytes{0, 1, 1, 0x81}));
  for (uint32_t past : {0u, 1u}) {
    Bytes iinf = FullBox("iinf", 0, 0, Bytes{0, 1} + infe);
    Set32(&iinf, 0, uint32_t(iinf.size() + past));
    const Bytes file = Box("ftyp", Text("mif1") + Bytes(4) + Text("mif1")) + Be32(0) +
                       Text("meta") + Bytes(4) + FullBox("pitm", 0, 0, {0, 1}) + iprp + iinf;
    Check({"item information last", file, true, 3, 2, 1}, past == 0 ? P::Avif : P::Heif);
  }
}

// `file` (made by Heif) with its item property box's body replaced.
Bytes WithIprp(const Bytes& file, const Bytes& iprp) {
  const size_t meta = Find(file, "meta"), at = Find(file, "iprp"), mdat = Find(file, "mdat");
  Bytes b = Bytes(file.begin(), file.begin() + long(at)) + Box("iprp", iprp) +
            Bytes(file.begin() + long(mdat), file.end());
  Set32(&b, meta, uint32_t(at - meta + 8 + iprp.size()));
  return b;
}

// The first listing of the primary item in the association boxes counts, in whichever box
// it is; a box too short for its own header or its entry is passed over. Of its properties
// the first spatial extent counts, and a property box that is cut or lying is no property.
TEST(PictureFormats, HeifAssociationsAndBrokenProperties) {
  const Bytes file = Heif("mif1", 1, {{1, {1}}}, "hvc1", Ispe(3, 2));
  const Bytes ipco = Box("ipco", Ispe(16, 10) + Ispe(300, 200) + Box("irot", {1}));
  // Version 1, flag 1: 32-bit item ids, two-byte indices.
  const Bytes wide = FullBox("ipma", 1, 1, Be32(1) + Be32(1) + Bytes{2, 0x80, 0x02, 0, 3});
  // Version 0, no flags: 16-bit ids, one-byte indices whose top bit says essential.
  auto narrow = [](const Bytes& entries, uint8_t count) {
    return FullBox("ipma", 0, 0, Be32(count) + entries);
  };
  const Expected cases[] = {
      {"listed in the second box", WithIprp(file, ipco + narrow({0, 5, 1, 0x81}, 1) + wide), true,
       300, 200, 8},
      {"listed in the first box", WithIprp(file, ipco + narrow({0, 1, 1, 0x82}, 1) + wide), true,
       300, 200, 1},
      {"first box shorter than its header",
       WithIprp(file, ipco + FullBox("ipma", 0, 0, {0, 0}) + wide), true, 300, 200, 8},
      {"first box's entries end before their count",
       WithIprp(file, ipco + narrow({0, 5, 1, 0x81}, 2) + wide), true, 300, 200, 8},
      {"first box's entry cut", WithIprp(file, ipco + narrow({0, 1, 3, 0x82}, 1) + wide), true, 300,
       200, 8},
      {"an entry past the first box's count",
       WithIprp(file, ipco + narrow({0, 5, 1, 0x81, 0, 1, 1, 0x81}, 1) + wide), true, 300, 200, 8},
      {"first listing holds no property", WithIprp(file, ipco + narrow({0, 1, 0}, 1) + wide), false,
       0, 0, 1},
      {"two extents, the first counts",
       WithIprp(file, ipco + FullBox("ipma", 0, 0, Be32(1) + Bytes{0, 1, 2, 2, 1})), true, 300, 200,
       1},
      {"the extent's box smaller than its header",
       Heif("mif1", 1, {{1, {2}}}, "hvc1", Ispe(300, 200) + Be32(7) + Text("ispe") + Bytes(12)),
       false, 0, 0, 1},
      {"the extent's box past its container",
       Heif("mif1", 1, {{1, {2}}}, "hvc1", Ispe(300, 200) + Be32(21) + Text("ispe") + Bytes(12)),
       false, 0, 0, 1},
  };
  for (const Expected& c : cases) Check(c, PictureFormat::Heif);

  // An 8-bit count: at most 255 properties for an item, here the last its extent.
  std::vector<uint16_t> many(254, 0);
  many.push_back(2);
  Check({"255 properties", Heif("mif1", 1, {{1, many}}, "hvc1", Ispe(16, 10) + Ispe(300, 200)),
         true, 300, 200, 1},
        PictureFormat::Heif);
}

// An icon of 0x7466 images whose first is 121 x 112 spells "ftyp" at 4, after a size of
// 256 in its first four bytes: a file type box naming a picture brand. When no HEIF can be
// read from what follows, it is still that icon.
TEST(PictureFormats, IconThatSpellsAFileTypeBox) {
  Bytes brands = Text("mif1") + Bytes(4) + Text("mif1");
  brands.resize(256 - 8);
  const Bytes icon = Box("ftyp", brands);
  ASSERT_EQ(Bytes(icon.begin(), icon.begin() + 8), (Bytes{0, 0, 1, 0, 'f', 't', 'y', 'p'}));
  const Bytes iprp = Box("iprp", Box("ipco", Ispe(3, 2)));
  const Bytes tails[] = {
      {},
      FullBox("meta", 0, 0, FullBox("pitm", 0, 0, {0, 1})),         // no iprp
      FullBox("meta", 0, 0, Box("pitm", {0, 0}) + iprp),            // pitm cut in its header
      FullBox("meta", 0, 0, FullBox("pitm", 1, 0, {0, 1}) + iprp),  // a 32-bit id cut
      FullBox("meta", 0, 0, FullBox("pitm", 0, 0, {0, 1}) + iprp),  // no ipma
  };
  // So is one whose directory, read as brands, names no picture brand at all.
  std::vector<Bytes> files;
  for (const Bytes& tail : tails) files.push_back(icon + tail);
  files.push_back(Box("ftyp", Bytes(256 - 8, 0)));
  for (const Bytes& file : files) {
    PictureHeader h;
    ASSERT_TRUE(Read(file, &h)) << file.size();
    EXPECT_EQ(h.format, PictureFormat::Ico) << file.size();
    EXPECT_EQ(h.width, 121u) << file.size();
    EXPECT_EQ(h.height, 112u) << file.size();
  }
}

TEST(PictureFormats, HostileBoxesInARealAvif) {
  const Bytes real = Load(kFixtures + "avif/o6_40x24.avif");
  const size_t meta = Find(real, "meta"), hdlr = Find(real, "hdlr"), ispe = Find(real, "ispe");
  const size_t mdat = Find(real, "mdat");
  ASSERT_TRUE(meta < hdlr && hdlr < ispe && ispe < mdat);  // meta, then mdat to the end
  auto with = [&](size_t at, uint32_t v) {
    Bytes b = real;
    Set32(&b, at, v);
    return b;
  };
  const Bytes head(real.begin(), real.begin() + long(meta));
  const Bytes metaBody(real.begin() + long(meta) + 8, real.begin() + long(mdat));
  const Bytes mdatBox(real.begin() + long(mdat), real.end());
  Bytes selfLarge = with(hdlr, 1);  // a 64-bit size of 8, inside its own 16-byte header
  Set32(&selfLarge, hdlr + 8, 0);
  Set32(&selfLarge, hdlr + 12, 8);
  const Expected cases[] = {
      {"64-bit meta size",
       head + Be32(1) + Text("meta") + Be32(0) + Be32(uint32_t(mdat - meta + 8)) + metaBody +
           mdatBox,
       true, 40, 24, 6},
      {"meta last, to the end", head + mdatBox + Be32(0) + Text("meta") + metaBody, true, 40, 24,
       6},
      {"mdat to the end", with(mdat, 0), true, 40, 24, 6},
      {"ispe of 2^32 - 1", with(ispe + 12, ~0u), true, ~0u, 24, 6},
      {"ispe width 0", with(ispe + 12, 0), false, 0, 0, 1},
      {"ispe height 0", with(ispe + 16, 0), false, 0, 0, 1},
      {"meta one byte past the file", with(meta, uint32_t(real.size() - meta + 1)), false, 0, 0, 1},
      {"a child past meta", with(hdlr, uint32_t(mdat - hdlr + 1)), false, 0, 0, 1},
      {"a box smaller than its header", with(hdlr, 7), false, 0, 0, 1},
      {"a 64-bit size pointing into itself", selfLarge, false, 0, 0, 1},
      {"ftyp larger than the file", with(0, 0x7FFFFFFF), false, 0, 0, 1},
  };
  for (const Expected& c : cases) Check(c, PictureFormat::Avif);
}

// Writes bits from least to most significant, as the codestream packs them.
struct Bits {
  Bytes bytes = {0xFF, 0x0A};
  size_t count = 0;
  Bits& Add(uint32_t value, int n) {
    for (int i = 0; i < n; ++i, ++count) {
      if (count % 8 == 0) bytes.push_back(0);
      bytes.back() |= uint8_t(((value >> i) & 1) << (count % 8));
    }
    return *this;
  }
};

Bytes JxlContainer(const Bytes& boxes) {
  return Bytes{0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A} +
         Box("ftyp", Text("jxl ") + Bytes(4) + Text("jxl ")) + boxes;
}

TEST(PictureFormats, JpegXlSizeHeadersAndContainers) {
  // The largest height (30-bit field) at a 2:1 ratio: a width of 2^31.
  const Bytes largest =
      Bits().Add(0, 1).Add(3, 2).Add((1u << 30) - 1, 30).Add(7, 3).Add(1, 9).bytes;
  // 262144 x 8192: the largest heights of the 13- and 18-bit fields, then an all-default
  // metadata bit, which a field read one bit too long would take in.
  const Bytes middleFields =
      Bits().Add(0, 1).Add(1, 2).Add(8191, 13).Add(0, 3).Add(2, 2).Add(262143, 18).Add(1, 1).bytes;
  // 8 x 256 in the short form, then orientation 8 after the two metadata bits, then bits
  // that are no part of it.
  const Bytes shortForm =
      Bits().Add(1, 1).Add(31, 5).Add(0, 8).Add(2, 2).Add(7, 3).Add(31, 5).bytes;
  // Without extra fields the orientation is 1, whatever bits follow.
  const Bytes noExtras = Bits().Add(1, 1).Add(0, 5).Add(1, 3).Add(0, 2).Add(7, 3).bytes;
  // The real o6 codestream in one-byte pieces with other boxes between them.
  const Bytes real = Load(kFixtures + "jxl/bare_o6_40x24.jxl");
  Bytes pieces;
  for (uint32_t i = 0; i < 20; ++i) {
    pieces = pieces + Box("jxlp", Be32(i == 19 ? 0x80000000u | i : i) + Bytes{real.at(i)}) +
             Box("free", {});
  }
  Bytes lastTooSoon = pieces;  // the second piece (after 13 + 8 bytes) says it is the last
  lastTooSoon[13 + 8 + 8] = 0x80;
  Bytes counterBits = pieces;  // only the top bit marks the last, not the 31 counter bits
  std::fill_n(counterBits.begin() + 8, 4, 0xFF);
  counterBits[8] = 0x7F;
  const Expected cases[] = {
      {"2^31 x 2^30", largest, true, 1u << 31, 1u << 30, 1},
      {"2^18 x 2^13", middleFields, true, 1u << 18, 1u << 13, 1},
      {"short form", shortForm, true, 8, 256, 8},
      {"cut in the orientation", Bytes(shortForm.begin(), shortForm.begin() + 4), false, 0, 0, 1},
      {"no extra fields", noExtras, true, 8, 8, 1},
      {"one-byte pieces", JxlContainer(pieces), true, 40, 24, 6},
      {"last piece too soon", JxlContainer(lastTooSoon), false, 0, 0, 1},
      {"a piece index of 2^31 - 1", JxlContainer(counterBits), true, 40, 24, 6},
      {"no codestream box", JxlContainer(Box("Exif", real)), false, 0, 0, 1},
      {"piece without its index", JxlContainer(Box("jxlp", {0, 0})), false, 0, 0, 1},
  };
  for (const Expected& c : cases) Check(c, PictureFormat::JpegXl);
}

// A source that fills the whole buffer, zeros past the file's end, and reports only the
// file's bytes, as a stream that pads its last block may.
class PaddingSource final : public ByteSource {
 public:
  explicit PaddingSource(Bytes data) : data_(std::move(data)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    std::fill_n(static_cast<uint8_t*>(buffer), size, 0);
    MemoryByteSource source(data_.data(), data_.size());
    return source.ReadAt(offset, buffer, size);
  }

 private:
  Bytes data_;
};

// Only the bytes a source reports are the file's: a codestream that ends right before its
// extra-fields bit is cut, though the padding after it would read as a whole header.
TEST(PictureFormats, JpegXlCodestreamEndsWhereTheFileDoes) {
  // 300 x 300 in 9-bit fields at 1:1, then not all default: 16 bits.
  const Bits head = Bits().Add(0, 1).Add(0, 2).Add(299, 9).Add(1, 3).Add(0, 1);
  const Bytes cut = head.bytes, whole = Bits(head).Add(0, 1).bytes;
  ASSERT_EQ(cut.size(), 4u);
  const std::pair<Bytes, bool> files[] = {{cut, false},
                                          {whole, true},
                                          {JxlContainer(Box("jxlc", cut)), false},
                                          {JxlContainer(Box("jxlc", whole)), true}};
  for (const auto& file : files) {
    PaddingSource source(file.first);
    PictureHeader h;
    ASSERT_EQ(ReadPictureHeader(source, &h), file.second) << file.first.size();
    if (!file.second) continue;
    EXPECT_EQ(h.width, 300u);
    EXPECT_EQ(h.height, 300u);
    EXPECT_EQ(h.orientation, 1);
  }
}

// Each level of boxes is walked to its 256th box, and items and properties to their 4096th:
// the limits that stop hostile files, with room for pictures made of many tiles.
TEST(PictureFormats, BoxesItemsAndPropertiesUpToTheirLimits) {
  const Bytes codestream = Load(kFixtures + "jxl/bare_33x17.jxl");
  for (int before : {254, 255}) {  // after ftyp, the first
    Bytes boxes;
    for (int i = 0; i < before; ++i) Append(&boxes, Box("free", {}));
    Check(
        {"codestream box", JxlContainer(boxes + Box("jxlc", codestream)), before == 254, 33, 17, 1},
        PictureFormat::JpegXl);
  }
  const Bytes file = Heif("mif1", 1, {{1, {1}}}, "hvc1", Ispe(3, 2));
  // Brands: the major brand and 31 compatible ones are looked through.
  for (int before : {30, 31}) {
    Bytes brands = Text("isom") + Bytes(4);
    for (int i = 0; i < before; ++i) Append(&brands, Text("iso2"));
    Append(&brands, Text("mif1"));
    Check({"brand", Box("ftyp", brands) + Bytes(file.begin() + 20, file.end()), before == 30, 3, 2,
           1},
          PictureFormat::Heif);
  }
  for (uint32_t before : {4095u, 4096u}) {
    Bytes ipma = Be32(before + 1);
    for (uint32_t i = 0; i < before; ++i) Append(&ipma, Be32(100 + i) + Bytes{0});
    Append(&ipma, Be32(1) + Bytes{1, 1});
    Check({"association", WithIprp(file, Box("ipco", Ispe(300, 200)) + FullBox("ipma", 1, 0, ipma)),
           before == 4095, 300, 200, 1},
          PictureFormat::Heif);
    Bytes properties;
    for (uint32_t i = 0; i < before; ++i) Append(&properties, Box("free", {}));
    const uint16_t index = uint16_t(before + 1);
    Check({"property",
           WithIprp(file,
                    Box("ipco", properties + Ispe(300, 200)) +
                        FullBox("ipma", 0, 1,
                                Bytes{0, 0, 0, 1, 0, 1, 1, uint8_t(index >> 8), uint8_t(index)})),
           before == 4095, 300, 200, 1},
          PictureFormat::Heif);
  }
}

TEST(PictureFormats, JpegXrSpatialTransformsAsOrientations) {
  const Bytes real = Load(kFixtures + "jxr/jxr_33x17.jxr");
  const Bytes entry = {0x02, 0xBC, 4, 0, 1, 0, 0, 0};  // 0xBC02, LONG, one value
  const size_t at =
      size_t(std::search(real.begin(), real.end(), entry.begin(), entry.end()) - real.begin()) +
      entry.size();
  ASSERT_LT(at, real.size());
  // The values as published: 0 none, 1 mirror vertical, 2 mirror horizontal, 3 rotate 180,
  // 4 rotate 90 CW, 5 mirror horizontal and rotate 90 CW, 6 mirror horizontal and rotate
  // 270 CW, 7 rotate 270 CW; 8 is none of them.
  const int orientations[9] = {1, 4, 2, 3, 6, 7, 5, 8, 1};
  for (uint8_t value = 0; value <= 8; ++value) {
    Bytes b = real;
    b[at] = value;
    Check({"transform", b, true, 33, 17, orientations[value]}, PictureFormat::JpegXr);
  }
  // The same rotation by 90 degrees stored as a BYTE or a SHORT (little-endian, at the start
  // of the value field); a RATIONAL or two values are no transform.
  const struct {
    uint8_t type, count;
    int orientation;
  } types[] = {{1, 1, 6}, {3, 1, 6}, {4, 1, 6}, {5, 1, 1}, {3, 2, 1}};
  for (const auto& t : types) {
    Bytes b = real;
    b[at] = 4;
    b[at - 6] = t.type;
    b[at - 4] = t.count;
    Check({"transform type", b, true, 33, 17, t.orientation}, PictureFormat::JpegXr);
  }
  Bytes farIfd = real, version0 = real;
  std::fill_n(farIfd.begin() + 4, 4, 0xF0);
  version0[3] = 0;
  Check({"IFD past the end", farIfd, false, 0, 0, 1}, PictureFormat::JpegXr);
  // The IFD may follow the 8-byte header at once; it cannot start inside it.
  for (uint8_t ifd : {8, 7}) {
    const Bytes b = Bytes{'I', 'I', 0xBC, 1, ifd, 0, 0, 0} +
                    Bytes{2,    0, 0x80, 0xBC, 4, 0, 1, 0,  0, 0, 33, 0, 0, 0, 0x81,
                          0xBC, 4, 0,    1,    0, 0, 0, 17, 0, 0, 0,  0, 0, 0, 0};
    Check({"IFD right after the header", b, ifd == 8, 33, 17, 1}, PictureFormat::JpegXr);
  }
  Check({"version 0", version0, false, 0, 0, 1}, PictureFormat::JpegXr);
}

TEST(PictureFormats, TruncatedFilesGiveFalseOrTheWholeAnswer) {
  for (const char* name :
       {"webp/lossy_33x17.webp", "webp/lossless_33x17.webp", "webp/exif_o6_40x24.webp",
        "heif/heic_33x17.heic", "avif/o7_40x24.avif", "jxl/bare_33x17.jxl", "jxl/jpeg_o6_40x24.jxl",
        "jxr/jxr_33x17.jxr", "tga/palette_33x17.tga"}) {
    const Bytes whole = Load(kFixtures + name);
    const bool tga = std::string(name).rfind("tga/", 0) == 0;
    PictureHeader full;
    ASSERT_TRUE(Read(whole, &full, tga)) << name;
    for (size_t size = 0; size < whole.size(); ++size) {
      // Exactly-sized copies, so the sanitizer sees any read past the end.
      PictureHeader h;
      if (!Read(Bytes(whole.begin(), whole.begin() + long(size)), &h, tga)) continue;
      EXPECT_EQ(h.format, full.format) << name << " " << size;
      EXPECT_EQ(h.width, full.width) << name << " " << size;
      EXPECT_EQ(h.height, full.height) << name << " " << size;
      // A WebP's EXIF chunk comes after its size: cut there, only the orientation is lost.
      EXPECT_TRUE(h.orientation == full.orientation ||
                  (full.format == PictureFormat::Webp && h.orientation == 1))
          << name << " " << size;
    }
  }
}

using testsources::SparseSource;

// A real AVIF's metadata after a media data box of 5 GiB, whose size takes the 64-bit
// form (big-endian, as every box size): the metadata is found past it.
TEST(PictureFormats, MetadataAfterMediaDataLargerThan4GiB) {
  const Bytes real = Load(kFixtures + "avif/o6_40x24.avif");
  const size_t meta = Find(real, "meta"), mdat = Find(real, "mdat");
  ASSERT_LT(meta, mdat);
  const uint64_t large = 5ull << 30;
  const Bytes mdatHeader =
      Be32(1) + Text("mdat") + Be32(uint32_t(large >> 32)) + Be32(uint32_t(large));
  const Bytes metaBox(real.begin() + long(meta), real.begin() + long(mdat));
  for (uint64_t stated : {large, large + 1}) {  // the second runs past the metadata's start
    Bytes header = mdatHeader;
    Set32(&header, 12, uint32_t(stated));
    SparseSource source(
        meta + large + metaBox.size(),
        {{0, Bytes(real.begin(), real.begin() + long(meta)) + header}, {meta + large, metaBox}});
    PictureHeader h;
    ASSERT_EQ(ReadPictureHeader(source, &h), stated == large) << stated;
    if (stated != large) continue;
    EXPECT_EQ(h.format, PictureFormat::Avif);
    EXPECT_EQ(h.width, 40u);
    EXPECT_EQ(h.height, 24u);
    EXPECT_EQ(h.orientation, 6);
  }
}

using testsources::ThrowingSource;

// A JPEG XL container's size and orientation lie in the first bytes of its codestream: a
// stream that fails after them still gives them, whatever boxes would follow, whether the
// codestream is one box or pieces (each after its 4-byte index).
TEST(PictureFormats, JpegXlHeaderFromTheStartOfAStream) {
  const Bytes codestream = Load(kFixtures + "jxl/bare_o6_40x24.jxl");
  ASSERT_GT(codestream.size(), 20u);
  const Bytes head(codestream.begin(), codestream.begin() + 20);
  const Bytes tail(codestream.begin() + 20, codestream.end());
  const Bytes whole = JxlContainer(Box("jxlc", codestream) + Box("Exif", Bytes(20)));
  const Bytes pieces =
      JxlContainer(Box("jxlp", Be32(0) + head) + Box("jxlp", Be32(0x80000001u) + tail));
  for (const Bytes& file : {whole, pieces}) {
    const size_t start = file == pieces ? Find(file, "jxlp") + 12 : Find(file, "jxlc") + 8;
    ASSERT_LT(start + 16, file.size());
    for (size_t good : {start + 16, file.size()}) {
      ThrowingSource source(file, good);
      PictureHeader h;
      ASSERT_TRUE(ReadPictureHeader(source, &h)) << good;
      EXPECT_EQ(h.width, 40u);
      EXPECT_EQ(h.height, 24u);
      EXPECT_EQ(h.orientation, 6);
    }
  }
  // A codestream box shorter than that is the whole codestream: nothing after it is read.
  const Bytes small = Bits().Add(1, 1).Add(4, 5).Add(1, 3).Add(1, 1).bytes;  // 40 x 40
  const Bytes file = JxlContainer(Box("jxlc", small) + Box("Exif", Bytes(20)));
  ThrowingSource source(file, Find(file, "jxlc") + 8 + small.size());
  PictureHeader h;
  ASSERT_TRUE(ReadPictureHeader(source, &h));
  EXPECT_EQ(h.width, 40u);
  EXPECT_EQ(h.height, 40u);
}

// A file of `prefix`, then `pattern` over and over, that counts its reads.
class EndlessSource final : public ByteSource {
 public:
  EndlessSource(Bytes prefix, Bytes pattern)
      : prefix_(std::move(prefix)), pattern_(std::move(pattern)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    ++reads;
    for (size_t i = 0; i < size; ++i) {
      const uint64_t at = offset + i;
      static_cast<uint8_t*>(buffer)[i] =
          at < prefix_.size() ? prefix_[at] : pattern_[(at - prefix_.size()) % pattern_.size()];
    }
    return size;
  }
  int reads = 0;

 private:
  Bytes prefix_, pattern_;
};

TEST(PictureFormats, EndlessBoxesAndChunksStopAfterBoundedWork) {
  const Bytes ftyp = Box("ftyp", Text("heic") + Bytes(4) + Text("mif1"));
  const Bytes metaToEnd = Be32(0) + Text("meta") + Bytes(4);
  // The item's one property is ipco's 32767th, after endless ispe boxes of 0 x 0.
  const Bytes farProperty = metaToEnd + FullBox("pitm", 0, 0, {0, 1}) + Be32(0) + Text("iprp") +
                            FullBox("ipma", 0, 1, {0, 0, 0, 1, 0, 1, 1, 0xFF, 0xFF}) + Be32(0) +
                            Text("ipco");
  const struct {
    const char* name;
    Bytes prefix, pattern;
    bool read;
  } cases[] = {
      {"top-level boxes", ftyp, Box("free", {}), false},
      {"meta's boxes", ftyp + metaToEnd, Box("free", {}), false},
      {"properties", ftyp + farProperty, Ispe(0, 0), false},
      {"codestream pieces", JxlContainer({}), Box("jxlp", Be32(0)), false},
      {"webp chunks before an exif", Webp(Vp8x(8, 3, 2)), Chunk("JUNK", {}), true},
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
