// A small stand-in for the window framework's Internet classes over the Windows Internet
// functions: a session, the HTTP file that opening a URL gives, and the exception that
// carries the layer's errors.
#pragma once

#include <windows.h>
#include <wininet.h>

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

// One HTTP request opened by CInternetSession::OpenURL; owns its handle.
class CHttpFile {
 public:
  CHttpFile(UniqueInternet connection, UniqueInternet request)
      : connection_(std::move(connection)), request_(std::move(request)) {}
  CHttpFile(const CHttpFile&) = delete;
  CHttpFile& operator=(const CHttpFile&) = delete;

  // A numeric header of the answer (`level` is HTTP_QUERY_* with HTTP_QUERY_FLAG_NUMBER
  // added here). False when the answer does not have it.
  bool QueryInfo(DWORD level, DWORD* value);

  // A text header of the answer (such as HTTP_QUERY_LOCATION). False when it is absent.
  bool QueryInfo(DWORD level, std::wstring* value);

  // Reads the body's first line into `line`: its bytes up to the first line feed, carriage
  // returns dropped. Reads at most about `maxBytes`: false when the body has no byte, or
  // its first line is longer than that (a long line is not read to its end). Failures of
  // the read throw CInternetException.
  bool ReadString(std::string* line, size_t maxBytes);

  // Releases the request; later calls fail quietly.
  void Close() {
    request_.reset();
    connection_.reset();
  }

 private:
  UniqueInternet connection_;  // declared first: the request goes before its connection
  UniqueInternet request_;
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
  // CInternetException. The caller owns the result.
  std::unique_ptr<CHttpFile> OpenURL(const std::wstring& url, DWORD_PTR context = 1,
                                     DWORD flags = INTERNET_FLAG_TRANSFER_ASCII,
                                     const wchar_t* headers = nullptr, DWORD headersLength = 0);

  // A 32-bit option (the time-outs) for the session and every request it opens from now
  // on: set on each request as well, since not every implementation of the layer passes
  // the session's time-outs on. Throws CInternetException.
  void SetOption(DWORD option, DWORD value);

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
};

}  // namespace fw
