#include "fitting/image_fixer.h"

#include <new>
#include <utility>

#include "fitting/screen.h"

namespace framewise {

namespace {

constexpr Gdiplus::ARGB kPreviewBorder = 0xFF000000;
constexpr Gdiplus::ARGB kFrameColor = 0xFFFF9B00;
constexpr float kFrameWidth = 1.0f;

// A drawing surface on a canvas, open only while the library draws.
fw::GpGraphicsOwner Surface(GpBitmap* canvas) {
  fw::GpGraphicsOwner surface;
  if (!Ok(gp::GdipGetImageGraphicsContext(canvas, surface.put()))) surface.reset();
  return surface;
}

bool NewCanvas(int32_t width, int32_t height, Gdiplus::PixelFormat format, Gdiplus::ARGB color,
               fw::GpBitmapOwner* bitmap) {
  if (!Ok(gp::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, bitmap->put()))) {
    return false;
  }
  fw::GpGraphicsOwner surface = Surface(bitmap->get());
  return surface && Ok(gp::GdipGraphicsClear(surface.get(), color));
}

// The picture's size as the draw calls take it. GDI+ images never reach 2^31 pixels on a
// side, so the conversion keeps the value.
bool PictureSize(GpImage* picture, UINT* width, UINT* height) {
  return GetPictureSize(picture, width, height) && *width > 0 && *height > 0;
}

SourceArea AreaOf(const RectF& r) { return SourceArea{r.x, r.y, r.width, r.height}; }
SourceArea AreaOf(const ScreenRect& r) { return SourceArea{double(r.x), double(r.y), double(r.width), double(r.height)}; }
SourceArea AreaOf(const Crop& c) { return SourceArea{double(c.x), double(c.y), double(c.cw), double(c.ch)}; }

}  // namespace

// ---- ImageFixer ----

bool ImageFixer::FillWithDesktopColor(GpBitmap* canvas, const RectF& area) const {
  fw::GpGraphicsOwner surface = Surface(canvas);
  fw::GpSolidFillOwner brush;
  if (!surface || !Ok(gp::GdipCreateSolidFill(DesktopColorArgb(), brush.put()))) return false;
  return Ok(gp::GdipFillRectangle(surface.get(), brush.get(), area.x, area.y, area.width,
                                  area.height));
}

bool ImageFixer::MakeWallpaper(GpImage* picture, fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  ScreenRect work, monitor;
  if (!GetScreenRects(&work, &monitor)) return false;
  return MakeWallpaperFor(picture, work, monitor, wallpaper);
}

SourceArea ImageFixer::Canvas::WholePicture() const {
  return SourceArea{0, 0, double(pictureWidth), double(pictureHeight)};
}

bool ImageFixer::BeginWallpaper(GpImage* picture, const ScreenRect& work,
                                const ScreenRect& monitor, Canvas* canvas) const {
  if (monitor.width <= 0 || monitor.height <= 0 || work.width <= 0 || work.height <= 0) {
    return false;
  }
  if (!PictureSize(picture, &canvas->pictureWidth, &canvas->pictureHeight)) return false;
  canvas->monitor = ScreenRect{0, 0, monitor.width, monitor.height};
  canvas->work = WithinMonitor(work, monitor);
  return NewCanvas(canvas->monitor.width, canvas->monitor.height, PixelFormat24bppRGB,
                   DesktopColorArgb(), &canvas->bitmap);
}

bool ImageFixer::BeginPreview(GpImage* picture, int32_t width, int32_t height,
                              Canvas* canvas) const {
  if (!PictureSize(picture, &canvas->pictureWidth, &canvas->pictureHeight)) return false;
  if (ownScreen_) {
    canvas->work = screenWork_;
    canvas->monitor = screenMonitor_;
  } else if (!GetScreenRects(&canvas->work, &canvas->monitor)) {
    return false;
  }
  if (!NewCanvas(width, height, PixelFormat32bppARGB, kPreviewBorder, &canvas->bitmap)) {
    return false;
  }
  return FillWithDesktopColor(canvas->bitmap.get(), PreviewPictureArea(width, height));
}

bool ImageFixer::DrawFrame(GpBitmap* canvas, const RectF& kept) {
  fw::GpGraphicsOwner surface = Surface(canvas);
  fw::GpPenOwner pen;
  if (!surface ||
      !Ok(gp::GdipCreatePen1(kFrameColor, kFrameWidth, Gdiplus::UnitWorld, pen.put()))) {
    return false;
  }
  const RectF frame = FrameAround(kept);
  return Ok(gp::GdipDrawRectangle(surface.get(), pen.get(), frame.x, frame.y, frame.width,
                                  frame.height));
}

bool ImageFixer::DrawResampledWith(GpImage* picture, const SourceArea& from, GpBitmap* canvas,
                                   const SourceArea& to, bool dim, const RowConverter* convert) {
  LockedPixels source;
  LockedPixels target;
  if (!source.LockForReading(picture) || !target.LockCanvas(canvas)) return false;
  ResampleOptions options;
  options.dim = dim;
  options.convert = convert;
  return Resample(source.buffer(), from, target.mutable_buffer(), to, options);
}

void ImageFixer::Finish(Canvas* canvas, fw::GpBitmapOwner* out) {
  *out = std::move(canvas->bitmap);
}

bool ImageFixer::MakeSpanPart(GpImage* picture, const SourceArea& from, const SourceArea& to,
                              int32_t width, int32_t height, const RowConverter* convert,
                              fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  fw::GpBitmapOwner canvas;
  if (width <= 0 || height <= 0 ||
      !NewCanvas(width, height, PixelFormat24bppRGB, DesktopColorArgb(), &canvas)) {
    return false;
  }
  // A monitor the span's letterbox leaves empty keeps the desktop colour only.
  if (from.width > 0 && from.height > 0 && to.width > 0 && to.height > 0 &&
      !DrawResampledWith(picture, from, canvas.get(), to, false, convert)) {
    return false;
  }
  *wallpaper = std::move(canvas);
  return true;
}

bool ImageFixer::MakeSpanPreview(GpImage* picture, const std::vector<SourceArea>& parts,
                                 int32_t width, int32_t height, fw::GpBitmapOwner* preview) {
  preview->reset();
  UINT pictureWidth = 0, pictureHeight = 0;
  if (!PictureSize(picture, &pictureWidth, &pictureHeight)) return false;
  fw::GpBitmapOwner canvas;
  if (!NewCanvas(width, height, PixelFormat32bppARGB, kPreviewBorder, &canvas)) return false;
  const RectF area = PreviewPictureArea(width, height);
  const SourceArea whole{0, 0, double(pictureWidth), double(pictureHeight)};
  if (!DrawResampledWith(picture, whole, canvas.get(), AreaOf(area), true, nullptr)) return false;
  const double scaleX = area.width / double(pictureWidth);
  const double scaleY = area.height / double(pictureHeight);
  for (const SourceArea& part : parts) {
    if (part.width <= 0 || part.height <= 0) continue;
    const RectF kept{
        static_cast<float>(area.x + part.x * scaleX), static_cast<float>(area.y + part.y * scaleY),
        static_cast<float>(part.width * scaleX), static_cast<float>(part.height * scaleY)};
    if (!DrawResampledWith(picture, part, canvas.get(), AreaOf(kept), false, nullptr) ||
        !DrawFrame(canvas.get(), kept)) {
      return false;
    }
  }
  *preview = std::move(canvas);
  return true;
}

// ---- FillScreenImageFixer ----

bool FillScreenImageFixer::ComputeCrop(GpImage* picture, const ScreenRect& monitor,
                                       const ScreenRect& work, bool wallpaperForm,
                                       Crop* crop) const {
  UINT width = 0, height = 0;
  if (!PictureSize(picture, &width, &height)) return false;
  *crop = ComputeCropFor(width, height, monitor, work, fillPart_, wallpaperForm);
  return true;
}

bool FillScreenImageFixer::MakeWallpaperFor(GpImage* picture, const ScreenRect& work,
                                            const ScreenRect& monitor,
                                            fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  Canvas canvas;
  if (!BeginWallpaper(picture, work, monitor, &canvas)) return false;
  const Crop crop = ComputeCropFor(canvas.pictureWidth, canvas.pictureHeight, canvas.monitor,
                                   canvas.work, fillPart_, true);

  const ScreenRect screen{0, 0, canvas.monitor.width, canvas.monitor.height};
  SourceArea from = AreaOf(crop), to = AreaOf(screen);
  if (!CropInsidePicture(crop, canvas.pictureWidth, canvas.pictureHeight)) {
    // The crop reaches past the picture under a docked bar: draw only the picture's
    // pixels, where the whole crop's mapping puts them; the rest keeps the desktop colour.
    ClippedDraw draw;
    if (!ClipCropToPicture(crop, canvas.pictureWidth, canvas.pictureHeight, screen, &draw)) {
      return false;
    }
    from = AreaOf(draw.source);
    to = AreaOf(draw.destination);
  }
  if (!DrawResampled(picture, from, canvas.bitmap.get(), to, false)) return false;
  Finish(&canvas, wallpaper);
  return true;
}

bool FillScreenImageFixer::MakePreview(GpImage* picture, fw::GpBitmapOwner* preview,
                                       int32_t width, int32_t height) {
  preview->reset();
  Canvas canvas;
  if (!BeginPreview(picture, width, height, &canvas)) return false;
  const Crop crop = ComputeCropFor(canvas.pictureWidth, canvas.pictureHeight, canvas.monitor,
                                   canvas.work, fillPart_, false);

  // The whole picture, darkened, over the picture area.
  if (!DrawResampled(picture, canvas.WholePicture(), canvas.bitmap.get(),
                     AreaOf(PreviewPictureArea(width, height)), true)) {
    return false;
  }
  // The kept part again at full brightness, framed.
  const RectF kept =
      PreviewKeptPart(crop, canvas.pictureWidth, canvas.pictureHeight, width, height);
  if (!FillWithDesktopColor(canvas.bitmap.get(), kept) ||
      !DrawResampled(picture, AreaOf(crop), canvas.bitmap.get(), AreaOf(kept), false) ||
      !DrawFrame(canvas.bitmap.get(), kept)) {
    return false;
  }
  Finish(&canvas, preview);
  return true;
}

// ---- BestFitImageFixer ----

bool BestFitImageFixer::ComputePlacement(GpImage* picture, const ScreenRect& work,
                                         ScreenRect* placement) const {
  UINT width = 0, height = 0;
  if (!PictureSize(picture, &width, &height)) return false;
  *placement = ComputePlacementFor(width, height, work);
  return true;
}

bool BestFitImageFixer::MakeWallpaperFor(GpImage* picture, const ScreenRect& work,
                                         const ScreenRect& monitor,
                                         fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  Canvas canvas;
  if (!BeginWallpaper(picture, work, monitor, &canvas)) return false;
  const ScreenRect placement =
      ComputePlacementFor(canvas.pictureWidth, canvas.pictureHeight, canvas.work);
  if (!DrawResampled(picture, canvas.WholePicture(), canvas.bitmap.get(), AreaOf(placement),
                     false)) {
    return false;
  }
  Finish(&canvas, wallpaper);
  return true;
}

bool BestFitImageFixer::MakePreview(GpImage* picture, fw::GpBitmapOwner* preview, int32_t width,
                                    int32_t height) {
  preview->reset();
  Canvas canvas;
  if (!BeginPreview(picture, width, height, &canvas)) return false;
  // The whole picture over the whole picture area, all of it framed.
  const RectF area = PreviewPictureArea(width, height);
  if (!DrawResampled(picture, canvas.WholePicture(), canvas.bitmap.get(), AreaOf(area), false) ||
      !DrawFrame(canvas.bitmap.get(), area)) {
    return false;
  }
  Finish(&canvas, preview);
  return true;
}

// ---- Factory ----

std::unique_ptr<ImageFixer> CreateImageFixer(int mode) {
  FillPart part;
  if (FillPartForMode(mode, &part)) {
    return std::unique_ptr<ImageFixer>(new (std::nothrow) FillScreenImageFixer(part));
  }
  if (mode == FitModeBestFit) {
    return std::unique_ptr<ImageFixer>(new (std::nothrow) BestFitImageFixer());
  }
  return nullptr;
}

}  // namespace framewise
