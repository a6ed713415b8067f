// Replaces one imported function of a loaded module: tests and benchmarks use it to give
// the code under test other system answers (a work area, a failing call) without seams.
#pragma once

#include <windows.h>

namespace standin {

// Points `module`'s import of `dll`!`function` (null module: this program) at
// `replacement` and returns the previous address, or null when there is no such import.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

}  // namespace standin
