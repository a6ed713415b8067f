#include "fitting/portable/picture_header.h"
#include "fitting/portable/byte_reading.h"

#include <algorithm>
#include <cstring>

namespace framewise {

namespace {

using bytes::ForEachIfdEntry;
using bytes::FourCc;
using bytes::Get16;
using bytes::Get32;
using bytes::ReadFully;
using bytes::ReadSome;

// Steps of a JPEG segment walk (segments, standalone markers and fill bytes). Real files
// have a few dozen segments before the frame header; this only stops hostile ones.
constexpr int kMaxJpegSteps = 4096;

constexpr uint16_t kTagImageWidth = 256;
constexpr uint16_t kTagImageLength = 257;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

// A part of another source, seen from its own offset 0: the TIFF structure inside a JPEG's
// Exif block, so its offsets cannot reach outside the block.
class WindowSource final : public ByteSource {
 public:
  WindowSource(ByteSource& inner, uint64_t start, uint64_t length)
      : inner_(inner), start_(start), length_(length) {}
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override {
    if (offset >= length_) return 0;
    const uint64_t left = length_ - offset;
    if (size > left) size = static_cast<size_t>(left);
    return ReadSome(inner_, start_ + offset, buffer, size);
  }

 private:
  ByteSource& inner_;
  uint64_t start_;
  uint64_t length_;
};

struct TiffFields {
  uint32_t width = 0;
  uint32_t height = 0;
  int orientation = 1;
};

// The first entry of a tag in an IFD: its type, count and value field as stored.
struct IfdEntry {
  bool seen = false;
  uint16_t type = 0;
  uint32_t count = 0;
  uint8_t value[4] = {};
};

// A width or height entry: SHORT or LONG, one value, held in the entry itself.
uint32_t DimensionValue(const IfdEntry& e, bool le) {
  if (!e.seen || e.count != 1) return 0;
  if (e.type == kTypeShort) return Get16(e.value, le);
  if (e.type == kTypeLong) return Get32(e.value, le);
  return 0;
}

// Reads the first entry of each of three tags from the IFD at `ifd`, whose first two
// bytes count its entries. A missing, truncated or lying IFD leaves unfound entries unseen.
// Only this one IFD is read, so looping IFD chains cannot matter.
void ReadIfdEntries(ByteSource& source, bool le, uint32_t ifd, const uint16_t (&tags)[3],
                    IfdEntry (&found)[3]) {
  ForEachIfdEntry(source, le, ifd, [&](const uint8_t* e) {
    const uint16_t tag = Get16(e, le);
    for (size_t t = 0; t < 3; ++t) {
      if (tag != tags[t] || found[t].seen) continue;
      found[t].seen = true;
      found[t].type = Get16(e + 2, le);
      found[t].count = Get32(e + 4, le);
      std::memcpy(found[t].value, e + 8, 4);
    }
    return found[0].seen && found[1].seen && found[2].seen;
  });
}

// Reads IFD0 of the TIFF structure at the source's offset 0. False when there is no TIFF
// header; a missing, truncated or lying IFD leaves the fields it did not find at their
// defaults. The first entry of a tag counts.
bool ReadTiffFields(ByteSource& source, TiffFields* fields) {
  uint8_t header[8];
  if (!ReadFully(source, 0, header, sizeof header)) return false;
  bool le;
  if (std::memcmp(header, "II*\0", 4) == 0) {
    le = true;
  } else if (std::memcmp(header, "MM\0*", 4) == 0) {
    le = false;
  } else {
    return false;
  }
  const uint32_t ifd = Get32(header + 4, le);
  if (ifd < sizeof header) return true;  // none, or one overlapping the header
  IfdEntry found[3];
  ReadIfdEntries(source, le, ifd, {kTagImageWidth, kTagImageLength, kTagOrientation}, found);
  fields->width = DimensionValue(found[0], le);
  fields->height = DimensionValue(found[1], le);
  const IfdEntry& o = found[2];
  const uint16_t value = Get16(o.value, le);
  if (o.seen && o.type == kTypeShort && o.count == 1 && value >= 1 && value <= 8) {
    fields->orientation = value;
  }
  return true;
}

bool IsStandaloneMarker(uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);  // TEM, RST0..7
}

// Frame headers SOF0..15; C4 (DHT), C8 (JPG) and CC (DAC) share the range but are not.
bool IsFrameHeader(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
         marker != 0xCC;
}

// Walks a JPEG's segments after SOI, taking the orientation from the first Exif block.
// With wantSize it stops at the first frame header and reads the size from it (true when
// found); otherwise it stops as soon as the orientation is known.
bool WalkJpeg(ByteSource& source, bool wantSize, PictureHeader* out) {
  uint64_t pos = 2;
  bool seenExif = false;
  for (int step = 0; step < kMaxJpegSteps; ++step) {
    uint8_t m[4];
    const size_t got = ReadSome(source, pos, m, sizeof m);
    if (got < 2 || m[0] != 0xFF) return false;
    const uint8_t marker = m[1];
    if (marker == 0xFF) {  // fill byte before a marker
      pos += 1;
      continue;
    }
    if (IsStandaloneMarker(marker)) {
      pos += 2;
      continue;
    }
    // SOS or EOI before a frame header, a second SOI or a stuffed zero: not readable.
    if (marker == 0xDA || marker == 0xD9 || marker == 0xD8 || marker == 0x00) return false;
    if (got < 4) return false;
    const uint16_t length = Get16(m + 2, false);  // counts itself, not the marker
    if (length < 2) return false;
    if (IsFrameHeader(marker)) {
      if (!wantSize) return false;
      uint8_t frame[5];  // precision, height, width
      if (length < 2 + sizeof frame || !ReadFully(source, pos + 4, frame, sizeof frame)) {
        return false;
      }
      out->height = Get16(frame + 1, false);
      out->width = Get16(frame + 3, false);
      return true;
    }
    if (marker == 0xE1 && !seenExif && length >= 8) {
      uint8_t signature[6];
      if (ReadFully(source, pos + 4, signature, sizeof signature) &&
          std::memcmp(signature, "Exif\0\0", sizeof signature) == 0) {
        seenExif = true;
        WindowSource tiff(source, pos + 10, length - 8u);
        TiffFields fields;
        ReadTiffFields(tiff, &fields);
        out->orientation = fields.orientation;
        if (!wantSize) return true;
      }
    }
    pos += 2u + length;
  }
  return false;
}

uint32_t Get24(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (static_cast<uint32_t>(p[2]) << 16);
}

// ---- WebP ----

// Chunks walked looking for the EXIF chunk; real files have a handful before it.
constexpr int kMaxWebpChunks = 64;
constexpr uint8_t kVp8xExif = 0x08;

// The orientation in the EXIF chunk of a WebP file whose chunks start at `at`: a TIFF
// structure, after "Exif\0\0" in some writers' files. 1 when there is none.
int WebpExifOrientation(ByteSource& source, uint64_t at) {
  for (int i = 0; i < kMaxWebpChunks; ++i) {
    uint8_t chunk[8];
    if (!ReadFully(source, at, chunk, sizeof chunk)) return 1;
    const uint32_t size = Get32(chunk + 4, true);
    if (std::memcmp(chunk, "EXIF", 4) == 0) {
      uint64_t body = at + 8, length = size;
      uint8_t prefix[6];
      if (length >= sizeof prefix && ReadFully(source, body, prefix, sizeof prefix) &&
          std::memcmp(prefix, "Exif\0\0", sizeof prefix) == 0) {
        body += sizeof prefix;
        length -= sizeof prefix;
      }
      WindowSource tiff(source, body, length);
      TiffFields fields;
      ReadTiffFields(tiff, &fields);
      return fields.orientation;
    }
    at += 8u + static_cast<uint64_t>(size) + (size & 1u);  // bodies are padded to even sizes
  }
  return 1;
}

// `b` holds the file's first `n` bytes: the RIFF header, then the first chunk's header at
// 12 and its body at 20, which is the picture's VP8, VP8L or VP8X chunk.
bool ReadWebp(ByteSource& source, const uint8_t* b, size_t n, PictureHeader* out) {
  const uint32_t chunkSize = Get32(b + 16, true);
  const uint8_t* d = b + 20;
  out->format = PictureFormat::Webp;
  if (std::memcmp(b + 12, "VP8 ", 4) == 0) {
    // A key frame's tag (bit 0 clear), its start code, then 14-bit sizes whose top two bits
    // ask for upscaling, which the stored size does not include.
    if (n < 30 || chunkSize < 10 || (d[0] & 1) != 0 || std::memcmp(d + 3, "\x9D\x01\x2A", 3) != 0) {
      return false;
    }
    out->width = Get16(d + 6, true) & 0x3FFFu;
    out->height = Get16(d + 8, true) & 0x3FFFu;
    return true;
  }
  if (std::memcmp(b + 12, "VP8L", 4) == 0) {
    // The signature byte, then width - 1 and height - 1 in 14 bits each, an alpha bit and
    // a 3-bit version that must be 0.
    if (n < 25 || chunkSize < 5 || d[0] != 0x2F) return false;
    const uint32_t bits = Get32(d + 1, true);
    if ((bits >> 29) != 0) return false;
    out->width = (bits & 0x3FFFu) + 1;
    out->height = ((bits >> 14) & 0x3FFFu) + 1;
    return true;
  }
  if (std::memcmp(b + 12, "VP8X", 4) == 0) {
    // Flags, three reserved bytes, then the canvas's width - 1 and height - 1 in 24 bits.
    if (n < 30 || chunkSize < 10) return false;
    const uint32_t width = Get24(d + 4) + 1;
    const uint32_t height = Get24(d + 7) + 1;
    if (static_cast<uint64_t>(width) * height > UINT32_MAX) return false;  // the format's cap
    out->width = width;
    out->height = height;
    if (d[0] & kVp8xExif) {
      out->orientation =
          WebpExifOrientation(source, 20u + static_cast<uint64_t>(chunkSize) + (chunkSize & 1u));
    }
    return true;
  }
  return false;
}

// ---- Boxes (HEIF, AVIF and the JPEG XL container) ----

// The end of a box that runs to the end of a file whose size is not known.
constexpr uint64_t kToEndOfFile = UINT64_MAX;
// Boxes walked in one container. Real files have a few at each level.
constexpr int kMaxBoxes = 256;
// Items and properties walked: a picture made of tiles has an item (and an entry in each
// list) per tile, a few hundred at most.
constexpr int kMaxItems = 4096;
// Brands read from a file type box.
constexpr size_t kMaxBrands = 32;

struct Box {
  uint32_t type = 0;
  uint64_t body = 0;  // the first byte after the header
  uint64_t end = 0;   // one past the last byte
};

// Reads the header of the box at `at` in a container that ends at `end`. False when it is
// cut short, claims less than its own header (it would never move on: a box that points at
// itself) or reaches past its container. A size of 0 runs to the container's end.
bool ReadBoxHeader(ByteSource& source, uint64_t at, uint64_t end, Box* box) {
  uint8_t h[16];
  if (at >= end || end - at < 8 || !ReadFully(source, at, h, 8)) return false;
  uint64_t size = Get32(h, false);
  uint64_t header = 8;
  if (size == 1) {  // a 64-bit size after the type
    if (end - at < 16 || !ReadFully(source, at + 8, h + 8, 8)) return false;
    size = (static_cast<uint64_t>(Get32(h + 8, false)) << 32) | Get32(h + 12, false);
    header = 16;
  } else if (size == 0) {
    size = end - at;
  }
  if (size < header || size > end - at) return false;
  box->type = Get32(h + 4, false);
  box->body = at + header;
  box->end = at + size;
  return true;
}

// Keeps the first box of a type.
void Keep(const Box& box, uint32_t type, Box* kept, bool* found) {
  if (box.type != type || *found) return;
  *kept = box;
  *found = true;
}

// True when the box's last byte is in the file: one that claims more is cut or lying.
bool EndsInFile(ByteSource& source, const Box& box) {
  uint8_t last;
  return box.end == kToEndOfFile || box.end == box.body || ReadFully(source, box.end - 1, &last, 1);
}

// Reads `size` bytes at `offset` in a box's body; false when the body is shorter.
bool ReadInBox(ByteSource& source, const Box& box, uint64_t offset, void* buffer, size_t size) {
  const uint64_t length = box.end - box.body;
  return offset <= length && size <= length - offset &&
         ReadFully(source, box.body + offset, buffer, size);
}

// The boxes of one container in order, at most `limit` of them, up to the first broken
// header. Readers descend only along fixed paths (file, meta, iprp, ipco, property), so
// nesting never goes deeper than that.
class BoxWalk {
 public:
  BoxWalk(ByteSource& source, uint64_t begin, uint64_t end, int limit)
      : source_(source), at_(begin), end_(end), left_(limit) {}
  bool Next(Box* box) {
    if (left_ <= 0 || !ReadBoxHeader(source_, at_, end_, box)) return false;
    --left_;
    at_ = box->end;
    return true;
  }

 private:
  ByteSource& source_;
  uint64_t at_;
  uint64_t end_;
  int left_;
};

// A turn or mirror of the picture, as the 2x2 matrix that takes a stored pixel's place
// (x right, y down, from the centre) to where it is shown.
struct Turn {
  int xx, xy, yx, yy;
};

// What each EXIF orientation does to the stored picture to show it upright.
constexpr Turn kOrientationTurns[8] = {
    {1, 0, 0, 1},    // 1: as stored
    {-1, 0, 0, 1},   // 2: left and right exchanged
    {-1, 0, 0, -1},  // 3: half a turn
    {1, 0, 0, -1},   // 4: top and bottom exchanged
    {0, 1, 1, 0},    // 5: transposed
    {0, -1, 1, 0},   // 6: a quarter turn clockwise
    {0, -1, -1, 0},  // 7: transversed
    {0, 1, -1, 0},   // 8: a quarter turn anticlockwise
};

// `first`, then `second`.
Turn Then(const Turn& first, const Turn& second) {
  return {second.xx * first.xx + second.xy * first.yx, second.xx * first.xy + second.xy * first.yy,
          second.yx * first.xx + second.yy * first.yx, second.yx * first.xy + second.yy * first.yy};
}

int OrientationOf(const Turn& turn) {
  for (int i = 0; i < 8; ++i) {
    const Turn& t = kOrientationTurns[i];
    if (t.xx == turn.xx && t.xy == turn.xy && t.yx == turn.yx && t.yy == turn.yy) return i + 1;
  }
  return 1;
}

// Brands of files whose pictures are items with properties; `av1` is set for AV1 ones.
bool IsItemBrand(uint32_t brand, bool* av1) {
  switch (brand) {
    case FourCc("avif"):
    case FourCc("avis"):
    case FourCc("avio"): *av1 = true; return true;
    case FourCc("mif1"):
    case FourCc("mif2"):
    case FourCc("msf1"):
    case FourCc("miaf"):
    case FourCc("heic"):
    case FourCc("heix"):
    case FourCc("heim"):
    case FourCc("heis"):
    case FourCc("hevc"):
    case FourCc("hevx"): return true;
    default: return false;
  }
}

// The type of item `item` from iinf's infe boxes (versions 2 and 3 name it); 0 when not
// found.
uint32_t ItemType(ByteSource& source, const Box& iinf, uint32_t item) {
  uint8_t h[4];
  if (!ReadInBox(source, iinf, 0, h, sizeof h)) return 0;
  const uint64_t first = iinf.body + (h[0] == 0 ? 6u : 8u);  // after a 16- or 32-bit count
  BoxWalk walk(source, first, iinf.end, kMaxItems);
  Box infe;
  while (walk.Next(&infe)) {
    if (infe.type != FourCc("infe")) continue;
    // Version and flags, the item's id (16 or 32 bits), its protection index, its type.
    uint8_t e[14];
    const size_t got =
        ReadSome(source, infe.body, e,
                 static_cast<size_t>(std::min<uint64_t>(sizeof e, infe.end - infe.body)));
    if (got >= 12 && e[0] == 2 && Get16(e + 4, false) == item) return Get32(e + 8, false);
    if (got >= 14 && e[0] == 3 && Get32(e + 4, false) == item) return Get32(e + 10, false);
  }
  return 0;
}

// The primary item's property indices (1-based, into ipco), in their listed order.
struct Associations {
  uint16_t index[255];
  size_t count = 0;
};

// Finds `item`'s entry in an ipma box. Version 0 has 16-bit item ids, later ones 32-bit;
// flag bit 0 makes each index 15 bits in two bytes, else 7 bits in one (the top bit says
// whether the property is essential).
bool ReadAssociations(ByteSource& source, const Box& ipma, uint32_t item, Associations* out) {
  uint8_t h[8];
  if (!ReadInBox(source, ipma, 0, h, sizeof h)) return false;
  const size_t idSize = h[0] >= 1 ? 4 : 2;
  const bool wide = (h[3] & 1) != 0;
  const uint32_t count = Get32(h + 4, false);
  uint64_t at = sizeof h;
  for (uint32_t i = 0; i < count && i < static_cast<uint32_t>(kMaxItems); ++i) {
    uint8_t e[5];
    if (!ReadInBox(source, ipma, at, e, idSize + 1)) return false;
    const uint32_t id = idSize == 4 ? Get32(e, false) : Get16(e, false);
    const size_t n = e[idSize];
    const size_t bytes = n * (wide ? 2 : 1);
    at += idSize + 1;
    if (id == item) {
      uint8_t a[2 * 255];
      if (!ReadInBox(source, ipma, at, a, bytes)) return false;
      for (size_t k = 0; k < n; ++k) {
        out->index[k] = wide ? Get16(a + 2 * k, false) & 0x7FFFu : a[k] & 0x7Fu;
      }
      out->count = n;
      return true;
    }
    at += bytes;
  }
  return false;
}

// The properties that matter here, one per association.
struct Property {
  uint32_t type = 0;
  uint32_t width = 0, height = 0;  // ispe
  uint8_t value = 0;               // irot's angle, imir's axis
};

// Reads the associated properties of ipco's boxes, walking no further than the highest
// index the item uses.
void ReadProperties(ByteSource& source, const Box& ipco, const Associations& associations,
                    Property* properties) {
  size_t highest = 0;
  for (size_t k = 0; k < associations.count; ++k) {
    highest = std::max<size_t>(highest, associations.index[k]);
  }
  BoxWalk walk(source, ipco.body, ipco.end, kMaxItems);
  Box box;
  for (size_t index = 1; index <= highest && walk.Next(&box); ++index) {
    if (box.type != FourCc("ispe") && box.type != FourCc("irot") && box.type != FourCc("imir")) {
      continue;
    }
    Property p;
    p.type = box.type;
    uint8_t v[12];
    if (box.type == FourCc("ispe")) {  // version and flags, then width and height
      if (!ReadInBox(source, box, 0, v, 12)) continue;
      p.width = Get32(v + 4, false);
      p.height = Get32(v + 8, false);
    } else {  // one byte: irot's angle in its low 2 bits, imir's axis in its low bit
      if (!ReadInBox(source, box, 0, v, 1)) continue;
      p.value = v[0];
    }
    for (size_t k = 0; k < associations.count; ++k) {
      if (associations.index[k] == index) properties[k] = p;
    }
  }
}

// A HEIF or AVIF file: the primary item's stored size (its ispe) and its turns and mirrors
// (irot, imir), applied in the order the item lists them.
bool ReadHeif(ByteSource& source, PictureHeader* out) {
  Box ftyp;
  if (!ReadBoxHeader(source, 0, kToEndOfFile, &ftyp) || ftyp.type != FourCc("ftyp")) return false;
  // The major brand, a minor version, then compatible brands.
  uint8_t brands[4 * (kMaxBrands + 1)];
  const size_t got =
      ReadSome(source, ftyp.body, brands,
               static_cast<size_t>(std::min<uint64_t>(sizeof brands, ftyp.end - ftyp.body)));
  bool items = false, av1 = false;
  for (size_t i = 0; i + 4 <= got; i += 4) {
    if (i != 4) items |= IsItemBrand(Get32(brands + i, false), &av1);
  }
  if (got < 8 || !items) return false;

  Box meta, box;
  bool haveMeta = false;
  BoxWalk top(source, ftyp.end, kToEndOfFile, kMaxBoxes);
  while (!haveMeta && top.Next(&box)) {
    haveMeta = box.type == FourCc("meta");
  }
  meta = box;
  if (!haveMeta || !EndsInFile(source, meta)) return false;

  Box pitm, iinf, iprp;
  bool havePitm = false, haveIinf = false, haveIprp = false;
  BoxWalk inMeta(source, meta.body + 4, meta.end, kMaxBoxes);  // after version and flags
  while (inMeta.Next(&box)) {                                  // the first of each counts
    Keep(box, FourCc("pitm"), &pitm, &havePitm);
    Keep(box, FourCc("iinf"), &iinf, &haveIinf);
    Keep(box, FourCc("iprp"), &iprp, &haveIprp);
  }
  if (!havePitm || !haveIprp || !EndsInFile(source, iprp)) return false;

  // The primary item's id: 16 bits in version 0, 32 after.
  uint8_t p[8];
  if (!ReadInBox(source, pitm, 0, p, 4)) return false;
  const size_t idSize = p[0] == 0 ? 2 : 4;
  if (!ReadInBox(source, pitm, 4, p + 4, idSize)) return false;
  const uint32_t primary = idSize == 2 ? Get16(p + 4, false) : Get32(p + 4, false);

  Box ipco;
  bool haveIpco = false, associated = false;
  Associations associations;
  BoxWalk inIprp(source, iprp.body, iprp.end, kMaxBoxes);
  while (!(haveIpco && associated) && inIprp.Next(&box)) {
    Keep(box, FourCc("ipco"), &ipco, &haveIpco);
    if (box.type == FourCc("ipma") && !associated) {
      associated = ReadAssociations(source, box, primary, &associations);
    }
  }
  if (!haveIpco || !associated || !EndsInFile(source, ipco)) return false;

  Property properties[255];
  ReadProperties(source, ipco, associations, properties);
  bool sized = false;
  uint32_t width = 0, height = 0;
  Turn turn = kOrientationTurns[0];
  for (size_t k = 0; k < associations.count; ++k) {
    const Property& property = properties[k];
    if (property.type == FourCc("ispe") && !sized) {
      sized = true;
      width = property.width;
      height = property.height;
    } else if (property.type == FourCc("irot")) {
      for (int q = 0; q < (property.value & 3); ++q) turn = Then(turn, kOrientationTurns[7]);
    } else if (property.type == FourCc("imir")) {
      // Axis 0 exchanges top and bottom, 1 left and right.
      turn = Then(turn, kOrientationTurns[(property.value & 1) ? 1 : 3]);
    }
  }
  if (!sized) return false;

  const uint32_t type = haveIinf && EndsInFile(source, iinf) ? ItemType(source, iinf, primary) : 0;
  if (type == FourCc("av01")) {
    out->format = PictureFormat::Avif;
  } else if (type == FourCc("hvc1") || type == FourCc("hev1")) {
    out->format = PictureFormat::Heif;
  } else {  // a grid or overlay of tiles, or an item type not known here: the brands tell
    out->format = av1 ? PictureFormat::Avif : PictureFormat::Heif;
  }
  out->width = width;
  out->height = height;
  out->orientation = OrientationOf(turn);
  return true;
}

// ---- JPEG XL ----

constexpr uint8_t kJxlSignatureBox[12] = {0, 0, 0, 12, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// Enough codestream for the signature, the size header and the orientation (89 bits).
constexpr size_t kJxlHeaderBytes = 16;

// Reads bits from least to most significant, as the codestream packs them.
class BitReader {
 public:
  BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Read(int count, uint32_t* value) {
    uint32_t v = 0;
    for (int i = 0; i < count; ++i, ++at_) {
      if (at_ / 8 >= size_) return false;
      v |= static_cast<uint32_t>((data_[at_ / 8] >> (at_ % 8)) & 1u) << i;
    }
    *value = v;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// A dimension: a 2-bit selector of a 9-, 13-, 18- or 30-bit field, plus one.
bool ReadJxlDimension(BitReader& bits, uint32_t* value) {
  static const int kFieldBits[4] = {9, 13, 18, 30};
  uint32_t selector, v;
  if (!bits.Read(2, &selector) || !bits.Read(kFieldBits[selector], &v)) return false;
  *value = v + 1;
  return true;
}

// The codestream's signature, size header and the start of its image metadata.
bool ReadJxlCodestream(const uint8_t* data, size_t size, PictureHeader* out) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0x0A) return false;
  BitReader bits(data + 2, size - 2);
  // Sizes that are multiples of 8 up to 256 come as 5 bits each; the width may instead be
  // one of seven fixed ratios to the height.
  uint32_t small, height, ratio, width, v;
  if (!bits.Read(1, &small)) return false;
  if (small) {
    if (!bits.Read(5, &v)) return false;
    height = (v + 1) * 8;
  } else if (!ReadJxlDimension(bits, &height)) {
    return false;
  }
  if (!bits.Read(3, &ratio)) return false;
  if (ratio == 0) {
    if (small) {
      if (!bits.Read(5, &v)) return false;
      width = (v + 1) * 8;
    } else if (!ReadJxlDimension(bits, &width)) {
      return false;
    }
  } else {
    static const uint32_t kNumerator[8] = {0, 1, 12, 4, 3, 16, 5, 2};
    static const uint32_t kDenominator[8] = {1, 1, 10, 3, 2, 9, 4, 1};
    width = static_cast<uint32_t>(static_cast<uint64_t>(height) * kNumerator[ratio] /
                                  kDenominator[ratio]);
  }
  // The image metadata: an all-default bit; else an extra-fields bit, and with it the
  // orientation minus one in 3 bits.
  uint32_t allDefault, extraFields = 0, orientation = 0;
  if (!bits.Read(1, &allDefault)) return false;
  if (!allDefault &&
      (!bits.Read(1, &extraFields) || (extraFields && !bits.Read(3, &orientation)))) {
    return false;
  }
  out->format = PictureFormat::JpegXl;
  out->width = width;
  out->height = height;
  out->orientation = static_cast<int>(orientation) + 1;
  return true;
}

// Copies up to `size` bytes of the start of a container's codestream: its jxlc box, or its
// jxlp boxes' pieces (each after a 4-byte index whose top bit marks the last) in order.
size_t JxlContainerCodestream(ByteSource& source, uint8_t* out, size_t size) {
  size_t have = 0;
  BoxWalk walk(source, sizeof kJxlSignatureBox, kToEndOfFile, kMaxBoxes);
  Box box;
  while (have < size && walk.Next(&box)) {
    uint64_t from = box.body;
    bool last = true;
    if (box.type == FourCc("jxlp")) {
      uint8_t index[4];
      if (!ReadInBox(source, box, 0, index, sizeof index)) break;
      from += sizeof index;
      last = (index[0] & 0x80) != 0;
    } else if (box.type != FourCc("jxlc")) {
      continue;
    }
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(box.end - from, size - have));
    const size_t got = ReadSome(source, from, out + have, wanted);
    have += got;
    if (got < wanted || last) break;
  }
  return have;
}

// ---- JPEG XR ----

constexpr uint16_t kTagJxrTransform = 0xBC02;
constexpr uint16_t kTagJxrWidth = 0xBC80;
constexpr uint16_t kTagJxrHeight = 0xBC81;
constexpr uint16_t kTypeByte = 1;

// The container's spatial transforms as EXIF orientations: 0 none, 1 top and bottom
// exchanged, 2 left and right, 3 both; 4 a quarter turn clockwise, then with 5 top and
// bottom or 6 left and right exchanged after it, or 7 both (three quarters).
constexpr int kJxrOrientations[8] = {1, 4, 2, 3, 6, 7, 5, 8};

// A JPEG XR container: a little-endian TIFF-like IFD after "II", 0xBC, version 1.
bool ReadJpegXr(ByteSource& source, const uint8_t* b, PictureHeader* out) {
  const uint32_t ifd = Get32(b + 4, true);
  if (ifd < 8) return false;
  IfdEntry found[3];
  ReadIfdEntries(source, true, ifd, {kTagJxrWidth, kTagJxrHeight, kTagJxrTransform}, found);
  out->format = PictureFormat::JpegXr;
  out->width = DimensionValue(found[0], true);
  out->height = DimensionValue(found[1], true);
  const IfdEntry& t = found[2];
  if (t.seen && t.count == 1) {
    uint32_t value = 8;
    if (t.type == kTypeByte) value = t.value[0];
    if (t.type == kTypeShort) value = Get16(t.value, true);
    if (t.type == kTypeLong) value = Get32(t.value, true);
    if (value < 8) out->orientation = kJxrOrientations[value];
  }
  return true;
}

// ---- TGA ----

bool IsTgaColourDepth(uint8_t bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }

// An 18-byte header: ID length, colour map type, image type, colour map (first index,
// length, entry bits), origin, width, height, pixel depth, descriptor.
bool ReadTga(ByteSource& source, PictureHeader* out) {
  uint8_t h[18];
  if (!ReadFully(source, 0, h, sizeof h)) return false;
  const uint8_t mapType = h[1], imageType = h[2], depth = h[16];
  if (mapType > 1 || (mapType == 1 && (Get16(h + 5, true) == 0 || !IsTgaColourDepth(h[7])))) {
    return false;
  }
  switch (imageType & ~8) {  // 9, 10 and 11 are the run-length coded 1, 2 and 3
    case 1:                  // colour-mapped: 8- or 16-bit indices into a map it must have
      if (mapType != 1 || (depth != 8 && depth != 16)) return false;
      break;
    case 2:  // true colour
      if (!IsTgaColourDepth(depth)) return false;
      break;
    case 3:  // grey, 16 bits with alpha
      if (depth != 8 && depth != 16) return false;
      break;
    default: return false;
  }
  out->format = PictureFormat::Tga;
  out->width = Get16(h + 12, true);
  out->height = Get16(h + 14, true);
  return true;
}

bool ReadHeader(ByteSource& source, PictureHeader* out) {
  uint8_t b[32];  // enough for every format's fixed header
  const size_t n = ReadSome(source, 0, b, sizeof b);
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xD8) {
    out->format = PictureFormat::Jpeg;
    return WalkJpeg(source, true, out);
  }
  if (n >= 24 && std::memcmp(b, "\x89PNG\r\n\x1A\n", 8) == 0) {
    if (Get32(b + 8, false) != 13 || std::memcmp(b + 12, "IHDR", 4) != 0) return false;
    out->format = PictureFormat::Png;
    out->width = Get32(b + 16, false);
    out->height = Get32(b + 20, false);
    return true;
  }
  if (n >= 10 && (std::memcmp(b, "GIF87a", 6) == 0 || std::memcmp(b, "GIF89a", 6) == 0)) {
    out->format = PictureFormat::Gif;
    out->width = Get16(b + 6, true);
    out->height = Get16(b + 8, true);
    return true;
  }
  if (n >= 22 && b[0] == 'B' && b[1] == 'M') {
    const uint32_t dibSize = Get32(b + 14, true);
    out->format = PictureFormat::Bmp;
    if (dibSize == 12) {  // core header: 16-bit unsigned size
      out->width = Get16(b + 18, true);
      out->height = Get16(b + 20, true);
      return true;
    }
    if (dibSize < 40 || n < 26) return false;
    // Signed 32-bit size; a negative height means rows run top-down.
    const int64_t width = static_cast<int32_t>(Get32(b + 18, true));
    const int64_t height = static_cast<int32_t>(Get32(b + 22, true));
    if (width <= 0 || height == INT32_MIN) return false;
    out->width = static_cast<uint32_t>(width);
    out->height = static_cast<uint32_t>(height < 0 ? -height : height);
    return true;
  }
  if (n >= 8 && (std::memcmp(b, "II*\0", 4) == 0 || std::memcmp(b, "MM\0*", 4) == 0)) {
    TiffFields fields;
    if (!ReadTiffFields(source, &fields)) return false;
    out->format = PictureFormat::Tiff;
    out->width = fields.width;
    out->height = fields.height;
    out->orientation = fields.orientation;
    return true;
  }
  // Placeable metafile: its bounding box in logical units gives the proportions.
  if (n >= 16 && Get32(b, true) == 0x9AC6CDD7u) {
    const int32_t width = static_cast<int16_t>(Get16(b + 10, true)) - static_cast<int16_t>(Get16(b + 6, true));
    const int32_t height = static_cast<int16_t>(Get16(b + 12, true)) - static_cast<int16_t>(Get16(b + 8, true));
    if (width == 0 || height == 0) return false;
    out->format = PictureFormat::Wmf;
    out->width = static_cast<uint32_t>(width < 0 ? -width : width);
    out->height = static_cast<uint32_t>(height < 0 ? -height : height);
    return true;
  }
  // Enhanced metafile: the header record, its " EMF" signature at 40, the frame (in
  // hundredths of a millimetre) at 24.
  if (n >= 8 && Get32(b, true) == 1) {
    uint8_t emf[44];
    if (!ReadFully(source, 0, emf, sizeof emf) || Get32(emf + 40, true) != 0x464D4520u) return false;
    const int64_t width = static_cast<int64_t>(static_cast<int32_t>(Get32(emf + 32, true))) -
                          static_cast<int32_t>(Get32(emf + 24, true));
    const int64_t height = static_cast<int64_t>(static_cast<int32_t>(Get32(emf + 36, true))) -
                           static_cast<int32_t>(Get32(emf + 28, true));
    if (width <= 0 || height <= 0 || width > UINT32_MAX || height > UINT32_MAX) return false;
    out->format = PictureFormat::Emf;
    out->width = static_cast<uint32_t>(width);
    out->height = static_cast<uint32_t>(height);
    return true;
  }
  if (n >= 20 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) {
    return ReadWebp(source, b, n, out);
  }
  if (n >= 2 && b[0] == 0xFF && b[1] == 0x0A) {  // a bare JPEG XL codestream
    return ReadJxlCodestream(b, n, out);
  }
  if (n >= sizeof kJxlSignatureBox &&
      std::memcmp(b, kJxlSignatureBox, sizeof kJxlSignatureBox) == 0) {
    uint8_t codestream[kJxlHeaderBytes];
    const size_t got = JxlContainerCodestream(source, codestream, sizeof codestream);
    return ReadJxlCodestream(codestream, got, out);
  }
  // A file type box that is no HEIF one still goes on to the icon's test, as it always did.
  if (n >= 8 && std::memcmp(b + 4, "ftyp", 4) == 0 && ReadHeif(source, out)) return true;
  if (n >= 8 && std::memcmp(b, "II\xBC\x01", 4) == 0) return ReadJpegXr(source, b, out);
  // Icon, last because its signature is the weakest: reserved 0, type 1, at least one
  // image, then a whole first directory entry.
  if (n >= 22 && Get16(b, true) == 0 && Get16(b + 2, true) == 1 && Get16(b + 4, true) >= 1) {
    out->format = PictureFormat::Ico;
    out->width = b[6] == 0 ? 256u : b[6];
    out->height = b[7] == 0 ? 256u : b[7];
    return true;
  }
  return false;
}

}  // namespace

MemoryByteSource::MemoryByteSource(const void* data, size_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(data ? size : 0) {}

size_t MemoryByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (offset >= size_ || size == 0) return 0;
  const size_t n = std::min(size, size_ - static_cast<size_t>(offset));
  std::memcpy(buffer, data_ + offset, n);
  return n;
}

namespace {

// Runs a reader and hands its answer over only when it is whole.
bool Answer(bool (*reader)(ByteSource&, PictureHeader*), ByteSource& source,
            PictureHeader* header) {
  if (!header) return false;
  try {
    PictureHeader read;
    if (!reader(source, &read) || read.width == 0 || read.height == 0) return false;
    *header = read;
    return true;
  } catch (...) {  // a source that throws is a file that cannot be read
    return false;
  }
}

}  // namespace

bool ReadPictureHeader(ByteSource& source, PictureHeader* header) {
  return Answer(ReadHeader, source, header);
}

bool ReadTgaHeader(ByteSource& source, PictureHeader* header) {
  return Answer(ReadTga, source, header);
}

int ReadExifOrientation(ByteSource& source) {
  try {
    uint8_t b[2];
    if (!ReadFully(source, 0, b, sizeof b)) return 1;
    if (b[0] == 0xFF && b[1] == 0xD8) {
      PictureHeader read;
      WalkJpeg(source, false, &read);
      return read.orientation;
    }
    TiffFields fields;
    ReadTiffFields(source, &fields);
    return fields.orientation;
  } catch (...) {
    return 1;
  }
}

int OrientationFromTiff(const uint8_t* data, size_t size) {
  MemoryByteSource source(data, size);
  TiffFields fields;
  ReadTiffFields(source, &fields);
  return fields.orientation;
}

bool OrientationSwapsAxes(int orientation) { return orientation >= 5 && orientation <= 8; }

void UprightSize(const PictureHeader& header, uint32_t* width, uint32_t* height) {
  const bool swap = OrientationSwapsAxes(header.orientation);
  *width = swap ? header.height : header.width;
  *height = swap ? header.width : header.height;
}

}  // namespace framewise
