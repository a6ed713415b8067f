// The data objects a context-menu handler is initialised with: the shell's own for real
// files, or one of ours carrying any DROPFILES bytes (hostile ones included).
#pragma once

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "framework/com_ptr.h"

namespace testsupport {

// The data object the shell itself hands a context-menu handler for these files
// (IShellFolder::GetUIObjectOf of their folder): a real CF_HDROP. Empty on failure.
// All files must be in one folder.
fw::ComPtr<IDataObject> ShellDataObject(const std::vector<std::wstring>& paths);

// A data object of our own that offers CF_HDROP with the given DROPFILES bytes, or no
// CF_HDROP at all when `bytes` is empty.
fw::ComPtr<IDataObject> RawDropDataObject(const std::vector<unsigned char>& bytes);

// DROPFILES bytes for these names (wide), as the shell lays them out.
std::vector<unsigned char> DropFilesBytes(const std::vector<std::wstring>& names);

}  // namespace testsupport
