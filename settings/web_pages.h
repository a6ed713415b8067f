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

// The full address of one of the pages above for this version of the program.
inline std::wstring WebPageAddress(const wchar_t* path) {
  return fw::FormatString(std::wstring(FRAMEWISE_BASE_URL_W) + path,
                          GetOwnVersion(VersionForm::Display));
}

}  // namespace framewise
