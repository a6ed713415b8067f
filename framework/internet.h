// A small stand-in for the window framework's Internet classes over the Windows Internet
// functions: a session, the HTTP file that opening a URL gives, and the exception that
// carries the layer's errors.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <atomic>
#include <memory>
#include <string>
#include <utility>

#include "framework/win_owners.h"

namespace fw {

// An error of the Internet layer: the system error code of the failed call (ERROR_INTERNET_*
// or a Win32 code). Thrown by value; catch by const reference.
class CInternetException {
 public:
  explicit CInternetException(DWORD error) : error_(error) {}
  DWORD error() const { return error_; }

 private:
  DWORD error_;
};

// A timer of the process's default timer queue. Deleting it cancels it and waits for a
// callback already running, so nothing the callback uses may go before the owner.
struct TimerQueueTimerDeleter {
  void operator()(HANDLE timer) const {
    DeleteTimerQueueTimer(nullptr, timer, INVALID_HANDLE_VALUE);
  }
};
using UniqueTimerQueueTimer = UniqueResource<HANDLE, TimerQueueTimerDeleter>;

// An Internet handle with a deadline: when it passes, a timer thread closes the handle, and
// a call waiting on it returns with an error. The per-call time-outs cannot bound a server
// that sends a byte now and then, each within the receive time-out; this does. The handle
// is closed exactly once, by the deadline or by this owner, whichever comes first.
class DeadlineInternet {
 public:
  // `deadline` is a GetTickCount64() value; 0 sets none. Throws CInternetException when
  // the timer cannot be set (the handle is closed then).
  DeadlineInternet(UniqueInternet handle, ULONGLONG deadline);
  ~DeadlineInternet() { reset(); }
  DeadlineInternet(const DeadlineInternet&) = delete;
  DeadlineInternet& operator=(const DeadlineInternet&) = delete;

  // Null once closed. A call made with it may still meet the deadline midway.
  HINTERNET get() const { return handle_.load(); }
  // True once the deadline has closed the handle.
  bool expired() const { return expired_.load(); }
  // Cancels the deadline (waiting for a running callback), then closes the handle.
  void reset();

 private:
  static void CALLBACK OnDeadline(PVOID self, BOOLEAN);
  void CloseOnce();

  std::atomic<HINTERNET> handle_;
  std::atomic<bool> expired_{false};
  UniqueTimerQueueTimer timer_;
};

// One HTTP request opened by CInternetSession::OpenURL; owns its handles.
class CHttpFile {
 public:
  // `deadline` as for DeadlineInternet: the request is closed under any call still
  // waiting on it then, and every call fails from then on.
  CHttpFile(UniqueInternet connection, UniqueInternet request, ULONGLONG deadline = 0)
      : connection_(std::move(connection)), request_(std::move(request), deadline) {}
  CHttpFile(const CHttpFile&) = delete;
  CHttpFile& operator=(const CHttpFile&) = delete;

  // Sends the request and waits for the answer's headers. Throws CInternetException,
  // ERROR_INTERNET_TIMEOUT when the deadline cut it.
  void Send(const wchar_t* headers, DWORD headersLength);

  // True once the deadline has cut the request.
  bool expired() const { return request_.expired(); }

  // A numeric header of the answer (`level` is HTTP_QUERY_* with HTTP_QUERY_FLAG_NUMBER
  // added here). False when the answer does not have it.
  bool QueryInfo(DWORD level, DWORD* value);

  // A text header of the answer (such as HTTP_QUERY_LOCATION). False when it is absent.
  bool QueryInfo(DWORD level, std::wstring* value);

  // Reads the next bytes of the body into `buffer`: how many, 0 at its end. Failures of
  // the read throw CInternetException, ERROR_INTERNET_TIMEOUT when the deadline cut it
  // (a read the deadline ended early looks like the end: it throws too).
  DWORD Read(char* buffer, DWORD size);

  // Releases the request; later calls fail quietly.
  void Close() {
    request_.reset();
    connection_.reset();
  }

 private:
  UniqueInternet connection_;  // declared first: the request goes before its connection
  DeadlineInternet request_;
};

// An Internet session: the handle from InternetOpenW, usable for several URL opens and
// closed when the object goes.
class CInternetSession {
 public:
  // Throws CInternetException when the session cannot be opened.
  explicit CInternetSession(const std::wstring& agent, DWORD_PTR context = 1,
                            DWORD accessType = INTERNET_OPEN_TYPE_PRECONFIG,
                            const wchar_t* proxyName = nullptr,
                            const wchar_t* proxyBypass = nullptr, DWORD flags = 0);
  CInternetSession(const CInternetSession&) = delete;
  CInternetSession& operator=(const CInternetSession&) = delete;

  // Opens an http:// or https:// URL: the request has been sent and the answer's headers
  // have arrived. Null for any other kind of URL. Failures to connect or send throw
  // CInternetException. `deadline` (a GetTickCount64() value, 0 none) bounds the request
  // from before its connection to its last read; see CHttpFile. The caller owns the result.
  std::unique_ptr<CHttpFile> OpenURL(const std::wstring& url, DWORD_PTR context = 1,
                                     DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                                     const wchar_t* headers = nullptr, DWORD headersLength = 0,
                                     ULONGLONG deadline = 0);

  // A 32-bit option (the time-outs) for the session and every request it opens from now
  // on: set on each request as well, since not every implementation of the layer passes
  // the session's time-outs on. Throws CInternetException.
  void SetOption(DWORD option, DWORD value);

  // The longest one fetch through this session may take, redirects included, in ms, for
  // callers that bound their fetches; 0 none. Kept with the session's time-outs.
  void SetFetchDeadline(DWORD ms) { fetchDeadlineMs_ = ms; }
  DWORD fetchDeadline() const { return fetchDeadlineMs_; }

  void Close() { session_.reset(); }
  HINTERNET handle() const { return session_.get(); }

 private:
  struct Option {
    DWORD option;
    DWORD value;
  };
  DWORD_PTR context_;
  UniqueInternet session_;
  Option options_[4] = {};
  size_t optionCount_ = 0;
  DWORD fetchDeadlineMs_ = 0;
};

}  // namespace fw
