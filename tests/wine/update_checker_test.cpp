// The update checker against a real HTTP server on loopback, reached by the real Internet
// layer through the prefix's proxy setting: downloads, hostile and trickled answers, the
// redirects followed, the scheduling rules, the release and beta steps, and the module
// staying loaded under its worker.
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/com_ptr.h"
#include "framework/internet.h"
#include "framework/win_owners.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/import_patch.h"
#include "tests/support/loopback_http_server.h"
#include "settings/settings_file.h"
#include "settings/update_checker.h"
#include "shellext/guids.h"
#include "shellext/module.h"
#include "tests/support/test_support.h"
#include "update_checker_reset.h"

namespace framewise {
namespace {

using testsupport::HttpAnswer;
using testsupport::HttpRequestSeen;

// The fetch deadline the tests set: short, but well above a loopback request.
constexpr DWORD kTestDeadlineMs = 2500;

// A host name that only the loopback proxy answers for.
const std::wstring kBase = L"http://wrenfly.test/framewise/versions/";
const std::wstring kReleaseUrl = kBase + L"currentrelease.txt";
const std::wstring kBetaUrl = kBase + L"currentbeta.txt";
const std::wstring kOwn = L"01.01.00.0000";  // 1.1.0.0
const wchar_t kText108[] = L"An update is is available. Go online for info.";
const wchar_t kText123[] = L"A newer version of Wrenfly Framewise is available";
const wchar_t kText124[] = L"A new beta release of Wrenfly Framewise is available";

std::wstring Today() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return FormatSettingsDate(now.wYear, now.wMonth, now.wDay);
}

// The local date `days` before today, as stored.
std::wstring DaysAgo(int days) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME file;
  SystemTimeToFileTime(&now, &file);
  ULARGE_INTEGER t;
  t.LowPart = file.dwLowDateTime;
  t.HighPart = file.dwHighDateTime;
  t.QuadPart -= static_cast<LONGLONG>(days) * 864000000000LL;
  file.dwLowDateTime = t.LowPart;
  file.dwHighDateTime = t.HighPart;
  SYSTEMTIME then;
  FileTimeToSystemTime(&file, &then);
  return FormatSettingsDate(then.wYear, then.wMonth, then.wDay);
}

std::wstring ReadRaw(SettingsScope scope, const wchar_t* key) {
  wchar_t value[256];
  GetPrivateProfileStringW(kUpdateCheckSection, key, L"<absent>", value, 256,
                           SettingsFile::GetPath(scope, nullptr));
  return value;
}

void WriteRaw(SettingsScope scope, const wchar_t* key, const wchar_t* value) {
  WritePrivateProfileStringW(kUpdateCheckSection, key, value,
                             SettingsFile::GetPath(scope, nullptr));
}

// Serves fixed answers per path (the end of the URL); anything else is 404.
struct Site {
  HttpAnswer release = HttpAnswer::Text("", 404);
  HttpAnswer beta = HttpAnswer::Text("", 404);
  HttpAnswer connect;  // what a CONNECT (an https URL) gets
  HttpAnswer operator()(const HttpRequestSeen& r) const {
    if (r.method == "CONNECT") return connect;
    if (r.target.find("currentrelease.txt") != std::string::npos) return release;
    if (r.target.find("currentbeta.txt") != std::string::npos) return beta;
    return HttpAnswer::Text("", 404);
  }
};

// Sending a request as its documentation reads: additional headers and optional data are
// each a pointer with a length, and a length without its pointer is refused, where Wine
// would ignore it.
decltype(&HttpSendRequestW) g_realSend = nullptr;
BOOL WINAPI DocumentedSend(HINTERNET request, LPCWSTR headers, DWORD headersLength, LPVOID optional,
                           DWORD optionalLength) {
  if ((!headers && headersLength != 0) || (!optional && optionalLength != 0)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return g_realSend(request, headers, headersLength, optional, optionalLength);
}

class UpdateCheckTest : public testing::Test {
 protected:
  UpdateCheckTest() { g_realSend = send_.real_as<decltype(g_realSend)>(); }
  testsupport::ImportPatch send_{"wininet.dll", "HttpSendRequestW",
                                 reinterpret_cast<void*>(&DocumentedSend)};

  void SetUp() override {
    ASSERT_TRUE(server.ok());
    ASSERT_NE(SettingsFile::GetPath(SettingsScope::CurrentUser, nullptr)[0], L'\0');
    ASSERT_NE(SettingsFile::GetPath(SettingsScope::AllUsers, nullptr)[0], L'\0');
    ResetUpdateCheckerForTesting();
  }
  void TearDown() override {
    ResetUpdateCheckerForTesting();
    // Later handlers in this process must not start a check of the prefix's own settings:
    // the flag is left set by a schedule that does nothing (stale, not allowed).
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, nullptr);
    WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, nullptr);
    HANDLE none = nullptr;
    UpdateCheckJob idle;
    UpdateChecker::ScheduleWith(&none, &idle);  // fresh or not allowed: the files are empty
  }

  void Serve(const Site& site) {
    server.SetResponder(site);
    server.ClearRequests();
  }

  std::vector<std::string> Paths() {
    std::vector<std::string> paths;
    for (const HttpRequestSeen& r : server.Requests()) paths.push_back(r.method + " " + r.target);
    return paths;
  }

  static UpdateCheckJob Job(bool prerelease = false, DWORD timeoutMs = 5000) {
    UpdateCheckJob job;
    job.agent = L"Wrenfly Framewise 1.1";
    job.releaseUrl = kReleaseUrl;
    job.betaUrl = kBetaUrl;
    job.ownVersion = kOwn;
    job.prerelease = prerelease;
    job.timeoutMs = timeoutMs;
    job.fetchDeadlineMs = kTestDeadlineMs;
    return job;
  }

  // The worker's status after ScheduleWith: waits for it when one started.
  static void WaitFor(HANDLE thread) {
    if (thread) {
      ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    }
  }

  // Order matters: the files go aside before the proxy, and come back after it.
  testsupport::FileAside userFile{SettingsFile::GetPath(SettingsScope::CurrentUser, nullptr)};
  testsupport::FileAside machineFile{SettingsFile::GetPath(SettingsScope::AllUsers, nullptr)};
  testsupport::LoopbackHttpServer server{Site()};
  testsupport::ProxyOverride proxy{server.port()};
};

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// Answers whose every byte comes well within the receive time-out, but which would take
// about half a minute to finish: only the fetch deadline ends them.
constexpr DWORD kTrickleByteMs = 250;
HttpAnswer TrickledHead() {
  HttpAnswer a = HttpAnswer::Text("1.2\n");
  a.extraHeaders = "X-Padding: " + std::string(40, 'p') + "\r\n";  // a head of about 130 bytes
  a.headByteMs = kTrickleByteMs;
  return a;
}
HttpAnswer TrickledBody(size_t digits = 120) {
  HttpAnswer a = HttpAnswer::Text(std::string(digits, '7') + "\n");
  a.bodyByteMs = kTrickleByteMs;
  return a;
}

TEST_F(UpdateCheckTest, FetchTakesTheFirstLineAndStampsTheDateOnlyOnSuccess) {
  struct Case {
    const char* name;
    HttpAnswer answer;
    const wchar_t* raw;
    const wchar_t* comparable;
    bool stamped;
  };
  const Case cases[] = {
      {"version CR LF", HttpAnswer::Text("1.2.0.5\r\n2.0\r\n"), L"1.2.0.5", L"01.02.00.0005", true},
      {"no line end", HttpAnswer::Text("2.0"), L"2.0", L"02.00.00.0000", true},
      {"binary", HttpAnswer::Text(std::string("1.3\0\xff\xfe\x01zz\n", 9)), L"1.3",
       L"01.03.00.0000", true},
      {"empty first line", HttpAnswer::Text("\n1.2\n"), L"", L"", true},
      {"empty body", HttpAnswer::Text(""), L"", L"", false},
      {"299, the last success", HttpAnswer::Text("1.4\n", 299), L"1.4", L"01.04.00.0000", true},
      {"300, not a success", HttpAnswer::Text("1.9\n", 300), L"", L"", false},
      {"404", HttpAnswer::Text("1.9\n", 404), L"", L"", false},
      {"500", HttpAnswer::Text("1.9\n", 500), L"", L"", false},
      {"10 MB line", HttpAnswer::Text(std::string(10 * 1024 * 1024, '7')), L"", L"", false},
  };
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000);
  // Shipped sessions ("Check for updates now", the worker's job) bound each fetch by
  // about half a minute.
  EXPECT_EQ(session->fetchDeadline(), UpdateChecker::kFetchDeadlineMs);
  EXPECT_EQ(UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1")->fetchDeadline(), 30000u);
  EXPECT_EQ(UpdateChecker::OwnJob().fetchDeadlineMs, 0u);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, L"2006/7/4");
    Site site;
    site.release = c.answer;
    Serve(site);
    std::wstring raw = L"marker", comparable = L"marker";
    const ULONGLONG start = GetTickCount64();
    ASSERT_NO_THROW(UpdateChecker::FetchVersionFile(session, kReleaseUrl, &raw, &comparable));
    EXPECT_LT(GetTickCount64() - start, 4000u);
    EXPECT_EQ(raw, c.raw);
    EXPECT_EQ(comparable, c.comparable);
    EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey),
              c.stamped ? Today() : L"2006/7/4");
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "GET");
    // Through a proxy the request names the whole URL, with the port.
    EXPECT_EQ(requests[0].target, "http://wrenfly.test:80/framewise/versions/currentrelease.txt");
    EXPECT_EQ(requests[0].userAgent, "Wrenfly Framewise 1.1");
  }
  // Not a web address: nothing is opened.
  std::wstring raw = L"marker", comparable;
  server.ClearRequests();
  UpdateChecker::FetchVersionFile(session, L"file:///c:/windows/win.ini", &raw, &comparable);
  EXPECT_EQ(raw, L"");
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(UpdateCheckTest, HostileAnswersEndInTimeAsErrorsOrNothing) {
  struct Case {
    const char* name;
    HttpAnswer answer;
    DWORD error;      // the Internet error thrown; 0: none (the answer is simply not used)
    size_t requests;  // what the server saw
    ULONGLONG withinMs;
  };
  HttpAnswer redirect = HttpAnswer::Text("", 302);
  redirect.extraHeaders = "Location: " + Narrow(kReleaseUrl) + "\r\n";
  HttpAnswer stall;
  stall.kind = HttpAnswer::Kind::Stall;
  stall.stallMs = 30000;  // far beyond the session's time-out
  HttpAnswer reset;
  reset.kind = HttpAnswer::Kind::Reset;
  constexpr DWORD kAny = MAXDWORD;
  const Case cases[] = {
      // The first request and five redirects, then the answer is given up.
      {"redirect loop", redirect, 0, 6, 15000},
      {"never answers", stall, kAny, 1, 15000},
      {"reset", reset, kAny, 1, 15000},
      {"trickled head", TrickledHead(), ERROR_INTERNET_TIMEOUT, 1, kTestDeadlineMs + 1500},
      {"trickled body", TrickledBody(), ERROR_INTERNET_TIMEOUT, 1, kTestDeadlineMs + 1500},
      // A status code has three digits: 100 and 999 are answers (not successes), 99 and
      // 1000 none.
      {"status 100", HttpAnswer::Text("1.9\n", 100), 0, 1, 15000},
      {"status 99", HttpAnswer::Text("1.9\n", 99), ERROR_HTTP_INVALID_SERVER_RESPONSE, 1, 15000},
      {"status 999", HttpAnswer::Text("1.9\n", 999), 0, 1, 15000},
      {"status 1000", HttpAnswer::Text("1.9\n", 1000), ERROR_HTTP_INVALID_SERVER_RESPONSE, 1,
       15000},
  };
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 2000, kTestDeadlineMs);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    printf("  %s...\n", c.name);
    fflush(stdout);
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, L"2006/7/4");
    Site site;
    site.release = c.answer;
    Serve(site);
    std::wstring raw = L"marker", comparable = L"marker";
    DWORD error = 0;
    const ULONGLONG start = GetTickCount64();
    try {
      UpdateChecker::FetchVersionFile(session, kReleaseUrl, &raw, &comparable);
    } catch (const fw::CInternetException& e) {
      error = e.error();
    }
    const ULONGLONG took = GetTickCount64() - start;
    EXPECT_LT(took, c.withinMs);
    if (c.error == kAny) {
      EXPECT_NE(error, 0u);
    } else {
      EXPECT_EQ(error, c.error);
    }
    EXPECT_EQ(raw, L"");
    EXPECT_EQ(comparable, L"");
    EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey), L"2006/7/4");
    EXPECT_EQ(server.Requests().size(), c.requests);
    printf("  %s: %u ms, error %lu, %zu requests\n", c.name, static_cast<unsigned>(took), error,
           server.Requests().size());
  }
}

// A deadline closes its request when it passes, whatever the caller is doing: nothing can
// be asked of the request after it. A request without one stays open, and a session
// without a fetch deadline fetches as one with it does.
// A read that ends with no bytes after waiting past any deadline: the body's end, or a read
// the deadline's close cut short.
BOOL WINAPI EmptyReadAfterTheDeadline(HINTERNET, LPVOID, DWORD, LPDWORD read) {
  Sleep(900);
  *read = 0;
  return TRUE;
}

TEST_F(UpdateCheckTest, ARequestIsClosedAtItsDeadlineAndNoDeadlineMeansNone) {
  Site site;
  site.release = HttpAnswer::Text("1.2\n");
  Serve(site);
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000);
  for (bool withDeadline : {false, true}) {
    SCOPED_TRACE(withDeadline ? "deadline in 300 ms" : "no deadline");
    std::unique_ptr<fw::CHttpFile> file;
    ASSERT_NO_THROW(file = session->OpenURL(kReleaseUrl, 0, INTERNET_FLAG_RELOAD, nullptr, 0,
                                            withDeadline ? GetTickCount64() + 300 : 0));
    ASSERT_TRUE(file);
    DWORD status = 0;
    EXPECT_TRUE(file->QueryInfo(HTTP_QUERY_STATUS_CODE, &status));
    EXPECT_EQ(status, 200u);
    Sleep(900);
    EXPECT_EQ(file->expired(), withDeadline);
    EXPECT_EQ(file->QueryInfo(HTTP_QUERY_STATUS_CODE, &status), !withDeadline);
    std::wstring text = L"stale";
    EXPECT_EQ(file->QueryInfo(HTTP_QUERY_STATUS_TEXT, &text), !withDeadline);
    EXPECT_EQ(text, withDeadline ? L"" : L"OK");
  }

  // An empty read is the body's end, unless the deadline struck during it: then it is the
  // time-out, not an empty version file.
  for (bool withDeadline : {false, true}) {
    SCOPED_TRACE(withDeadline ? "deadline during the read" : "no deadline");
    std::unique_ptr<fw::CHttpFile> file;
    ASSERT_NO_THROW(file = session->OpenURL(kReleaseUrl, 0, INTERNET_FLAG_RELOAD, nullptr, 0,
                                            withDeadline ? GetTickCount64() + 300 : 0));
    ASSERT_TRUE(file);
    testsupport::ImportPatch empty("wininet.dll", "InternetReadFile",
                                   reinterpret_cast<void*>(&EmptyReadAfterTheDeadline));
    ASSERT_NE(empty.real(), nullptr);
    char buffer[16];
    DWORD error = 0;
    DWORD read = 99;
    try {
      read = file->Read(buffer, sizeof(buffer));
    } catch (const fw::CInternetException& e) {
      error = e.error();
    }
    EXPECT_EQ(error, withDeadline ? DWORD{ERROR_INTERNET_TIMEOUT} : DWORD{0});
    EXPECT_EQ(read, withDeadline ? 99u : 0u);
  }

  // Closed by its owner before the deadline: the deadline no longer acts on it.
  {
    std::unique_ptr<fw::CHttpFile> file;
    ASSERT_NO_THROW(file = session->OpenURL(kReleaseUrl, 0, INTERNET_FLAG_RELOAD, nullptr, 0,
                                            GetTickCount64() + 300));
    ASSERT_TRUE(file);
    file->Close();
    Sleep(600);
    EXPECT_FALSE(file->expired());
    DWORD status = 0;
    std::wstring text = L"stale";
    EXPECT_FALSE(file->QueryInfo(HTTP_QUERY_STATUS_CODE, &status));
    EXPECT_FALSE(file->QueryInfo(HTTP_QUERY_STATUS_TEXT, &text));
    EXPECT_EQ(text, L"");
  }

  session->SetFetchDeadline(0);
  std::wstring raw, comparable;
  ASSERT_NO_THROW(UpdateChecker::FetchVersionFile(session, kReleaseUrl, &raw, &comparable));
  EXPECT_EQ(raw, L"1.2");
}

// A ledger of the connection and request handles the Internet layer opens, and of every
// close: each handle it opens must be closed exactly once, whether its owner closes it or
// its deadline does.
std::mutex g_ledgerLock;
std::map<HINTERNET, int> g_opened;  // handle -> closes seen
int g_unknownCloses = 0;
void* g_realConnect = nullptr;
void* g_ledgerOpenRequest = nullptr;
void* g_realClose = nullptr;

HINTERNET Opened(HINTERNET handle) {
  if (handle) {
    std::lock_guard<std::mutex> hold(g_ledgerLock);
    g_opened[handle] = 0;
  }
  return handle;
}
HINTERNET WINAPI LedgerConnect(HINTERNET session, LPCWSTR host, INTERNET_PORT port, LPCWSTR user,
                               LPCWSTR password, DWORD service, DWORD flags, DWORD_PTR context) {
  return Opened(reinterpret_cast<decltype(&InternetConnectW)>(g_realConnect)(
      session, host, port, user, password, service, flags, context));
}
HINTERNET WINAPI LedgerOpenRequest(HINTERNET connection, LPCWSTR verb, LPCWSTR object,
                                   LPCWSTR version, LPCWSTR referrer, LPCWSTR* types, DWORD flags,
                                   DWORD_PTR context) {
  return Opened(reinterpret_cast<decltype(&HttpOpenRequestW)>(g_ledgerOpenRequest)(
      connection, verb, object, version, referrer, types, flags, context));
}
BOOL WINAPI LedgerClose(HINTERNET handle) {
  {
    std::lock_guard<std::mutex> hold(g_ledgerLock);
    auto found = g_opened.find(handle);
    if (found != g_opened.end()) {
      ++found->second;
    } else {
      ++g_unknownCloses;  // the session's own, or one closed twice after reuse
    }
  }
  return reinterpret_cast<decltype(&InternetCloseHandle)>(g_realClose)(handle);
}

TEST_F(UpdateCheckTest, EveryOpenedHandleIsClosedOnceByItsOwnerOrItsDeadline) {
  Site site;
  site.release = HttpAnswer::Text("1.2\n");
  Serve(site);
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000);
  testsupport::ImportPatch connect("wininet.dll", "InternetConnectW",
                                   reinterpret_cast<void*>(&LedgerConnect));
  testsupport::ImportPatch open("wininet.dll", "HttpOpenRequestW",
                                reinterpret_cast<void*>(&LedgerOpenRequest));
  testsupport::ImportPatch close("wininet.dll", "InternetCloseHandle",
                                 reinterpret_cast<void*>(&LedgerClose));
  ASSERT_NE(connect.real(), nullptr);
  ASSERT_NE(open.real(), nullptr);
  ASSERT_NE(close.real(), nullptr);
  g_realConnect = connect.real();
  g_ledgerOpenRequest = open.real();
  g_realClose = close.real();

  enum class End { Close, Destroy, DeadlineThenClose, DeadlineThenDestroy };
  for (End end : {End::Close, End::Destroy, End::DeadlineThenClose, End::DeadlineThenDestroy}) {
    SCOPED_TRACE(static_cast<int>(end));
    {
      std::lock_guard<std::mutex> hold(g_ledgerLock);
      g_opened.clear();
      g_unknownCloses = 0;
    }
    const bool deadline = end == End::DeadlineThenClose || end == End::DeadlineThenDestroy;
    std::unique_ptr<fw::CHttpFile> file;
    ASSERT_NO_THROW(file = session->OpenURL(kReleaseUrl, 0, INTERNET_FLAG_RELOAD, nullptr, 0,
                                            deadline ? GetTickCount64() + 300 : 0));
    ASSERT_TRUE(file);
    if (deadline) {
      Sleep(900);
      EXPECT_TRUE(file->expired());
    }
    if (end == End::Close || end == End::DeadlineThenClose) file->Close();
    file.reset();
    std::lock_guard<std::mutex> hold(g_ledgerLock);
    EXPECT_EQ(g_opened.size(), 2u);  // the connection and its request
    for (const auto& entry : g_opened) EXPECT_EQ(entry.second, 1);
    EXPECT_EQ(g_unknownCloses, 0);
  }
}

// A host name of `length` characters in labels of at most 50, ending in ".test".
std::wstring HostOfLength(size_t length) {
  std::wstring host;
  while (host.size() + 50 < length - 5) host += std::wstring(49, L'h') + L".";
  host += std::wstring(length - 5 - host.size(), L'g');
  return host + L".test";
}

// Host names are taken up to the Internet's limit of 256 characters: one of 256 is asked
// for, one of 257 is refused before anything is sent.
TEST_F(UpdateCheckTest, HostNamesUpToTheLimitAreAskedFor) {
  Site site;
  site.release = HttpAnswer::Text("1.2\n");
  Serve(site);
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000);
  for (size_t length : {size_t{256}, size_t{257}}) {
    SCOPED_TRACE(length);
    server.ClearRequests();
    const std::wstring host = HostOfLength(length);
    ASSERT_EQ(host.size(), length);
    std::unique_ptr<fw::CHttpFile> file;
    DWORD error = 0;
    try {
      file =
          session->OpenURL(L"http://" + host + L"/v.txt", 0, INTERNET_FLAG_RELOAD, nullptr, 0, 0);
    } catch (const fw::CInternetException& e) {
      error = e.error();
    }
    const auto requests = server.Requests();
    if (length <= 256) {
      EXPECT_TRUE(file);
      ASSERT_EQ(requests.size(), 1u);
      EXPECT_NE(requests[0].target.find(Narrow(host)), std::string::npos);
    } else {
      EXPECT_FALSE(file);
      EXPECT_NE(error, 0u);
      EXPECT_TRUE(requests.empty());
    }
  }
}

// Only web addresses are opened, their scheme in any case; an address without a path asks
// for the root; a text header is read without its terminating zero, an absent one is none.
TEST_F(UpdateCheckTest, TheInternetLayerOpensWebAddressesOnly) {
  Site site;
  site.release = HttpAnswer::Text("1.2\n");
  Serve(site);
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000);
  for (const wchar_t* url :
       {L"ftp://wrenfly.test/framewise/versions/currentrelease.txt", L"file:///c:/windows/win.ini",
        L"http:/wrenfly.test/", L"http:", L"mailto:x@wrenfly.test", L""}) {
    std::unique_ptr<fw::CHttpFile> file;
    EXPECT_NO_THROW(file = session->OpenURL(url, 0, INTERNET_FLAG_RELOAD, nullptr, 0, 0));
    EXPECT_FALSE(file) << Narrow(url);
  }
  EXPECT_TRUE(server.Requests().empty());

  std::unique_ptr<fw::CHttpFile> file;
  ASSERT_NO_THROW(file =
                      session->OpenURL(L"HTTP://wrenfly.test/framewise/versions/currentrelease.txt",
                                       0, INTERNET_FLAG_RELOAD, nullptr, 0, 0));
  ASSERT_TRUE(file);
  DWORD status = 0;
  EXPECT_TRUE(file->QueryInfo(HTTP_QUERY_STATUS_CODE, &status));
  EXPECT_EQ(status, 200u);
  std::wstring type;
  EXPECT_TRUE(file->QueryInfo(HTTP_QUERY_STATUS_TEXT, &type));
  EXPECT_EQ(type, L"OK");
  EXPECT_FALSE(file->QueryInfo(HTTP_QUERY_LOCATION, &type));
  EXPECT_EQ(type, L"");
  file.reset();
  ASSERT_NO_THROW(
      file = session->OpenURL(L"http://wrenfly.test", 0, INTERNET_FLAG_RELOAD, nullptr, 0, 0));
  ASSERT_TRUE(file);
  const auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "http://wrenfly.test:80/framewise/versions/currentrelease.txt");
  EXPECT_EQ(requests[1].target, "http://wrenfly.test:80/");
}

// The options set on handles, recorded as they pass to the Internet layer.
struct OptionSet {
  HINTERNET handle;
  DWORD option;
  DWORD value;
};
std::vector<OptionSet> g_optionsSet;
BOOL(WINAPI* g_realSetOption)(HINTERNET, DWORD, LPVOID, DWORD) = nullptr;
BOOL WINAPI RecordingSetOption(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  if (buffer && length == sizeof(DWORD)) {
    g_optionsSet.push_back({handle, option, *static_cast<DWORD*>(buffer)});
  }
  return g_realSetOption(handle, option, buffer, length);
}

// A session's options reach the session at once and each request it opens later, every
// option with the value it was last given; a session keeps up to four options.
TEST_F(UpdateCheckTest, SessionOptionsReachEveryRequestWithTheirLastValue) {
  testsupport::ImportPatch patch("wininet.dll", "InternetSetOptionW",
                                 reinterpret_cast<void*>(&RecordingSetOption));
  ASSERT_NE(patch.real(), nullptr);
  g_realSetOption = patch.real_as<decltype(g_realSetOption)>();
  Site site;
  site.release = HttpAnswer::Text("1.2\n");
  Serve(site);
  g_optionsSet.clear();
  fw::CInternetSession session(L"Wrenfly Framewise 1.1");
  session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 1000);
  session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 2000);
  session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 3000);
  ASSERT_EQ(g_optionsSet.size(), 3u);
  for (const OptionSet& o : g_optionsSet) EXPECT_EQ(o.handle, session.handle());

  auto requestOptions = [&]() {
    g_optionsSet.clear();
    std::unique_ptr<fw::CHttpFile> file;
    EXPECT_NO_THROW(file = session.OpenURL(kReleaseUrl, 0, INTERNET_FLAG_RELOAD));
    EXPECT_TRUE(file);
    std::vector<std::pair<DWORD, DWORD>> seen;
    for (const OptionSet& o : g_optionsSet) {
      EXPECT_NE(o.handle, session.handle());
      seen.emplace_back(o.option, o.value);
    }
    return seen;
  };
  using Seen = std::vector<std::pair<DWORD, DWORD>>;
  EXPECT_EQ(requestOptions(),
            (Seen{{INTERNET_OPTION_RECEIVE_TIMEOUT, 3000}, {INTERNET_OPTION_SEND_TIMEOUT, 2000}}));
  session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 4000);
  session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, 2);
  session.SetOption(INTERNET_OPTION_DATA_SEND_TIMEOUT, 5000);  // a fifth: the session only
  EXPECT_EQ(requestOptions(), (Seen{{INTERNET_OPTION_RECEIVE_TIMEOUT, 3000},
                                    {INTERNET_OPTION_SEND_TIMEOUT, 2000},
                                    {INTERNET_OPTION_CONNECT_TIMEOUT, 4000},
                                    {INTERNET_OPTION_CONNECT_RETRIES, 2}}));

  // The checker's sessions: connect, send and receive bounded by the time-out given, else
  // by 20 seconds, far below the Internet layer's own minutes.
  for (const DWORD given : {DWORD{0}, DWORD{5000}}) {
    g_optionsSet.clear();
    auto checker = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", given);
    const DWORD expected = given ? given : 20000;
    std::map<DWORD, DWORD> set;
    for (const OptionSet& o : g_optionsSet) {
      EXPECT_EQ(o.handle, checker->handle());
      set[o.option] = o.value;
    }
    EXPECT_EQ(set, (std::map<DWORD, DWORD>{{INTERNET_OPTION_CONNECT_TIMEOUT, expected},
                                           {INTERNET_OPTION_SEND_TIMEOUT, expected},
                                           {INTERNET_OPTION_RECEIVE_TIMEOUT, expected}}));
  }
}

// TLS ends in the test: the checker's https requests reach the loopback proxy as plain
// requests to port 443, while the checker itself still sees https addresses.
HINTERNET(WINAPI* g_realOpenRequest)
(HINTERNET, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR*, DWORD, DWORD_PTR) = nullptr;
std::atomic<int> g_secureRequests{0};
HINTERNET WINAPI OpenRequestWithoutTls(HINTERNET connection, LPCWSTR verb, LPCWSTR object,
                                       LPCWSTR version, LPCWSTR referrer, LPCWSTR* accept,
                                       DWORD flags, DWORD_PTR context) {
  if (flags & INTERNET_FLAG_SECURE) ++g_secureRequests;
  return g_realOpenRequest(connection, verb, object, version, referrer, accept,
                           flags & ~INTERNET_FLAG_SECURE, context);
}

class TlsStripped {
 public:
  TlsStripped() {
    g_secureRequests = 0;
    g_realOpenRequest = patch_.real_as<decltype(g_realOpenRequest)>();
  }
  TlsStripped(const TlsStripped&) = delete;
  TlsStripped& operator=(const TlsStripped&) = delete;
  bool ok() const { return patch_.real() != nullptr; }

 private:
  testsupport::ImportPatch patch_{"wininet.dll", "HttpOpenRequestW",
                                  reinterpret_cast<void*>(&OpenRequestWithoutTls)};
};

// The redirects HTTP defines as "go there instead" (301, 302, 303, 307, 308) are followed;
// other 3xx answers (multiple choices, not modified, use proxy) are answers, not redirects.
TEST_F(UpdateCheckTest, OnlyRedirectCodesAreFollowed) {
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000, kTestDeadlineMs);
  for (int code : {300, 301, 302, 303, 304, 305, 307, 308}) {
    SCOPED_TRACE(code);
    HttpAnswer moved = HttpAnswer::Text("", code);
    moved.extraHeaders = "Location: " + Narrow(kBetaUrl) + "\r\n";
    Site site;
    site.release = moved;
    site.beta = HttpAnswer::Text("1.7\n");
    Serve(site);
    std::wstring raw = L"marker", comparable = L"marker";
    EXPECT_NO_THROW(UpdateChecker::FetchVersionFile(session, kReleaseUrl, &raw, &comparable));
    const bool redirect = code != 300 && code != 304 && code != 305;
    EXPECT_EQ(raw, redirect ? L"1.7" : L"");
    EXPECT_EQ(server.Requests().size(), redirect ? 2u : 1u);
  }
}

TEST_F(UpdateCheckTest, RedirectsMayRaiseButNeverLowerTheSecurity) {
  TlsStripped tls;
  ASSERT_TRUE(tls.ok());
  // Every address of the site, as the proxy sees it (an https one on port 443), with its
  // answer: the version, or a redirect elsewhere.
  const std::string plain = "http://wrenfly.test:80/v/", secure = "http://wrenfly.test:443/v/";
  auto to = [](const char* location) {
    HttpAnswer a = HttpAnswer::Text("", 302);
    a.extraHeaders = std::string("Location: ") + location + "\r\n";
    return a;
  };
  const std::pair<std::string, HttpAnswer> site[] = {
      {plain + "up", to("https://wrenfly.test/v/file")},
      {plain + "up-down", to("https://wrenfly.test/v/down")},
      {secure + "down", to("http://wrenfly.test/v/file")},
      {secure + "across", to("https://wrenfly.test/v/file")},
      {secure + "file", HttpAnswer::Text("1.4\n")},
      {plain + "file", HttpAnswer::Text("1.5\n")},
  };
  server.SetResponder([&](const HttpRequestSeen& r) {
    for (const auto& page : site) {
      if (r.target == page.first) return page.second;
    }
    return HttpAnswer::Text("", 404);
  });
  struct Case {
    const wchar_t* url;
    DWORD error;  // 0: the file was read
    const wchar_t* raw;
    std::vector<std::string> requests;  // in order
    int secure;                         // requests the checker asked as https
  };
  const Case cases[] = {
      {L"http://wrenfly.test/v/up", 0, L"1.4", {plain + "up", secure + "file"}, 1},
      {L"https://wrenfly.test/v/across", 0, L"1.4", {secure + "across", secure + "file"}, 2},
      {L"https://wrenfly.test/v/down",
       ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
       L"",
       {secure + "down"},
       1},
      {L"http://wrenfly.test/v/up-down",
       ERROR_INTERNET_HTTPS_TO_HTTP_ON_REDIR,
       L"",
       {plain + "up-down", secure + "down"},
       1},
  };
  auto session = UpdateChecker::OpenSession(L"Wrenfly Framewise 1.1", 5000, kTestDeadlineMs);
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.url));
    server.ClearRequests();
    g_secureRequests = 0;
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, L"2006/7/4");
    std::wstring raw = L"marker", comparable = L"marker";
    DWORD error = 0;
    try {
      UpdateChecker::FetchVersionFile(session, c.url, &raw, &comparable);
    } catch (const fw::CInternetException& e) {
      error = e.error();
    }
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(raw, c.raw);
    EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey),
              c.error ? L"2006/7/4" : Today());
    std::vector<std::string> seen;
    for (const HttpRequestSeen& r : server.Requests()) seen.push_back(r.method + " " + r.target);
    std::vector<std::string> expected;
    for (const std::string& target : c.requests) expected.push_back("GET " + target);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(g_secureRequests.load(), c.secure);
  }
}

TEST_F(UpdateCheckTest, ScheduleEvaluatesAFreshCacheAndLeavesAStaleOneAlone) {
  struct Case {
    const char* name;
    const wchar_t* lastChecked;  // null: absent
    bool prerelease;
    const wchar_t* allow;  // null: absent
    const wchar_t* cached;
    const wchar_t* cachedType;
    LONG found;
    const wchar_t* text;
  };
  const std::wstring day14 = DaysAgo(14), day15 = DaysAgo(15), day1 = DaysAgo(1), day2 = DaysAgo(2),
                     future = DaysAgo(-30), today = Today();
  const Case cases[] = {
      {"release, 14 days: fresh", day14.c_str(), false, L"1", L"1.2", L"Release", 1, nullptr},
      {"release, 15 days: stale", day15.c_str(), false, L"0", L"2.0", L"Release", 0, nullptr},
      {"beta, 1 day: fresh", day1.c_str(), true, L"1", L"1.2.0.5", L"Beta", 1, kText124},
      {"beta, 2 days: stale", day2.c_str(), true, nullptr, L"2.0", L"Release", 0, nullptr},
      {"future: fresh", future.c_str(), false, L"1", L"2.0", L"Release", 1, kText123},
      {"absent: stale", nullptr, false, L"0", L"2.0", L"Release", 0, nullptr},
      {"malformed: stale", L"last week", false, nullptr, L"2.0", L"Release", 0, nullptr},
      {"type None: a release", today.c_str(), false, L"1", L"2.0", L"None", 1, kText123},
      {"same version", today.c_str(), false, L"1", L"1.1", L"Release", 0, nullptr},
      {"empty cache", today.c_str(), false, L"1", L"", L"Release", 0, nullptr},
  };
  Serve(Site());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetUpdateCheckerForTesting();
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, c.lastChecked);
    WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, c.allow);
    WriteRaw(SettingsScope::AllUsers, kNewestVersionKey, c.cached);
    WriteRaw(SettingsScope::AllUsers, kNewestVersionTypeKey, c.cachedType);
    const UpdateCheckJob job = Job(c.prerelease);
    HANDLE thread = nullptr;
    UpdateChecker::ScheduleWith(&thread, &job);
    EXPECT_EQ(thread, nullptr);  // no case here starts the worker
    EXPECT_EQ(UpdateFound, c.found);
    if (c.text) {
      ASSERT_NE(UpdateText, nullptr);
      EXPECT_STREQ(UpdateText, c.text);
    } else {
      EXPECT_EQ(UpdateText, nullptr);
    }
    // Once per process, whatever the first outcome: a stale cache with checks allowed
    // would now start the worker, and does not.
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, nullptr);
    WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, L"1");
    UpdateChecker::ScheduleWith(&thread, &job);
    EXPECT_EQ(thread, nullptr);
  }
  EXPECT_TRUE(server.Requests().empty());
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                       LPDWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

// A worker that cannot start has checked nothing: it holds nothing, and the next handler in
// the process tries again; the worker that starts leaves its handle to the checker.
TEST_F(UpdateCheckTest, AWorkerThatCannotStartIsTriedAgain) {
  WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, L"2006/7/4");
  WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, L"1");
  Site site;
  site.release = HttpAnswer::Text("1.0\n");
  Serve(site);
  const LONG locksBefore = Module().GetLockCount();
  const UpdateCheckJob job = Job();
  HANDLE thread = nullptr;
  {
    testsupport::ImportPatch noThread("kernel32.dll", "CreateThread",
                                      reinterpret_cast<void*>(&NoThread));
    ASSERT_NE(noThread.real(), nullptr);
    UpdateChecker::ScheduleWith(&thread, &job);
  }
  EXPECT_EQ(thread, nullptr);
  EXPECT_EQ(Module().GetLockCount(), locksBefore);
  EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey), L"2006/7/4");

  UpdateChecker::ScheduleWith(&thread, &job);
  ASSERT_NE(thread, nullptr);
  WaitFor(thread);
  EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey), Today());
  EXPECT_FALSE(server.Requests().empty());

  // The worker's handle is the checker's: kept while the checker may wait for it, and
  // closed when the checker lets go of it (the caller only waits on it).
  DWORD flags = 0;
  EXPECT_TRUE(GetHandleInformation(thread, &flags));
  ResetUpdateCheckerForTesting();
  EXPECT_FALSE(GetHandleInformation(thread, &flags));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST_F(UpdateCheckTest, BackgroundStepsStoreTheLastFileReadAndPublishOnce) {
  struct Case {
    const char* name;
    bool prerelease;
    HttpAnswer release;
    HttpAnswer beta;
    const wchar_t* cached;  // "<absent>" when no step stored
    const wchar_t* cachedType;
    bool stamped;
    LONG found;
    const wchar_t* menuText;  // row 8's text; null: no row
    size_t requests;
  };
  HttpAnswer reset;
  reset.kind = HttpAnswer::Kind::Reset;
  HttpAnswer closed;
  closed.kind = HttpAnswer::Kind::Close;
  const Case cases[] = {
      {"same release", false, HttpAnswer::Text("1.1\r\n"), HttpAnswer::Text("9.9\n"), L"1.1",
       L"Release", true, 0, nullptr, 1},
      {"minor release", false, HttpAnswer::Text("1.2\r\n"), HttpAnswer::Text("9.9\n"), L"1.2",
       L"Release", true, 1, kText108, 1},
      {"major release", false, HttpAnswer::Text("2.0\n"), HttpAnswer::Text("9.9\n"), L"2.0",
       L"Release", true, 1, kText123, 1},
      {"beta after release", true, HttpAnswer::Text("1.1\n"), HttpAnswer::Text("1.2.0.5\r\n"),
       L"1.2.0.5", L"Beta", true, 1, kText124, 2},
      {"beta skipped", true, HttpAnswer::Text("1.2\n"), HttpAnswer::Text("1.3.0.1\n"), L"1.2",
       L"Release", true, 1, kText108, 1},
      {"release 404", false, HttpAnswer::Text("", 404), HttpAnswer::Text("9.9\n"), L"", L"Release",
       false, 0, nullptr, 1},
      {"release 500, beta", true, HttpAnswer::Text("", 500), HttpAnswer::Text("1.2.0.5\n"),
       L"1.2.0.5", L"Beta", true, 1, kText124, 2},
      {"release reset", false, reset, HttpAnswer::Text("9.9\n"), L"<absent>", L"<absent>", false, 0,
       nullptr, 1},
      // A release file that cannot be fetched does not stop a prerelease's look at the beta.
      {"release reset, beta", true, reset, HttpAnswer::Text("1.2.0.5\n"), L"1.2.0.5", L"Beta", true,
       1, kText124, 2},
      // No answer at all is an error, not an empty file: the cached version stays.
      {"release closed unanswered", false, closed, HttpAnswer::Text("9.9\n"), L"<absent>",
       L"<absent>", false, 0, nullptr, 1},
      // Nor is an answer that the fetch deadline cut short (this one would take 4 s).
      {"release trickled", false, TrickledBody(16), HttpAnswer::Text("9.9\n"), L"<absent>",
       L"<absent>", false, 0, nullptr, 1},
  };
  const testsupport::FileAside written{testsupport::UserDataFolder() + L"\\update-test.bmp"};
  const std::wstring& picture = written.path();
  ASSERT_TRUE(testsupport::WritePicture(picture, 400, 300, L"image/bmp"));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetUpdateCheckerForTesting();
    WriteRaw(SettingsScope::CurrentUser, kLastCheckedKey, L"2006/7/4");
    WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, L"1");
    WriteRaw(SettingsScope::AllUsers, kNewestVersionKey, nullptr);
    WriteRaw(SettingsScope::AllUsers, kNewestVersionTypeKey, nullptr);
    Site site;
    site.release = c.release;
    site.beta = c.beta;
    Serve(site);
    const LONG locksBefore = Module().GetLockCount();
    const UpdateCheckJob job = Job(c.prerelease);
    HANDLE thread = nullptr;
    const ULONGLONG start = GetTickCount64();
    UpdateChecker::ScheduleWith(&thread, &job);
    ASSERT_NE(thread, nullptr);
    WaitFor(thread);
    // Each step ends by its fetch deadline, however slowly the server answers.
    EXPECT_LT(GetTickCount64() - start, kTestDeadlineMs + 1500);
    // The worker's lock goes back as it ends. A download cut by its deadline gives its own
    // back as it ends: at once where closing the request ends the call it waits in, when
    // the server finishes under Wine.
    const ULONGLONG lockWait = GetTickCount64() + 15000;
    while (Module().GetLockCount() != locksBefore && GetTickCount64() < lockWait) Sleep(20);
    EXPECT_EQ(Module().GetLockCount(), locksBefore);
    EXPECT_EQ(ReadRaw(SettingsScope::AllUsers, kNewestVersionKey), c.cached);
    EXPECT_EQ(ReadRaw(SettingsScope::AllUsers, kNewestVersionTypeKey), c.cachedType);
    EXPECT_EQ(ReadRaw(SettingsScope::CurrentUser, kLastCheckedKey),
              c.stamped ? Today() : L"2006/7/4");
    EXPECT_EQ(UpdateFound, c.found);
    EXPECT_EQ(server.Requests().size(), c.requests);

    // The menu a later right-click in this process builds.
    testsupport::WorkAreaOverride area{{0, 0, 1280, 1024}, {0, 0, 1280, 1024}};
    testsupport::Handler h;
    ASSERT_EQ(h.InitializeWithFiles({picture}), S_OK);
    fw::UniqueMenu menu(CreatePopupMenu());
    ASSERT_EQ(HRESULT_CODE(h.menu->QueryContextMenu(menu.get(), 0, 100, 300, CMF_NORMAL)), 14);
    LRESULT result = 0;
    ASSERT_EQ(
        h.menu->HandleMenuMsg2(WM_INITMENUPOPUP,
                               reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &result),
        S_OK);
    if (c.menuText) {
      ASSERT_TRUE(h->menuItems.count(8));
      EXPECT_EQ(h->menuItems[8]->text, c.menuText);
    } else {
      EXPECT_FALSE(h->menuItems.count(8));
    }
  }
}

// What the system says of the machine's connection.
BOOL g_connected = TRUE;
DWORD g_connectionFlags = 0;
BOOL WINAPI StatedConnection(LPDWORD flags, DWORD) {
  *flags = g_connectionFlags;
  return g_connected;
}

// A check asks the site only when the machine is connected and not set to work offline.
TEST_F(UpdateCheckTest, NoConnectionOrWorkingOfflineAsksNothing) {
  testsupport::ImportPatch stated("wininet.dll", "InternetGetConnectedState",
                                  reinterpret_cast<void*>(&StatedConnection));
  ASSERT_NE(stated.real(), nullptr);
  Site site;
  site.release = HttpAnswer::Text("1.1\n");
  const struct {
    const char* name;
    BOOL connected;
    DWORD flags;
    bool asks;
  } cases[] = {
      {"no connection", FALSE, 0, false},
      {"no connection, offline", FALSE, INTERNET_CONNECTION_OFFLINE, false},
      {"connected, offline", TRUE, INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_OFFLINE, false},
      {"connected", TRUE, INTERNET_CONNECTION_LAN, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    g_connected = c.connected;
    g_connectionFlags = c.flags;
    Serve(site);
    UpdateChecker::RunCheck(Job());
    EXPECT_EQ(server.Requests().empty(), !c.asks);
  }
}

TEST_F(UpdateCheckTest, HandlersInitialisingAtOnceStartOneWorker) {
  WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, L"1");
  Site site;
  site.release = HttpAnswer::Text("1.1\n");
  Serve(site);
  const UpdateCheckJob job = Job();
  constexpr int kThreads = 8;
  HANDLE slots[kThreads] = {};
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&, i] {
      ++ready;
      while (ready < kThreads) {
      }
      UpdateChecker::ScheduleWith(&slots[i], &job);
    });
  }
  for (std::thread& t : threads) t.join();
  int started = 0;
  for (HANDLE h : slots) {
    if (h) {
      ++started;
      WaitFor(h);
    }
  }
  EXPECT_EQ(started, 1);
  EXPECT_EQ(server.Requests().size(), 1u);
}

// The real DLL as the shell uses it: Initialize with a stalling server returns at once, and
// the module outlives its last handler and FreeLibrary until the worker ends.
TEST_F(UpdateCheckTest, DllStaysLoadedUnderItsWorkerAndInitializeNeverWaits) {
  const std::wstring path = testsupport::FramewiseDllPath();
  Site site;
  site.connect.kind = HttpAnswer::Kind::Stall;  // the DLL's own https URLs arrive as CONNECT
  site.connect.stallMs = 3000;
  site.release = site.connect;
  Serve(site);
  WriteRaw(SettingsScope::CurrentUser, kAllowBackgroundChecksKey, L"1");

  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  using CanUnloadNow = HRESULT(STDAPICALLTYPE*)();
  const CLSID clsid = CLSID_ImageFileContextMenu;
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    fw::UniqueModule dll(LoadLibraryW(path.c_str()));
    ASSERT_TRUE(dll);
    auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllGetClassObject")));
    auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllCanUnloadNow")));
    ASSERT_TRUE(getClassObject && canUnloadNow);
    fw::ComPtr<IClassFactory> factory;
    ASSERT_EQ(getClassObject(clsid, IID_IClassFactory, factory.put_void()), S_OK);
    fw::ComPtr<IShellExtInit> init;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
    factory.reset();
    const ULONGLONG start = GetTickCount64();
    init->Initialize(nullptr, nullptr, nullptr);  // no selection: scheduling still happens
    const ULONGLONG took = GetTickCount64() - start;
    printf("  round %d: Initialize took %u ms\n", round, static_cast<unsigned>(took));
    EXPECT_LT(took, 500u);
    init.reset();
    if (round == 0) {
      // The worker holds a module lock and a reference of its own.
      Sleep(200);
      EXPECT_EQ(canUnloadNow(), S_FALSE);
    }
    // Given back by hand: the call and what it leaves loaded are under test.
    EXPECT_TRUE(FreeLibrary(dll.release()));
    if (round == 0) {
      EXPECT_NE(GetModuleHandleW(path.c_str()), nullptr);
    }
  }
  // The worker ends with the stall, gives its reference back and the module goes.
  const ULONGLONG end = GetTickCount64() + 30000;
  while (GetModuleHandleW(path.c_str()) && GetTickCount64() < end) Sleep(50);
  EXPECT_EQ(GetModuleHandleW(path.c_str()), nullptr);
  EXPECT_GE(server.Requests().size(), 1u);
  for (const HttpRequestSeen& r : server.Requests()) {
    printf("  seen: %s %s\n", r.method.c_str(), r.target.c_str());
  }
}

}  // namespace
}  // namespace framewise
