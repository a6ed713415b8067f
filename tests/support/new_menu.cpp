#include "tests/support/new_menu.h"

#include <oleidl.h>
#include <shlobj.h>

#include "framework/task_memory.h"
#include "tests/support/stand_in_factory.h"

namespace testsupport {

namespace {

// The item ids of one folder's files, owned, as SHCreateShellItemArrayFromIDLists takes them.
struct IdLists {
  std::vector<fw::TaskMemory<ITEMIDLIST_ABSOLUTE>> owned;
  std::vector<PCIDLIST_ABSOLUTE> lists;
};

std::wstring TakeString(LPWSTR text) {
  const fw::TaskMemory<wchar_t> owned(text);
  return owned ? std::wstring(owned.get()) : std::wstring();
}

void ReadCommand(IExplorerCommand* command, IShellItemArray* items, NewMenuCommand* out) {
  out->command = fw::ComPtr<IExplorerCommand>::Share(command);
  EXPCMDSTATE state = ECS_HIDDEN;
  out->stateResult = command->GetState(items, TRUE, &state);
  out->state = state;
  LPWSTR text = nullptr;
  out->titleResult = command->GetTitle(items, &text);
  out->title = TakeString(text);
  text = nullptr;
  out->iconResult = command->GetIcon(items, &text);
  out->icon = TakeString(text);
  EXPCMDFLAGS flags = 0;
  if (SUCCEEDED(command->GetFlags(&flags))) out->flags = flags;
}

// A site of the classic menu: it answers IOleWindow with a window.
class ClassicSite final : public standin::StandInObject<IOleWindow> {
 public:
  explicit ClassicSite(HWND window) : StandInObject(IID_IOleWindow), window_(window) {}
  STDMETHODIMP GetWindow(HWND* window) override {
    if (!window) return E_POINTER;
    *window = window_;
    return S_OK;
  }
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

 private:
  HWND window_;
};

// A site of the new menu: nothing but IUnknown.
class NewMenuSite final : public standin::StandInObject<IUnknown> {
 public:
  NewMenuSite() : StandInObject(IID_IUnknown) {}
};

}  // namespace

fw::ComPtr<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths) {
  fw::ComPtr<IShellItemArray> array;
  if (paths.size() == 1) {
    fw::ComPtr<IShellItem> item;
    if (FAILED(SHCreateItemFromParsingName(paths[0].c_str(), nullptr, IID_IShellItem, item.put_void())) ||
        FAILED(SHCreateShellItemArrayFromShellItem(item.get(), IID_IShellItemArray, array.put_void()))) {
      array.reset();
    }
    return array;
  }
  IdLists ids;
  for (const std::wstring& path : paths) {
    fw::TaskMemory<ITEMIDLIST_ABSOLUTE> id(ILCreateFromPathW(path.c_str()));
    if (!id) return array;
    ids.lists.push_back(id.get());
    ids.owned.push_back(std::move(id));
  }
  if (FAILED(SHCreateShellItemArrayFromIDLists(static_cast<UINT>(ids.lists.size()), ids.lists.data(), array.put()))) {
    array.reset();
  }
  return array;
}

fw::ComPtr<IUnknown> MenuSite(bool classic, HWND window) {
  fw::ComPtr<IUnknown> site;
  if (classic) {
    site = fw::ComPtr<IUnknown>::Attach(static_cast<IOleWindow*>(new ClassicSite(window)));
  } else {
    site = fw::ComPtr<IUnknown>::Attach(new NewMenuSite());
  }
  return site;
}

std::vector<std::wstring> NewMenu::ShownTitles() const {
  std::vector<std::wstring> titles;
  for (const NewMenuCommand& sub : subcommands) {
    if (sub.shown()) titles.push_back(sub.title);
  }
  return titles;
}

const NewMenuCommand* NewMenu::Find(const std::wstring& title) const {
  for (const NewMenuCommand& sub : subcommands) {
    if (sub.shown() && sub.title == title) return &sub;
  }
  return nullptr;
}

NewMenu ReadNewMenu(IExplorerCommand* root, IShellItemArray* items, IUnknown* site) {
  NewMenu menu;
  fw::ComPtr<IObjectWithSite> withSite;
  if (SUCCEEDED(root->QueryInterface(IID_IObjectWithSite, withSite.put_void()))) withSite->SetSite(site);
  ReadCommand(root, items, &menu.root);
  if (!menu.root.shown() || (menu.root.flags & ECF_HASSUBCOMMANDS) == 0) return menu;
  fw::ComPtr<IEnumExplorerCommand> list;
  menu.enumResult = root->EnumSubCommands(list.put());
  if (FAILED(menu.enumResult) || !list) return menu;
  for (;;) {
    fw::ComPtr<IExplorerCommand> sub;
    ULONG fetched = 0;
    if (list->Next(1, sub.put(), &fetched) != S_OK || fetched != 1 || !sub) break;
    NewMenuCommand read;
    ReadCommand(sub.get(), items, &read);
    menu.subcommands.push_back(std::move(read));
  }
  return menu;
}

unsigned IconResourceId(const std::wstring& icon) {
  const size_t comma = icon.rfind(L",-");
  if (comma == std::wstring::npos) return 0;
  return static_cast<unsigned>(wcstoul(icon.c_str() + comma + 2, nullptr, 10));
}

}  // namespace testsupport
