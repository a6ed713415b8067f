// The primary monitor's rectangles, the screen aspect and the desktop colour.
#pragma once

#include "fitting/portable/geometry.h"

namespace framewise {

// The primary monitor's work area (less taskbar and docked bars) and whole monitor area.
bool GetScreenRects(ScreenRect* workArea, ScreenRect* monitorArea);

// Work width / work height, queried afresh at each call.
bool GetScreenAspect(double* aspect);

// Width from height and aspect, at most six inches wide; width 0 when the screen cannot
// be queried.
void LimitPreviewSize(float* width, float* height, float dpiX, float aspect);

// COLOR_BACKGROUND as an opaque 32-bit ARGB colour.
uint32_t DesktopColorArgb();

}  // namespace framewise
