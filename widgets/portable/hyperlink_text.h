// Texts of the hyperlink control that need no window: the fallback command line built
// from the program registered for web pages, and the messages for a link that cannot be
// opened. No Windows header here.
#pragma once

#include <string>

namespace framewise {

// The command line that opens `target` with the program registered for ".htm" files.
// `registered` is that program's "shell\open\command" value. The first placeholder that
// stands in double quotes ("%1") is cut off with everything after it, from the opening
// quote on; without one, the first bare %1 and everything after it. Then a blank and the
// target (unquoted) are appended, whether anything was cut or not.
std::wstring HtmCommandLine(const std::wstring& registered, const std::wstring& target);

// Why a link could not be opened, for the result code of an open (the shell's codes
// 0 to 32 and the fallback's); codes that have no text of their own get
// "Unknown Error (<code>) occurred.".
std::wstring OpenErrorReason(long code);

// The whole text of the message box for a failed open.
std::wstring OpenErrorMessage(long code);

}  // namespace framewise
