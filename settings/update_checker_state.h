// The update checker's own process-wide state, beside the published status (UpdateFound,
// UpdateText). Internal to the checker: the rest of the product goes through UpdateChecker.
#pragma once

#include <windows.h>

#include "framework/win_owners.h"
#include "settings/update_checker.h"

namespace framewise {

struct UpdateCheckerState {
  // Set by the first ScheduleCheck of the process; tested and set in one step, so that two
  // shell threads initialising handlers at once start at most one check.
  volatile LONG scheduled = 0;

  // Filled before UpdateText points at it; written at most once per process.
  wchar_t textBuffer[kUpdateTextCapacity] = {};

  // The worker's thread handle, kept while the module is loaded so that the handler's
  // `updateThread` never names a closed handle. The worker gives the module back only as
  // it exits, so the module's unload (which closes this) comes after the thread's end.
  fw::UniqueHandle workerThread;
};

// The one instance, living as long as the module.
UpdateCheckerState& CheckerState();

// UpdateText as the interlocked pointer functions take it.
PVOID volatile* UpdateTextSlot();

}  // namespace framewise
