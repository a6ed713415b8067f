#include "shellext/registrar.h"

#include "framework/win_owners.h"

namespace framewise {
namespace {

// Shared keys that hold other programs' entries: a ForceRemove marker never deletes them.
const wchar_t* const kProtectedKeyNames[] = {
    L"AppID", L"CLSID", L"Component Categories", L"FileType", L"Interface", L"Hardware",
    L"Mime", L"SAM", L"SECURITY", L"SYSTEM", L"Software", L"TypeLib",
};

bool IsProtectedKeyName(const std::wstring& name) {
  for (const wchar_t* protectedName : kProtectedKeyNames) {
    if (lstrcmpiW(name.c_str(), protectedName) == 0) return true;
  }
  return false;
}

HRESULT FromWin32(LONG error) { return HRESULT_FROM_WIN32(static_cast<DWORD>(error)); }

bool IsMissing(LONG error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

LONG SetString(HKEY key, const wchar_t* name, const std::wstring& data) {
  const DWORD bytes = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                        bytes);
}

// Deletes the key named `name` under `parent` with everything below it.
LONG DeleteSubtree(HKEY parent, const std::wstring& name) {
  return RegDeleteTreeW(parent, name.c_str());
}

// Opens the key for reading and writing, else for reading only, else creates it.
LONG OpenOrCreate(HKEY parent, const std::wstring& name, fw::UniqueHKey* key) {
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ | KEY_WRITE, key->put()) ==
      ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  if (RegOpenKeyExW(parent, name.c_str(), 0, KEY_READ, key->put()) == ERROR_SUCCESS) {
    return ERROR_SUCCESS;
  }
  return RegCreateKeyExW(parent, name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_READ | KEY_WRITE, nullptr, key->put(), nullptr);
}

// Applies `step` (RegisterNode or UnregisterNode) to each of `children` under `key`, in
// script order; the first error ends the walk and is returned.
LONG ForEachChild(HKEY key, const std::vector<ScriptNode>& children,
                  LONG (*step)(HKEY parent, const ScriptNode& node)) {
  for (const ScriptNode& child : children) {
    const LONG result = step(key, child);
    if (result != ERROR_SUCCESS) return result;
  }
  return ERROR_SUCCESS;
}

LONG RegisterNode(HKEY parent, const ScriptNode& node) {
  if (node.kind == ScriptNode::Kind::Value) return SetString(parent, node.name.c_str(), node.data);

  if (node.marker == ScriptMarker::ForceRemove && !IsProtectedKeyName(node.name)) {
    // A delete that fails for another reason than a missing key would leave stale
    // content under the rebuilt key, so it fails the block.
    const LONG result = DeleteSubtree(parent, node.name);
    if (result != ERROR_SUCCESS && !IsMissing(result)) return result;
  }
  fw::UniqueHKey key;
  LONG result = OpenOrCreate(parent, node.name, &key);
  if (result != ERROR_SUCCESS) return result;
  if (node.hasData) {
    result = SetString(key.get(), nullptr, node.data);
    if (result != ERROR_SUCCESS) return result;
  }
  return ForEachChild(key.get(), node.children, &RegisterNode);
}

LONG UnregisterNode(HKEY parent, const ScriptNode& node) {
  if (node.kind == ScriptNode::Kind::Value) {
    if (node.marker == ScriptMarker::NoRemove) return ERROR_SUCCESS;
    const LONG result = RegDeleteValueW(parent, node.name.c_str());
    return IsMissing(result) ? ERROR_SUCCESS : result;
  }

  // The whole subtree of a ForceRemove key belongs to the script, as in register mode.
  if (node.marker == ScriptMarker::ForceRemove && !IsProtectedKeyName(node.name)) {
    const LONG result = DeleteSubtree(parent, node.name);
    return IsMissing(result) ? ERROR_SUCCESS : result;
  }

  fw::UniqueHKey key;
  LONG result = RegOpenKeyExW(parent, node.name.c_str(), 0, KEY_READ | KEY_WRITE, key.put());
  if (IsMissing(result)) return ERROR_SUCCESS;  // nothing of it is there
  if (result != ERROR_SUCCESS) return result;
  result = ForEachChild(key.get(), node.children, &UnregisterNode);
  if (result != ERROR_SUCCESS || node.marker == ScriptMarker::NoRemove) return result;

  // Values do not keep a key alive; subkeys (another program's) do.
  DWORD subkeys = 0;
  result = RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr,
                            nullptr, nullptr, nullptr, nullptr, nullptr);
  if (result != ERROR_SUCCESS) return result;
  key.reset();
  if (subkeys != 0) return ERROR_SUCCESS;
  result = RegDeleteKeyW(parent, node.name.c_str());
  return IsMissing(result) ? ERROR_SUCCESS : result;
}

HKEY RootKey(ScriptRoot root, const RegistryRoots& roots) {
  return root == ScriptRoot::LocalMachine ? roots.localMachine : roots.classesRoot;
}

}  // namespace

HRESULT ApplyRegistryScript(const RegistryScript& script, ScriptMode mode,
                            const RegistryRoots& roots) {
  for (const ScriptBlock& block : script.blocks) {
    const HKEY root = RootKey(block.root, roots);
    if (mode == ScriptMode::Unregister) {
      const LONG result = ForEachChild(root, block.children, &UnregisterNode);
      if (result != ERROR_SUCCESS) return FromWin32(result);
      continue;
    }
    const LONG result = ForEachChild(root, block.children, &RegisterNode);
    if (result != ERROR_SUCCESS) {
      // Clean up the part of this block that was written; the first failure is reported.
      ForEachChild(root, block.children, &UnregisterNode);
      return FromWin32(result);
    }
  }
  return S_OK;
}

HRESULT RunRegistryScript(const std::wstring& text, const ScriptVariables& variables,
                          ScriptMode mode, const RegistryRoots& roots) {
  RegistryScript script;
  ScriptError error;
  if (!ParseRegistryScript(text, variables, &script, &error)) return DISP_E_EXCEPTION;
  return ApplyRegistryScript(script, mode, roots);
}

}  // namespace framewise
