#include "widgets/please_wait.h"

#include "resources/resource_ids.h"

namespace framewise {

PleaseWait::PleaseWait(HWND parent) : fw::CDialog(IDD_PLEASE_WAIT, parent) {}

}  // namespace framewise
