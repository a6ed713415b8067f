// Helpers shared by the tests that run under Wine: import patching, work-area overrides,
// test pictures, temporary folders and process resource counters.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <initializer_list>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "framework/unique_resource.h"

namespace testsupport {

// Replaces the address that `module` imports for `dll`!`function` and returns the old one
// (null when the import is not found). Used to give code under test other system answers.
void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement);

// While alive, `module`'s import (null: this program, which links the product's objects)
// of `dll`!`function` answers with `replacement`; the previous address comes back when the
// owner goes, also when a test stops at a failed assertion.
class ImportPatch {
 public:
  ImportPatch(const char* dll, const char* function, void* replacement, HMODULE module = nullptr)
      : module_(module), dll_(dll), function_(function),
        real_(PatchImport(module, dll, function, replacement)) {}
  ~ImportPatch() {
    if (real_) PatchImport(module_, dll_, function_, real_);
  }
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  // The address the import had before: null when the module has no such import.
  void* real() const { return real_; }
  template <typename Function>
  Function real_as() const {
    return reinterpret_cast<Function>(real_);
  }

 private:
  HMODULE module_;
  const char* dll_;
  const char* function_;
  void* real_;
};

// Sets a process-wide variable of the product for a test (or only keeps its value) and
// puts the value it had back when the owner goes.
template <typename T>
class ScopedValue {
 public:
  using Value = std::remove_volatile_t<T>;
  explicit ScopedValue(T& variable) : variable_(variable), saved_(variable) {}
  ScopedValue(T& variable, Value value) : ScopedValue(variable) { variable_ = value; }
  ~ScopedValue() { variable_ = saved_; }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  T& variable_;
  Value saved_;
};

// While alive, the given system colours (COLOR_MENU...) have these values; the previous
// ones come back when the owner goes. Under Wine's default scheme the menu, window and
// menu-bar colours are all white, so a drawing that takes the wrong one would not show.
class SystemColours {
 public:
  explicit SystemColours(std::initializer_list<std::pair<int, COLORREF>> colours);
  ~SystemColours();
  SystemColours(const SystemColours&) = delete;
  SystemColours& operator=(const SystemColours&) = delete;
  bool applied() const { return applied_; }

 private:
  std::vector<int> indexes_;
  std::vector<COLORREF> saved_;
  bool applied_ = false;
};

// While alive, GetMonitorInfoW as imported by `module` (default: this program) reports
// the given work area and monitor area for the primary monitor.
class WorkAreaOverride {
 public:
  WorkAreaOverride(RECT work, RECT monitor, HMODULE module = nullptr);
  ~WorkAreaOverride();
  WorkAreaOverride(const WorkAreaOverride&) = delete;
  WorkAreaOverride& operator=(const WorkAreaOverride&) = delete;

 private:
  HMODULE module_;
  void* previous_;
};

// One monitor of a made-up desktop: its area, its work area, whether it is the primary.
struct FakeMonitor {
  RECT monitor;
  RECT work;
  bool primary;
};

// While alive, MonitorFromRect, MonitorFromWindow and GetMonitorInfoW as this program
// imports them report these monitors instead of the system's (with made-up handles).
class MonitorsOverride {
 public:
  explicit MonitorsOverride(const std::vector<FakeMonitor>& monitors, HMODULE module = nullptr);
  ~MonitorsOverride();
  MonitorsOverride(const MonitorsOverride&) = delete;
  MonitorsOverride& operator=(const MonitorsOverride&) = delete;

 private:
  HMODULE module_;
  void* previous_[3] = {};
};

// Owns a window of this thread: destroyed when the owner goes.
struct WindowDeleter {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = fw::UniqueResource<HWND, WindowDeleter>;

// A visible top-level window of this thread at the given place on the screen, standing in
// for the shell's window that owns a menu; null on failure.
HWND CreateShellWindow(int x, int y, int width, int height);

// A folder under the temporary folder, removed with its files when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
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

// A file's bytes; empty when it cannot be read.
std::string ReadBytes(const std::wstring& path);

// Private bytes, GDI objects and handles of this process, for leak checks. A count that
// cannot be read here is 0: a check must then skip, not pass on it (see the helpers below).
struct ResourceCounts {
  size_t privateBytes;
  DWORD gdiObjects;  // from the GDI handle table: Wine's GetGuiResources reads 0
  DWORD handles;     // from the system's handle table: Wine's own counter reads 0
};
ResourceCounts CurrentResourceCounts();

// Open handles of this process, counted in the system's handle table; 0 when it cannot
// be read.
DWORD CountHandles();

// Why a leak check of GDI objects or handles cannot run here, or empty when it can.
std::string WhyNoGdiCount(const ResourceCounts& counts);
std::string WhyNoHandleCount(const ResourceCounts& counts);

// A 32-bit top-down DIB selected into a memory DC, for painting owner-drawn items into;
// everything is put back and freed when the object goes.
class MemoryDib {
 public:
  MemoryDib(int width, int height);
  ~MemoryDib();
  MemoryDib(const MemoryDib&) = delete;
  MemoryDib& operator=(const MemoryDib&) = delete;
  HDC dc() const { return dc_; }
  // The pixels as 0x00RRGGBB, after flushing pending drawing.
  const DWORD* pixels() const;

 private:
  HDC dc_ = nullptr;
  HBITMAP dib_ = nullptr;
  HGDIOBJ old_ = nullptr;
  void* bits_ = nullptr;
};

// The built DLL's path (environment FRAMEWISE_DLL, else Framewise.dll beside the program).
std::wstring FramewiseDllPath();

// Moves a file aside while alive and puts it back (or removes what the test wrote).
class FileAside {
 public:
  explicit FileAside(std::wstring path) : path_(std::move(path)) {
    moved_ = MoveFileExW(path_.c_str(), (path_ + L".aside").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
  ~FileAside() {
    DeleteFileW(path_.c_str());
    if (moved_) MoveFileExW((path_ + L".aside").c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
  }
  FileAside(const FileAside&) = delete;
  FileAside& operator=(const FileAside&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  bool moved_ = false;
};

// The per-user data folder "...\Local\Wrenfly Framewise".
inline std::wstring UserDataFolder() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathAndSubDirW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                            SHGFP_TYPE_CURRENT, L"Wrenfly Framewise", folder);
  return folder;
}

}  // namespace testsupport

#include <objidl.h>
#include <vector>

namespace testsupport {

// The data object the shell itself hands a context-menu handler for these files
// (IShellFolder::GetUIObjectOf of their folder): a real CF_HDROP. Null on failure.
// All files must be in one folder.
IDataObject* ShellDataObject(const std::vector<std::wstring>& paths);

// A data object of our own that offers CF_HDROP with the given DROPFILES bytes, or no
// CF_HDROP at all when `bytes` is empty.
IDataObject* RawDropDataObject(const std::vector<unsigned char>& bytes);

// DROPFILES bytes for these names (wide), as the shell lays them out.
std::vector<unsigned char> DropFilesBytes(const std::vector<std::wstring>& names);

}  // namespace testsupport
