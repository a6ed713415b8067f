// The settings file "Wrenfly Framewise.ini": one copy per user, one for all users of the
// machine. Its paths are worked out once per process and kept; every read and write goes
// through the private-profile functions on those paths.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>

#include "settings/portable/settings_values.h"
#include "settings/portable/version_text.h"

namespace framewise {

enum class SettingsScope {
  CurrentUser,  // the user's local (non-roaming) application-data folder
  AllUsers,     // the machine's common application-data folder
};

// The folder lookup, with the signature of SHGetFolderPathAndSubDirW.
using FolderLookup = HRESULT(WINAPI*)(HWND owner, int csidl, HANDLE token, DWORD flags,
                                       LPCWSTR subFolder, LPWSTR path);

// Both scopes' data folders and settings-file paths. A path, once built, is never written
// again, so it is read without the lock; it is built under the lock, with the folder
// lookup made at most once per success. A failed lookup, or a folder too long for the
// file name, leaves the path empty and the next call tries again.
class SettingsPaths {
 public:
  // `lookup` replaces SHGetFolderPathAndSubDirW (tests); null means the system's.
  constexpr explicit SettingsPaths(FolderLookup lookup = nullptr) : lookup_(lookup) {}
  SettingsPaths(const SettingsPaths&) = delete;
  SettingsPaths& operator=(const SettingsPaths&) = delete;

  // The full path of the scope's file, or the empty text. The text lives as long as this
  // object. `owner` owns any message the shell shows while creating the folder.
  const wchar_t* GetPath(SettingsScope scope, HWND owner);

  // The scope's data folder ("...\Wrenfly Framewise"), or the empty text.
  std::wstring GetDataFolder(SettingsScope scope, HWND owner);

 private:
  struct Slot {
    wchar_t folder[MAX_PATH] = {};
    wchar_t path[MAX_PATH] = {};
    std::atomic<bool> pathReady{false};
  };

  // Called with the lock held.
  const wchar_t* LookUpFolder(SettingsScope scope, HWND owner);

  FolderLookup lookup_;
  SRWLOCK lock_ = SRWLOCK_INIT;
  Slot slots_[2];
};

// Reads and writes of one setting in the file at `path`. An empty path (the folder could
// not be had) reads as the default and drops the write; a missing file, section or key
// reads as the default. `capacity` counts UTF-16 units with the NUL; longer values are cut.
std::wstring ReadSettingString(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                               const wchar_t* defaultValue, size_t capacity);
int ReadSettingInt(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                   int defaultValue);
// True when the value was written. Values are kept to one line.
bool WriteSetting(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                  const std::wstring& value);

class SettingsFile {
 public:
  // The process-wide paths (see SettingsPaths). Callers pass the About dialog's window
  // when they have one, null otherwise.
  static std::wstring GetDataFolder(SettingsScope scope, HWND owner);
  static const wchar_t* GetPath(SettingsScope scope, HWND owner);

  // NewestVersion = text, then NewestVersionType = "Beta", "Release" or "None", both in the
  // all-users file. Write failures are ignored.
  static void StoreNewestVersion(VersionType type, const std::wstring& text);

  // The published text and its type from the all-users file. No text means
  // VersionType::None, whatever type is stored.
  static void LoadNewestVersion(std::wstring* text, VersionType* type);

  // Today's local date as LastChecked in the user's file. Write failures are ignored.
  static void StoreLastChecked();
  static void StoreLastCheckedDate(const SYSTEMTIME& localDate);

  // One setting of a scope's file, as the functions above but by scope.
  static std::wstring ReadString(SettingsScope scope, HWND owner, const wchar_t* section,
                                 const wchar_t* key, const wchar_t* defaultValue,
                                 size_t capacity);
  static int ReadInt(SettingsScope scope, HWND owner, const wchar_t* section,
                     const wchar_t* key, int defaultValue);
  static bool Write(SettingsScope scope, HWND owner, const wchar_t* section, const wchar_t* key,
                    const std::wstring& value);
};

}  // namespace framewise
