#include "fitting/imaging.h"

#include <string>

#include "fitting/portable/picture_extensions.h"
#include "fitting/wic_picture.h"

namespace framewise {

namespace {

// A metafile is drawn into a bitmap of its own size before anything uses it; a size past
// this many pixels is refused rather than allocated.
constexpr UINT64 kMaxRasterPixels = 64ull * 1024 * 1024;
constexpr UINT kMaxRasterSide = 16384;

// Draws a metafile into a 32-bit premultiplied bitmap of its own pixel size.
fw::GpImageOwner Rasterise(GpImage* metafile) {
  fw::GpImageOwner none;
  UINT width = 0, height = 0;
  if (!GetPictureSize(metafile, &width, &height) || width == 0 || height == 0 ||
      width > kMaxRasterSide || height > kMaxRasterSide ||
      static_cast<UINT64>(width) * height > kMaxRasterPixels) {
    return none;
  }
  fw::GpBitmapOwner bitmap;
  if (!Ok(gp::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                        PixelFormat32bppPARGB, nullptr, bitmap.put()))) {
    return none;
  }
  {
    fw::GpGraphicsOwner surface;
    if (!Ok(gp::GdipGetImageGraphicsContext(bitmap.get(), surface.put())) ||
        !Ok(gp::GdipDrawImageRectI(surface.get(), metafile, 0, 0, static_cast<INT>(width),
                                   static_cast<INT>(height)))) {
      return none;
    }
  }
  return fw::GpImageOwner(bitmap.release());
}

}  // namespace

FileByteSource::FileByteSource(const wchar_t* path) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) file_.reset(file);
}

size_t FileByteSource::ReadAt(uint64_t offset, void* buffer, size_t size) {
  if (!file_ || size == 0) return 0;
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  // The reader asks for small pieces; a DWORD always holds one.
  const DWORD wanted = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  DWORD read = 0;
  if (!ReadFile(file_.get(), buffer, wanted, &read, &at)) return 0;
  return read;
}

bool ReadPictureFileHeader(const wchar_t* path, PictureHeader* header) {
  FileByteSource source(path);
  if (!source.is_open()) return false;
  if (ReadPictureHeader(source, header)) return true;
  // A TGA header has no signature: only its name says what it is.
  const std::wstring name(path);
  const std::wstring extension = NameExtension(name);
  if (extension == L".tga" || extension == L".tpic") return ReadTgaHeader(source, header);
  // A format the readers know whose header does not read is damaged; for one they do not
  // know (camera RAW, DDS, a codec's own) the installed decoder gives the frame's size.
  const PictureExtension* known = FindPictureExtension(name);
  if (known && known->format != PictureFormat::Unknown) return false;
  return ReadWicFrameHeader(path, header);
}

bool TurnUpright(GpImage* picture, int orientation) {
  // A turn and then a mirror, each its own call: the combined values (Rotate90FlipX...)
  // are not carried out alike by every implementation of the library.
  Gdiplus::RotateFlipType turn = Gdiplus::RotateNoneFlipNone;
  bool mirror = false;
  switch (orientation) {
    case 2: mirror = true; break;
    case 3: turn = Gdiplus::Rotate180FlipNone; break;
    case 4: turn = Gdiplus::Rotate180FlipNone; mirror = true; break;
    case 5: turn = Gdiplus::Rotate90FlipNone; mirror = true; break;   // transposed
    case 6: turn = Gdiplus::Rotate90FlipNone; break;
    case 7: turn = Gdiplus::Rotate270FlipNone; mirror = true; break;  // transversed
    case 8: turn = Gdiplus::Rotate270FlipNone; break;
    default: break;
  }
  if (turn != Gdiplus::RotateNoneFlipNone && !Ok(gp::GdipImageRotateFlip(picture, turn))) {
    return false;
  }
  return !mirror || Ok(gp::GdipImageRotateFlip(picture, Gdiplus::RotateNoneFlipX));
}

fw::GpImageOwner LoadPicture(const wchar_t* path, bool throughWic) {
  fw::GpImageOwner picture;
  if (!Ok(gp::GdipLoadImageFromFile(path, picture.put()))) {
    picture.reset();
    if (!throughWic) return picture;
    // What the library does not read may be a format of an installed WIC decoder.
    PictureHeader header;
    if (!ReadPictureFileHeader(path, &header)) return picture;
    return LoadPictureThroughWic(path, header);
  }
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (!Ok(gp::GdipGetImageType(picture.get(), &type))) return fw::GpImageOwner();
  if (type == Gdiplus::ImageTypeMetafile) return Rasterise(picture.get());
  if (type != Gdiplus::ImageTypeBitmap) return fw::GpImageOwner();

  // The platform readers do not report the orientation tag: our own reader does.
  FileByteSource source(path);
  const int orientation = source.is_open() ? ReadExifOrientation(source) : 1;
  if (!TurnUpright(picture.get(), orientation)) return fw::GpImageOwner();
  return picture;
}

bool GetPictureSize(GpImage* picture, UINT* width, UINT* height) {
  return gp::GdipGetImageWidth(picture, width) == Gdiplus::Ok &&
         gp::GdipGetImageHeight(picture, height) == Gdiplus::Ok;
}

// ---- LockedPixels ----

LockedPixels::~LockedPixels() { Unlock(); }

void LockedPixels::Unlock() {
  if (bitmap_) gp::GdipBitmapUnlockBits(bitmap_, &data_);
  bitmap_ = nullptr;
  buffer_ = PixelBuffer();
}

bool LockedPixels::Lock(GpBitmap* bitmap, UINT mode, Gdiplus::PixelFormat format,
                        int32_t channels) {
  Unlock();
  UINT width = 0, height = 0;
  if (!GetPictureSize(bitmap, &width, &height) || width == 0 || height == 0) return false;
  const Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
  Gdiplus::BitmapData data = {};
  if (!Ok(gp::GdipBitmapLockBits(bitmap, &all, mode, format, &data)) || !data.Scan0) return false;
  bitmap_ = bitmap;
  data_ = data;
  buffer_.pixels = static_cast<uint8_t*>(data.Scan0);
  buffer_.width = static_cast<int32_t>(data.Width);
  buffer_.height = static_cast<int32_t>(data.Height);
  buffer_.stride = data.Stride;
  buffer_.channels = channels;
  return true;
}

bool LockedPixels::LockForReading(GpImage* picture) {
  Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
  if (!Ok(gp::GdipGetImageType(picture, &type)) || type != Gdiplus::ImageTypeBitmap) return false;
  Gdiplus::PixelFormat format = 0;
  if (!Ok(gp::GdipGetImagePixelFormat(picture, &format))) return false;
  // Palettes may hold transparent entries; alpha formats carry it themselves.
  const bool transparency =
      (format & (PixelFormatAlpha | PixelFormatPAlpha | PixelFormatIndexed)) != 0;
  GpBitmap* bitmap = static_cast<GpBitmap*>(picture);
  if (transparency) return Lock(bitmap, Gdiplus::ImageLockModeRead, PixelFormat32bppPARGB, 4);
  return Lock(bitmap, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, 3);
}

bool LockedPixels::LockCanvas(GpBitmap* canvas) {
  Gdiplus::PixelFormat format = 0;
  if (!Ok(gp::GdipGetImagePixelFormat(canvas, &format))) return false;
  const UINT mode = Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeWrite;
  if (format == PixelFormat24bppRGB) return Lock(canvas, mode, format, 3);
  if (format == PixelFormat32bppARGB || format == PixelFormat32bppPARGB) {
    return Lock(canvas, mode, format, 4);
  }
  return false;
}

bool LockedPixels::LockNew(UINT width, UINT height, fw::GpBitmapOwner* bitmap) {
  Unlock();
  bitmap->reset();
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF ||
      !Ok(gp::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                        PixelFormat32bppPARGB, nullptr, bitmap->put()))) {
    return false;
  }
  return Lock(bitmap->get(), Gdiplus::ImageLockModeWrite, PixelFormat32bppPARGB, 4);
}

}  // namespace framewise
