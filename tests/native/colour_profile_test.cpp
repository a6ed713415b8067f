// The colour description reader against pictures made by real encoders (Pillow, tiffcp,
// cwebp, avifenc, heif-enc: see scripts/make_colour_fixtures.py) and against hostile files
// made from them; the profile checks against real profiles from several makers; the profile
// builder against the colorants of published profiles.
#include "fitting/portable/colour_profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/native/test_byte_sources.h"

namespace framewise {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Fixture(const std::string& name) {
  std::ifstream file(std::string(FRAMEWISE_SOURCE_DIR) + "/tests/fixtures/colour/" + name,
                     std::ios::binary);
  Bytes bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_FALSE(bytes.empty()) << name;
  return bytes;
}

// Remembers the largest read asked for, so a lying size that was not checked against the
// file before reading shows up.
class RecordingSource final : public ByteSource {
 public:
  explicit RecordingSource(const Bytes& bytes) : memory_(bytes.data(), bytes.size()) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    largest = std::max(largest, size);
    return memory_.ReadAt(offset, buffer, size);
  }
  size_t largest = 0;

 private:
  MemoryByteSource memory_;
};

struct Found {
  bool ok = false;
  Bytes profile;
  EmbeddedColourInfo info;
  size_t largestRead = 0;
};

// Both out-parameters start with marker contents, so what the reader leaves in them shows.
Found Read(const Bytes& file) {
  RecordingSource source(file);
  Found found;
  found.profile = {0xDE, 0xAD};
  found.info.kind = EmbeddedColour::Nclx;
  found.info.hasNclx = true;
  found.info.nclx.primaries = 99;
  found.ok = ReadEmbeddedProfile(source, &found.profile, &found.info);
  found.largestRead = source.largest;
  if (!found.ok) {
    EXPECT_TRUE(found.profile.empty());
    EXPECT_EQ(found.info.kind, EmbeddedColour::None);
  }
  return found;
}

void Put(Bytes* b, const std::string& text) { b->insert(b->end(), text.begin(), text.end()); }
void Put16(Bytes* b, uint32_t v) { Put(b, {char(v >> 8), char(v)}); }
void Put32(Bytes* b, uint32_t v) {
  Put16(b, v >> 16);
  Put16(b, v & 0xFFFF);
}
void Set32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = uint8_t(v >> (24 - 8 * i));
}
uint32_t Get32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// ---- Pictures made by real encoders.

TEST(EmbeddedProfile, ReadsWhatEachEncoderEmbedded) {
  const Bytes p3 = Fixture("displayp3_argyll.icm");
  const Bytes prophoto = Fixture("prophoto_argyll.icm");
  const struct {
    const char* file;
    const Bytes& profile;
  } cases[] = {
      {"jpeg_displayp3.jpg", p3},         {"tiff_le_prophoto.tif", prophoto},
      {"tiff_be_prophoto.tif", prophoto}, {"webp_displayp3.webp", p3},
      {"heic_displayp3.heic", p3},
  };
  for (const auto& c : cases) {
    const Found found = Read(Fixture(c.file));
    ASSERT_TRUE(found.ok) << c.file;
    EXPECT_EQ(found.info.kind, EmbeddedColour::IccProfile) << c.file;
    EXPECT_EQ(found.profile, c.profile) << c.file;
    EXPECT_FALSE(found.info.hasNclx) << c.file;
  }
}

// Pillow splits a profile over APP2 segments of at most 65519 bytes each.
TEST(EmbeddedProfile, ReassemblesAProfileSplitOverJpegSegments) {
  const Bytes lut = Fixture("lut_argyll.icc");
  ASSERT_GT(lut.size(), 65519u);
  const Found found = Read(Fixture("jpeg_lut_split.jpg"));
  ASSERT_TRUE(found.ok);
  EXPECT_EQ(found.profile, lut);
  EXPECT_TRUE(IsPlausibleIccProfile(found.profile.data(), found.profile.size()));
}

TEST(EmbeddedProfile, PictureWithoutOneHasNone) {
  EXPECT_FALSE(Read(Fixture("jpeg_plain.jpg")).ok);
  EXPECT_FALSE(Read(Fixture("displayp3_argyll.icm")).ok);  // a profile is not a picture
  EXPECT_FALSE(Read(Bytes()).ok);
  const Bytes jpeg = Fixture("jpeg_displayp3.jpg");
  MemoryByteSource source(jpeg.data(), jpeg.size());
  Bytes profile;
  EmbeddedColourInfo info;
  EXPECT_FALSE(ReadEmbeddedProfile(source, nullptr, &info));
  EXPECT_FALSE(ReadEmbeddedProfile(source, &profile, nullptr));
}

// Stops answering from its `failAt`-th read on: it reads nothing, or throws.
class FailingSource final : public ByteSource {
 public:
  FailingSource(const Bytes& bytes, size_t failAt, bool throws)
      : memory_(bytes.data(), bytes.size()), failAt_(failAt), throws_(throws) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (reads++ >= failAt_) {
      if (throws_) throw std::runtime_error("the file went away");
      return 0;
    }
    return memory_.ReadAt(offset, buffer, size);
  }
  size_t reads = 0;

 private:
  MemoryByteSource memory_;
  size_t failAt_;
  bool throws_;
};

// A file that goes away while it is read (a network share, a removed stick): at whatever
// read that happens, the answer is nothing or what the whole file gives, never a part.
TEST(EmbeddedProfile, SourceThatStopsAnsweringGivesNothingPartial) {
  for (const char* file :
       {"jpeg_lut_split.jpg", "tiff_be_prophoto.tif", "png_displayp3.png", "webp_displayp3.webp",
        "heic_displayp3.heic", "avif_icc_rec2020.avif", "avif_nclx_p3.avif"}) {
    const Bytes bytes = Fixture(file);
    FailingSource whole(bytes, SIZE_MAX, false);
    Bytes wholeProfile;
    EmbeddedColourInfo wholeInfo;
    ASSERT_TRUE(ReadEmbeddedProfile(whole, &wholeProfile, &wholeInfo)) << file;
    for (size_t failAt = 0; failAt < whole.reads; ++failAt) {
      for (bool throws : {false, true}) {
        FailingSource source(bytes, failAt, throws);
        Bytes profile = {0xDE, 0xAD};
        EmbeddedColourInfo info;
        info.kind = EmbeddedColour::Nclx;
        if (ReadEmbeddedProfile(source, &profile, &info)) {
          EXPECT_EQ(profile, wholeProfile) << file << " " << failAt << " " << throws;
          EXPECT_EQ(info.kind, wholeInfo.kind) << file << " " << failAt << " " << throws;
        } else {
          EXPECT_TRUE(profile.empty()) << file << " " << failAt << " " << throws;
          EXPECT_EQ(info.kind, EmbeddedColour::None) << file << " " << failAt << " " << throws;
        }
      }
    }
  }
}

uint32_t Adler32(const Bytes& data) {
  uint32_t a = 1, b = 0;
  for (uint8_t byte : data) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

// PNG keeps its profile as a zlib stream: the stream's closing checksum is the profile's.
TEST(EmbeddedProfile, PngGivesTheCompressedStream) {
  const Found found = Read(Fixture("png_displayp3.png"));
  ASSERT_TRUE(found.ok);
  EXPECT_EQ(found.info.kind, EmbeddedColour::CompressedIcc);
  ASSERT_GT(found.profile.size(), 6u);
  EXPECT_EQ(found.profile[0], 0x78);  // deflate with a 32 KB window
  EXPECT_EQ(Get32(found.profile, found.profile.size() - 4),
            Adler32(Fixture("displayp3_argyll.icm")));
}

TEST(EmbeddedProfile, AvifProfileWinsOverItsCodedDescription) {
  const Found found = Read(Fixture("avif_icc_rec2020.avif"));
  ASSERT_TRUE(found.ok);
  EXPECT_EQ(found.info.kind, EmbeddedColour::IccProfile);
  EXPECT_EQ(found.profile, Fixture("rec2020_argyll.icm"));
  // avifenc writes primaries and transfer "not given" (2) and BT.601 coefficients beside it.
  EXPECT_TRUE(found.info.hasNclx);
  EXPECT_EQ(found.info.nclx.primaries, 2);
  EXPECT_EQ(found.info.nclx.transfer, 2);
  EXPECT_EQ(found.info.nclx.matrix, 6);
}

TEST(EmbeddedProfile, AvifCodedDescriptionsAsGivenToAvifenc) {
  const struct {
    const char* file;
    uint16_t primaries, transfer, matrix;
    bool fullRange;
  } cases[] = {
      {"avif_nclx_srgb.avif", 1, 13, 6, true},  // avifenc's default
      {"avif_nclx_p3.avif", 12, 13, 1, true},
      {"avif_nclx_pq.avif", 9, 16, 9, true},
      {"avif_nclx_709_limited.avif", 1, 1, 1, false},
  };
  for (const auto& c : cases) {
    const Found found = Read(Fixture(c.file));
    ASSERT_TRUE(found.ok) << c.file;
    EXPECT_EQ(found.info.kind, EmbeddedColour::Nclx) << c.file;
    EXPECT_TRUE(found.profile.empty()) << c.file;
    EXPECT_EQ(found.info.nclx.primaries, c.primaries) << c.file;
    EXPECT_EQ(found.info.nclx.transfer, c.transfer) << c.file;
    EXPECT_EQ(found.info.nclx.matrix, c.matrix) << c.file;
    EXPECT_EQ(found.info.nclx.fullRange, c.fullRange) << c.file;
  }
}

// ---- JPEG: hostile arrangements of the real file's two segments.

struct Segment {
  size_t start, end;  // from the marker to the end of the segment
};

std::vector<Segment> IccSegments(const Bytes& jpeg) {
  std::vector<Segment> found;
  size_t pos = 2;
  while (pos + 4 <= jpeg.size() && jpeg[pos] == 0xFF && jpeg[pos + 1] != 0xDA) {
    const size_t end = pos + 2 + (jpeg[pos + 2] << 8 | jpeg[pos + 3]);
    if (jpeg[pos + 1] == 0xE2 && std::memcmp(&jpeg[pos + 4], "ICC_PROFILE", 12) == 0) {
      found.push_back({pos, end});
    }
    pos = end;
  }
  return found;
}

Bytes Piece(const Bytes& b, size_t start, size_t end) {
  return Bytes(b.begin() + start, b.begin() + end);
}

TEST(EmbeddedProfile, JpegSegmentsOutOfOrderOrBroken) {
  const Bytes jpeg = Fixture("jpeg_lut_split.jpg");
  const Bytes lut = Fixture("lut_argyll.icc");
  const std::vector<Segment> s = IccSegments(jpeg);
  ASSERT_EQ(s.size(), 2u);
  ASSERT_EQ(s[0].end, s[1].start);
  const Bytes head = Piece(jpeg, 0, s[0].start), first = Piece(jpeg, s[0].start, s[0].end),
              second = Piece(jpeg, s[1].start, s[1].end), tail = Piece(jpeg, s[1].end, jpeg.size());
  auto join = [&](std::initializer_list<const Bytes*> parts) {
    Bytes out = head;
    for (const Bytes* p : parts) out.insert(out.end(), p->begin(), p->end());
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
  };
  // Sequence numbers, not file order, give the order.
  const Found swapped = Read(join({&second, &first}));
  ASSERT_TRUE(swapped.ok);
  EXPECT_EQ(swapped.profile, lut);

  EXPECT_FALSE(Read(join({&first})).ok);                   // the second is missing
  EXPECT_FALSE(Read(join({&first, &first, &second})).ok);  // a repeated one
  Bytes counted = second;
  counted[4 + 13] = 3;  // the second says there are three, the first two
  EXPECT_FALSE(Read(join({&first, &counted})).ok);
  EXPECT_FALSE(Read(join({&counted, &first})).ok);
  Bytes zero = second;
  zero[4 + 12] = 0;  // sequence numbers start at 1
  EXPECT_FALSE(Read(join({&first, &zero})).ok);
  Bytes beyond = second;
  beyond[4 + 12] = 3;  // number 3 of 2
  EXPECT_FALSE(Read(join({&first, &beyond})).ok);
  // Cut inside the second segment: the walk ends there, and the chunk is not whole.
  EXPECT_FALSE(Read(Piece(jpeg, 0, s[1].end - 1)).ok);
  // Cut right after it: whole, though no picture follows.
  EXPECT_TRUE(Read(Piece(jpeg, 0, s[1].end)).ok);
}

// An APP2 segment holding chunk `sequence` of `count` of a profile.
Bytes IccSegment(size_t sequence, size_t count, const Bytes& data) {
  Bytes b = {0xFF, 0xE2};
  Put16(&b, uint32_t(2 + 14 + data.size()));
  Put(&b, std::string("ICC_PROFILE\0", 12));
  b.push_back(uint8_t(sequence));
  b.push_back(uint8_t(count));
  return Cat({b, data});
}

const Bytes kSoi = {0xFF, 0xD8}, kEoi = {0xFF, 0xD9};

// Segments are at most 65533 bytes after the marker, so 8 MiB takes 129 of them.
Bytes JpegOfChunks(size_t total) {
  const size_t perChunk = 65519;
  const size_t count = (total + perChunk - 1) / perChunk;
  Bytes b = kSoi;
  for (size_t i = 0; i < count; ++i) {
    const size_t n = std::min(perChunk, total - i * perChunk);
    const Bytes segment = IccSegment(i + 1, count, Bytes(n, uint8_t(i)));
    b.insert(b.end(), segment.begin(), segment.end());
  }
  b.insert(b.end(), kEoi.begin(), kEoi.end());
  return b;
}

TEST(EmbeddedProfile, JpegProfileUpToEightMebibytes) {
  const size_t cap = 8u << 20;
  const Found atCap = Read(JpegOfChunks(cap));
  ASSERT_TRUE(atCap.ok);
  EXPECT_EQ(atCap.profile.size(), cap);
  EXPECT_EQ(atCap.profile[65519], 1);  // the second chunk follows the first
  EXPECT_FALSE(Read(JpegOfChunks(cap + 1)).ok);
}

// The smallest chunk is the 14-byte header with no data; an APP2 segment too short for the
// header is some other use of APP2 and is passed over.
TEST(EmbeddedProfile, JpegChunksOfHeaderOnly) {
  const Bytes data = {1, 2, 3};
  const Found lastEmpty = Read(Cat({kSoi, IccSegment(1, 2, data), IccSegment(2, 2, {}), kEoi}));
  ASSERT_TRUE(lastEmpty.ok);
  EXPECT_EQ(lastEmpty.profile, data);
  EXPECT_FALSE(Read(Cat({kSoi, IccSegment(1, 1, {}), kEoi})).ok);  // no bytes at all

  Bytes shortSegment = {0xFF, 0xE2, 0, 15};
  Put(&shortSegment, std::string("ICC_PROFILE\0\x01", 13));
  const Found passedOver = Read(Cat({kSoi, IccSegment(1, 1, data), shortSegment, kEoi}));
  ASSERT_TRUE(passedOver.ok);
  EXPECT_EQ(passedOver.profile, data);
}

// Standalone markers and fill bytes between segments are passed over, and so is a segment
// by its length; what is no marker (FF 00), a second start of image or the scan ends the
// walk, and a profile after it is not looked for.
TEST(EmbeddedProfile, JpegMarkersBetweenSegments) {
  const Bytes data = {1, 2, 3};
  const struct {
    Bytes between;
    bool found;
  } cases[] = {
      {{0xFF, 0x01}, true},                    // TEM
      {{0xFF, 0xD0}, true},                    // RST0
      {{0xFF, 0xD7}, true},                    // RST7
      {{0xFF, 0xFF, 0xFF, 0xE0, 0, 2}, true},  // fill bytes, then an empty APP0
      {{0xFF, 0xCF, 0, 3, 9}, true},           // SOF15, just before the restart markers
      {{0xFF, 0x00, 0, 2}, false},
      {{0x00, 0xE0, 0, 2}, false},  // a zero byte where a marker's FF belongs
      {{0xFF, 0xD8}, false},
      {{0xFF, 0xDA, 0, 2}, false},
  };
  for (const auto& c : cases) {
    const Found found = Read(Cat({kSoi, c.between, IccSegment(1, 1, data), kEoi}));
    EXPECT_EQ(found.ok, c.found) << int(c.between[1]);
    if (c.found) {
      EXPECT_EQ(found.profile, data) << int(c.between[1]);
    }
  }
}

// ---- TIFF: a profile tag built by hand in both byte orders.

// The IFD at `ifd`, after what stands for the image data.
Bytes TiffWithProfile(bool le, uint16_t type, uint32_t count, size_t stored, uint32_t ifd = 8) {
  Bytes b;
  auto p16 = [&](uint32_t v) { le ? Put(&b, {char(v), char(v >> 8)}) : Put16(&b, v); };
  auto p32 = [&](uint32_t v) {
    le ? Put(&b, {char(v), char(v >> 8), char(v >> 16), char(v >> 24)}) : Put32(&b, v);
  };
  Put(&b, le ? std::string("II*\0", 4) : std::string("MM\0*", 4));
  p32(ifd);
  b.resize(ifd);
  p16(2);
  p16(256), p16(3), p32(1), p16(8), p16(0);  // width, so the profile is not the first entry
  p16(34675), p16(type), p32(count), p32(ifd + 2 + 2 * 12 + 4);
  p32(0);
  const size_t start = b.size();
  b.resize(start + stored);
  for (size_t i = 0; i < std::min<size_t>(stored, 1024); ++i) b[start + i] = uint8_t(i * 7);
  return b;
}

TEST(EmbeddedProfile, TiffProfileTagBoundsAndTypes) {
  for (bool le : {true, false}) {
    const Found whole = Read(TiffWithProfile(le, 7, 300, 300));
    ASSERT_TRUE(whole.ok) << le;
    ASSERT_EQ(whole.profile.size(), 300u);
    EXPECT_EQ(whole.profile[1], 7);
    EXPECT_TRUE(Read(TiffWithProfile(le, 1, 300, 300)).ok) << le;   // BYTE as well
    EXPECT_FALSE(Read(TiffWithProfile(le, 3, 150, 300)).ok) << le;  // SHORT is not
    EXPECT_FALSE(Read(TiffWithProfile(le, 7, 301, 300)).ok) << le;  // one past the end
    // Up to 4 bytes sit in the entry itself, where no profile fits; from 5 on they are at
    // the offset the entry gives.
    const Found five = Read(TiffWithProfile(le, 7, 5, 5));
    ASSERT_TRUE(five.ok) << le;
    EXPECT_EQ(five.profile, (Bytes{0, 7, 14, 21, 28})) << le;
    EXPECT_FALSE(Read(TiffWithProfile(le, 7, 4, 4)).ok) << le;
    // A size field of 4 GB, and one of 8 MiB in a small file: refused without reading.
    for (uint32_t count : {0xFFFFFFFFu, 8u << 20}) {
      const Found lying = Read(TiffWithProfile(le, 7, count, 300));
      EXPECT_FALSE(lying.ok) << le;
      EXPECT_LT(lying.largestRead, 1024u) << le;
    }
  }
  // Writers that put the IFD after the image data: 16 MiB on, every byte of its offset counts.
  for (bool le : {true, false}) {
    const Found late = Read(TiffWithProfile(le, 7, 300, 300, (16u << 20) + 2));
    ASSERT_TRUE(late.ok) << le;
    EXPECT_EQ(late.profile[1], 7);
    for (uint8_t early : {0, 7}) {  // an IFD offset inside the 8-byte header
      Bytes inHeader = TiffWithProfile(le, 7, 300, 300);
      inHeader[le ? 4 : 7] = early;
      EXPECT_FALSE(Read(inHeader).ok) << le << int(early);
    }
  }
  // The first entry of the tag decides: a SHORT one before the good one leaves no profile.
  for (bool le : {true, false}) {
    Bytes twice = TiffWithProfile(le, 7, 300, 300);
    const uint8_t tag[2] = {0x87, 0x73}, shortType[2] = {0, 3};  // 34675 and SHORT
    for (int i = 0; i < 2; ++i) {
      twice[10 + i] = tag[le ? 1 - i : i];
      twice[12 + i] = shortType[le ? 1 - i : i];
    }
    EXPECT_FALSE(Read(twice).ok) << le;
  }
  const size_t cap = 8u << 20;
  EXPECT_TRUE(Read(TiffWithProfile(true, 7, cap, cap)).ok);
  EXPECT_FALSE(Read(TiffWithProfile(true, 7, cap + 1, cap + 1)).ok);
}

// ---- WebP and PNG: the real files with lying sizes.

using testsources::SparseSource;

TEST(EmbeddedProfile, WebpAndPngChunksWithLyingSizes) {
  Bytes webp = Fixture("webp_displayp3.webp");
  ASSERT_EQ(std::string(webp.begin() + 30, webp.begin() + 34), "ICCP");
  Bytes past = webp;
  past[34] = 0xF0, past[35] = 0xFF, past[36] = 0xFF, past[37] = 0x7F;  // beyond the RIFF
  EXPECT_FALSE(Read(past).ok);
  // Cut off inside the profile chunk's header, though the RIFF size says more follows.
  EXPECT_FALSE(Read(Piece(webp, 0, 34)).ok);
  // An extended file whose chunks hold no profile.
  Bytes renamed = webp;
  std::memcpy(&renamed[30], "XICC", 4);
  EXPECT_FALSE(Read(renamed).ok);
  // An odd-sized chunk before the profile takes a padding byte.
  Bytes padded = Piece(webp, 0, 30);
  Put(&padded, std::string("XTRA\x03\0\0\0abc\0", 12));
  padded.insert(padded.end(), webp.begin() + 30, webp.end());
  padded[4] += 12;  // the RIFF size
  const Found afterPadding = Read(padded);
  ASSERT_TRUE(afterPadding.ok);
  EXPECT_EQ(afterPadding.profile, Fixture("displayp3_argyll.icm"));
  // The profile chunk ends exactly where the RIFF ends, then one byte past it.
  const uint32_t iccpLength = webp[34] | webp[35] << 8 | webp[36] << 16 | uint32_t(webp[37]) << 24;
  for (uint32_t over : {0, 1}) {
    Bytes riffEnd = webp;
    const uint32_t riffSize = 38 + iccpLength - 8 - over;
    for (int i = 0; i < 4; ++i) riffEnd[4 + i] = uint8_t(riffSize >> 8 * i);
    EXPECT_EQ(Read(riffEnd).ok, over == 0) << over;
  }
  Bytes simple = webp;
  std::memcpy(&simple[12], "VP8 ", 4);  // a simple file carries no profile
  EXPECT_FALSE(Read(simple).ok);
  // The RIFF size says where the file's chunks end: a profile chunk after that, in bytes
  // trailing the file, is not the file's.
  Bytes trailing = webp;
  for (int i = 0; i < 4; ++i) trailing[4 + i] = uint8_t((30 - 8) >> 8 * i);  // ends at VP8X's end
  EXPECT_FALSE(Read(trailing).ok);

  const Bytes png = Fixture("png_displayp3.png");
  const size_t iccp = 33;  // after the signature and IHDR
  ASSERT_EQ(std::string(png.begin() + iccp + 4, png.begin() + iccp + 8), "iCCP");
  Bytes unnamed = png;
  unnamed[iccp + 8] = 0;  // an empty name
  EXPECT_FALSE(Read(unnamed).ok);
  Bytes method = png;
  const size_t name = std::strlen(reinterpret_cast<const char*>(&png[iccp + 8]));
  method[iccp + 8 + name + 1] = 1;  // an unknown compression
  EXPECT_FALSE(Read(method).ok);
  // A profile name is 1 to 79 bytes: the longest still gives the stream, one more does not.
  const size_t chunkLength = Get32(png, iccp);
  const Bytes stream(png.begin() + long(iccp + 8 + name + 2),
                     png.begin() + long(iccp + 8 + chunkLength));
  for (size_t length : {79, 80}) {
    Bytes named = Piece(png, 0, iccp);
    Put32(&named, uint32_t(length + 2 + stream.size()));
    Put(&named, "iCCP" + std::string(length, 'n') + std::string(2, '\0'));
    named.insert(named.end(), stream.begin(), stream.end());
    named.insert(named.end(), png.begin() + long(iccp + 8 + chunkLength), png.end());  // CRC on
    const Found found = Read(named);
    EXPECT_EQ(found.ok, length == 79) << length;
    if (length == 79) {
      EXPECT_EQ(found.profile, stream);
    }
  }
  Bytes huge = png;
  Set32(&huge, iccp, 0x7FFFFFFF);
  const Found lying = Read(huge);
  EXPECT_FALSE(lying.ok);
  EXPECT_LT(lying.largestRead, 1024u);
  // Ten thousand empty text chunks and no profile: none, however the walk ends.
  Bytes chatty = Piece(png, 0, iccp);
  for (int i = 0; i < 10000; ++i) Put(&chatty, std::string("\0\0\0\0tEXt\0\0\0\0", 12));
  Put(&chatty, std::string("\0\0\0\0IEND\xAE\x42\x60\x82", 12));
  EXPECT_FALSE(Read(chatty).ok);

  // A chunk of 2^31 - 1 bytes, the most PNG allows, is stepped over to the profile after
  // it; one of 2^31 is no PNG chunk.
  const Bytes profileChunk = Piece(png, iccp, iccp + 12 + chunkLength);
  for (uint32_t length : {0x7FFFFFFFu, 0x80000000u}) {
    Bytes text;
    Put32(&text, length);
    Put(&text, "tEXt");
    const uint64_t after = iccp + 12 + uint64_t{length};
    SparseSource huge(after + profileChunk.size() + 12,
                      {{0, Piece(png, 0, iccp)}, {iccp, text}, {after, profileChunk}});
    Bytes profile;
    EmbeddedColourInfo info;
    EXPECT_EQ(ReadEmbeddedProfile(huge, &profile, &info), length == 0x7FFFFFFFu) << length;
    EXPECT_EQ(profile, length == 0x7FFFFFFFu ? stream : Bytes()) << length;
  }
}

// ---- HEIF/AVIF: item properties built by hand.

Bytes Box(const std::string& type, const Bytes& payload) {
  Bytes b;
  Put32(&b, uint32_t(8 + payload.size()));
  Put(&b, type);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}

Bytes FullBox(const std::string& type, uint8_t version, uint32_t flags, const Bytes& payload) {
  Bytes head = {version, uint8_t(flags >> 16), uint8_t(flags >> 8), uint8_t(flags)};
  return Box(type, Cat({head, payload}));
}

Bytes Colr(const std::string& kind, const Bytes& body) {
  return Box("colr", Cat({Bytes(kind.begin(), kind.end()), body}));
}

const Bytes kProfileBody = {'p', 'r', 'o', 'f', 'i', 'l', 'e'};
const Bytes kNclxBody = {0, 12, 0, 13, 0, 1, 0x80};

struct Heif {
  uint8_t pitmVersion = 0, ipmaVersion = 0;
  uint32_t ipmaFlags = 0;
  uint32_t primary = 1, associatedItem = 1;
  std::vector<uint16_t> indexes = {2};
  std::vector<Bytes> properties = {Box("ispe", Bytes(12)), Colr("prof", kProfileBody)};
  bool withPitm = true;
  bool ipmaFirst = false;
  bool pitmLast = false;         // after 'iprp'
  Bytes pitmBody;                // stored instead of the primary's number when not empty
  bool mdatFirst = false;        // so that the meta box ends the file
  std::vector<Bytes> moreIpmas;  // after the primary's 'ipma'
  size_t ipmaPadding = 0;        // zero bytes after the primary's 'ipma' entry

  Bytes Build() const {
    Bytes pitm;
    pitmVersion == 0 ? Put16(&pitm, primary) : Put32(&pitm, primary);
    if (!pitmBody.empty()) pitm = pitmBody;
    Bytes entry;
    Put32(&entry, 1);  // entry count
    ipmaVersion == 0 ? Put16(&entry, associatedItem) : Put32(&entry, associatedItem);
    entry.push_back(uint8_t(indexes.size()));
    for (uint16_t i : indexes) (ipmaFlags & 1) ? Put16(&entry, i) : entry.push_back(uint8_t(i));
    entry.resize(entry.size() + ipmaPadding);
    Bytes ipco;
    for (const Bytes& p : properties) ipco = Cat({ipco, p});
    Bytes ipma = FullBox("ipma", ipmaVersion, ipmaFlags, entry);
    for (const Bytes& more : moreIpmas) ipma = Cat({ipma, more});
    const Bytes iprp =
        Box("iprp", ipmaFirst ? Cat({ipma, Box("ipco", ipco)}) : Cat({Box("ipco", ipco), ipma}));
    const Bytes pitmBox = withPitm ? FullBox("pitm", pitmVersion, 0, pitm) : Bytes();
    const Bytes meta =
        FullBox("meta", 0, 0, pitmLast ? Cat({iprp, pitmBox}) : Cat({pitmBox, iprp}));
    const Bytes ftyp = Box("ftyp", {'a', 'v', 'i', 'f', 0, 0, 0, 0}), mdat = Box("mdat", Bytes(4));
    return mdatFirst ? Cat({ftyp, mdat, meta}) : Cat({ftyp, meta, mdat});
  }
};

TEST(EmbeddedProfile, HeifPrimaryItemColourProperty) {
  const Found plain = Read(Heif().Build());
  ASSERT_TRUE(plain.ok);
  EXPECT_EQ(plain.profile, (Bytes{'p', 'r', 'o', 'f', 'i', 'l', 'e'}));

  Heif wide;  // 32-bit item numbers and 15-bit property indexes, essential bit set
  wide.pitmVersion = wide.ipmaVersion = 1;
  wide.ipmaFlags = 1;
  wide.primary = wide.associatedItem = 0x10001;
  wide.indexes = {0x8001, 0x8002};
  EXPECT_EQ(Read(wide.Build()).profile, (Bytes{'p', 'r', 'o', 'f', 'i', 'l', 'e'}));

  Heif both;  // the profile is taken whatever the order
  both.properties = {Colr("nclx", kNclxBody), Colr("rICC", kProfileBody)};
  both.indexes = {1, 2};
  const Found found = Read(both.Build());
  ASSERT_TRUE(found.ok);
  EXPECT_EQ(found.info.kind, EmbeddedColour::IccProfile);
  EXPECT_EQ(found.profile, (Bytes{'p', 'r', 'o', 'f', 'i', 'l', 'e'}));
  EXPECT_TRUE(found.info.hasNclx);
  EXPECT_EQ(found.info.nclx.primaries, 12);

  // An association box of up to 1 MiB (its version, flags and entries) is read; a larger
  // one is not trusted.
  Heif large;
  large.ipmaPadding = (1u << 20) - 4 - 8;  // after its count, item, index count and index
  EXPECT_EQ(Read(large.Build()).profile, (Bytes{'p', 'r', 'o', 'f', 'i', 'l', 'e'}));
  ++large.ipmaPadding;
  EXPECT_FALSE(Read(large.Build()).ok);

  Heif other;  // the colour belongs to another item
  other.associatedItem = 2;
  EXPECT_FALSE(Read(other.Build()).ok);
  Heif unassociated;
  unassociated.indexes = {1};
  EXPECT_FALSE(Read(unassociated.Build()).ok);
  Heif pastTheEnd;
  pastTheEnd.indexes = {3};
  EXPECT_FALSE(Read(pastTheEnd.Build()).ok);
  Heif noPrimary;
  noPrimary.withPitm = false;
  EXPECT_FALSE(Read(noPrimary.Build()).ok);
  noPrimary.associatedItem = 0;  // without 'pitm' no item is the primary, not even item 0
  EXPECT_FALSE(Read(noPrimary.Build()).ok);
  // A profile box without a profile breaks the file, whatever else is given, also as the
  // file's last box; a colour box too short for its kind is passed over.
  Heif emptyProfile;
  emptyProfile.properties = {Colr("nclx", kNclxBody), Colr("prof", {})};
  emptyProfile.indexes = {1, 2};
  EXPECT_FALSE(Read(emptyProfile.Build()).ok);
  emptyProfile.mdatFirst = emptyProfile.ipmaFirst = true;
  EXPECT_FALSE(Read(emptyProfile.Build()).ok);
  Heif noKind = emptyProfile;
  noKind.properties[1] = Box("colr", {'p', 'r', 'o'});
  EXPECT_EQ(Read(noKind.Build()).info.kind, EmbeddedColour::Nclx);
  Heif shortNclx;
  shortNclx.properties = {Box("ispe", Bytes(12)),
                          Colr("nclx", Bytes(kNclxBody.begin(), kNclxBody.end() - 1))};
  EXPECT_FALSE(Read(shortNclx.Build()).ok);
  // A coded description ends with one byte: the full-range flag in its top bit, then seven
  // reserved bits.
  for (uint8_t last : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
    Heif coded;
    Bytes body = kNclxBody;
    body.back() = last;
    coded.properties = {Box("ispe", Bytes(12)), Colr("nclx", body)};
    const Found found = Read(coded.Build());
    ASSERT_TRUE(found.ok) << int(last);
    EXPECT_EQ(found.info.nclx.fullRange, last >= 0x80) << int(last);
  }
}

// The order of the meta box's children is free; a 'pitm' too short for its item number names
// no item (not item 0), and an 'ipma' entry cut short is refused.
TEST(EmbeddedProfile, HeifPrimaryItemAndAssociationBoxes) {
  Heif late;
  late.pitmLast = true;
  EXPECT_EQ(Read(late.Build()).profile, kProfileBody);
  for (uint8_t version : {0, 1}) {
    Heif cut = late;
    cut.pitmVersion = version;
    cut.primary = cut.associatedItem = 0;
    EXPECT_TRUE(Read(cut.Build()).ok) << int(version);
    cut.pitmBody = Bytes(version == 0 ? 1 : 2, 0);
    EXPECT_FALSE(Read(cut.Build()).ok) << int(version);
  }
  Heif longer;  // a byte after the item number
  longer.pitmVersion = 1;
  longer.pitmBody = {0, 0, 0, 1, 0xEE};
  EXPECT_EQ(Read(longer.Build()).profile, kProfileBody);

  Heif many;  // the first of many association boxes holds the primary's
  many.moreIpmas.assign(7, FullBox("ipma", 0, 0, Bytes(4)));
  EXPECT_EQ(Read(many.Build()).profile, kProfileBody);
  // At most one association box for each pair of version and flags, so four: the
  // primary's associations in the fourth are found, and a fifth (a repeat) is not looked
  // at, broken or not.
  Heif fourth;
  fourth.associatedItem = 2;  // the first box is about another item
  fourth.moreIpmas = {FullBox("ipma", 0, 1, Bytes(4)), FullBox("ipma", 1, 0, Bytes(4)),
                      FullBox("ipma", 1, 1, {0, 0, 0, 1, 0, 0, 0, 1, 1, 0, 2})};
  EXPECT_EQ(Read(fourth.Build()).profile, kProfileBody);
  fourth.moreIpmas.push_back(FullBox("ipma", 0, 0, {}));
  EXPECT_EQ(Read(fourth.Build()).profile, kProfileBody);
  // Broken: no header, no entry count, an entry's item number cut in half (16 and 32-bit),
  // an entry without its association count, a 15-bit property index cut in half.
  for (const Bytes& broken :
       {Box("ipma", {}), FullBox("ipma", 0, 0, {}), FullBox("ipma", 0, 0, {0, 0, 0, 1, 0}),
        FullBox("ipma", 1, 0, {0, 0, 0, 1, 0, 0}), FullBox("ipma", 0, 0, {0, 0, 0, 1, 0, 1}),
        FullBox("ipma", 0, 1, {0, 0, 0, 1, 0, 2, 1, 0})}) {
    for (bool metaLast : {false, true}) {
      Heif after;  // a broken one after it still breaks the file, also as its last box
      after.moreIpmas = {broken};
      after.mdatFirst = metaLast;
      EXPECT_FALSE(Read(after.Build()).ok) << metaLast;
    }
  }

  Heif gap;  // an empty box still counts as a property
  gap.properties = {Box("free", {}), Colr("prof", kProfileBody)};
  EXPECT_EQ(Read(gap.Build()).profile, kProfileBody);

  const Bytes file = Heif().Build();
  const size_t ipma = std::string(file.begin(), file.end()).find("ipma") + 4;
  Bytes moreAssociations = file;  // the entry's count (after version, flags, entries, item)
  ASSERT_EQ(moreAssociations[ipma + 10], 1);
  moreAssociations[ipma + 10] = 2;
  EXPECT_FALSE(Read(moreAssociations).ok);
  for (uint8_t version : {0, 1}) {  // two entries declared, the primary's the missing second
    Heif otherFirst;
    otherFirst.ipmaVersion = version;
    otherFirst.associatedItem = 2;
    Bytes moreEntries = otherFirst.Build();
    ASSERT_EQ(moreEntries[ipma + 7], 1) << int(version);
    moreEntries[ipma + 7] = 2;
    EXPECT_FALSE(Read(moreEntries).ok) << int(version);
  }
}

// Where the item information is: the file's own 'meta' box, which may be its last and run
// to the file's end (a size of 0), and the one 'iprp' box in it.
TEST(EmbeddedProfile, HeifMetaBoxAndItsPropertiesBox) {
  Heif last;
  last.mdatFirst = true;
  const Bytes file = last.Build();
  const size_t meta = std::string(file.begin(), file.end()).find("meta") - 4;
  ASSERT_EQ(Get32(file, meta), file.size() - meta);
  Bytes toTheEnd = file;
  Set32(&toTheEnd, meta, 0);
  EXPECT_EQ(Read(toTheEnd).profile, kProfileBody);
  Bytes renamed = file;  // the same boxes in a box of another type
  std::memcpy(&renamed[meta + 4], "free", 4);
  EXPECT_FALSE(Read(renamed).ok);

  // A second 'iprp' (a meta box holds at most one) is not looked at: the primary's
  // association in it is not the file's.
  Heif other = last;
  other.associatedItem = 2;
  Bytes twice = other.Build();
  const Bytes second = Box("iprp", FullBox("ipma", 0, 0, {0, 0, 0, 1, 0, 1, 1, 2}));
  twice.insert(twice.end(), second.begin(), second.end());
  Set32(&twice, meta, uint32_t(twice.size() - meta));
  EXPECT_FALSE(Read(twice).ok);
}

TEST(EmbeddedProfile, HeifBoxSizesThatLie) {
  const Bytes file = Heif().Build();
  const size_t colr = std::string(file.begin(), file.end()).find("colr") - 4;
  Bytes longer = file;
  Set32(&longer, colr, Get32(file, colr) + 1);  // one byte past its container
  EXPECT_FALSE(Read(longer).ok);
  Bytes tiny = file;
  Set32(&tiny, colr, 7);  // smaller than its own header
  EXPECT_FALSE(Read(tiny).ok);
  Bytes shortFtyp = file;
  Set32(&shortFtyp, 0, 4);  // the first box smaller than its own header
  EXPECT_FALSE(Read(shortFtyp).ok);
  Bytes huge = file;  // a 64-bit size of 4 GB
  Set32(&huge, colr, 1);
  huge.insert(huge.begin() + colr + 8, {0, 0, 0, 1, 0, 0, 0, 0});
  EXPECT_FALSE(Read(huge).ok);
  // A true 64-bit size: a size field of 1, the type, then the size counting its 16-byte
  // header.
  Bytes largeColr;
  Put32(&largeColr, 1);
  Put(&largeColr, "colr");
  Put32(&largeColr, 0);
  Put32(&largeColr, uint32_t(16 + 4 + kProfileBody.size()));
  Put(&largeColr, "prof");
  largeColr.insert(largeColr.end(), kProfileBody.begin(), kProfileBody.end());
  Heif large;
  large.properties = {Box("ispe", Bytes(12)), largeColr};
  EXPECT_EQ(Read(large.Build()).profile, kProfileBody);
  Heif first;  // the associations before the properties, so a cut reaches the profile
  first.ipmaFirst = true;
  const Bytes whole = first.Build();
  const size_t profile = std::string(whole.begin(), whole.end()).find("prof") + 4;
  EXPECT_TRUE(Read(whole).ok);
  EXPECT_TRUE(Read(Piece(whole, 0, profile + kProfileBody.size())).ok);
  EXPECT_FALSE(Read(Piece(whole, 0, profile + kProfileBody.size() - 1)).ok);
}

// ---- Profile checks.

TEST(IccProfile, RealProfilesJudged) {
  const struct {
    const char* file;
    bool plausible, srgb;
  } cases[] = {
      // sRGB from five makers, and sRGB with a video card calibration (not used to convert).
      {"srgb_colord.icc", true, true},
      {"srgb_free.icc", true, true},
      {"srgb_argyll.icm", true, true},
      {"srgb_lcms.icc", true, true},
      {"srgb_wine.icc", true, true},
      {"bluish_colord.icc", true, true},
      // sRGB primaries with another curve; sRGB's curve with other colorants.
      {"rec709_argyll.icm", true, false},
      {"cineonlog_free.icc", true, false},
      {"swapped_colord.icc", true, false},
      {"adobergb_free.icc", true, false},
      {"displayp3_argyll.icm", true, false},
      {"prophoto_argyll.icm", true, false},
      {"rec2020_argyll.icm", true, false},
      {"lut_argyll.icc", true, false},  // tables made from sRGB readings: converted anyway
      {"gray_free.icc", false, false},
      {"lab2lab_argyll.icm", false, false},
  };
  for (const auto& c : cases) {
    const Bytes p = Fixture(c.file);
    EXPECT_EQ(IsPlausibleIccProfile(p.data(), p.size()), c.plausible) << c.file;
    EXPECT_EQ(IsSrgbProfile(p.data(), p.size()), c.srgb) << c.file;
  }
}

bool Plausible(const Bytes& p) { return IsPlausibleIccProfile(p.data(), p.size()); }
bool Srgb(const Bytes& p) { return IsSrgbProfile(p.data(), p.size()); }

// ICC leaves the order of the tag table free: any entry of a real profile's table moved to
// the front leaves the judgement as it was.
TEST(IccProfile, TagTableInAnyOrder) {
  for (const char* file : {"srgb_lcms.icc", "srgb_argyll.icm", "lut_argyll.icc"}) {
    const Bytes base = Fixture(file);
    const uint32_t count = Get32(base, 128);
    for (uint32_t i = 0; i < count; ++i) {
      Bytes moved = base;
      const auto first = moved.begin() + 132;
      std::rotate(first, first + 12 * i, first + 12 * (i + 1));
      EXPECT_TRUE(Plausible(moved)) << file << " " << i;
      EXPECT_EQ(Srgb(moved), Srgb(base)) << file << " " << i;
    }
  }
}

// Where a tag's entry is in the table, or 0.
size_t TagEntry(const Bytes& p, const char* signature) {
  for (uint32_t i = 0; i < Get32(p, 128); ++i) {
    if (std::memcmp(&p[132 + 12 * i], signature, 4) == 0) return 132 + 12 * i;
  }
  return 0;
}

TEST(IccProfile, HostileHeadersAndTagTables) {
  const Bytes base = Fixture("srgb_lcms.icc");
  ASSERT_TRUE(Plausible(base));
  ASSERT_EQ(Get32(base, 0), base.size());

  Bytes longer = base;  // trailing bytes after the declared size are allowed
  longer.resize(base.size() + 16);
  EXPECT_TRUE(Plausible(longer));
  EXPECT_TRUE(Srgb(longer));
  Bytes beyond = base;
  Set32(&beyond, 0, uint32_t(base.size() + 1));
  EXPECT_FALSE(Plausible(beyond));
  Bytes huge = base;
  Set32(&huge, 0, 0xFFFFFFFF);
  EXPECT_FALSE(Plausible(huge));
  EXPECT_FALSE(Srgb(huge));

  Bytes signature = base;
  signature[36] = 'x';
  EXPECT_FALSE(Plausible(signature));
  Bytes tags = base;
  Set32(&tags, 128, 0x15555555);  // a table far past the end
  EXPECT_FALSE(Plausible(tags));
  EXPECT_FALSE(Srgb(tags));

  // The tag that ends last, moved to end exactly at the profile's end, then one further.
  size_t last = 0;
  for (uint32_t i = 0; i < Get32(base, 128); ++i) {
    const size_t e = 132 + 12 * i;
    const auto end = [&](size_t entry) { return Get32(base, entry + 4) + Get32(base, entry + 8); };
    if (!last || end(e) > end(last)) last = e;
  }
  Bytes atEnd = base;
  Set32(&atEnd, last + 8, uint32_t(base.size() - Get32(base, last + 4)));
  EXPECT_TRUE(Plausible(atEnd));
  Set32(&atEnd, last + 8, uint32_t(base.size() - Get32(base, last + 4) + 1));
  EXPECT_FALSE(Plausible(atEnd));
  // Every entry is checked, the first as much as the last: data that starts inside the tag
  // table, that is empty, or that starts at the profile's end.
  const uint32_t count = Get32(base, 128);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t e = 132 + 12 * i;
    Bytes inTable = base, empty = base, past = base;
    Set32(&inTable, e + 4, 132 + 12 * count - 4);
    Set32(&empty, e + 8, 0);
    Set32(&past, e + 4, uint32_t(base.size()));
    EXPECT_FALSE(Plausible(inTable)) << i;
    EXPECT_FALSE(Plausible(empty)) << i;
    EXPECT_FALSE(Plausible(past)) << i;
  }

  Bytes printer = base;
  std::memcpy(&printer[12], "prtr", 4);
  EXPECT_FALSE(Plausible(printer));
  Bytes cmyk = base;
  std::memcpy(&cmyk[16], "CMYK", 4);
  EXPECT_FALSE(Plausible(cmyk));
  Bytes version5 = base;
  version5[8] = 5;
  EXPECT_FALSE(Plausible(version5));
  // A colorant tag must be an XYZType of at least 20 bytes (type, reserved, three numbers).
  const size_t green = TagEntry(base, "gXYZ");
  Bytes notXyz = base;
  std::memcpy(&notXyz[Get32(base, green + 4)], "XYZX", 4);
  EXPECT_FALSE(Plausible(notXyz));
  for (uint32_t size : {19, 20}) {
    Bytes sized = base;
    Set32(&sized, green + 8, size);
    EXPECT_EQ(Plausible(sized), size == 20) << size;
  }
  Bytes noBlueCurve = base;
  std::memcpy(&noBlueCurve[TagEntry(base, "bTRC")], "bTRX", 4);
  EXPECT_FALSE(Plausible(noBlueCurve));

  EXPECT_FALSE(Plausible(Bytes(base.begin(), base.begin() + 131)));
  EXPECT_FALSE(IsPlausibleIccProfile(nullptr, 0));
  EXPECT_FALSE(Plausible(Fixture("jpeg_plain.jpg")));
}

TEST(IccProfile, SrgbDecidedByColorantsCurvesAndTables) {
  const Bytes base = Fixture("srgb_lcms.icc");  // a parametric sRGB curve: g, a, b, c, d
  const size_t red = Get32(base, TagEntry(base, "rXYZ") + 4);
  const size_t curve = Get32(base, TagEntry(base, "rTRC") + 4);
  ASSERT_EQ(std::string(base.begin() + curve, base.begin() + curve + 4), "para");

  Bytes nearby = base;  // off by what separates two makers' sRGB profiles
  Set32(&nearby, red + 8, Get32(base, red + 8) + 20);  // +0.0003
  EXPECT_TRUE(Srgb(nearby));
  Bytes pal = base;  // PAL's red is 0.019 further along X
  Set32(&pal, red + 8, Get32(base, red + 8) + 1245);
  EXPECT_FALSE(Srgb(pal));

  Bytes gamma22 = base;
  Set32(&gamma22, curve + 12, 0x00023333);  // 2.2
  EXPECT_TRUE(Plausible(gamma22));
  EXPECT_FALSE(Srgb(gamma22));

  Bytes tables = base;  // an A2B0 table would be used instead of the matrix
  std::memcpy(&tables[TagEntry(base, "cprt")], "A2B0", 4);
  EXPECT_TRUE(Plausible(tables));
  EXPECT_FALSE(Srgb(tables));
}

// The profile with its three curves replaced by one parametricCurveType of `function`, put
// last so that nothing follows it.
Bytes WithParametricCurve(Bytes p, uint16_t function, std::initializer_list<double> parameters) {
  const size_t at = p.size();
  Put(&p, "para");
  Put32(&p, 0);
  Put16(&p, function);
  Put16(&p, 0);
  for (double v : parameters) Put32(&p, uint32_t(int32_t(std::lround(v * 65536))));
  for (const char* tag : {"rTRC", "gTRC", "bTRC"}) {
    Set32(&p, TagEntry(p, tag) + 4, uint32_t(at));
    Set32(&p, TagEntry(p, tag) + 8, uint32_t(p.size() - at));
  }
  Set32(&p, 0, uint32_t(p.size()));
  return p;
}

// ICC's five parametric functions take 1, 3, 4, 5 and 7 parameters; sRGB's curve is function
// 3, or 4 with e = f = 0.
TEST(IccProfile, ParametricCurvesOfEachFunction) {
  const Bytes base = MakeRgbMatrixProfile(
      {{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}},
      TransferCurve{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045, 0, 0}, "sRGB");
  ASSERT_EQ(base.size() % 4, 0u);
  const double g = 2.4, a = 1 / 1.055, b = 0.055 / 1.055, c = 1 / 12.92, d = 0.04045;
  const struct {
    uint16_t function;
    std::initializer_list<double> parameters;
    bool plausible, srgb;
  } cases[] = {
      {3, {g, a, b, c, d}, true, true},
      {4, {g, a, b, c, d, 0, 0}, true, true},
      {4, {g, a, b, c, d, 0, 0.02}, true, false},  // black lifted
      {4, {g, a, b, c, d, 0.02, 0}, true, false},  // the power segment lifted, not black
      {0, {2.2}, true, false},
      {1, {g, a, b}, true, false},  // no linear segment near black
      {2, {g, a, b, 0}, true, false},
      {3, {g, a, b, c}, false, false},  // a parameter short
      {4, {g, a, b, c, d, 0}, false, false},
      {5, {g, a, b, c, d, 0, 0}, false, false},  // no such function
  };
  for (const auto& k : cases) {
    const Bytes p = WithParametricCurve(base, k.function, k.parameters);
    EXPECT_EQ(Plausible(p), k.plausible) << k.function << " " << k.parameters.size();
    EXPECT_EQ(Srgb(p), k.srgb) << k.function << " " << k.parameters.size();
  }
}

// ---- Building profiles.

double Fixed(const Bytes& p, size_t at) { return int32_t(Get32(p, at)) / 65536.0; }

// A colorant (or white point) tag's XYZ.
std::vector<double> Xyz(const Bytes& p, const char* tag) {
  const size_t entry = TagEntry(p, tag);
  if (!entry) return {};
  const size_t at = Get32(p, entry + 4);
  return {Fixed(p, at + 8), Fixed(p, at + 12), Fixed(p, at + 16)};
}

void ExpectSameColorants(const Bytes& made, const Bytes& published, double tolerance) {
  for (const char* tag : {"rXYZ", "gXYZ", "bXYZ"}) {
    const std::vector<double> a = Xyz(made, tag), b = Xyz(published, tag);
    ASSERT_EQ(a.size(), 3u) << tag;
    ASSERT_EQ(b.size(), 3u) << tag;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(a[i], b[i], tolerance) << tag << i;
  }
}

const Chromaticity kD65{0.3127, 0.3290};
const double kD50Xyz[3] = {0.9642, 1.0, 0.8249};
const RgbPrimaries kBt709{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, kD65};
const TransferCurve kSrgbCurve{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045, 0, 0};

TEST(MakeProfile, ColorantsOfPublishedProfiles) {
  TransferCurve gamma;
  gamma.g = 563 / 256.0;  // as Adobe RGB profiles store 2.2
  const Bytes adobe = MakeRgbMatrixProfile({{0.64, 0.33}, {0.21, 0.71}, {0.15, 0.06}, kD65}, gamma,
                                           "Adobe RGB compatible");
  ASSERT_TRUE(Plausible(adobe));
  ExpectSameColorants(adobe, Fixture("adobergb_free.icc"), 0.0005);

  // ProPhoto's white is D50 already, so the adaptation changes nothing.
  gamma.g = 1.8;
  const Bytes prophoto = MakeRgbMatrixProfile(
      {{0.7347, 0.2653}, {0.1596, 0.8404}, {0.0366, 0.0001}, {0.3457, 0.3585}}, gamma, "ProPhoto");
  ASSERT_TRUE(Plausible(prophoto));
  ExpectSameColorants(prophoto, Fixture("prophoto_argyll.icm"), 0.0005);

  // BT.709 primaries with the sRGB curve are sRGB by any maker's measure.
  const Bytes srgb = MakeRgbMatrixProfile(kBt709, kSrgbCurve, "sRGB");
  EXPECT_TRUE(Srgb(srgb));
  ExpectSameColorants(srgb, Fixture("srgb_wine.icc"), 0.0002);
  EXPECT_EQ(Get32(srgb, 0), srgb.size());
  // Tag data starts on 4-byte boundaries, and the profile ends on one.
  EXPECT_EQ(srgb.size() % 4, 0u);
  for (uint32_t i = 0; i < Get32(srgb, 128); ++i) {
    EXPECT_EQ(Get32(srgb, 132 + 12 * i + 4) % 4, 0u) << i;
  }
  // The adaptation from D65 to D50 as an s15Fixed16ArrayType: Bradford's published matrix.
  const size_t chad = Get32(srgb, TagEntry(srgb, "chad") + 4);
  EXPECT_EQ(std::string(srgb.begin() + chad, srgb.begin() + chad + 4), "sf32");
  EXPECT_EQ(Get32(srgb, TagEntry(srgb, "chad") + 8), 8u + 9 * 4);
  const double bradford[9] = {1.0478,  0.0229,  -0.0501, 0.0295, 0.9905,
                              -0.0171, -0.0092, 0.0150,  0.7521};
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(Fixed(srgb, chad + 8 + 4 * i), bradford[i], 0.001) << i;
  // The description as ICC's textDescriptionType holds it: the ASCII count with its NUL,
  // then the text and the NUL.
  const size_t desc = Get32(srgb, TagEntry(srgb, "desc") + 4);
  EXPECT_EQ(std::string(srgb.begin() + desc, srgb.begin() + desc + 4), "desc");
  EXPECT_EQ(Get32(srgb, desc + 8), 5u);
  EXPECT_EQ(std::string(srgb.begin() + desc + 12, srgb.begin() + desc + 17),
            std::string("sRGB\0", 5));
  // After the ASCII text: the Unicode language and count (4 + 4, no Unicode text), the
  // ScriptCode code and count (2 + 1) and its fixed 67 bytes. The tag is exactly that long.
  EXPECT_EQ(Get32(srgb, TagEntry(srgb, "desc") + 8), 12u + 5 + 8 + 3 + 67);
  const std::vector<double> white = Xyz(srgb, "wtpt");
  ASSERT_EQ(white.size(), 3u);
  EXPECT_NEAR(white[0], 0.9642, 0.0001);
  EXPECT_NEAR(white[2], 0.8249, 0.0001);
}

// The ASCII text of a textDescriptionType tag, by its count (which includes the NUL).
std::string Description(const Bytes& p) {
  const size_t at = Get32(p, TagEntry(p, "desc") + 4);
  const size_t count = Get32(p, at + 8);
  if (count == 0 || p[at + 12 + count - 1] != 0) return "(not terminated)";
  return std::string(p.begin() + at + 12, p.begin() + at + 12 + count - 1);
}

TEST(MakeProfile, DescriptionIsPrintableAsciiOfAtMost64Characters) {
  const struct {
    const char* given;
    std::string stored;
  } cases[] = {
      {"Wide gamut RGB ~", "Wide gamut RGB ~"},  // space and tilde: the ends of printable ASCII
      {"tab\tdel\x7F\x1F\xC3\xA9", "tab?del????"},
      {"", "RGB"},
      {nullptr, "RGB"},
      {"0123456789012345678901234567890123456789012345678901234567890123",
       "0123456789012345678901234567890123456789012345678901234567890123"},
      {"0123456789012345678901234567890123456789012345678901234567890123+",
       "0123456789012345678901234567890123456789012345678901234567890123"},
  };
  for (const auto& c : cases) {
    const Bytes p = MakeRgbMatrixProfile(kBt709, kSrgbCurve, c.given);
    ASSERT_TRUE(Plausible(p)) << c.stored;
    EXPECT_EQ(Description(p), c.stored);
    // A version 2 text description: signature, reserved, the ASCII count and text with its
    // zero, an empty Unicode part (language, count) and an empty ScriptCode part (code,
    // count, 67 bytes).
    const size_t at = Get32(p, TagEntry(p, "desc") + 4);
    const size_t ascii = c.stored.size() + 1;
    EXPECT_EQ(Get32(p, TagEntry(p, "desc") + 8), 12 + ascii + 8 + 3 + 67);
    EXPECT_EQ(Get32(p, at + 12 + ascii + 4), 0u);  // no Unicode characters
    EXPECT_EQ(p[at + 12 + ascii + 8 + 2], 0);      // no ScriptCode characters
  }
  // The copyright is a text type: signature, reserved, then ASCII to the tag's last byte,
  // which is its zero.
  const Bytes p = MakeRgbMatrixProfile(kBt709, kSrgbCurve, "x");
  const size_t entry = TagEntry(p, "cprt");
  ASSERT_NE(entry, 0u);
  const size_t at = Get32(p, entry + 4), size = Get32(p, entry + 8);
  ASSERT_GT(size, 9u);
  EXPECT_EQ(std::string(p.begin() + long(at), p.begin() + long(at) + 4), "text");
  EXPECT_EQ(Get32(p, at + 4), 0u);
  EXPECT_EQ(p[at + size - 1], 0);
  for (size_t i = at + 8; i + 1 < at + size; ++i) {
    EXPECT_TRUE(p[i] >= 0x20 && p[i] < 0x7F) << i - at;
  }
}

// A curv table tag's value at entry i of n, in 0..1.
double TableValue(const Bytes& p, const char* tag, size_t i) {
  const size_t at = Get32(p, TagEntry(p, tag) + 4);
  EXPECT_EQ(std::string(p.begin() + at, p.begin() + at + 4), "curv");
  return (p[at + 12 + 2 * i] << 8 | p[at + 13 + 2 * i]) / 65535.0;
}

TEST(MakeProfile, CodedDescriptions) {
  std::vector<uint8_t> profile = {1};
  NclxColour srgb;
  srgb.primaries = 1;
  srgb.transfer = 13;
  EXPECT_EQ(ProfileForNclx(srgb, &profile), NclxHandling::Srgb);
  EXPECT_TRUE(profile.empty());
  EXPECT_EQ(ProfileForNclx(NclxColour(), &profile), NclxHandling::Srgb);  // nothing given

  NclxColour p3 = srgb;
  p3.primaries = 12;
  ASSERT_EQ(ProfileForNclx(p3, &profile), NclxHandling::Profile);
  EXPECT_TRUE(Plausible(profile));
  EXPECT_FALSE(Srgb(profile));
  ExpectSameColorants(profile, Fixture("displayp3_argyll.icm"), 0.0005);

  NclxColour bt2020;
  bt2020.primaries = 9;
  bt2020.transfer = 14;
  ASSERT_EQ(ProfileForNclx(bt2020, &profile), NclxHandling::Profile);
  const Bytes rec2020 = Fixture("rec2020_argyll.icm");
  ExpectSameColorants(profile, rec2020, 0.0005);
  // Argyll's curve has 4096 entries, ours 1024: entry 4i of one is entry i of the other...
  // nearly, 4095 steps against 1023; compare at the ends and the middle of the range.
  EXPECT_NEAR(TableValue(profile, "gTRC", 0), 0, 1e-6);
  EXPECT_NEAR(TableValue(profile, "gTRC", 1023), 1, 1e-6);
  // An ICC curv element is its type, 4 reserved bytes, the count and count 16-bit entries:
  // the tag table's size says exactly that much.
  for (const char* tag : {"rTRC", "gTRC", "bTRC"}) {
    const size_t entry = TagEntry(profile, tag);
    const size_t at = Get32(profile, entry + 4);
    EXPECT_EQ(Get32(profile, at + 8), 1024u) << tag;
    EXPECT_EQ(Get32(profile, entry + 8), 12u + 2 * 1024) << tag;
  }
  EXPECT_NEAR(TableValue(profile, "gTRC", 341), TableValue(rec2020, "gTRC", 1365), 0.0002);

  NclxColour bt709 = srgb;
  bt709.transfer = 1;
  ASSERT_EQ(ProfileForNclx(bt709, &profile), NclxHandling::Profile);
  EXPECT_FALSE(Srgb(profile));
  const Bytes rec709 = Fixture("rec709_argyll.icm");  // 1024 entries too
  for (size_t i : {10, 100, 512, 900}) {
    EXPECT_NEAR(TableValue(profile, "rTRC", i), TableValue(rec709, "rTRC", i), 0.0002) << i;
  }

  // Each primaries code H.273 gives as RGB primaries; the colorants add up to the D50 white.
  for (uint16_t code : {1, 2, 4, 5, 6, 7, 8, 9, 11, 12, 22}) {
    NclxColour coded = bt709;
    coded.primaries = code;
    ASSERT_EQ(ProfileForNclx(coded, &profile), NclxHandling::Profile) << code;
    EXPECT_TRUE(Plausible(profile)) << code;
    const std::vector<double> r = Xyz(profile, "rXYZ"), g = Xyz(profile, "gXYZ"),
                              b = Xyz(profile, "bXYZ");
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(r[i] + g[i] + b[i], kD50Xyz[i], 0.0005) << code;
  }

  // Other transfers as H.273 gives them, inverted: linear light at the middle code.
  const double bt709Middle = std::pow((0.5 + 0.099) / 1.099, 1 / 0.45);
  for (auto transfer : {std::pair<uint16_t, double>{1, bt709Middle},
                        {6, bt709Middle},
                        {14, bt709Middle},
                        {15, bt709Middle},
                        {4, std::pow(0.5, 2.2)},
                        {5, std::pow(0.5, 2.8)},
                        {7, std::pow((0.5 + 0.1115) / 1.1115, 1 / 0.45)}}) {
    NclxColour coded = p3;
    coded.transfer = transfer.first;
    ASSERT_EQ(ProfileForNclx(coded, &profile), NclxHandling::Profile) << transfer.first;
    const double middle = (TableValue(profile, "gTRC", 511) + TableValue(profile, "gTRC", 512)) / 2;
    EXPECT_NEAR(middle, transfer.second, 0.001) << transfer.first;
  }

  // H.273's transfer 8 is linear light, so the table is a straight line.
  NclxColour linear = p3;
  linear.transfer = 8;
  ASSERT_EQ(ProfileForNclx(linear, &profile), NclxHandling::Profile);
  for (size_t i : {1, 300, 512, 1000}) {
    EXPECT_NEAR(TableValue(profile, "gTRC", i), i / 1023.0, 1e-4) << i;
  }

  // PQ, HLG, ST 428, reserved primaries 3, XYZ primaries 10, reserved transfer 0, and the
  // logarithmic transfers 9 and 10.
  for (auto codes :
       {std::pair<int, int>{9, 16}, {9, 18}, {1, 17}, {3, 13}, {10, 13}, {1, 0}, {1, 9}, {1, 10}}) {
    NclxColour unsupported;
    unsupported.primaries = uint16_t(codes.first);
    unsupported.transfer = uint16_t(codes.second);
    EXPECT_EQ(ProfileForNclx(unsupported, &profile), NclxHandling::Unsupported)
        << codes.first << "/" << codes.second;
    EXPECT_TRUE(profile.empty());
  }
}

TEST(MakeProfile, RefusesWhatIsNoRgbSpace) {
  const TransferCurve linear;
  EXPECT_FALSE(MakeRgbMatrixProfile(kBt709, linear, "linear").empty());
  RgbPrimaries collinear = kBt709;
  collinear.blue = {0.47, 0.465};  // on the line from red to green
  EXPECT_TRUE(MakeRgbMatrixProfile(collinear, linear, "x").empty());
  RgbPrimaries outside = kBt709;
  outside.white = {0.7, 0.25};  // white beyond the red primary
  EXPECT_TRUE(MakeRgbMatrixProfile(outside, linear, "x").empty());
  RgbPrimaries zero = kBt709;
  zero.green.y = 0;
  EXPECT_TRUE(MakeRgbMatrixProfile(zero, linear, "x").empty());
  RgbPrimaries nan = kBt709;
  nan.red.x = std::nan("");
  EXPECT_TRUE(MakeRgbMatrixProfile(nan, linear, "x").empty());

  // A white deep in the blue, inside its triangle, for which the adaptation's long-wave
  // response is negative: nothing can be adapted from it. The same triangle around D65 can.
  const RgbPrimaries deepBlue = {{0.64, 0.33}, {0.17, 0.797}, {0.12, 0.02}, kD65};
  EXPECT_TRUE(Plausible(MakeRgbMatrixProfile(deepBlue, linear, "x")));
  RgbPrimaries blueWhite = deepBlue;
  blueWhite.white = {0.126, 0.06};
  EXPECT_TRUE(MakeRgbMatrixProfile(blueWhite, linear, "x").empty());

  TransferCurve falling;  // 0.8 up to the middle, then X: ends at 1 but falls on the way
  falling.d = 0.5, falling.f = 0.8;
  EXPECT_TRUE(MakeRgbMatrixProfile(kBt709, falling, "x").empty());
  TransferCurve dim;
  dim.a = 0.5;  // white ends at half
  EXPECT_TRUE(MakeRgbMatrixProfile(kBt709, dim, "x").empty());
  // White must end near white, within a hundredth: a curve lifted by 0.0095 ends inside,
  // one lifted by 0.0105 ends outside (though its last step but one is still inside).
  TransferCurve lifted;
  lifted.e = 0.0095;
  EXPECT_TRUE(Plausible(MakeRgbMatrixProfile(kBt709, lifted, "x")));
  lifted.e = 0.0105;
  EXPECT_TRUE(MakeRgbMatrixProfile(kBt709, lifted, "x").empty());
  TransferCurve infinite;
  infinite.g = INFINITY;
  EXPECT_TRUE(MakeRgbMatrixProfile(kBt709, infinite, "x").empty());
}

// Chromaticities of what XYZ can hold have x >= 0, y > 0 and x + y <= 1. ACES's green
// (0, 1) lies on two of those edges (here with ProPhoto's red, blue and white); a hair
// beyond either edge is no colour.
TEST(MakeProfile, PrimariesAndWhitesAtTheirEdges) {
  const TransferCurve linear;
  const RgbPrimaries edge = {{0.7347, 0.2653}, {0, 1}, {0.0366, 0.0001}, {0.3457, 0.3585}};
  EXPECT_TRUE(Plausible(MakeRgbMatrixProfile(edge, linear, "x")));
  for (Chromaticity beyond : {Chromaticity{-0.0001, 0.9999}, Chromaticity{0.0001, 1}}) {
    RgbPrimaries p = edge;
    p.green = beyond;
    EXPECT_TRUE(MakeRgbMatrixProfile(p, linear, "x").empty()) << beyond.x;
  }

  // A white on an edge of the triangle mixes two primaries and none of the third, so no
  // triangle lies around it; moved a hundredth of the way toward D65, it is inside.
  const struct {
    Chromaticity onEdge, inside;
  } whites[] = {
      {{0.255, 0.438}, {0.25558, 0.43691}},    // 30% of the way from green to blue
      {{0.2235, 0.1005}, {0.22439, 0.10279}},  // 85% from red to blue
      {{0.3782, 0.5379}, {0.37754, 0.53581}},  // 77% from red to green
  };
  for (const auto& w : whites) {
    RgbPrimaries p = kBt709;
    p.white = w.onEdge;
    EXPECT_TRUE(MakeRgbMatrixProfile(p, linear, "x").empty()) << w.onEdge.x;
    p.white = w.inside;
    EXPECT_TRUE(Plausible(MakeRgbMatrixProfile(p, linear, "x"))) << w.inside.x;
  }

  // Bradford adapts by the ratio of the cone responses of the two whites: one on the line
  // where the long-wave response is zero (to the last bit) cannot be adapted, one just
  // off it can.
  RgbPrimaries deepBlue = {{0.64, 0.33}, {0.17, 0.797}, {0.12, 0.02}, {0.12847326076668245, 0.06}};
  EXPECT_TRUE(MakeRgbMatrixProfile(deepBlue, linear, "x").empty());
  deepBlue.white = {0.1285, 0.06};
  EXPECT_TRUE(Plausible(MakeRgbMatrixProfile(deepBlue, linear, "x")));
}

// ICC's parametric form takes the power segment from X = d on and the line below it.
TEST(MakeProfile, CurveSegmentsMeetAtD) {
  TransferCurve stepped;  // black up to d, then Y = X
  stepped.d = 512 / 1023.0;
  const Bytes p = MakeRgbMatrixProfile(kBt709, stepped, "x");
  ASSERT_TRUE(Plausible(p));
  EXPECT_EQ(TableValue(p, "rTRC", 511), 0);
  EXPECT_NEAR(TableValue(p, "rTRC", 512), 512 / 1023.0, 1e-5);
  EXPECT_NEAR(TableValue(p, "rTRC", 1023), 1, 1e-9);
}

// The header fields ICC gives a version 2 display profile, the intent (perceptual) and the
// D50 illuminant as every maker's matrix profile stores them; each tag's element starts
// with its type and four reserved bytes of zero.
TEST(MakeProfile, LaidOutAsAVersion2DisplayProfile) {
  const Bytes p = MakeRgbMatrixProfile(kBt709, kSrgbCurve, "sRGB");
  const Bytes wine = Fixture("srgb_wine.icc");
  ASSERT_GE(p.size(), 132u);
  EXPECT_EQ(Get32(p, 0), p.size());
  EXPECT_EQ(Get32(p, 4), 0u);  // no preferred engine: zero, as no engine registered 1
  EXPECT_EQ(Get32(p, 8), 0x02400000u);
  EXPECT_EQ(std::string(p.begin() + 12, p.begin() + 24), "mntrRGB XYZ ");
  const auto field = [&](size_t at) { return p[at] << 8 | p[at + 1]; };  // dateTimeNumber
  EXPECT_GE(field(24), 1994);
  EXPECT_TRUE(field(26) >= 1 && field(26) <= 12);
  EXPECT_TRUE(field(28) >= 1 && field(28) <= 31);
  EXPECT_TRUE(field(30) < 24 && field(32) < 60 && field(34) < 60);
  EXPECT_EQ(std::string(p.begin() + 36, p.begin() + 40), "acsp");
  for (size_t at = 40; at < 64; ++at) EXPECT_EQ(p[at], 0) << at;  // platform to attributes
  EXPECT_EQ(Piece(p, 64, 80), Piece(wine, 64, 80));
  for (size_t at = 80; at < 128; ++at) EXPECT_EQ(p[at], 0) << at;  // creator, ID, reserved
  for (uint32_t i = 0; i < Get32(p, 128); ++i) {
    EXPECT_EQ(Get32(p, Get32(p, 132 + 12 * i + 4) + 4), 0u) << i;
  }
}

// ---- Curve tables.

// The profile with its three curves replaced by one curveType of `entries`, stored
// `missing` bytes short, put last and copied to a buffer of exactly its size, so that a
// read past the tag is a read past the buffer.
Bytes WithTableCurve(Bytes p, const std::vector<uint16_t>& entries, size_t missing = 0) {
  const size_t at = p.size();
  Put(&p, "curv");
  Put32(&p, 0);
  Put32(&p, uint32_t(entries.size()));
  for (uint16_t v : entries) Put16(&p, v);
  p.resize(p.size() - missing);
  for (const char* tag : {"rTRC", "gTRC", "bTRC"}) {
    Set32(&p, TagEntry(p, tag) + 4, uint32_t(at));
    Set32(&p, TagEntry(p, tag) + 8, uint32_t(p.size() - at));
  }
  Set32(&p, 0, uint32_t(p.size()));
  return Bytes(p.begin(), p.end());
}

// sRGB's decoding as IEC 61966-2-1 defines it, from encoded value v in 0..1.
double SrgbDecode(double v) {
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

std::vector<uint16_t> SrgbTable(size_t n) {
  std::vector<uint16_t> t(n);
  for (size_t i = 0; i < n; ++i) {
    t[i] = uint16_t(std::lround(SrgbDecode(double(i) / (n - 1)) * 65535));
  }
  return t;
}

// ICC's curveType: no entries is the identity, one a gamma (u8Fixed8), more a table spread
// evenly over 0..1 and read between its entries. A curve is sRGB's when it stays within
// half a step of 8-bit output of it, white included.
TEST(IccProfile, CurveTablesOfEachLength) {
  const Bytes base = MakeRgbMatrixProfile(kBt709, kSrgbCurve, "sRGB");  // sRGB's colorants
  ASSERT_TRUE(Srgb(base));
  const Bytes identity = WithTableCurve(base, {});
  EXPECT_TRUE(Plausible(identity));
  EXPECT_FALSE(Srgb(identity));
  EXPECT_FALSE(Plausible(WithTableCurve(base, {}, 1)));  // 11 bytes: no room for the count
  const Bytes gamma = WithTableCurve(base, {563});       // 2.2 as Adobe RGB stores it
  EXPECT_TRUE(Plausible(gamma));
  EXPECT_FALSE(Srgb(gamma));
  const Bytes line = WithTableCurve(base, {0, 65535});
  EXPECT_TRUE(Plausible(line));
  EXPECT_FALSE(Srgb(line));
  EXPECT_TRUE(Srgb(WithTableCurve(base, SrgbTable(1024))));
  EXPECT_TRUE(Srgb(WithTableCurve(base, SrgbTable(4096))));           // as Argyll writes it
  EXPECT_FALSE(Plausible(WithTableCurve(base, SrgbTable(1024), 1)));  // the last entry cut
  // White lowered by a little less than half a step of 8-bit output, then a little more.
  for (double steps : {0.46, 0.54}) {
    std::vector<uint16_t> t = SrgbTable(1024);
    t.back() = uint16_t(std::lround(SrgbDecode(1 - steps / 255) * 65535));
    EXPECT_EQ(Srgb(WithTableCurve(base, t)), steps < 0.5) << steps;
  }
  // Black lifted by 0.45 of such a step (9 / 65535 of linear light), then by 0.55 (11).
  for (uint16_t black : {9, 11}) {
    std::vector<uint16_t> t = SrgbTable(1024);
    t.front() = black;
    EXPECT_EQ(Srgb(WithTableCurve(base, t)), black == 9) << black;
  }
}

}  // namespace
}  // namespace framewise
