// Plays Explorer's part for one picture: creates the handler the way the shell does,
// builds a real popup menu, opens the submenu, lists its items with their help texts,
// and can invoke a command or save a screenshot of the open submenu.
//
//   framewise_host PICTURE [--dll PATH] [--invoke COMMAND] [--screenshot FILE.png]
//                          [--no-stand-in] [--look light|dark] [--new-menu [--classic-site]]
// COMMAND is a fit mode (Exact, Top, Left, Middle, Bottom, Right, BestFit), update, help,
// about, cancel, or a command offset. Without --dll the registered class is created
// through COM, falling back to Framewise.dll beside this program. --look gives the
// handler a menu style of newer Windows, light or dark (with the user's dark choice and
// system colours to match for the menu around it), which Wine has not.
// --new-menu plays Windows 11's new context menu instead: the DLL's packaged command is
// created from its class factory (Explorer knows it from the app package), given the
// new menu's site (or, with --classic-site, the one "Show more options" gives), asked for
// its state, title, icon, flags and subcommands with the shell's item array for PICTURE,
// and the subcommand for COMMAND is invoked.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fitting/portable/geometry.h"
#include "fitting/wallpaper_output.h"
#include "framework/com_ptr.h"
#include "framework/gdiplus_owners.h"
#include "framework/strings.h"
#include "framework/win_owners.h"
#include "settings/settings_file.h"
#include "shellext/guids.h"
#include "shellext/portable/menu_table.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/com_apartment.h"
#include "tests/support/loaded_dll.h"
#include "tests/support/menu_owner.h"
#include "tests/support/new_menu.h"
#include "tests/support/test_support.h"

namespace {

void Print(const std::wstring& text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size - 1 : 0, '\0');
  if (size > 1) WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &utf8[0], size, nullptr, nullptr);
  fwrite(utf8.data(), 1, utf8.size(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
}

std::wstring g_screenshot;
int g_timerStep = 0;

BOOL CALLBACK CollectMenus(HWND window, LPARAM data) {
  wchar_t name[16];
  if (IsWindowVisible(window) && GetClassNameW(window, name, 16) && lstrcmpW(name, L"#32768") == 0) {
    RECT r;
    GetWindowRect(window, &r);
    RECT* all = reinterpret_cast<RECT*>(data);
    if (IsRectEmpty(all)) {
      *all = r;
    } else {
      UnionRect(all, all, &r);
    }
  }
  return TRUE;
}

bool SaveScreenPng(const RECT& area, const std::wstring& path) {
  namespace gp = Gdiplus::DllExports;
  const int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;
  const fw::WindowDc screen(nullptr);
  if (!screen) return false;
  const fw::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  const fw::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!memory || !bitmap) return false;
  {
    const fw::ScopedSelect selected(memory.get(), bitmap.get());
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), area.left, area.top, SRCCOPY)) return false;
  }
  fw::GpBitmapOwner image;
  if (gp::GdipCreateBitmapFromHBITMAP(bitmap.get(), nullptr, image.put()) != Gdiplus::Ok) return false;
  CLSID png;
  if (framewise::FindEncoder(L"image/png", &png) < 0) return false;
  return gp::GdipSaveImageToFile(image.get(), path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// Drives the open menu with the keyboard, then photographs it and closes it.
void CALLBACK MenuTimer(HWND window, UINT, UINT_PTR id, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  switch (g_timerStep++) {
    case 0:  // select the entry and open its submenu, then select the second fitting item
      if (menu) {
        for (WPARAM key : {VK_DOWN, VK_RIGHT, VK_DOWN}) {
          PostMessageW(menu, WM_KEYDOWN, key, 0);
          PostMessageW(menu, WM_KEYUP, key, 0);
        }
      }
      break;
    case 1: {
      RECT all = {};
      EnumWindows(CollectMenus, reinterpret_cast<LPARAM>(&all));
      InflateRect(&all, 4, 4);
      if (SaveScreenPng(all, g_screenshot)) {
        Print(L"screenshot: " + g_screenshot);
      } else {
        Print(L"screenshot failed");
      }
      KillTimer(window, id);
      EndMenu();
      break;
    }
    default:
      KillTimer(window, id);
      EndMenu();
  }
}

// The handler, created the way the shell does: through COM from the registered class when
// no DLL is named, else (or when that fails) from the DLL's own class factory; `dll` keeps
// that DLL loaded for as long as the handler lives.
bool CreateHandler(const std::wstring& dllPath, std::unique_ptr<testsupport::LoadedDll>* dll,
                   fw::ComPtr<IShellExtInit>* init) {
  if (dllPath.empty()) {
    if (SUCCEEDED(CoCreateInstance(framewise::CLSID_ImageFileContextMenu, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IShellExtInit, init->put_void()))) {
      Print(L"handler: created through COM from the registered class");
      return true;
    }
    return CreateHandler(testsupport::ProgramFolder() + L"Framewise.dll", dll, init);
  }
  *dll = std::make_unique<testsupport::LoadedDll>(dllPath);
  if (FAILED((*dll)->CreateHandler(init))) return false;
  Print(L"handler: created from " + dllPath);
  return true;
}

// A menu style of newer Windows for the handler's module, which Wine lacks: the style's
// colours, the user's light or dark choice, and system colours that give the menu
// around the handler's items (drawn by Wine from them) the same look. Everything is put
// back when it goes.
class MenuLookStandIn {
 public:
  explicit MenuLookStandIn(bool dark)
      : module_(HandlerModule()),
        style_(dark ? std::vector<testsupport::FakeMenuStyle>{testsupport::DarkMenuStyle(),
                                                              testsupport::LightMenuStyle()}
                    : std::vector<testsupport::FakeMenuStyle>{testsupport::LightMenuStyle()},
               module_),
        choice_(dark),
        colours_(SurroundingColours(dark ? testsupport::DarkMenuStyle() : testsupport::LightMenuStyle())) {}
  bool applied() const { return module_ && style_.applied() && choice_.applied() && colours_.applied(); }

 private:
  static HMODULE HandlerModule() { return GetModuleHandleW(L"Framewise.dll"); }
  static std::vector<std::pair<int, COLORREF>> SurroundingColours(const testsupport::FakeMenuStyle& s) {
    const COLORREF edge = RGB((GetRValue(s.background) + GetRValue(s.text[2])) / 2,
                              (GetGValue(s.background) + GetGValue(s.text[2])) / 2,
                              (GetBValue(s.background) + GetBValue(s.text[2])) / 2);
    return {{COLOR_MENU, s.background},     {COLOR_MENUTEXT, s.text[0]},     {COLOR_HIGHLIGHT, s.hot},
            {COLOR_MENUHILIGHT, s.hot},     {COLOR_HIGHLIGHTTEXT, s.text[1]}, {COLOR_GRAYTEXT, s.text[2]},
            {COLOR_BTNSHADOW, edge},        {COLOR_BTNHIGHLIGHT, s.background}};
  }

  HMODULE module_;
  testsupport::MenuStyleOverride style_;
  testsupport::AppThemeOverride choice_;
  testsupport::SystemColours colours_;
};

int CommandOffset(const std::wstring& name) {
  if (const int mode = framewise::FitModeFromName(name.c_str())) return mode;
  const struct { const wchar_t* name; int offset; } others[] = {
      {L"update", framewise::UpdateInfoCommand},
      {L"help", framewise::HelpCommand},
      {L"about", framewise::AboutCommand},
      {L"cancel", framewise::CancelCommand}};
  for (const auto& other : others) {
    if (lstrcmpiW(name.c_str(), other.name) == 0) return other.offset;
  }
  return _wtoi(name.c_str());
}

std::wstring StateText(const testsupport::NewMenuCommand& command) {
  if (FAILED(command.stateResult)) return L"GetState failed";
  if (command.state & ECS_HIDDEN) return L"hidden";
  return (command.state & ECS_DISABLED) ? L"disabled" : L"enabled";
}

std::wstring IconText(const testsupport::NewMenuCommand& command) {
  return command.icon.empty() ? L"no icon" : L"icon " + command.icon;
}

// Windows 11's new menu on the packaged command, as a user would see it.
int RunNewMenu(const std::wstring& picture, const std::wstring& dllPath, const std::wstring& invoke,
               bool classicSite) {
  const testsupport::LoadedDll dll(dllPath.empty() ? testsupport::ProgramFolder() + L"Framewise.dll" : dllPath);
  fw::ComPtr<IExplorerCommand> root;
  const HRESULT created = dll.CreateObject(framewise::CLSID_FramewiseExplorerCommand, IID_IExplorerCommand,
                                           root.put_void());
  if (FAILED(created)) {
    Print(L"cannot create the packaged command");
    return 1;
  }
  const fw::ComPtr<IShellItemArray> items = testsupport::ShellItems({picture});
  if (!items) {
    Print(L"the shell has no item for " + picture);
    return 1;
  }
  const testsupport::NewMenu menu =
      testsupport::ReadNewMenu(root.get(), items.get(), testsupport::MenuSite(classicSite).get());
  Print(std::wstring(classicSite ? L"Show more options: " : L"new menu: ") + menu.root.title + L"  [" +
        StateText(menu.root) + L"; " + IconText(menu.root) +
        ((menu.root.flags & ECF_HASSUBCOMMANDS) ? L"; has subcommands]" : L"]"));
  for (const testsupport::NewMenuCommand& sub : menu.subcommands) {
    if (!sub.shown()) continue;
    Print(L"  " + sub.title + L"  [" + IconText(sub) + L"]");
  }
  if (invoke.empty()) return menu.root.shown() ? 0 : 1;
  const int offset = CommandOffset(invoke);
  const framewise::MenuEntry* row = framewise::FindItemRow(offset);
  const testsupport::NewMenuCommand* chosen = row ? menu.Find(fw::LoadResourceString(row->textId)) : nullptr;
  if (!chosen) {
    Print(L"the new menu offers no " + invoke);
    return 1;
  }
  const HRESULT hr = chosen->command->Invoke(items.get(), nullptr);
  wchar_t line[256];
  swprintf(line, 256, L"Invoke(%ls): 0x%08lX", invoke.c_str(), static_cast<unsigned long>(hr));
  Print(line);
  wchar_t wallpaper[MAX_PATH] = L"";
  SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, wallpaper, 0);
  Print(std::wstring(L"desktop wallpaper: ") + wallpaper);
  return SUCCEEDED(hr) ? 0 : 1;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 2) {
    Print(L"usage: framewise_host PICTURE [--dll PATH] [--invoke COMMAND] [--screenshot FILE.png] [--no-stand-in]"
          L" [--look light|dark] [--new-menu [--classic-site]]");
    return 2;
  }
  std::wstring picture, dll, invoke, look;
  bool standIn = true, newMenu = false, classicSite = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--dll" && i + 1 < argc) {
      dll = argv[++i];
    } else if (arg == L"--invoke" && i + 1 < argc) {
      invoke = argv[++i];
    } else if (arg == L"--screenshot" && i + 1 < argc) {
      g_screenshot = argv[++i];
    } else if (arg == L"--no-stand-in") {
      standIn = false;
    } else if (arg == L"--look" && i + 1 < argc) {
      look = argv[++i];
    } else if (arg == L"--new-menu") {
      newMenu = true;
    } else if (arg == L"--classic-site") {
      classicSite = true;
    } else {
      picture = arg;
    }
  }
  wchar_t full[MAX_PATH * 4];
  GetFullPathNameW(picture.c_str(), MAX_PATH * 4, full, nullptr);
  picture = full;

  // Wine's own Active Desktop answers E_NOTIMPL: by default a stand-in takes the calls.
  std::unique_ptr<standin::ActiveDesktopStandIn> activeDesktop;
  if (standIn) activeDesktop = std::make_unique<standin::ActiveDesktopStandIn>();
  if (newMenu) return RunNewMenu(picture, dll, invoke, classicSite);

  // Made in this order so that they go in reverse, as in the shell: the handler is
  // released before the menu and window, and the DLL it came from is freed last.
  std::unique_ptr<testsupport::LoadedDll> loaded;
  const testsupport::MenuOwnerWindow ownerWindow(L"Framewise host");
  const fw::UniqueMenu shellMenu(CreatePopupMenu());
  if (!ownerWindow || !shellMenu) return 1;
  const HWND owner = ownerWindow.get();
  const HMENU menu = shellMenu.get();
  fw::ComPtr<IShellExtInit> init;
  if (!CreateHandler(dll, &loaded, &init)) {
    Print(L"cannot create the handler");
    return 1;
  }
  const fw::ComPtr<IDataObject> data = testsupport::ShellDataObject({picture});
  if (!data) {
    Print(L"the shell has no data object for " + picture);
    return 1;
  }
  HRESULT hr = init->Initialize(nullptr, data.get(), nullptr);
  wchar_t line[256];
  swprintf(line, 256, L"Initialize: 0x%08lX", static_cast<unsigned long>(hr));
  Print(line);
  fw::ComPtr<IContextMenu3> contextMenu;
  if (FAILED(init.As(&contextMenu))) return 1;
  std::unique_ptr<MenuLookStandIn> lookStandIn;
  if (!look.empty()) {
    lookStandIn = std::make_unique<MenuLookStandIn>(look == L"dark");
    if (!lookStandIn->applied()) {
      Print(L"cannot give the handler the " + look + L" look");
      return 1;
    }
    Print(L"look: " + look + L" menu style, stand-in");
  }
  // The owner window's procedure hands menu messages to the handler while this runs.
  const testsupport::ScopedValue<IContextMenu3*> handlerForMessages(testsupport::MenuOwnerHandler(),
                                                                    contextMenu.get());
  IContextMenu3* const handler = contextMenu.get();

  hr = handler->QueryContextMenu(menu, 0, 1, 0x7FFF, CMF_NORMAL);
  swprintf(line, 256, L"QueryContextMenu: 0x%08lX (%u identifiers)", static_cast<unsigned long>(hr),
           HRESULT_CODE(hr));
  Print(line);
  AppendMenuW(menu, MF_STRING, 0x7FF0, L"Open");
  AppendMenuW(menu, MF_STRING, 0x7FF1, L"Print");
  HMENU submenu = GetSubMenu(menu, 0);
  if (submenu) {
    LRESULT result = 0;
    handler->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(submenu), 0, &result);
    const int count = GetMenuItemCount(submenu);
    for (int i = 0; i < count; ++i) {
      const UINT id = GetMenuItemID(submenu, i);
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE;
      GetMenuItemInfoW(submenu, i, TRUE, &info);
      if (info.fType & MFT_SEPARATOR) {
        Print(L"  ----");
        continue;
      }
      wchar_t help[256] = L"";
      handler->GetCommandString(id - 1, GCS_HELPTEXTW, nullptr, reinterpret_cast<LPSTR>(help), 256);
      const int offset = static_cast<int>(id) - 1;
      swprintf(line, 256, L"  %2d %-8ls %ls", offset, offset <= 7 ? framewise::FitModeName(offset) : L"", help);
      Print(line);
    }
  }
  if (!g_screenshot.empty() && submenu) {
    ShowWindow(owner, SW_SHOW);
    SetForegroundWindow(owner);
    SetTimer(owner, 1, 700, MenuTimer);
    TrackPopupMenuEx(menu, TPM_LEFTALIGN | TPM_TOPALIGN, 30, 30, owner, nullptr);
  }
  int exitCode = 0;
  if (!invoke.empty()) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(CommandOffset(invoke));
    info.nShow = SW_SHOWNORMAL;
    hr = handler->InvokeCommand(&info);
    swprintf(line, 256, L"InvokeCommand(%ls): 0x%08lX", invoke.c_str(), static_cast<unsigned long>(hr));
    Print(line);
    exitCode = SUCCEEDED(hr) ? 0 : 1;
    wchar_t wallpaper[MAX_PATH] = L"";
    SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, wallpaper, 0);
    Print(std::wstring(L"desktop wallpaper: ") + wallpaper);
    Print(std::wstring(L"settings file: ") +
          framewise::SettingsFile::GetPath(framewise::SettingsScope::CurrentUser, owner));
  }
  return exitCode;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const testsupport::ComApartment com;
  if (!com) return 1;
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) return 1;
  return Run(argc, argv);
}
