#include "stress_support.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/com_ptr.h"
#include "tests/support/test_support.h"

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
  const HANDLE taken = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (taken == INVALID_HANDLE_VALUE) return -1;
  const fw::UniqueHandle snapshot(taken);
  int n = 0;
  THREADENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Thread32First(snapshot.get(), &entry); more; more = Thread32Next(snapshot.get(), &entry)) {
    n += entry.th32OwnerProcessID == GetCurrentProcessId();
  }
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
  return testsupport::RunsUnderEmulator() ? 50 : 500;
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

CycleResult RunCycle(const testsupport::LoadedDll& dll, const std::wstring& picture,
                     const CycleOptions& options, const std::wstring& settingsPath) {
  CycleResult out;
  Step("create");
  fw::UniqueMenu popup;  // declared first: destroyed after the handler is released
  fw::ComPtr<IShellExtInit> init;
  if (FAILED(dll.CreateHandler(&init))) {
    out.note = L"no handler";
    return out;
  }
  fw::ComPtr<IContextMenu3> menu;
  init.As(&menu);
  fw::ComPtr<IDataObject> data;
  if (options.shellDataObject) data = testsupport::ShellDataObject({picture});
  if (!data) data = testsupport::RawDropDataObject(testsupport::DropFilesBytes({picture}));
  Step("Initialize");
  out.initialize = init->Initialize(nullptr, data.get(), nullptr);
  // The shell may let go of the data object and of IShellExtInit once Initialize returns:
  // the handler must keep what it needs itself.
  data.reset();
  init.reset();
  if (!menu) {
    out.note = L"no IContextMenu3";
    return out;
  }

  // A hostile host: the menu is asked for even after a failed Initialize.
  popup.reset(CreatePopupMenu());
  Step("QueryContextMenu");
  out.query = menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL);
  HMENU submenu = GetMenuItemCount(popup.get()) > 0 ? GetSubMenu(popup.get(), 0) : nullptr;
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
        if (MeasureAndDraw(menu.get(), info.wID, &out.note)) ++out.ownerDrawn;
      }
    }
  }
  if (options.invokeFitting) {
    for (int offset : out.fittingOffered) {
      bool existed = false;
      const std::string before = testsupport::ReadBytes(settingsPath, &existed);
      CMINVOKECOMMANDINFO info = {};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(offset);
      info.nShow = SW_SHOWNORMAL;
      Step("InvokeCommand");
      const HRESULT hr = menu->InvokeCommand(&info);
      out.fittingResults.push_back(hr);
      bool existsAfter = false;
      const std::string after = testsupport::ReadBytes(settingsPath, &existsAfter);
      if (FAILED(hr) && (existed != existsAfter || before != after)) out.settingsWrittenByFailure = true;
    }
  }
  Step("Release");  // the handler, then the menu, as their owners go
  return out;
}

Watchdog::Watchdog() : stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  // Under qemu-user a second thread stalls the process inside Wine's picture decoders:
  // there the run's own time limit bounds each suite.
  if (!testsupport::RunsUnderEmulator())
    thread_.reset(CreateThread(nullptr, 0, Watch, this, 0, nullptr));
}

Watchdog::~Watchdog() {
  SetEvent(stop_.get());
  if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
}

void Watchdog::Arm(const std::wstring& what, DWORD limitMs) {
  // FRAMEWISE_STRESS_TRACE=1 names each step as it starts: the last name before a crash
  // is the file that caused it.
  if (Tracing()) {
    fprintf(stderr, "[%llu ms] %ls\n", GetTickCount64(), what.c_str());
    fflush(stderr);
  }
  const fw::ScopedLock hold(lock_);
  what_ = what;
  deadline_ = GetTickCount64() + limitMs;
}

void Watchdog::Disarm() {
  const fw::ScopedLock hold(lock_);
  deadline_ = 0;
}

DWORD WINAPI Watchdog::Watch(LPVOID param) {
  auto self = static_cast<Watchdog*>(param);
  while (WaitForSingleObject(self->stop_.get(), 100) == WAIT_TIMEOUT) {
    bool expired = false;
    std::wstring what;
    {
      const fw::ScopedLock hold(self->lock_);
      expired = self->deadline_ != 0 && GetTickCount64() > self->deadline_;
      what = self->what_;
    }
    if (expired) {
      fprintf(stderr, "HANG: no progress within the limit on %ls\n", what.c_str());
      fflush(stderr);
      TerminateProcess(GetCurrentProcess(), 3);
    }
  }
  return 0;
}

std::wstring CorpusFolder() {
  const std::wstring path = testsupport::PathFromEnvironment(L"FRAMEWISE_CORPUS");
  return path.empty() ? testsupport::ProgramFolder() + L"corpus" : path;
}

std::wstring Widen(const std::string& utf8) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &out[0], n);
  return out;
}

}  // namespace stress
