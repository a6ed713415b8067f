// A stand-in for the shell's per-monitor wallpaper object, registered in this process only.
// Wine has no such object; this one reports the monitors it is given (by default the
// system's own) and records which file each monitor was given.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "tests/support/stand_in_factory.h"

namespace standin {

struct StandInMonitor {
  std::wstring id;  // the device path the shell would report
  RECT area;        // virtual-screen coordinates
};

struct DesktopWallpaperRecord {
  std::vector<StandInMonitor> monitors;
  std::map<std::wstring, std::wstring> wallpapers;  // monitor id -> file set on it
  std::vector<std::wstring> order;                  // monitor ids in the order they were set
  int setPositionCalls = 0;
  int position = -1;  // the desktop's position as the shell numbers it; -1: not answered
  // Failure injection: SetWallpaper on this monitor returns E_FAIL.
  std::wstring failingMonitor;
  // Applies the primary monitor's file to the desktop with SystemParametersInfoW.
  bool applyToSystem = false;
};

// Registers the stand-in for the desktop-wallpaper class on this thread's apartment while
// alive; it starts with the monitors the system reports.
class DesktopWallpaperStandIn {
 public:
  DesktopWallpaperStandIn();
  DesktopWallpaperStandIn(const DesktopWallpaperStandIn&) = delete;
  DesktopWallpaperStandIn& operator=(const DesktopWallpaperStandIn&) = delete;
  bool registered() const { return registration_.registered(); }
  DesktopWallpaperRecord& record();

 private:
  ClassRegistration registration_;
};

}  // namespace standin
