#include "settings/about_box.h"

namespace framewise {

void ShowAboutBox(HWND) {}

}  // namespace framewise
