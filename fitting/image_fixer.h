// The fitting strategies: each makes the monitor-sized wallpaper bitmap and the framed
// menu preview of a picture for one fit mode.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fitting/imaging.h"
#include "fitting/portable/geometry.h"

namespace framewise {

class ImageFixer {
 public:
  virtual ~ImageFixer() = default;

  // The wallpaper of the primary monitor: the monitor's size, 24-bit RGB, the picture
  // fitted onto the desktop colour. The caller owns the bitmap; on failure *wallpaper is
  // left empty.
  bool MakeWallpaper(GpImage* picture, fw::GpBitmapOwner* wallpaper);

  // The same for any monitor, given its work area and whole area in one coordinate space.
  virtual bool MakeWallpaperFor(GpImage* picture, const ScreenRect& work,
                                const ScreenRect& monitor, fw::GpBitmapOwner* wallpaper) = 0;

  // A width x height 32-bit ARGB preview of what the mode keeps of the picture, inside a
  // black two-pixel border and an orange frame. The caller owns the bitmap; on failure
  // *preview is left empty.
  virtual bool MakePreview(GpImage* picture, fw::GpBitmapOwner* preview, int32_t width,
                           int32_t height) = 0;

  bool FillWithDesktopColor(GpBitmap* canvas, const RectF& area) const;

  // Previews for another monitor than the primary: its work area and whole area.
  void UseScreen(const ScreenRect& work, const ScreenRect& monitor) {
    screenWork_ = work;
    screenMonitor_ = monitor;
    ownScreen_ = true;
  }

  // One monitor's part of a picture spanned over several: a width x height 24-bit canvas
  // in the desktop colour with the area `from` of the picture drawn over `to`.
  // `convert` (may be nullptr) converts the picture's colours as they are drawn.
  static bool MakeSpanPart(GpImage* picture, const SourceArea& from, const SourceArea& to,
                           int32_t width, int32_t height, const RowConverter* convert,
                           fw::GpBitmapOwner* wallpaper);

  // The spanned picture's preview: the whole picture dimmed, each monitor's part of it
  // (`parts`, in the picture's pixels) at full brightness and framed.
  static bool MakeSpanPreview(GpImage* picture, const std::vector<SourceArea>& parts, int32_t width,
                              int32_t height, fw::GpBitmapOwner* preview);

  // Converts the picture's colours as they are drawn (the picture's own to sRGB); nullptr,
  // the default, draws them as they are. The converter must outlive the drawing.
  void SetColourConversion(const RowConverter* convert) { convert_ = convert; }

 protected:
  ImageFixer() = default;
  ImageFixer(const ImageFixer&) = delete;
  ImageFixer& operator=(const ImageFixer&) = delete;

  // A canvas being drawn: the bitmap, the screen it is for and the size of the picture
  // drawn on it. Drawing surfaces are opened only while the library draws, never while the
  // resampler holds the pixels.
  struct Canvas {
    ScreenRect work;
    ScreenRect monitor;
    fw::GpBitmapOwner bitmap;
    UINT pictureWidth = 0;
    UINT pictureHeight = 0;

    // All of the picture, as the resampler takes a source area.
    SourceArea WholePicture() const;
  };

  // The shared start of a wallpaper: the picture's size, the rectangles moved so the
  // monitor's corner is the canvas origin, a monitor-sized 24-bit canvas cleared to the
  // desktop colour. False when the picture's size cannot be read.
  bool BeginWallpaper(GpImage* picture, const ScreenRect& work, const ScreenRect& monitor,
                      Canvas* canvas) const;

  // The shared start of a preview: the picture's size, screen rectangles, a width x height
  // 32-bit ARGB canvas cleared to black, the picture area filled with the desktop colour.
  // False when the picture's size cannot be read.
  bool BeginPreview(GpImage* picture, int32_t width, int32_t height, Canvas* canvas) const;

  // The orange frame around a kept part's destination rectangle.
  static bool DrawFrame(GpBitmap* canvas, const RectF& kept);

  // Draws the area `from` of the picture onto the area `to` of the canvas through the
  // resampler: filtered when reducing, the picture's own edge pixels at its borders.
  bool DrawResampled(GpImage* picture, const SourceArea& from, GpBitmap* canvas,
                     const SourceArea& to, bool dim) const {
    return DrawResampledWith(picture, from, canvas, to, dim, convert_);
  }
  // The same with the colour conversion given (nullptr: none).
  static bool DrawResampledWith(GpImage* picture, const SourceArea& from, GpBitmap* canvas,
                                const SourceArea& to, bool dim, const RowConverter* convert);

  // Hands the finished bitmap to the caller.
  static void Finish(Canvas* canvas, fw::GpBitmapOwner* out);

 private:
  bool ownScreen_ = false;
  ScreenRect screenWork_;
  ScreenRect screenMonitor_;
  const RowConverter* convert_ = nullptr;
};

// The six fill-screen modes: the largest part of the picture with the work area's
// proportions, anchored by the fill part, scaled to fill the screen.
class FillScreenImageFixer : public ImageFixer {
 public:
  explicit FillScreenImageFixer(FillPart part) : fillPart_(part) {}

  bool MakeWallpaperFor(GpImage* picture, const ScreenRect& work, const ScreenRect& monitor,
                        fw::GpBitmapOwner* wallpaper) override;
  bool MakePreview(GpImage* picture, fw::GpBitmapOwner* preview, int32_t width,
                   int32_t height) override;

  // The crop of the picture for this part; the wallpaper form also covers the monitor
  // outside the work area and may reach past the picture's edges. False when the
  // picture's size cannot be read.
  bool ComputeCrop(GpImage* picture, const ScreenRect& monitor, const ScreenRect& work,
                   bool wallpaperForm, Crop* crop) const;

  FillPart fillPart() const { return fillPart_; }

 private:
  FillPart fillPart_;
};

// "Best fit": the whole picture, as large as it fits, centred in the work area.
class BestFitImageFixer : public ImageFixer {
 public:
  bool MakeWallpaperFor(GpImage* picture, const ScreenRect& work, const ScreenRect& monitor,
                        fw::GpBitmapOwner* wallpaper) override;
  bool MakePreview(GpImage* picture, fw::GpBitmapOwner* preview, int32_t width,
                   int32_t height) override;

  // Where the whole picture lands in the work area. False when the picture's size cannot
  // be read.
  bool ComputePlacement(GpImage* picture, const ScreenRect& work, ScreenRect* placement) const;
};

// The strategy for a fit mode; empty for values outside 1..7 or when memory runs out.
std::unique_ptr<ImageFixer> CreateImageFixer(int mode);

}  // namespace framewise
