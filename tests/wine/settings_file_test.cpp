// The settings file on the prefix's real INI files: paths of both scopes, defaults,
// stored types and dates, and the path cache under concurrent first use.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "framework/win_owners.h"
#include "settings/settings_file.h"
#include "tests/support/test_support.h"

namespace framewise {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Moves both scopes' real files aside for the test and puts them back afterwards, so the
// prefix keeps whatever settings other tests rely on.
class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(userFile_.path().empty());
    ASSERT_FALSE(machineFile_.path().empty());
  }

  static std::wstring Path(SettingsScope scope) { return SettingsFile::GetPath(scope, nullptr); }

  // A value as another program would see it, straight through the system's functions.
  static std::wstring RawRead(SettingsScope scope, const wchar_t* key) {
    wchar_t value[256];
    GetPrivateProfileStringW(kUpdateCheckSection, key, L"<absent>", value, 256, Path(scope).c_str());
    return value;
  }

  static void RawWrite(SettingsScope scope, const wchar_t* key, const wchar_t* value) {
    ASSERT_TRUE(WritePrivateProfileStringW(kUpdateCheckSection, key, value, Path(scope).c_str()));
  }

  testsupport::FileAside userFile_{SettingsFile::GetPath(SettingsScope::CurrentUser, nullptr)};
  testsupport::FileAside machineFile_{SettingsFile::GetPath(SettingsScope::AllUsers, nullptr)};
};

TEST_F(SettingsFileTest, BothScopesLieInTheirFoldersUnderTheSameNames) {
  const struct {
    SettingsScope scope;
    int csidl;
  } scopes[] = {{SettingsScope::CurrentUser, CSIDL_LOCAL_APPDATA},
                {SettingsScope::AllUsers, CSIDL_COMMON_APPDATA}};
  for (const auto& s : scopes) {
    wchar_t base[MAX_PATH];
    ASSERT_EQ(SHGetFolderPathW(nullptr, s.csidl, nullptr, SHGFP_TYPE_CURRENT, base), S_OK);
    const std::wstring folder = SettingsFile::GetDataFolder(s.scope, nullptr);
    EXPECT_EQ(folder, std::wstring(base) + L"\\Wrenfly Framewise");
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        << Narrow(folder);
    EXPECT_EQ(Path(s.scope), folder + L"\\Wrenfly Framewise.ini");
    // Worked out once: the same text every time.
    EXPECT_EQ(SettingsFile::GetPath(s.scope, nullptr), SettingsFile::GetPath(s.scope, nullptr));
  }
  EXPECT_NE(Path(SettingsScope::CurrentUser), Path(SettingsScope::AllUsers));
}

TEST_F(SettingsFileTest, NoFilesReadAsDefaults) {
  std::wstring text = L"marker";
  VersionType type = VersionType::Beta;
  SettingsFile::LoadNewestVersion(&text, &type);
  EXPECT_EQ(text, L"");
  EXPECT_EQ(type, VersionType::None);
  EXPECT_EQ(SettingsFile::ReadInt(SettingsScope::CurrentUser, nullptr, kUpdateCheckSection,
                                  kAllowBackgroundChecksKey, 0), 0);
  EXPECT_EQ(SettingsFile::ReadString(SettingsScope::CurrentUser, nullptr, kUpdateCheckSection,
                                     kLastCheckedKey, L"", kLastCheckedCapacity), L"");
}

// A text is read into a buffer of the given capacity, its end included: none gives the
// default without reading, one holds only the end, two the first character.
TEST_F(SettingsFileTest, TextsAreCutToTheCapacityWithTheirEnd) {
  RawWrite(SettingsScope::CurrentUser, kNewestVersionKey, L"abc");
  const wchar_t* path = SettingsFile::GetPath(SettingsScope::CurrentUser, nullptr);
  const struct {
    size_t capacity;
    const wchar_t* read;
  } cases[] = {{0, L"dflt"}, {1, L""}, {2, L"a"}, {3, L"ab"}, {4, L"abc"}, {80, L"abc"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.capacity);
    EXPECT_EQ(ReadSettingString(path, kUpdateCheckSection, kNewestVersionKey, L"dflt", c.capacity),
              c.read);
  }
}

// A write says whether it reached the file: the value is there when it says so, and a
// file in a folder that does not exist is not written.
TEST_F(SettingsFileTest, AWriteSaysWhetherItReachedTheFile) {
  const std::wstring path = Path(SettingsScope::CurrentUser);
  EXPECT_TRUE(WriteSetting(path.c_str(), kUpdateCheckSection, kNewestVersionKey, L"7.1"));
  EXPECT_EQ(RawRead(SettingsScope::CurrentUser, kNewestVersionKey), L"7.1");
  const std::wstring nowhere = path + L".missing\\settings.ini";
  EXPECT_FALSE(WriteSetting(nowhere.c_str(), kUpdateCheckSection, kNewestVersionKey, L"7.1"));
  EXPECT_EQ(GetFileAttributesW(nowhere.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(SettingsFileTest, LoadNewestVersionFromStoredTexts) {
  // The version is read into 80 characters with its terminator: 79 come back whole, and
  // an 80th is cut off.
  const std::wstring long79(79, L'7'), long80 = long79 + L"8";
  const struct {
    const wchar_t* version;  // null: key absent
    const wchar_t* type;
    const wchar_t* expectedText;
    VersionType expectedType;
  } cases[] = {
      {L"1.2", L"Beta", L"1.2", VersionType::Beta},
      {L"1.2", L"beta", L"1.2", VersionType::Beta},
      {L"1.2.0.5", L"RELEASE", L"1.2.0.5", VersionType::Release},
      {L"1.2", L"None", L"1.2", VersionType::None},
      {L"1.2", L"Alpha", L"1.2", VersionType::None},
      {L"1.2", nullptr, L"1.2", VersionType::None},
      {L"", L"Beta", L"", VersionType::None},
      {nullptr, L"Release", L"", VersionType::None},
      {long79.c_str(), L"Release", long79.c_str(), VersionType::Release},
      {long80.c_str(), L"Release", long79.c_str(), VersionType::Release},
  };
  for (const auto& c : cases) {
    DeleteFileW(Path(SettingsScope::AllUsers).c_str());
    if (c.version) RawWrite(SettingsScope::AllUsers, kNewestVersionKey, c.version);
    if (c.type) RawWrite(SettingsScope::AllUsers, kNewestVersionTypeKey, c.type);
    std::wstring text;
    VersionType type = VersionType::Beta;
    SettingsFile::LoadNewestVersion(&text, &type);
    const std::string label = Narrow(c.version ? c.version : L"(absent)") + " / " +
                              Narrow(c.type ? c.type : L"(absent)");
    EXPECT_EQ(text, c.expectedText) << label;
    EXPECT_EQ(type, c.expectedType) << label;
  }
}

TEST_F(SettingsFileTest, StoreNewestVersionWritesTextAndTypeName) {
  const struct {
    VersionType type;
    const wchar_t* text;
    const wchar_t* storedText;
    const wchar_t* storedType;
  } cases[] = {
      {VersionType::Release, L"1.2", L"1.2", L"Release"},
      {VersionType::Beta, L"1.2.0.5", L"1.2.0.5", L"Beta"},
      {VersionType::None, L"1.3", L"1.3", L"None"},
      {static_cast<VersionType>(9), L"", L"", L"None"},
      // Downloaded text keeps to its first line: it cannot add lines to the file.
      {VersionType::Release, L"1.4\r\n", L"1.4", L"Release"},
      {VersionType::Release, L"1.5\r\nNewestVersionType=Beta", L"1.5", L"Release"},
      {VersionType::Release, L"1.6\nLastChecked=2099/1/1", L"1.6", L"Release"},
  };
  for (const auto& c : cases) {
    SettingsFile::StoreNewestVersion(c.type, c.text);
    EXPECT_EQ(RawRead(SettingsScope::AllUsers, kNewestVersionKey), c.storedText) << Narrow(c.text);
    EXPECT_EQ(RawRead(SettingsScope::AllUsers, kNewestVersionTypeKey), c.storedType) << Narrow(c.text);
    EXPECT_EQ(RawRead(SettingsScope::AllUsers, kLastCheckedKey), L"<absent>") << Narrow(c.text);
  }
  // Nothing of it in the user's file.
  EXPECT_EQ(RawRead(SettingsScope::CurrentUser, kNewestVersionKey), L"<absent>");
}

TEST_F(SettingsFileTest, LastCheckedIsWrittenWithoutLeadingZeros) {
  SYSTEMTIME newYear = {};
  newYear.wYear = 2007;
  newYear.wMonth = 1;
  newYear.wDay = 1;
  SettingsFile::StoreLastCheckedDate(newYear);
  EXPECT_EQ(RawRead(SettingsScope::CurrentUser, kLastCheckedKey), L"2007/1/1");
  // Exactly that text in the file, as the user would find it.
  EXPECT_NE(testsupport::ReadBytes(Path(SettingsScope::CurrentUser)).find("LastChecked=2007/1/1"),
            std::string::npos);
  EXPECT_EQ(RawRead(SettingsScope::AllUsers, kLastCheckedKey), L"<absent>");

  SYSTEMTIME today;
  GetLocalTime(&today);
  SettingsFile::StoreLastChecked();
  EXPECT_EQ(RawRead(SettingsScope::CurrentUser, kLastCheckedKey),
            FormatSettingsDate(today.wYear, today.wMonth, today.wDay));
}

// A stand-in folder lookup: counts its calls, and is slow, so two threads that start
// together are both inside GetPath while the first lookup runs.
std::atomic<int> g_lookups{0};
std::wstring g_folderAnswer;
HRESULT g_lookupResult = S_OK;

HRESULT WINAPI CountingLookup(HWND, int, HANDLE, DWORD, LPCWSTR subFolder, LPWSTR path) {
  ++g_lookups;
  Sleep(100);
  if (FAILED(g_lookupResult)) {
    lstrcpyW(path, L"C:\\partial");  // a failed lookup's leftovers must not be used
    return g_lookupResult;
  }
  lstrcpynW(path, (g_folderAnswer + L"\\" + subFolder).c_str(), MAX_PATH);
  return S_OK;
}

void ResetLookup(const std::wstring& folder, HRESULT result) {
  g_lookups = 0;
  g_folderAnswer = folder;
  g_lookupResult = result;
}

TEST(SettingsPaths, TwoThreadsRacingForAPathGetOneFullPathAndOneLookup) {
  for (SettingsScope scope : {SettingsScope::CurrentUser, SettingsScope::AllUsers}) {
    ResetLookup(L"C:\\race", S_OK);
    SettingsPaths paths(&CountingLookup);
    const fw::UniqueHandle start(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    ASSERT_TRUE(start);
    std::wstring seen[2];
    std::thread threads[2];
    for (int i = 0; i < 2; ++i) {
      threads[i] = std::thread([&, i] {
        WaitForSingleObject(start.get(), INFINITE);
        seen[i] = paths.GetPath(scope, nullptr);
      });
    }
    SetEvent(start.get());
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(seen[0], L"C:\\race\\Wrenfly Framewise\\Wrenfly Framewise.ini");
    EXPECT_EQ(seen[1], seen[0]);
    EXPECT_EQ(g_lookups.load(), 1);
    // Later calls use the kept path.
    EXPECT_EQ(paths.GetPath(scope, nullptr), seen[0]);
    EXPECT_EQ(g_lookups.load(), 1);
  }
}

TEST(SettingsPaths, FailedLookupIsTriedAgain) {
  ResetLookup(L"C:\\later", E_FAIL);
  SettingsPaths paths(&CountingLookup);
  EXPECT_STREQ(paths.GetPath(SettingsScope::CurrentUser, nullptr), L"");
  EXPECT_EQ(paths.GetDataFolder(SettingsScope::CurrentUser, nullptr), L"");
  EXPECT_EQ(g_lookups.load(), 2);
  g_lookupResult = S_OK;
  EXPECT_STREQ(paths.GetPath(SettingsScope::CurrentUser, nullptr),
               L"C:\\later\\Wrenfly Framewise\\Wrenfly Framewise.ini");
  EXPECT_EQ(g_lookups.load(), 3);
}

TEST(SettingsPaths, FolderTooLongForTheFileNameLeavesThePathEmpty) {
  const std::wstring fileTail = L"\\Wrenfly Framewise.ini";
  const std::wstring subFolder = L"\\Wrenfly Framewise";
  // The longest folder whose file path still fits MAX_PATH with its NUL, and one more.
  const size_t longestFolder = MAX_PATH - 1 - fileTail.size();
  const std::wstring fits = L"C:\\" + std::wstring(longestFolder - 3 - subFolder.size(), L'f');
  const std::wstring tooLong = fits + L"g";

  ResetLookup(fits, S_OK);
  SettingsPaths fitting(&CountingLookup);
  const std::wstring path = fitting.GetPath(SettingsScope::AllUsers, nullptr);
  EXPECT_EQ(path.size(), static_cast<size_t>(MAX_PATH - 1));
  EXPECT_TRUE(EndsWith(path, subFolder + fileTail)) << Narrow(path);

  ResetLookup(tooLong, S_OK);
  SettingsPaths overlong(&CountingLookup);
  EXPECT_STREQ(overlong.GetPath(SettingsScope::AllUsers, nullptr), L"");
  // Reads through the empty path give the defaults; writes are dropped.
  const wchar_t* empty = overlong.GetPath(SettingsScope::AllUsers, nullptr);
  EXPECT_EQ(ReadSettingString(empty, kUpdateCheckSection, kNewestVersionKey, L"dflt", 80), L"dflt");
  EXPECT_EQ(ReadSettingInt(empty, kUpdateCheckSection, kAllowBackgroundChecksKey, 7), 7);
  EXPECT_FALSE(WriteSetting(empty, kUpdateCheckSection, kNewestVersionKey, L"1.2"));
}

}  // namespace
}  // namespace framewise
