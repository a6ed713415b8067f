// Large allocations refused, as on a machine short of memory: while an owner lives, every
// object or array the code asks for with `new (std::nothrow)` of at least its size comes
// back null.
#pragma once

#include <cstddef>

namespace testsupport {

class RefusedAllocations {
 public:
  explicit RefusedAllocations(size_t fromBytes);
  ~RefusedAllocations();
  RefusedAllocations(const RefusedAllocations&) = delete;
  RefusedAllocations& operator=(const RefusedAllocations&) = delete;

  // How many were refused since the owner was made.
  size_t refused() const;
};

}  // namespace testsupport
