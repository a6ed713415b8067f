// Shared pieces of the reliability suites: one full right-click cycle of the built DLL
// through its COM interfaces, the run's size (quick or full), the settings file watched for
// writes, a watchdog for hangs and where the corpus lies.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "tests/support/loaded_dll.h"

namespace stress {

// Quick form unless FRAMEWISE_STRESS_FULL=1 or --full was given; FRAMEWISE_SOAK_CYCLES
// overrides the soak's length.
bool FullRun();
void SetFullRun(bool full);
int SoakCycles();

// With FRAMEWISE_STRESS_TRACE=1, prints a step's name, the time and the process's thread
// count: the last line before a crash or stall says where it happened.
void Step(const char* what);

// Waits (bounded) until no copy of the DLL is loaded in this process: a test that counts
// per-load work needs fresh module state. True when it is gone.
bool WaitForDllUnloaded(DWORD timeoutMs);

struct CycleOptions {
  bool invokeFitting = false;  // invoke every fitting command offered
  bool shellDataObject = true; // the shell's data object when it has one, else a raw CF_HDROP
};

struct CycleResult {
  HRESULT initialize = E_UNEXPECTED;
  HRESULT query = E_UNEXPECTED;
  int submenuItems = 0;        // items of our submenu, separators included
  int ownerDrawn = 0;          // items measured and drawn
  std::vector<int> fittingOffered;  // command offsets 1..7 present
  int fittingEnabled = 0;      // of those, the ones that can be chosen
  bool unreadableLine = false; // the submenu says the picture could not be read
  std::vector<HRESULT> fittingResults;  // in the same order, when invoked
  bool settingsWrittenByFailure = false;
  std::wstring note;           // what went wrong in the cycle's own checks
};

// One right-click as Explorer does it: create, Initialize, QueryContextMenu into a real
// popup, WM_INITMENUPOPUP on the submenu, WM_MEASUREITEM and WM_DRAWITEM (plain and
// selected) of every owner-drawn item into a memory DC, optionally the fitting commands,
// release. `settingsPath` is the file a failing command must leave untouched.
CycleResult RunCycle(const testsupport::LoadedDll& dll, const std::wstring& picture, const CycleOptions& options,
                     const std::wstring& settingsPath);

// Bounds each step of a suite in time: when the step armed last is still running after its
// limit, prints what it was and ends the process with exit code 3 (a hang must fail the
// run, not stall it). One per process. FRAMEWISE_STRESS_TRACE=1 prints each step's name.
class Watchdog {
 public:
  Watchdog();
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  void Arm(const std::wstring& what, DWORD limitMs);
  void Disarm();

 private:
  static DWORD WINAPI Watch(LPVOID self);
  fw::CriticalSection lock_;
  std::wstring what_;       // guarded by lock_
  ULONGLONG deadline_ = 0;  // guarded by lock_; 0 when disarmed
  fw::UniqueHandle stop_;
  fw::UniqueHandle thread_;
};

// The generated corpus (environment FRAMEWISE_CORPUS, else "corpus" beside the program),
// without a final backslash.
std::wstring CorpusFolder();

// UTF-8 to UTF-16.
std::wstring Widen(const std::string& utf8);

}  // namespace stress
