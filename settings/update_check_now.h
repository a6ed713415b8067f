// The About box's on-demand update check: fetches the published version files on the
// calling thread and caches what they hold in the settings file.
#pragma once

#include <string>

namespace framewise {

// Release file first; the beta file only for a beta build and when no newer release was
// found. Internet errors end their step and are dropped; the process-wide update status
// is left alone. `ownDisplay` goes into the user agent; `ownComparable` decides "newer".
void CheckForUpdatesNow(const std::wstring& ownDisplay, const std::wstring& ownComparable,
                        bool prerelease);

}  // namespace framewise
