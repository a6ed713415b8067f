#include "settings/update_checker.h"

#include <ctime>
#include <memory>
#include <string>
#include <utility>

#include "framework/app.h"
#include "framework/internet.h"
#include "framework/strings.h"
#include "framework/win_owners.h"
#include "resources/resource_ids.h"
#include "settings/portable/settings_values.h"
#include "settings/portable/update_rules.h"
#include "settings/portable/version_text.h"
#include "settings/settings_file.h"
#include "settings/update_checker_state.h"
#include "settings/version.h"

namespace framewise {

volatile LONG UpdateFound = 0;
const wchar_t* volatile UpdateText = nullptr;

namespace {

constexpr wchar_t kAgentFormat[] = L"Wrenfly Framewise %s";

UpdateCheckerState g_state;  // reached through CheckerState()

// Reads the body's first line into `line`: its bytes up to the first line feed, carriage
// returns dropped, at most about kMaxVersionLineBytes. False when the body has no byte or
// its first line is longer than a version can be (a long line is not read to its end).
bool ReadFirstLine(fw::CHttpFile& file, std::string* line) {
  line->clear();
  FirstLineReader reader(kMaxVersionLineBytes);
  // Small reads: a version line is short, and nothing past its end is wanted.
  char chunk[512];
  for (;;) {
    const DWORD read = file.Read(chunk, sizeof(chunk));
    if (read == 0 || reader.Feed(chunk, read)) break;
  }
  if (reader.Finish() != FirstLineReader::Result::Line) return false;
  *line = reader.line();
  return true;
}

// The module that hosts the checks (set once, before any handler exists).
ModuleLockCount* g_module = nullptr;

// One lock on the module for as long as it lives: DllCanUnloadNow answers S_FALSE.
class ModuleLock {
 public:
  ModuleLock() : module_(g_module) { if (module_) module_->Lock(); }
  ~ModuleLock() { if (module_) module_->Unlock(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;

 private:
  ModuleLockCount* module_;
};

// What the worker thread takes over.
struct WorkerStart {
  explicit WorkerStart(UpdateCheckJob j) : job(std::move(j)) {}
  UpdateCheckJob job;
  ModuleLock lock;
  fw::UniqueModule module;  // the reference that keeps this code loaded
};

bool StartWorker(const UpdateCheckJob& job, HANDLE* threadSlot) {
  auto start = std::make_unique<WorkerStart>(job);
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&UpdateChecker::CheckInBackground), &self)) {
    return false;
  }
  start->module.reset(self);
  HANDLE thread = CreateThread(nullptr, 0, &UpdateChecker::CheckInBackground, start.get(), 0, nullptr);
  if (!thread) return false;
  start.release();  // the thread owns it now
  CheckerState().workerThread.reset(thread);
  if (threadSlot) *threadSlot = thread;
  return true;
}

// One step of a check: fetch, evaluate, store. An Internet error ends the step with
// nothing stored.
bool RunStep(const std::shared_ptr<fw::CInternetSession>& session, const std::wstring& url,
             const std::wstring& own, VersionType type) {
  try {
    std::wstring raw;
    std::wstring comparable;
    UpdateChecker::FetchVersionFile(session, url, &raw, &comparable);
    const bool found = UpdateChecker::EvaluateNewest(comparable, own, type == VersionType::Beta);
    SettingsFile::StoreNewestVersion(type, raw);
    return found;
  } catch (const fw::CInternetException&) {
    return false;
  }
}

std::wstring AnsiToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                          length) != length) {
    return std::wstring();
  }
  return wide;
}

// Redirects followed for one version file. The Internet layer follows them itself without
// a bound (a server that redirects to itself can exhaust the thread's stack), so they are
// followed here instead.
constexpr int kMaxRedirects = 5;

bool IsRedirect(DWORD status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Opens `url`, following at most kMaxRedirects redirects to web addresses, every request
// ending by `deadline` (GetTickCount64). False when the address is not a web address. A
// connection that ended without an answer (no status line) is an Internet error like a
// reset, not an empty version file: storing one would overwrite the cached version with
// nothing. So is a redirect that leaves https: an answer over plain http could be anyone's.
bool OpenFollowingRedirects(fw::CInternetSession& session, std::wstring url, ULONGLONG deadline,
                            std::unique_ptr<fw::CHttpFile>* file, DWORD* status) {
  // A cached copy could hide a version published since; the answer is never kept.
  const DWORD flags = INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_RELOAD |
                      INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_AUTO_REDIRECT;
  for (int hop = 0;; ++hop) {
    if (deadline && GetTickCount64() >= deadline) {
      throw fw::CInternetException(ERROR_INTERNET_TIMEOUT);
    }
    *file = session.OpenURL(url, 1, flags, nullptr, 0, deadline);
    if (!*file) return false;
    // The Internet layer reports a connection closed before any answer as status 0.
    if (!(*file)->QueryInfo(HTTP_QUERY_STATUS_CODE, status) || *status < 100 || *status > 999) {
      throw fw::CInternetException(ERROR_HTTP_INVALID_SERVER_RESPONSE);
    }
    if (!IsRedirect(*status) || hop == kMaxRedirects) return true;
    std::wstring location;
    if (!(*file)->QueryInfo(HTTP_QUERY_LOCATION, &location)) return true;
    wchar_t combined[INTERNET_MAX_URL_LENGTH];
    DWORD length = INTERNET_MAX_URL_LENGTH;
    if (!InternetCombineUrlW(url.c_str(), location.c_str(), combined, &length, ICU_NO_ENCODE)) {
      return true;
    }
    std::wstring next(combined, length);
    if (!IsRedirectAllowed(url, next)) {
      throw fw::CInternetException(ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR);
    }
    url = std::move(next);
    (*file)->Close();
  }
}

// One version file's download on a thread of its own, so that the thread asking for it
// (the shell's, for "Check for updates now") never waits past the deadline. The deadline
// also closes the request under whatever call waits on it (see fw::CHttpFile), which ends
// the download on Windows; Wine's Internet layer keeps such a call reading a slow server,
// and the download then ends when the server stops. The download shares the session and
// owns the rest of what it uses, so the asker may leave before it ends.
struct Download {
  Download(std::shared_ptr<fw::CInternetSession> s, std::wstring u, ULONGLONG d)
      : session(std::move(s)), url(std::move(u)), deadline(d) {}
  std::shared_ptr<fw::CInternetSession> session;
  std::wstring url;
  ULONGLONG deadline;  // GetTickCount64(); 0: none
  // Written by the download's thread; read only once that thread has ended.
  bool answered = false;  // a 2xx answer with a first line
  std::string line;
  DWORD error = 0;        // the Internet error that ended it; 0: none
};

// What a download's thread takes over: its share of the download, a lock on the module
// and a reference that keeps this code loaded until the thread's very end.
struct DownloadStart {
  explicit DownloadStart(std::shared_ptr<Download> d) : download(std::move(d)) {}
  std::shared_ptr<Download> download;
  ModuleLock lock;
  fw::UniqueModule module;
};

DWORD WINAPI RunDownload(LPVOID start) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<DownloadStart> owned(static_cast<DownloadStart*>(start));
    module = owned->module.release();
    Download& d = *owned->download;
    try {
      std::unique_ptr<fw::CHttpFile> file;
      DWORD status = 0;
      if (OpenFollowingRedirects(*d.session, d.url, d.deadline, &file, &status) && status >= 200 &&
          status <= 299) {
        d.answered = ReadFirstLine(*file, &d.line);
      }
    } catch (const fw::CInternetException& e) {
      d.error = e.error() ? e.error() : ERROR_INTERNET_INTERNAL_ERROR;
    } catch (...) {
      d.error = ERROR_INTERNET_INTERNAL_ERROR;  // nothing may leave the thread
    }
  }  // the download's share and the module lock go back here
  FreeLibraryAndExitThread(module, 0);
}

// Downloads the first line of the 2xx answer at `url` within the session's fetch deadline.
// False when there is none (not a web address, not 2xx, no line, too long). Throws
// fw::CInternetException: the download's error, or ERROR_INTERNET_TIMEOUT at the deadline.
bool DownloadFirstLine(const std::shared_ptr<fw::CInternetSession>& session,
                       const std::wstring& url, std::string* line) {
  const DWORD limit = session->fetchDeadline();
  const ULONGLONG deadline = limit ? GetTickCount64() + limit : 0;
  auto download = std::make_shared<Download>(session, url, deadline);
  auto start = std::make_unique<DownloadStart>(download);
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunDownload), &self)) {
    throw fw::CInternetException(GetLastError());
  }
  start->module.reset(self);
  fw::UniqueHandle thread(CreateThread(nullptr, 0, &RunDownload, start.get(), 0, nullptr));
  if (!thread) throw fw::CInternetException(GetLastError());
  start.release();  // the thread owns it now
  DWORD wait = INFINITE;
  if (deadline) {
    const ULONGLONG now = GetTickCount64();
    wait = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
  }
  if (WaitForSingleObject(thread.get(), wait) != WAIT_OBJECT_0) {
    throw fw::CInternetException(ERROR_INTERNET_TIMEOUT);
  }
  if (download->error) throw fw::CInternetException(download->error);
  if (!download->answered) return false;
  *line = std::move(download->line);
  return true;
}

}  // namespace

UpdateCheckerState& CheckerState() { return g_state; }

PVOID volatile* UpdateTextSlot() {
  return reinterpret_cast<PVOID volatile*>(const_cast<wchar_t* volatile*>(&UpdateText));
}

std::wstring UpdateChecker::AgentText() { return AgentTextFor(GetOwnVersion(VersionForm::Display)); }

std::wstring UpdateChecker::AgentTextFor(const std::wstring& ownDisplay) {
  return fw::FormatString(kAgentFormat, ownDisplay);
}

UpdateCheckJob UpdateChecker::OwnJob() {
  UpdateCheckJob job;
  job.agent = AgentText();
  job.releaseUrl = fw::LoadResourceString(IDS_RELEASE_VERSION_URL);
  job.betaUrl = fw::LoadResourceString(IDS_BETA_VERSION_URL);
  job.ownVersion = GetOwnVersion(VersionForm::Comparable);
  job.prerelease = IsPrereleaseBuild();
  return job;
}

void UpdateChecker::SetModule(ModuleLockCount* module) { g_module = module; }

void UpdateChecker::ScheduleCheck(HANDLE* threadSlot) {
  ScheduleWith(threadSlot, nullptr);
}

void UpdateChecker::ScheduleWith(HANDLE* threadSlot, const UpdateCheckJob* job) {
  if (InterlockedCompareExchange(&CheckerState().scheduled, 1, 0) != 0) return;

  const bool prerelease = job ? job->prerelease : IsPrereleaseBuild();
  const std::wstring lastChecked =
      SettingsFile::ReadString(SettingsScope::CurrentUser, nullptr, kUpdateCheckSection,
                               kLastCheckedKey, L"", kLastCheckedCapacity);
  const int elapsed = ElapsedDaysSince(ParseLastChecked(lastChecked), std::time(nullptr));

  if (IsCacheFresh(elapsed, CheckIntervalDays(prerelease))) {
    const std::wstring own = job ? job->ownVersion : GetOwnVersion(VersionForm::Comparable);
    std::wstring newest;
    VersionType type = VersionType::None;
    SettingsFile::LoadNewestVersion(&newest, &type);
    if (!newest.empty()) MakeComparable(&newest);
    EvaluateNewest(newest, own, type == VersionType::Beta);
    return;
  }
  // A stale cache is not evaluated: without a check it says nothing about today.
  if (SettingsFile::ReadInt(SettingsScope::CurrentUser, nullptr, kUpdateCheckSection,
                            kAllowBackgroundChecksKey, 0) == 0) {
    return;
  }
  // A worker that could not start checked nothing: the next handler in the process tries.
  if (!StartWorker(job ? *job : OwnJob(), threadSlot)) {
    InterlockedExchange(&CheckerState().scheduled, 0);
  }
}

DWORD WINAPI UpdateChecker::CheckInBackground(LPVOID start) {
  HMODULE module = nullptr;
  {
    std::unique_ptr<WorkerStart> owned(static_cast<WorkerStart*>(start));
    module = owned->module.release();
    try {
      fw::ModuleStateScope state;
      RunCheck(owned->job);
    } catch (...) {
      // Nothing may leave the thread; a failed check just leaves the settings as they were.
    }
  }  // the module lock goes back here; the reference keeps the code until the exit below
  FreeLibraryAndExitThread(module, 0);
}

std::shared_ptr<fw::CInternetSession> UpdateChecker::OpenSession(const std::wstring& agent,
                                                                 DWORD timeoutMs,
                                                                 DWORD fetchDeadlineMs) {
  auto session = std::make_shared<fw::CInternetSession>(agent, 1, INTERNET_OPEN_TYPE_PRECONFIG,
                                                        nullptr, nullptr, 0);
  // The defaults can keep a stalled request waiting for minutes.
  const DWORD timeout = timeoutMs ? timeoutMs : kDefaultTimeoutMs;
  session->SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, timeout);
  session->SetOption(INTERNET_OPTION_SEND_TIMEOUT, timeout);
  session->SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, timeout);
  session->SetFetchDeadline(fetchDeadlineMs ? fetchDeadlineMs : kFetchDeadlineMs);
  return session;
}

void UpdateChecker::RunCheck(const UpdateCheckJob& job) {
  DWORD flags = 0;
  if (!InternetGetConnectedState(&flags, 0) || (flags & INTERNET_CONNECTION_OFFLINE) != 0) return;
  std::shared_ptr<fw::CInternetSession> session;
  try {
    session = OpenSession(job.agent, job.timeoutMs, job.fetchDeadlineMs);
  } catch (const fw::CInternetException&) {
    return;
  }
  // The session closes with its last owner: a download cut by its deadline may still hold it.
  const bool found = RunStep(session, job.releaseUrl, job.ownVersion, VersionType::Release);
  if (!found && job.prerelease) RunStep(session, job.betaUrl, job.ownVersion, VersionType::Beta);
}

void UpdateChecker::FetchVersionFile(const std::shared_ptr<fw::CInternetSession>& session,
                                     const std::wstring& url, std::wstring* raw,
                                     std::wstring* comparable) {
  raw->clear();
  comparable->clear();
  std::string line;
  if (!DownloadFirstLine(session, url, &line)) return;
  *raw = AnsiToWide(VersionLineText(line));
  // An empty line stays empty: its comparable form would otherwise be a text of zeros,
  // newer than an own version that could not be read.
  if (!raw->empty()) {
    *comparable = *raw;
    MakeComparable(comparable);
  }
  SettingsFile::StoreLastChecked();
}

bool UpdateChecker::EvaluateNewest(const std::wstring& newest, const std::wstring& own,
                                   bool fromBetaFile) {
  const UpdateAnnouncement announcement = ClassifyPublishedVersion(newest, own, fromBetaFile);
  if (announcement == UpdateAnnouncement::None) return false;
  if (announcement != UpdateAnnouncement::Unnamed) {
    const std::wstring text =
        fw::LoadResourceString(announcement == UpdateAnnouncement::NewBeta ? IDS_NEW_BETA_MENU
                                                                       : IDS_NEWER_VERSION_MENU);
    if (!text.empty()) {
      wchar_t* const buffer = CheckerState().textBuffer;
      const size_t length = text.copy(buffer, kUpdateTextCapacity - 1);
      buffer[length] = L'\0';
      InterlockedExchangePointer(UpdateTextSlot(), buffer);
    }
  }
  InterlockedExchange(&UpdateFound, 1);
  return true;
}

}  // namespace framewise
