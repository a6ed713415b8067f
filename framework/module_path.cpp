#include "framework/module_path.h"

namespace fw {

HMODULE CodeModule() {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          reinterpret_cast<LPCWSTR>(&CodeModule), &module)) {
    return nullptr;
  }
  return module;
}

bool GetModulePath(HMODULE module, std::wstring* path, DWORD* error) {
  path->clear();
  wchar_t buffer[MAX_PATH + 1] = {};
  SetLastError(ERROR_SUCCESS);
  const DWORD length = GetModuleFileNameW(module, buffer, MAX_PATH + 1);
  const DWORD reason = GetLastError();
  if (length == 0) {
    if (error) *error = reason == ERROR_SUCCESS ? ERROR_MOD_NOT_FOUND : reason;
    return false;
  }
  if (length >= MAX_PATH) {
    if (error) *error = ERROR_INSUFFICIENT_BUFFER;
    return false;
  }
  path->assign(buffer, length);
  return true;
}

std::wstring FolderOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace fw
