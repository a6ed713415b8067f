// The module this code is linked into, and a module's file name: one place that finds
// them and one rule for when a name counts as read.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// The module this code is linked into: the DLL in the shell, the program in tests. Null
// when the loader cannot say.
HMODULE CodeModule();

// The module's full file name. False when it cannot be read or does not fit MAX_PATH with
// its terminator; the length the call returns decides (a full buffer means a cut name),
// never a possibly stale last error. *error, when given, gets the reason.
bool GetModulePath(HMODULE module, std::wstring* path, DWORD* error = nullptr);

// The folder of a file path, with its final backslash ("C:\a\b.dll" -> "C:\a\"); empty
// when the path has none.
std::wstring FolderOf(const std::wstring& path);

}  // namespace fw
