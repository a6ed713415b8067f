#include "settings/update_checker.h"

namespace framewise {

volatile LONG UpdateFound = 0;
const wchar_t* volatile UpdateText = nullptr;

void UpdateChecker::ScheduleCheck(ImageFileContextMenu*) {}

}  // namespace framewise
