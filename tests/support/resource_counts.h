// What this process holds (private bytes, GDI objects, handles), for leak checks. Wine's own
// counters read 0 for GDI objects and handles, so these are read from the system's tables.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// A count that cannot be read here is 0: a check must then skip, not pass on it (see the
// helpers below).
struct ResourceCounts {
  size_t privateBytes;
  DWORD gdiObjects;  // from the GDI handle table: Wine's GetGuiResources reads 0
  DWORD handles;     // from the system's handle table: Wine's own counter reads 0
};
ResourceCounts CurrentResourceCounts();

// This process's private bytes alone, without walking the handle tables: for measuring
// memory without disturbing it.
size_t PrivateBytes();

// Open handles of this process, counted in the system's handle table; 0 when it cannot
// be read.
DWORD CountHandles();

// Why a leak check of GDI objects or handles cannot run here, or empty when it can.
std::string WhyNoGdiCount(const ResourceCounts& counts);
std::string WhyNoHandleCount(const ResourceCounts& counts);

}  // namespace testsupport
