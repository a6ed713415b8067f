// The handler's menu: the submenu entry, its items, help texts and commands.
#include "shellext/image_file_context_menu.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "build_config.h"
#include "framework/app.h"
#include "framework/strings.h"
#include "framework/win_owners.h"
#include "resources/resource_ids.h"
#include "settings/update_checker.h"
#include "settings/version.h"
#include "shellext/menu_commands.h"
#include "shellext/menu_look.h"
#include "shellext/menu_support.h"
#include "shellext/portable/access_keys.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

int ownerDrawSupported = -1;

namespace {

// The entry's bitmaps, loaded once per process: the menu does not own an item's bitmap,
// so loading one per right-click would leak a GDI object each time.
fw::UniqueBitmap g_entryBitmaps[2];  // [0] 13x13, [1] 16x16

HBITMAP EntryBitmap(bool large) {
  fw::UniqueBitmap& slot = g_entryBitmaps[large ? 1 : 0];
  if (!slot) {
    slot.reset(static_cast<HBITMAP>(LoadImageW(fw::ResourceInstance(),
                                               MAKEINTRESOURCEW(large ? IDB_MENU_ENTRY_LARGE : IDB_MENU_ENTRY_SMALL),
                                               IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR)));
  }
  return slot.get();
}

}  // namespace

void ReleaseMenuBitmaps() {
  for (fw::UniqueBitmap& bitmap : g_entryBitmaps) bitmap.reset();
}

bool DecideOwnerDrawSupported(DllGetVersionFunction getVersion) {
  if (!getVersion) return false;
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof(DLLVERSIONINFO);  // 20 bytes
  const HRESULT hr = getVersion(&info);
  return OwnerDrawSupportedByShell(SUCCEEDED(hr), info.dwMajorVersion, info.dwMinorVersion);
}

static bool OwnerDrawSupported() {
  if (ownerDrawSupported < 0) {
    HMODULE shell = GetModuleHandleW(L"shell32");
    auto getVersion = shell ? reinterpret_cast<DllGetVersionFunction>(
                                  reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")))
                            : nullptr;
    ownerDrawSupported = DecideOwnerDrawSupported(getVersion) ? 1 : 0;
  }
  return ownerDrawSupported == 1;
}

HRESULT ImageFileContextMenu::QueryContextMenu(HMENU menu, UINT indexMenu, UINT idCmdFirst,
                                               UINT idCmdLast, UINT flags) {
  try {
    fw::ModuleStateScope state;
    if ((flags & CMF_DEFAULTONLY) != 0 || fileCount != 1) return S_OK;
    // A range too narrow for our identifiers: add nothing rather than collide.
    if (idCmdLast < idCmdFirst || idCmdLast - idCmdFirst < kLastMenuOffset + 1) {
      return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 0);
    }
    firstCommandId = static_cast<int>(idCmdFirst);
    // The groups of several monitors need more identifiers; without them, today's menu.
    if (!FindSeveralMonitors() || idCmdLast - idCmdFirst < kLastSeveralMonitorsOffset + 1) {
      monitors.reset();
    }
    const unsigned claimed = monitors ? kSeveralMonitorsCommandCount : kMenuCommandCount;

    fw::UniqueMenu popup(CreatePopupMenu());
    if (!popup) return E_OUTOFMEMORY;
    // A placeholder: the real items are inserted when the submenu first opens.
    MENUITEMINFOW placeholder = {};
    placeholder.cbSize = sizeof(placeholder);
    placeholder.fMask = MIIM_ID | MIIM_TYPE;
    placeholder.fType = MFT_SEPARATOR;
    placeholder.wID = idCmdFirst;
    if (!InsertMenuItemW(popup.get(), 0, TRUE, &placeholder)) return E_FAIL;
    if (!InsertMenuW(menu, indexMenu, MF_BYPOSITION | MF_POPUP,
                     reinterpret_cast<UINT_PTR>(popup.get()), kMenuEntryText)) {
      return E_FAIL;
    }
    popup.release();  // the menu owns it now

    int dpi = 96;
    {
      fw::WindowDc screen(nullptr);
      if (screen) dpi = GetDeviceCaps(screen.get(), LOGPIXELSY);
    }
    if (HBITMAP bitmap = EntryBitmap(dpi >= 120)) {
      SetMenuItemBitmaps(menu, indexMenu, MF_BYPOSITION, bitmap, nullptr);
    }
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, claimed);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

namespace {

// Whether a popup is our entry's, still holding only the placeholder QueryContextMenu put
// there. A filled submenu never begins with a separator.
bool HoldsOurPlaceholder(HMENU popup, int firstCommandId) {
  if (!popup || firstCommandId < 0 || GetMenuItemCount(popup) != 1) return false;
  MENUITEMINFOW info = {};
  info.cbSize = sizeof(info);
  info.fMask = MIIM_ID | MIIM_FTYPE;
  if (!GetMenuItemInfoW(popup, 0, TRUE, &info)) return false;
  return (info.fType & MFT_SEPARATOR) != 0 && info.wID == static_cast<UINT>(firstCommandId);
}

}  // namespace

HRESULT ImageFileContextMenu::PopulateSubmenu(HMENU popup, LRESULT* result) {
  *result = 0;
  if (!HoldsOurPlaceholder(popup, firstCommandId)) return S_OK;
  if (!DeleteMenu(popup, 0, MF_BYPOSITION)) return E_FAIL;
  if (!OwnerDrawSupported()) return E_FAIL;
  DecodePreview();
  const bool unreadable = previewState != PreviewState::Decoded;
  const bool updateKnown = UpdateFound != 0;
  const wchar_t* liveText = UpdateText;

  // The rows first, separators as null records: the access keys are chosen over every
  // item's text before any item is inserted.
  menuItems.clear();
  groupMenus.clear();
  imageColumnWidth = 0;
  submenu = popup;
  std::vector<Row> rows;
  auto addItem = [&](std::vector<Row>* to, int offset, std::wstring text, bool previewRow,
                     bool enabled) {
    auto item = std::make_unique<MenuItem>();
    item->text = std::move(text);
    item->preview = previewRow && !unreadable;
    item->enabled = enabled;
    to->push_back(Row{offset, std::move(item), nullptr});
  };
  if (monitors) ReadMonitorGroups();
  bool groupsAdded = !monitors;
  // Pixels that do not decode: one line says so, and the picture's rows cannot be chosen.
  if (unreadable)
    addItem(&rows, kUnreadableLineOffset, fw::LoadResourceString(IDS_PICTURE_UNREADABLE), false,
            false);
  for (const MenuEntry* row : SelectMenuRows(pictureShape, updateKnown)) {
    if (row->kind == MenuRowKind::Separator) {
      rows.push_back(Row{0, nullptr, nullptr});
      continue;
    }
    // Several monitors: the groups follow today's fitting rows.
    if (!groupsAdded && row->offset > FitModeBestFit) {
      groupsAdded = true;
      for (int group : {SpanGroupCommand, OneMonitorGroupCommand}) {
        const PictureShape shape = group == SpanGroupCommand ? spanShape : monitorShape;
        fw::UniqueMenu child(CreatePopupMenu());
        if (!child) return E_OUTOFMEMORY;
        std::vector<Row> childRows;
        for (const MenuEntry* groupRow : SelectGroupRows(group, shape)) {
          addItem(&childRows, groupRow->offset, fw::LoadResourceString(groupRow->textId), true,
                  !unreadable);
        }
        const HRESULT hr = InsertRows(child.get(), &childRows);
        if (FAILED(hr)) return hr;
        const MenuEntry* groupRow = FindGroupRow(group);
        addItem(&rows, group, fw::LoadResourceString(groupRow->textId), false, !unreadable);
        rows.back().child = child.get();
        groupMenus.push_back(child.release());  // the submenu owns it once inserted
      }
      rows.push_back(Row{0, nullptr, nullptr});
    }
    std::wstring text = row->liveText && liveText && *liveText ? std::wstring(liveText)
                                                               : fw::LoadResourceString(row->textId);
    addItem(&rows, row->offset, std::move(text), row->preview, !(row->preview && unreadable));
  }
  const HRESULT hr = InsertRows(popup, &rows);
  if (FAILED(hr)) return hr;
  return LayOutMenuItems();
}

HRESULT ImageFileContextMenu::InsertRows(HMENU popup, std::vector<Row>* rows) {
  std::vector<std::wstring> texts;
  for (const Row& row : *rows) {
    if (row.item) texts.push_back(row.item->text);
  }
  const std::vector<size_t> keys = ChooseAccessKeys(texts);

  UINT position = 0;
  size_t itemIndex = 0;
  for (Row& row : *rows) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE;
    info.wID = static_cast<UINT>(firstCommandId + row.offset);
    if (!row.item) {
      info.fType = MFT_SEPARATOR;
      if (!InsertMenuItemW(popup, position++, TRUE, &info)) return E_OUTOFMEMORY;
      continue;
    }
    MenuItem& item = *row.item;
    const size_t key = keys[itemIndex++];
    item.menuString = MenuString(item.text, key);
    item.key = key == kNoAccessKey ? L'\0' : FoldAccessKey(item.text[key]);
    item.accessible.dwMSAASignature = MSAA_MENU_SIG;
    item.accessible.cchWText = static_cast<DWORD>(item.menuString.size());
    item.accessible.pszWText = &item.menuString[0];
    // Owner-drawn, and with its string too: the system matches typed keys against it.
    info.fMask |= MIIM_STATE | MIIM_STRING | MIIM_DATA;
    info.fType = MFT_OWNERDRAW;
    info.fState = item.enabled ? MFS_ENABLED : MFS_DISABLED;
    info.dwTypeData = &item.menuString[0];
    info.dwItemData = reinterpret_cast<ULONG_PTR>(&item.accessible);
    if (row.child) {
      info.fMask |= MIIM_SUBMENU;
      info.hSubMenu = row.child;
    }
    if (!InsertMenuItemW(popup, position++, TRUE, &info)) {
      if (row.child) DestroyMenu(row.child);
      return E_OUTOFMEMORY;
    }
    menuItems[row.offset] = std::move(row.item);
  }
  return S_OK;
}

bool ImageFileContextMenu::FindSeveralMonitors() {
  monitors = std::make_unique<MonitorWallpapers>();
  if (!monitors->Find()) monitors.reset();
  return static_cast<bool>(monitors);
}

void ImageFileContextMenu::ReadMonitorGroups() {
  physicalRead = monitors->Layout(&physical);
  // The menu's own window, else the cursor's monitor.
  menuMonitor = monitors->MenuMonitor(ShowingMenuWindow());
  uint32_t width = 0, height = 0;
  UprightSize(header, &width, &height);
  const float aspect = height ? static_cast<float>(double(width) / double(height)) : 1.0f;
  const CanvasRect& bounds = physical.layout.bounds;
  if (physicalRead && bounds.Height() > 0) {
    spanShape = ClassifyPicture(aspect, bounds.Width() / bounds.Height());
  }
  if (menuMonitor >= 0) {
    monitorShape = ClassifyPicture(
        aspect, AspectOf(monitors->monitors()[static_cast<size_t>(menuMonitor)].work));
  }
}

HRESULT ImageFileContextMenu::GetCommandString(UINT_PTR idCmd, UINT flags, UINT*, LPSTR name,
                                               UINT cchMax) {
  try {
    fw::ModuleStateScope state;
    if (idCmd > (monitors ? kLastSeveralMonitorsOffset : kLastMenuOffset)) return E_INVALIDARG;
    if (flags != GCS_HELPTEXTA && flags != GCS_HELPTEXTW) return E_INVALIDARG;
    const MenuEntry* row = FindItemRow(static_cast<int>(idCmd));
    if (!row && monitors) row = FindGroupRow(static_cast<int>(idCmd));
    if (!row) return S_OK;
    unsigned helpId = row->helpTextId;
    // A span laid out by pixels says so: the monitors' sizes were not to be had.
    if (helpId == IDS_HELP_SPAN && physicalRead && !physical.layout.physical) {
      helpId = IDS_HELP_SPAN_PIXELS;
    }
    const std::wstring text = fw::LoadResourceString(helpId);
    if (text.empty()) return S_OK;
    if (!name || cchMax == 0) return E_INVALIDARG;
    if (flags == GCS_HELPTEXTW) {
      lstrcpynW(reinterpret_cast<LPWSTR>(name), text.c_str(), static_cast<int>(cchMax));
    } else {
      const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
      if (size <= 0) return E_FAIL;
      std::string converted(static_cast<size_t>(size), '\0');
      WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, &converted[0], size, nullptr, nullptr);
      lstrcpynA(name, converted.c_str(), static_cast<int>(cchMax));
    }
    return S_OK;
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ImageFileContextMenu::InvokeCommand(CMINVOKECOMMANDINFO* info) {
  try {
    fw::ModuleStateScope state;
    if (!info) return E_INVALIDARG;
    if (!IS_INTRESOURCE(info->lpVerb)) return E_INVALIDARG;  // a verb given as a string
    const int offset = LOWORD(reinterpret_cast<UINT_PTR>(info->lpVerb));
    // The one-monitor rows showed the monitor the menu opened on: that one gets it.
    std::wstring monitorId;
    if (monitors && menuMonitor >= 0) {
      monitorId = monitors->monitors()[static_cast<size_t>(menuMonitor)].id;
    }
    return RunMenuCommand(offset, picturePath, info->hwnd, monitorId);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

}  // namespace framewise
