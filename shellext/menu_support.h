// Process-wide pieces of the handler's menu: owner-draw support, the entry's bitmaps
// and the preview row height.
#pragma once

#include <windows.h>
#include <shlwapi.h>

namespace framewise {

using DllGetVersionFunction = HRESULT(CALLBACK*)(DLLVERSIONINFO*);

// Whether the shell draws owner-drawn items: -1 until decided on first use, then 0 or 1.
extern int ownerDrawSupported;

// Asks a shell32 DllGetVersion whether it is 4.71 or later.
bool DecideOwnerDrawSupported(DllGetVersionFunction getVersion);

// Deletes the entry's bitmaps (the DLL is going away).
void ReleaseMenuBitmaps();

// Height of a preview inside a menu item: 1.5 times the screen's vertical dots per inch,
// set on the first measured preview item in the process.
extern float previewRowHeight;

}  // namespace framewise
