// The submenu's commands, one copy for both menus: the classic handler's InvokeCommand and
// the new menu's Invoke reach the same code with the same command offsets.
#pragma once

#include <windows.h>

#include <string>

namespace framewise {

// Runs the command at `offset` (a fit mode 1..7, a span or one-monitor fitting offset, or
// UpdateInfoCommand, HelpCommand, AboutCommand) for the picture at `picturePath`; a
// one-monitor command sets the monitor with device path `monitorId` (empty: the one
// `owner` or the cursor is on). E_INVALIDARG for any other offset.
HRESULT RunMenuCommand(int offset, const std::wstring& picturePath, HWND owner,
                       const std::wstring& monitorId = std::wstring());

// Opens help through the HTML Help engine, loaded once per process; null when it cannot.
HWND LoadHtmlHelp(HWND owner, const wchar_t* path, UINT command, DWORD_PTR data);

}  // namespace framewise
