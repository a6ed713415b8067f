// Writing the fitted wallpaper as a JPEG, applying it through the shell's Active Desktop
// object, and remembering the choice in the user's settings file.
#pragma once

#include <windows.h>

#include <string>

#include "fitting/imaging.h"

namespace framewise {

// Index of the first installed encoder whose MIME type is exactly `mimeType`, with its
// class id; -1 when there is none.
int FindEncoder(const wchar_t* mimeType, CLSID* encoder);

// Writes the bitmap as "Desktop Background.jpg" in the user's local application-data
// folder "Wrenfly Framewise". True, with the file's path, when the file was written;
// false with an empty path otherwise.
bool SaveWallpaperFile(HWND owner, GpBitmap* wallpaper, std::wstring* path);

// Draws the beta builds' notice into the lower right corner of the work area.
bool DrawBetaNotice(GpBitmap* wallpaper);

// Writes, applies (centred) and remembers the wallpaper. The bitmap stays the caller's.
// True when Active Desktop took it.
bool ApplyWallpaper(HWND owner, GpBitmap* wallpaper, const std::wstring& picturePath, int mode);

}  // namespace framewise
