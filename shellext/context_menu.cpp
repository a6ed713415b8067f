// The handler's menu: the submenu entry, its items, help texts and commands.
#include "shellext/image_file_context_menu.h"

namespace framewise {

HRESULT ImageFileContextMenu::QueryContextMenu(HMENU, UINT, UINT, UINT, UINT) { return E_NOTIMPL; }
HRESULT ImageFileContextMenu::InvokeCommand(CMINVOKECOMMANDINFO*) { return E_NOTIMPL; }
HRESULT ImageFileContextMenu::GetCommandString(UINT_PTR, UINT, UINT*, LPSTR, UINT) { return E_NOTIMPL; }
HRESULT ImageFileContextMenu::HandleMenuMsg(UINT, WPARAM, LPARAM) { return E_NOTIMPL; }
HRESULT ImageFileContextMenu::HandleMenuMsg2(UINT, WPARAM, LPARAM, LRESULT*) { return E_NOTIMPL; }
HRESULT ImageFileContextMenu::PopulateSubmenu(HMENU, LRESULT*) { return E_NOTIMPL; }

}  // namespace framewise
