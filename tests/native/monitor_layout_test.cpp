// Spanning a picture across monitors true to size: real EDIDs (tests/fixtures/edid, see its
// README for each monitor's published size), the size checks at both sides of each limit,
// the arrangement in mm, and the cuts that make a line continuous across a seam.
#include "fitting/portable/edid.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/monitor_layout.h"
#include "fitting/portable/physical_size.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace framewise {
namespace {

std::vector<uint8_t> Fixture(const char* name) {
  std::ifstream file(std::string(FRAMEWISE_SOURCE_DIR) + "/tests/fixtures/edid/" + name,
                     std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

EdidInfo Parsed(const std::vector<uint8_t>& bytes) {
  EdidInfo info;
  EXPECT_TRUE(ParseEdid(bytes.data(), bytes.size(), &info));
  return info;
}

void FixChecksum(std::vector<uint8_t>* bytes, size_t block) {
  uint32_t sum = 0;
  for (size_t i = block * 128; i < block * 128 + 127; ++i) sum += (*bytes)[i];
  (*bytes)[block * 128 + 127] = static_cast<uint8_t>(256 - (sum & 0xFF));
}

// What each monitor's EDID bytes say, and the maker's published size (0: a projector, or a
// size the EDID gets wrong, where the check must refuse the EDID's figure).
struct FixtureCase {
  const char* file;
  const char* maker;
  uint16_t product;
  uint32_t pixelsW, pixelsH, mmW, mmH, cmW, cmH;
  SizeVerdict verdict;
  double publishedW, publishedH;
};

const FixtureCase kFixtures[] = {
    {"dell_p2715q.bin", "DEL", 0x40BD, 3840, 2160, 597, 336, 60, 34, SizeVerdict::Valid, 596.74,
     335.66},
    {"benq_gl2450.bin", "BNQ", 0x78A4, 1920, 1080, 531, 298, 53, 30, SizeVerdict::Valid, 531.36,
     298.89},
    {"auo_b156han02_1.bin", "AUO", 0x21ED, 1920, 1080, 344, 193, 34, 19, SizeVerdict::Valid, 344.16,
     193.59},
    {"boe_nv156fhm_n4g.bin", "BOE", 0x07AF, 1920, 1080, 344, 193, 0, 0, SizeVerdict::Valid, 344.16,
     193.59},
    {"dell_p2419h.bin", "DEL", 0xD0D8, 1920, 1080, 527, 296, 53, 30, SizeVerdict::Valid, 527.04,
     296.46},
    {"dell_s2721hgf.bin", "DEL", 0x41E8, 1920, 1080, 255, 255, 60, 34, SizeVerdict::ShapeMismatch,
     0, 0},
    {"viewsonic_va2216w.bin", "VSC", 0x2920, 1680, 1050, 495, 291, 50, 29,
     SizeVerdict::ShapeMismatch, 0, 0},
    {"epson_pj.bin", "SEC", 0xA514, 1920, 1080, 1600, 900, 160, 90, SizeVerdict::DensityOutOfRange,
     0, 0},
    {"optoma_1080p.bin", "OTM", 0x0026, 1920, 1080, 0, 0, 0, 0, SizeVerdict::Unknown, 0, 0},
};

TEST(Edid, RealMonitorsReadAsTheirBytesSayAndValidSizesMatchTheMakers) {
  for (const FixtureCase& c : kFixtures) {
    const EdidInfo info = Parsed(Fixture(c.file));
    EXPECT_STREQ(info.manufacturer, c.maker) << c.file;
    EXPECT_EQ(info.productCode, c.product) << c.file;
    EXPECT_TRUE(info.hasDetailedTiming) << c.file;
    EXPECT_EQ(info.nativeWidth, c.pixelsW) << c.file;
    EXPECT_EQ(info.nativeHeight, c.pixelsH) << c.file;
    EXPECT_EQ(info.imageWidthMm, c.mmW) << c.file;
    EXPECT_EQ(info.imageHeightMm, c.mmH) << c.file;
    EXPECT_EQ(info.screenWidthCm, c.cmW) << c.file;
    EXPECT_EQ(info.screenHeightCm, c.cmH) << c.file;
    MillimetreSize size;
    EXPECT_EQ(ChoosePhysicalSize(info, c.pixelsW, c.pixelsH, DisplayRotation::None, &size),
              c.verdict)
        << c.file;
    if (c.publishedW > 0) {  // within 1% of the published active area
      EXPECT_NEAR(size.width, c.publishedW, c.publishedW / 100) << c.file;
      EXPECT_NEAR(size.height, c.publishedH, c.publishedH / 100) << c.file;
    }
  }
  // The laptop panel's basic block holds only its landscape aspect ratio: bytes 79, 0,
  // a form revision 4 brought; before it, that is just an unknown size.
  std::vector<uint8_t> boe = Fixture("boe_nv156fhm_n4g.bin");
  EXPECT_DOUBLE_EQ(Parsed(boe).screenAspect, 1.78);
  boe[19] = 3;
  FixChecksum(&boe, 0);
  EXPECT_EQ(Parsed(boe).screenAspect, 0);
  // The portrait form puts the byte second: 0, 79 is 100 / (79 + 99), from revision 4 on.
  boe[21] = 0;
  boe[22] = 79;
  FixChecksum(&boe, 0);
  EXPECT_EQ(Parsed(boe).screenAspect, 0);
  boe[19] = 4;
  FixChecksum(&boe, 0);
  EXPECT_DOUBLE_EQ(Parsed(boe).screenAspect, 100.0 / 178);
  // Both bytes 0: no size and no aspect ratio, in either form.
  boe[22] = 0;
  FixChecksum(&boe, 0);
  EXPECT_EQ(Parsed(boe).screenAspect, 0);
  // An interlaced timing counts the lines of one field: the frame has twice as many.
  std::vector<uint8_t> benq = Fixture("benq_gl2450.bin");
  benq[54 + 5] = 0x1C;  // 540 lines: 0x21C
  benq[54 + 7] = static_cast<uint8_t>((benq[54 + 7] & 0x0F) | 0x20);
  benq[54 + 17] |= 0x80;
  FixChecksum(&benq, 0);
  EXPECT_EQ(Parsed(benq).nativeHeight, 1080u);
  // The rest of that byte (stereo and sync) says nothing about interlacing.
  benq[54 + 17] = 0x7F;
  FixChecksum(&benq, 0);
  EXPECT_EQ(Parsed(benq).nativeHeight, 540u);
}

TEST(Edid, BasicBlockSizeStandsInForAMissingTimingSize) {
  // Without the timing's mm, the 27" 4K falls back to its 60 x 34 cm, still valid.
  std::vector<uint8_t> dell = Fixture("dell_p2715q.bin");
  dell[54 + 12] = dell[54 + 13] = dell[54 + 14] = 0;
  FixChecksum(&dell, 0);
  MillimetreSize size;
  EXPECT_EQ(ChoosePhysicalSize(Parsed(dell), 3840, 2160, DisplayRotation::None, &size),
            SizeVerdict::Valid);
  EXPECT_EQ(size.width, 600u);
  EXPECT_EQ(size.height, 340u);
  // The laptop panel's aspect-ratio form is no size at all.
  std::vector<uint8_t> boe = Fixture("boe_nv156fhm_n4g.bin");
  boe[54 + 12] = boe[54 + 13] = boe[54 + 14] = 0;
  FixChecksum(&boe, 0);
  EXPECT_EQ(ChoosePhysicalSize(Parsed(boe), 1920, 1080, DisplayRotation::None, &size),
            SizeVerdict::Unknown);
}

TEST(Edid, TimingFromTheExtensionWhenTheBaseBlockHasNone) {
  // The 27" 4K's first base descriptor made a blank display descriptor: its CTA-861
  // extension's first timing is 3840x2160 at 30 Hz, 597 x 336 mm.
  std::vector<uint8_t> bytes = Fixture("dell_p2715q.bin");
  for (size_t i = 54; i < 72; ++i) bytes[i] = 0;
  bytes[57] = 0x10;
  FixChecksum(&bytes, 0);
  EdidInfo info = Parsed(bytes);
  EXPECT_TRUE(info.hasDetailedTiming);
  EXPECT_EQ(info.nativeWidth, 3840u);
  EXPECT_EQ(info.imageHeightMm, 336u);
  // The descriptors start at the offset in byte 2: 4 when there are no data blocks, at most
  // 109 so that an 18-byte descriptor ends before the checksum byte.
  const std::vector<uint8_t> timing(bytes.begin() + 128 + bytes[130],
                                    bytes.begin() + 128 + bytes[130] + 18);
  for (const auto& c : {std::make_pair(3, false), std::make_pair(4, true),
                        std::make_pair(109, true), std::make_pair(110, false)}) {
    std::vector<uint8_t> moved(bytes.begin(), bytes.begin() + 128);
    moved.resize(256);
    moved[128] = 0x02;
    moved[129] = 3;
    std::copy(timing.begin(), timing.end(), moved.begin() + 128 + c.first);
    moved[130] = static_cast<uint8_t>(c.first);
    FixChecksum(&moved, 1);
    info = Parsed(moved);
    EXPECT_EQ(info.hasDetailedTiming, c.second) << c.first;
    EXPECT_EQ(info.nativeWidth, c.second ? 3840u : 0u) << c.first;
  }
  bytes[200] ^= 1;  // a broken extension is skipped
  info = Parsed(bytes);
  EXPECT_FALSE(info.hasDetailedTiming);
  EXPECT_EQ(info.extensionsPresent, 1u);
  EXPECT_EQ(info.nativeWidth, 0u);  // and no timing gives no sizes
  EXPECT_EQ(info.imageWidthMm, 0u);
  EXPECT_EQ(info.imageHeightMm, 0u);

  // Only a clock of zero in both of its bytes makes a display descriptor: the 27" 4K's base
  // block alone (its extension count cleared) with a clock of 0x00FF or 0x0100 still has its
  // timing, whose width's low byte is 0.
  for (const auto& clock : {std::make_pair(0xFF, 0x00), std::make_pair(0x00, 0x01)}) {
    std::vector<uint8_t> slow = Fixture("dell_p2715q.bin");
    slow.resize(128);
    slow[126] = 0;
    slow[54] = static_cast<uint8_t>(clock.first);
    slow[55] = static_cast<uint8_t>(clock.second);
    FixChecksum(&slow, 0);
    info = Parsed(slow);
    EXPECT_TRUE(info.hasDetailedTiming) << clock.first;
    EXPECT_EQ(info.nativeWidth, 3840u) << clock.first;
    EXPECT_EQ(info.nativeHeight, 2160u) << clock.first;
  }
}

TEST(Edid, DamagedBlobsAreRefusedCleanly) {
  const std::vector<uint8_t> good = Fixture("benq_gl2450.bin");
  EdidInfo info;
  EXPECT_FALSE(ParseEdid(good.data(), 127, &info));
  EXPECT_FALSE(ParseEdid(nullptr, 128, &info));
  std::vector<uint8_t> bytes = good;
  bytes[3] = 0xFE;  // header
  EXPECT_FALSE(ParseEdid(bytes.data(), bytes.size(), &info));
  bytes = good;
  bytes[70] ^= 0x40;  // checksum
  ASSERT_TRUE(ParseEdid(good.data(), good.size(), &info));
  EXPECT_FALSE(ParseEdid(bytes.data(), bytes.size(), &info));
  // What a refused blob leaves says nothing: no maker, no timing, no size.
  EXPECT_EQ(info.manufacturer[0], 0);
  EXPECT_FALSE(info.hasDetailedTiming);
  EXPECT_EQ(info.nativeWidth, 0u);
  EXPECT_EQ(info.nativeHeight, 0u);
  EXPECT_EQ(info.imageWidthMm, 0u);
  EXPECT_EQ(info.imageHeightMm, 0u);
  EXPECT_EQ(info.screenWidthCm, 0u);
  EXPECT_EQ(info.screenHeightCm, 0u);
  bytes = good;
  bytes[18] = 2;  // not version 1
  FixChecksum(&bytes, 0);
  EXPECT_FALSE(ParseEdid(bytes.data(), bytes.size(), &info));
  // Announcing more extensions than arrived is not an error: the missing ones are skipped.
  bytes = Fixture("dell_p2419h.bin");
  bytes[126] = 200;
  FixChecksum(&bytes, 0);
  ASSERT_TRUE(ParseEdid(bytes.data(), bytes.size(), &info));
  EXPECT_EQ(info.extensionCount, 200u);
  EXPECT_EQ(info.extensionsPresent, 1u);
}

TEST(PhysicalSize, ShapeWithinFivePercentOnBothSides) {
  // Square pixels: 210/200 and 190/200 are 5% off, 211/200 and 189/200 beyond.
  MillimetreSize s;
  auto check = [&s](uint32_t width) {
    return CheckPhysicalSize({width, 200}, 2000, 2000, DisplayRotation::None, &s);
  };
  EXPECT_EQ(check(210), SizeVerdict::Valid);
  EXPECT_EQ(check(211), SizeVerdict::ShapeMismatch);
  EXPECT_EQ(s.width, 0u);
  EXPECT_EQ(check(190), SizeVerdict::Valid);
  EXPECT_EQ(check(189), SizeVerdict::ShapeMismatch);
}

TEST(PhysicalSize, DensityFromFiftyToThreeHundredFiftyPpiOnEachAxis) {
  // 500 px over 254 mm (10 in) is 50 ppi; 3500 px over 254 mm is 350 ppi.
  const struct {
    MillimetreSize mm;
    uint32_t pixels;
    SizeVerdict verdict;
  } cases[] = {
      {{254, 250}, 500, SizeVerdict::Valid},
      {{255, 250}, 500, SizeVerdict::DensityOutOfRange},
      {{250, 254}, 500, SizeVerdict::Valid},
      {{250, 255}, 500, SizeVerdict::DensityOutOfRange},
      {{254, 256}, 3500, SizeVerdict::Valid},
      {{253, 256}, 3500, SizeVerdict::DensityOutOfRange},
      {{256, 254}, 3500, SizeVerdict::Valid},
      {{256, 253}, 3500, SizeVerdict::DensityOutOfRange},
      // A tenth of a pixel per inch past either end.
      {{254, 250}, 499, SizeVerdict::DensityOutOfRange},
      {{254, 256}, 3501, SizeVerdict::DensityOutOfRange},
  };
  for (const auto& c : cases) {
    MillimetreSize s;
    EXPECT_EQ(CheckPhysicalSize(c.mm, c.pixels, c.pixels, DisplayRotation::None, &s), c.verdict)
        << c.mm.width << "x" << c.mm.height << " at " << c.pixels;
  }
  MillimetreSize s;
  const DisplayRotation none = DisplayRotation::None;
  EXPECT_EQ(CheckPhysicalSize({0, 336}, 3840, 2160, none, &s), SizeVerdict::Unknown);
  EXPECT_EQ(CheckPhysicalSize({597, 0}, 3840, 2160, none, &s), SizeVerdict::Unknown);
  EXPECT_EQ(CheckPhysicalSize({597, 336}, 0, 2160, none, &s), SizeVerdict::NoPixels);
  // EDID states sizes in 12 bits: 4095 mm is the largest it can say (a 16000-pixel square
  // at 99 ppi), 4096 mm came from somewhere else.
  EXPECT_EQ(CheckPhysicalSize({4095, 4095}, 16000, 16000, none, &s), SizeVerdict::Valid);
  EXPECT_EQ(CheckPhysicalSize({4096, 4095}, 16000, 16000, none, &s), SizeVerdict::Unknown);
  EXPECT_EQ(CheckPhysicalSize({4095, 4096}, 16000, 16000, none, &s), SizeVerdict::Unknown);
}

TEST(PhysicalSize, PortraitMonitorSwapsTheLandscapeEdidSize) {
  // The pivoting 23.8" turned to portrait shows 1080 x 1920 pixels.
  const EdidInfo info = Parsed(Fixture("dell_p2419h.bin"));
  MillimetreSize s;
  for (DisplayRotation r : {DisplayRotation::Quarter, DisplayRotation::ThreeQuarters}) {
    ASSERT_EQ(ChoosePhysicalSize(info, 1080, 1920, r, &s), SizeVerdict::Valid);
    EXPECT_EQ(s.width, 296u);
    EXPECT_EQ(s.height, 527u);
  }
  EXPECT_EQ(ChoosePhysicalSize(info, 1080, 1920, DisplayRotation::None, &s),
            SizeVerdict::ShapeMismatch);
  ASSERT_EQ(ChoosePhysicalSize(info, 1920, 1080, DisplayRotation::Half, &s), SizeVerdict::Valid);
  EXPECT_EQ(s.width, 527u);
}

// The worked example: the 27" 4K left of the 24" 1080p, sizes from their EDIDs.
MillimetreSize SizeOf(const char* file, uint32_t w, uint32_t h) {
  MillimetreSize s;
  EXPECT_EQ(ChoosePhysicalSize(Parsed(Fixture(file)), w, h, DisplayRotation::None, &s),
            SizeVerdict::Valid);
  return s;
}

std::vector<LayoutMonitor> FourKBeside1080p(int32_t secondTop) {
  return {
      {{0, 0, 3840, 2160}, SizeOf("dell_p2715q.bin", 3840, 2160), true},
      {{3840, secondTop, 5760, secondTop + 1080}, SizeOf("benq_gl2450.bin", 1920, 1080), false}};
}

void ExpectRect(const CanvasRect& r, double left, double top, double right, double bottom) {
  EXPECT_NEAR(r.left, left, 1e-9);
  EXPECT_NEAR(r.top, top, 1e-9);
  EXPECT_NEAR(r.right, right, 1e-9);
  EXPECT_NEAR(r.bottom, bottom, 1e-9);
}

TEST(PhysicalLayout, SideBySideKeepsTheAlignmentOfThePixelArrangement) {
  PhysicalLayout layout;
  // Tops aligned: 597 x 336 mm, then 531 x 298 mm flush right, tops level.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &layout));
  EXPECT_TRUE(layout.physical);
  ExpectRect(layout.monitors[0], 0, 0, 597, 336);
  ExpectRect(layout.monitors[1], 597, 0, 1128, 298);
  ExpectRect(layout.bounds, 0, 0, 1128, 336);
  // Centred and bottom-aligned in pixels stay so in mm: (336 - 298) / 2 and 336 - 298.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(540), 0, &layout));
  ExpectRect(layout.monitors[1], 597, 19, 1128, 317);
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(1080), 0, &layout));
  ExpectRect(layout.monitors[1], 597, 38, 1128, 336);
  // Half of the 1080p below the 4K's bottom: half of its 298 mm below 336 mm.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(1620), 0, &layout));
  ExpectRect(layout.monitors[1], 597, 336 - 149, 1128, 336 + 149);
  // Its middle row level with the 4K's top.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(-540), 0, &layout));
  ExpectRect(layout.monitors[1], 597, -149, 1128, 149);
  // The 4K right of the 24", one pixel lower and reaching far below it: the tops are the
  // nearer ends, one 24" pixel (298 / 1080 mm) apart along the 24"'s edge.
  const std::vector<LayoutMonitor> lower = {
      {{0, 0, 1920, 1080}, SizeOf("benq_gl2450.bin", 1920, 1080), true},
      {{1920, 1, 5760, 2161}, SizeOf("dell_p2715q.bin", 3840, 2160), false}};
  ASSERT_TRUE(ComputePhysicalLayout(lower, 0, &layout));
  ExpectRect(layout.monitors[1], 531, 298.0 / 1080, 1128, 298.0 / 1080 + 336);
  // A panel of 2 mm pixels, two pixels lower and one pixel shorter than the 1 mm-pixel
  // primary on its left: the bottoms are the nearer ends, and its last row, beside nothing,
  // reaches one of its own pixels below.
  const std::vector<LayoutMonitor> bottoms = {{{0, 0, 100, 100}, {100, 100}, true},
                                              {{100, 2, 200, 101}, {200, 198}, false}};
  ASSERT_TRUE(ComputePhysicalLayout(bottoms, 0, &layout));
  ExpectRect(layout.monitors[1], 100, 102 - 198, 300, 102);
  // Without a primary monitor the first one listed is placed at 0,0.
  std::vector<LayoutMonitor> noPrimary = FourKBeside1080p(0);
  noPrimary[0].primary = false;
  ASSERT_TRUE(ComputePhysicalLayout(noPrimary, 0, &layout));
  ExpectRect(layout.monitors[0], 0, 0, 597, 336);
  ExpectRect(layout.monitors[1], 597, 0, 1128, 298);
  // A gap between neighbours; a monitor on the left.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 12.5, &layout));
  EXPECT_NEAR(layout.monitors[1].left, 609.5, 1e-9);
  std::vector<LayoutMonitor> left = FourKBeside1080p(0);
  left[1].pixels = {-1920, 0, 0, 1080};
  ASSERT_TRUE(ComputePhysicalLayout(left, 0, &layout));
  ExpectRect(layout.monitors[1], -531, 0, 0, 298);
}

TEST(PhysicalLayout, StackedEqualWidthsCentreAndTheWalkReachesEveryNeighbour) {
  // A 24" above a laptop panel, both 1920 wide, and the 4K right of the 24".
  const std::vector<LayoutMonitor> monitors = {
      {{0, 1080, 1920, 2160}, SizeOf("auo_b156han02_1.bin", 1920, 1080), false},
      {{0, 0, 1920, 1080}, SizeOf("benq_gl2450.bin", 1920, 1080), true},
      {{1920, 0, 5760, 2160}, SizeOf("dell_p2715q.bin", 3840, 2160), false}};
  PhysicalLayout layout;
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 5, &layout));
  ASSERT_TRUE(layout.physical);
  ExpectRect(layout.monitors[1], 0, 0, 531, 298);
  ExpectRect(layout.monitors[0], (531 - 344) / 2.0, 303, (531 + 344) / 2.0, 303 + 193);
  ExpectRect(layout.monitors[2], 536, 0, 536 + 597, 336);

  // The laptop panel above the primary instead: flush against its top, gap included.
  const std::vector<LayoutMonitor> above = {
      {{0, 0, 1920, 1080}, SizeOf("benq_gl2450.bin", 1920, 1080), true},
      {{0, -1080, 1920, 0}, SizeOf("auo_b156han02_1.bin", 1920, 1080), false}};
  ASSERT_TRUE(ComputePhysicalLayout(above, 5, &layout));
  ASSERT_TRUE(layout.physical);
  ExpectRect(layout.monitors[1], (531 - 344) / 2.0, -5 - 193, (531 + 344) / 2.0, -5);
}

TEST(PhysicalLayout, FallsBackToThePixelLayoutForTheWholeDesktop) {
  PhysicalLayout layout;
  std::vector<LayoutMonitor> monitors = FourKBeside1080p(0);
  monitors[1].size = MillimetreSize();  // e.g. the projector without a size
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_FALSE(layout.physical);
  EXPECT_EQ(layout.fallback, LayoutFallback::MissingSize);
  ExpectRect(layout.monitors[0], 0, 0, 3840, 2160);
  ExpectRect(layout.monitors[1], 3840, 0, 5760, 1080);
  ExpectRect(layout.bounds, 0, 0, 5760, 2160);

  monitors = FourKBeside1080p(0);
  monitors[1].pixels = {3841, 0, 5761, 1080};  // one pixel apart
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::NotTouching);
  monitors[1].pixels = {3840, 2160, 5760, 3240};  // corners alone do not touch
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::NotTouching);
  // A shared stretch of one pixel is an edge, on the right and below.
  monitors[1].pixels = {3840, 2159, 5760, 3239};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::None);
  EXPECT_TRUE(layout.physical);
  monitors[1].pixels = {3839, 2160, 5759, 3240};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::None);
  EXPECT_TRUE(layout.physical);
  monitors[1].pixels = {3839, 0, 5759, 1080};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::OverlappingPixels);
  // One shared row is an overlap too; a monitor flush below is a neighbour.
  monitors[1].pixels = {0, 2159, 1920, 3239};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::OverlappingPixels);
  monitors[1].pixels = {0, 2160, 1920, 3240};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_TRUE(layout.physical);
  EXPECT_EQ(layout.fallback, LayoutFallback::None);

  // Two 27" panels centred on a laptop panel's right and bottom edges would overlap in mm.
  const MillimetreSize laptop = SizeOf("auo_b156han02_1.bin", 1920, 1080);
  const MillimetreSize big = SizeOf("dell_p2715q.bin", 3840, 2160);
  monitors = {{{0, 0, 1920, 1080}, laptop, true},
              {{1920, 0, 3840, 1080}, big, false},
              {{0, 1080, 1920, 2160}, big, false}};
  ASSERT_TRUE(ComputePhysicalLayout(monitors, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::Conflict);
  EXPECT_FALSE(layout.physical);

  monitors = FourKBeside1080p(0);
  monitors[0].pixels.right = 0;
  for (const auto& bad :
       {std::make_pair(std::vector<LayoutMonitor>(), 0.0),
        std::make_pair(FourKBeside1080p(0), -1.0),
        std::make_pair(FourKBeside1080p(0), std::nan("")),
        std::make_pair(FourKBeside1080p(0), 1000.5), std::make_pair(monitors, 0.0)}) {
    ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &layout));
    EXPECT_FALSE(ComputePhysicalLayout(bad.first, bad.second, &layout));
    // Left empty, as a new layout is.
    EXPECT_FALSE(layout.physical);
    EXPECT_EQ(layout.fallback, LayoutFallback::None);
    EXPECT_TRUE(layout.monitors.empty());
    EXPECT_TRUE(layout.pixels.empty());
    ExpectRect(layout.bounds, 0, 0, 0, 0);
  }
  // A metre of gap is the most.
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 1000, &layout));
  ExpectRect(layout.monitors[1], 1597, 0, 2128, 298);
}

// Sizes come in whole millimetres, so placements that meet may overlap by rounding: half a
// millimetre either way is still a meeting, more on both axes is a conflict. A 100 mm square
// with a panel `taller` mm taller on its right and one `wider` mm wider below it, both
// centred: their corners overlap by half of each.
TEST(PhysicalLayout, OverlapsOfRoundingAreNotConflicts) {
  auto ring = [](uint32_t taller, uint32_t wider) {
    return std::vector<LayoutMonitor>{{{0, 0, 100, 100}, {100, 100}, true},
                                      {{100, 0, 200, 100}, {100, 100 + taller}, false},
                                      {{0, 100, 100, 200}, {100 + wider, 100}, false}};
  };
  PhysicalLayout layout;
  ASSERT_TRUE(ComputePhysicalLayout(ring(1, 1), 0, &layout));
  EXPECT_TRUE(layout.physical);
  EXPECT_EQ(layout.fallback, LayoutFallback::None);
  ExpectRect(layout.monitors[1], 100, -0.5, 200, 100.5);
  ExpectRect(layout.monitors[2], -0.5, 100, 100.5, 200);

  // Half a millimetre on one axis is enough to keep them apart, however much on the other.
  ASSERT_TRUE(ComputePhysicalLayout(ring(1, 3), 0, &layout));
  EXPECT_TRUE(layout.physical);
  ASSERT_TRUE(ComputePhysicalLayout(ring(3, 1), 0, &layout));
  EXPECT_TRUE(layout.physical);

  ASSERT_TRUE(ComputePhysicalLayout(ring(2, 2), 0, &layout));
  EXPECT_FALSE(layout.physical);
  EXPECT_EQ(layout.fallback, LayoutFallback::Conflict);
  // Whatever order the system lists them in.
  std::vector<LayoutMonitor> reordered = ring(2, 2);
  std::rotate(reordered.begin(), reordered.begin() + 1, reordered.end());
  ASSERT_TRUE(ComputePhysicalLayout(reordered, 0, &layout));
  EXPECT_EQ(layout.fallback, LayoutFallback::Conflict);
  reordered = ring(1, 1);
  std::rotate(reordered.begin(), reordered.begin() + 1, reordered.end());
  ASSERT_TRUE(ComputePhysicalLayout(reordered, 0, &layout));
  EXPECT_TRUE(layout.physical);
}

TEST(SpanCut, AHorizontalLineStaysContinuousAcrossTheSeam) {
  PhysicalLayout layout;
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &layout));
  std::vector<MonitorCut> cuts;
  ASSERT_TRUE(ComputeSpanCut(6000, 2000, layout, FitModeMiddle, &cuts));
  const CutRect& a = cuts[0].source;
  const CutRect& b = cuts[1].source;
  // Columns continue at the seam and the rows start level; the 24" shows 298/336 of them.
  EXPECT_NEAR(a.x + a.width, b.x, 1e-9);
  EXPECT_NEAR(a.y, b.y, 1e-9);
  EXPECT_NEAR(b.height / a.height, 298.0 / 336.0, 1e-12);
  // A picture row meets each monitor at the same height in mm from the desktop's top.
  for (double rowOnB : {0.5, 540.5, 1079.5}) {
    const double pictureRow = b.y + rowOnB / 1080 * b.height;
    const double rowOnA = (pictureRow - a.y) / a.height * 2160;
    EXPECT_NEAR(rowOnA / 2160 * 336, rowOnB / 1080 * 298, 1e-9);
  }
  // Both monitors are covered whole.
  EXPECT_EQ(cuts[1].covered.x, 0);
  EXPECT_EQ(cuts[1].covered.y, 0);
  EXPECT_EQ(cuts[1].covered.width, 1920);
  EXPECT_EQ(cuts[1].covered.height, 1080);
}

// A layout not made by ComputePhysicalLayout is checked before it is cut: an empty one, one
// whose lists differ in length, a span or a monitor of no width or no height.
TEST(SpanCut, LayoutsWithNothingToCutAreRefused) {
  PhysicalLayout good;
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &good));
  auto with = [&good](auto change) {
    PhysicalLayout layout = good;
    change(&layout);
    return layout;
  };
  const PhysicalLayout cases[] = {
      PhysicalLayout(),
      with([](PhysicalLayout* l) { l->pixels.pop_back(); }),
      with([](PhysicalLayout* l) { l->bounds.bottom = l->bounds.top; }),
      with([](PhysicalLayout* l) { l->bounds.right = l->bounds.left; }),
      with([](PhysicalLayout* l) { l->bounds.right = INFINITY; }),
      with([](PhysicalLayout* l) { l->monitors[1].bottom = l->monitors[1].top; }),
      with([](PhysicalLayout* l) { l->monitors[1].right = l->monitors[1].left; }),
      with([](PhysicalLayout* l) { l->pixels[1].bottom = l->pixels[1].top; }),
      with([](PhysicalLayout* l) { l->pixels[1].right = l->pixels[1].left; }),
  };
  for (const PhysicalLayout& layout : cases) {
    for (int mode : {FitModeMiddle, FitModeBestFit}) {
      std::vector<MonitorCut> cuts(1);
      EXPECT_FALSE(ComputeSpanCut(1000, 1000, layout, mode, &cuts)) << &layout - cases;
      EXPECT_TRUE(cuts.empty()) << &layout - cases;
    }
  }
  std::vector<MonitorCut> cuts;
  EXPECT_TRUE(ComputeSpanCut(1000, 1000, good, FitModeMiddle, &cuts));
  EXPECT_EQ(cuts.size(), 2u);

  // A monitor one pixel wide or one pixel high is still a monitor (here in the pixel
  // layout, sizes unknown), covered whole.
  const std::vector<LayoutMonitor> thin = {{{0, 0, 1920, 1080}, {}, true},
                                           {{1920, 0, 1921, 1080}, {}, false},
                                           {{0, 1080, 1920, 1081}, {}, false}};
  PhysicalLayout pixels;
  ASSERT_TRUE(ComputePhysicalLayout(thin, 0, &pixels));
  ASSERT_FALSE(pixels.physical);
  ASSERT_TRUE(ComputeSpanCut(1921, 1081, pixels, FitModeMiddle, &cuts));
  ASSERT_EQ(cuts.size(), 3u);
  EXPECT_NEAR(cuts[1].source.x, 1920, 1e-9);
  EXPECT_NEAR(cuts[1].source.width, 1, 1e-9);
  EXPECT_EQ(cuts[1].covered.width, 1);
  EXPECT_EQ(cuts[1].covered.height, 1080);
  EXPECT_NEAR(cuts[2].source.y, 1080, 1e-9);
  EXPECT_NEAR(cuts[2].source.height, 1, 1e-9);
  EXPECT_EQ(cuts[2].covered.width, 1920);
  EXPECT_EQ(cuts[2].covered.height, 1);
  // A desktop of one pixel spans one pixel: the whole square picture lands on it.
  ASSERT_TRUE(ComputePhysicalLayout({{{0, 0, 1, 1}, {}, true}}, 0, &pixels));
  for (int mode : {FitModeMiddle, FitModeBestFit}) {
    ASSERT_TRUE(ComputeSpanCut(500, 500, pixels, mode, &cuts)) << mode;
    ASSERT_EQ(cuts.size(), 1u);
    EXPECT_NEAR(cuts[0].source.width, 500, 1e-9) << mode;
    EXPECT_NEAR(cuts[0].source.height, 500, 1e-9) << mode;
    EXPECT_NEAR(cuts[0].covered.width, 1, 1e-9) << mode;
    EXPECT_NEAR(cuts[0].covered.height, 1, 1e-9) << mode;
  }
}

TEST(SpanCut, FillAnchorsPickThePartOfThePictureOutsideTheSpansShape) {
  PhysicalLayout layout;
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &layout));
  std::vector<MonitorCut> cuts;
  // 20000 x 2000 is wider than 1128 x 336: 2000 * 1128/336 columns are kept.
  const double keptColumns = 2000 * 1128.0 / 336;
  ASSERT_TRUE(ComputeSpanCut(20000, 2000, layout, FitModeLeft, &cuts));
  EXPECT_NEAR(cuts[0].source.x, 0, 1e-9);
  ASSERT_TRUE(ComputeSpanCut(20000, 2000, layout, FitModeRight, &cuts));
  EXPECT_NEAR(cuts[1].source.x + cuts[1].source.width, 20000, 1e-6);
  for (int mode : {FitModeMiddle, FitModeTop, FitModeExact}) {
    ASSERT_TRUE(ComputeSpanCut(20000, 2000, layout, mode, &cuts));
    EXPECT_NEAR(cuts[0].source.x, (20000 - keptColumns) / 2, 1e-6) << mode;
    EXPECT_NEAR(cuts[0].source.y, 0, 1e-9) << mode;
  }
  // 1000 x 1000 is taller: 1000 * 336/1128 rows are kept.
  const double keptRows = 1000 * 336.0 / 1128;
  ASSERT_TRUE(ComputeSpanCut(1000, 1000, layout, FitModeTop, &cuts));
  EXPECT_NEAR(cuts[0].source.y, 0, 1e-9);
  EXPECT_NEAR(cuts[0].source.height, keptRows, 1e-9);
  // Every column is kept: the 4K's part starts at the picture's left edge.
  EXPECT_NEAR(cuts[0].source.x, 0, 1e-9);
  EXPECT_NEAR(cuts[1].source.x + cuts[1].source.width, 1000, 1e-9);
  ASSERT_TRUE(ComputeSpanCut(1000, 1000, layout, FitModeBottom, &cuts));
  EXPECT_NEAR(cuts[0].source.y + cuts[0].source.height, 1000, 1e-9);
  ASSERT_TRUE(ComputeSpanCut(1000, 1000, layout, FitModeLeft, &cuts));
  EXPECT_NEAR(cuts[0].source.y, (1000 - keptRows) / 2, 1e-9);
}

TEST(SpanCut, BestFitCoversOnlyWhereThePictureLands) {
  PhysicalLayout layout;
  ASSERT_TRUE(ComputePhysicalLayout(FourKBeside1080p(0), 0, &layout));
  std::vector<MonitorCut> cuts;
  // A square picture 336 mm tall, centred in 1128 mm: from 396 mm to 732 mm.
  ASSERT_TRUE(ComputeSpanCut(1000, 1000, layout, FitModeBestFit, &cuts));
  const double pxPerMm = 1000 / 336.0;
  EXPECT_NEAR(cuts[0].source.x, 0, 1e-9);
  EXPECT_NEAR(cuts[0].source.width, (597 - 396) * pxPerMm, 1e-9);
  EXPECT_NEAR(cuts[0].source.height, 1000, 1e-9);
  EXPECT_NEAR(cuts[0].covered.x, 396 * 3840 / 597.0, 1e-9);
  EXPECT_NEAR(cuts[0].covered.width, 3840 - 396 * 3840 / 597.0, 1e-9);
  EXPECT_NEAR(cuts[1].source.x, (597 - 396) * pxPerMm, 1e-9);
  EXPECT_NEAR(cuts[1].source.height, 298 * pxPerMm, 1e-9);
  EXPECT_NEAR(cuts[1].covered.width, (732 - 597) * 1920 / 531.0, 1e-9);
  EXPECT_NEAR(cuts[1].covered.height, 1080, 1e-9);

  // A picture of 8:1 is 1128 mm wide and 141 mm high, centred from 97.5 mm down.
  ASSERT_TRUE(ComputeSpanCut(8000, 1000, layout, FitModeBestFit, &cuts));
  EXPECT_NEAR(cuts[0].source.y, 0, 1e-9);
  EXPECT_NEAR(cuts[0].source.height, 1000, 1e-9);
  EXPECT_NEAR(cuts[0].covered.y, 97.5 * 2160 / 336, 1e-9);
  EXPECT_NEAR(cuts[0].covered.height, 141 * 2160 / 336.0, 1e-9);
  EXPECT_NEAR(cuts[1].covered.y, 97.5 * 1080 / 298, 1e-9);
  EXPECT_NEAR(cuts[1].covered.height, 141 * 1080 / 298.0, 1e-9);

  // Three 1080p monitors in the pixel layout (sizes unknown), as the system's span shows
  // them: a square picture 3240 px wide lands on the middle monitor only.
  const std::vector<LayoutMonitor> three = {{{0, 0, 1920, 1080}, {}, true},
                                            {{1920, 0, 3840, 1080}, {}, false},
                                            {{3840, 0, 5760, 1080}, {}, false}};
  ASSERT_TRUE(ComputePhysicalLayout(three, 0, &layout));
  ASSERT_TRUE(ComputeSpanCut(1000, 1000, layout, FitModeBestFit, &cuts));
  for (size_t i : {0, 2}) {  // nothing of the picture, nothing covered
    for (const CutRect& r : {cuts[i].source, cuts[i].covered}) {
      EXPECT_EQ(r.x, 0) << i;
      EXPECT_EQ(r.y, 0) << i;
      EXPECT_EQ(r.width, 0) << i;
      EXPECT_EQ(r.height, 0) << i;
    }
  }
  EXPECT_NEAR(cuts[1].covered.x, (5760 - 1080) / 2.0 - 1920, 1e-9);
  EXPECT_NEAR(cuts[1].covered.width, 1080, 1e-9);
  EXPECT_NEAR(cuts[1].source.width, 1000, 1e-9);

  EXPECT_FALSE(ComputeSpanCut(0, 1000, layout, FitModeBestFit, &cuts));
  EXPECT_FALSE(ComputeSpanCut(1000, 1000, layout, FitModeNone, &cuts));
  EXPECT_FALSE(ComputeSpanCut(1000, 1000, PhysicalLayout(), FitModeMiddle, &cuts));
}

}  // namespace
}  // namespace framewise
