// Every hostile picture of the generated corpus through a full right-click and its
// fitting commands: no crash, no hang, a failure code for what cannot be used, and the
// settings file untouched by any command that fails.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "stress_support.h"
#include "shellext/guids.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/test_support.h"

namespace {

struct Entry {
  std::string expect;  // "valid", "invalid" or "any"
  std::wstring path;
  std::wstring name;   // as listed, for messages
};

std::vector<Entry> ReadManifest(const std::wstring& folder) {
  std::vector<Entry> entries;
  const std::string text = testsupport::ReadBytes(folder + L"\\manifest.tsv");
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) continue;
    Entry e;
    e.expect = line.substr(0, tab);
    e.name = stress::Widen(line.substr(tab + 1));
    std::wstring relative = e.name;
    for (auto& c : relative) if (c == L'/') c = L'\\';
    e.path = folder + L"\\" + relative;
    entries.push_back(e);
  }
  return entries;
}

// A file's kind of damage and format: its top folder and extension ("truncated|jpg").
std::wstring Kind(const std::wstring& name) {
  const size_t slash = name.find(L'/');
  const size_t dot = name.rfind(L'.');
  return name.substr(0, slash) + L"|" + (dot == std::wstring::npos ? L"" : name.substr(dot + 1));
}

// The commands' results, for a failure message: "0x0 0x80004005 ...".
std::string Results(const std::vector<HRESULT>& results) {
  std::string text;
  char one[16];
  for (HRESULT hr : results) {
    snprintf(one, sizeof(one), "0x%lx ", static_cast<unsigned long>(hr));
    text += one;
  }
  return text;
}

bool Succeeded(const std::vector<HRESULT>& results) {
  for (HRESULT hr : results) if (FAILED(hr)) return false;
  return true;
}

// The generated corpus plus the one case a script cannot make: a file another handle
// holds without sharing (the last entry).
struct Corpus {
  testsupport::TempDir temp;
  fw::UniqueHandle holder;
  std::vector<Entry> entries;
};

// Returns what went wrong, or nothing. Checked by the caller with a plain assertion:
// ASSERT_NO_FATAL_FAILURE keeps a per-thread store, which starts a thread of its own on
// Windows (which the 32-bit run under qemu cannot carry).
testing::AssertionResult LoadCorpus(Corpus* corpus) {
  const std::wstring folder = stress::CorpusFolder();
  corpus->entries = ReadManifest(folder);
  if (corpus->entries.size() < 200u) {
    return testing::AssertionFailure() << corpus->entries.size() << " entries: run scripts/make_corpus.py into "
                                       << testing::PrintToString(folder);
  }
  stress::Step("manifest read");
  const std::wstring locked = corpus->temp.File(L"locked.jpg");
  if (!CopyFileW((folder + L"\\seed\\seed.jpg").c_str(), locked.c_str(), FALSE)) {
    return testing::AssertionFailure() << "seed.jpg not copied: error " << GetLastError();
  }
  const HANDLE opened =
      CreateFileW(locked.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) {
    return testing::AssertionFailure() << "locked.jpg not opened: error " << GetLastError();
  }
  corpus->holder.reset(opened);
  corpus->entries.push_back({"invalid", locked, L"(locked without sharing) locked.jpg"});
  stress::Step("locked file made");
  return testing::AssertionSuccess();
}

TEST(CorpusTest, HostilePicturesNeverCrashHangOrWriteSettingsOnFailure) {
  Corpus corpus;
  ASSERT_TRUE(LoadCorpus(&corpus));
  std::vector<Entry>& entries = corpus.entries;

  // Through qemu-user a process is slow (a command takes over a second) and a second
  // thread stalls it: there the quick form takes the first file of each kind of damage
  // for each format, and invokes the commands on the seeds.
  const bool sampled = testsupport::RunsUnderEmulator() && !stress::FullRun();
  std::set<std::wstring> kindsTaken;
  stress::CycleOptions options;
  options.invokeFitting = true;

  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside wallpaper{testsupport::UserWallpaperFile()};
  stress::Step("settings set aside");
  std::unique_ptr<standin::ActiveDesktopStandIn> desktop;
  if (options.invokeFitting) {
    desktop = std::make_unique<standin::ActiveDesktopStandIn>();
    ASSERT_TRUE(desktop->registered());
    desktop->record().applyToSystem = false;  // the wallpaper file and the calls are enough
  }

  const testsupport::LoadedDll dll;
  ASSERT_TRUE(dll.ok());
  stress::Step("DLL loaded");
  stress::Watchdog watchdog;
  const DWORD limitMs = testsupport::RunsUnderEmulator() ? 120000 : 30000;

  int ran = 0, usable = 0, refused = 0, commands = 0, failedCommands = 0;
  ULONGLONG slowestMs = 0;
  std::wstring slowest;
  for (size_t i = 0; i < entries.size(); ++i) {
    const Entry& e = entries[i];
    const bool lockedFile = i + 1 == entries.size();
    if (sampled && !lockedFile && !kindsTaken.insert(Kind(e.name)).second) continue;
    // Named in each message rather than with SCOPED_TRACE, whose per-thread store starts a
    // thread of its own on Windows (which the 32-bit run under qemu cannot carry).
    const std::string where = testing::PrintToString(e.name);
    if (sampled) options.invokeFitting = e.name.compare(0, 5, L"seed/") == 0;
    watchdog.Arm(e.name, limitMs);
    const ULONGLONG start = GetTickCount64();
    const stress::CycleResult r = stress::RunCycle(dll, e.path, options, ini.path());
    const ULONGLONG took = GetTickCount64() - start;
    watchdog.Disarm();
    ++ran;
    commands += static_cast<int>(r.fittingResults.size());
    if (took > slowestMs) {
      slowestMs = took;
      slowest = e.name;
    }
    SUCCEEDED(r.initialize) ? ++usable : ++refused;
    EXPECT_TRUE(r.note.empty()) << where << ": " << testing::PrintToString(r.note);
    EXPECT_FALSE(r.settingsWrittenByFailure) << where;
    if (e.expect == "valid") {
      EXPECT_EQ(r.initialize, S_OK) << where;
      EXPECT_FALSE(r.fittingOffered.empty()) << where;
      EXPECT_GT(r.ownerDrawn, 0) << where;
      EXPECT_TRUE(Succeeded(r.fittingResults)) << where << ": " << Results(r.fittingResults);
      EXPECT_FALSE(r.unreadableLine) << where;
    } else if (e.expect == "invalid") {
      // Refused at the header, or a header that reads over pixels that do not: then the
      // submenu says so and no fitting can be chosen or made.
      if (SUCCEEDED(r.initialize)) {
        EXPECT_TRUE(r.unreadableLine) << where;
        EXPECT_EQ(r.fittingEnabled, 0) << where;
        for (HRESULT hr : r.fittingResults) EXPECT_EQ(hr, E_FAIL) << where;
      }
    }
    for (HRESULT hr : r.fittingResults) failedCommands += FAILED(hr);
  }
  printf("  corpus: %d files (%d usable, %d refused), %d fitting commands (%d failed); slowest %llu ms: %ls\n",
         ran, usable, refused, commands, failedCommands, slowestMs, slowest.c_str());
}

// The same files through Windows 11's new menu: the packaged command asked as Explorer
// asks it, with the shell's item array. A file that cannot be used is hidden, or (a header
// over pixels that do not decode) offered with rows whose commands fail cleanly.
TEST(CorpusTest, NewMenuHidesOrFailsCleanlyForEveryFile) {
  Corpus corpus;
  ASSERT_TRUE(LoadCorpus(&corpus));
  const bool sampled = testsupport::RunsUnderEmulator() && !stress::FullRun();
  std::set<std::wstring> kindsTaken;
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside wallpaper{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
  ASSERT_TRUE(desktop.registered());
  desktop.record().applyToSystem = false;
  const testsupport::LoadedDll dll;
  ASSERT_TRUE(dll.ok());
  stress::Watchdog watchdog;
  const DWORD limitMs = testsupport::RunsUnderEmulator() ? 120000 : 30000;
  int shown = 0, hidden = 0, invoked = 0, noItem = 0;
  for (size_t i = 0; i < corpus.entries.size(); ++i) {
    const Entry& e = corpus.entries[i];
    if (sampled && i + 1 != corpus.entries.size() && !kindsTaken.insert(Kind(e.name)).second) continue;
    const std::string where = testing::PrintToString(e.name);
    watchdog.Arm(e.name, limitMs);
    fw::ComPtr<IExplorerCommand> root;
    ASSERT_EQ(dll.CreateObject(framewise::CLSID_FramewiseExplorerCommand, IID_IExplorerCommand, root.put_void()), S_OK);
    const fw::ComPtr<IShellItemArray> items = testsupport::ShellItems({e.path});
    if (!items) {
      ++noItem;  // a name the shell itself does not parse: Explorer could not offer it either
      watchdog.Disarm();
      continue;
    }
    const testsupport::NewMenu menu = testsupport::ReadNewMenu(root.get(), items.get());
    EXPECT_EQ(menu.root.stateResult, S_OK) << where;
    if (e.expect == "valid") {
      EXPECT_TRUE(menu.root.shown()) << where;
      EXPECT_GE(menu.ShownTitles().size(), 3u) << where;
    }
    if (!menu.root.shown()) {
      ++hidden;
    } else {
      ++shown;
      const std::string before = testsupport::ReadBytes(ini.path());
      // A picture that may not decode: its first fitting row fails and remembers nothing.
      if (e.expect != "valid" || e.name.compare(0, 5, L"seed/") == 0) {
        for (const auto& sub : menu.subcommands) {
          if (!sub.shown() || testsupport::IconResourceId(sub.icon) == 0) continue;
          const HRESULT hr = sub.command->Invoke(items.get(), nullptr);
          ++invoked;
          if (e.expect == "valid") {
            EXPECT_EQ(hr, S_OK) << where;
          }
          if (FAILED(hr)) {
            EXPECT_TRUE(testsupport::ReadBytes(ini.path()) == before) << where;
          }
          if (e.expect == "invalid") {
            EXPECT_TRUE(FAILED(hr)) << where;
          }
          break;
        }
      }
    }
    watchdog.Disarm();
  }
  printf("  new menu: %d shown, %d hidden, %d without a shell item; %d rows invoked\n", shown, hidden, noItem,
         invoked);
  EXPECT_GT(hidden, 100);
}

}  // namespace
