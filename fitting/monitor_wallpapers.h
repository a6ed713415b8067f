// Wallpapers for a desktop of several monitors: one file per monitor, each fitted to that
// monitor's own shape and size, set through the shell's desktop-wallpaper object (Windows 8
// and later). With one monitor, or without the object, the caller keeps the one-file path.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "fitting/desktop_wallpaper.h"
#include "fitting/imaging.h"
#include "fitting/physical_desktop.h"
#include "fitting/portable/geometry.h"
#include "framework/com_ptr.h"

namespace framewise {

// The shell's desktop-wallpaper class and interface, spelt out: toolchain libraries differ
// in which of them they define.
extern const CLSID kClsidDesktopWallpaper;
extern const IID kIidDesktopWallpaper;

// One attached monitor, as the desktop-wallpaper object names it.
struct MonitorTarget {
  std::wstring id;     // the monitor's device path: its identity across sessions
  ScreenRect work;     // virtual-screen coordinates
  ScreenRect monitor;
  bool primary = false;
};

// Where a fitting choice goes on a desktop of several monitors.
enum class WallpaperTarget {
  EveryMonitor,  // each monitor its own cut of the picture
  Span,          // one picture over all monitors, true to their physical sizes
  OneMonitor,    // one monitor's own cut; the others keep their wallpapers
};

class MonitorWallpapers {
 public:
  // Finds the attached monitors through the desktop-wallpaper object. False with fewer
  // than two, without the object (Windows 7), or when a monitor cannot be placed.
  bool Find();
  const std::vector<MonitorTarget>& monitors() const { return monitors_; }

  // The monitors' physical layout (read once per arrangement, see GetPhysicalDesktop).
  bool Layout(PhysicalDesktop* desktop) const;

  // The index of the monitor a menu opened on: the monitor of `window`, else the one
  // under the cursor, else the primary; -1 when none of the found monitors is it.
  int MenuMonitor(HWND window) const;

  // Makes each monitor's part of the picture spanned over the physical layout for a fill
  // `mode` (its anchor) or BestFit. False when any cannot be made.
  bool MakeSpan(GpImage* picture, int mode, const RowConverter* convert = nullptr);

  // Makes the wallpaper of monitor `index` alone, fitted to its own shape by `mode`.
  bool MakeOne(GpImage* picture, int mode, int index, const RowConverter* convert = nullptr);

  // Makes every monitor's wallpaper for the user's choice: the primary's exactly as on a
  // desktop of one monitor, the others with the mode that keeps the choice's idea on their
  // shape; `convert` (may be nullptr) converts the picture's colours as they are drawn.
  // False when any cannot be made.
  bool Make(GpImage* picture, int mode, const RowConverter* convert = nullptr);

  // Writes each monitor's file (the primary's under its usual name), sets it on its
  // monitor, centred, and remembers the choice. False as soon as one monitor fails: the
  // files already written stay, and the choice is not remembered.
  bool Apply(HWND owner, const std::wstring& picturePath, int mode);

  // The same for what MakeSpan or MakeOne made (the choice remembered with its target);
  // after MakeOne only that monitor's wallpaper is set.
  bool ApplyTo(WallpaperTarget target, HWND owner, const std::wstring& picturePath, int mode);

 private:
  // Fits the picture to monitor `m` by `mode` and adds that wallpaper (with the prerelease
  // notice where it belongs).
  bool AddFitted(GpImage* picture, int mode, const MonitorTarget& m, const RowConverter* convert);
  fw::ComPtr<IDesktopWallpaper> desktop_;
  std::vector<MonitorTarget> monitors_;
  std::vector<fw::GpBitmapOwner> wallpapers_;  // in the order of monitors_
  int one_ = -1;                               // the monitor MakeOne made a wallpaper for
};

}  // namespace framewise
