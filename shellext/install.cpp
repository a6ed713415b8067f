#include "shellext/install.h"

#include <oleauto.h>
#include <shlobj.h>

#include <string>

#include "framework/com_ptr.h"
#include "framework/win_owners.h"
#include "shellext/module.h"
#include "shellext/package_registration.h"
#include "shellext/portable/module_paths.h"
#include "shellext/registration.h"

namespace framewise {
namespace {


// Points this process's HKEY_CLASSES_ROOT at the user's classes while it lives, so that
// the type-library functions, which write below HKEY_CLASSES_ROOT, register for the user.
class ClassesRootOverride {
 public:
  explicit ClassesRootOverride(HKEY userClasses)
      : status_(RegOverridePredefKey(HKEY_CLASSES_ROOT, userClasses)) {}
  ~ClassesRootOverride() {
    if (status_ == ERROR_SUCCESS) RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr);
  }
  ClassesRootOverride(const ClassesRootOverride&) = delete;
  ClassesRootOverride& operator=(const ClassesRootOverride&) = delete;
  LSTATUS status() const { return status_; }

 private:
  LSTATUS status_;
};

// One registration script, read and stripped of its blocks for the machine's root: a
// per-user registration never writes below HKEY_LOCAL_MACHINE.
HRESULT LoadUserScript(HMODULE module, UINT id, const ScriptVariables& variables,
                       RegistryScript* script) {
  std::wstring text;
  const HRESULT hr = LoadRegistrationScript(module, id, &text);
  if (FAILED(hr)) return hr;
  if (!ParseRegistryScript(text, variables, script, nullptr)) return DISP_E_EXCEPTION;
  RegistryScript user;
  for (ScriptBlock& block : script->blocks) {
    if (block.root == ScriptRoot::ClassesRoot) user.blocks.push_back(std::move(block));
  }
  *script = std::move(user);
  return S_OK;
}

HRESULT RunForUser(HMODULE module, ScriptMode mode) {
  SystemDefaultThreadLocale locale;
  ScriptVariables variables;
  HRESULT hr = RegistrationScriptVariables(module, &variables);
  if (FAILED(hr)) return hr;
  std::wstring modulePath;
  for (const auto& variable : variables) {
    if (variable.first == L"Module_Raw") modulePath = variable.second;
  }
  RegistryScript appIdScript;
  RegistryScript classScript;
  hr = LoadUserScript(module, kAppIdScriptId, variables, &appIdScript);
  if (FAILED(hr)) return hr;
  hr = LoadUserScript(module, kClassScriptId, variables, &classScript);
  if (FAILED(hr)) return hr;

  fw::UniqueHKey classes;
  LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0,
                                   KEY_READ | KEY_WRITE, nullptr, classes.put(), nullptr);
  if (status != ERROR_SUCCESS) return HRESULT_FROM_WIN32(status);
  RegistryRoots roots;
  roots.classesRoot = classes.get();
  ClassesRootOverride override(classes.get());
  if (override.status() != ERROR_SUCCESS) return HRESULT_FROM_WIN32(override.status());

  // The same order as the machine registration: AppID, class, type library; backwards
  // for removal.
  if (mode == ScriptMode::Register) {
    hr = ApplyRegistryScript(appIdScript, mode, roots);
    if (FAILED(hr)) return hr;
    hr = ApplyRegistryScript(classScript, mode, roots);
    if (FAILED(hr)) return hr;
    return RegisterModuleTypeLib(modulePath);
  }
  hr = ApplyRegistryScript(classScript, mode, roots);
  if (FAILED(hr)) return hr;
  hr = UnregisterModuleTypeLib(modulePath);
  if (FAILED(hr)) return hr;
  return ApplyRegistryScript(appIdScript, mode, roots);
}

bool IsUserCommandLine(const wchar_t* commandLine) {
  return commandLine && CompareStringOrdinal(commandLine, -1, L"user", -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

HRESULT RegisterServerForUser(HMODULE module) {
  try {
    return RunForUser(module, ScriptMode::Register);
  } catch (...) {
    return E_OUTOFMEMORY;  // string and vector allocation
  }
}

HRESULT UnregisterServerForUser(HMODULE module) {
  try {
    return RunForUser(module, ScriptMode::Unregister);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ChangeRegistration(HMODULE module, HRESULT (*change)(HMODULE module), PackageScope scope,
                           bool install) {
  DebugOutputLog log;
  if (!install) RemoveSparsePackage(module, scope, log);
  const HRESULT hr = change(module);
  if (SUCCEEDED(hr)) {
    if (install) {
      RegisterSparsePackage(module, scope, log);
      // Provisioning reaches an account when Windows next prepares its apps: the one
      // registering gets the entry now.
      if (scope == PackageScope::Machine) RegisterSparsePackage(module, PackageScope::User, log);
    }
    NotifyAssociationsChanged();
  }
  return hr;
}

void NotifyAssociationsChanged() { SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr); }

}  // namespace framewise

// regsvr32 /i[:CMDLINE] calls this, after DllRegisterServer unless /n is given; /u calls it
// with install FALSE. An empty command line (or "machine") registers for the machine,
// "user" for the current user.
STDAPI DllInstall(BOOL install, PCWSTR commandLine) {
  try {
    HMODULE module = framewise::Module().instance();
    framewise::PackageScope scope = framewise::PackageScope::Machine;
    HRESULT (*change)(HMODULE) = nullptr;
    if (framewise::IsUserCommandLine(commandLine)) {
      scope = framewise::PackageScope::User;
      change = install ? &framewise::RegisterServerForUser : &framewise::UnregisterServerForUser;
    } else if (!commandLine || !*commandLine ||
               CompareStringOrdinal(commandLine, -1, L"machine", -1, TRUE) == CSTR_EQUAL) {
      if (install) {
        change = &framewise::RegisterServer;
      } else {
        change = &framewise::UnregisterServer;
      }
    }
    if (!change) return E_INVALIDARG;
    return framewise::ChangeRegistration(module, change, scope, install);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The installer's custom action after its registry rows are written or removed: the
// package writes the registration itself rather than calling DllRegisterServer, so the
// shell hears of the change from here. The signature is the installer's (a handle in,
// an error code out); the handle is not used.
extern "C" UINT WINAPI NotifyShellOfAssociations(unsigned long) {
  framewise::NotifyAssociationsChanged();
  return ERROR_SUCCESS;
}
