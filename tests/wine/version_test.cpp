// The own version and pre-release flag, read through the version-resource functions from
// real DLLs built with the version resources below (cmake/version_fixtures.cmake).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "build_config.h"
#include "framework/app.h"
#include "framework/module_path.h"
#include "framework/win_owners.h"
#include "settings/version.h"
#include "tests/support/test_support.h"

namespace framewise {
namespace {

using testsupport::VersionFixturePath;

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct FixtureCase {
  const wchar_t* name;
  const wchar_t* display;
  const wchar_t* comparable;
  bool prerelease;
};

const FixtureCase kFixtures[] = {
    {L"v1_1_0_0", L"1.1", L"01.01.00.0000", false},
    {L"v2_0_3_0", L"2.0.3", L"02.00.03.0000", true},
    // VS_FF_PRERELEASE in the flags but not in the mask: not a pre-release.
    {L"v1_0_0_7", L"1.0.0.7", L"01.00.00.0007", false},
    {L"v1_2_3_4", L"1.2.3.4", L"01.02.03.0004", false},
    {L"v40000", L"-25536.1", L"-25536.01.00.0000", false},
    // No version resource at all.
    {L"none", L"", L"", false},
};

TEST(VersionResource, FixtureDllsReadThroughTheVersionFunctions) {
  for (const FixtureCase& c : kFixtures) {
    const std::wstring path = VersionFixturePath(c.name);
    ASSERT_NE(GetFileAttributesW(path.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(path);
    // They are real DLLs: loadable as code, not only as data.
    EXPECT_TRUE(fw::UniqueModule(LoadLibraryW(path.c_str()))) << Narrow(path);
    EXPECT_EQ(GetFileVersionText(path.c_str(), VersionForm::Display), c.display) << Narrow(c.name);
    EXPECT_EQ(GetFileVersionText(path.c_str(), VersionForm::Comparable), c.comparable)
        << Narrow(c.name);
    EXPECT_EQ(IsPrereleaseFile(path.c_str()), c.prerelease) << Narrow(c.name);
  }
}

TEST(VersionResource, MissingFileGivesEmptyTextAndNoPrerelease) {
  const std::wstring path = VersionFixturePath(L"absent");
  EXPECT_EQ(GetFileVersionText(path.c_str(), VersionForm::Display), L"");
  EXPECT_FALSE(IsPrereleaseFile(path.c_str()));
  VersionResource resource;
  resource.fileFlags = 0xdead;
  EXPECT_FALSE(ReadVersionResource(path.c_str(), &resource));
  EXPECT_EQ(resource.fileFlags, 0xdeadu);  // untouched on failure
}

// The version block's second read failing (the file locked or replaced between the size and
// the read), a root value shorter than the fixed part or none at all gives no version.
BOOL WINAPI UnreadableVersionBlock(LPCWSTR, DWORD, DWORD, LPVOID) {
  SetLastError(ERROR_SHARING_VIOLATION);
  return FALSE;
}
UINT g_rootValueLength = 0;
bool g_rootValueMissing = false;
void* g_realVerQueryValue = nullptr;
BOOL WINAPI SizedRootValue(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length) {
  if (g_rootValueMissing) return FALSE;
  using Query = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
  const BOOL found = reinterpret_cast<Query>(g_realVerQueryValue)(block, subBlock, value, length);
  if (found) *length = g_rootValueLength;
  return found;
}

TEST(VersionResource, AnUnreadableOrShortBlockGivesNoVersion) {
  const std::wstring path = VersionFixturePath(L"v1_2_3_4");
  {
    testsupport::ImportPatch failing("version.dll", "GetFileVersionInfoW",
                                     reinterpret_cast<void*>(&UnreadableVersionBlock));
    ASSERT_NE(failing.real(), nullptr);
    VersionResource resource;
    resource.fileFlags = 0xdead;
    EXPECT_FALSE(ReadVersionResource(path.c_str(), &resource));
    EXPECT_EQ(resource.fileFlags, 0xdeadu);
    EXPECT_EQ(GetFileVersionText(path.c_str(), VersionForm::Display), L"");
  }
  testsupport::ImportPatch sized("version.dll", "VerQueryValueW",
                                 reinterpret_cast<void*>(&SizedRootValue));
  ASSERT_NE(sized.real(), nullptr);
  g_realVerQueryValue = sized.real();
  for (UINT length : {UINT{sizeof(VS_FIXEDFILEINFO) - 1}, UINT{sizeof(VS_FIXEDFILEINFO)}}) {
    SCOPED_TRACE(length);
    g_rootValueLength = length;
    const bool whole = length >= sizeof(VS_FIXEDFILEINFO);
    VersionResource resource;
    EXPECT_EQ(ReadVersionResource(path.c_str(), &resource), whole);
    EXPECT_EQ(GetFileVersionText(path.c_str(), VersionForm::Display), whole ? L"1.2.3.4" : L"");
  }
  // A block without its root value at all: no version either.
  g_rootValueMissing = true;
  VersionResource resource;
  resource.fileFlags = 0xdead;
  EXPECT_FALSE(ReadVersionResource(path.c_str(), &resource));
  EXPECT_EQ(resource.fileFlags, 0xdeadu);
  g_rootValueMissing = false;
}

// The test program carries the DLL's resources, so its own version is the product's.
TEST(VersionResource, OwnVersionIsTheConfiguredVersion) {
  VersionNumber configured;
  configured.major = FRAMEWISE_VERSION_MAJOR;
  configured.minor = FRAMEWISE_VERSION_MINOR;
  configured.build = FRAMEWISE_VERSION_PATCH;
  configured.revision = FRAMEWISE_VERSION_BUILD;
  EXPECT_EQ(GetOwnVersion(VersionForm::Display), FormatVersion(configured, VersionForm::Display));
  EXPECT_EQ(GetOwnVersion(VersionForm::Comparable),
            FormatVersion(configured, VersionForm::Comparable));
  EXPECT_EQ(IsPrereleaseBuild(), FRAMEWISE_BETA != 0);

  // A stale error code left by an earlier call does not make the own version unreadable.
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(GetOwnVersion(VersionForm::Display).empty());
}

TEST(VersionResource, ShippedDllCarriesTheSameVersion) {
  const std::wstring dll = testsupport::FramewiseDllPath();
  ASSERT_NE(GetFileAttributesW(dll.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(dll);
  EXPECT_EQ(GetFileVersionText(dll.c_str(), VersionForm::Display),
            GetOwnVersion(VersionForm::Display));
  EXPECT_EQ(IsPrereleaseFile(dll.c_str()), FRAMEWISE_BETA != 0);
}

// A satellite resource DLL beside a module, named after the module without its extension
// and the user's three-letter language name ("NameENU.dll"), becomes the source of its
// resources; one for another language does not. The satellite here is a fixture with a
// version resource, the module one without.
TEST(SatelliteResources, TheUserLanguagesSatelliteBesideTheModuleIsUsed) {
  wchar_t language[10] = {};
  ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, language, 10), 0);
  ASSERT_NE(std::wstring(language), L"XYZ");
  testsupport::TempDir dir;
  const std::wstring module = dir.File(L"Probe.dll");
  ASSERT_TRUE(CopyFileW(VersionFixturePath(L"none").c_str(), module.c_str(), FALSE));
  const std::wstring withVersion = VersionFixturePath(L"v2_0_3_0");
  auto hasVersion = [](HINSTANCE resources) {
    return FindResourceW(resources, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)) != nullptr;
  };

  struct Case {
    std::wstring satellite;  // beside Probe.dll
    bool used;
  };
  const Case cases[] = {
      {L"ProbeXYZ.dll", false},                                  // another language
      {L"Probe.dll" + std::wstring(language) + L".dll", false},  // the extension kept
      {L"Probe" + std::wstring(language) + L".dll", true},       // the right name
  };
  for (const Case& c : cases) {
    const std::wstring& name = c.satellite;
    SCOPED_TRACE(Narrow(name));
    const std::wstring satellite = dir.File(name);
    ASSERT_TRUE(CopyFileW(withVersion.c_str(), satellite.c_str(), FALSE));
    {
      fw::UniqueModule probe(LoadLibraryW(module.c_str()));
      ASSERT_TRUE(probe);
      ASSERT_FALSE(hasVersion(probe.get()));
      fw::CWinApp app;
      app.Startup(probe.get());
      EXPECT_EQ(app.instance(), probe.get());
      EXPECT_EQ(app.resources() != probe.get(), c.used);
      EXPECT_EQ(hasVersion(app.resources()), c.used);
      const HINSTANCE satelliteModule = app.resources();
      app.Shutdown();
      EXPECT_EQ(app.resources(), probe.get());
      // Shut down, the application lets its satellite go: the file is no longer mapped.
      if (c.used) {
        MEMORY_BASIC_INFORMATION view = {};
        const auto base = reinterpret_cast<ULONG_PTR>(satelliteModule) & ~ULONG_PTR{3};
        ASSERT_EQ(VirtualQuery(reinterpret_cast<void*>(base), &view, sizeof(view)), sizeof(view));
        EXPECT_EQ(view.State, DWORD{MEM_FREE});
      }
    }
    EXPECT_TRUE(DeleteFileW(satellite.c_str()));  // nothing holds it any more
  }
  EXPECT_EQ(fw::CWinApp::Current(), nullptr);
}

// A module whose file name has no extension, in a folder whose name has a dot: the
// satellite is named after the whole file name, beside it.
TEST(SatelliteResources, ADotInTheFolderIsNotTheModulesExtension) {
  wchar_t language[10] = {};
  ASSERT_GT(GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, language, 10), 0);
  testsupport::TempDir dir;
  const std::wstring folder = dir.File(L"resources.d");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring module = folder + L"\\Probe";
  ASSERT_TRUE(CopyFileW(VersionFixturePath(L"none").c_str(), module.c_str(), FALSE));
  const std::wstring satellite = folder + L"\\Probe" + language + L".dll";
  ASSERT_TRUE(CopyFileW(VersionFixturePath(L"v2_0_3_0").c_str(), satellite.c_str(), FALSE));
  {
    // The trailing dot keeps the loader from adding ".dll" to a name without extension.
    fw::UniqueModule probe(LoadLibraryW((module + L".").c_str()));
    ASSERT_TRUE(probe);
    wchar_t loaded[MAX_PATH] = {};
    ASSERT_GT(GetModuleFileNameW(probe.get(), loaded, MAX_PATH), 0u);
    ASSERT_EQ(lstrcmpiW(loaded, module.c_str()), 0) << Narrow(loaded);
    fw::CWinApp app;
    app.Startup(probe.get());
    EXPECT_NE(app.resources(), probe.get());
    EXPECT_NE(FindResourceW(app.resources(), MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(16)), nullptr);
    app.Shutdown();
  }
  EXPECT_TRUE(DeleteFileW(satellite.c_str()));
  EXPECT_TRUE(DeleteFileW(module.c_str()));
  EXPECT_TRUE(RemoveDirectoryW(folder.c_str()));
}

DWORD g_moduleFileError = 0;
DWORD WINAPI FailingModuleFileName(HMODULE, LPWSTR, DWORD) {
  SetLastError(g_moduleFileError);
  return 0;
}

// A module path that cannot be read says why: the system's reason, or "module not found"
// when the system gave none.
TEST(ModulePath, AFailureAlwaysCarriesAReason) {
  testsupport::ImportPatch failing("kernel32.dll", "GetModuleFileNameW",
                                   reinterpret_cast<void*>(&FailingModuleFileName));
  ASSERT_NE(failing.real(), nullptr);
  for (DWORD reason : {DWORD{ERROR_ACCESS_DENIED}, DWORD{0}}) {
    SCOPED_TRACE(reason);
    g_moduleFileError = reason;
    std::wstring path = L"stale";
    DWORD error = 12345;
    EXPECT_FALSE(fw::GetModulePath(nullptr, &path, &error));
    EXPECT_EQ(error, reason ? reason : DWORD{ERROR_MOD_NOT_FOUND});
    EXPECT_TRUE(path.empty());
    // Nor is any version read for a module whose file is not known.
    EXPECT_EQ(GetOwnVersion(VersionForm::Display), L"");
    EXPECT_EQ(GetOwnVersion(VersionForm::Comparable), L"");
  }
}

// A module file name of `g_moduleNameLength` characters, given as the system gives it: whole
// with its terminating zero when the buffer holds both, else cut to the buffer with
// ERROR_INSUFFICIENT_BUFFER and the buffer's size returned.
size_t g_moduleNameLength = 0;
DWORD WINAPI SizedModuleFileName(HMODULE, LPWSTR buffer, DWORD size) {
  std::wstring name = L"C:\\";
  name.append(g_moduleNameLength - name.size() - 4, L'm');
  name += L".dll";
  if (name.size() + 1 <= size) {
    wcscpy(buffer, name.c_str());
    return static_cast<DWORD>(name.size());
  }
  wcsncpy(buffer, name.c_str(), size - 1);
  buffer[size - 1] = L'\0';
  SetLastError(ERROR_INSUFFICIENT_BUFFER);
  return size;
}

// A path is whole up to 259 characters, the longest a path with its end can be in the
// classic limit of 260; from 260 on it is refused rather than cut.
TEST(ModulePath, WholeUpToTheClassicLimitAndRefusedPastIt) {
  testsupport::ImportPatch sized("kernel32.dll", "GetModuleFileNameW",
                                 reinterpret_cast<void*>(&SizedModuleFileName));
  ASSERT_NE(sized.real(), nullptr);
  for (size_t length :
       {size_t{12}, size_t{258}, size_t{259}, size_t{260}, size_t{261}, size_t{400}}) {
    SCOPED_TRACE(length);
    g_moduleNameLength = length;
    std::wstring path = L"stale";
    DWORD error = 12345;
    const bool read = fw::GetModulePath(nullptr, &path, &error);
    EXPECT_EQ(read, length <= 259);
    EXPECT_EQ(path.size(), read ? length : 0u);
    if (read) {
      EXPECT_EQ(fw::FolderOf(path), L"C:\\");
    } else {
      EXPECT_EQ(error, DWORD{ERROR_INSUFFICIENT_BUFFER});
    }
  }
  EXPECT_EQ(fw::FolderOf(L"C:/a/b.dll"), L"C:/a/");
  EXPECT_EQ(fw::FolderOf(L"b.dll"), L"");
}

}  // namespace
}  // namespace framewise
