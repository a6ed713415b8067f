// The new context menu's command: the same rows as the classic submenu, read from the
// same table, and the same commands, run through the same code.
#include "shellext/explorer_command.h"

#include <oleidl.h>
#include <shlwapi.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "fitting/imaging.h"
#include "fitting/monitor_wallpapers.h"
#include "fitting/physical_desktop.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/picture_header.h"
#include "framework/app.h"
#include "framework/app_theme.h"
#include "framework/com_ptr.h"
#include "framework/gdiplus_owners.h"
#include "framework/module_path.h"
#include "framework/strings.h"
#include "framework/task_memory.h"
#include "settings/update_checker.h"
#include "shellext/guids.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/menu_commands.h"
#include "shellext/module.h"
#include "resources/resource_ids.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

namespace {

// Copies a text into task memory for the shell, which frees it.
HRESULT ShellString(const std::wstring& text, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  return SHStrDupW(text.c_str(), out);
}

// The file-system path of a selection of exactly one item; false for none, several, or
// an item that has no path (a phone's storage, a file inside an archive).
bool SinglePath(IShellItemArray* items, std::wstring* path) {
  path->clear();
  DWORD count = 0;
  if (!items || FAILED(items->GetCount(&count)) || count != 1) return false;
  fw::ComPtr<IShellItem> item;
  if (FAILED(items->GetItemAt(0, item.put())) || !item) return false;
  fw::TaskMemory<wchar_t> name;
  if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, name.put())) || !name || !*name.get()) return false;
  path->assign(name.get());
  return true;
}

// What the shell's selection is to the command, read from the picture's header only and
// kept for the path it was read for: the shell asks the root and each subcommand in turn
// about the same selection while the menu opens. Shared by a root and its subcommands.
class SelectionReader {
 public:
  // The upright shape of the selected picture; false when the selection is not exactly one
  // picture a decoder takes whose header reads.
  bool Read(IShellItemArray* items, PictureShape* shape, std::wstring* path) {
    std::wstring selected;
    if (!SinglePath(items, &selected)) return false;
    if (!read_ || selected != path_) {
      read_ = true;
      path_ = selected;
      readable_ = ReadFile();
    }
    if (!readable_) return false;
    *shape = shape_;
    if (path) *path = path_;
    return true;
  }

  // The path read last, if the last selection was a picture.
  bool LastPath(std::wstring* path) const {
    if (!read_ || !readable_) return false;
    *path = path_;
    return true;
  }

  // The shape read last, if the last selection was a picture.
  bool Last(PictureShape* shape) const {
    if (!read_ || !readable_) return false;
    *shape = shape_;
    return true;
  }

 private:
  bool ReadFile() {
    if (!gdiplus_) gdiplus_ = fw::StartGdiplus();  // the decoders' list needs it
    if (!gdiplus_) return false;
    PictureHeader header;
    double screenAspect = 1.0;
    return ReadPictureForMenu(path_, &header, &screenAspect, &shape_) == S_OK;
  }

  bool read_ = false;
  bool readable_ = false;
  std::wstring path_;
  PictureShape shape_ = WiderThanScreen;
  fw::GdiplusToken gdiplus_;
};

// The owner window for a command's windows: the site's, where it has one.
HWND SiteWindow(IUnknown* site) {
  fw::ComPtr<IOleWindow> window;
  HWND hwnd = nullptr;
  if (site && SUCCEEDED(site->QueryInterface(IID_IOleWindow, window.put_void())) && window &&
      FAILED(window->GetWindow(&hwnd))) {
    hwnd = nullptr;
  }
  return hwnd;
}

// An icon of this DLL as the shell takes it: "path,-id".
HRESULT ModuleIcon(unsigned id, LPWSTR* out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (id == 0) return E_NOTIMPL;
  std::wstring module;
  if (!fw::GetModulePath(fw::CodeModule(), &module)) return E_FAIL;
  return ShellString(module + L",-" + std::to_wstring(id), out);
}

// The plumbing every command object shares: a module lock for its life, an interlocked
// count, and the site the shell gives it.
template <typename Derived, typename Interface>
class ComObject : public Interface, public IObjectWithSite {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
      *object = static_cast<Interface*>(this);
    } else if (IsEqualIID(iid, IID_IObjectWithSite)) {
      *object = static_cast<IObjectWithSite*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&refs_);
    if (count == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(count);
  }

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) override {
    site_ = fw::ComPtr<IUnknown>::Share(site);
    return S_OK;
  }
  STDMETHODIMP GetSite(REFIID iid, void** site) override {
    if (!site) return E_POINTER;
    *site = nullptr;
    if (!site_) return E_FAIL;
    return site_->QueryInterface(iid, site);
  }

 protected:
  ComObject() { Module().Lock(); }
  virtual ~ComObject() { Module().Unlock(); }
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  fw::ComPtr<IUnknown> site_;

 private:
  volatile LONG refs_ = 1;  // the creator's
};

// The methods a command answers alike, with every exception stopped at the boundary.
template <typename Derived>
class CommandBase : public ComObject<Derived, IExplorerCommand> {
 public:
  STDMETHODIMP GetTitle(IShellItemArray* items, LPWSTR* name) override {
    return Guard([&] { return self().Title(items, name); });
  }
  STDMETHODIMP GetIcon(IShellItemArray*, LPWSTR* icon) override {
    return Guard([&] { return ModuleIcon(self().IconId(), icon); });
  }
  STDMETHODIMP GetToolTip(IShellItemArray*, LPWSTR* tip) override {
    return Guard([&] { return self().ToolTip(tip); });
  }
  STDMETHODIMP GetCanonicalName(GUID* name) override {
    if (!name) return E_POINTER;
    *name = GUID_NULL;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) override {
    if (!state) return E_POINTER;
    *state = ECS_HIDDEN;
    return Guard([&] { return self().State(items, state); });
  }
  STDMETHODIMP Invoke(IShellItemArray* items, IBindCtx*) override {
    return Guard([&] { return self().Run(items); });
  }
  STDMETHODIMP GetFlags(EXPCMDFLAGS* flags) override {
    if (!flags) return E_POINTER;
    *flags = self().Flags();
    return S_OK;
  }
  STDMETHODIMP EnumSubCommands(IEnumExplorerCommand** commands) override {
    if (!commands) return E_POINTER;
    *commands = nullptr;
    return Guard([&] { return self().SubCommands(commands); });
  }

 protected:
  template <typename Body>
  static HRESULT Guard(Body body) {
    try {
      fw::ModuleStateScope state;
      return body();
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  Derived& self() { return *static_cast<Derived*>(this); }
};

// The subcommands, handed out in order.
class CommandList final : public IEnumExplorerCommand {
 public:
  explicit CommandList(std::vector<fw::ComPtr<IExplorerCommand>> commands, ULONG next = 0)
      : commands_(std::move(commands)), next_(next) {
    Module().Lock();
  }

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!IsEqualIID(iid, IID_IUnknown) && !IsEqualIID(iid, IID_IEnumExplorerCommand)) return E_NOINTERFACE;
    *object = static_cast<IEnumExplorerCommand*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&refs_);
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  STDMETHODIMP Next(ULONG wanted, IExplorerCommand** out, ULONG* fetched) override {
    if (!out || (wanted != 1 && !fetched)) return E_POINTER;
    ULONG given = 0;
    while (given < wanted && next_ < commands_.size()) {
      out[given] = fw::ComPtr<IExplorerCommand>(commands_[next_]).detach();
      ++given;
      ++next_;
    }
    if (fetched) *fetched = given;
    return given == wanted ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    const ULONG left = static_cast<ULONG>(commands_.size()) - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    next_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumExplorerCommand** copy) override {
    if (!copy) return E_POINTER;
    *copy = new (std::nothrow) CommandList(commands_, next_);
    return *copy ? S_OK : E_OUTOFMEMORY;
  }

 private:
  ~CommandList() { Module().Unlock(); }
  CommandList(const CommandList&) = delete;
  CommandList& operator=(const CommandList&) = delete;

  std::vector<fw::ComPtr<IExplorerCommand>> commands_;
  ULONG next_;
  volatile LONG refs_ = 1;
};

// What the groups of several monitors need: the monitor the menu opened on, the picture's
// shape against the span and against that monitor, and whether the span is physical.
struct MonitorGroups {
  std::wstring monitorId;
  uint32_t spanShape = WiderThanScreen;
  uint32_t monitorShape = WiderThanScreen;
  bool physical = false;
};

// One row of the submenu as a command of its own.
class SubCommand final : public CommandBase<SubCommand> {
 public:
  SubCommand(const MenuEntry* row, std::shared_ptr<SelectionReader> selection,
             std::shared_ptr<const MonitorGroups> groups = nullptr, uint32_t groupShape = 0)
      : row_(row),
        selection_(std::move(selection)),
        groups_(std::move(groups)),
        groupShape_(groupShape) {}

  HRESULT Title(IShellItemArray*, LPWSTR* name) const {
    const wchar_t* live = UpdateText;
    const std::wstring text = row_->liveText && live && *live ? std::wstring(live)
                                                              : fw::LoadResourceString(row_->textId);
    return ShellString(text, name);
  }
  unsigned IconId() const { return CommandIconId(row_->offset, fw::AppsUseDarkTheme()); }
  HRESULT ToolTip(LPWSTR* tip) const {
    unsigned id = row_->helpTextId;
    if (id == IDS_HELP_SPAN && groups_ && !groups_->physical) id = IDS_HELP_SPAN_PIXELS;
    return ShellString(fw::LoadResourceString(id), tip);
  }
  HRESULT State(IShellItemArray* items, EXPCMDSTATE* state) const {
    PictureShape shape = WiderThanScreen;
    if (!selection_->Read(items, &shape, nullptr)) return S_OK;  // hidden
    // A group's row answers to the picture's shape against the span or that monitor.
    const uint32_t against = groupShape_ ? groupShape_ : static_cast<uint32_t>(shape);
    if (ItemRowShown(*row_, against, UpdateFound != 0)) *state = ECS_ENABLED;
    return S_OK;
  }
  HRESULT Run(IShellItemArray* items) const {
    PictureShape shape = WiderThanScreen;
    std::wstring path;
    if (!selection_->Read(items, &shape, &path)) return E_INVALIDARG;
    return RunMenuCommand(row_->offset, path, SiteWindow(site_.get()),
                          groups_ ? groups_->monitorId : std::wstring());
  }
  EXPCMDFLAGS Flags() const { return ECF_DEFAULT; }
  HRESULT SubCommands(IEnumExplorerCommand**) const { return E_NOTIMPL; }

 private:
  const MenuEntry* row_;
  std::shared_ptr<SelectionReader> selection_;
  std::shared_ptr<const MonitorGroups> groups_;
  uint32_t groupShape_;
};

// A group of several monitors ("Span All Monitors", "On This Monitor Only"): a command
// that opens its fitting rows.
class GroupCommand final : public CommandBase<GroupCommand> {
 public:
  GroupCommand(int group, std::shared_ptr<SelectionReader> selection,
               std::shared_ptr<const MonitorGroups> groups)
      : group_(group), selection_(std::move(selection)), groups_(std::move(groups)) {}

  HRESULT Title(IShellItemArray*, LPWSTR* name) const {
    return ShellString(fw::LoadResourceString(FindGroupRow(group_)->textId), name);
  }
  unsigned IconId() const { return 0; }
  HRESULT ToolTip(LPWSTR* tip) const {
    unsigned id = FindGroupRow(group_)->helpTextId;
    if (id == IDS_HELP_SPAN && !groups_->physical) id = IDS_HELP_SPAN_PIXELS;
    return ShellString(fw::LoadResourceString(id), tip);
  }
  HRESULT State(IShellItemArray* items, EXPCMDSTATE* state) const {
    PictureShape shape = WiderThanScreen;
    if (selection_->Read(items, &shape, nullptr)) *state = ECS_ENABLED;
    return S_OK;
  }
  HRESULT Run(IShellItemArray*) const { return E_NOTIMPL; }
  EXPCMDFLAGS Flags() const { return ECF_HASSUBCOMMANDS; }
  HRESULT SubCommands(IEnumExplorerCommand** commands) {
    const uint32_t shape = group_ == SpanGroupCommand ? groups_->spanShape : groups_->monitorShape;
    std::vector<fw::ComPtr<IExplorerCommand>> list;
    for (const MenuEntry* row : SelectGroupRows(group_, shape)) {
      SubCommand* command = new (std::nothrow) SubCommand(row, selection_, groups_, shape);
      if (!command) return E_OUTOFMEMORY;
      fw::ComPtr<IExplorerCommand> owned = fw::ComPtr<IExplorerCommand>::Attach(command);
      if (site_) command->SetSite(site_.get());
      list.push_back(std::move(owned));
    }
    *commands = new (std::nothrow) CommandList(std::move(list));
    return *commands ? S_OK : E_OUTOFMEMORY;
  }

 private:
  int group_;
  std::shared_ptr<SelectionReader> selection_;
  std::shared_ptr<const MonitorGroups> groups_;
};

// The groups for the picture at `path` on a desktop of several monitors; null with one
// monitor or without the per-monitor wallpaper object.
std::shared_ptr<const MonitorGroups> ReadMonitorGroups(const std::wstring& path) {
  MonitorWallpapers monitors;
  if (!monitors.Find()) return nullptr;
  auto groups = std::make_shared<MonitorGroups>();
  PictureHeader header;
  uint32_t width = 1, height = 1;
  if (ReadPictureFileHeader(path.c_str(), &header)) UprightSize(header, &width, &height);
  const float aspect = height ? static_cast<float>(double(width) / double(height)) : 1.0f;
  PhysicalDesktop desktop;
  if (monitors.Layout(&desktop) && desktop.layout.bounds.Height() > 0) {
    groups->physical = desktop.layout.physical;
    groups->spanShape =
        ClassifyPicture(aspect, desktop.layout.bounds.Width() / desktop.layout.bounds.Height());
  }
  // The new menu's own window is not ours to ask: the cursor's monitor.
  const int index = monitors.MenuMonitor(nullptr);
  if (index >= 0) {
    const MonitorTarget& m = monitors.monitors()[static_cast<size_t>(index)];
    groups->monitorId = m.id;
    groups->monitorShape = ClassifyPicture(aspect, AspectOf(m.work));
  }
  return groups;
}

// The entry: its title and icon, and the rows for the selected picture's shape.
class RootCommand final : public CommandBase<RootCommand> {
 public:
  RootCommand() : selection_(std::make_shared<SelectionReader>()) {}

  HRESULT Title(IShellItemArray*, LPWSTR* name) const { return ShellString(kMenuEntryText, name); }
  unsigned IconId() const { return CommandIconId(0, false); }
  HRESULT ToolTip(LPWSTR*) const { return E_NOTIMPL; }
  HRESULT State(IShellItemArray* items, EXPCMDSTATE* state) {
    // Windows 11 shows a packaged command in "Show more options" too, beside the classic
    // entry with its previews: there the site is the classic menu's, which answers
    // IOleWindow; the new menu's does not.
    if (site_) {
      fw::ComPtr<IOleWindow> classic;
      if (SUCCEEDED(site_->QueryInterface(IID_IOleWindow, classic.put_void())) && classic) return S_OK;
    }
    PictureShape shape = WiderThanScreen;
    if (!selection_->Read(items, &shape, nullptr)) return S_OK;  // hidden
    UpdateChecker::ScheduleCheck(&updateThread_);  // in the background, once per process
    *state = ECS_ENABLED;
    return S_OK;
  }
  HRESULT Run(IShellItemArray*) const { return E_NOTIMPL; }  // the entry opens its submenu
  EXPCMDFLAGS Flags() const { return ECF_HASSUBCOMMANDS; }
  HRESULT SubCommands(IEnumExplorerCommand** commands) {
    // The shell asks GetState before the subcommands: the rows follow the shape it read.
    // Without it, every row is offered and each one's own state hides what does not fit.
    PictureShape shape = WiderThanScreen;
    const uint32_t shapes = selection_->Last(&shape) ? static_cast<uint32_t>(shape) : AllPictureShapes();
    std::vector<fw::ComPtr<IExplorerCommand>> list;
    std::wstring path;
    std::shared_ptr<const MonitorGroups> groups;
    if (selection_->LastPath(&path)) groups = ReadMonitorGroups(path);
    for (const MenuEntry* row : SelectCommandRows(shapes, UpdateFound != 0)) {
      // Several monitors: the groups follow today's fitting rows.
      if (groups && row->offset > FitModeBestFit) {
        for (int group : {SpanGroupCommand, OneMonitorGroupCommand}) {
          GroupCommand* command = new (std::nothrow) GroupCommand(group, selection_, groups);
          if (!command) return E_OUTOFMEMORY;
          fw::ComPtr<IExplorerCommand> owned = fw::ComPtr<IExplorerCommand>::Attach(command);
          if (site_) command->SetSite(site_.get());
          list.push_back(std::move(owned));
        }
        groups.reset();
      }
      SubCommand* command = new (std::nothrow) SubCommand(row, selection_);
      if (!command) return E_OUTOFMEMORY;
      fw::ComPtr<IExplorerCommand> owned = fw::ComPtr<IExplorerCommand>::Attach(command);
      if (site_) command->SetSite(site_.get());
      list.push_back(std::move(owned));
    }
    *commands = new (std::nothrow) CommandList(std::move(list));
    return *commands ? S_OK : E_OUTOFMEMORY;
  }

 private:
  std::shared_ptr<SelectionReader> selection_;
  HANDLE updateThread_ = nullptr;  // only stored; the update worker owns it
};

}  // namespace

HRESULT CreateExplorerCommand(IUnknown* outer, REFIID iid, void** object) {
  if (outer) return CLASS_E_NOAGGREGATION;
  RootCommand* root = new (std::nothrow) RootCommand();
  if (!root) return E_OUTOFMEMORY;
  const fw::ComPtr<IExplorerCommand> owned = fw::ComPtr<IExplorerCommand>::Attach(root);
  return owned->QueryInterface(iid, object);
}

}  // namespace framewise
