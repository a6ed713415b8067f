// Faults injected one call at a time into what a command or a preview asks of the imaging
// library, the shell and the file system: every call of these, counted while armed, fails
// at its turn.
#pragma once

#include <memory>
#include <vector>

#include "tests/support/import_patch.h"

namespace testsupport {
namespace faults {

extern int g_calls;
extern int g_failAt;  // 0: nothing fails, calls are only counted
extern bool g_armed;
extern const char* g_failed;  // the call made to fail, for the test's messages

// The patches, installed while alive.
class Injector {
 public:
  Injector();
  bool complete() const { return complete_; }

 private:
  void Add(const char* dll, const char* name, void* replacement, void** real);
  std::vector<std::unique_ptr<ImportPatch>> patches_;
  bool complete_ = true;
};

}  // namespace faults
}  // namespace testsupport
