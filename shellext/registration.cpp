#include "shellext/registration.h"

#include <oleauto.h>

#include <new>

#include "framework/com_ptr.h"
#include "framework/module_path.h"
#include "framework/type_info_owners.h"
#include "shellext/guids.h"
#include "shellext/portable/module_paths.h"

namespace framewise {
namespace {

// The AppID as the scripts write it, from the one definition of the identifier.
std::wstring AppIdText() {
  wchar_t text[39] = {};  // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" and its terminator
  return StringFromGUID2(APPID_Framewise, text, 39) == 39 ? std::wstring(text) : std::wstring();
}

HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

HRESULT ModulePath(HMODULE module, std::wstring* path) {
  DWORD error = ERROR_SUCCESS;
  return fw::GetModulePath(module, path, &error) ? S_OK : HRESULT_FROM_WIN32(error);
}

ScriptVariables VariablesFor(const std::wstring& modulePath) {
  return {{L"APPID", AppIdText()},
          {L"MODULE", DoubleSingleQuotes(modulePath)},
          {L"Module_Raw", modulePath}};
}

HRESULT RunScriptResource(HMODULE module, UINT id, const ScriptVariables& variables,
                          ScriptMode mode, const RegistryRoots& roots) {
  std::wstring text;
  const HRESULT hr = LoadRegistrationScript(module, id, &text);
  if (FAILED(hr)) return hr;
  return RunRegistryScript(text, variables, mode, roots);
}

// The type library from the module's file, else from the ".tlb" file beside it.
HRESULT LoadModuleTypeLib(const std::wstring& modulePath, fw::ComPtr<ITypeLib>* library,
                          std::wstring* loadedFrom) {
  HRESULT hr = LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, library->put());
  if (SUCCEEDED(hr)) {
    *loadedFrom = modulePath;
    return S_OK;
  }
  const std::wstring fallback = TypeLibFallbackPath(modulePath);
  hr = LoadTypeLibEx(fallback.c_str(), REGKIND_NONE, library->put());
  if (FAILED(hr)) return hr;
  *loadedFrom = fallback;
  return S_OK;
}

HRESULT Register(HMODULE module, const RegistryRoots& roots) {
  SystemDefaultThreadLocale locale;
  std::wstring path;
  HRESULT hr = ModulePath(module, &path);
  if (FAILED(hr)) return hr;
  const ScriptVariables variables = VariablesFor(path);
  hr = RunScriptResource(module, kAppIdScriptId, variables, ScriptMode::Register, roots);
  if (FAILED(hr)) return hr;
  hr = RunScriptResource(module, kClassScriptId, variables, ScriptMode::Register, roots);
  if (FAILED(hr)) return hr;
  hr = RegisterModuleTypeLib(path);
  if (FAILED(hr)) return hr;
  return S_OK;
}

HRESULT Unregister(HMODULE module, const RegistryRoots& roots) {
  SystemDefaultThreadLocale locale;
  std::wstring path;
  HRESULT hr = ModulePath(module, &path);
  if (FAILED(hr)) return hr;
  const ScriptVariables variables = VariablesFor(path);
  hr = RunScriptResource(module, kClassScriptId, variables, ScriptMode::Unregister, roots);
  if (FAILED(hr)) return hr;
  hr = UnregisterModuleTypeLib(path);
  if (FAILED(hr)) return hr;
  hr = RunScriptResource(module, kAppIdScriptId, variables, ScriptMode::Unregister, roots);
  if (FAILED(hr)) return hr;
  return S_OK;
}

}  // namespace


HRESULT RegisterModuleTypeLib(const std::wstring& modulePath) {
  fw::ComPtr<ITypeLib> library;
  std::wstring path;
  HRESULT hr = LoadModuleTypeLib(modulePath, &library, &path);
  if (FAILED(hr)) return hr;
  std::wstring helpDirectory = HelpDirectoryOf(path);
  return RegisterTypeLib(library.get(), &path[0],
                         helpDirectory.empty() ? nullptr : &helpDirectory[0]);
}

HRESULT UnregisterModuleTypeLib(const std::wstring& modulePath) {
  fw::ComPtr<ITypeLib> library;
  std::wstring path;
  HRESULT hr = LoadModuleTypeLib(modulePath, &library, &path);
  if (FAILED(hr)) return hr;
  const fw::LibraryAttributes attributes(library);
  if (FAILED(attributes.result())) return attributes.result();
  return UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum, attributes->wMinorVerNum,
                           attributes->lcid, attributes->syskind);
}

HRESULT RegistrationScriptVariables(HMODULE module, ScriptVariables* variables) {
  std::wstring path;
  const HRESULT hr = ModulePath(module, &path);
  if (FAILED(hr)) return hr;
  *variables = VariablesFor(path);
  return S_OK;
}

HRESULT LoadRegistrationScript(HMODULE module, UINT id, std::wstring* text) {
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), L"REGISTRY");
  if (!resource) return LastErrorResult();
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return LastErrorResult();
  const char* bytes = static_cast<const char*>(LockResource(loaded));
  int size = static_cast<int>(SizeofResource(module, resource));
  if (!bytes || size <= 0) return HRESULT_FROM_WIN32(ERROR_RESOURCE_DATA_NOT_FOUND);
  if (size >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' && bytes[2] == '\xBF') {
    bytes += 3;  // a UTF-8 byte-order mark
    size -= 3;
  }
  const int length = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, nullptr, 0);
  if (length <= 0) return LastErrorResult();
  text->assign(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes, size, &(*text)[0], length) !=
      length) {
    return LastErrorResult();
  }
  return S_OK;
}

HRESULT RegisterServer(HMODULE module) { return RegisterServer(module, RegistryRoots()); }

HRESULT UnregisterServer(HMODULE module) { return UnregisterServer(module, RegistryRoots()); }

HRESULT RegisterServer(HMODULE module, const RegistryRoots& roots) {
  try {
    return Register(module, roots);
  } catch (...) {
    return E_OUTOFMEMORY;  // the only exceptions here come from string allocation
  }
}

HRESULT UnregisterServer(HMODULE module, const RegistryRoots& roots) {
  try {
    return Unregister(module, roots);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace framewise
