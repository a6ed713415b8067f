// Fuzz target: EDIDs come from monitors, adapters and drivers, so any bytes must go through
// the reader without faults, and what it accepts must be usable. The same bytes, read as a
// desktop of monitors, go through the layout and the span cut, whose results must stay
// finite and inside their monitors.
#include "fitting/portable/edid.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/monitor_layout.h"
#include "fitting/portable/physical_size.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace std::string_literals;

extern const std::vector<std::string> kFuzzDictionary;
const std::vector<std::string> kFuzzDictionary = {
    // Header, version 1.3 / 1.4, extension counts.
    "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00"s,
    "\x01\x03"s,
    "\x01\x04"s,
    "\x01"s,
    "\x02"s,
    "\xFF"s,
    // Maker ids (DEL, invalid letters), screen sizes in cm and aspect-ratio forms.
    "\x10\xAC"s,
    "\x00\x00"s,
    "\xFF\xFF"s,
    "\x3C\x22"s,
    "\x4F\x00"s,
    "\x00\x4F"s,
    "\xA0\x5A"s,
    // Detailed timings: 3840x2160 597x336 mm, 1920x1080 interlaced 1600x900 mm, 0 mm.
    "\x4D\xD0\x00\xA0\xF0\x70\x3E\x80\x30\x20\x35\x00\x55\x50\x21\x00\x00\x1A"s,
    "\x02\x3A\x80\x18\x71\x38\x2D\x40\x58\x2C\x45\x00\x40\x84\x63\x00\x00\x9E"s,
    "\x02\x3A\x80\x18\x71\x38\x2D\x40\x58\x2C\x45\x00\x00\x00\x00\x00\x00\x1E"s,
    // Display descriptors (name, range limits) and a CTA-861 extension's start.
    "\x00\x00\x00\xFC\x00"s,
    "\x00\x00\x00\xFD\x00"s,
    "\x02\x03\x04\x00"s,
    "\x02\x03\x1D\xF1"s,
    "\x00\x00\x00\x00"s,
    "\x00"s,
};

namespace {

void Require(bool ok) {
  if (!ok) std::abort();
}

bool Finite(const framewise::CutRect& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
         std::isfinite(r.height);
}

void CheckEdid(const std::string& bytes) {
  framewise::EdidInfo info;
  const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
  if (!framewise::ParseEdid(data, bytes.size(), &info)) {
    Require(info.manufacturer[0] == 0 && info.productCode == 0 && !info.hasDetailedTiming &&
            info.imageWidthMm == 0 && info.screenWidthCm == 0);
    return;
  }
  Require(bytes.size() >= framewise::kEdidBlockSize && info.version == 1);
  for (int i = 0; i < 3; ++i) Require(info.manufacturer[i] >= '@' && info.manufacturer[i] <= '_');
  Require(info.manufacturer[3] == 0);
  Require(info.imageWidthMm <= 4095 && info.imageHeightMm <= 4095);
  Require(info.nativeWidth <= 4095 && info.nativeHeight <= 8190);
  Require(info.extensionsPresent <= info.extensionCount);
  Require((info.screenWidthCm == 0) == (info.screenHeightCm == 0));
  Require(info.screenAspect == 0 || (info.screenAspect > 0.28 && info.screenAspect < 3.55));
  if (!info.hasDetailedTiming) Require(info.nativeWidth == 0 && info.imageWidthMm == 0);

  for (int rotation = 0; rotation < 4; ++rotation) {
    framewise::MillimetreSize size;
    const auto verdict =
        framewise::ChoosePhysicalSize(info, info.nativeWidth, info.nativeHeight,
                                      static_cast<framewise::DisplayRotation>(rotation), &size);
    if (verdict != framewise::SizeVerdict::Valid) {
      Require(size.width == 0 && size.height == 0);
      continue;
    }
    Require(size.width > 0 && size.height > 0);
    // Valid sizes keep the pixels' shape within 5% and 50..350 ppi.
    const double shape = static_cast<double>(size.width) / size.height;
    const double pixels = static_cast<double>(info.nativeWidth) / info.nativeHeight;
    Require(std::fabs(shape - pixels) <= pixels * 0.0501);
    const double ppi = info.nativeWidth * 25.4 / size.width;
    Require(ppi >= 49.99 && ppi <= 350.01);
  }
}

// Up to eight monitors from 9 bytes each: position, pixel size, mm size, primary bit.
void CheckLayout(const uint8_t* data, size_t size) {
  std::vector<framewise::LayoutMonitor> monitors;
  for (size_t at = 0; at + 9 <= size && monitors.size() < 8; at += 9) {
    const uint8_t* m = data + at;
    framewise::LayoutMonitor monitor;
    // Coarse positions make touching edges common.
    monitor.pixels.left = (static_cast<int8_t>(m[0]) / 8) * 480;
    monitor.pixels.top = (static_cast<int8_t>(m[1]) / 8) * 270;
    monitor.pixels.right = monitor.pixels.left + (m[2] % 8 + 1) * 480;
    monitor.pixels.bottom = monitor.pixels.top + (m[3] % 8 + 1) * 270;
    monitor.size.width = m[4] * 4u + (m[5] & 3);
    monitor.size.height = m[6] * 4u + (m[7] & 3);
    monitor.primary = m[8] & 1;
    monitors.push_back(monitor);
  }
  const double gap = size > 0 ? data[0] % 16 : 0;
  framewise::PhysicalLayout layout;
  if (!framewise::ComputePhysicalLayout(monitors, gap, &layout)) {
    Require(layout.monitors.empty());
    return;
  }
  Require(layout.monitors.size() == monitors.size());
  for (size_t i = 0; i < monitors.size(); ++i) {
    const framewise::CanvasRect& r = layout.monitors[i];
    Require(std::isfinite(r.left) && std::isfinite(r.top) && r.Width() > 0 && r.Height() > 0);
    Require(r.left >= layout.bounds.left && r.right <= layout.bounds.right);
    Require(r.top >= layout.bounds.top && r.bottom <= layout.bounds.bottom);
    if (layout.physical) {
      Require(std::fabs(r.Width() - monitors[i].size.width) < 1e-6);
      Require(std::fabs(r.Height() - monitors[i].size.height) < 1e-6);
    }
  }

  const uint32_t pictureWidth = size > 1 ? 1 + data[1] * 37u : 640;
  const uint32_t pictureHeight = size > 2 ? 1 + data[2] * 29u : 480;
  for (int mode = framewise::FitModeExact; mode <= framewise::FitModeBestFit; ++mode) {
    std::vector<framewise::MonitorCut> cuts;
    Require(framewise::ComputeSpanCut(pictureWidth, pictureHeight, layout, mode, &cuts));
    Require(cuts.size() == monitors.size());
    for (size_t i = 0; i < cuts.size(); ++i) {
      const framewise::MonitorCut& cut = cuts[i];
      Require(Finite(cut.source) && Finite(cut.covered));
      const double slack = 1e-6 * (pictureWidth + pictureHeight);
      Require(cut.source.x >= -slack && cut.source.y >= -slack);
      Require(cut.source.x + cut.source.width <= pictureWidth + slack);
      Require(cut.source.y + cut.source.height <= pictureHeight + slack);
      const double w = static_cast<double>(layout.pixels[i].right) - layout.pixels[i].left;
      const double h = static_cast<double>(layout.pixels[i].bottom) - layout.pixels[i].top;
      Require(cut.covered.x >= -1e-6 && cut.covered.x + cut.covered.width <= w + 1e-6);
      Require(cut.covered.y >= -1e-6 && cut.covered.y + cut.covered.height <= h + 1e-6);
      Require((cut.source.width > 0) == (cut.covered.width > 0));
    }
  }
}

// The input with a header in front, padded to whole blocks, every block's checksum made
// right, so the reader gets past its gates.
std::string Repaired(const std::string& input) {
  std::string blob = "\x00\xFF\xFF\xFF\xFF\xFF\xFF\x00"s + input;
  blob.resize((blob.size() + 127) / 128 * 128, '\0');
  blob[18] = 1;
  for (size_t block = 0; block < blob.size(); block += 128) {
    uint32_t sum = 0;
    for (size_t i = block; i < block + 127; ++i) sum += static_cast<uint8_t>(blob[i]);
    blob[block + 127] = static_cast<char>((256 - (sum & 0xFF)) & 0xFF);
  }
  return blob;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  CheckEdid(input);
  CheckEdid(Repaired(input));
  CheckLayout(data, size);
  return 0;
}
