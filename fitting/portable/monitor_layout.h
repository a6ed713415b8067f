// Spanning one picture over every monitor true to their physical sizes: where each
// monitor sits on one canvas in millimetres, and which part of the picture each one shows.
// No Windows header here.
//
// The layout keeps the arrangement the user made in the display settings. Monitors whose
// pixel rectangles share an edge are neighbours. Starting from the primary monitor, placed
// with its top-left corner at 0,0 mm, a breadth-first walk (neighbours in input order)
// places each monitor against the first placed neighbour that reaches it: flush against
// the shared edge (plus the gap), and along that edge by the alignment rule:
//  - when one monitor's pixel span along the edge contains the other's, the smaller one
//    keeps its fraction of the slack: top-aligned stays top-aligned, centred stays centred,
//    bottom-aligned stays bottom-aligned, in between interpolates (equal spans centre);
//  - when the spans only partly overlap, the nearer pair of ends (in pixels) is aligned and
//    then slid apart by their pixel offset, converted at the density of the monitor along
//    whose edge that offset runs.
// Whenever this cannot be honest, the whole desktop falls back to the pixel layout that
// the system's own span uses (pixel rectangles, 1 unit = 1 pixel) and says why: a monitor
// without a valid size, overlapping pixel rectangles, a monitor touching no other, or a
// placement in mm that overlaps another monitor (rings of monitors of mixed sizes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fitting/portable/physical_size.h"

namespace framewise {

// A rectangle in virtual-desktop pixels, right and bottom exclusive.
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};

struct LayoutMonitor {
  PixelRect pixels;
  // Valid physical size (see ChoosePhysicalSize), as the desktop shows it; 0 x 0 if none.
  MillimetreSize size;
  bool primary = false;
};

// A rectangle on the layout's canvas, in the layout's unit (mm, or pixels when it fell back).
struct CanvasRect {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  double Width() const { return right - left; }
  double Height() const { return bottom - top; }
};

enum class LayoutFallback : int32_t {
  None = 0,           // physical layout
  MissingSize,        // a monitor has no valid physical size
  OverlappingPixels,  // two pixel rectangles overlap (nothing to keep)
  NotTouching,        // a monitor shares no edge with the others
  Conflict,           // placed in mm, two monitors would overlap
};

constexpr size_t kMaxLayoutMonitors = 64;
constexpr double kMaxLayoutGapMm = 1000;
// Overlaps up to this much (under the EDID's 1 mm step) are rounding, not a conflict.
constexpr double kLayoutOverlapToleranceMm = 0.5;

struct PhysicalLayout {
  bool physical = false;  // true: millimetres; false: the pixel layout
  LayoutFallback fallback = LayoutFallback::None;
  std::vector<CanvasRect> monitors;  // in input order
  std::vector<PixelRect> pixels;     // the input's pixel rectangles, in input order
  CanvasRect bounds;                 // the union of `monitors`
};

// Lays out `monitors` with `gapMm` (0..1000) between neighbours. False, with an empty
// layout, for no monitors, more than kMaxLayoutMonitors, an empty pixel rectangle or a
// bad gap; otherwise true, physical or fallen back.
bool ComputePhysicalLayout(const std::vector<LayoutMonitor>& monitors, double gapMm,
                           PhysicalLayout* out);

// A rectangle in picture pixels or in a monitor's own pixels: unrounded, so neighbouring
// monitors' parts meet exactly; whoever draws rounds last, if at all.
struct CutRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

struct MonitorCut {
  CutRect source;   // the part of the upright picture; empty when the monitor shows none
  CutRect covered;  // where it lands on the monitor (0,0 = the monitor's top-left); the
                    // rest of the monitor gets the desktop colour
};

// Cuts a pictureWidth x pictureHeight (upright) picture over the layout. Fill modes
// (Top, Left, Middle, Bottom, Right; Exact counts as Middle) crop the picture to the
// layout's bounds and cover every monitor whole: Top and Bottom choose the part of a
// picture taller than the span, Left and Right of one wider, and otherwise the middle is
// kept. BestFit letterboxes the whole picture, centred in the bounds. One cut per monitor,
// in the layout's order. False for an empty picture, an empty layout or another mode.
bool ComputeSpanCut(uint32_t pictureWidth, uint32_t pictureHeight, const PhysicalLayout& layout,
                    int mode, std::vector<MonitorCut>* cuts);

}  // namespace framewise
