// A handler made through the class's creation function, as the shell holds it, plus the
// settings and wallpaper files it writes, moved aside for a test and put back after.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "framework/win_owners.h"
#include "shellext/image_file_context_menu.h"
#include "tests/support/test_support.h"

namespace testsupport {

struct Handler {
  Handler() {
    EXPECT_EQ(framewise::CreateImageFileContextMenu(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
    if (init) {
      EXPECT_EQ(init.As(&menu), S_OK);
    }
  }
  Handler(const Handler&) = delete;
  Handler& operator=(const Handler&) = delete;

  framewise::ImageFileContextMenu* get() { return static_cast<framewise::ImageFileContextMenu*>(init.get()); }
  framewise::ImageFileContextMenu* operator->() { return get(); }
  HRESULT Initialize(IDataObject* data) { return init->Initialize(nullptr, data, nullptr); }
  HRESULT InitializeWithFiles(const std::vector<std::wstring>& paths) {
    const fw::ComPtr<IDataObject> data = ShellDataObject(paths);
    EXPECT_TRUE(data);
    if (!data) return E_UNEXPECTED;
    return Initialize(data.get());
  }
  HRESULT InitializeWithDrop(const std::vector<std::wstring>& names) {
    return Initialize(RawDropDataObject(DropFilesBytes(names)).get());
  }
  HRESULT Invoke(int offset, HWND owner = nullptr) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    return menu->InvokeCommand(&info);
  }

  // The menu reference goes first, then the handler's own.
  fw::ComPtr<IShellExtInit> init;
  fw::ComPtr<IContextMenu3> menu;
};

// A shell menu with the handler's entry added (first identifier 100) and its submenu
// opened once, as the shell does on hovering the entry.
struct OpenedMenu {
  explicit OpenedMenu(Handler& h, UINT flags = CMF_NORMAL) : owned(CreatePopupMenu()), menu(owned.get()) {
    query = h.menu->QueryContextMenu(menu, 0, 100, 400, flags);
    popup = GetMenuItemCount(menu) > 0 ? GetSubMenu(menu, 0) : nullptr;
    LRESULT result = 0;
    if (popup) opened = h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0, &result);
  }
  OpenedMenu(const OpenedMenu&) = delete;
  OpenedMenu& operator=(const OpenedMenu&) = delete;

  // Command offsets of the submenu's items in order (separators as 0).
  std::vector<int> Offsets() const {
    std::vector<int> offsets;
    for (int i = 0; popup && i < GetMenuItemCount(popup); ++i) offsets.push_back(int(GetMenuItemID(popup, i)) - 100);
    return offsets;
  }

  fw::UniqueMenu owned;
  HMENU menu;  // the shell's menu, owned above; the submenu goes with it
  HMENU popup = nullptr;
  HRESULT query = E_FAIL;
  HRESULT opened = E_FAIL;
};

}  // namespace testsupport
