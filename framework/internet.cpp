#include "framework/internet.h"

#include "settings/portable/update_rules.h"

namespace fw {

namespace {

bool StartsWithNoCase(const std::wstring& text, const wchar_t* prefix) {
  const size_t length = wcslen(prefix);
  return text.size() >= length &&
         CompareStringOrdinal(text.c_str(), static_cast<int>(length), prefix,
                              static_cast<int>(length), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool CHttpFile::QueryInfo(DWORD level, DWORD* value) {
  if (!request_) return false;
  DWORD number = 0;
  DWORD size = sizeof(number);
  if (!HttpQueryInfoW(request_.get(), level | HTTP_QUERY_FLAG_NUMBER, &number, &size, nullptr)) {
    return false;
  }
  *value = number;
  return true;
}

bool CHttpFile::ReadString(std::string* line, size_t maxBytes) {
  line->clear();
  if (!request_) return false;
  framewise::FirstLineReader reader(maxBytes);
  // Small reads: a version line is short, and nothing past its end is wanted.
  char chunk[512];
  for (;;) {
    DWORD read = 0;
    if (!InternetReadFile(request_.get(), chunk, sizeof(chunk), &read)) {
      throw CInternetException(GetLastError());
    }
    if (read == 0 || reader.Feed(chunk, read)) break;
  }
  if (reader.Finish() != framewise::FirstLineReader::Result::Line) return false;
  *line = reader.line();
  return true;
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
                                                     DWORD headersLength) {
  if (!StartsWithNoCase(url, L"http://") && !StartsWithNoCase(url, L"https://")) return nullptr;
  if (!session_) throw CInternetException(ERROR_INVALID_HANDLE);
  UniqueInternet request(InternetOpenUrlW(session_.get(), url.c_str(), headers, headersLength,
                                          flags, context ? context : context_));
  if (!request) throw CInternetException(GetLastError());
  return std::make_unique<CHttpFile>(std::move(request));
}

void CInternetSession::SetOption(DWORD option, DWORD value) {
  if (!InternetSetOptionW(session_.get(), option, &value, sizeof(value))) {
    throw CInternetException(GetLastError());
  }
}

}  // namespace fw
