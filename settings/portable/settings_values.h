// Names and value texts of the settings file: its file and folder names, sections and keys,
// read-buffer sizes and the date format. No Windows header here.
#pragma once

#include <cstddef>
#include <string>

namespace framewise {

// The sub-folder of each scope's data folder (the settings file and the wallpapers live
// there), and the settings file in it.
constexpr const wchar_t* kDataFolderName = L"Wrenfly Framewise";
constexpr const wchar_t* kSettingsFileName = L"Wrenfly Framewise.ini";

// Section UpdateCheck. Per user: LastChecked, AllowBackgroundChecks.
// For all users: NewestVersion, NewestVersionType.
constexpr const wchar_t* kUpdateCheckSection = L"UpdateCheck";
constexpr const wchar_t* kLastCheckedKey = L"LastChecked";
constexpr const wchar_t* kAllowBackgroundChecksKey = L"AllowBackgroundChecks";
constexpr const wchar_t* kNewestVersionKey = L"NewestVersion";
constexpr const wchar_t* kNewestVersionTypeKey = L"NewestVersionType";

// Section Desktop, per user: the last wallpaper choice, recorded only.
constexpr const wchar_t* kDesktopSection = L"Desktop";
constexpr const wchar_t* kPhotoKey = L"Photo";
constexpr const wchar_t* kWhichPartKey = L"WhichPart";
// Which monitors the last choice went to (the Photo and WhichPart above are always the
// primary monitor's): every monitor its own cut, one picture spanned over all of them, or
// one monitor only, whose device path TargetMonitor then holds.
constexpr const wchar_t* kMonitorTargetKey = L"MonitorTarget";
constexpr const wchar_t* kTargetMonitorKey = L"TargetMonitor";
constexpr const wchar_t* kEveryMonitorValue = L"EveryMonitor";
constexpr const wchar_t* kSpanValue = L"Span";
constexpr const wchar_t* kOneMonitorValue = L"OneMonitor";
constexpr size_t kMonitorTargetCapacity = 16;  // longer than any of the values above
// Set by the user only: millimetres of bezel and gap between neighbouring monitors when a
// picture is spanned (a decimal number of up to 30 characters, 0 when absent).
constexpr const wchar_t* kSpanGapKey = L"SpanGapMillimetres";
constexpr size_t kSpanGapCapacity = 32;  // one more than the longest value, to tell it is cut

// Read buffers, in UTF-16 characters including the terminating NUL.
constexpr size_t kNewestVersionCapacity = 80;
constexpr size_t kLastCheckedCapacity = 80;           // the update checker's read
constexpr size_t kLastCheckedDisplayCapacity = 160;   // the About box's read

// A local date as stored in LastChecked: year/month/day, no leading zeros ("2007/1/1").
// Month counts from 1.
std::wstring FormatSettingsDate(int year, int month, int day);

// A value as it can be stored: an INI value is one line, so the text ends at its first
// line end (a published version file's "1.2\r\n" is stored as "1.2", and a line break in
// downloaded text cannot add keys of its own to the file).
std::wstring SingleLineValue(const std::wstring& value);

}  // namespace framewise
