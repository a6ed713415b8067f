// Runs registry scripts (shellext/portable/registry_script.h) against the Win32 registry,
// in register mode (write) or unregister mode (remove what the script wrote).
#pragma once

#include <windows.h>

#include <string>

#include "shellext/portable/registry_script.h"

namespace framewise {

enum class ScriptMode { Register, Unregister };

// The keys the script's root names stand for. Not owned. The default is the machine's
// HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE; tests map them to scratch keys, and a per-user
// installation can map the classes root to HKEY_CURRENT_USER\Software\Classes.
struct RegistryRoots {
  HKEY classesRoot = HKEY_CLASSES_ROOT;
  HKEY localMachine = HKEY_LOCAL_MACHINE;
};

// Register mode: a ForceRemove key is deleted with its subtree first (never one of the
// shared names such as "CLSID" or "Software"); every key is opened read/write, else
// read-only, else created; default and named values are written in script order.
// When a root block fails part-way, that block is run in unregister mode at once and the
// failure returned; blocks written before it stay.
//
// Unregister mode: named values are deleted unless NoRemove; a NoRemove key is kept; a
// ForceRemove key is deleted with its whole subtree; a plain key is deleted once its listed
// content is gone and no subkey is left. Missing keys and values are no error.
//
// Returns S_OK, or HRESULT_FROM_WIN32 of the first registry error.
HRESULT ApplyRegistryScript(const RegistryScript& script, ScriptMode mode,
                            const RegistryRoots& roots);

// Parses `text` with `variables` and applies it. Malformed text: DISP_E_EXCEPTION, and
// nothing is written.
HRESULT RunRegistryScript(const std::wstring& text, const ScriptVariables& variables,
                          ScriptMode mode, const RegistryRoots& roots);

}  // namespace framewise
