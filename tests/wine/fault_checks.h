// Checks of what is made while the fault injector fails one call at a time.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "framework/gdiplus_owners.h"
#include "tests/support/fault_injection.h"

namespace faultchecks {

// Every pixel, as 32-bit ARGB; empty when the bitmap cannot be read.
inline std::vector<Gdiplus::ARGB> PixelsOf(Gdiplus::GpBitmap* bitmap) {
  UINT width = 0, height = 0;
  std::vector<Gdiplus::ARGB> pixels;
  if (Gdiplus::DllExports::GdipGetImageWidth(bitmap, &width) != Gdiplus::Ok ||
      Gdiplus::DllExports::GdipGetImageHeight(bitmap, &height) != Gdiplus::Ok) {
    return pixels;
  }
  pixels.push_back(width);
  pixels.push_back(height);
  for (UINT y = 0; y < height; ++y) {
    for (UINT x = 0; x < width; ++x) {
      Gdiplus::ARGB c = 0;
      Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &c);
      pixels.push_back(c);
    }
  }
  return pixels;
}

inline bool MakeArmed(const std::function<bool(fw::GpBitmapOwner*)>& make, int failAt,
                      fw::GpBitmapOwner* out) {
  testsupport::faults::g_calls = 0;
  testsupport::faults::g_failAt = failAt;
  testsupport::faults::g_failed = "";
  testsupport::faults::g_armed = true;
  const bool made = make(out);
  testsupport::faults::g_armed = false;
  return made;
}

// Makes a bitmap with each call in turn failing (the injector alive): each time `make`
// either says it failed and gives no bitmap, or gives exactly the bitmap it makes when
// nothing fails. A failure answered as success shows as another bitmap or none.
inline void ExpectNoneOrTheWhole(const std::function<bool(fw::GpBitmapOwner*)>& make) {
  fw::GpBitmapOwner whole;
  ASSERT_TRUE(MakeArmed(make, 0, &whole));
  const int calls = testsupport::faults::g_calls;
  ASSERT_GE(calls, 3);
  const std::vector<Gdiplus::ARGB> expected = PixelsOf(whole.get());
  ASSERT_FALSE(expected.empty());
  for (int failing = 1; failing <= calls; ++failing) {
    fw::GpBitmapOwner out;
    const bool made = MakeArmed(make, failing, &out);
    SCOPED_TRACE(testing::Message()
                 << "call " << failing << " failing: " << testsupport::faults::g_failed);
    EXPECT_EQ(made, static_cast<bool>(out));
    if (made && out) {
      EXPECT_TRUE(PixelsOf(out.get()) == expected) << "another bitmap, reported as made";
    }
  }
}

}  // namespace faultchecks
