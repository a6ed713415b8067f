// The monitors' physical arrangement for spanning one picture over them: each monitor's
// EDID and rotation read from the system, checked, and laid out in millimetres. Reading
// the EDID walks the device tree, so the result is kept per process and read again only
// when the monitors' rectangles (or the gap setting) change: a shell extension never sees
// the display-change message, but a changed desktop always changes a rectangle.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "fitting/portable/monitor_layout.h"
#include "fitting/portable/physical_size.h"

namespace framewise {

// What the system tells of one monitor's hardware.
struct MonitorHardware {
  std::vector<uint8_t> edid;  // empty when the monitor gave none
  DisplayRotation rotation = DisplayRotation::None;
};

// Reads the hardware of the monitor with this device path (as the desktop-wallpaper
// object names it). False when nothing can be learnt; *out is then empty.
using MonitorHardwareReader = bool (*)(const std::wstring& monitorId, MonitorHardware* out);

// The system's reader: the EDID from the monitor device's registry key through SetupAPI,
// the rotation from the current display settings of the adapter the monitor hangs on.
bool ReadSystemMonitorHardware(const std::wstring& monitorId, MonitorHardware* out);

// The reader the layout uses; tests put real EDID blobs in through it.
extern MonitorHardwareReader monitorHardwareReader;

// How many times the hardware of a desktop has been read in this process: the menu's
// previews must not read it per paint.
extern unsigned monitorHardwareReads;

// One monitor as the layout takes it.
struct DesktopMonitor {
  std::wstring id;
  RECT area = {};
  bool primary = false;
};

struct PhysicalDesktop {
  PhysicalLayout layout;              // monitors in the input order
  std::vector<SizeVerdict> verdicts;  // each monitor's size check
};

// The layout of these monitors with the user's gap setting, read once per arrangement.
// False for no monitors or a layout that cannot be made.
bool GetPhysicalDesktop(const std::vector<DesktopMonitor>& monitors, PhysicalDesktop* out);

// Drops the kept layout: the next call reads the hardware again.
void ForgetPhysicalDesktop();

// The user's gap between neighbouring monitors in mm from the settings file: 0 when unset
// or outside 0..kMaxLayoutGapMm.
double SpanGapMillimetres();

}  // namespace framewise
