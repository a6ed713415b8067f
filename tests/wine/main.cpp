// Entry point of the test program that runs under Wine: a single-threaded apartment,
// as on the shell's user-interface thread.
#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  int result = RUN_ALL_TESTS();
  CoUninitialize();
  return result;
}
