// The picture header reader against small hand-made files of every format, all EXIF
// orientations in both byte orders, and hostile headers: truncated, lying and endless.
#include "fitting/portable/picture_header.h"
#include "tests/native/test_byte_sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace framewise {
namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes* b, const std::string& text) { b->insert(b->end(), text.begin(), text.end()); }
void Put16(Bytes* b, uint32_t v, bool le) {
  le ? Put(b, {char(v), char(v >> 8)}) : Put(b, {char(v >> 8), char(v)});
}
void Put32(Bytes* b, uint32_t v, bool le) {
  Put16(b, le ? v & 0xFFFF : v >> 16, le);
  Put16(b, le ? v >> 16 : v & 0xFFFF, le);
}

struct Entry {
  uint16_t tag, type;
  uint32_t count, value;
};

// A TIFF structure with IFD0 at `ifd` holding `entries` (SHORT values in the first two
// bytes of the value field) and a next-IFD pointer of `next`; `claimed` overrides the count.
Bytes Tiff(bool le, const std::vector<Entry>& entries, uint32_t ifd = 8, uint32_t next = 0,
           int claimed = -1) {
  Bytes b;
  Put(&b, le ? std::string("II*\0", 4) : std::string("MM\0*", 4));
  Put32(&b, ifd, le);
  if (ifd < 4096) b.resize(std::max<size_t>(b.size(), ifd));  // far ones stay dangling
  Put16(&b, claimed >= 0 ? uint32_t(claimed) : uint32_t(entries.size()), le);
  for (const Entry& e : entries) {
    Put16(&b, e.tag, le);
    Put16(&b, e.type, le);
    Put32(&b, e.count, le);
    if (e.type == 3) {
      Put16(&b, e.value, le);
      Put16(&b, 0, le);
    } else {
      Put32(&b, e.value, le);
    }
  }
  Put32(&b, next, le);
  return b;
}

Entry Orientation(uint32_t value) { return {274, 3, 1, value}; }

void Segment(Bytes* b, uint8_t marker, const Bytes& body) {
  Put(b, {char(0xFF), char(marker)});
  Put16(b, uint32_t(body.size() + 2), false);
  b->insert(b->end(), body.begin(), body.end());
}

// A JPEG with other segments around its Exif block, fill bytes and a restart marker before
// the frame header (`sof`), then the scan.
Bytes Jpeg(bool le, int orientation, uint16_t w = 640, uint16_t h = 480, uint8_t sof = 0xC0) {
  Bytes b = {0xFF, 0xD8};
  Segment(&b, 0xE0, Bytes{'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0});
  Segment(&b, 0xE1, Bytes{'h', 't', 't', 'p', ':', 0});  // an APP1 that is not Exif
  Bytes exif = {'E', 'x', 'i', 'f', 0, 0};
  const Bytes tiff = Tiff(le, {{256, 4, 1, 99}, Orientation(uint32_t(orientation))});
  exif.insert(exif.end(), tiff.begin(), tiff.end());
  Segment(&b, 0xE1, exif);
  Segment(&b, 0xE2, Bytes(40, 0xAB));
  Segment(&b, 0xDB, Bytes(65, 1));
  Segment(&b, 0xC4, Bytes(20, 2));  // DHT sits in the frame-header range but is none
  Put(&b, {char(0xFF), char(0xFF), char(0xFF), char(0xD3)});
  Bytes frame = {8};
  Put16(&frame, h, false);
  Put16(&frame, w, false);
  Put(&frame, {1, 1, 0x11, 0});
  Segment(&b, sof, frame);
  Segment(&b, 0xDA, Bytes{1, 1, 0, 0, 63, 0});
  Put(&b, {0x12, 0x34, char(0xFF), char(0xD9)});
  return b;
}

Bytes Png(uint32_t w, uint32_t h, const char* type = "IHDR") {
  Bytes b;
  Put(&b, "\x89PNG\r\n\x1A\n");
  Put32(&b, 13, false);
  Put(&b, type);
  Put32(&b, w, false);
  Put32(&b, h, false);
  Put(&b, std::string("\x08\x02\0\0\0", 5));
  return b;
}

Bytes Bmp(uint32_t dibSize, uint32_t w, uint32_t h) {
  Bytes b = {'B', 'M'};
  b.resize(14);
  Put32(&b, dibSize, true);
  if (dibSize == 12) {
    Put16(&b, w, true);
    Put16(&b, h, true);
  } else {
    Put32(&b, w, true);
    Put32(&b, h, true);
  }
  b.resize(14 + dibSize);
  return b;
}

Bytes Ico(uint8_t w, uint8_t h, uint16_t type = 1, uint16_t count = 1) {
  Bytes b;
  Put16(&b, 0, true);
  Put16(&b, type, true);
  Put16(&b, count, true);
  Put(&b, {char(w), char(h)});
  b.resize(22);
  return b;
}

// A placeable metafile header with its bounding box.
Bytes Wmf(int16_t left, int16_t top, int16_t right, int16_t bottom) {
  Bytes b;
  Put32(&b, 0x9AC6CDD7u, true);
  for (int16_t v : {int16_t(0), left, top, right, bottom}) Put16(&b, uint16_t(v), true);
  b.resize(22);
  return b;
}

// An enhanced metafile's header record with its frame (hundredths of a millimetre).
Bytes Emf(int32_t left, int32_t top, int32_t right, int32_t bottom, uint32_t signature = 0x464D4520u) {
  Bytes b;
  Put32(&b, 1, true);
  Put32(&b, 88, true);
  b.resize(24);
  for (int32_t v : {left, top, right, bottom}) Put32(&b, uint32_t(v), true);
  Put32(&b, signature, true);
  b.resize(88);
  return b;
}

Bytes Cut(Bytes b, size_t size) {
  b.resize(size);
  return b;
}

bool Read(const Bytes& b, PictureHeader* header) {
  MemoryByteSource source(b.data(), b.size());
  return ReadPictureHeader(source, header);
}

int ExifOf(const Bytes& b) {
  MemoryByteSource source(b.data(), b.size());
  return ReadExifOrientation(source);
}

struct FormatCase {
  const char* name;
  Bytes bytes;
  PictureFormat format;
  uint32_t w, h;
  int orientation;
};

TEST(PictureHeader, ReadsEveryFormat) {
  const FormatCase cases[] = {
      {"jpeg II", Jpeg(true, 6), PictureFormat::Jpeg, 640, 480, 6},
      {"jpeg MM", Jpeg(false, 3), PictureFormat::Jpeg, 640, 480, 3},
      {"progressive jpeg", Jpeg(true, 1, 65535, 1, 0xC2), PictureFormat::Jpeg, 65535, 1, 1},
      {"png", Png(3000000000u, 7), PictureFormat::Png, 3000000000u, 7, 1},
      {"png cut after its size", Cut(Png(5, 3), 24), PictureFormat::Png, 5, 3, 1},
      {"gif87a",
       {'G', 'I', 'F', '8', '7', 'a', 0x20, 0x03, 0x58, 0x02},
       PictureFormat::Gif,
       800,
       600,
       1},
      {"gif89a", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 0xFF, 0xFF}, PictureFormat::Gif, 1, 65535, 1},
      {"bmp core", Bmp(12, 0xFFFF, 2), PictureFormat::Bmp, 65535, 2, 1},
      {"bmp info", Bmp(40, 1024, 768), PictureFormat::Bmp, 1024, 768, 1},
      {"bmp one pixel", Bmp(40, 1, 1), PictureFormat::Bmp, 1, 1, 1},
      {"bmp top-down", Bmp(124, 5, uint32_t(-300)), PictureFormat::Bmp, 5, 300, 1},
      {"bmp core cut after its size", Cut(Bmp(12, 3, 2), 22), PictureFormat::Bmp, 3, 2, 1},
      {"bmp info cut after its size", Cut(Bmp(40, 3, 2), 26), PictureFormat::Bmp, 3, 2, 1},
      {"tiff II", Tiff(true, {{257, 3, 1, 20}, {256, 3, 1, 10}, Orientation(8)}),
       PictureFormat::Tiff, 10, 20, 8},
      {"tiff MM long", Tiff(false, {{256, 4, 1, 70000}, {257, 4, 1, 3}}), PictureFormat::Tiff,
       70000, 3, 1},
      {"tiff, ifd after gap", Tiff(true, {{256, 3, 1, 4}, {257, 3, 1, 5}}, 100),
       PictureFormat::Tiff, 4, 5, 1},
      {"ico", Ico(48, 32), PictureFormat::Ico, 48, 32, 1},
      {"ico 0 is 256", Ico(0, 0), PictureFormat::Ico, 256, 256, 1},
      {"ico 256 wide", Ico(0, 48), PictureFormat::Ico, 256, 48, 1},
      {"ico 256 high", Ico(48, 0), PictureFormat::Ico, 48, 256, 1},
      {"wmf", Wmf(0, 0, 480, 320), PictureFormat::Wmf, 480, 320, 1},
      {"wmf flipped box", Wmf(100, 50, -380, -270), PictureFormat::Wmf, 480, 320, 1},
      {"wmf of one unit", Wmf(7, 7, 8, 8), PictureFormat::Wmf, 1, 1, 1},
      {"wmf widest box", Wmf(-32768, 32767, 32767, -32768), PictureFormat::Wmf, 65535, 65535, 1},
      {"wmf cut after its box", Cut(Wmf(0, 0, 480, 320), 16), PictureFormat::Wmf, 480, 320, 1},
      {"emf", Emf(0, 0, 12700, 8466), PictureFormat::Emf, 12700, 8466, 1},
      {"emf of one unit", Emf(-1, -1, 0, 0), PictureFormat::Emf, 1, 1, 1},
      {"emf widest frame", Emf(INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX), PictureFormat::Emf,
       UINT32_MAX, UINT32_MAX, 1},
      {"emf cut after its signature", Cut(Emf(0, 0, 3, 2), 44), PictureFormat::Emf, 3, 2, 1},
  };
  for (const FormatCase& c : cases) {
    PictureHeader h;
    ASSERT_TRUE(Read(c.bytes, &h)) << c.name;
    EXPECT_EQ(h.format, c.format) << c.name;
    EXPECT_EQ(h.width, c.w) << c.name;
    EXPECT_EQ(h.height, c.h) << c.name;
    EXPECT_EQ(h.orientation, c.orientation) << c.name;
  }
}

TEST(PictureHeader, AllOrientationsInBothByteOrders) {
  for (int o = 1; o <= 8; ++o) {
    for (bool le : {true, false}) {
      const Bytes tiff = Tiff(le, {{256, 3, 1, 2}, {257, 3, 1, 1}, Orientation(uint32_t(o))});
      for (const Bytes& file : {Jpeg(le, o), tiff}) {
        PictureHeader h;
        ASSERT_TRUE(Read(file, &h)) << o << le;
        EXPECT_EQ(h.orientation, o) << o << le;
        EXPECT_EQ(ExifOf(file), o) << o << le;
      }
      EXPECT_EQ(OrientationFromTiff(tiff.data(), tiff.size()), o) << o << le;
      uint32_t w, hgt;
      UprightSize(PictureHeader{PictureFormat::Tiff, 2, 1, o}, &w, &hgt);
      EXPECT_EQ(w, o >= 5 ? 1u : 2u) << o;
      EXPECT_EQ(hgt, o >= 5 ? 2u : 1u) << o;
    }
  }
  EXPECT_FALSE(OrientationSwapsAxes(0));
  EXPECT_FALSE(OrientationSwapsAxes(9));
}

Bytes JpegWith(std::initializer_list<uint8_t> afterSoi) {
  Bytes b = {0xFF, 0xD8};
  b.insert(b.end(), afterSoi);
  return b;
}

TEST(PictureHeader, RejectsBadHeaders) {
  const Bytes jpeg = Jpeg(true, 1);
  const struct {
    const char* name;
    Bytes bytes;
  } cases[] = {
      {"empty", {}},
      {"unknown", {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'E', 'B', 'P'}},
      {"png zero width", Png(0, 5)},
      {"png without IHDR first", Png(5, 5, "gAMA")},
      {"png truncated", Cut(Png(5, 5), 23)},
      {"gif other version", {'G', 'I', 'F', '8', '8', 'a', 1, 0, 1, 0}},
      {"gif zero height", {'G', 'I', 'F', '8', '9', 'a', 1, 0, 0, 0}},
      {"bmp zero width", Bmp(40, 0, 5)},
      {"bmp negative width", Bmp(40, uint32_t(-5), 5)},
      {"bmp height INT32_MIN", Bmp(40, 5, 0x80000000u)},
      {"bmp unknown header size", Bmp(20, 5, 5)},
      {"bmp core cut in its height", Cut(Bmp(12, 3, 2), 21)},
      {"bmp info cut in its height", Cut(Bmp(40, 3, 2), 25)},
      {"ico no images", Ico(16, 16, 1, 0)},
      {"ico cursor", Ico(16, 16, 2, 1)},
      {"ico truncated entry", Cut(Ico(16, 16), 21)},
      {"wmf empty box", Wmf(5, 5, 5, 90)},
      {"wmf cut in its box", Cut(Wmf(0, 0, 480, 320), 15)},
      {"emf without signature", Emf(0, 0, 10, 10, 0x464D4521u)},
      {"emf empty frame", Emf(10, 0, 10, 10)},
      {"emf truncated", Cut(Emf(0, 0, 10, 10), 43)},
      {"tiff without height", Tiff(true, {{256, 3, 1, 5}})},
      {"tiff width of wrong type", Tiff(false, {{256, 5, 1, 5}, {257, 3, 1, 5}})},
      {"tiff width of count 2", Tiff(true, {{256, 3, 2, 5}, {257, 3, 1, 5}})},
      {"jpeg segment length 1", JpegWith({0xFF, 0xE0, 0, 1, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1})},
      {"jpeg scan before frame", JpegWith({0xFF, 0xDA, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1})},
      {"jpeg end before frame", JpegWith({0xFF, 0xD9})},
      {"jpeg second start", JpegWith({0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1})},
      {"jpeg only tables", JpegWith({0xFF, 0xC4, 0, 2, 0xFF, 0xC8, 0, 2, 0xFF, 0xCC, 0, 2})},
      {"jpeg garbage between segments",
       JpegWith({0xFF, 0xE0, 0, 2, 0x00, 0xFF, 0xC0, 0, 11, 8, 0, 1, 0, 1, 1})},
      {"jpeg ends after a fill byte", JpegWith({0xFF, 0xE0, 0, 2, 0xFF})},
      {"jpeg zero height", Jpeg(true, 1, 640, 0)},
      {"jpeg segment past end", JpegWith({0xFF, 0xE0, 0xFF, 0xF0, 0xFF, 0xC0, 0, 11, 8, 0, 1})},
  };
  for (const auto& c : cases) {
    PictureHeader h;
    h.width = 77;
    EXPECT_FALSE(Read(c.bytes, &h)) << c.name;
    EXPECT_EQ(h.width, 77u) << c.name << ": left as it was";
  }
}

// The restart markers RST0 to RST7 and TEM (01) stand alone, without a length; the next
// marker, a second start of image, does not.
TEST(PictureHeader, RestartMarkersStandAlone) {
  for (uint8_t restart : {0x01, 0xD0, 0xD7}) {
    PictureHeader h;
    ASSERT_TRUE(Read(JpegWith({0xFF, restart, 0xFF, 0xC0, 0, 11, 8, 0, 3, 0, 5, 1}), &h))
        << int(restart);
    EXPECT_EQ(h.width, 5u);
    EXPECT_EQ(h.height, 3u);
  }
}

// A second start of image, an end of image or a stuffed zero (FF 00) where a marker should
// be ends the walk: the bytes after them are no length, even where, read as one, they
// would lead on to a good frame header.
TEST(PictureHeader, MarkersWithoutALengthEndTheWalk) {
  for (uint8_t marker : {0xD8, 0xD9, 0x00}) {
    const Bytes b = JpegWith({0xFF, marker, 0, 2, 0xFF, 0xC0, 0, 11, 8, 0, 3, 0, 5, 1, 1, 0x11, 0});
    PictureHeader h;
    EXPECT_FALSE(Read(b, &h)) << int(marker);
  }
}

// SOF0 to SOF15 (C0 to CF) are frame headers, all with the size; C4 (Huffman tables), C8
// (reserved) and CC (arithmetic conditioning) share the range and are not, nor is BF.
TEST(PictureHeader, EveryFrameHeaderGivesTheSize) {
  for (int marker = 0xBF; marker <= 0xCF; ++marker) {
    const bool frame = marker >= 0xC0 && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    PictureHeader h;
    ASSERT_EQ(Read(Jpeg(true, 3, 300, 200, uint8_t(marker)), &h), frame) << marker;
    if (!frame) continue;
    EXPECT_EQ(h.width, 300u) << marker;
    EXPECT_EQ(h.height, 200u) << marker;
    EXPECT_EQ(h.orientation, 3) << marker;
  }
}

// Any marker may have fill bytes (FF) before it, and a segment may be empty (a length of 2
// counts only itself). The walk takes up to 4096 steps (segments, lone markers and fill
// bytes) before the frame header, far more than real files have, and no more.
TEST(PictureHeader, FillBytesAndEmptySegments) {
  const Bytes frame = {0xFF, 0xC0, 0, 11, 8, 0, 3, 0, 5, 1, 1, 0x11, 0};
  for (size_t fill : {size_t(4095), size_t(4096)}) {
    Bytes b = {0xFF, 0xD8};
    b.insert(b.end(), fill, 0xFF);
    b.insert(b.end(), frame.begin(), frame.end());
    PictureHeader h;
    ASSERT_EQ(Read(b, &h), fill == 4095) << fill;
    EXPECT_EQ(h.width, fill == 4095 ? 5u : 0u);
  }
  Bytes empty = {0xFF, 0xD8, 0xFF, 0xE0, 0, 2, 0xFF, 0xFE, 0, 2};
  empty.insert(empty.end(), frame.begin(), frame.end());
  PictureHeader h;
  ASSERT_TRUE(Read(empty, &h));
  EXPECT_EQ(h.width, 5u);
  EXPECT_EQ(h.height, 3u);
}

// A frame header's segment must hold the precision, height and width (7 bytes with its
// length); one a byte shorter has no whole width.
TEST(PictureHeader, FrameHeaderHoldsTheWholeSize) {
  PictureHeader h;
  ASSERT_TRUE(Read(JpegWith({0xFF, 0xC0, 0, 7, 8, 0, 3, 0, 5, 0xFF, 0xDA}), &h));
  EXPECT_EQ(h.width, 5u);
  EXPECT_EQ(h.height, 3u);
  EXPECT_FALSE(Read(JpegWith({0xFF, 0xC0, 0, 6, 8, 0, 3, 0, 5, 0xFF, 0xDA}), &h));
}

// Only a file that starts with the start-of-image marker FF D8 is a JPEG: the same segments
// after an end-of-image marker or after a first byte that is no marker's are nothing.
TEST(PictureHeader, OnlyTheStartOfImageMarkerMakesAJpeg) {
  for (const auto& start :
       {std::make_pair(0xFF, 0xD8), std::make_pair(0xFF, 0xD9), std::make_pair(0x00, 0xD8)}) {
    Bytes b = Jpeg(false, 6);
    b[0] = uint8_t(start.first);
    b[1] = uint8_t(start.second);
    const bool jpeg = start.first == 0xFF && start.second == 0xD8;
    PictureHeader h;
    EXPECT_EQ(Read(b, &h), jpeg) << start.first << " " << start.second;
    EXPECT_EQ(ExifOf(b), jpeg ? 6 : 1) << start.first << " " << start.second;
  }
}

// The first APP1 block that starts with the whole Exif signature is the one read, even when
// nothing follows the signature; a block too short for the signature is some other block.
TEST(PictureHeader, FirstExifBlockCountsEvenWhenEmpty) {
  const Bytes rest = Jpeg(true, 6);  // its own Exif block says 6
  const Bytes signature = {'E', 'x', 'i', 'f', 0, 0};
  for (const auto& c : {std::make_pair(6, 1), std::make_pair(5, 6)}) {
    Bytes b = {0xFF, 0xD8};
    Segment(&b, 0xE1, Bytes(signature.begin(), signature.begin() + c.first));
    b.insert(b.end(), rest.begin() + 2, rest.end());
    PictureHeader h;
    ASSERT_TRUE(Read(b, &h)) << c.first;
    EXPECT_EQ(h.width, 640u) << c.first;
    EXPECT_EQ(h.orientation, c.second) << c.first;
    EXPECT_EQ(ExifOf(b), c.second) << c.first;
  }
}

// An Exif block whose TIFF structure stops right after its orientation entry, without the
// next IFD's offset, still gives it; one byte shorter, the entry is cut and gives 1.
TEST(PictureHeader, ExifBlockEndingWithItsLastEntry) {
  for (bool le : {true, false}) {
    const Bytes tiff = Tiff(le, {Orientation(8)});
    for (size_t cut : {size_t(4), size_t(5)}) {
      Bytes body = {'E', 'x', 'i', 'f', 0, 0};
      body.insert(body.end(), tiff.begin(), tiff.end() - long(cut));
      Bytes b = {0xFF, 0xD8};
      Segment(&b, 0xE1, body);
      Put(&b, {char(0xFF), char(0xC0), 0, 11, 8, 0, 3, 0, 5, 1, 1, 0x11, 0});
      PictureHeader h;
      ASSERT_TRUE(Read(b, &h)) << le << cut;
      EXPECT_EQ(h.orientation, cut == 4 ? 8 : 1) << le << cut;
      EXPECT_EQ(ExifOf(b), cut == 4 ? 8 : 1) << le << cut;
    }
  }
}

TEST(PictureHeader, TruncatedFilesGiveFalseOrTheWholeAnswer) {
  for (const Bytes& whole : {Jpeg(true, 7), Jpeg(false, 5),
                             Tiff(true, {{256, 3, 1, 9}, {257, 4, 1, 8}, Orientation(6)}),
                             Tiff(false, {{256, 3, 1, 9}, {257, 4, 1, 8}, Orientation(6)})}) {
    PictureHeader full;
    ASSERT_TRUE(Read(whole, &full));
    for (size_t size = 0; size < whole.size(); ++size) {
      // Exactly-sized copies, so the sanitizer sees any read past the end.
      const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      PictureHeader h;
      if (Read(cut, &h)) {
        EXPECT_EQ(h.width, full.width) << size;
        EXPECT_EQ(h.height, full.height) << size;
      }
      const int o = ExifOf(cut);
      EXPECT_TRUE(o == 1 || o == full.orientation) << size;
    }
  }
}

// Writers often put IFD0 after the pixel data: here past the first 16 MiB, where a
// big-endian offset's first byte is no longer 0.
TEST(PictureHeader, IfdAfterLargePixelData) {
  for (bool le : {true, false}) {
    const uint32_t ifd = (16u << 20) + 8;
    Bytes b = Tiff(le, {{256, 4, 1, 70000}, {257, 3, 1, 3}, Orientation(5)}, ifd);
    const Bytes directory(b.begin() + 8, b.end());
    b.resize(ifd);
    b.insert(b.end(), directory.begin(), directory.end());
    PictureHeader h;
    ASSERT_TRUE(Read(b, &h)) << le;
    EXPECT_EQ(h.format, PictureFormat::Tiff);
    EXPECT_EQ(h.width, 70000u);
    EXPECT_EQ(h.height, 3u);
    EXPECT_EQ(h.orientation, 5);
    EXPECT_EQ(ExifOf(b), 5);
  }
}

TEST(PictureHeader, HostileIfdsGiveOrientationOne) {
  const struct {
    const char* name;
    Bytes tiff;
    int expected;
  } cases[] = {
      {"count 65535, few entries", Tiff(true, {Orientation(3)}, 8, 0, 65535), 3},
      {"count 65535, no entries", Tiff(false, {}, 8, 0, 65535), 1},
      {"ifd past the end", Tiff(true, {Orientation(3)}, 0xFFFFFFF0u), 1},
      {"ifd inside the header", Tiff(true, {}, 4), 1},
      {"next ifd is itself", Tiff(false, {Orientation(6)}, 8, 8), 6},
      {"wrong type", Tiff(true, {{274, 4, 1, 6}}), 1},
      {"count 2", Tiff(false, {{274, 3, 2, 6}}), 1},
      {"huge count", Tiff(true, {{274, 3, 0xFFFFFFFFu, 6}}), 1},
      {"value 0", Tiff(true, {Orientation(0)}), 1},
      {"value 9", Tiff(false, {Orientation(9)}), 1},
      {"first of two entries counts", Tiff(true, {Orientation(9), Orientation(4)}), 1},
      {"not a tiff", Bytes{'I', 'M', '*', 0, 8, 0, 0, 0}, 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OrientationFromTiff(c.tiff.data(), c.tiff.size()), c.expected) << c.name;
    EXPECT_EQ(ExifOf(c.tiff), c.expected) << c.name;
  }
  EXPECT_EQ(OrientationFromTiff(nullptr, 100), 1);
  EXPECT_EQ(ExifOf({}), 1);
  EXPECT_EQ(ExifOf({0xFF}), 1);
}

// An endless file that counts its reads: FF D8, then the same pattern forever.
class EndlessSource final : public ByteSource {
 public:
  explicit EndlessSource(Bytes pattern) : pattern_(std::move(pattern)) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    ++reads;
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < size; ++i) {
      const uint64_t at = offset + i;
      out[i] = at < 2 ? (at == 0 ? 0xFF : 0xD8) : pattern_[(at - 2) % pattern_.size()];
    }
    return size;
  }
  int reads = 0;

 private:
  Bytes pattern_;
};

TEST(PictureHeader, EndlessSegmentsStopAfterBoundedWork) {
  for (const Bytes& pattern : {Bytes{0xFF, 0xE2, 0, 2}, Bytes{0xFF}, Bytes{0xFF, 0xD0}}) {
    EndlessSource source(pattern);
    PictureHeader h;
    EXPECT_FALSE(ReadPictureHeader(source, &h));
    EXPECT_EQ(ReadExifOrientation(source), 1);
    EXPECT_LT(source.reads, 20000);
  }
}

using testsources::ThrowingSource;

// The orientation needs only the segments up to the Exif block: a stream that fails right
// after it still gives it, one that fails before gives 1. The size needs the frame header.
TEST(PictureHeader, ASourceThatThrowsIsAFileThatCannotBeRead) {
  const Bytes jpeg = Jpeg(true, 6);
  const Bytes signature = {'E', 'x', 'i', 'f', 0, 0};
  const size_t exif =
      size_t(std::search(jpeg.begin(), jpeg.end(), signature.begin(), signature.end()) -
             jpeg.begin()) -
      4;
  const size_t exifEnd = exif + 2 + size_t(jpeg[exif + 2] << 8 | jpeg[exif + 3]);
  ASSERT_EQ(jpeg[exifEnd], 0xFF);
  for (size_t good : {size_t(0), size_t(40), exifEnd}) {
    ThrowingSource source(jpeg, good);
    PictureHeader h;
    h.width = 77;
    EXPECT_FALSE(ReadPictureHeader(source, &h)) << good;
    EXPECT_FALSE(ReadTgaHeader(source, &h)) << good;
    EXPECT_EQ(h.width, 77u) << good;
    EXPECT_EQ(ReadExifOrientation(source), good == exifEnd ? 6 : 1) << good;
  }
  ThrowingSource whole(jpeg, jpeg.size());
  PictureHeader h;
  EXPECT_TRUE(ReadPictureHeader(whole, &h));
  EXPECT_EQ(h.orientation, 6);
}

// A readable header with nowhere to put it is not an answer.
TEST(PictureHeader, NoPlaceForTheAnswerIsNoAnswer) {
  const std::vector<uint8_t> b = Jpeg(true, 6);
  MemoryByteSource source(b.data(), b.size());
  PictureHeader h;
  ASSERT_TRUE(ReadPictureHeader(source, &h));
  EXPECT_FALSE(ReadPictureHeader(source, nullptr));
  EXPECT_FALSE(ReadTgaHeader(source, nullptr));
}

TEST(MemoryByteSource, ReadsOnlyWhatIsThere) {
  const uint8_t data[] = {1, 2, 3};
  MemoryByteSource source(data, sizeof data);
  uint8_t out[4] = {};
  EXPECT_EQ(source.ReadAt(1, out, 4), 2u);
  EXPECT_EQ(out[1], 3);
  EXPECT_EQ(source.ReadAt(3, out, 4), 0u);
  EXPECT_EQ(source.ReadAt(~uint64_t(0), out, 4), 0u);
}

}  // namespace
}  // namespace framewise
