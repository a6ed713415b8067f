// A stand-in for the shell's Active Desktop object, registered in this process only.
// Wine's own object answers E_NOTIMPL to the wallpaper calls; this one records them and
// applies the wallpaper through SystemParametersInfoW, so the desktop really changes.
#pragma once

#include <windows.h>

#include <string>

#include "tests/support/stand_in_factory.h"

namespace standin {

struct ActiveDesktopRecord {
  int setWallpaperCalls = 0;
  int setOptionsCalls = 0;
  int applyCalls = 0;
  std::wstring wallpaper;
  DWORD style = 0xFFFFFFFF;
  DWORD optionsSize = 0;
  DWORD applyFlags = 0;
  // Failure injection: the call with this number (1 SetWallpaper, 2 SetWallpaperOptions,
  // 3 ApplyChanges) returns `failure`; 0 means none fails. `success` is what succeeding
  // calls return (a success code other than S_OK is allowed).
  int failingCall = 0;
  HRESULT failure = E_FAIL;
  HRESULT success = S_OK;
  bool applyToSystem = true;
};

// Registers the stand-in for CLSID_ActiveDesktop on this thread's apartment while alive.
class ActiveDesktopStandIn {
 public:
  ActiveDesktopStandIn();
  ActiveDesktopStandIn(const ActiveDesktopStandIn&) = delete;
  ActiveDesktopStandIn& operator=(const ActiveDesktopStandIn&) = delete;
  bool registered() const { return registration_.registered(); }
  ActiveDesktopRecord& record();

 private:
  ClassRegistration registration_;
};

}  // namespace standin
