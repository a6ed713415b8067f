// Files for tests, tools and benchmarks: temporary folders, pictures and bytes written and
// read, files moved aside, and where the product and its data live.
#pragma once

#include <windows.h>

#include <string>
#include <utility>

namespace testsupport {

// A folder under the temporary folder, removed with its files when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::wstring& path() const { return path_; }
  std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

 private:
  std::wstring path_;
};

// Writes a picture of the given size and encoder MIME type ("image/jpeg", "image/png",
// "image/bmp"...), a colour gradient with a distinct colour per quadrant. True on success.
bool WritePicture(const std::wstring& path, int width, int height,
                  const wchar_t* mime = L"image/jpeg");

// Writes raw bytes to a file.
bool WriteBytes(const std::wstring& path, const void* data, size_t size);

// Writes a JPEG that is only a frame header of the given size over no pixels: its header
// reads, its pixels do not decode.
bool WriteUndecodableJpeg(const std::wstring& path, int width, int height);

// A file's bytes; empty when it cannot be read, with *exists (when given) false then. The
// file is opened sharing reads and writes, so a file the product holds open can be read.
std::string ReadBytes(const std::wstring& path, bool* exists = nullptr);

// Whether a file (not a folder) is at `path`.
bool FileExists(const std::wstring& path);

// A value of an INI file's section, "<none>" when it has none.
std::wstring ReadIniValue(const std::wstring& path, const wchar_t* section, const wchar_t* key);

// Moves a file aside while alive and puts it back (or removes what the test wrote).
class FileAside {
 public:
  explicit FileAside(std::wstring path);
  ~FileAside();
  FileAside(const FileAside&) = delete;
  FileAside& operator=(const FileAside&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool moved_ = false;
};

// The path in environment variable `name`, a Linux path (as CTest hands them over) mapped
// onto Wine's Z: drive; empty when the variable is unset or longer than a path can be.
std::wstring PathFromEnvironment(const wchar_t* name);

// The folder of this program, with its final backslash; empty when it cannot be read.
std::wstring ProgramFolder();

// The built DLL's path (environment FRAMEWISE_DLL, else Framewise.dll beside the program).
std::wstring FramewiseDllPath();

// A version-resource fixture DLL built beside the program ("version_fixture_<name>.dll",
// cmake/version_fixtures.cmake), e.g. VersionFixturePath(L"v1_1_0_0").
std::wstring VersionFixturePath(const wchar_t* name);

// A picture generated into FRAMEWISE_INPUTS (scripts/make_inputs.py); empty when unset.
std::wstring InputPath(const wchar_t* name);

// The per-user data folder "...\Local\Wrenfly Framewise".
std::wstring UserDataFolder();

// The settings files the product reads and writes: the user's, in UserDataFolder(), and
// the one for all users, in the common application-data folder.
std::wstring UserSettingsFile();
std::wstring MachineSettingsFile();

// The primary monitor's wallpaper file the commands write, in UserDataFolder().
std::wstring UserWallpaperFile();

}  // namespace testsupport
