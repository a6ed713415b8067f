// Strings from the module's string table, and printf-style formatting into a string.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

// The string-table entry from the current module state's resources; empty when missing.
std::wstring LoadResourceString(UINT id);

// `format` with its %s placeholders filled, in order, by the arguments.
std::wstring FormatString(const std::wstring& format, const std::wstring& a);
std::wstring FormatString(const std::wstring& format, const std::wstring& a, const std::wstring& b);

}  // namespace fw
