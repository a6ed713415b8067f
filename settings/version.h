// The program's own version, read from its module's version resource at every call.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/portable/version_text.h"

namespace framewise {

// The own product version as text in the given form; empty when the version resource
// cannot be read.
std::wstring GetOwnVersion(VersionForm form);

// True when the own version resource marks a pre-release (a beta build): VS_FF_PRERELEASE
// set in both the file flags and their mask. False on any failure.
bool IsPrereleaseBuild();

// What the version functions read from a version resource.
struct VersionResource {
  VersionNumber product;
  uint32_t fileFlags = 0;
  uint32_t fileFlagsMask = 0;
};

// Reads the fixed version information of the file at `path`. False when the file has
// none or it cannot be read.
bool ReadVersionResource(const wchar_t* path, VersionResource* resource);

// The same two answers for any file, as for the own module.
std::wstring GetFileVersionText(const wchar_t* path, VersionForm form);
bool IsPrereleaseFile(const wchar_t* path);

}  // namespace framewise
