#include "fitting/portable/picture_header.h"

#include <algorithm>
#include <cstring>

namespace framewise {

namespace {

// Steps of a JPEG segment walk (segments, standalone markers and fill bytes). Real files
// have a few dozen segments before the frame header; this only stops hostile ones.
constexpr int kMaxJpegSteps = 4096;
// IFD entries read per call, so a huge entry count never needs a large buffer.
constexpr size_t kEntriesPerRead = 32;
constexpr size_t kIfdEntrySize = 12;

constexpr uint16_t kTagImageWidth = 256;
constexpr uint16_t kTagImageLength = 257;
constexpr uint16_t kTagOrientation = 274;
constexpr uint16_t kTypeShort = 3;
constexpr uint16_t kTypeLong = 4;

uint16_t Get16(const uint8_t* p, bool littleEndian) {
  return littleEndian ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                      : static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t Get32(const uint8_t* p, bool littleEndian) {
  const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
  return littleEndian ? (b0 | (b1 << 8) | (b2 << 16) | (b3 << 24))
                      : ((b0 << 24) | (b1 << 16) | (b2 << 8) | b3);
}

// How many bytes were read, never more than asked even from a misbehaving source.
size_t ReadSome(ByteSource& source, uint64_t offset, void* buffer, size_t size) {
  return std::min(source.ReadAt(offset, buffer, size), size);
}

bool ReadFully(ByteSource& source, uint64_t offset, void* buffer, size_t size) {
  return ReadSome(source, offset, buffer, size) == size;
}

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

// A width or height entry: SHORT or LONG, one value, held in the entry itself.
uint32_t DimensionValue(uint16_t type, uint32_t count, const uint8_t* value, bool le) {
  if (count != 1) return 0;
  if (type == kTypeShort) return Get16(value, le);
  if (type == kTypeLong) return Get32(value, le);
  return 0;
}

// Reads IFD0 of the TIFF structure at the source's offset 0. False when there is no TIFF
// header; a missing, truncated or lying IFD leaves the fields it did not find at their
// defaults. Only IFD0 is read, so looping IFD chains cannot matter; the first entry of a
// tag counts.
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
  uint8_t countBytes[2];
  if (!ReadFully(source, ifd, countBytes, sizeof countBytes)) return true;
  const uint32_t count = Get16(countBytes, le);

  bool seenWidth = false, seenHeight = false, seenOrientation = false;
  uint8_t entries[kEntriesPerRead * kIfdEntrySize];
  uint64_t at = static_cast<uint64_t>(ifd) + 2;
  for (uint32_t done = 0; done < count;) {
    const size_t wanted = std::min<size_t>(count - done, kEntriesPerRead);
    const size_t got = ReadSome(source, at, entries, wanted * kIfdEntrySize) / kIfdEntrySize;
    for (size_t i = 0; i < got; ++i) {
      const uint8_t* e = entries + i * kIfdEntrySize;
      const uint16_t tag = Get16(e, le);
      const uint16_t type = Get16(e + 2, le);
      const uint32_t valueCount = Get32(e + 4, le);
      const uint8_t* value = e + 8;
      if (tag == kTagImageWidth && !seenWidth) {
        seenWidth = true;
        fields->width = DimensionValue(type, valueCount, value, le);
      } else if (tag == kTagImageLength && !seenHeight) {
        seenHeight = true;
        fields->height = DimensionValue(type, valueCount, value, le);
      } else if (tag == kTagOrientation && !seenOrientation) {
        seenOrientation = true;
        const uint16_t o = Get16(value, le);
        if (type == kTypeShort && valueCount == 1 && o >= 1 && o <= 8) fields->orientation = o;
      }
    }
    if (got < wanted || (seenWidth && seenHeight && seenOrientation)) break;
    done += static_cast<uint32_t>(wanted);
    at += wanted * kIfdEntrySize;
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

bool ReadHeader(ByteSource& source, PictureHeader* out) {
  uint8_t b[26];  // enough for every format's fixed header
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
  // Icon: reserved 0, type 1, at least one image, then a whole first directory entry.
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

bool ReadPictureHeader(ByteSource& source, PictureHeader* header) {
  if (!header) return false;
  try {
    PictureHeader read;
    if (!ReadHeader(source, &read) || read.width == 0 || read.height == 0) return false;
    *header = read;
    return true;
  } catch (...) {  // a source that throws is a file that cannot be read
    return false;
  }
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
