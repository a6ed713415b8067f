#include "settings/version.h"

#include <new>
#include <vector>

namespace framewise {

namespace {

// The module this code is linked into: the DLL in the shell, the test program in tests.
HMODULE OwnModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&OwnModule), &module)) {
    return nullptr;
  }
  return module;
}

// The own module's file name. A name that does not fit the buffer counts as failure:
// the call then returns the full buffer length (and only sometimes sets an error), so
// the length is what decides, not a possibly stale last error.
bool GetOwnModuleFileName(wchar_t (&name)[MAX_PATH + 1]) {
  HMODULE module = OwnModule();
  if (!module) return false;
  const DWORD length = GetModuleFileNameW(module, name, MAX_PATH + 1);
  return length != 0 && length < MAX_PATH + 1;
}

bool ReadOwnVersionResource(VersionResource* resource) {
  wchar_t name[MAX_PATH + 1];
  if (!GetOwnModuleFileName(name)) return false;
  return ReadVersionResource(name, resource);
}

}  // namespace

bool ReadVersionResource(const wchar_t* path, VersionResource* resource) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path, &ignored);
  if (size == 0) return false;
  std::vector<BYTE> block;
  try {
    block.resize(size);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (!GetFileVersionInfoW(path, 0, size, block.data())) return false;
  void* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", &value, &length)) return false;
  if (!value || length < sizeof(VS_FIXEDFILEINFO)) return false;
  const auto* info = static_cast<const VS_FIXEDFILEINFO*>(value);
  resource->product.major = HIWORD(info->dwProductVersionMS);
  resource->product.minor = LOWORD(info->dwProductVersionMS);
  resource->product.build = HIWORD(info->dwProductVersionLS);
  resource->product.revision = LOWORD(info->dwProductVersionLS);
  resource->fileFlags = info->dwFileFlags;
  resource->fileFlagsMask = info->dwFileFlagsMask;
  return true;
}

std::wstring GetFileVersionText(const wchar_t* path, VersionForm form) {
  VersionResource resource;
  if (!ReadVersionResource(path, &resource)) return std::wstring();
  return FormatVersion(resource.product, form);
}

bool IsPrereleaseFile(const wchar_t* path) {
  VersionResource resource;
  if (!ReadVersionResource(path, &resource)) return false;
  return IsPrereleaseFlagSet(resource.fileFlags, resource.fileFlagsMask);
}

std::wstring GetOwnVersion(VersionForm form) {
  VersionResource resource;
  if (!ReadOwnVersionResource(&resource)) return std::wstring();
  return FormatVersion(resource.product, form);
}

bool IsPrereleaseBuild() {
  VersionResource resource;
  if (!ReadOwnVersionResource(&resource)) return false;
  return IsPrereleaseFlagSet(resource.fileFlags, resource.fileFlagsMask);
}

}  // namespace framewise
