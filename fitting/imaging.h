// The imaging library behind one header: GDI+'s flat functions, their owners, and the
// few helpers every caller of them shares: loading a picture upright, reading its header
// without decoding it, and handing its pixels to the resampler.
#pragma once

#include <windows.h>

#include "fitting/portable/picture_header.h"
#include "fitting/portable/resample.h"
#include "framework/gdiplus_owners.h"
#include "framework/win_owners.h"

namespace framewise {

namespace gp = Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpGraphics;
using Gdiplus::GpImage;
using Gdiplus::GpStatus;

// True when a GDI+ call succeeded.
inline bool Ok(GpStatus status) { return status == Gdiplus::Ok; }

// A picture file read at chosen offsets, for the header reader. Opened sharing reading,
// writing and deleting, so a file others hold open is still read and never blocked.
class FileByteSource final : public ByteSource {
 public:
  explicit FileByteSource(const wchar_t* path);
  bool is_open() const { return static_cast<bool>(file_); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t size) override;

 private:
  fw::UniqueHandle file_;
};

// Format, stored size and orientation of a picture file, from its first bytes; no pixel is
// decoded. A file named .tga or .tpic is read as TGA when no signature matches. A file whose
// extension no header reader knows (camera RAW, DDS, a codec's own) gets the size and
// orientation of its WIC decoder's frame (format Unknown); decoders open a frame cheaply
// where they can, though some decode it. False when the file cannot be opened, or its
// header does not read and no decoder opens it.
bool ReadPictureFileHeader(const wchar_t* path, PictureHeader* header);

// Turns a decoded picture stored with this EXIF orientation (1..8) upright.
bool TurnUpright(GpImage* picture, int orientation);

// Loads a picture from a file and turns it upright by its EXIF orientation, so everything
// downstream sees the picture as it was taken. A metafile is drawn into a bitmap of its
// own size. What the library cannot decode goes through the installed WIC decoders
// (LoadPictureThroughWic, wic_picture.h), upright by the header's orientation, unless
// `throughWic` is false (a caller that has already asked WIC). An empty owner when neither
// can decode it.
fw::GpImageOwner LoadPicture(const wchar_t* path, bool throughWic = true);

// The picture's width and height in pixels; false when the library cannot say.
bool GetPictureSize(GpImage* picture, UINT* width, UINT* height);

// The pixels of a bitmap, locked while the object lives: 24-bit BGR for opaque formats,
// 32-bit premultiplied BGRA where the format can carry transparency.
class LockedPixels {
 public:
  LockedPixels() = default;
  ~LockedPixels();
  LockedPixels(const LockedPixels&) = delete;
  LockedPixels& operator=(const LockedPixels&) = delete;

  // Locks the whole of a picture for reading, in the layout its format calls for.
  bool LockForReading(GpImage* picture);
  // Locks the whole of a canvas for reading and writing in its own layout (24-bit RGB or
  // 32-bit ARGB; the canvas must be opaque where ARGB is read as premultiplied).
  bool LockCanvas(GpBitmap* canvas);
  // Makes a width x height bitmap in 32-bit premultiplied BGRA (WIC's 32bppPBGRA byte for
  // byte) into `bitmap` and locks it for writing; false when it cannot be made or locked.
  bool LockNew(UINT width, UINT height, fw::GpBitmapOwner* bitmap);

  const PixelBuffer& buffer() const { return buffer_; }
  PixelBuffer* mutable_buffer() { return &buffer_; }
  void Unlock();

 private:
  bool Lock(GpBitmap* bitmap, UINT mode, Gdiplus::PixelFormat format, int32_t channels);

  GpBitmap* bitmap_ = nullptr;
  Gdiplus::BitmapData data_ = {};
  PixelBuffer buffer_;
};

}  // namespace framewise
