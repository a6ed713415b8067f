// The new context menu's command (Windows 11): the entry with one level of subcommands,
// created by Explorer from the app package's registration. It never sees IShellExtInit:
// the selection comes as a shell item array to each call.
#pragma once

#include <windows.h>
#include <shobjidl.h>

namespace framewise {

// The class factory's creation function for the root command (no aggregation).
HRESULT CreateExplorerCommand(IUnknown* outer, REFIID iid, void** object);

}  // namespace framewise
