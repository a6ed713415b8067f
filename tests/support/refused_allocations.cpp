#include "tests/support/refused_allocations.h"

#include <atomic>
#include <new>

namespace testsupport {
namespace {

std::atomic<size_t> g_fromBytes{0};  // 0: nothing is refused
std::atomic<size_t> g_refused{0};

}  // namespace

RefusedAllocations::RefusedAllocations(size_t fromBytes) {
  g_refused = 0;
  g_fromBytes = fromBytes;
}

RefusedAllocations::~RefusedAllocations() { g_fromBytes = 0; }

size_t RefusedAllocations::refused() const { return g_refused; }

}  // namespace testsupport

// The program's own non-throwing array allocation: the usual one, unless refused above.
// Memory comes from the usual allocation, so the usual delete[] gives it back.
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  const size_t from = testsupport::g_fromBytes;
  if (from != 0 && size >= from) {
    ++testsupport::g_refused;
    return nullptr;
  }
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
