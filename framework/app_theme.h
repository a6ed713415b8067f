// The user's app theme: whether programs are asked to draw dark.
#pragma once

namespace fw {

// True when the user chose dark for apps (Settings > Personalisation > Colours):
// AppsUseLightTheme = 0 under the current user's Personalize key. Read afresh at each call
// (one registry read), so a change of theme shows on the next menu; false on systems
// without the value (Windows 7, early Windows 10, Wine).
bool AppsUseDarkTheme();

}  // namespace fw
