// The colours the tests' pictures carry, and the comparison of pixels read back with them.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "framework/gdiplus_owners.h"

namespace testsupport {

// A width x height bitmap of `format` filled with one colour; empty when it cannot be made.
inline fw::GpBitmapOwner ClearedBitmap(int width, int height, Gdiplus::PixelFormat format,
                                       Gdiplus::ARGB colour) {
  namespace gp = Gdiplus::DllExports;
  fw::GpBitmapOwner bitmap;
  fw::GpGraphicsOwner g;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, format, nullptr, bitmap.put()) !=
          Gdiplus::Ok ||
      gp::GdipGetImageGraphicsContext(bitmap.get(), g.put()) != Gdiplus::Ok ||
      gp::GdipGraphicsClear(g.get(), colour) != Gdiplus::Ok) {
    bitmap.reset();
  }
  return bitmap;
}

// One colour per quadrant (top left, top right, bottom left, bottom right), none of them
// near black, orange or each other: what the test pictures show upright
// (scripts/make_inputs.py draws the same).
constexpr Gdiplus::ARGB kQuadrantColours[4] = {0xFFE0A040, 0xFF40E0A0, 0xFFA040E0, 0xFF3070F0};

// Whether `actual` is within `tolerance` of `expected` in red, green and blue, and in
// alpha too when `withAlpha`; the failure names both colours.
inline testing::AssertionResult NearColour(Gdiplus::ARGB actual, Gdiplus::ARGB expected,
                                           int tolerance, bool withAlpha = false) {
  const int channels = withAlpha ? 4 : 3;
  for (int shift = 0; shift < 8 * channels; shift += 8) {
    const int a = static_cast<int>((actual >> shift) & 0xFF);
    const int e = static_cast<int>((expected >> shift) & 0xFF);
    if (std::abs(a - e) > tolerance) {
      const unsigned long mask = withAlpha ? 0xFFFFFFFFul : 0xFFFFFFul;
      char text[64];
      std::snprintf(text, sizeof(text), withAlpha ? "0x%08lX, expected 0x%08lX" : "0x%06lX, expected 0x%06lX",
                    static_cast<unsigned long>(actual) & mask,
                    static_cast<unsigned long>(expected) & mask);
      return testing::AssertionFailure() << text;
    }
  }
  return testing::AssertionSuccess();
}

}  // namespace testsupport
