#include "settings/settings_file.h"

#include <shlobj.h>

#include <cwchar>
#include <vector>

namespace framewise {

namespace {

// Lookup values: the scope's folder, created (with our sub-folder) when missing.
int FolderCsidl(SettingsScope scope) {
  return (scope == SettingsScope::AllUsers ? CSIDL_COMMON_APPDATA : CSIDL_LOCAL_APPDATA) |
         CSIDL_FLAG_CREATE;
}

size_t SlotIndex(SettingsScope scope) { return scope == SettingsScope::AllUsers ? 1 : 0; }

class SharedLockGuard {
 public:
  explicit SharedLockGuard(SRWLOCK* lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~SharedLockGuard() { ReleaseSRWLockExclusive(lock_); }
  SharedLockGuard(const SharedLockGuard&) = delete;
  SharedLockGuard& operator=(const SharedLockGuard&) = delete;

 private:
  SRWLOCK* lock_;
};

// The process-wide paths: constant-initialised, so usable from the first call on any
// thread, and nothing to tear down when the DLL goes.
SettingsPaths g_paths;

}  // namespace

const wchar_t* SettingsPaths::LookUpFolder(SettingsScope scope, HWND owner) {
  Slot& slot = slots_[SlotIndex(scope)];
  if (slot.folder[0] != L'\0') return slot.folder;
  const HRESULT hr = lookup_ ? lookup_(owner, FolderCsidl(scope), nullptr, SHGFP_TYPE_CURRENT,
                                       kDataFolderName, slot.folder)
                             : SHGetFolderPathAndSubDirW(owner, FolderCsidl(scope), nullptr,
                                                         SHGFP_TYPE_CURRENT,
                                                         kDataFolderName, slot.folder);
  // Whatever a failed lookup left in the buffer is not a folder; try again next time.
  if (FAILED(hr)) slot.folder[0] = L'\0';
  slot.folder[MAX_PATH - 1] = L'\0';
  return slot.folder;
}

const wchar_t* SettingsPaths::GetPath(SettingsScope scope, HWND owner) {
  Slot& slot = slots_[SlotIndex(scope)];
  if (slot.pathReady.load(std::memory_order_acquire)) return slot.path;

  SharedLockGuard guard(&lock_);
  if (slot.pathReady.load(std::memory_order_relaxed)) return slot.path;
  const wchar_t* folder = LookUpFolder(scope, owner);
  const size_t folderLength = wcslen(folder);
  const size_t nameLength = wcslen(kSettingsFileName);
  // Folder, backslash, file name and NUL must fit; a path cut short would name another
  // file, so a folder too long leaves the path empty instead.
  if (folderLength == 0 || folderLength + 1 + nameLength + 1 > MAX_PATH) return L"";
  wmemcpy(slot.path, folder, folderLength);
  slot.path[folderLength] = L'\\';
  wmemcpy(slot.path + folderLength + 1, kSettingsFileName, nameLength + 1);
  slot.pathReady.store(true, std::memory_order_release);
  return slot.path;
}

std::wstring SettingsPaths::GetDataFolder(SettingsScope scope, HWND owner) {
  SharedLockGuard guard(&lock_);
  return LookUpFolder(scope, owner);
}

std::wstring ReadSettingString(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                               const wchar_t* defaultValue, size_t capacity) {
  if (!path || path[0] == L'\0' || capacity == 0) return defaultValue;
  std::vector<wchar_t> buffer(capacity, L'\0');
  const DWORD length = GetPrivateProfileStringW(section, key, defaultValue, buffer.data(),
                                                static_cast<DWORD>(capacity), path);
  return std::wstring(buffer.data(), length);
}

int ReadSettingInt(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                   int defaultValue) {
  if (!path || path[0] == L'\0') return defaultValue;
  return static_cast<int>(GetPrivateProfileIntW(section, key, defaultValue, path));
}

bool WriteSetting(const wchar_t* path, const wchar_t* section, const wchar_t* key,
                  const std::wstring& value) {
  if (!path || path[0] == L'\0') return false;
  return WritePrivateProfileStringW(section, key, SingleLineValue(value).c_str(), path) != FALSE;
}

std::wstring SettingsFile::GetDataFolder(SettingsScope scope, HWND owner) {
  return g_paths.GetDataFolder(scope, owner);
}

const wchar_t* SettingsFile::GetPath(SettingsScope scope, HWND owner) {
  return g_paths.GetPath(scope, owner);
}

void SettingsFile::StoreNewestVersion(VersionType type, const std::wstring& text) {
  const wchar_t* path = GetPath(SettingsScope::AllUsers, nullptr);
  WriteSetting(path, kUpdateCheckSection, kNewestVersionKey, text);
  WriteSetting(path, kUpdateCheckSection, kNewestVersionTypeKey, VersionTypeName(type));
}

void SettingsFile::LoadNewestVersion(std::wstring* text, VersionType* type) {
  const wchar_t* path = GetPath(SettingsScope::AllUsers, nullptr);
  *text = ReadSettingString(path, kUpdateCheckSection, kNewestVersionKey, L"",
                            kNewestVersionCapacity);
  *type = VersionType::None;
  if (text->empty()) return;
  *type = VersionTypeFromName(ReadSettingString(path, kUpdateCheckSection,
                                                kNewestVersionTypeKey, L"",
                                                kNewestVersionCapacity));
}

void SettingsFile::StoreLastChecked() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  StoreLastCheckedDate(now);
}

void SettingsFile::StoreLastCheckedDate(const SYSTEMTIME& localDate) {
  WriteSetting(GetPath(SettingsScope::CurrentUser, nullptr), kUpdateCheckSection,
               kLastCheckedKey, FormatSettingsDate(localDate.wYear, localDate.wMonth,
                                                   localDate.wDay));
}

std::wstring SettingsFile::ReadString(SettingsScope scope, HWND owner, const wchar_t* section,
                                      const wchar_t* key, const wchar_t* defaultValue,
                                      size_t capacity) {
  return ReadSettingString(GetPath(scope, owner), section, key, defaultValue, capacity);
}

int SettingsFile::ReadInt(SettingsScope scope, HWND owner, const wchar_t* section,
                          const wchar_t* key, int defaultValue) {
  return ReadSettingInt(GetPath(scope, owner), section, key, defaultValue);
}

bool SettingsFile::Write(SettingsScope scope, HWND owner, const wchar_t* section,
                         const wchar_t* key, const std::wstring& value) {
  return WriteSetting(GetPath(scope, owner), section, key, value);
}

}  // namespace framewise
