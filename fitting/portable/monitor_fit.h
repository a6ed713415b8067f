// Fitting one choice to every monitor of a desktop: which mode each monitor gets, and the
// name of each monitor's wallpaper file. No Windows header here.
#pragma once

#include <cstdint>
#include <string>

#include "fitting/portable/geometry.h"

namespace framewise {

// The mode a monitor gets for the user's choice, keeping its idea on that monitor's shape:
// Top and Bottom pick a part of a picture taller than the monitor, Left and Right of one
// wider, so where the picture is not (or matches) they become Middle; Exact becomes Middle
// on a monitor whose proportions differ from the primary's; Middle and BestFit stay.
int MonitorFitMode(int mode, PictureShape shapeOnMonitor, bool proportionsOfPrimary);

// The wallpaper file of a monitor other than the primary: "Desktop Background " and a
// fixed-width hash of the monitor's stable identity (its device path), ".jpg".
std::wstring MonitorWallpaperName(const std::wstring& monitorId);

}  // namespace framewise
