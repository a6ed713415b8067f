#include "framework/internet.h"

namespace fw {

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  return text.size() >= length &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix,
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

}  // namespace

DeadlineInternet::DeadlineInternet(UniqueInternet handle, ULONGLONG deadline) : handle_(nullptr) {
  if (deadline == 0) {
    handle_.store(handle.release());
    return;
  }
  const ULONGLONG now = GetTickCount64();
  const ULONGLONG left = deadline > now ? deadline - now : 0;
  const DWORD due = left < MAXDWORD ? static_cast<DWORD>(left) : MAXDWORD - 1;
  // `handle` keeps ownership until the timer is set: a failure closes it by its owner.
  handle_.store(handle.get());
  if (!CreateTimerQueueTimer(timer_.put(), nullptr, &DeadlineInternet::OnDeadline, this, due, 0,
                             WT_EXECUTEONLYONCE)) {
    const DWORD error = GetLastError();
    handle_.store(nullptr);
    throw CInternetException(error);
  }
  // Ours now; the timer may already have closed it.
  handle.release();
}

void CALLBACK DeadlineInternet::OnDeadline(PVOID self, BOOLEAN) {
  auto* owner = static_cast<DeadlineInternet*>(self);
  // Marked first: a call that fails because of the close sees why.
  owner->expired_.store(true);
  owner->CloseOnce();
}

void DeadlineInternet::CloseOnce() {
  const HINTERNET handle = handle_.exchange(nullptr);
  if (handle) InternetCloseHandle(handle);
}

void DeadlineInternet::reset() {
  timer_.reset();
  CloseOnce();
}

void CHttpFile::Send(const wchar_t* headers, DWORD headersLength) {
  if (!HttpSendRequestW(request_.get(), headers, headers ? headersLength : 0, nullptr, 0)) {
    const DWORD error = GetLastError();
    throw CInternetException(expired() ? ERROR_INTERNET_TIMEOUT : error);
  }
  // An answer that completed as the deadline closed the handle cannot be read any more.
  if (expired()) throw CInternetException(ERROR_INTERNET_TIMEOUT);
}

bool CHttpFile::QueryInfo(DWORD level, DWORD* value) {
  if (!request_.get()) return false;
  DWORD number = 0;
  DWORD size = sizeof(number);
  if (!HttpQueryInfoW(request_.get(), level | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) {
    return false;
  }
  *value = number;
  return true;
}

bool CHttpFile::QueryInfo(DWORD level, std::wstring* value) {
  value->clear();
  if (!request_.get()) return false;
  DWORD size = 0;
  HttpQueryInfoW(request_.get(), level, nullptr, &size, nullptr);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
  std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
  size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  if (!HttpQueryInfoW(request_.get(), level, &text[0], &size, nullptr)) return false;
  text.resize(size / sizeof(wchar_t));
  *value = std::move(text);
  return true;
}

DWORD CHttpFile::Read(char* buffer, DWORD size) {
  if (expired()) throw CInternetException(ERROR_INTERNET_TIMEOUT);
  if (!request_.get()) return 0;
  DWORD read = 0;
  if (!InternetReadFile(request_.get(), buffer, size, &read)) {
    const DWORD error = GetLastError();
    throw CInternetException(expired() ? ERROR_INTERNET_TIMEOUT : error);
  }
  if (read == 0 && expired()) throw CInternetException(ERROR_INTERNET_TIMEOUT);
  return read;
}

CInternetSession::CInternetSession(const std::wstring& agent, DWORD_PTR context, DWORD accessType,
                                   const wchar_t* proxyName, const wchar_t* proxyBypass,
                                   DWORD flags)
    : context_(context),
      session_(InternetOpenW(agent.c_str(), accessType, proxyName, proxyBypass, flags)) {
  if (!session_) throw CInternetException(GetLastError());
}

std::unique_ptr<CHttpFile> CInternetSession::OpenURL(const std::wstring& url, DWORD_PTR context,
                                                     DWORD flags, const wchar_t* headers,
                                                     DWORD headersLength, ULONGLONG deadline) {
  if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) return nullptr;
  if (!session_) throw CInternetException(ERROR_INVALID_HANDLE);
  if (context == 0) context = context_;

  wchar_t host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
  std::wstring path(url.size() + 1, L'\0');
  URL_COMPONENTSW parts = {};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = host;
  parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
  parts.lpszUrlPath = &path[0];
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts)) {
    throw CInternetException(GetLastError());
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return nullptr;
  path.resize(parts.dwUrlPathLength);
  if (path.empty()) path = L"/";

  // Connection and request opened apart (rather than in one call) so that the time-outs
  // and the deadline are on the request before anything is sent: the connection is made
  // when the request is sent.
  UniqueInternet connection(InternetConnectW(session_.get(), host, parts.nPort, nullptr, nullptr,
                                             INTERNET_SERVICE_HTTP, 0, context));
  if (!connection) throw CInternetException(GetLastError());
  if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
  UniqueInternet request(HttpOpenRequestW(connection.get(), L"GET", path.c_str(), nullptr, nullptr,
                                          nullptr, flags, context));
  if (!request) throw CInternetException(GetLastError());
  for (size_t i = 0; i < optionCount_; ++i) {
    DWORD value = options_[i].value;
    InternetSetOptionW(request.get(), options_[i].option, &value, sizeof(value));
  }
  auto file = std::make_unique<CHttpFile>(std::move(connection), std::move(request), deadline);
  file->Send(headers, headersLength);
  return file;
}

void CInternetSession::SetOption(DWORD option, DWORD value) {
  if (!InternetSetOptionW(session_.get(), option, &value, sizeof(value))) {
    throw CInternetException(GetLastError());
  }
  for (size_t i = 0; i < optionCount_; ++i) {
    if (options_[i].option == option) {
      options_[i].value = value;
      return;
    }
  }
  if (optionCount_ < sizeof(options_) / sizeof(options_[0])) options_[optionCount_++] = {option, value};
}

}  // namespace fw
