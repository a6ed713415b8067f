#include "tests/support/refused_allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace testsupport {
namespace {

std::atomic<size_t> g_fromBytes{0};  // 0: nothing is refused
std::atomic<bool> g_throwingToo{false};
std::atomic<size_t> g_refused{0};

}  // namespace

RefusedAllocations::RefusedAllocations(size_t fromBytes, Kind kind) {
  g_refused = 0;
  g_throwingToo = kind == Every;
  g_fromBytes = fromBytes;
}

RefusedAllocations::~RefusedAllocations() {
  g_fromBytes = 0;
  g_throwingToo = false;
}

size_t RefusedAllocations::refused() const { return g_refused; }

}  // namespace testsupport

namespace {

bool Refused(std::size_t size) {
  const size_t from = testsupport::g_fromBytes;
  if (from == 0 || size < from) return false;
  ++testsupport::g_refused;
  return true;
}

}  // namespace

// The program's own allocations, from the C heap; the throwing ones refused only when asked.
// The usual deletes below give their memory back, whichever new it came from.
void* operator new(std::size_t size) {
  if (testsupport::g_throwingToo && Refused(size)) throw std::bad_alloc();
  if (void* memory = std::malloc(size != 0 ? size : 1)) return memory;
  throw std::bad_alloc();
}

void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// The program's own non-throwing allocations, of objects and of arrays: the usual ones,
// unless refused above. Memory comes from the usual allocation, so the usual delete and
// delete[] give it back.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (Refused(size)) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (Refused(size)) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
