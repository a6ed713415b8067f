#include "fitting/image_fixer.h"

#include <new>
#include <utility>

#include "fitting/screen.h"

namespace framewise {

namespace {

constexpr Gdiplus::ARGB kPreviewBorder = 0xFF000000;
constexpr Gdiplus::ARGB kFrameColor = 0xFFFF9B00;
constexpr float kFrameWidth = 1.0f;

bool Ok(GpStatus status) { return status == Gdiplus::Ok; }

// Takes half the full range off red, green and blue (clamped at zero) and keeps alpha:
// the part of the picture a fill-screen mode drops is shown darkened.
const Gdiplus::ColorMatrix kDimming = {{
    {1.0f, 0.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 1.0f, 0.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 1.0f, 0.0f, 0.0f},
    {0.0f, 0.0f, 0.0f, 1.0f, 0.0f},
    {-0.5f, -0.5f, -0.5f, 0.0f, 1.0f},
}};

bool NewCanvas(int32_t width, int32_t height, Gdiplus::PixelFormat format,
               fw::GpBitmapOwner* bitmap, fw::GpGraphicsOwner* graphics) {
  if (!Ok(gp::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, bitmap->put()))) {
    return false;
  }
  return Ok(gp::GdipGetImageGraphicsContext(bitmap->get(), graphics->put()));
}

// The picture's size as the draw calls take it. GDI+ images never reach 2^31 pixels on a
// side, so the conversion keeps the value.
bool PictureSize(GpImage* picture, UINT* width, UINT* height) {
  return GetPictureSize(picture, width, height) && *width > 0 && *height > 0;
}

}  // namespace

// ---- ImageFixer ----

bool ImageFixer::ClearToDesktopColor(GpGraphics* graphics) const {
  return Ok(gp::GdipGraphicsClear(graphics, DesktopColorArgb()));
}

bool ImageFixer::FillWithDesktopColor(GpGraphics* graphics, int32_t x, int32_t y,
                                      int32_t width, int32_t height) const {
  return FillWithDesktopColor(graphics, static_cast<float>(x), static_cast<float>(y),
                              static_cast<float>(width), static_cast<float>(height));
}

bool ImageFixer::FillWithDesktopColor(GpGraphics* graphics, float x, float y, float width,
                                      float height) const {
  fw::GpSolidFillOwner brush;
  if (!Ok(gp::GdipCreateSolidFill(DesktopColorArgb(), brush.put()))) return false;
  return Ok(gp::GdipFillRectangle(graphics, brush.get(), x, y, width, height));
}

bool ImageFixer::BeginWallpaper(Canvas* canvas) const {
  if (!GetScreenRects(&canvas->work, &canvas->monitor)) return false;
  if (!NewCanvas(canvas->monitor.width, canvas->monitor.height, PixelFormat24bppRGB,
                 &canvas->bitmap, &canvas->graphics)) {
    return false;
  }
  return ClearToDesktopColor(canvas->graphics.get());
}

bool ImageFixer::BeginPreview(int32_t width, int32_t height, Canvas* canvas) const {
  if (!GetScreenRects(&canvas->work, &canvas->monitor)) return false;
  if (!NewCanvas(width, height, PixelFormat32bppARGB, &canvas->bitmap, &canvas->graphics)) {
    return false;
  }
  if (!Ok(gp::GdipGraphicsClear(canvas->graphics.get(), kPreviewBorder))) return false;
  const RectF area = PreviewPictureArea(width, height);
  return FillWithDesktopColor(canvas->graphics.get(), area.x, area.y, area.width, area.height);
}

bool ImageFixer::DrawFrame(GpGraphics* graphics, const RectF& kept) {
  fw::GpPenOwner pen;
  if (!Ok(gp::GdipCreatePen1(kFrameColor, kFrameWidth, Gdiplus::UnitWorld, pen.put()))) {
    return false;
  }
  const RectF frame = FrameAround(kept);
  return Ok(gp::GdipDrawRectangle(graphics, pen.get(), frame.x, frame.y, frame.width,
                                  frame.height));
}

bool ImageFixer::Finish(Canvas* canvas, fw::GpBitmapOwner* out) {
  canvas->graphics.reset();
  *out = std::move(canvas->bitmap);
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

bool FillScreenImageFixer::MakeWallpaper(GpImage* picture, fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  Canvas canvas;
  if (!BeginWallpaper(&canvas)) return false;
  Crop crop;
  if (!ComputeCrop(picture, canvas.monitor, canvas.work, true, &crop)) return false;
  UINT width = 0, height = 0;
  if (!PictureSize(picture, &width, &height)) return false;

  const ScreenRect screen{0, 0, canvas.monitor.width, canvas.monitor.height};
  GpStatus status;
  if (CropInsidePicture(crop, width, height)) {
    status = gp::GdipDrawImageRectRectI(canvas.graphics.get(), picture, screen.x, screen.y,
                                        screen.width, screen.height, crop.x, crop.y, crop.cw,
                                        crop.ch, Gdiplus::UnitPixel, nullptr, nullptr, nullptr);
  } else {
    // The crop reaches past the picture under a docked bar: draw only the picture's
    // pixels, where the whole crop's mapping puts them; the rest keeps the desktop colour.
    ClippedDraw draw;
    if (!ClipCropToPicture(crop, width, height, screen, &draw)) return false;
    status = gp::GdipDrawImageRectRect(
        canvas.graphics.get(), picture, draw.destination.x, draw.destination.y,
        draw.destination.width, draw.destination.height, draw.source.x, draw.source.y,
        draw.source.width, draw.source.height, Gdiplus::UnitPixel, nullptr, nullptr, nullptr);
  }
  if (!Ok(status)) return false;
  return Finish(&canvas, wallpaper);
}

bool FillScreenImageFixer::MakePreview(GpImage* picture, fw::GpBitmapOwner* preview,
                                       int32_t width, int32_t height) {
  preview->reset();
  Canvas canvas;
  if (!BeginPreview(width, height, &canvas)) return false;
  GpGraphics* graphics = canvas.graphics.get();
  Crop crop;
  if (!ComputeCrop(picture, canvas.monitor, canvas.work, false, &crop)) return false;
  UINT pictureWidth = 0, pictureHeight = 0;
  if (!PictureSize(picture, &pictureWidth, &pictureHeight)) return false;

  fw::GpAttributesOwner dimming;
  if (!Ok(gp::GdipCreateImageAttributes(dimming.put())) ||
      !Ok(gp::GdipSetImageAttributesColorMatrix(dimming.get(), Gdiplus::ColorAdjustTypeDefault,
                                                TRUE, &kDimming, nullptr,
                                                Gdiplus::ColorMatrixFlagsDefault))) {
    return false;
  }

  // The whole picture, darkened, stretched over the picture area.
  if (!Ok(gp::GdipDrawImageRectRectI(graphics, picture, 2, 2, width - 4, height - 4, 0, 0,
                                     static_cast<INT>(pictureWidth),
                                     static_cast<INT>(pictureHeight), Gdiplus::UnitPixel,
                                     dimming.get(), nullptr, nullptr))) {
    return false;
  }

  // The kept part again at full brightness, framed.
  const RectF kept = PreviewKeptPart(crop, pictureWidth, pictureHeight, width, height);
  if (!FillWithDesktopColor(graphics, kept.x, kept.y, kept.width, kept.height)) return false;
  if (!Ok(gp::GdipDrawImageRectRect(graphics, picture, kept.x, kept.y, kept.width, kept.height,
                                    static_cast<float>(crop.x), static_cast<float>(crop.y),
                                    static_cast<float>(crop.cw), static_cast<float>(crop.ch),
                                    Gdiplus::UnitPixel, nullptr, nullptr, nullptr))) {
    return false;
  }
  if (!DrawFrame(graphics, kept)) return false;
  return Finish(&canvas, preview);
}

// ---- BestFitImageFixer ----

bool BestFitImageFixer::ComputePlacement(GpImage* picture, const ScreenRect& work,
                                         ScreenRect* placement) const {
  UINT width = 0, height = 0;
  if (!PictureSize(picture, &width, &height)) return false;
  *placement = ComputePlacementFor(width, height, work);
  return true;
}

bool BestFitImageFixer::MakeWallpaper(GpImage* picture, fw::GpBitmapOwner* wallpaper) {
  wallpaper->reset();
  Canvas canvas;
  if (!BeginWallpaper(&canvas)) return false;
  ScreenRect placement;
  if (!ComputePlacement(picture, canvas.work, &placement)) return false;
  UINT width = 0, height = 0;
  if (!PictureSize(picture, &width, &height)) return false;
  if (!Ok(gp::GdipDrawImageRectRectI(canvas.graphics.get(), picture, placement.x, placement.y,
                                     placement.width, placement.height, 0, 0,
                                     static_cast<INT>(width), static_cast<INT>(height),
                                     Gdiplus::UnitPixel, nullptr, nullptr, nullptr))) {
    return false;
  }
  return Finish(&canvas, wallpaper);
}

bool BestFitImageFixer::MakePreview(GpImage* picture, fw::GpBitmapOwner* preview, int32_t width,
                                    int32_t height) {
  preview->reset();
  Canvas canvas;
  if (!BeginPreview(width, height, &canvas)) return false;
  UINT pictureWidth = 0, pictureHeight = 0;
  if (!PictureSize(picture, &pictureWidth, &pictureHeight)) return false;
  // The whole picture, stretched over the whole picture area, all of it framed.
  if (!Ok(gp::GdipDrawImageRectRectI(canvas.graphics.get(), picture, 2, 2, width - 4,
                                     height - 4, 0, 0, static_cast<INT>(pictureWidth),
                                     static_cast<INT>(pictureHeight), Gdiplus::UnitPixel,
                                     nullptr, nullptr, nullptr))) {
    return false;
  }
  if (!DrawFrame(canvas.graphics.get(), PreviewPictureArea(width, height))) return false;
  return Finish(&canvas, preview);
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
