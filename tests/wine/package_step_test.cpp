// The sparse package's step as registration runs it: only from Windows 11 (build 22000)
// on, only with the package file beside the DLL, through Windows PowerShell (a stand-in
// in a system folder of the test's own), whose words and exit code reach the log.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "shellext/package_registration.h"
#include "shellext/portable/package_identity.h"
#include "tests/support/import_patch.h"
#include "tests/support/test_support.h"

namespace framewise {
namespace {

std::wstring g_systemFolder;
UINT WINAPI OwnSystemFolder(LPWSTR buffer, UINT size) {
  const UINT length = static_cast<UINT>(g_systemFolder.size());
  if (length + 1 > size) return length + 1;
  memcpy(buffer, g_systemFolder.c_str(), (length + 1) * sizeof(wchar_t));
  return length;
}

ULONG g_major = 10;
ULONG g_build = 0;
bool g_versionFails = false;  // a failure status, over what would read as Windows 11
LONG WINAPI ReportedVersion(RTL_OSVERSIONINFOW* info) {
  info->dwMajorVersion = g_major;
  info->dwMinorVersion = 0;
  info->dwBuildNumber = g_versionFails ? 22631 : g_build;
  return g_versionFails ? static_cast<LONG>(0xC0000001) : 0;  // STATUS_UNSUCCESSFUL
}
using GetProcAddressFn = FARPROC(WINAPI*)(HMODULE, LPCSTR);
GetProcAddressFn g_realGetProcAddress = nullptr;
FARPROC WINAPI VersionedGetProcAddress(HMODULE module, LPCSTR name) {
  if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0 && strcmp(name, "RtlGetVersion") == 0) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(&ReportedVersion));
  }
  return g_realGetProcAddress(module, name);
}

DWORD WINAPI NoModuleFileName(HMODULE, LPWSTR, DWORD) {
  SetLastError(ERROR_ACCESS_DENIED);
  return 0;
}

class RecordingLog final : public PackageLog {
 public:
  void Write(const std::wstring& line) override { lines.push_back(line); }
  bool Has(const std::wstring& part) const {
    for (const std::wstring& line : lines) {
      if (line.find(part) != std::wstring::npos) return true;
    }
    return false;
  }
  std::vector<std::wstring> lines;
};

TEST(PackageStepTest, RunsFromWindows11WithThePackageAndLogsPowerShellsWords) {
  testsupport::TempDir dir;
  g_systemFolder = dir.File(L"System32");
  const std::wstring shellFolder = g_systemFolder + L"\\WindowsPowerShell\\v1.0";
  ASSERT_EQ(SHCreateDirectoryExW(nullptr, shellFolder.c_str(), nullptr), ERROR_SUCCESS);
  ASSERT_TRUE(CopyFileW((testsupport::ProgramFolder() + L"powershell_stand_in.exe").c_str(),
                        (shellFolder + L"\\powershell.exe").c_str(), FALSE));
  auto runs = [&] {
    const std::string calls = testsupport::ReadBytes(shellFolder + L"\\calls.log");
    return std::count(calls.begin(), calls.end(), '\n');
  };
  // An installed copy: a module in a folder of its own.
  const std::wstring installed = dir.File(L"Install");
  ASSERT_TRUE(CreateDirectoryW(installed.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(testsupport::VersionFixturePath(L"none").c_str(),
                        (installed + L"\\Framewise.dll").c_str(), FALSE));
  fw::UniqueModule module(LoadLibraryW((installed + L"\\Framewise.dll").c_str()));
  ASSERT_TRUE(module);

  testsupport::ImportPatch system("kernel32.dll", "GetSystemDirectoryW",
                                  reinterpret_cast<void*>(&OwnSystemFolder));
  testsupport::ImportPatch version("kernel32.dll", "GetProcAddress",
                                   reinterpret_cast<void*>(&VersionedGetProcAddress));
  ASSERT_NE(system.real(), nullptr);
  ASSERT_NE(version.real(), nullptr);
  g_realGetProcAddress = version.real_as<GetProcAddressFn>();

  // Windows 11 without the package file beside the module: nothing to do.
  g_build = 22000;
  RecordingLog log;
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, log), S_FALSE);
  ASSERT_TRUE(testsupport::WriteBytes(installed + L"\\" + kPackageFileName, "PK", 2));
  // Windows 10's builds run up to 19045: the classic menu only.
  g_build = 21999;
  EXPECT_FALSE(HasPackagedContextMenu());
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, log), S_FALSE);
  EXPECT_EQ(runs(), 0);
  // A version that cannot be read is no Windows 11, whatever the answer holds.
  g_versionFails = true;
  EXPECT_FALSE(HasPackagedContextMenu());
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, log), S_FALSE);
  g_versionFails = false;
  EXPECT_EQ(runs(), 0);

  // A later major version has it whatever its build; an earlier one never.
  g_major = 11;
  g_build = 100;
  EXPECT_TRUE(HasPackagedContextMenu());
  g_major = 9;
  g_build = 30000;
  EXPECT_FALSE(HasPackagedContextMenu());
  g_major = 10;
  g_build = 22000;
  EXPECT_TRUE(HasPackagedContextMenu());
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, log), S_OK);
  EXPECT_EQ(runs(), 1);
  EXPECT_TRUE(log.Has(L"succeeded"));

  // A refused deployment: its message and exit code are in the log, and the step fails.
  ASSERT_TRUE(testsupport::WriteBytes(shellFolder + L"\\fail", "", 0));
  RecordingLog failed;
  EXPECT_EQ(RemoveSparsePackage(module.get(), PackageScope::User, failed), E_FAIL);
  EXPECT_EQ(runs(), 2);
  EXPECT_TRUE(failed.Has(L"Deployment failed with HRESULT: 0x80073CF3")) << failed.lines.size();
  EXPECT_TRUE(failed.Has(L"0x00000001"));

  // A long answer: the log keeps its first 8192 bytes and not one more.
  std::string longAnswer(8192, 'x');
  longAnswer += "TAIL";
  ASSERT_TRUE(
      testsupport::WriteBytes(shellFolder + L"\\fail", longAnswer.data(), longAnswer.size()));
  RecordingLog talkative;
  EXPECT_EQ(RemoveSparsePackage(module.get(), PackageScope::User, talkative), E_FAIL);
  EXPECT_TRUE(talkative.Has(L"PowerShell said: " + std::wstring(8192, L'x')));
  EXPECT_FALSE(talkative.Has(L"xT"));
  EXPECT_EQ(runs(), 3);

  // A module whose path cannot be read has no package beside it: nothing is run.
  {
    testsupport::ImportPatch noPath("kernel32.dll", "GetModuleFileNameW",
                                    reinterpret_cast<void*>(&NoModuleFileName));
    ASSERT_NE(noPath.real(), nullptr);
    RecordingLog unread;
    EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, unread), S_FALSE);
  }
  EXPECT_EQ(runs(), 3);

  // Without PowerShell the step fails with the system's reason, and the log says which
  // program could not be started and why.
  ASSERT_TRUE(DeleteFileW((shellFolder + L"\\powershell.exe").c_str()));
  RecordingLog missing;
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, missing),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(missing.Has(L"could not start " + shellFolder + L"\\powershell.exe: error 2"))
      << missing.lines.size();
}

}  // namespace
}  // namespace framewise
