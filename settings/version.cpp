#include "settings/version.h"

#include <new>
#include <vector>

#include "framework/module_path.h"

namespace framewise {

namespace {

// The version resource of the module this code is linked into: the DLL in the shell, the
// test program in tests.
bool ReadOwnVersionResource(VersionResource* resource) {
  std::wstring name;
  if (!fw::GetModulePath(fw::CodeModule(), &name)) return false;
  return ReadVersionResource(name.c_str(), resource);
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
