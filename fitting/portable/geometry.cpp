#include "fitting/portable/geometry.h"

#include <cmath>

namespace framewise {

namespace {

constexpr const wchar_t* kFitModeNames[] = {
    L"ERROR", L"Exact", L"Top", L"Left", L"Middle", L"Bottom", L"Right", L"BestFit",
};

// An unsigned difference halved with the remainder dropped, as the centring rules say.
// Saturates where the result does not fit a signed 32-bit coordinate.
int32_t HalfUnsigned(uint32_t whole, int32_t part) {
  return TruncateToInt32(static_cast<double>((whole - static_cast<uint32_t>(part)) / 2u));
}

int32_t UnsignedDifference(uint32_t whole, int32_t part) {
  return TruncateToInt32(static_cast<double>(whole - static_cast<uint32_t>(part)));
}

}  // namespace

const wchar_t* FitModeName(int mode) {
  if (mode < FitModeExact || mode > FitModeBestFit) return kFitModeNames[0];
  return kFitModeNames[mode];
}

int FitModeFromName(const wchar_t* name) {
  if (!name) return FitModeNone;
  for (int mode = FitModeExact; mode <= FitModeBestFit; ++mode) {
    const wchar_t* a = name;
    const wchar_t* b = kFitModeNames[mode];
    auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c; };
    while (*a && lower(*a) == lower(*b)) {
      ++a;
      ++b;
    }
    if (*a == 0 && *b == 0) return mode;
  }
  return FitModeNone;
}

bool FillPartForMode(int mode, FillPart* part) {
  switch (mode) {
    case FitModeExact: *part = FillPart::Exact; return true;
    case FitModeTop: *part = FillPart::Top; return true;
    case FitModeLeft: *part = FillPart::Left; return true;
    case FitModeMiddle: *part = FillPart::Middle; return true;
    case FitModeBottom: *part = FillPart::Bottom; return true;
    case FitModeRight: *part = FillPart::Right; return true;
    default: return false;
  }
}

double AspectOf(const ScreenRect& work) {
  return static_cast<double>(work.width) / static_cast<double>(work.height);
}

PictureShape ClassifyPicture(float pictureAspect, double screenAspect) {
  if (std::fabs(screenAspect - static_cast<double>(pictureAspect)) < 0.01) return MatchesScreen;
  if (static_cast<double>(pictureAspect) > screenAspect) return WiderThanScreen;
  return TallerThanScreen;
}

int32_t TruncateToInt32(double value) {
  if (std::isnan(value)) return 0;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

Crop ComputeCropFor(uint32_t pictureWidth, uint32_t pictureHeight, const ScreenRect& monitor,
                    const ScreenRect& work, FillPart part, bool wallpaperForm) {
  const double w = static_cast<double>(pictureWidth);
  const double h = static_cast<double>(pictureHeight);
  const double p = w / h;
  const double s = AspectOf(work);

  Crop crop;
  crop.cw = TruncateToInt32(w);
  crop.ch = TruncateToInt32(h);
  if (s < p) {
    crop.cw = TruncateToInt32(s * h);
  } else if (s > p) {
    crop.ch = TruncateToInt32(w / s);
  }

  switch (part) {
    case FillPart::Middle:
      crop.x = HalfUnsigned(pictureWidth, crop.cw);
      crop.y = HalfUnsigned(pictureHeight, crop.ch);
      break;
    case FillPart::Bottom:
      crop.y = UnsignedDifference(pictureHeight, crop.ch);
      break;
    case FillPart::Right:
      crop.x = UnsignedDifference(pictureWidth, crop.cw);
      break;
    case FillPart::Top:
    case FillPart::Left:
    case FillPart::Exact:
      break;
  }

  if (wallpaperForm) {
    const int32_t extraWidth = TruncateToInt32(static_cast<double>(static_cast<uint32_t>(crop.cw)) /
                                               work.width * (monitor.width - work.width));
    const int32_t extraHeight = TruncateToInt32(static_cast<double>(static_cast<uint32_t>(crop.ch)) /
                                                work.height * (monitor.height - work.height));
    // Sums in double, so that sizes near the 32-bit limit saturate instead of wrapping.
    crop.cw = TruncateToInt32(static_cast<double>(crop.cw) + extraWidth);
    crop.ch = TruncateToInt32(static_cast<double>(crop.ch) + extraHeight);
    if (work.x > monitor.x) {
      crop.x = TruncateToInt32(static_cast<double>(crop.x) - extraWidth);
    } else if (work.y > monitor.y) {
      crop.y = TruncateToInt32(static_cast<double>(crop.y) - extraHeight);
    }
  }
  return crop;
}

ScreenRect ComputePlacementFor(uint32_t pictureWidth, uint32_t pictureHeight,
                               const ScreenRect& work) {
  ScreenRect placement = work;
  const double p = static_cast<double>(pictureWidth) / static_cast<double>(pictureHeight);
  const double s = AspectOf(work);
  if (p > s) {
    const int32_t height = TruncateToInt32(work.width / p);
    placement.y += HalfUnsigned(static_cast<uint32_t>(work.height), height);
    placement.height = height;
  } else if (p < s) {
    const int32_t width = TruncateToInt32(p * work.height);
    placement.x += HalfUnsigned(static_cast<uint32_t>(work.width), width);
    placement.width = width;
  }
  return placement;
}

void LimitPreviewSizeFor(float* width, float* height, float dpiX, float aspect) {
  *width = *height * aspect;
  const double limit = 6.0 * dpiX;
  if (limit < *width) {
    const float factor = static_cast<float>(limit / *width);
    *width = *width * factor;
    *height = *height * factor;
  }
}

RectF PreviewPictureArea(int32_t previewWidth, int32_t previewHeight) {
  return RectF{2.0f, 2.0f, static_cast<float>(previewWidth - 4),
               static_cast<float>(previewHeight - 4)};
}

RectF PreviewKeptPart(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight,
                      int32_t previewWidth, int32_t previewHeight) {
  const float sx = static_cast<float>(previewWidth - 4) / static_cast<float>(pictureWidth);
  const float sy = static_cast<float>(previewHeight - 4) / static_cast<float>(pictureHeight);
  return RectF{static_cast<float>(crop.x) * sx + 2.0f, static_cast<float>(crop.y) * sy + 2.0f,
               static_cast<float>(crop.cw) * sx, static_cast<float>(crop.ch) * sy};
}

RectF FrameAround(const RectF& kept) {
  return RectF{kept.x - 0.5f, kept.y - 0.5f, kept.width + 0.5f, kept.height + 0.5f};
}

bool CropInsidePicture(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight) {
  if (crop.cw <= 0 || crop.ch <= 0 || crop.x < 0 || crop.y < 0) return false;
  return static_cast<int64_t>(crop.x) + crop.cw <= static_cast<int64_t>(pictureWidth) &&
         static_cast<int64_t>(crop.y) + crop.ch <= static_cast<int64_t>(pictureHeight);
}

bool ClipCropToPicture(const Crop& crop, uint32_t pictureWidth, uint32_t pictureHeight,
                       const ScreenRect& destination, ClippedDraw* out) {
  if (crop.cw <= 0 || crop.ch <= 0) return false;
  // Source edges in double: a crop may start left of or above the picture.
  const double left = crop.x;
  const double top = crop.y;
  const double right = left + crop.cw;
  const double bottom = top + crop.ch;
  const double clippedLeft = left < 0 ? 0 : left;
  const double clippedTop = top < 0 ? 0 : top;
  const double clippedRight = right > pictureWidth ? static_cast<double>(pictureWidth) : right;
  const double clippedBottom = bottom > pictureHeight ? static_cast<double>(pictureHeight) : bottom;
  if (clippedRight <= clippedLeft || clippedBottom <= clippedTop) return false;

  // The same linear mapping as the unclipped draw, applied to the clipped edges.
  const double scaleX = static_cast<double>(destination.width) / crop.cw;
  const double scaleY = static_cast<double>(destination.height) / crop.ch;
  out->source = RectF{static_cast<float>(clippedLeft), static_cast<float>(clippedTop),
                      static_cast<float>(clippedRight - clippedLeft),
                      static_cast<float>(clippedBottom - clippedTop)};
  const double destLeft = destination.x + (clippedLeft - left) * scaleX;
  const double destTop = destination.y + (clippedTop - top) * scaleY;
  out->destination = RectF{static_cast<float>(destLeft), static_cast<float>(destTop),
                           static_cast<float>((clippedRight - clippedLeft) * scaleX),
                           static_cast<float>((clippedBottom - clippedTop) * scaleY)};
  return true;
}

}  // namespace framewise
