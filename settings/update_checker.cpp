#include "settings/update_checker.h"

namespace framewise {

void UpdateChecker::ScheduleCheck(ImageFileContextMenu*) {}

}  // namespace framewise
