// The vendor site's pages the program opens, and the one way their addresses are made.
#pragma once

#include <string>

#include "build_config.h"
#include "framework/strings.h"
#include "settings/version.h"

namespace framewise {

// Paths below the site's base address; %s is the program's own display version.
constexpr wchar_t kUpdatePagePath[] = L"/framewise/checkforupdates?fromversion=%s";
constexpr wchar_t kHelpPagePath[] = L"/framewise/help?version=%s";

// The full address of one of the pages above for a display version (by default this
// program's own).
inline std::wstring WebPageAddress(const wchar_t* path, const std::wstring& displayVersion) {
  return fw::FormatString(std::wstring(FRAMEWISE_BASE_URL_W) + path, displayVersion);
}
inline std::wstring WebPageAddress(const wchar_t* path) {
  return WebPageAddress(path, GetOwnVersion(VersionForm::Display));
}

}  // namespace framewise
