#include "fitting/portable/physical_size.h"

namespace framewise {

namespace {

// Far beyond any monitor; keeps every product below within 64 bits.
constexpr uint32_t kMaxPixels = 1u << 20;

}  // namespace

MillimetreSize EdidStatedSize(const EdidInfo& edid) {
  if (edid.imageWidthMm != 0 || edid.imageHeightMm != 0) {
    return MillimetreSize{edid.imageWidthMm, edid.imageHeightMm};
  }
  return MillimetreSize{edid.screenWidthCm * 10u, edid.screenHeightCm * 10u};
}

SizeVerdict CheckPhysicalSize(MillimetreSize panel, uint32_t pixelWidth, uint32_t pixelHeight,
                              DisplayRotation rotation, MillimetreSize* oriented) {
  *oriented = MillimetreSize();
  if (pixelWidth == 0 || pixelHeight == 0 || pixelWidth > kMaxPixels || pixelHeight > kMaxPixels) {
    return SizeVerdict::NoPixels;
  }
  // EDID sizes have 12 bits; anything larger did not come from one.
  if (panel.width == 0 || panel.height == 0 || panel.width > 4095 || panel.height > 4095) {
    return SizeVerdict::Unknown;
  }
  MillimetreSize size = panel;
  if (rotation == DisplayRotation::Quarter || rotation == DisplayRotation::ThreeQuarters) {
    size = MillimetreSize{panel.height, panel.width};
  }

  // Shapes compared as cross products: |w_mm*h_px - h_mm*w_px| against 5% of h_mm*w_px.
  const uint64_t mmByPixels = static_cast<uint64_t>(size.width) * pixelHeight;
  const uint64_t pixelsByMm = static_cast<uint64_t>(size.height) * pixelWidth;
  const uint64_t difference =
      mmByPixels > pixelsByMm ? mmByPixels - pixelsByMm : pixelsByMm - mmByPixels;
  if (difference * 100 > pixelsByMm * kMaxShapeDifferencePercent) {
    return SizeVerdict::ShapeMismatch;
  }

  // ppi = px * 25.4 / mm, so ppi < 50 is px * 254 < 500 * mm, and so on.
  auto densityOk = [](uint32_t pixels, uint32_t mm) {
    const uint64_t scaled = static_cast<uint64_t>(pixels) * 254;
    return scaled >= static_cast<uint64_t>(mm) * kMinPixelsPerInch * 10 &&
           scaled <= static_cast<uint64_t>(mm) * kMaxPixelsPerInch * 10;
  };
  if (!densityOk(pixelWidth, size.width) || !densityOk(pixelHeight, size.height)) {
    return SizeVerdict::DensityOutOfRange;
  }
  *oriented = size;
  return SizeVerdict::Valid;
}

SizeVerdict ChoosePhysicalSize(const EdidInfo& edid, uint32_t pixelWidth, uint32_t pixelHeight,
                               DisplayRotation rotation, MillimetreSize* oriented) {
  return CheckPhysicalSize(EdidStatedSize(edid), pixelWidth, pixelHeight, rotation, oriented);
}

}  // namespace framewise
