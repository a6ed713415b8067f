// A handler made through the class's creation function, as the shell holds it, plus the
// settings and wallpaper files it writes, moved aside for a test and put back after.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellext/image_file_context_menu.h"
#include "test_support.h"

namespace testsupport {

struct Handler {
  Handler() {
    EXPECT_EQ(framewise::CreateImageFileContextMenu(nullptr, IID_IShellExtInit,
                                                    reinterpret_cast<void**>(&init)),
              S_OK);
    if (init) init->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu));
  }
  ~Handler() {
    if (menu) menu->Release();
    if (init) init->Release();
  }
  Handler(const Handler&) = delete;
  Handler& operator=(const Handler&) = delete;

  framewise::ImageFileContextMenu* get() { return static_cast<framewise::ImageFileContextMenu*>(init); }
  framewise::ImageFileContextMenu* operator->() { return get(); }
  HRESULT Initialize(IDataObject* data) { return init->Initialize(nullptr, data, nullptr); }
  HRESULT InitializeWithFiles(const std::vector<std::wstring>& paths) {
    IDataObject* data = ShellDataObject(paths);
    EXPECT_NE(data, nullptr);
    if (!data) return E_UNEXPECTED;
    const HRESULT hr = Initialize(data);
    data->Release();
    return hr;
  }
  HRESULT InitializeWithDrop(const std::vector<std::wstring>& names) {
    IDataObject* data = RawDropDataObject(DropFilesBytes(names));
    const HRESULT hr = Initialize(data);
    data->Release();
    return hr;
  }
  HRESULT Invoke(int offset, HWND owner = nullptr) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    return menu->InvokeCommand(&info);
  }

  IShellExtInit* init = nullptr;
  IContextMenu3* menu = nullptr;
};

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
