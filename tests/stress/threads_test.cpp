// The module under threads and unloading: handlers on four apartment threads at once,
// and handlers created and released while an update check stalls, with FreeLibrary
// whenever DllCanUnloadNow allows it.
#include <winsock2.h>
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "stress_support.h"
#include "tests/support/com_apartment.h"
#include "tests/support/loopback_http_server.h"
#include "tests/support/test_support.h"

namespace {

using testsupport::HttpAnswer;
using testsupport::HttpRequestSeen;

std::wstring Seed(const wchar_t* name) { return stress::CorpusFolder() + L"\\seed\\" + name; }

// The settings files aside, and a user file that asks for background checks with a stale
// cache: the first Initialize of each module load starts the worker.
struct CheckingSettings {
  CheckingSettings() {
    WritePrivateProfileStringW(L"UpdateCheck", L"AllowBackgroundChecks", L"1", user.path().c_str());
  }
  testsupport::FileAside user{testsupport::UserSettingsFile()};
  testsupport::FileAside machine{testsupport::MachineSettingsFile()};
};

// Counts the module's folder look-ups per CSIDL: the settings paths are built once.
std::atomic<int> g_folderLookups[0x40];
using FolderLookup = HRESULT(WINAPI*)(HWND, int, HANDLE, DWORD, LPCWSTR, LPWSTR);
FolderLookup g_realLookup = nullptr;
HRESULT WINAPI CountingLookup(HWND owner, int csidl, HANDLE token, DWORD flags, LPCWSTR sub, LPWSTR path) {
  ++g_folderLookups[csidl & 0x3F];
  return g_realLookup(owner, csidl, token, flags, sub, path);
}

size_t Connects(testsupport::LoopbackHttpServer& server) {
  size_t n = 0;
  for (const HttpRequestSeen& r : server.Requests()) n += r.method == "CONNECT" || r.method == "GET";
  return n;
}

TEST(ThreadsTest, FourApartmentsAtOnceShareOneCheckAndOnePathLookup) {
  ASSERT_TRUE(stress::WaitForDllUnloaded(40000)) << "an earlier worker keeps the module loaded";
  CheckingSettings settings;
  testsupport::LoopbackHttpServer server(
      [](const HttpRequestSeen&) {
        HttpAnswer a;
        a.kind = HttpAnswer::Kind::Reset;  // the check fails at once
        return a;
      },
      16, 60000);
  ASSERT_TRUE(server.ok());
  testsupport::ProxyOverride proxy(server.port());

  testsupport::LoadedDll dll;
  ASSERT_TRUE(dll.ok());
  for (auto& n : g_folderLookups) n = 0;
  auto lookups = std::make_unique<testsupport::ImportPatch>(
      "shell32.dll", "SHGetFolderPathAndSubDirW", reinterpret_cast<void*>(&CountingLookup), dll.module());
  g_realLookup = lookups->real_as<FolderLookup>();
  ASSERT_NE(g_realLookup, nullptr);

  stress::Watchdog watchdog;
  watchdog.Arm(L"four apartment threads", testsupport::RunsUnderEmulator() ? 600000 : 120000);
  const int perThread = stress::FullRun() ? 250 : (testsupport::RunsUnderEmulator() ? 6 : 30);
  const std::vector<std::wstring> pictures = {Seed(L"seed.jpg"), Seed(L"seed.png"), Seed(L"seed.gif"),
                                              Seed(L"seed.emf")};
  std::atomic<int> ok{0}, bad{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const testsupport::ComApartment apartment;
      if (!apartment) {
        bad += perThread;
        return;
      }
      stress::CycleOptions options;
      options.shellDataObject = false;
      for (int i = 0; i < perThread; ++i) {
        const stress::CycleResult r = stress::RunCycle(dll, pictures[(t + i) % pictures.size()], options, L"");
        (r.initialize == S_OK && r.ownerDrawn > 0 && r.note.empty()) ? ++ok : ++bad;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  watchdog.Disarm();
  EXPECT_EQ(ok.load(), 4 * perThread);
  EXPECT_EQ(bad.load(), 0);

  // The worker fails fast on the reset; give its request time to arrive.
  const ULONGLONG end = GetTickCount64() + 10000;
  while (Connects(server) == 0 && GetTickCount64() < end) Sleep(50);
  Sleep(1000);
  for (const HttpRequestSeen& r : server.Requests()) printf("  seen: %s %s\n", r.method.c_str(), r.target.c_str());
  EXPECT_EQ(Connects(server), 1u) << "one update check per process";
  EXPECT_EQ(g_folderLookups[CSIDL_LOCAL_APPDATA].load(), 1) << "the user settings path is built once";
  EXPECT_LE(g_folderLookups[CSIDL_COMMON_APPDATA].load(), 1) << "the machine settings path is built once";
  lookups.reset();  // the import is put back while the module is still loaded
  dll.Free();
  EXPECT_TRUE(stress::WaitForDllUnloaded(30000));
}

TEST(ThreadsTest, UnloadingWhenAllowedWhileTheCheckStallsNeverCrashes) {
  ASSERT_TRUE(stress::WaitForDllUnloaded(40000)) << "an earlier worker keeps the module loaded";
  CheckingSettings settings;
  testsupport::LoopbackHttpServer server(
      [](const HttpRequestSeen&) {
        HttpAnswer a;
        a.kind = HttpAnswer::Kind::Stall;
        a.stallMs = 1500;
        return a;
      },
      64, 90000);
  ASSERT_TRUE(server.ok());
  testsupport::ProxyOverride proxy(server.port());
  const std::wstring path = testsupport::FramewiseDllPath();
  const std::vector<std::wstring> pictures = {Seed(L"seed.jpg"), Seed(L"seed.bmp"), Seed(L"seed.wmf")};
  stress::Watchdog watchdog;
  watchdog.Arm(L"unload rounds", 180000);

  const DWORD runMs = stress::FullRun() ? 30000 : (testsupport::RunsUnderEmulator() ? 4000 : 6000);
  const ULONGLONG end = GetTickCount64() + runMs;
  int loads = 0, unloadsAllowed = 0, refusals = 0, handlers = 0, unloadsSeen = 0;
  stress::CycleOptions options;
  options.shellDataObject = false;
  while (GetTickCount64() < end) {
    testsupport::LoadedDll dll;
    ASSERT_TRUE(dll.ok());
    ++loads;
    while (GetTickCount64() < end) {
      stress::RunCycle(dll, pictures[handlers % pictures.size()], options, L"");
      ++handlers;
      if (dll.CanUnloadNow() == S_OK) {
        ++unloadsAllowed;
        dll.Free();
        if (!GetModuleHandleW(path.c_str())) ++unloadsSeen;
        break;
      }
      ++refusals;
      Sleep(20);
    }
  }
  watchdog.Disarm();
  printf("  unload: %d loads, %d handlers, DllCanUnloadNow refused %d times and allowed %d; %d unloads seen\n",
         loads, handlers, refusals, unloadsAllowed, unloadsSeen);
  EXPECT_GT(refusals, 0) << "the stalled worker must keep the module";
  EXPECT_GT(unloadsAllowed, 0);
  EXPECT_TRUE(stress::WaitForDllUnloaded(30000));
}

}  // namespace
