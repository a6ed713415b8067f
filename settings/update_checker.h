// The check for a newer published version: scheduled from every handler initialisation,
// acting at most once per process, either from the cached answer in the settings file or
// with a download on a worker thread of its own.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

namespace fw {
class CInternetSession;
}

namespace framewise {

// What a check needs of the module it runs in: a count of locks that keeps the module
// loaded while a worker runs (its DllCanUnloadNow answers S_FALSE while any is held).
class ModuleLockCount {
 public:
  virtual LONG Lock() = 0;
  virtual LONG Unlock() = 0;

 protected:
  ~ModuleLockCount() = default;
};

// The process-wide update status: not 0 when a newer version is known, and the menu
// row's text (null or empty: the row's own text). Written by the checker with
// interlocked exchanges; the menu reads them without a lock.
extern volatile LONG UpdateFound;
extern const wchar_t* volatile UpdateText;

// Size of the buffer UpdateText points to, in UTF-16 units with the terminator.
constexpr size_t kUpdateTextCapacity = 160;

// Everything a check needs, gathered on the thread that schedules it: the worker has no
// resources or version of its own to look at.
struct UpdateCheckJob {
  std::wstring agent;         // user agent of the session
  std::wstring releaseUrl;    // string 140
  std::wstring betaUrl;       // string 142
  std::wstring ownVersion;    // the own version, comparable form
  bool prerelease = false;    // beta build: shorter interval, and the beta file is read
  DWORD timeoutMs = 0;        // connect, send and receive time-outs; 0: kDefaultTimeoutMs
  DWORD fetchDeadlineMs = 0;  // the whole of one fetch; 0: kFetchDeadlineMs
};

class UpdateChecker {
 public:
  // Time-out of each connect, send and receive of a check's requests.
  static constexpr DWORD kDefaultTimeoutMs = 20000;
  // The most one version file's fetch may take, from connecting to its last read,
  // redirects included. The time-outs above bound each step only: a server sending a
  // byte now and then could hold a fetch for hours, and "Check for updates now" waits
  // on the shell's window thread.
  static constexpr DWORD kFetchDeadlineMs = 30000;

  // Called from every Initialize; acts at most once per process. Never touches the
  // network itself: a fresh cache is evaluated from the settings file; a stale one starts
  // the worker (when background checks are allowed), whose thread handle is stored in
  // `threadSlot` (the handler's). The handle stays valid while the module is loaded.
  static void ScheduleCheck(HANDLE* threadSlot);

  // The module whose lock a running worker holds; set once, by the module itself.
  static void SetModule(ModuleLockCount* module);

  // The worker thread's body. `start` is the start record ScheduleCheck made; the thread
  // owns it, with a module lock and a reference on this module, both given back as the
  // thread ends (the reference by FreeLibraryAndExitThread). Never returns normally.
  static DWORD WINAPI CheckInBackground(LPVOID start);

  // The user agent: "Wrenfly Framewise <own display version>".
  static std::wstring AgentText();
  // The same for a given display version (the About box shows the version it was given).
  static std::wstring AgentTextFor(const std::wstring& ownDisplay);

  // A session as the checks use it: the agent, the system's proxy settings, context 1,
  // the checks' time-outs (`timeoutMs`, 0 for kDefaultTimeoutMs) and the time each fetch
  // may take (`fetchDeadlineMs`, 0 for kFetchDeadlineMs). Throws fw::CInternetException
  // when the session cannot be opened.
  static std::shared_ptr<fw::CInternetSession> OpenSession(const std::wstring& agent,
                                                           DWORD timeoutMs = 0,
                                                           DWORD fetchDeadlineMs = 0);

  // Downloads the first line of the version file at `url`. `raw` receives the line as
  // read (ANSI code page, up to its first NUL), `comparable` the same in the comparable
  // form; both are emptied first and stay empty when the answer is not 2xx, has no line,
  // or its first line is longer than a version can be. A line read stamps today's date
  // as LastChecked. Errors of the Internet layer pass to the caller as
  // fw::CInternetException; so do a fetch cut by the session's fetch deadline
  // (ERROR_INTERNET_TIMEOUT) and a redirect from https to anything else
  // (ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR). The download runs on a thread of its own that
  // shares the session: the call returns by the deadline even where the Internet layer
  // cannot end the download then.
  static void FetchVersionFile(const std::shared_ptr<fw::CInternetSession>& session,
                               const std::wstring& url, std::wstring* raw,
                               std::wstring* comparable);

  // True when `newest` (comparable) is newer than `own` (comparable); then sets
  // UpdateFound and, for a newer beta or a higher major field, UpdateText.
  static bool EvaluateNewest(const std::wstring& newest, const std::wstring& own,
                             bool fromBetaFile);

  // The job ScheduleCheck uses: strings 140 and 142, the own version and build type.
  // Call with the module's resources current.
  static UpdateCheckJob OwnJob();

  // ScheduleCheck with its inputs given: `job` null means OwnJob() (built only when
  // needed). The thread handle, when a worker starts, goes to `threadSlot`.
  static void ScheduleWith(HANDLE* threadSlot, const UpdateCheckJob* job);

  // The worker's steps on the calling thread: connectivity, the release step and, for a
  // beta build with no newer release, the beta step. Discards the layer's errors.
  static void RunCheck(const UpdateCheckJob& job);
};

}  // namespace framewise
