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
