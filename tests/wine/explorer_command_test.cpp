// The new context menu's command, asked as Windows 11's Explorer asks it, with the shell's
// own item arrays: which rows show for which picture, icons per theme, what stays hidden,
// and an invoked row making the same wallpaper as the classic handler's command.
#include <windows.h>
#include <shobjidl.h>
#include <oleidl.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "framework/app.h"
#include "framework/module_path.h"
#include "framework/task_memory.h"
#include "framework/strings.h"
#include "leak_checks.h"
#include "resources/resource_ids.h"
#include "settings/update_checker.h"
#include "shellext/explorer_command.h"
#include "shellext/guids.h"
#include "shellext/module.h"
#include "shellext/portable/menu_table.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/stand_in_factory.h"

using testsupport::Handler;
using testsupport::NewMenu;
using testsupport::OpenedMenu;
using testsupport::ReadNewMenu;
using testsupport::ShellItems;
using testsupport::TempDir;

namespace {

fw::ComPtr<IExplorerCommand> NewCommand() {
  fw::ComPtr<IExplorerCommand> command;
  EXPECT_EQ(framewise::CreateExplorerCommand(nullptr, IID_IExplorerCommand, command.put_void()),
            S_OK);
  return command;
}

// The texts of the classic submenu's items for a picture, in order, without Cancel: what
// the new menu must offer for the same picture.
std::vector<std::wstring> ClassicTexts(const std::wstring& picture) {
  Handler h;
  std::vector<std::wstring> texts;
  if (h.InitializeWithFiles({picture}) != S_OK) return texts;
  OpenedMenu menu(h);
  for (int offset : menu.Offsets()) {
    if (offset == 0 || offset == framewise::CancelCommand) continue;
    texts.push_back(h->menuItems[offset]->text);
  }
  return texts;
}

// The classic rows' help texts (as the status bar shows them), by row text.
std::map<std::wstring, std::wstring> ClassicHelpTexts(const std::wstring& picture) {
  Handler h;
  std::map<std::wstring, std::wstring> helps;
  if (h.InitializeWithFiles({picture}) != S_OK) return helps;
  OpenedMenu menu(h);
  for (int offset : menu.Offsets()) {
    if (offset == 0 || offset == framewise::CancelCommand) continue;
    wchar_t help[300] = {};
    if (h.menu->GetCommandString(static_cast<UINT_PTR>(offset), GCS_HELPTEXTW, nullptr,
                                 reinterpret_cast<LPSTR>(help), 300) == S_OK) {
      helps[h->menuItems[offset]->text] = help;
    }
  }
  return helps;
}

std::wstring RowText(int offset) {
  return fw::LoadResourceString(framewise::FindItemRow(offset)->textId);
}

// An item array of our own, for what the shell's arrays never do: a failing count, items
// that have no file-system path or give an empty one.
class OddItem final : public standin::StandInObject<IShellItem> {
 public:
  OddItem(HRESULT result, const wchar_t* path)
      : StandInObject(IID_IShellItem), result_(result), path_(path) {}
  STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetParent(IShellItem** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetDisplayName(SIGDN, LPWSTR* name) override {
    *name = nullptr;
    if (FAILED(result_)) return result_;
    if (path_) SHStrDupW(path_, name);
    return result_;
  }
  STDMETHODIMP GetAttributes(SFGAOF, SFGAOF* out) override {
    *out = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP Compare(IShellItem*, SICHINTF, int* order) override {
    *order = 1;
    return E_NOTIMPL;
  }

 private:
  HRESULT result_;
  const wchar_t* path_;
};

class OddItems final : public standin::StandInObject<IShellItemArray> {
 public:
  OddItems(HRESULT countResult, DWORD count, IShellItem* item)
      : StandInObject(IID_IShellItemArray),
        countResult_(countResult),
        count_(count),
        item_(fw::ComPtr<IShellItem>::Share(item)) {}
  STDMETHODIMP BindToHandler(IBindCtx*, REFGUID, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetPropertyStore(GETPROPERTYSTOREFLAGS, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetPropertyDescriptionList(REFPROPERTYKEY, REFIID, void** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetAttributes(SIATTRIBFLAGS, SFGAOF, SFGAOF* out) override {
    *out = 0;
    return E_NOTIMPL;
  }
  STDMETHODIMP GetCount(DWORD* count) override {
    *count = count_;
    return countResult_;
  }
  STDMETHODIMP GetItemAt(DWORD, IShellItem** out) override {
    *out = fw::ComPtr<IShellItem>(item_).detach();
    return S_OK;  // even with no item: a lying array
  }
  STDMETHODIMP EnumItems(IEnumShellItems** out) override {
    *out = nullptr;
    return E_NOTIMPL;
  }

 private:
  HRESULT countResult_;
  DWORD count_;
  fw::ComPtr<IShellItem> item_;
};

fw::ComPtr<IShellItemArray> Odd(HRESULT countResult, DWORD count, HRESULT nameResult,
                                const wchar_t* path) {
  const fw::ComPtr<IShellItem> item = fw::ComPtr<IShellItem>::Attach(new OddItem(nameResult, path));
  return fw::ComPtr<IShellItemArray>::Attach(new OddItems(countResult, count, item.get()));
}

class NewMenuTest : public testing::Test {
 protected:
  void SetUp() override {
    wide = dir.File(L"wide.jpg");
    tall = dir.File(L"tall.png");
    screen = dir.File(L"screen.bmp");
    ASSERT_TRUE(testsupport::WritePicture(wide, 1600, 800));
    ASSERT_TRUE(testsupport::WritePicture(tall, 500, 900, L"image/png"));
    const int width = GetSystemMetrics(SM_CXSCREEN), height = GetSystemMetrics(SM_CYSCREEN);
    RECT work = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    ASSERT_TRUE(testsupport::WritePicture(screen, work.right - work.left, work.bottom - work.top,
                                          L"image/bmp"));
    (void)width;
    (void)height;
    ASSERT_TRUE(desktop.registered());
  }

  TempDir dir;
  std::wstring wide, tall, screen;
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
  const testsupport::ScopedValue<volatile LONG> noUpdate{framewise::UpdateFound, 0};
};

TEST_F(NewMenuTest, OffersTheClassicRowsForEachShapeWithoutCancel) {
  for (const std::wstring* picture : {&wide, &tall, &screen}) {
    SCOPED_TRACE(*picture);
    const fw::ComPtr<IExplorerCommand> root = NewCommand();
    ASSERT_TRUE(root);
    const fw::ComPtr<IShellItemArray> items = ShellItems({*picture});
    ASSERT_TRUE(items);
    const NewMenu menu = ReadNewMenu(root.get(), items.get(), testsupport::MenuSite(false).get());
    EXPECT_EQ(menu.root.stateResult, S_OK);
    EXPECT_EQ(menu.root.state, static_cast<EXPCMDSTATE>(ECS_ENABLED));
    EXPECT_EQ(menu.root.title, L"Wrenfly Framewise - Set Desktop Background");
    EXPECT_EQ(menu.root.flags, static_cast<EXPCMDFLAGS>(ECF_HASSUBCOMMANDS));
    EXPECT_EQ(testsupport::IconResourceId(menu.root.icon), static_cast<unsigned>(IDI_ENTRY));
    EXPECT_EQ(menu.enumResult, S_OK);
    const std::vector<std::wstring> classic = ClassicTexts(*picture);
    ASSERT_FALSE(classic.empty());
    EXPECT_EQ(menu.ShownTitles(), classic);
    EXPECT_EQ(menu.Find(RowText(framewise::CancelCommand)), nullptr);
    for (const auto& sub : menu.subcommands)
      EXPECT_EQ(sub.flags, static_cast<EXPCMDFLAGS>(ECF_DEFAULT));
    // Each row's tool tip is its classic help text.
    const std::map<std::wstring, std::wstring> helps = ClassicHelpTexts(*picture);
    for (const auto& sub : menu.subcommands) {
      if (!sub.shown()) continue;
      const auto help = helps.find(sub.title);
      ASSERT_NE(help, helps.end()) << std::string(sub.title.begin(), sub.title.end());
      LPWSTR tip = nullptr;
      ASSERT_EQ(sub.command->GetToolTip(items.get(), &tip), S_OK);
      const fw::TaskMemory<wchar_t> owned(tip);
      EXPECT_EQ(std::wstring(owned.get()), help->second);
      EXPECT_FALSE(help->second.empty());
    }
  }
}

TEST_F(NewMenuTest, IconsShowEachModeInTheUsersTheme) {
  for (bool dark : {false, true}) {
    SCOPED_TRACE(dark ? "dark" : "light");
    const testsupport::AppThemeOverride theme(dark);
    ASSERT_TRUE(theme.applied());
    const fw::ComPtr<IExplorerCommand> root = NewCommand();
    const NewMenu menu = ReadNewMenu(root.get(), ShellItems({wide}).get());
    std::wstring module;
    ASSERT_TRUE(fw::GetModulePath(fw::CodeModule(), &module));
    for (int mode : {framewise::FitModeLeft, framewise::FitModeMiddle, framewise::FitModeRight,
                     framewise::FitModeBestFit}) {
      const auto* sub = menu.Find(RowText(mode));
      ASSERT_NE(sub, nullptr) << mode;
      EXPECT_EQ(sub->iconResult, S_OK);
      const unsigned id = testsupport::IconResourceId(sub->icon);
      EXPECT_EQ(id, framewise::CommandIconId(mode, dark)) << sub->icon;
      EXPECT_EQ(sub->icon, module + L",-" + std::to_wstring(id));
      // The resource is there, at the sizes the menus ask for.
      for (int size : {16, 20, 24, 32}) {
        const fw::UniqueIcon icon(static_cast<HICON>(LoadImageW(
            fw::CodeModule(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
        EXPECT_TRUE(icon) << "icon " << id << " at " << size;
      }
    }
    // Help and About have none.
    const auto* help = menu.Find(RowText(framewise::HelpCommand));
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(FAILED(help->iconResult));
    EXPECT_TRUE(help->icon.empty());
  }
}

// The packaged command shows in "Show more options" too; there the classic entry with its
// previews is the one to keep.
TEST_F(NewMenuTest, HiddenInTheClassicMenu) {
  const fw::ComPtr<IExplorerCommand> root = NewCommand();
  const fw::ComPtr<IShellItemArray> items = ShellItems({wide});
  const NewMenu classic =
      ReadNewMenu(root.get(), items.get(), testsupport::MenuSite(true, GetDesktopWindow()).get());
  EXPECT_EQ(classic.root.stateResult, S_OK);
  EXPECT_EQ(classic.root.state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));
  EXPECT_TRUE(classic.subcommands.empty());
  // The same object in the new menu's site, and with no site at all.
  EXPECT_TRUE(
      ReadNewMenu(root.get(), items.get(), testsupport::MenuSite(false).get()).root.shown());
  EXPECT_TRUE(ReadNewMenu(root.get(), items.get(), nullptr).root.shown());
}

TEST_F(NewMenuTest, HiddenForEverythingButOnePicture) {
  const std::wstring text = dir.File(L"notes.txt");
  const std::wstring fake = dir.File(L"text.jpg");
  const std::wstring folder = dir.File(L"folder.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(text, "hello", 5));
  ASSERT_TRUE(testsupport::WriteBytes(fake, "not a picture at all", 20));
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring missing = dir.File(L"gone.jpg");
  const struct {
    const char* what;
    fw::ComPtr<IShellItemArray> items;
  } cases[] = {
      {"no array", fw::ComPtr<IShellItemArray>()},
      {"two pictures", ShellItems({wide, tall})},
      {"a text file", ShellItems({text})},
      {"text named .jpg", ShellItems({fake})},
      {"a folder named .jpg", ShellItems({folder})},
      {"an empty array", Odd(S_OK, 0, S_OK, wide.c_str())},
      {"a failing count", Odd(E_FAIL, 1, S_OK, wide.c_str())},
      {"an item without a path", Odd(S_OK, 1, E_INVALIDARG, nullptr)},
      {"an empty path", Odd(S_OK, 1, S_OK, L"")},
      {"a path given as null", Odd(S_OK, 1, S_OK, nullptr)},
      {"a missing file", Odd(S_OK, 1, S_OK, missing.c_str())},
      {"a huge count", Odd(S_OK, 0xFFFFFFFF, S_OK, wide.c_str())},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) != "no array") {
      ASSERT_TRUE(c.items);
    }
    const fw::ComPtr<IExplorerCommand> root = NewCommand();
    const NewMenu menu = ReadNewMenu(root.get(), c.items.get());
    EXPECT_EQ(menu.root.stateResult, S_OK);
    EXPECT_EQ(menu.root.state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));
    // A subcommand asked anyway stays hidden and invoking it writes nothing.
    fw::ComPtr<IEnumExplorerCommand> list;
    ASSERT_EQ(root->EnumSubCommands(list.put()), S_OK);
    fw::ComPtr<IExplorerCommand> first;
    ULONG fetched = 0;
    ASSERT_EQ(list->Next(1, first.put(), &fetched), S_OK);
    EXPCMDSTATE state = ECS_ENABLED;
    EXPECT_EQ(first->GetState(c.items.get(), FALSE, &state), S_OK);
    EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));
    EXPECT_TRUE(FAILED(first->Invoke(c.items.get(), nullptr)));
  }
  EXPECT_EQ(desktop.record().setWallpaperCalls, 0);
  EXPECT_FALSE(testsupport::FileExists(jpeg.path()));
}

// Invoked from the new menu, a row makes exactly the classic command's wallpaper and
// remembers the same choice.
TEST_F(NewMenuTest, InvokedRowMakesTheClassicWallpaper) {
  for (int mode : {framewise::FitModeMiddle, framewise::FitModeLeft, framewise::FitModeBestFit}) {
    SCOPED_TRACE(mode);
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({wide}), S_OK);
    ASSERT_EQ(h.Invoke(mode), S_OK);
    const std::string classic = testsupport::ReadBytes(jpeg.path());
    const std::wstring classicPart =
        testsupport::ReadIniValue(ini.path(), L"Desktop", L"WhichPart");
    ASSERT_FALSE(classic.empty());
    ASSERT_TRUE(DeleteFileW(jpeg.path().c_str()));
    ASSERT_TRUE(DeleteFileW(ini.path().c_str()));

    const fw::ComPtr<IExplorerCommand> root = NewCommand();
    const fw::ComPtr<IShellItemArray> items = ShellItems({wide});
    const NewMenu menu = ReadNewMenu(root.get(), items.get());
    const auto* row = menu.Find(RowText(mode));
    ASSERT_NE(row, nullptr);
    const int before = desktop.record().setWallpaperCalls;
    EXPECT_EQ(row->command->Invoke(items.get(), nullptr), S_OK);
    EXPECT_EQ(desktop.record().setWallpaperCalls, before + 1);
    EXPECT_EQ(desktop.record().wallpaper, jpeg.path());
    EXPECT_TRUE(testsupport::ReadBytes(jpeg.path()) == classic)
        << "the two menus' wallpapers differ";
    EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"WhichPart"), classicPart);
    EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"Photo"), wide);
  }
}

// Each call brings its own array: a command invoked for another picture fits that one, and
// with no array it fails and writes nothing.
TEST_F(NewMenuTest, InvokeFollowsTheArrayItIsGiven) {
  const fw::ComPtr<IExplorerCommand> root = NewCommand();
  const NewMenu menu = ReadNewMenu(root.get(), ShellItems({wide}).get());
  const auto* best = menu.Find(RowText(framewise::FitModeBestFit));
  ASSERT_NE(best, nullptr);
  EXPECT_EQ(best->command->Invoke(nullptr, nullptr), E_INVALIDARG);
  EXPECT_FALSE(testsupport::FileExists(jpeg.path()));
  EXPECT_EQ(best->command->Invoke(ShellItems({tall}).get(), nullptr), S_OK);
  EXPECT_EQ(testsupport::ReadIniValue(ini.path(), L"Desktop", L"Photo"), tall);
  // Asked about the tall picture, the wide picture's Left row hides itself.
  const auto* left = menu.Find(RowText(framewise::FitModeLeft));
  ASSERT_NE(left, nullptr);
  EXPCMDSTATE state = ECS_ENABLED;
  EXPECT_EQ(left->command->GetState(ShellItems({tall}).get(), TRUE, &state), S_OK);
  EXPECT_EQ(state, static_cast<EXPCMDSTATE>(ECS_HIDDEN));
}

TEST_F(NewMenuTest, UpdateRowWhileAnUpdateIsKnown) {
  const testsupport::ScopedValue<volatile LONG> found(framewise::UpdateFound, 1);
  const fw::ComPtr<IExplorerCommand> root = NewCommand();
  const NewMenu menu = ReadNewMenu(root.get(), ShellItems({tall}).get());
  const std::vector<std::wstring> titles = menu.ShownTitles();
  ASSERT_GE(titles.size(), 3u);
  // After the fitting rows, before Help and About, as in the classic submenu.
  EXPECT_EQ(titles[titles.size() - 3], RowText(framewise::UpdateInfoCommand));
  EXPECT_EQ(titles, ClassicTexts(tall));
}

// Without GetState first, every row is listed and each one's own state hides what does
// not fit the picture.
TEST_F(NewMenuTest, SubcommandsBeforeAnyStateHideWhatDoesNotFit) {
  const fw::ComPtr<IExplorerCommand> root = NewCommand();
  fw::ComPtr<IEnumExplorerCommand> list;
  ASSERT_EQ(root->EnumSubCommands(list.put()), S_OK);
  const fw::ComPtr<IShellItemArray> items = ShellItems({tall});
  std::vector<std::wstring> shown;
  ULONG total = 0;
  for (;;) {
    fw::ComPtr<IExplorerCommand> sub;
    ULONG fetched = 0;
    if (list->Next(1, sub.put(), &fetched) != S_OK) break;
    ++total;
    EXPCMDSTATE state = ECS_HIDDEN;
    ASSERT_EQ(sub->GetState(items.get(), TRUE, &state), S_OK);
    LPWSTR title = nullptr;
    ASSERT_EQ(sub->GetTitle(items.get(), &title), S_OK);
    const fw::TaskMemory<wchar_t> owned(title);
    if (state != ECS_HIDDEN) shown.push_back(owned.get());
  }
  EXPECT_EQ(total, 9u);  // seven fitting rows, Help, About
  EXPECT_EQ(shown, ClassicTexts(tall));
}

TEST_F(NewMenuTest, EnumeratorContract) {
  const fw::ComPtr<IExplorerCommand> root = NewCommand();
  const NewMenu menu = ReadNewMenu(root.get(), ShellItems({wide}).get());
  fw::ComPtr<IEnumExplorerCommand> list;
  ASSERT_EQ(root->EnumSubCommands(list.put()), S_OK);
  IExplorerCommand* got[3] = {};
  ULONG fetched = 99;
  ASSERT_EQ(list->Next(3, got, &fetched), S_OK);
  EXPECT_EQ(fetched, 3u);
  for (IExplorerCommand* command : got) fw::ComPtr<IExplorerCommand>::Attach(command);
  EXPECT_EQ(list->Next(3, got, nullptr), E_POINTER);  // more than one needs the count
  fw::ComPtr<IEnumExplorerCommand> copy;
  ASSERT_EQ(list->Clone(copy.put()), S_OK);
  EXPECT_EQ(list->Skip(100), S_FALSE);
  fetched = 99;
  EXPECT_EQ(list->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  // The copy carries on from where the original was when it was made.
  ASSERT_EQ(copy->Next(1, got, &fetched), S_OK);
  LPWSTR title = nullptr;
  {
    const fw::ComPtr<IExplorerCommand> fourth = fw::ComPtr<IExplorerCommand>::Attach(got[0]);
    ASSERT_EQ(fourth->GetTitle(nullptr, &title), S_OK);
  }
  const fw::TaskMemory<wchar_t> owned(title);
  EXPECT_EQ(std::wstring(owned.get()), menu.subcommands[3].title);
  EXPECT_EQ(list->Reset(), S_OK);
  ASSERT_EQ(list->Next(1, got, &fetched), S_OK);
  fw::ComPtr<IExplorerCommand>::Attach(got[0]);
  // Skipping exactly what is left reaches the end and succeeds; skipping past it does not.
  const ULONG left = static_cast<ULONG>(menu.subcommands.size()) - 1;
  EXPECT_EQ(list->Skip(left), S_OK);
  EXPECT_EQ(list->Skip(1), S_FALSE);
  EXPECT_EQ(list->Next(1, got, &fetched), S_FALSE);
  EXPECT_EQ(list->Reset(), S_OK);
  EXPECT_EQ(list->Skip(left + 2), S_FALSE);
  EXPECT_EQ(list->Next(1, got, &fetched), S_FALSE);

  // COM identity: the list answers for itself and for IUnknown, and for nothing else.
  fw::ComPtr<IUnknown> unknown;
  ASSERT_EQ(list->QueryInterface(IID_IUnknown, unknown.put_void()), S_OK);
  EXPECT_EQ(unknown.get(), static_cast<IUnknown*>(list.get()));
  fw::ComPtr<IEnumExplorerCommand> same;
  ASSERT_EQ(unknown->QueryInterface(IID_IEnumExplorerCommand, same.put_void()), S_OK);
  EXPECT_EQ(same.get(), list.get());
  fw::ComPtr<IExplorerCommand> notAList;
  EXPECT_EQ(list->QueryInterface(IID_IExplorerCommand, notAList.put_void()), E_NOINTERFACE);
  EXPECT_EQ(notAList.get(), nullptr);
  EXPECT_EQ(list->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  // Three references are held (list, unknown, same): AddRef and Release answer the count.
  EXPECT_EQ(list->AddRef(), 4u);
  EXPECT_EQ(list->Release(), 3u);
}

TEST_F(NewMenuTest, ClassObjectAndContract) {
  fw::ComPtr<IClassFactory> factory;
  ASSERT_EQ(framewise::Module().GetClassObject(framewise::CLSID_FramewiseExplorerCommand,
                                               IID_IClassFactory, factory.put_void()),
            S_OK);
  fw::ComPtr<IExplorerCommand> command;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, command.put_void()), S_OK);
  fw::ComPtr<IObjectWithSite> site;
  EXPECT_EQ(command.As(&site), S_OK);
  fw::ComPtr<IUnknown> got;
  EXPECT_EQ(site->GetSite(IID_IUnknown, got.put_void()), E_FAIL);
  fw::ComPtr<IContextMenu> notClassic;
  EXPECT_EQ(command.As(&notClassic), E_NOINTERFACE);
  fw::ComPtr<IUnknown> aggregated;
  EXPECT_EQ(factory->CreateInstance(command.get(), IID_IUnknown, aggregated.put_void()),
            CLASS_E_NOAGGREGATION);
  // Null out-parameters are refused, never written.
  EXPECT_EQ(command->GetState(nullptr, TRUE, nullptr), E_POINTER);
  EXPECT_EQ(command->GetTitle(nullptr, nullptr), E_POINTER);
  EXPECT_EQ(command->GetFlags(nullptr), E_POINTER);
  EXPECT_EQ(command->EnumSubCommands(nullptr), E_POINTER);
  EXPECT_EQ(command->GetCanonicalName(nullptr), E_POINTER);
  GUID name = IID_IUnknown;
  EXPECT_EQ(command->GetCanonicalName(&name), E_NOTIMPL);
  EXPECT_TRUE(IsEqualGUID(name, GUID_NULL));
  // The entry itself runs nothing and has no tip of its own.
  EXPECT_EQ(command->Invoke(ShellItems({wide}).get(), nullptr), E_NOTIMPL);
  LPWSTR tip = nullptr;
  EXPECT_EQ(command->GetToolTip(ShellItems({wide}).get(), &tip), E_NOTIMPL);
  EXPECT_EQ(tip, nullptr);
}

TEST_F(NewMenuTest, RightClicksLeakNothing) {
  const fw::ComPtr<IShellItemArray> items = ShellItems({wide});
  auto cycle = [&] {
    const fw::ComPtr<IExplorerCommand> root = NewCommand();
    const NewMenu menu = ReadNewMenu(root.get(), items.get(), testsupport::MenuSite(false).get());
    EXPECT_FALSE(menu.subcommands.empty());
  };
  for (int i = 0; i < 20; ++i) cycle();  // warm-up: string tables, the decoders' list
  const LONG locks = framewise::Module().GetLockCount();
  const testsupport::ResourceCounts before = testsupport::CurrentResourceCounts();
  for (int i = 0; i < 300; ++i) cycle();
  const testsupport::ResourceCounts after = testsupport::CurrentResourceCounts();
  EXPECT_EQ(framewise::Module().GetLockCount(), locks);
  testsupport::ExpectCountsKept(before, after, 0, 2);
}

}  // namespace
