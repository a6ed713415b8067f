#include "tests/support/resource_counts.h"

#include <psapi.h>
#include <winternl.h>

#include <vector>

namespace testsupport {

namespace {

// Wine reports no private bytes: sum the committed private regions of the address space.
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const BYTE* address = nullptr; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
       address = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return total;
}

// The process's GDI handle table: 24-byte entries, the type byte at offset 14. A 32-bit
// process of a 64-bit Wine has it in its 64-bit PEB, reached through the 64-bit TEB whose
// address the 32-bit TEB keeps in GdiBatchCount; null when it cannot be found.
const BYTE* GdiHandleTable() {
  PROCESS_BASIC_INFORMATION basic = {};
  if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic),
                                nullptr) != 0 ||
      !basic.PebBaseAddress) {
    return nullptr;
  }
  const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
#ifdef _WIN64
  return *reinterpret_cast<BYTE* const*>(peb + 0xF8);
#else
  if (const BYTE* table = *reinterpret_cast<BYTE* const*>(peb + 0x94)) return table;
  struct {
    LONG exitStatus;
    PVOID teb;
    PVOID clientId[2];
    ULONG_PTR affinity;
    LONG priority;
    LONG basePriority;
  } thread = {};
  if (NtQueryInformationThread(GetCurrentThread(), ThreadBasicInformation, &thread, sizeof(thread),
                               nullptr) != 0 ||
      !thread.teb) {
    return nullptr;
  }
  const BYTE* teb = static_cast<const BYTE*>(thread.teb);
  const ULONG teb64 = *reinterpret_cast<const ULONG*>(teb + 0xF70);  // GdiBatchCount
  if (!teb64) return nullptr;
  const ULONGLONG peb64 = *reinterpret_cast<const ULONGLONG*>(static_cast<ULONG_PTR>(teb64) + 0x60);
  if (!peb64 || peb64 > 0xFFFFFFFFull) return nullptr;
  const ULONGLONG table = *reinterpret_cast<const ULONGLONG*>(static_cast<ULONG_PTR>(peb64) + 0xF8);
  return table && table <= 0xFFFFFFFFull ? reinterpret_cast<const BYTE*>(static_cast<ULONG_PTR>(table)) : nullptr;
#endif
}

// Wine's GetGuiResources is a stub: count the live entries of the GDI handle table instead.
DWORD GdiTableCount() {
  const BYTE* table = GdiHandleTable();
  if (!table) return 0;
  DWORD count = 0;
  for (size_t i = 0; i < 0x10000; ++i) {
    if (table[i * 24 + 14] != 0) ++count;
  }
  return count;
}

}  // namespace

size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory)) &&
      memory.PrivateUsage != 0) {
    return memory.PrivateUsage;
  }
  return CommittedPrivateBytes();
}

ResourceCounts CurrentResourceCounts() {
  ResourceCounts counts = {};
  counts.privateBytes = PrivateBytes();
  counts.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counts.gdiObjects == 0) counts.gdiObjects = GdiTableCount();
  counts.handles = CountHandles();
  return counts;
}

namespace {

// The system handle table as NtQuerySystemInformation(SystemHandleInformation) returns it.
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

}  // namespace

DWORD CountHandles() {
  DWORD own = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &own) && own != 0) return own;
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<BYTE> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // length mismatch: grow and ask again
      const size_t doubled = buffer.size() * 2;
      buffer.resize(doubled > needed + 4096 ? doubled : needed + 4096);
      continue;
    }
    if (status < 0) return 0;
    auto table = reinterpret_cast<const HandleTable*>(buffer.data());
    const DWORD pid = GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerPid == pid;
    return count;
  }
  return 0;
}

std::string WhyNoGdiCount(const ResourceCounts& counts) {
  if (counts.gdiObjects != 0) return std::string();
  return "this process's GDI object count reads 0 here (no GDI handle table found): a GDI "
         "leak would not show";
}

std::string WhyNoHandleCount(const ResourceCounts& counts) {
  if (counts.handles != 0) return std::string();
  return "this process's handle count reads 0 here: a handle leak would not show";
}

}  // namespace testsupport
