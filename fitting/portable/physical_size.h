// A monitor's physical size from its EDID, checked against the pixels it shows, so a
// spanned picture keeps its true proportions across monitors. No Windows header here.
#pragma once

#include <cstdint>

#include "fitting/portable/edid.h"

namespace framewise {

// How the desktop turns the monitor's picture, as the display settings store it
// (0, 90, 180, 270 degrees). A quarter turn shows the panel's width as its height.
enum class DisplayRotation : int32_t { None = 0, Quarter = 1, Half = 2, ThreeQuarters = 3 };

struct MillimetreSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// Why a size was or was not taken.
enum class SizeVerdict : int32_t {
  Valid = 0,
  Unknown,            // no size, or a zero side (the basic block's aspect-ratio form too)
  NoPixels,           // the pixel rectangle is empty or beyond any real monitor
  ShapeMismatch,      // width/height differs from the pixels' by more than 5%
  DensityOutOfRange,  // under 50 or over 350 pixels per inch on either axis
};

// Limits of the check, as the user-visible rule states them.
constexpr uint32_t kMaxShapeDifferencePercent = 5;
constexpr uint32_t kMinPixelsPerInch = 50;
constexpr uint32_t kMaxPixelsPerInch = 350;

// The size the EDID states for the panel, unrotated: the first detailed timing's image
// size when it gives any, else the basic block's centimetres times ten, else 0 x 0.
MillimetreSize EdidStatedSize(const EdidInfo& edid);

// Checks `panel` (unrotated, in mm) against the monitor's desktop rectangle of
// pixelWidth x pixelHeight shown with `rotation`; on Valid, *oriented is the size as the
// desktop shows it (sides swapped for a quarter turn), otherwise 0 x 0. The shape must
// be within 5% of the pixels' (|mm shape - pixel shape| <= 5% of the pixel shape) and the
// density within 50..350 ppi inclusive on both axes; all in integers, so the limits are
// exact.
SizeVerdict CheckPhysicalSize(MillimetreSize panel, uint32_t pixelWidth, uint32_t pixelHeight,
                              DisplayRotation rotation, MillimetreSize* oriented);

// EdidStatedSize, then CheckPhysicalSize.
SizeVerdict ChoosePhysicalSize(const EdidInfo& edid, uint32_t pixelWidth, uint32_t pixelHeight,
                               DisplayRotation rotation, MillimetreSize* oriented);

}  // namespace framewise
