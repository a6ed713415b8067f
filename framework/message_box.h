// Message boxes captioned with the application title.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// The file name of the module this code is linked into, without folder and extension
// ("Framewise" for the DLL). The string table holds no title of its own.
std::wstring AppTitle();

// A message box with the application title as caption; returns MessageBoxW's answer.
int ShowMessageBox(HWND owner, const std::wstring& text, UINT type);

}  // namespace fw
