#include "stress_support.h"

#include <windows.h>
#include <shlwapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shellext/guids.h"
#include "test_support.h"

namespace stress {

namespace {
bool g_full = false;

bool Tracing() {
  static const bool trace = [] {
    const char* env = std::getenv("FRAMEWISE_STRESS_TRACE");
    return env && env[0] == '1';
  }();
  return trace;
}

// This process's threads: a trace shows when a step starts one.
int CountThreads() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int n = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    n += entry.th32OwnerProcessID == GetCurrentProcessId();
  }
  CloseHandle(snapshot);
  return n;
}

}  // namespace

void Step(const char* what) {
  if (!Tracing()) return;
  fprintf(stderr, "[%llu ms, %d threads]   %s\n", GetTickCount64(), CountThreads(), what);
  fflush(stderr);
}

bool FullRun() {
  const char* env = std::getenv("FRAMEWISE_STRESS_FULL");
  return g_full || (env && env[0] == '1');
}
void SetFullRun(bool full) { g_full = full; }

int SoakCycles() {
  const char* env = std::getenv("FRAMEWISE_SOAK_CYCLES");
  if (env && std::atoi(env) > 0) return std::atoi(env);
  if (FullRun()) return 5000;
  return sizeof(void*) == 4 ? 50 : 500;  // a 32-bit process runs through qemu
}

Dll::Dll() {
  const std::wstring path = testsupport::FramewiseDllPath();
  module_ = LoadLibraryW(path.c_str());
  if (!module_) return;
  getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
      reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

Dll::~Dll() { Free(); }

void Dll::Free() {
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
}

IShellExtInit* Dll::CreateHandler() const {
  if (!ok()) return nullptr;
  IClassFactory* factory = nullptr;
  if (FAILED(getClassObject_(framewise::CLSID_ImageFileContextMenu, IID_IClassFactory,
                             reinterpret_cast<void**>(&factory)))) {
    return nullptr;
  }
  IShellExtInit* init = nullptr;
  if (FAILED(factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(&init)))) {
    init = nullptr;
  }
  factory->Release();
  return init;
}

bool WaitForDllUnloaded(DWORD timeoutMs) {
  const std::wstring path = testsupport::FramewiseDllPath();
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (GetModuleHandleW(path.c_str()) && GetTickCount64() < end) Sleep(50);
  return GetModuleHandleW(path.c_str()) == nullptr;
}

namespace {

// Measures and draws one owner-drawn item, plain and selected, into a 32-bit DIB.
bool MeasureAndDraw(IContextMenu3* menu, UINT id, std::wstring* note) {
  MEASUREITEMSTRUCT measure = {};
  measure.CtlType = ODT_MENU;
  measure.itemID = id;
  LRESULT result = 0;
  if (FAILED(menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure), &result))) {
    *note += L"measure failed; ";
    return false;
  }
  // A menu item is at most a screen's size; anything else is a fault of the measure.
  if (measure.itemWidth > 4096 || measure.itemHeight > 4096) {
    *note += L"implausible item size; ";
    return false;
  }
  const int width = measure.itemWidth ? static_cast<int>(measure.itemWidth) : 1;
  const int height = measure.itemHeight ? static_cast<int>(measure.itemHeight) : 1;
  testsupport::MemoryDib dib(width + 40, height);  // room for the check-mark column Windows adds
  bool ok = true;
  for (UINT state : {0u, static_cast<UINT>(ODS_SELECTED)}) {
    DRAWITEMSTRUCT draw = {};
    draw.CtlType = ODT_MENU;
    draw.itemID = id;
    draw.itemAction = ODA_DRAWENTIRE;
    draw.itemState = state;
    draw.hDC = dib.dc();
    draw.rcItem = {20, 0, 20 + width, height};
    if (FAILED(menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&draw), &result))) {
      *note += L"draw failed; ";
      ok = false;
    }
  }
  return ok;
}

}  // namespace

CycleResult RunCycle(const Dll& dll, const std::wstring& picture, const CycleOptions& options,
                     const std::wstring& settingsPath) {
  CycleResult out;
  Step("create");
  IShellExtInit* init = dll.CreateHandler();
  if (!init) {
    out.note = L"no handler";
    return out;
  }
  IContextMenu3* menu = nullptr;
  init->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu));
  IDataObject* data = options.shellDataObject ? testsupport::ShellDataObject({picture}) : nullptr;
  if (!data) data = testsupport::RawDropDataObject(testsupport::DropFilesBytes({picture}));
  Step("Initialize");
  out.initialize = init->Initialize(nullptr, data, nullptr);
  data->Release();
  init->Release();
  if (!menu) {
    out.note = L"no IContextMenu3";
    return out;
  }

  // A hostile host: the menu is asked for even after a failed Initialize.
  HMENU popup = CreatePopupMenu();
  Step("QueryContextMenu");
  out.query = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
  HMENU submenu = GetMenuItemCount(popup) > 0 ? GetSubMenu(popup, 0) : nullptr;
  if (submenu) {
    LRESULT result = 0;
    Step("WM_INITMENUPOPUP");
    menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(submenu), 0, &result);
    out.submenuItems = GetMenuItemCount(submenu);
    for (int i = 0; i < out.submenuItems; ++i) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STATE;
      if (!GetMenuItemInfoW(submenu, i, TRUE, &info) || (info.fType & MFT_SEPARATOR)) continue;
      const int offset = static_cast<int>(info.wID) - 1;
      if (offset >= 1 && offset <= 7) {
        out.fittingOffered.push_back(offset);
        if ((info.fState & MFS_DISABLED) == 0) ++out.fittingEnabled;
      }
      if (offset == 9) out.unreadableLine = true;
      if (info.fType & MFT_OWNERDRAW) {
        Step("measure and draw");
        if (MeasureAndDraw(menu, info.wID, &out.note)) ++out.ownerDrawn;
      }
    }
  }
  if (options.invokeFitting) {
    for (int offset : out.fittingOffered) {
      bool existed = false;
      const std::vector<char> before = ReadAll(settingsPath, &existed);
      CMINVOKECOMMANDINFO info = {};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(offset);
      info.nShow = SW_SHOWNORMAL;
      Step("InvokeCommand");
      const HRESULT hr = menu->InvokeCommand(&info);
      out.fittingResults.push_back(hr);
      bool existsAfter = false;
      const std::vector<char> after = ReadAll(settingsPath, &existsAfter);
      if (FAILED(hr) && (existed != existsAfter || before != after)) out.settingsWrittenByFailure = true;
    }
  }
  Step("Release");
  menu->Release();
  DestroyMenu(popup);
  return out;
}

Watchdog::Watchdog() {
  InitializeCriticalSection(&lock_);
  stop_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // A 32-bit process runs through qemu-user, where a second thread stalls the process
  // inside Wine's picture decoders: there the run's own time limit bounds each suite.
  if (sizeof(void*) == 8) thread_ = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

Watchdog::~Watchdog() {
  SetEvent(stop_);
  if (thread_) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  CloseHandle(stop_);
  DeleteCriticalSection(&lock_);
}

void Watchdog::Arm(const std::wstring& what, DWORD limitMs) {
  // FRAMEWISE_STRESS_TRACE=1 names each step as it starts: the last name before a crash
  // is the file that caused it.
  if (Tracing()) {
    fprintf(stderr, "[%llu ms] %ls\n", GetTickCount64(), what.c_str());
    fflush(stderr);
  }
  EnterCriticalSection(&lock_);
  what_ = what;
  deadline_ = GetTickCount64() + limitMs;
  LeaveCriticalSection(&lock_);
}

void Watchdog::Disarm() {
  EnterCriticalSection(&lock_);
  deadline_ = 0;
  LeaveCriticalSection(&lock_);
}

DWORD WINAPI Watchdog::Watch(LPVOID param) {
  auto self = static_cast<Watchdog*>(param);
  while (WaitForSingleObject(self->stop_, 100) == WAIT_TIMEOUT) {
    EnterCriticalSection(&self->lock_);
    const bool expired = self->deadline_ != 0 && GetTickCount64() > self->deadline_;
    const std::wstring what = self->what_;
    LeaveCriticalSection(&self->lock_);
    if (expired) {
      fprintf(stderr, "HANG: no progress within the limit on %ls\n", what.c_str());
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  return 0;
}

std::vector<char> ReadAll(const std::wstring& path, bool* exists) {
  std::vector<char> bytes;
  if (exists) *exists = false;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  if (exists) *exists = true;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  CloseHandle(file);
  return bytes;
}

std::wstring ProgramFolder() {
  wchar_t self[MAX_PATH * 2];
  GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
  PathRemoveFileSpecW(self);
  return self;
}

std::wstring Widen(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

}  // namespace stress
