// Puts the update checker back as a freshly loaded module has it, so that each test
// starts from "nothing scheduled, nothing found".
#pragma once

namespace framewise {

// Waits (bounded) for a running worker, then forgets the scheduled flag, the status and
// the text.
void ResetUpdateCheckerForTesting();

}  // namespace framewise
