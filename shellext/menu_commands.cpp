#include "shellext/menu_commands.h"

#include <shellapi.h>

#include "fitting/fitting_command.h"
#include "fitting/portable/geometry.h"
#include "framework/module_path.h"
#include "framework/win_owners.h"
#include "settings/about_box.h"
#include "settings/web_pages.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

namespace {

constexpr wchar_t kHelpFileName[] = L"Framewise.chm";
// The HTML Help control's class: its registered file is the help engine to load.
constexpr char kHtmlHelpServerKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr WORD kHtmlHelpOrdinal = 15;  // HtmlHelpW

using HtmlHelpFunction = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

void OpenWebPage(const wchar_t* path) {
  const std::wstring address = WebPageAddress(path);
  ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOW);
}

void OpenHelp(HWND owner) {
  std::wstring module;
  bool opened = false;
  if (fw::GetModulePath(fw::CodeModule(), &module)) {
    const std::wstring path = fw::FolderOf(module) + kHelpFileName;
    opened = LoadHtmlHelp(owner, path.c_str(), 1 /* HH_DISPLAY_TOC */, 0) != nullptr;
  }
  if (!opened) OpenWebPage(kHelpPagePath);
}

}  // namespace

HWND LoadHtmlHelp(HWND owner, const wchar_t* path, UINT command, DWORD_PTR data) {
  static bool tried = false;
  static HtmlHelpFunction htmlHelp = nullptr;
  if (!tried) {
    tried = true;
    HMODULE module = nullptr;
    fw::UniqueHKey key;
    if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHtmlHelpServerKey, 0, KEY_READ, key.put()) == ERROR_SUCCESS) {
      char file[MAX_PATH] = {};
      DWORD size = sizeof(file) - 1;  // room for a terminator the value may lack
      DWORD type = 0;
      if (RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(file), &size) ==
              ERROR_SUCCESS &&
          (type == REG_SZ || type == REG_EXPAND_SZ)) {
        module = LoadLibraryA(file);
      }
    }
    if (!module) module = LoadLibraryW(L"hhctrl.ocx");
    // Kept for the rest of the process.
    if (module) {
      htmlHelp = reinterpret_cast<HtmlHelpFunction>(
          reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(kHtmlHelpOrdinal))));
    }
  }
  return htmlHelp ? htmlHelp(owner, path, command, data) : nullptr;
}

HRESULT RunMenuCommand(int offset, const std::wstring& picturePath, HWND owner,
                       const std::wstring& monitorId) {
  int mode = 0;
  CommandTarget target = CommandTarget::EveryMonitor;
  if (SplitFittingOffset(offset, &mode, &target)) {
    if (target == CommandTarget::EveryMonitor) {
      return RunFittingCommand(picturePath, mode, owner, CommandProgress::Window);
    }
    return RunTargetedCommand(
        picturePath, mode,
        target == CommandTarget::Span ? WallpaperTarget::Span : WallpaperTarget::OneMonitor,
        monitorId, owner, CommandProgress::Window);
  }
  switch (offset) {
    case UpdateInfoCommand:
      OpenWebPage(kUpdatePagePath);
      return S_OK;
    case HelpCommand:
      OpenHelp(owner);
      return S_OK;
    case AboutCommand:
      ShowAboutBox(owner);
      return S_OK;
    default:
      return E_INVALIDARG;
  }
}

}  // namespace framewise
