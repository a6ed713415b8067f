// Leak checks of GDI objects and handles that never pass on a count of 0.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/test_support.h"

namespace testsupport {

// Expects at most `gdiSlack` more GDI objects and `handleSlack` more handles after than
// before, and prints both. A count that reads 0 here cannot show a leak: its check is left
// out and the test is marked skipped with the reason (a failure elsewhere still fails it).
inline void ExpectCountsKept(const ResourceCounts& before, const ResourceCounts& after,
                             DWORD gdiSlack, DWORD handleSlack) {
  std::printf("[ leaks    ] GDI objects %lu -> %lu; handles %lu -> %lu\n",
              static_cast<unsigned long>(before.gdiObjects), static_cast<unsigned long>(after.gdiObjects),
              static_cast<unsigned long>(before.handles), static_cast<unsigned long>(after.handles));
  const std::string noGdi = WhyNoGdiCount(before);
  const std::string noHandles = WhyNoHandleCount(before);
  if (noGdi.empty()) {
    EXPECT_LE(after.gdiObjects, before.gdiObjects + gdiSlack) << "GDI objects leak";
  }
  if (noHandles.empty()) {
    EXPECT_LE(after.handles, before.handles + handleSlack) << "handles leak";
  }
  if (!noGdi.empty() || !noHandles.empty()) GTEST_SKIP() << noGdi << (noGdi.empty() ? "" : "; ") << noHandles;
}

}  // namespace testsupport
