// Text work on the module's path for registration: script quoting, the type library's
// fallback file and its help directory. No Windows header here.
#pragma once

#include <string>

namespace framewise {

// Every single quote doubled, so the text can stand inside a quoted script string.
std::wstring DoubleSingleQuotes(const std::wstring& text);

// The path with its extension replaced by ".tlb", or ".tlb" appended when the file name
// has none ("C:\a.b\Framewise" -> "C:\a.b\Framewise.tlb").
std::wstring TypeLibFallbackPath(const std::wstring& path);

// The path cut after its last '\', '/' or ':' (empty when it has none).
std::wstring HelpDirectoryOf(const std::wstring& path);

}  // namespace framewise
