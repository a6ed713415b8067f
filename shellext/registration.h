// The DLL's registration: the registry scripts and the type library.
#pragma once

#include <windows.h>

#include <string>

#include "resources/resource_ids.h"
#include "shellext/registrar.h"

namespace framewise {

// Resource ids (type "REGISTRY") of the two registration scripts.
constexpr UINT kAppIdScriptId = IDR_APPID_SCRIPT;
constexpr UINT kClassScriptId = IDR_CLASS_SCRIPT;

// Writes the registration content and registers the type library (DllRegisterServer):
// the AppID script, then the class script, in register mode, then the type library embedded in `module`
// (or the ".tlb" file beside it). Returns S_OK or the first failure.
HRESULT RegisterServer(HMODULE module);

// Removes it again (DllUnregisterServer): the class script, the type library, the AppID script.
HRESULT UnregisterServer(HMODULE module);

// The same with the scripts' root keys mapped to `roots`; the type library is always
// registered for the machine.
HRESULT RegisterServer(HMODULE module, const RegistryRoots& roots);
HRESULT UnregisterServer(HMODULE module, const RegistryRoots& roots);

// The variables every registration script sees: APPID, MODULE (the module's path with
// single quotes doubled) and Module_Raw (the path unchanged). Fails with the error of
// GetModuleFileNameW, or ERROR_INSUFFICIENT_BUFFER for a path of MAX_PATH characters.
HRESULT RegistrationScriptVariables(HMODULE module, ScriptVariables* variables);

// The text of a REGISTRY resource of `module` (UTF-8 in the resource).
HRESULT LoadRegistrationScript(HMODULE module, UINT id, std::wstring* text);

// The type library embedded in the module (or the ".tlb" file beside it), registered
// with its help folder, or removed again; each returns the first failure.
HRESULT RegisterModuleTypeLib(const std::wstring& modulePath);
HRESULT UnregisterModuleTypeLib(const std::wstring& modulePath);

// Registration runs in the system default locale, as type-library registration expects;
// the caller's thread locale comes back on every path.
class SystemDefaultThreadLocale {
 public:
  SystemDefaultThreadLocale() : previous_(GetThreadLocale()) {
    SetThreadLocale(LOCALE_SYSTEM_DEFAULT);
  }
  ~SystemDefaultThreadLocale() { SetThreadLocale(previous_); }
  SystemDefaultThreadLocale(const SystemDefaultThreadLocale&) = delete;
  SystemDefaultThreadLocale& operator=(const SystemDefaultThreadLocale&) = delete;

 private:
  LCID previous_;
};

}  // namespace framewise
