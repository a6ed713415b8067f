// The sparse package's step as registration runs it: only from Windows 11 (build 22000)
// on, only with the package file beside the DLL, through Windows PowerShell (a stand-in
// in a system folder of the test's own), whose words and exit code reach the log.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "shellext/package_registration.h"
#include "shellext/portable/package_identity.h"
#include "tests/support/import_patch.h"
#include "tests/support/system_overrides.h"
#include "tests/support/test_support.h"

// The installer's custom actions, as the installer calls them.
extern "C" UINT WINAPI RegisterPackageForMachine(MSIHANDLE install);
extern "C" UINT WINAPI RemovePackageForUser(MSIHANDLE install);

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

// A system folder of the test's own with the PowerShell stand-in in it, and the Windows
// version as the test sets it.
class PackageStepTest : public testing::Test {
 protected:
  void SetUp() override {
    g_systemFolder = dir.File(L"System32");
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, shellFolder.c_str(), nullptr), ERROR_SUCCESS);
    ASSERT_TRUE(CopyFileW((testsupport::ProgramFolder() + L"powershell_stand_in.exe").c_str(),
                          (shellFolder + L"\\powershell.exe").c_str(), FALSE));
    ASSERT_NE(system.real(), nullptr);
    ASSERT_NE(version.real(), nullptr);
    g_realGetProcAddress = version.real_as<GetProcAddressFn>();
    g_major = 10;
    g_build = 22000;
    g_versionFails = false;
  }
  // How often PowerShell ran.
  std::ptrdiff_t runs() const {
    const std::string calls = testsupport::ReadBytes(shellFolder + L"\\calls.log");
    return std::count(calls.begin(), calls.end(), '\n');
  }

  testsupport::TempDir dir;
  const std::wstring shellFolder = dir.File(L"System32") + L"\\WindowsPowerShell\\v1.0";
  testsupport::ImportPatch system{"kernel32.dll", "GetSystemDirectoryW",
                                  reinterpret_cast<void*>(&OwnSystemFolder)};
  testsupport::ImportPatch version{"kernel32.dll", "GetProcAddress",
                                   reinterpret_cast<void*>(&VersionedGetProcAddress)};
};

TEST_F(PackageStepTest, RunsFromWindows11WithThePackageAndLogsPowerShellsWords) {
  // An installed copy: a module in a folder of its own.
  const std::wstring installed = dir.File(L"Install");
  ASSERT_TRUE(CreateDirectoryW(installed.c_str(), nullptr));
  ASSERT_TRUE(CopyFileW(testsupport::VersionFixturePath(L"none").c_str(),
                        (installed + L"\\Framewise.dll").c_str(), FALSE));
  fw::UniqueModule module(LoadLibraryW((installed + L"\\Framewise.dll").c_str()));
  ASSERT_TRUE(module);

  // Windows 11 without the package file beside the module: nothing to do.
  g_build = 22000;
  RecordingLog log;
  EXPECT_EQ(RegisterSparsePackage(module.get(), PackageScope::User, log), S_FALSE);
  EXPECT_TRUE(log.Has(L"no package file beside the DLL")) << log.lines.size();
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
                                    reinterpret_cast<void*>(&testsupport::NoModuleFileName));
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

// A real installer session on an empty package, whose information messages (what goes
// to the installer's log) the test reads.
class InstallerSession {
 public:
  explicit InstallerSession(const std::wstring& path) {
    MSIHANDLE database = 0;
    if (MsiOpenDatabaseW(path.c_str(), MSIDBOPEN_CREATE, &database) != ERROR_SUCCESS) return;
    MSIHANDLE summary = 0;
    bool made =
        MsiGetSummaryInformationW(database, nullptr, 4, &summary) == ERROR_SUCCESS &&
        MsiSummaryInfoSetPropertyW(summary, 7 /*template*/, VT_LPSTR, 0, nullptr, L";1033") ==
            ERROR_SUCCESS &&
        MsiSummaryInfoSetPropertyW(summary, 9 /*revision*/, VT_LPSTR, 0, nullptr,
                                   L"{6A8B7E2C-61F3-4C1D-9F0E-3B5D2A7C9E41}") == ERROR_SUCCESS &&
        MsiSummaryInfoSetPropertyW(summary, 14 /*page count*/, VT_I4, 200, nullptr, nullptr) ==
            ERROR_SUCCESS &&
        MsiSummaryInfoPersist(summary) == ERROR_SUCCESS;
    if (summary) MsiCloseHandle(summary);
    made = made && MsiDatabaseCommit(database) == ERROR_SUCCESS;
    MsiCloseHandle(database);
    if (!made) return;
    MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
    previous_ = MsiSetExternalUIW(&Collect, INSTALLLOGMODE_INFO, this);
    if (MsiOpenPackageExW(path.c_str(), MSIOPENPACKAGEFLAGS_IGNOREMACHINESTATE, &install_) !=
        ERROR_SUCCESS) {
      install_ = 0;
    }
  }
  ~InstallerSession() {
    if (install_) MsiCloseHandle(install_);
    MsiSetExternalUIW(previous_, 0, nullptr);
  }
  InstallerSession(const InstallerSession&) = delete;
  InstallerSession& operator=(const InstallerSession&) = delete;

  MSIHANDLE handle() const { return install_; }
  std::vector<std::wstring> lines;

 private:
  static INT CALLBACK Collect(LPVOID self, UINT type, LPCWSTR message) {
    if ((type & 0xFF000000u) == INSTALLMESSAGE_INFO && message) {
      static_cast<InstallerSession*>(self)->lines.push_back(message);
    }
    return 0;
  }
  MSIHANDLE install_ = 0;
  INSTALLUI_HANDLERW previous_ = nullptr;
};

// What reaches the debugger's output, seen through the exception OutputDebugString raises
// for a debugger (the narrow one, which the wide one also raises).
std::string* g_debugOutput = nullptr;
LONG CALLBACK SeeDebugOutput(EXCEPTION_POINTERS* exception) {
  const EXCEPTION_RECORD* record = exception->ExceptionRecord;
  if (g_debugOutput && record->ExceptionCode == 0x40010006 /* DBG_PRINTEXCEPTION_C */ &&
      record->NumberParameters >= 2 && record->ExceptionInformation[1]) {
    g_debugOutput->append(reinterpret_cast<const char*>(record->ExceptionInformation[1]));
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

bool HasLine(const std::vector<std::wstring>& lines, const std::wstring& part) {
  return std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
    return line.find(part) != std::wstring::npos;
  });
}

// The installer's custom actions say what the step did in the installer's own log, the
// script included, and always let the installation go on: the classic entry works
// without the package.
TEST_F(PackageStepTest, CustomActionsWriteToTheInstallersLogAndNeverFail) {
  // The package file beside the module that holds the actions: this test program.
  const std::wstring package = testsupport::ProgramFolder() + kPackageFileName;
  ASSERT_TRUE(testsupport::WriteBytes(package, "PK", 2));
  std::unique_ptr<const wchar_t, decltype(&DeleteFileW)> removePackage(package.c_str(),
                                                                       &DeleteFileW);
  {
    InstallerSession session(dir.File(L"register.msi"));
    ASSERT_NE(session.handle(), 0u);
    EXPECT_EQ(RegisterPackageForMachine(session.handle()), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(runs(), 1);
    EXPECT_TRUE(HasLine(session.lines, L"Framewise: registering " + package + L" for the machine:"))
        << session.lines.size();
    EXPECT_TRUE(
        HasLine(session.lines, L"Wait-Deployment $manager.ProvisionPackageForAllUsersAsync"));
    // Each line as it was written, with nothing of the installer's around it.
    EXPECT_EQ(std::count(session.lines.begin(), session.lines.end(),
                         L"Framewise: the package step succeeded"),
              1);
  }
  {
    // A refused removal: its words and exit code are logged; the installation goes on.
    ASSERT_TRUE(testsupport::WriteBytes(shellFolder + L"\\fail", "", 0));
    InstallerSession session(dir.File(L"remove.msi"));
    ASSERT_NE(session.handle(), 0u);
    EXPECT_EQ(RemovePackageForUser(session.handle()), static_cast<UINT>(ERROR_SUCCESS));
    EXPECT_EQ(runs(), 2);
    EXPECT_TRUE(HasLine(session.lines, L"Framewise: removing " + package + L" for the user:"));
    EXPECT_TRUE(HasLine(session.lines, L"0x00000001"));
  }
  // Without a session the step still runs and succeeds for the installer, and its words go
  // to the debugger's output, a line each.
  ASSERT_TRUE(DeleteFileW((shellFolder + L"\\fail").c_str()));
  std::string debugOutput;
  g_debugOutput = &debugOutput;
  PVOID watch = AddVectoredExceptionHandler(1, &SeeDebugOutput);
  ASSERT_NE(watch, nullptr);
  EXPECT_EQ(RegisterPackageForMachine(0), static_cast<UINT>(ERROR_SUCCESS));
  RemoveVectoredExceptionHandler(watch);
  g_debugOutput = nullptr;
  EXPECT_EQ(runs(), 3);
  EXPECT_NE(debugOutput.find("Framewise: the package step succeeded\n"), std::string::npos)
      << debugOutput;
}

}  // namespace
}  // namespace framewise
