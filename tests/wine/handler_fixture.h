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

}  // namespace testsupport
