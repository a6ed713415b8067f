// Entry point of the test program that runs under Wine: a single-threaded apartment,
// as on the shell's user-interface thread.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include "tests/support/com_apartment.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const testsupport::ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (!apartment) return 2;
  return RUN_ALL_TESTS();
}
