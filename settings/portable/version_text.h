// Version numbers as text: the program's own version in its two written forms, published
// versions brought into the comparable form, their ordering, and the stored names of a
// published version's type. No Windows header here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace framewise {

// The product version of the program's own module, four unsigned 16-bit parts.
struct VersionNumber {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;
};

enum class VersionForm {
  // "1.1", "2.0.3", "1.0.0.7": trailing zero parts dropped, at least two parts. For people,
  // the user agent and the web site's query values.
  Display,
  // "01.01.00.0000": fixed widths, so that ordinal text order is numeric order.
  Comparable,
};

// Where a published version came from.
enum class VersionType {
  None,     // no published version known
  Beta,     // from the beta version file
  Release,  // from the release version file
};

// Widths of the four parts of the comparable form.
constexpr size_t kVersionPartCount = 4;
constexpr size_t VersionPartWidths[kVersionPartCount] = {2, 2, 2, 4};

// Writes the version in the given form. Each part is written as a signed 16-bit number,
// so a part of 40000 reads -25536, as the web site has always been sent it.
std::wstring FormatVersion(const VersionNumber& version, VersionForm form);

// Brings a published version text into the comparable form in place: line ends removed,
// each of the first four full-stop separated parts zero-filled on the left to its width,
// missing parts appended as zeros. Parts beyond the fourth are left as they are.
// Characters are not checked: malformed text yields a text that compares as it compares.
void MakeComparable(std::wstring* text);

// True when `candidate` is a newer version than `current`, both in the comparable form:
// an ordinal comparison of the texts. Equal texts are not newer.
bool IsNewerVersion(const std::wstring& candidate, const std::wstring& current);

// The type's stored name: "Beta", "Release", "None".
const wchar_t* VersionTypeName(VersionType type);

// A stored name read back, without regard to case; any other text is VersionType::None.
VersionType VersionTypeFromName(const std::wstring& name);

// A version resource marks a pre-release only when the flag is both set and valid.
constexpr uint32_t kPrereleaseFlag = 0x2;  // VS_FF_PRERELEASE
constexpr bool IsPrereleaseFlagSet(uint32_t fileFlags, uint32_t fileFlagsMask) {
  return (fileFlags & kPrereleaseFlag) != 0 && (fileFlagsMask & kPrereleaseFlag) != 0;
}

}  // namespace framewise
