// Entry point of the reliability suites under Wine: a single-threaded apartment, as on
// the shell's user-interface thread. --full (or FRAMEWISE_STRESS_FULL=1) runs the long
// forms: every corpus file on both architectures, a 5000-cycle soak, longer thread runs.
#include <windows.h>

#include <cstring>

#include <gtest/gtest.h>

#include "stress_support.h"
#include "tests/support/com_apartment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--full") == 0) stress::SetFullRun(true);
  }
  const testsupport::ComApartment apartment;
  if (!apartment) return 2;
  return RUN_ALL_TESTS();
}
