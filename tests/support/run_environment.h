// What the test run's machine is like, as the build's test settings tell it.
#pragma once

#include <windows.h>

namespace testsupport {

// True when this program runs through an emulator (the 32-bit suites on a machine whose
// kernel does not run i386 code: FRAMEWISE_EMULATED=1). A step there takes about ten
// times as long and a second thread may stall the process, so long loops are shortened.
inline bool RunsUnderEmulator() {
  wchar_t value[4] = {};
  const DWORD n = GetEnvironmentVariableW(L"FRAMEWISE_EMULATED", value, 4);
  return n == 1 && value[0] == L'1';
}

}  // namespace testsupport
