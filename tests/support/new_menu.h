// Windows 11's new context menu, played on our command as Explorer does: the shell item
// array of the selection, the site, and every question Explorer asks of the root command
// and its subcommands before and while the menu shows.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#include <string>
#include <vector>

#include "framework/com_ptr.h"

namespace testsupport {

// The shell's own item array for these paths (a real IShellItemArray); empty on failure.
// Several paths must be in one folder.
fw::ComPtr<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths);

// A site as the classic menu gives one (it answers IOleWindow), or as the new menu does
// (it answers nothing but IUnknown).
fw::ComPtr<IUnknown> MenuSite(bool classic, HWND window = nullptr);

// What Explorer read of one command.
struct NewMenuCommand {
  HRESULT stateResult = E_FAIL;
  EXPCMDSTATE state = ECS_HIDDEN;
  HRESULT titleResult = E_FAIL;
  std::wstring title;
  HRESULT iconResult = E_FAIL;
  std::wstring icon;  // "path,-id"
  EXPCMDFLAGS flags = 0;
  fw::ComPtr<IExplorerCommand> command;
  bool shown() const { return SUCCEEDED(stateResult) && state != ECS_HIDDEN; }
};

// The whole menu as a user would see it: the root and, when it has subcommands, each one.
struct NewMenu {
  NewMenuCommand root;
  HRESULT enumResult = E_FAIL;
  std::vector<NewMenuCommand> subcommands;
  // The shown subcommands' titles, in order.
  std::vector<std::wstring> ShownTitles() const;
  // The shown subcommand with this title, or null.
  const NewMenuCommand* Find(const std::wstring& title) const;
};

// Sets `site` (may be null), then asks what Explorer asks: the root's state, title, icon
// and flags, its subcommands, and each subcommand's state, title, icon and flags.
NewMenu ReadNewMenu(IExplorerCommand* root, IShellItemArray* items, IUnknown* site = nullptr);

// The resource number of a "path,-id" icon text; 0 when it has none.
unsigned IconResourceId(const std::wstring& icon);

}  // namespace testsupport
