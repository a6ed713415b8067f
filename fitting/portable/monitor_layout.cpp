#include "fitting/portable/monitor_layout.h"

#include <algorithm>
#include <cmath>

#include "fitting/portable/geometry.h"

namespace framewise {

namespace {

enum class Side { None, Right, Left, Below, Above };

// Length of the common part of [a0, a1) and [b0, b1); 0 or less when they do not meet.
int64_t Overlap(int64_t a0, int64_t a1, int64_t b0, int64_t b1) {
  return std::min(a1, b1) - std::max(a0, b0);
}

bool PixelsOverlap(const PixelRect& a, const PixelRect& b) {
  return Overlap(a.left, a.right, b.left, b.right) > 0 &&
         Overlap(a.top, a.bottom, b.top, b.bottom) > 0;
}

// Where b lies against a when they share a stretch of edge; corners alone do not count.
Side TouchingSide(const PixelRect& a, const PixelRect& b) {
  if (Overlap(a.top, a.bottom, b.top, b.bottom) > 0) {
    if (b.left == a.right) return Side::Right;
    if (b.right == a.left) return Side::Left;
  }
  if (Overlap(a.left, a.right, b.left, b.right) > 0) {
    if (b.top == a.bottom) return Side::Below;
    if (b.bottom == a.top) return Side::Above;
  }
  return Side::None;
}

// Start of b in mm along the shared edge, given a's pixel span [a0, a1) placed at
// [mmA0, mmA1] and b's pixel span [b0, b1) of mmB millimetres (the alignment rule in the
// header).
double AlignAlongEdge(int64_t a0, int64_t a1, int64_t b0, int64_t b1, double mmA0, double mmA1,
                      double mmB) {
  const int64_t startOffset = b0 - a0;
  const int64_t endOffset = b1 - a1;
  const double mmA = mmA1 - mmA0;
  if (startOffset == 0 && endOffset == 0) return mmA0 + (mmA - mmB) / 2;
  if ((startOffset >= 0 && endOffset <= 0) || (startOffset <= 0 && endOffset >= 0)) {
    // One span holds the other: the same fraction of the slack in mm as in pixels.
    const double t =
        static_cast<double>(startOffset) / static_cast<double>(startOffset - endOffset);
    return mmA0 + t * (mmA - mmB);
  }
  const double pixelsPerMmA = static_cast<double>(a1 - a0) / mmA;
  const double pixelsPerMmB = static_cast<double>(b1 - b0) / mmB;
  if (std::llabs(startOffset) <= std::llabs(endOffset)) {
    // Starts nearly aligned. A positive offset runs along a's edge, a negative one along b's.
    const double density = startOffset > 0 ? pixelsPerMmA : pixelsPerMmB;
    return mmA0 + static_cast<double>(startOffset) / density;
  }
  const double density = endOffset > 0 ? pixelsPerMmB : pixelsPerMmA;
  return mmA1 + static_cast<double>(endOffset) / density - mmB;
}

CanvasRect PlaceAgainst(const PixelRect& pa, const CanvasRect& a, const PixelRect& pb,
                        const MillimetreSize& size, Side side, double gap) {
  const double w = size.width;
  const double h = size.height;
  CanvasRect b;
  if (side == Side::Right || side == Side::Left) {
    b.left = side == Side::Right ? a.right + gap : a.left - gap - w;
    b.top = AlignAlongEdge(pa.top, pa.bottom, pb.top, pb.bottom, a.top, a.bottom, h);
  } else {
    b.top = side == Side::Below ? a.bottom + gap : a.top - gap - h;
    b.left = AlignAlongEdge(pa.left, pa.right, pb.left, pb.right, a.left, a.right, w);
  }
  b.right = b.left + w;
  b.bottom = b.top + h;
  return b;
}

CanvasRect Union(const std::vector<CanvasRect>& rects) {
  CanvasRect u = rects.front();
  for (const CanvasRect& r : rects) {
    u.left = std::min(u.left, r.left);
    u.top = std::min(u.top, r.top);
    u.right = std::max(u.right, r.right);
    u.bottom = std::max(u.bottom, r.bottom);
  }
  return u;
}

void UsePixelLayout(LayoutFallback why, PhysicalLayout* out) {
  out->physical = false;
  out->fallback = why;
  out->monitors.clear();
  for (const PixelRect& p : out->pixels) {
    out->monitors.push_back(CanvasRect{static_cast<double>(p.left), static_cast<double>(p.top),
                                       static_cast<double>(p.right),
                                       static_cast<double>(p.bottom)});
  }
  out->bounds = Union(out->monitors);
}

}  // namespace

bool ComputePhysicalLayout(const std::vector<LayoutMonitor>& monitors, double gapMm,
                           PhysicalLayout* out) {
  *out = PhysicalLayout();
  const size_t n = monitors.size();
  if (n == 0 || n > kMaxLayoutMonitors) return false;
  if (!(gapMm >= 0 && gapMm <= kMaxLayoutGapMm)) return false;  // NaN fails too
  for (const LayoutMonitor& m : monitors) {
    if (m.pixels.right <= m.pixels.left || m.pixels.bottom <= m.pixels.top) return false;
    out->pixels.push_back(m.pixels);
  }

  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      if (PixelsOverlap(monitors[i].pixels, monitors[j].pixels)) {
        UsePixelLayout(LayoutFallback::OverlappingPixels, out);
        return true;
      }
    }
  }
  for (const LayoutMonitor& m : monitors) {
    if (m.size.width == 0 || m.size.height == 0) {
      UsePixelLayout(LayoutFallback::MissingSize, out);
      return true;
    }
  }

  size_t primary = 0;
  for (size_t i = 0; i < n; ++i) {
    if (monitors[i].primary) {
      primary = i;
      break;
    }
  }
  std::vector<CanvasRect> placed(n);
  std::vector<bool> done(n, false);
  std::vector<size_t> queue{primary};
  placed[primary] = CanvasRect{0, 0, static_cast<double>(monitors[primary].size.width),
                               static_cast<double>(monitors[primary].size.height)};
  done[primary] = true;
  for (size_t next = 0; next < queue.size(); ++next) {
    const size_t a = queue[next];
    for (size_t b = 0; b < n; ++b) {
      if (done[b]) continue;
      const Side side = TouchingSide(monitors[a].pixels, monitors[b].pixels);
      if (side == Side::None) continue;
      placed[b] = PlaceAgainst(monitors[a].pixels, placed[a], monitors[b].pixels, monitors[b].size,
                               side, gapMm);
      done[b] = true;
      queue.push_back(b);
    }
  }
  if (queue.size() != n) {
    UsePixelLayout(LayoutFallback::NotTouching, out);
    return true;
  }

  for (size_t i = 0; i < n; ++i) {
    for (size_t j = i + 1; j < n; ++j) {
      const CanvasRect& a = placed[i];
      const CanvasRect& b = placed[j];
      const double w = std::min(a.right, b.right) - std::max(a.left, b.left);
      const double h = std::min(a.bottom, b.bottom) - std::max(a.top, b.top);
      if (w > kLayoutOverlapToleranceMm && h > kLayoutOverlapToleranceMm) {
        UsePixelLayout(LayoutFallback::Conflict, out);
        return true;
      }
    }
  }

  out->physical = true;
  out->monitors = placed;
  out->bounds = Union(placed);
  return true;
}

bool ComputeSpanCut(uint32_t pictureWidth, uint32_t pictureHeight, const PhysicalLayout& layout,
                    int mode, std::vector<MonitorCut>* cuts) {
  cuts->clear();
  const bool bestFit = mode == FitModeBestFit;
  FillPart part = FillPart::Middle;
  if (!bestFit && !FillPartForMode(mode, &part)) return false;
  if (pictureWidth == 0 || pictureHeight == 0) return false;
  if (layout.monitors.empty() || layout.monitors.size() != layout.pixels.size()) return false;
  const CanvasRect& bounds = layout.bounds;
  const double spanWidth = bounds.Width();
  const double spanHeight = bounds.Height();
  if (!(spanWidth > 0 && spanHeight > 0) || !std::isfinite(spanWidth) ||
      !std::isfinite(spanHeight)) {
    return false;
  }

  const double w = pictureWidth;
  const double h = pictureHeight;
  for (size_t i = 0; i < layout.monitors.size(); ++i) {
    const CanvasRect& r = layout.monitors[i];
    const PixelRect& p = layout.pixels[i];
    const double monitorWidth = static_cast<double>(p.right) - p.left;
    const double monitorHeight = static_cast<double>(p.bottom) - p.top;
    if (!(r.Width() > 0 && r.Height() > 0) || monitorWidth <= 0 || monitorHeight <= 0) {
      cuts->clear();
      return false;
    }
    MonitorCut cut;
    if (!bestFit) {
      // The largest part of the picture with the span's shape; picture pixels per unit.
      double cropX = 0, cropY = 0, scale = 0;
      if (w * spanHeight > h * spanWidth) {  // wider than the span
        scale = h / spanHeight;
        const double spare = w - spanWidth * scale;
        cropX = part == FillPart::Left ? 0 : part == FillPart::Right ? spare : spare / 2;
      } else {
        scale = w / spanWidth;
        const double spare = h - spanHeight * scale;
        cropY = part == FillPart::Top ? 0 : part == FillPart::Bottom ? spare : spare / 2;
      }
      cut.source =
          CutRect{cropX + (r.left - bounds.left) * scale, cropY + (r.top - bounds.top) * scale,
                  r.Width() * scale, r.Height() * scale};
      cut.covered = CutRect{0, 0, monitorWidth, monitorHeight};
    } else {
      // The whole picture, as large as fits, centred; units per picture pixel.
      const double scale = std::min(spanWidth / w, spanHeight / h);
      const double placedLeft = bounds.left + (spanWidth - w * scale) / 2;
      const double placedTop = bounds.top + (spanHeight - h * scale) / 2;
      const double left = std::max(r.left, placedLeft);
      const double top = std::max(r.top, placedTop);
      const double right = std::min(r.right, placedLeft + w * scale);
      const double bottom = std::min(r.bottom, placedTop + h * scale);
      if (right > left && bottom > top) {
        cut.source = CutRect{(left - placedLeft) / scale, (top - placedTop) / scale,
                             (right - left) / scale, (bottom - top) / scale};
        const double toPixelsX = monitorWidth / r.Width();
        const double toPixelsY = monitorHeight / r.Height();
        cut.covered = CutRect{(left - r.left) * toPixelsX, (top - r.top) * toPixelsY,
                              (right - left) * toPixelsX, (bottom - top) * toPixelsY};
      }  // else the monitor shows none of the picture: both rectangles stay empty
    }
    cuts->push_back(cut);
  }
  return true;
}

}  // namespace framewise
