// The fitting command: a picture made the wallpaper of every monitor for one fit mode,
// applied and remembered. One copy, reached from both menus and the command line.
#pragma once

#include <windows.h>

#include <string>

#include "fitting/monitor_wallpapers.h"

namespace framewise {

// Whether the command shows the please-wait window (and the wait cursor) while it works:
// the menus do, the command line does not.
enum class CommandProgress { Window, Silent };

// Loads the picture, makes each monitor's wallpaper for `mode` (1..7), writes, applies
// and remembers it. S_OK when the shell took it; E_INVALIDARG for a mode outside 1..7;
// E_FAIL for an empty path, and when the picture does not load or a wallpaper cannot be made,
// written or applied. A picture that does not load writes nothing.
HRESULT RunFittingCommand(const std::wstring& picturePath, int mode, HWND owner,
                          CommandProgress progress);

// The same for a desktop of several monitors and a target: every monitor its own cut (as
// above), the picture spanned over all of them, or the monitor with device path
// `monitorId` alone (empty: the monitor of `owner`, else the cursor's). E_FAIL as above,
// and when the desktop has fewer than two monitors or no per-monitor wallpaper object.
HRESULT RunTargetedCommand(const std::wstring& picturePath, int mode, WallpaperTarget target,
                           const std::wstring& monitorId, HWND owner, CommandProgress progress);

}  // namespace framewise
