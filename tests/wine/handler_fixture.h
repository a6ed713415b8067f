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

// A shell menu with the handler's entry added (first identifier 100) and its submenu
// opened once, as the shell does on hovering the entry.
struct OpenedMenu {
  explicit OpenedMenu(Handler& h, UINT flags = CMF_NORMAL) : menu(CreatePopupMenu()) {
    query = h.menu->QueryContextMenu(menu, 0, 100, 400, flags);
    popup = GetMenuItemCount(menu) > 0 ? GetSubMenu(menu, 0) : nullptr;
    LRESULT result = 0;
    if (popup) opened = h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0, &result);
  }
  ~OpenedMenu() { DestroyMenu(menu); }
  OpenedMenu(const OpenedMenu&) = delete;
  OpenedMenu& operator=(const OpenedMenu&) = delete;

  // Command offsets of the submenu's items in order (separators as 0), and which are enabled.
  std::vector<int> Offsets() const {
    std::vector<int> offsets;
    for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) offsets.push_back(int(GetMenuItemID(popup, i)) - 100);
    return offsets;
  }
  bool Enabled(int offset) const {
    const UINT state = GetMenuState(popup, 100 + offset, MF_BYCOMMAND);
    return state != UINT(-1) && (state & (MF_DISABLED | MF_GRAYED)) == 0;
  }

  HMENU menu;
  HMENU popup = nullptr;
  HRESULT query = E_FAIL;
  HRESULT opened = E_FAIL;
};

}  // namespace testsupport
