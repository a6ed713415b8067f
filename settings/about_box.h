// The About box: version, update status, the background-check setting and links.
#pragma once

#include <windows.h>

namespace framewise {

// Shows the About box modally, owned by `owner`.
void ShowAboutBox(HWND owner);

}  // namespace framewise
