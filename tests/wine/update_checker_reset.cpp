#include "update_checker_reset.h"

#include <windows.h>

#include "settings/update_checker.h"
#include "settings/update_checker_state.h"

namespace framewise {

void ResetUpdateCheckerForTesting() {
  UpdateCheckerState& state = CheckerState();
  // A worker still running would publish into the state cleared below.
  if (state.workerThread) WaitForSingleObject(state.workerThread.get(), 120000);
  state.workerThread.reset();
  InterlockedExchangePointer(UpdateTextSlot(), nullptr);
  InterlockedExchange(&UpdateFound, 0);
  state.textBuffer[0] = L'\0';
  InterlockedExchange(&state.scheduled, 0);
}

}  // namespace framewise
