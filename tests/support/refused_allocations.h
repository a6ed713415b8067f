// Large allocations refused, as on a machine short of memory: while an owner lives, every
// object or array the code asks for with `new (std::nothrow)` of at least its size comes
// back null; asked to, the usual `new` of at least that size (strings, lists) throws
// std::bad_alloc as well.
#pragma once

#include <cstddef>

namespace testsupport {

class RefusedAllocations {
 public:
  enum Kind { NonThrowingOnly, Every };
  explicit RefusedAllocations(size_t fromBytes, Kind kind = NonThrowingOnly);
  ~RefusedAllocations();
  RefusedAllocations(const RefusedAllocations&) = delete;
  RefusedAllocations& operator=(const RefusedAllocations&) = delete;

  // How many were refused since the owner was made.
  size_t refused() const;
};

}  // namespace testsupport
