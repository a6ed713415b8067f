// Writing the fitted wallpaper as a JPEG, applying it through the shell's Active Desktop
// object, and remembering the choice in the user's settings file.
#pragma once

#include <windows.h>

#include <string>

#include "fitting/imaging.h"
#include "fitting/portable/geometry.h"

namespace framewise {

// Index of the first installed encoder whose MIME type is exactly `mimeType`, with its
// class id; -1 when there is none.
int FindEncoder(const wchar_t* mimeType, CLSID* encoder);

// The primary monitor's wallpaper file name: stored settings and the shell's own records
// point at it.
extern const wchar_t kWallpaperFileName[];

// Writes the bitmap as `fileName` in the user's local application-data folder "Wrenfly
// Framewise", replacing an older file of that name only once the new one is complete.
// True, with the file's path, when the file was written; false with an empty path
// otherwise (the older file is then as it was).
bool SaveWallpaperFile(HWND owner, GpBitmap* wallpaper, const wchar_t* fileName,
                       std::wstring* path);

// Draws the beta builds' notice into the lower right corner of the work area, given in
// the bitmap's own coordinates (the primary monitor's when left out).
bool DrawBetaNotice(GpBitmap* wallpaper);
bool DrawBetaNoticeIn(GpBitmap* wallpaper, const ScreenRect& work);

// Remembers the user's choice: the picture and the mode, in the user's settings file.
void RememberChoice(HWND owner, const std::wstring& picturePath, int mode);

// Writes, applies (centred) and remembers the wallpaper. The bitmap stays the caller's.
// True when Active Desktop took it.
bool ApplyWallpaper(HWND owner, GpBitmap* wallpaper, const std::wstring& picturePath, int mode);

}  // namespace framewise
