// Replaces one imported function of a loaded module: tests, tools and benchmarks use it to
// give the code under test other system answers (a work area, a failing call) without seams.
#pragma once

#include <windows.h>

namespace testsupport {

// Points `module`'s import of `dll`!`function` (null module: this program) at
// `replacement` and returns the previous address, or null when there is no such import.
// Prefer ImportPatch, which puts the import back.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

// While alive, `module`'s import (null: this program, which links the product's objects)
// of `dll`!`function` answers with `replacement`; the previous address comes back when the
// owner goes, also when a test stops at a failed assertion.
class ImportPatch {
 public:
  ImportPatch(const char* dll, const char* function, void* replacement, HMODULE module = nullptr)
      : module_(module), dll_(dll), function_(function),
        real_(PatchImport(module, dll, function, replacement)) {}
  ~ImportPatch() {
    if (real_) PatchImport(module_, dll_, function_, real_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // The address the import had before: null when the module has no such import.
  void* real() const { return real_; }
  template <typename Function>
  Function real_as() const {
    return reinterpret_cast<Function>(real_);
  }

 private:
  HMODULE module_;
  const char* dll_;
  const char* function_;
  void* real_;
};

}  // namespace testsupport
