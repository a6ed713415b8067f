// Finds the colour description embedded in a picture file by walking its container: JPEG
// segments, a TIFF IFD, PNG chunks, RIFF chunks and ISO-BMFF boxes. Every walk has a step
// limit, every size is checked against its parent and the file, and no block above
// kMaxProfileBytes is ever allocated.
#include <algorithm>
#include <cstring>
#include <limits>

#include "fitting/portable/byte_reading.h"
#include "fitting/portable/colour_profile.h"

namespace framewise {

namespace {

using bytes::ForEachIfdEntry;
using bytes::FourCc;
using bytes::Get16;
using bytes::Get32;
using bytes::Get64;
using bytes::ReadFully;
using bytes::ReadSome;

// Steps of one walk (segments, chunks, boxes at one level). Real files have a few dozen;
// this only stops hostile ones.
constexpr int kMaxSteps = 4096;
// The largest 'ipma' (item property association) box read whole; a picture of thousands
// of tiles needs a few dozen KB.
constexpr uint64_t kMaxIpmaBytes = 1u << 20;
constexpr size_t kMaxIpmaBoxes = 4;
constexpr uint16_t kTagIccProfile = 34675;
constexpr uint16_t kTypeByte = 1;
constexpr uint16_t kTypeUndefined = 7;

// True when the file holds the byte at `offset + length - 1`, so a block that long can be
// allocated without trusting a size field.
bool FileHolds(ByteSource& source, uint64_t offset, uint64_t length) {
  if (length == 0) return true;
  if (offset > std::numeric_limits<uint64_t>::max() - length) return false;
  uint8_t last;
  return ReadFully(source, offset + length - 1, &last, 1);
}

// Reads a block into *out when it is not empty, at most `cap` long and held by the file.
bool ReadBlock(ByteSource& source, uint64_t offset, uint64_t length, uint64_t cap,
               std::vector<uint8_t>* out) {
  if (length == 0 || length > cap || !FileHolds(source, offset, length)) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(length));
  if (!ReadFully(source, offset, bytes.data(), bytes.size())) return false;
  out->swap(bytes);
  return true;
}

// ---- JPEG: the profile split over APP2 segments of "ICC_PROFILE\0", sequence number
// (from 1) and chunk count each.

constexpr char kIccMarker[] = "ICC_PROFILE";  // with its terminating zero: 12 bytes
constexpr size_t kIccChunkHeader = sizeof kIccMarker + 2;
constexpr int kMaxIccChunks = 255;

bool IsStandaloneMarker(uint8_t marker) {
  return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7);  // TEM, RST0..7
}

bool ReadJpegProfile(ByteSource& source, std::vector<uint8_t>* profile) {
  struct Chunk {
    uint64_t offset = 0;
    uint32_t length = 0;
    bool seen = false;
  };
  Chunk chunks[kMaxIccChunks + 1];  // by sequence number
  int declared = 0;
  uint64_t pos = 2;
  for (int step = 0; step < kMaxSteps; ++step) {
    uint8_t m[4];
    const size_t got = ReadSome(source, pos, m, sizeof m);
    if (got < 2 || m[0] != 0xFF) break;  // end of data or a broken walk: judge what was seen
    const uint8_t marker = m[1];
    if (marker == 0xFF) {
      pos += 1;
      continue;
    }
    if (IsStandaloneMarker(marker)) {
      pos += 2;
      continue;
    }
    // Profiles come before the scan data; past SOS only entropy-coded bytes follow.
    if (marker == 0xDA || marker == 0xD9 || marker == 0xD8 || marker == 0x00 || got < 4) break;
    const uint16_t length = Get16(m + 2, false);
    if (length < 2) break;
    if (marker == 0xE2 && length >= 2 + kIccChunkHeader) {
      uint8_t head[kIccChunkHeader];
      if (ReadFully(source, pos + 4, head, sizeof head) &&
          std::memcmp(head, kIccMarker, sizeof kIccMarker) == 0) {
        const int sequence = head[sizeof kIccMarker];
        const int count = head[sizeof kIccMarker + 1];
        if (count == 0 || sequence == 0 || sequence > count) return false;
        if (declared != 0 && count != declared) return false;
        if (chunks[sequence].seen) return false;
        declared = count;
        chunks[sequence].seen = true;
        chunks[sequence].offset = pos + 4 + kIccChunkHeader;
        chunks[sequence].length = static_cast<uint32_t>(length - 2 - kIccChunkHeader);
      }
    }
    pos += 2u + length;
  }
  if (declared == 0) return false;
  uint64_t total = 0;
  for (int i = 1; i <= declared; ++i) {
    if (!chunks[i].seen || !FileHolds(source, chunks[i].offset, chunks[i].length)) return false;
    total += chunks[i].length;
  }
  if (total == 0 || total > kMaxProfileBytes) return false;
  std::vector<uint8_t> bytes(static_cast<size_t>(total));
  size_t at = 0;
  for (int i = 1; i <= declared; ++i) {
    if (!ReadFully(source, chunks[i].offset, bytes.data() + at, chunks[i].length)) return false;
    at += chunks[i].length;
  }
  profile->swap(bytes);
  return true;
}

// ---- TIFF: IFD0's ICC profile tag, an array of BYTE or UNDEFINED.

bool ReadTiffProfile(ByteSource& source, std::vector<uint8_t>* profile) {
  uint8_t header[8];
  if (!ReadFully(source, 0, header, sizeof header)) return false;
  const bool le = header[0] == 'I';
  const uint32_t ifd = Get32(header + 4, le);
  if (ifd < sizeof header) return false;
  bool found = false;
  ForEachIfdEntry(source, le, ifd, [&](const uint8_t* e) {
    if (Get16(e, le) != kTagIccProfile) return false;
    // The first entry of the tag decides; a profile never fits in the entry's 4 bytes.
    const uint16_t type = Get16(e + 2, le);
    const uint32_t length = Get32(e + 4, le);
    found = (type == kTypeByte || type == kTypeUndefined) && length > 4 &&
            ReadBlock(source, Get32(e + 8, le), length, kMaxProfileBytes, profile);
    return true;
  });
  return found;
}

// ---- PNG: the iCCP chunk (name, zero, compression method 0, zlib stream) before the
// image data.

constexpr size_t kMaxPngNameBytes = 79;

bool ReadPngProfile(ByteSource& source, std::vector<uint8_t>* compressed) {
  uint64_t pos = 8;
  for (int step = 0; step < kMaxSteps; ++step) {
    uint8_t head[8];
    if (!ReadFully(source, pos, head, sizeof head)) return false;
    const uint32_t length = Get32(head, false);
    const uint32_t type = Get32(head + 4, false);
    if (length > 0x7FFFFFFFu) return false;  // chunk lengths are 31-bit
    if (type == FourCc("IDAT") || type == FourCc("IEND")) return false;
    if (type == FourCc("iCCP")) {
      uint8_t start[kMaxPngNameBytes + 2];
      const size_t got = ReadSome(source, pos + 8, start, std::min<size_t>(length, sizeof start));
      const uint8_t* zero = std::find(start, start + got, 0);
      const size_t name = static_cast<size_t>(zero - start);
      if (name == 0 || name > kMaxPngNameBytes || name + 2 > got || start[name + 1] != 0) {
        return false;
      }
      return ReadBlock(source, pos + 8 + name + 2, length - (name + 2), kMaxProfileBytes,
                       compressed);
    }
    pos += 12u + length;  // length, type, data, CRC
  }
  return false;
}

// ---- WebP: RIFF chunks of an extended ('VP8X') file; the profile is the ICCP chunk.

bool ReadWebpProfile(ByteSource& source, std::vector<uint8_t>* profile) {
  uint8_t head[20];
  if (!ReadFully(source, 0, head, sizeof head)) return false;
  if (std::memcmp(head + 12, "VP8X", 4) != 0) return false;  // simple files carry no profile
  const uint64_t end = 8 + static_cast<uint64_t>(Get32(head + 4, true));
  uint64_t pos = 12;
  for (int step = 0; step < kMaxSteps && pos + 8 <= end; ++step) {
    uint8_t chunk[8];
    if (!ReadFully(source, pos, chunk, sizeof chunk)) return false;
    const uint64_t length = Get32(chunk + 4, true);
    if (length > end - pos - 8) return false;
    if (std::memcmp(chunk, "ICCP", 4) == 0) {
      return ReadBlock(source, pos + 8, length, kMaxProfileBytes, profile);
    }
    pos += 8 + length + (length & 1);  // payloads are padded to even sizes
  }
  return false;
}

// ---- HEIF/AVIF: ISO-BMFF boxes; the primary item ('pitm') is associated through 'ipma'
// with properties in 'ipco', one of which may be its 'colr'.

struct Box {
  uint32_t type = 0;
  uint64_t start = 0;    // of the header
  uint64_t payload = 0;  // after the header
  uint64_t end = 0;
};

// Reads the header of the box at `pos`, which must end by `limit`. A size of 0 runs to the
// limit (the file's end at the top level).
bool ReadBox(ByteSource& source, uint64_t pos, uint64_t limit, Box* box) {
  if (pos >= limit || limit - pos < 8) return false;
  uint8_t head[16];
  const size_t got = ReadSome(source, pos, head, sizeof head);
  if (got < 8) return false;
  uint64_t size = Get32(head, false);
  uint64_t headerSize = 8;
  if (size == 1) {
    if (got < 16) return false;
    size = Get64(head + 8);
    headerSize = 16;
  } else if (size == 0) {
    size = limit - pos;
  }
  if (size < headerSize || size > limit - pos) return false;
  box->type = Get32(head + 4, false);
  box->start = pos;
  box->payload = pos + headerSize;
  box->end = pos + size;
  return true;
}

// Where a HEIF/AVIF file's colour boxes are, found by one walk of its 'meta' box.
struct ItemProperties {
  bool hasPrimary = false;
  uint32_t primary = 0;
  Box ipco;
  bool hasIpco = false;
  Box ipma[kMaxIpmaBoxes];
  size_t ipmaCount = 0;
};

bool FindItemProperties(ByteSource& source, const Box& meta, ItemProperties* found) {
  if (meta.end - meta.payload < 4) return false;
  uint64_t pos = meta.payload + 4;  // after the full box's version and flags
  bool walkedIprp = false;
  Box child;
  for (int step = 0; step < kMaxSteps && ReadBox(source, pos, meta.end, &child); ++step) {
    if (child.type == FourCc("pitm") && !found->hasPrimary) {
      uint8_t body[8];
      const uint64_t length = child.end - child.payload;
      if (length < 6 || !ReadFully(source, child.payload, body, std::min<uint64_t>(length, 8))) {
        return false;
      }
      if (body[0] == 0) {
        found->primary = Get16(body + 4, false);
      } else if (length >= 8) {
        found->primary = Get32(body + 4, false);
      } else {
        return false;
      }
      found->hasPrimary = true;
    } else if (child.type == FourCc("iprp") && !walkedIprp) {  // one, so walks stay linear
      walkedIprp = true;
      uint64_t at = child.payload;
      Box inner;
      for (int s = 0; s < kMaxSteps && ReadBox(source, at, child.end, &inner); ++s) {
        if (inner.type == FourCc("ipco") && !found->hasIpco) {
          found->ipco = inner;
          found->hasIpco = true;
        } else if (inner.type == FourCc("ipma") && found->ipmaCount < kMaxIpmaBoxes) {
          found->ipma[found->ipmaCount++] = inner;
        }
        at = inner.end;
      }
    }
    pos = child.end;
  }
  return found->hasPrimary && found->hasIpco;
}

// A bounds-checked reader over a block in memory.
class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Take(size_t n, const uint8_t** p) {
    if (size_ - at_ < n) return false;
    *p = data_ + at_;
    at_ += n;
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

// Adds the property indexes (from 1) that an 'ipma' box associates with `item`; false when
// the box is broken.
bool AssociatedProperties(ByteSource& source, const Box& ipma, uint32_t item,
                          std::vector<uint16_t>* indexes) {
  std::vector<uint8_t> body;
  if (!ReadBlock(source, ipma.payload, ipma.end - ipma.payload, kMaxIpmaBytes, &body)) {
    return false;
  }
  Reader reader(body.data(), body.size());
  const uint8_t* p;
  if (!reader.Take(8, &p)) return false;
  const uint8_t version = p[0];
  const bool wideIndexes = (p[3] & 1) != 0;
  const uint32_t entries = Get32(p + 4, false);
  for (uint32_t i = 0; i < entries; ++i) {  // each entry takes bytes, so the block bounds it
    uint32_t id;
    if (version < 1) {
      if (!reader.Take(2, &p)) return false;
      id = Get16(p, false);
    } else {
      if (!reader.Take(4, &p)) return false;
      id = Get32(p, false);
    }
    if (!reader.Take(1, &p)) return false;
    const int associations = p[0];
    for (int a = 0; a < associations; ++a) {
      uint16_t index;
      if (wideIndexes) {
        if (!reader.Take(2, &p)) return false;
        index = Get16(p, false) & 0x7FFF;  // the top bit marks an essential property
      } else {
        if (!reader.Take(1, &p)) return false;
        index = p[0] & 0x7F;
      }
      if (id == item && index != 0) indexes->push_back(index);
    }
    if (id == item) return true;
  }
  return true;
}

bool ReadIsoBmffColour(ByteSource& source, std::vector<uint8_t>* profile,
                       EmbeddedColourInfo* info) {
  const uint64_t fileEnd = std::numeric_limits<uint64_t>::max();
  Box box;
  if (!ReadBox(source, 0, fileEnd, &box) || box.type != FourCc("ftyp")) return false;
  uint64_t pos = box.end;
  bool hasMeta = false;
  for (int step = 0; step < kMaxSteps && ReadBox(source, pos, fileEnd, &box); ++step) {
    if (box.type == FourCc("meta")) {
      hasMeta = true;
      break;
    }
    pos = box.end;
  }
  ItemProperties found;
  if (!hasMeta || !FindItemProperties(source, box, &found)) return false;
  std::vector<uint16_t> indexes;
  for (size_t i = 0; i < found.ipmaCount; ++i) {
    if (!AssociatedProperties(source, found.ipma[i], found.primary, &indexes)) return false;
  }
  if (indexes.empty()) return false;
  const uint16_t last = *std::max_element(indexes.begin(), indexes.end());

  // One walk over the properties, looking at the associated colour boxes; a profile wins
  // over a coded description, and the first of each kind counts.
  bool hasProfile = false;
  uint64_t at = found.ipco.payload;
  Box property;
  for (uint16_t index = 1; index <= last && index <= kMaxSteps; ++index) {
    if (!ReadBox(source, at, found.ipco.end, &property)) break;
    at = property.end;
    if (property.type != FourCc("colr") ||
        std::find(indexes.begin(), indexes.end(), index) == indexes.end()) {
      continue;
    }
    uint8_t head[11];
    const uint64_t length = property.end - property.payload;
    if (length < 4 || !ReadFully(source, property.payload, head, 4)) continue;
    const uint32_t kind = Get32(head, false);
    if ((kind == FourCc("prof") || kind == FourCc("rICC")) && !hasProfile) {
      if (!ReadBlock(source, property.payload + 4, length - 4, kMaxProfileBytes, profile)) {
        return false;
      }
      hasProfile = true;
    } else if (kind == FourCc("nclx") && !info->hasNclx && length >= sizeof head &&
               ReadFully(source, property.payload, head, sizeof head)) {
      info->hasNclx = true;
      info->nclx.primaries = Get16(head + 4, false);
      info->nclx.transfer = Get16(head + 6, false);
      info->nclx.matrix = Get16(head + 8, false);
      info->nclx.fullRange = (head[10] & 0x80) != 0;
    }
  }
  if (hasProfile) {
    info->kind = EmbeddedColour::IccProfile;
  } else if (info->hasNclx) {
    info->kind = EmbeddedColour::Nclx;
  }
  return info->kind != EmbeddedColour::None;
}

bool ReadColour(ByteSource& source, std::vector<uint8_t>* profile, EmbeddedColourInfo* info) {
  uint8_t b[12];
  const size_t n = ReadSome(source, 0, b, sizeof b);
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xD8) {
    info->kind = EmbeddedColour::IccProfile;
    return ReadJpegProfile(source, profile);
  }
  if (n >= 8 && (std::memcmp(b, "II*\0", 4) == 0 || std::memcmp(b, "MM\0*", 4) == 0)) {
    info->kind = EmbeddedColour::IccProfile;
    return ReadTiffProfile(source, profile);
  }
  if (n >= 8 && std::memcmp(b, "\x89PNG\r\n\x1A\n", 8) == 0) {
    info->kind = EmbeddedColour::CompressedIcc;
    return ReadPngProfile(source, profile);
  }
  if (n >= 12 && std::memcmp(b, "RIFF", 4) == 0 && std::memcmp(b + 8, "WEBP", 4) == 0) {
    info->kind = EmbeddedColour::IccProfile;
    return ReadWebpProfile(source, profile);
  }
  if (n >= 8 && std::memcmp(b + 4, "ftyp", 4) == 0) {
    return ReadIsoBmffColour(source, profile, info);
  }
  return false;
}

}  // namespace

bool ReadEmbeddedProfile(ByteSource& source, std::vector<uint8_t>* profile,
                         EmbeddedColourInfo* info) {
  if (!profile || !info) return false;
  profile->clear();
  *info = EmbeddedColourInfo();
  bool found = false;
  try {
    found = ReadColour(source, profile, info);
  } catch (...) {  // a source that throws, or memory refused: no colour information
    found = false;
  }
  if (!found) {
    std::vector<uint8_t>().swap(*profile);
    *info = EmbeddedColourInfo();
  }
  return found;
}

}  // namespace framewise
