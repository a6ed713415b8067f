// Reads a picture file's format, stored size and orientation from its header, without
// decoding pixels. Files come from anywhere, so every read is bounded and checked: a
// hostile header gives false (or orientation 1), never a fault, a hang or a large
// allocation. No Windows header here.
//
// Formats read, and where the size and the orientation come from:
//   JPEG        the first frame header; the EXIF orientation of the first APP1 Exif block
//   PNG, GIF    IHDR, the logical screen; orientation 1
//   BMP         the core or info header (a negative height is top-down rows); orientation 1
//   TIFF        IFD0's ImageWidth, ImageLength and Orientation, both byte orders
//   ICO         the first directory entry (0 is 256); orientation 1
//   WMF, EMF    the placeable header's box, the header record's frame; orientation 1
//   WebP        the VP8 frame header, the VP8L header or the VP8X canvas; the orientation of
//               a VP8X file's EXIF chunk
//   HEIF, AVIF  the primary item's ispe; its irot and imir, in their listed order, as an
//               EXIF orientation (a clean aperture is not applied)
//   JPEG XL     the codestream's size header, bare or in the box container's jxlc or jxlp
//               boxes; the image metadata's orientation
//   JPEG XR     the container's ImageWidth and ImageHeight (also .wdp, .hdp); its spatial
//               transform as an EXIF orientation
//   TGA         only through ReadTgaHeader: the header has no signature to tell it by
#pragma once

#include <cstddef>
#include <cstdint>

namespace framewise {

enum class PictureFormat {
  Unknown,
  Jpeg,
  Png,
  Gif,
  Bmp,
  Tiff,
  Ico,
  Emf,
  Wmf,
  Webp,
  Heif,
  Avif,
  JpegXl,
  JpegXr,
  Tga,
};

// Random access to a file's bytes. ReadAt returns how many bytes it read (fewer at end of
// file or on error).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t size) = 0;
};

// A ByteSource over memory (does not own it).
class MemoryByteSource final : public ByteSource {
 public:
  MemoryByteSource(const void* data, size_t size);
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  const uint8_t* data_;
  size_t size_;
};

struct PictureHeader {
  PictureFormat format = PictureFormat::Unknown;
  uint32_t width = 0;  // as stored, before the orientation is applied
  uint32_t height = 0;
  // EXIF orientation 1..8 (what turns the stored picture upright); 1 when the file has none
  // or an invalid one
  int orientation = 1;
};

// Reads format, stored size and orientation from the first bytes the format needs; never
// decodes pixels. False when the header is not one of the formats or cannot be read
// (truncated, zero width or height...); *header is then left as it was.
bool ReadPictureHeader(ByteSource& source, PictureHeader* header);

// The same for a TGA file, which has no signature: for a file whose name says .tga (or
// .tpic). The header must be plausible (colour map type, image type and pixel depth that
// go together, nonzero size). Its origin bits are left to the decoder, so the orientation
// is 1. False, with *header left as it was, when it is not.
bool ReadTgaHeader(ByteSource& source, PictureHeader* header);

// The EXIF orientation (tag 0x0112) of a JPEG (APP1 "Exif\0\0" block) or TIFF (IFD0), in
// both byte orders; 1 when there is none or it is not 1..8. Other formats give 1.
int ReadExifOrientation(ByteSource& source);

// Same, from a TIFF structure held in memory (the body of an APP1 Exif block after
// "Exif\0\0"); 1 when none.
int OrientationFromTiff(const uint8_t* data, size_t size);

// True for orientations 5..8, whose upright picture swaps width and height.
bool OrientationSwapsAxes(int orientation);

// The upright size of a header's picture.
void UprightSize(const PictureHeader& header, uint32_t* width, uint32_t* height);

}  // namespace framewise
