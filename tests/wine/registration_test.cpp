// Registration under Wine: Wine's own regsvr32 against the built DLL, and the registration
// code against scratch keys (refused writes, malformed scripts, module path limits).
#include <windows.h>
#include <oleauto.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fitting/portable/picture_extensions.h"
#include "framework/com_ptr.h"
#include "framework/type_info_owners.h"
#include "framework/unique_resource.h"
#include "framework/win_owners.h"
#include "shellext/guids.h"
#include "shellext/install.h"
#include "shellext/registration.h"
#include "tests/support/system_overrides.h"
#include "tests/support/test_support.h"

namespace framewise {
namespace {

const std::wstring kClsid = L"{9E98A0EF-181B-4833-950B-95810A938222}";
const std::wstring kAppId = L"{4613C8E4-E712-441C-BAC2-1372D7E8F939}";
const std::wstring kLibId = L"{63685362-1E83-4D50-AC29-EE4E7F96C829}";
const std::wstring kIid = L"{A7799CA2-F25B-4D21-990E-D07E416F0388}";
const std::wstring kApproved = L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved";
const std::wstring kHandlers = L"SystemFileAssociations\\image\\ShellEx\\ContextMenuHandlers";
const std::wstring kWebpHandlers = L"SystemFileAssociations\\.webp\\ShellEx\\ContextMenuHandlers";

// The extensions Windows does not mark as pictures: each gets the entry under a key of its own.
std::vector<std::wstring> OwnKeyExtensions() {
  std::vector<std::wstring> out;
  for (size_t i = 0; i < kPictureExtensionCount; ++i) {
    if (!kPictureExtensions[i].perceivedImage) out.push_back(kPictureExtensions[i].extension);
  }
  return out;
}

using Dump = std::set<std::wstring>;

// Lines "path" for each key and "path|name=data" for each value, below `path`.
void DumpKey(HKEY parent, const std::wstring& path, const std::wstring& label, Dump* out) {
  fw::UniqueHKey key;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return;
  out->insert(label);
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256, type = 0;
    BYTE data[2048];
    DWORD size = sizeof(data);
    if (RegEnumValueW(key.get(), i, name, &nameLength, nullptr, &type, data, &size) !=
        ERROR_SUCCESS) {
      break;
    }
    std::wstring text = type == REG_SZ ? std::wstring(reinterpret_cast<wchar_t*>(data))
                                       : L"<type " + std::to_wstring(type) + L">";
    out->insert(label + L"|" + name + L"=" + text);
  }
  for (DWORD i = 0;; ++i) {
    wchar_t name[256];
    DWORD nameLength = 256;
    if (RegEnumKeyExW(key.get(), i, name, &nameLength, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    DumpKey(key.get(), name, label + L"\\" + name, out);
  }
}

// What the registration owns, read through the given roots.
Dump DumpRegistration(const RegistryRoots& roots) {
  Dump dump;
  for (const std::wstring& path :
       {L"AppID\\" + kAppId, std::wstring(L"AppID\\Framewise.DLL"),
        std::wstring(L"Framewise.ImageFileContextMenu.1"),
        std::wstring(L"Framewise.ImageFileContextMenu"), L"CLSID\\" + kClsid,
        std::wstring(L"SystemFileAssociations\\image\\ShellEx")}) {
    DumpKey(roots.classesRoot, path, L"HKCR\\" + path, &dump);
  }
  for (const std::wstring& extension : OwnKeyExtensions()) {
    const std::wstring path = L"SystemFileAssociations\\" + extension;
    DumpKey(roots.classesRoot, path, L"HKCR\\" + path, &dump);
  }
  fw::UniqueHKey approved;
  if (RegOpenKeyExW(roots.localMachine, kApproved.c_str(), 0, KEY_READ, approved.put()) ==
      ERROR_SUCCESS) {
    wchar_t data[256];
    DWORD size = sizeof(data);
    if (RegQueryValueExW(approved.get(), kClsid.c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data), &size) == ERROR_SUCCESS) {
      dump.insert(L"HKLM\\" + kApproved + L"|" + kClsid + L"=" + data);
    }
  }
  return dump;
}

Dump ExpectedRegistration(const std::wstring& modulePath) {
  const std::wstring c = L"HKCR\\CLSID\\" + kClsid;
  const std::wstring h = L"HKCR\\" + kHandlers;
  Dump expected = {
      L"HKCR\\AppID\\" + kAppId,
      L"HKCR\\AppID\\" + kAppId + L"|=Framewise",
      L"HKCR\\AppID\\Framewise.DLL",
      L"HKCR\\AppID\\Framewise.DLL|AppID=" + kAppId,
      L"HKCR\\Framewise.ImageFileContextMenu.1",
      L"HKCR\\Framewise.ImageFileContextMenu.1|=ImageFileContextMenu Class",
      L"HKCR\\Framewise.ImageFileContextMenu.1\\CLSID",
      L"HKCR\\Framewise.ImageFileContextMenu.1\\CLSID|=" + kClsid,
      L"HKCR\\Framewise.ImageFileContextMenu",
      L"HKCR\\Framewise.ImageFileContextMenu|=ImageFileContextMenu Class",
      L"HKCR\\Framewise.ImageFileContextMenu\\CLSID",
      L"HKCR\\Framewise.ImageFileContextMenu\\CLSID|=" + kClsid,
      L"HKCR\\Framewise.ImageFileContextMenu\\CurVer",
      L"HKCR\\Framewise.ImageFileContextMenu\\CurVer|=Framewise.ImageFileContextMenu.1",
      c,
      c + L"|=ImageFileContextMenu Class",
      c + L"|AppID=" + kAppId,
      c + L"\\ProgID",
      c + L"\\ProgID|=Framewise.ImageFileContextMenu.1",
      c + L"\\VersionIndependentProgID",
      c + L"\\VersionIndependentProgID|=Framewise.ImageFileContextMenu",
      c + L"\\Programmable",
      c + L"\\InprocServer32",
      c + L"\\InprocServer32|=" + modulePath,
      c + L"\\InprocServer32|ThreadingModel=Apartment",
      c + L"\\TypeLib",
      c + L"\\TypeLib|=" + kLibId,
      L"HKCR\\SystemFileAssociations\\image\\ShellEx",
      h,
      h + L"\\Wrenfly Framewise",
      h + L"\\Wrenfly Framewise|=" + kClsid,
      L"HKLM\\" + kApproved + L"|" + kClsid + L"=Wrenfly Framewise",
  };
  for (const std::wstring& extension : OwnKeyExtensions()) {
    const std::wstring type = L"HKCR\\SystemFileAssociations\\" + extension;
    const std::wstring entry = type + L"\\ShellEx\\ContextMenuHandlers\\Wrenfly Framewise";
    expected.insert({type, type + L"\\ShellEx", type + L"\\ShellEx\\ContextMenuHandlers", entry,
                     entry + L"|=" + kClsid});
  }
  return expected;
}

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::string Describe(const Dump& dump) {
  std::string out;
  for (const auto& line : dump) out += "  " + Narrow(line) + "\n";
  return out;
}

bool KeyExists(HKEY root, const std::wstring& path) {
  fw::UniqueHKey key;
  return RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void SetString(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& data) {
  fw::UniqueHKey key;
  ASSERT_EQ(RegCreateKeyExW(root, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, key.put(),
                            nullptr), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key.get(), name, 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(data.c_str()),
                           static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
}

// Runs the system's regsvr32 (of this program's architecture) and returns its exit code.
DWORD RunRegsvr32(const std::wstring& arguments) {
  wchar_t system[MAX_PATH];
  GetSystemDirectoryW(system, MAX_PATH);
  std::wstring commandLine = L"\"" + std::wstring(system) + L"\\regsvr32.exe\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 0xFFFFFFFF;
  }
  fw::UniqueHandle processHandle(process.hProcess);
  fw::UniqueHandle threadHandle(process.hThread);
  DWORD code = 0xFFFFFFFE;
  if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  return code;
}

// The machine's registry put back when the owner goes: the DLL unregistered through
// regsvr32, the other handler a test adds removed, and the shared keys that registration
// creates but never removes taken away again when they were not there before.
class MachineRegistryPutBack {
 public:
  explicit MachineRegistryPutBack(std::wstring dll) : dll_(std::move(dll)) {
    for (const wchar_t* path : kSharedKeys) existed_.push_back(KeyExists(HKEY_CLASSES_ROOT, path));
  }
  ~MachineRegistryPutBack() {
    RunRegsvr32(L"/s /u \"" + dll_ + L"\"");
    RegDeleteTreeW(HKEY_CLASSES_ROOT, (kHandlers + L"\\Another Handler").c_str());
    RegDeleteTreeW(HKEY_CLASSES_ROOT, L"SystemFileAssociations\\.webp");
    for (size_t i = 0; i < existed_.size(); ++i) {
      if (!existed_[i]) RegDeleteKeyW(HKEY_CLASSES_ROOT, kSharedKeys[i]);  // fails when not empty
    }
  }
  MachineRegistryPutBack(const MachineRegistryPutBack&) = delete;
  MachineRegistryPutBack& operator=(const MachineRegistryPutBack&) = delete;

 private:
  static constexpr const wchar_t* kSharedKeys[] = {
      L"SystemFileAssociations\\image\\ShellEx\\ContextMenuHandlers",
      L"SystemFileAssociations\\image\\ShellEx", L"SystemFileAssociations\\image",
      L"SystemFileAssociations"};
  std::wstring dll_;
  std::vector<bool> existed_;
};

// Tests against the machine's registry through regsvr32.
class RegistrationTest : public testing::Test {
 protected:
  const std::wstring dll_ = testsupport::FramewiseDllPath();
  const MachineRegistryPutBack putBack_{dll_};
};

TEST_F(RegistrationTest, Regsvr32WritesExactlyTheScriptContentOnceAndRegistersTheTypeLibrary) {
  ASSERT_EQ(RunRegsvr32(L"/s \"" + dll_ + L"\""), 0u);
  const Dump expected = ExpectedRegistration(dll_);
  Dump dump = DumpRegistration(RegistryRoots());
  EXPECT_EQ(dump, expected) << "got:\n" << Describe(dump);

  fw::ComPtr<ITypeLib> library;
  EXPECT_EQ(LoadRegTypeLib(LIBID_FramewiseLib, 1, 0, 0, library.put()), S_OK);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"Interface\\" + kIid));

  // Stale content under keys the script owns goes with a second registration.
  SetString(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid + L"\\Stale", L"", L"x");
  SetString(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid + L"\\InprocServer32", L"Stale", L"x");
  SetString(HKEY_CLASSES_ROOT, kHandlers + L"\\Wrenfly Framewise\\Stale", nullptr, L"x");
  ASSERT_EQ(RunRegsvr32(L"/s \"" + dll_ + L"\""), 0u);
  dump = DumpRegistration(RegistryRoots());
  EXPECT_EQ(dump, expected) << "got:\n" << Describe(dump);
}

TEST_F(RegistrationTest, Regsvr32UnregisterRemovesOnlyOurEntries) {
  ASSERT_EQ(RunRegsvr32(L"/s \"" + dll_ + L"\""), 0u);
  SetString(HKEY_CLASSES_ROOT, kHandlers + L"\\Another Handler", nullptr, L"{00000000-1111-2222-3333-444444444444}");
  SetString(HKEY_CLASSES_ROOT, kWebpHandlers + L"\\Another Handler", nullptr,
            L"{00000000-1111-2222-3333-555555555555}");
  // A stale subkey of our CLSID key must not keep it alive.
  SetString(HKEY_CLASSES_ROOT, L"CLSID\\" + kClsid + L"\\Stale", L"", L"x");

  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + dll_ + L"\""), 0u);
  Dump dump = DumpRegistration(RegistryRoots());
  const std::wstring h = L"HKCR\\" + kHandlers;
  const std::wstring w = L"HKCR\\" + kWebpHandlers;
  const Dump left = {L"HKCR\\SystemFileAssociations\\image\\ShellEx",
                     h,
                     h + L"\\Another Handler",
                     h + L"\\Another Handler|={00000000-1111-2222-3333-444444444444}",
                     L"HKCR\\SystemFileAssociations\\.webp",
                     L"HKCR\\SystemFileAssociations\\.webp\\ShellEx",
                     w,
                     w + L"\\Another Handler",
                     w + L"\\Another Handler|={00000000-1111-2222-3333-555555555555}"};
  EXPECT_EQ(dump, left) << "got:\n" << Describe(dump);
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kApproved));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"AppID"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"CLSID"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"TypeLib\\" + kLibId));

  // With the other handlers gone too, the shared parents go on the next unregistration, and
  // an extension's key with them.
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (kHandlers + L"\\Another Handler").c_str());
  RegDeleteKeyW(HKEY_CLASSES_ROOT, (kWebpHandlers + L"\\Another Handler").c_str());
  ASSERT_EQ(RunRegsvr32(L"/s \"" + dll_ + L"\""), 0u);
  ASSERT_EQ(RunRegsvr32(L"/s /u \"" + dll_ + L"\""), 0u);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"SystemFileAssociations\\image\\ShellEx"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, L"SystemFileAssociations\\image"));
  EXPECT_TRUE(DumpRegistration(RegistryRoots()).empty())
      << Describe(DumpRegistration(RegistryRoots()));
}

// A registration for the current user taken away again when the owner goes, however the
// test ends.
struct UserRegistrationPutBack {
  std::wstring dll;
  ~UserRegistrationPutBack() { RunRegsvr32(L"/s /u /n /i:user \"" + dll + L"\""); }
};

// The current user's classes key, for reading; null when it cannot be opened.
fw::UniqueHKey UserClasses() {
  fw::UniqueHKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_READ, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    key.reset();
  }
  return key;
}

// "regsvr32 /n /i:user" registers for the current user alone: the same keys below the
// user's classes, nothing below the machine's, and the approval list (a machine key) left
// alone; "/u /n /i:user" takes them away again.
TEST_F(RegistrationTest, PerUserRegistrationWritesOnlyTheUsersClasses) {
  const UserRegistrationPutBack userPutBack{dll_};
  const fw::UniqueHKey userClasses = UserClasses();
  ASSERT_TRUE(userClasses);
  fw::UniqueHKey machineClasses;
  ASSERT_EQ(
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, machineClasses.put()),
      ERROR_SUCCESS);
  RegistryRoots user;
  user.classesRoot = userClasses.get();
  RegistryRoots machine;
  machine.classesRoot = machineClasses.get();

  ASSERT_EQ(RunRegsvr32(L"/s /n /i:user \"" + dll_ + L"\""), 0u);
  Dump expected = ExpectedRegistration(dll_);
  expected.erase(L"HKLM\\" + kApproved + L"|" + kClsid + L"=Wrenfly Framewise");
  Dump dump = DumpRegistration(user);
  EXPECT_EQ(dump, expected) << "got:\n" << Describe(dump);
  dump = DumpRegistration(machine);
  EXPECT_TRUE(dump.empty()) << "written for the machine:\n" << Describe(dump);
  EXPECT_TRUE(KeyExists(userClasses.get(), L"TypeLib\\" + kLibId));
  EXPECT_FALSE(KeyExists(machineClasses.get(), L"TypeLib\\" + kLibId));

  ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:user \"" + dll_ + L"\""), 0u);
  dump = DumpRegistration(user);
  EXPECT_TRUE(dump.empty()) << "left for the user:\n" << Describe(dump);
  EXPECT_FALSE(KeyExists(userClasses.get(), L"TypeLib\\" + kLibId));
}

// The scope word of "regsvr32 /i:" is read in any case; a word that is no scope registers
// nothing and fails.
TEST_F(RegistrationTest, TheScopeWordIsReadInAnyCase) {
  ASSERT_EQ(RunRegsvr32(L"/s /n /i:MACHINE \"" + dll_ + L"\""), 0u);
  Dump dump = DumpRegistration(RegistryRoots());
  EXPECT_EQ(dump, ExpectedRegistration(dll_)) << "got:\n" << Describe(dump);
  ASSERT_EQ(RunRegsvr32(L"/s /u /n /i:Machine \"" + dll_ + L"\""), 0u);
  dump = DumpRegistration(RegistryRoots());
  EXPECT_TRUE(dump.empty()) << Describe(dump);
  EXPECT_NE(RunRegsvr32(L"/s /n /i:everyone \"" + dll_ + L"\""), 0u);
  dump = DumpRegistration(RegistryRoots());
  EXPECT_TRUE(dump.empty()) << Describe(dump);
}

TEST_F(RegistrationTest, UnregisterWhenNothingIsRegisteredStopsOnlyAtTheTypeLibrary) {
  fw::UniqueModule dll(LoadLibraryW(dll_.c_str()));
  ASSERT_TRUE(dll);
  auto unregister = reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
      reinterpret_cast<void (*)()>(GetProcAddress(dll.get(), "DllUnregisterServer")));
  ASSERT_NE(unregister, nullptr);
  const HRESULT typeLibResult = UnRegisterTypeLib(LIBID_FramewiseLib, 1, 0, 0, SYS_WIN32);
  EXPECT_TRUE(FAILED(typeLibResult)) << std::hex << typeLibResult;
  EXPECT_EQ(unregister(), typeLibResult);
  EXPECT_TRUE(DumpRegistration(RegistryRoots()).empty());
}

TEST_F(RegistrationTest, ModulePathWithASingleQuoteIsRegisteredUnchangedForMachineAndUser) {
  testsupport::TempDir temp;
  const std::wstring folder = temp.File(L"it's here");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring copy = folder + L"\\Framewise.dll";
  ASSERT_TRUE(CopyFileW(dll_.c_str(), copy.c_str(), FALSE));

  ASSERT_EQ(RunRegsvr32(L"/s \"" + copy + L"\""), 0u);
  wchar_t value[MAX_PATH * 2] = {};
  DWORD size = sizeof(value);
  EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, (L"CLSID\\" + kClsid + L"\\InprocServer32").c_str(),
                         nullptr, RRF_RT_REG_SZ, nullptr, value, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value), copy);
  EXPECT_EQ(RunRegsvr32(L"/s /u \"" + copy + L"\""), 0u);
  EXPECT_TRUE(DumpRegistration(RegistryRoots()).empty());

  // For one user as well: the type library is read from the path as it is.
  const UserRegistrationPutBack userPutBack{copy};
  const fw::UniqueHKey userClasses = UserClasses();
  ASSERT_TRUE(userClasses);
  ASSERT_EQ(RunRegsvr32(L"/s /n /i:user \"" + copy + L"\""), 0u);
  EXPECT_TRUE(KeyExists(userClasses.get(), L"TypeLib\\" + kLibId));
  size = sizeof(value);
  EXPECT_EQ(RegGetValueW(userClasses.get(), (L"CLSID\\" + kClsid + L"\\InprocServer32").c_str(),
                         nullptr, RRF_RT_REG_SZ, nullptr, value, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::wstring(value), copy);
  EXPECT_EQ(RunRegsvr32(L"/s /u /n /i:user \"" + copy + L"\""), 0u);
  EXPECT_FALSE(KeyExists(userClasses.get(), L"TypeLib\\" + kLibId));
}

using fw::LibraryAttributes;
using fw::TypeAttributes;
using fw::UniqueBstr;

TEST(RegistrationTypeLibTest, EmbeddedLibraryDescribesTheClass) {
  fw::ComPtr<ITypeLib> library;
  ASSERT_EQ(LoadTypeLibEx(testsupport::FramewiseDllPath().c_str(), REGKIND_NONE, library.put()), S_OK);
  {
    const LibraryAttributes lib(library);
    ASSERT_EQ(lib.result(), S_OK);
    EXPECT_TRUE(IsEqualGUID(lib->guid, LIBID_FramewiseLib));
    EXPECT_EQ(lib->wMajorVerNum, 1);
    EXPECT_EQ(lib->wMinorVerNum, 0);
    EXPECT_EQ(lib->lcid, 0u);
    EXPECT_EQ(lib->syskind, SYS_WIN32);
  }

  // The dual interface's own table holds only the IUnknown and IDispatch slots.
  fw::ComPtr<ITypeInfo> dispatch;
  ASSERT_EQ(library->GetTypeInfoOfGuid(IID_IImageFileContextMenu, dispatch.put()), S_OK);
  HREFTYPE vtableRef = 0;
  ASSERT_EQ(dispatch->GetRefTypeOfImplType(-1, &vtableRef), S_OK);
  fw::ComPtr<ITypeInfo> vtable;
  ASSERT_EQ(dispatch->GetRefTypeInfo(vtableRef, vtable.put()), S_OK);
  {
    const TypeAttributes type(vtable);
    ASSERT_EQ(type.result(), S_OK);
    EXPECT_EQ(type->typekind, TKIND_INTERFACE);
    EXPECT_EQ(type->cFuncs, 0);
    const WORD flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION;
    EXPECT_EQ(type->wTypeFlags & flags, flags);
  }

  fw::ComPtr<ITypeInfo> coclass;
  ASSERT_EQ(library->GetTypeInfoOfGuid(CLSID_ImageFileContextMenu, coclass.put()), S_OK);
  {
    const TypeAttributes type(coclass);
    ASSERT_EQ(type.result(), S_OK);
    EXPECT_EQ(type->typekind, TKIND_COCLASS);
    EXPECT_TRUE(type->wTypeFlags & TYPEFLAG_FCANCREATE);
    EXPECT_EQ(type->cImplTypes, 1);
  }

  const struct {
    ITypeInfo* info;
    const wchar_t* name;
    const wchar_t* help;
  } docs[] = {{nullptr, L"FramewiseLib", L"Framewise 1.0 Type Library"},
              {dispatch.get(), L"IImageFileContextMenu", L"IImageFileContextMenu Interface"},
              {coclass.get(), L"ImageFileContextMenu", L"ImageFileContextMenu Class"}};
  for (const auto& doc : docs) {
    UniqueBstr name, help;
    ASSERT_EQ(doc.info ? doc.info->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr)
                       : library->GetDocumentation(-1, name.put(), help.put(), nullptr, nullptr),
              S_OK);
    EXPECT_STREQ(name.get(), doc.name);
    EXPECT_STREQ(help.get(), doc.help);
  }
}

// A tree of scratch keys under HKEY_CURRENT_USER, deleted when the owner goes.
class ScratchTree {
 public:
  explicit ScratchTree(std::wstring path) : path_(std::move(path)) {}
  ~ScratchTree() { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// The thread's locale for a test (registration must put back what it changes); the one
// before comes back when the owner goes.
class ScopedThreadLocale {
 public:
  explicit ScopedThreadLocale(LCID locale) : previous_(GetThreadLocale()) { SetThreadLocale(locale); }
  ~ScopedThreadLocale() { SetThreadLocale(previous_); }
  ScopedThreadLocale(const ScopedThreadLocale&) = delete;
  ScopedThreadLocale& operator=(const ScopedThreadLocale&) = delete;

 private:
  LCID previous_;
};

// Scratch keys under HKEY_CURRENT_USER standing for both roots.
class ScratchRegistrationTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base_.path() + L"\\classes").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, classes_.put(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (base_.path() + L"\\machine").c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS, nullptr, machine_.put(), nullptr), ERROR_SUCCESS);
    roots_.classesRoot = classes_.get();
    roots_.localMachine = machine_.get();
    module_ = GetModuleHandleW(nullptr);  // this program carries the DLL's resources
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(module_, path, MAX_PATH);
    modulePath_ = path;
  }

  // Goes after the keys opened below it.
  const ScratchTree base_{L"Software\\FramewiseRegistrationTest-" + std::to_wstring(GetCurrentProcessId())};
  fw::UniqueHKey classes_;
  fw::UniqueHKey machine_;
  RegistryRoots roots_;
  HMODULE module_ = nullptr;
  std::wstring modulePath_;
};

// The thread locale the type library's registration ran in.
LCID g_localeAtRegisterTypeLib = 0;
HRESULT(WINAPI* g_realRegisterTypeLib)(ITypeLib*, LPCOLESTR, LPCOLESTR) = nullptr;
HRESULT WINAPI LocaleRecordingRegisterTypeLib(ITypeLib* library, LPCOLESTR path, LPCOLESTR help) {
  g_localeAtRegisterTypeLib = GetThreadLocale();
  return g_realRegisterTypeLib(library, path, help);
}

TEST_F(ScratchRegistrationTest, RegistersAndUnregistersThroughMappedRootsAndRestoresLocale) {
  const ScopedThreadLocale german(MAKELCID(0x0407, SORT_DEFAULT));
  const LCID before = GetThreadLocale();
  ASSERT_NE(before, GetSystemDefaultLCID());
  {
    // The type library is registered in the system's default locale, not the caller's.
    testsupport::ImportPatch recording("oleaut32.dll", "RegisterTypeLib",
                                       reinterpret_cast<void*>(&LocaleRecordingRegisterTypeLib));
    ASSERT_NE(recording.real(), nullptr);
    g_realRegisterTypeLib = recording.real_as<decltype(g_realRegisterTypeLib)>();
    ASSERT_EQ(RegisterServer(module_, roots_), S_OK);
  }
  EXPECT_EQ(g_localeAtRegisterTypeLib, GetSystemDefaultLCID());
  EXPECT_EQ(GetThreadLocale(), before);
  Dump dump = DumpRegistration(roots_);
  EXPECT_EQ(dump, ExpectedRegistration(modulePath_)) << "got:\n" << Describe(dump);

  ASSERT_EQ(UnregisterServer(module_, roots_), S_OK);
  EXPECT_EQ(GetThreadLocale(), before);
  dump = DumpRegistration(roots_);
  EXPECT_TRUE(dump.empty()) << Describe(dump);
  // Keys marked to stay are left, empty.
  EXPECT_TRUE(KeyExists(classes_.get(), L"AppID"));
  EXPECT_TRUE(KeyExists(classes_.get(), L"CLSID"));
  EXPECT_TRUE(KeyExists(classes_.get(), L"SystemFileAssociations\\image"));
  EXPECT_TRUE(KeyExists(machine_.get(), kApproved));
}

// A script the module does not carry fails with the system's reason, as FindResource gives
// it: no such script, or no scripts at all.
TEST_F(ScratchRegistrationTest, AMissingScriptFailsWithTheSystemsReason) {
  std::wstring text = L"stale";
  EXPECT_EQ(framewise::LoadRegistrationScript(module_, 9999, &text),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_NAME_NOT_FOUND));
  const HMODULE noScripts = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(noScripts, nullptr);
  EXPECT_EQ(framewise::LoadRegistrationScript(noScripts, 1, &text),
            HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
}

// Scripts as a module may carry them: bytes that are not UTF-8, a good one with and without
// a byte-order mark. Each is read from a copy of a DLL given that one script. (An empty one
// cannot be made here: Wine's resource writer refuses a resource of no bytes.)
TEST(RegistrationScript, ABrokenScriptFailsAndAGoodOneIsRead) {
  testsupport::TempDir dir;
  const struct {
    const char* what;
    std::string bytes;
    HRESULT result;
    const wchar_t* text;
  } cases[] = {
      {"not UTF-8", "HKCR \xC0\xAF", HRESULT_FROM_WIN32(ERROR_NO_UNICODE_TRANSLATION), L""},
      {"with a byte-order mark", "\xEF\xBB\xBFHKCR { }", S_OK, L"HKCR { }"},
      {"plain", "HKCR { }", S_OK, L"HKCR { }"},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring copy = dir.File(L"scripted" + std::to_wstring(n++) + L".dll");
    ASSERT_TRUE(CopyFileW(testsupport::VersionFixturePath(L"none").c_str(), copy.c_str(), FALSE));
    HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
    ASSERT_NE(update, nullptr);
    const bool added =
        UpdateResourceW(update, L"REGISTRY", MAKEINTRESOURCEW(101), 0,
                        const_cast<char*>(c.bytes.data()), static_cast<DWORD>(c.bytes.size()));
    ASSERT_TRUE(EndUpdateResourceW(update, !added));
    ASSERT_TRUE(added);
    fw::UniqueModule module(LoadLibraryExW(copy.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    std::wstring text;
    EXPECT_EQ(framewise::LoadRegistrationScript(module.get(), 101, &text), c.result);
    if (SUCCEEDED(c.result)) {
      EXPECT_EQ(text, c.text);
    }
  }
}

// While alive, LoadTypeLibEx as called from this program finds no type library in one file,
// as for a module built without one.
class NoTypeLibraryIn {
 public:
  explicit NoTypeLibraryIn(const std::wstring& path) {
    path_ = path;
    real_ = patch_.real_as<decltype(&LoadTypeLibEx)>();
  }
  bool active() const { return real_ != nullptr; }

 private:
  static HRESULT WINAPI Loading(LPCOLESTR file, REGKIND kind, ITypeLib** library) {
    if (file && lstrcmpiW(file, path_.c_str()) == 0) {
      *library = nullptr;
      return TYPE_E_CANTLOADLIBRARY;
    }
    return real_(file, kind, library);
  }
  static std::wstring path_;
  static decltype(&LoadTypeLibEx) real_;
  testsupport::ImportPatch patch_{"oleaut32.dll", "LoadTypeLibEx",
                                  reinterpret_cast<void*>(&Loading)};
};
std::wstring NoTypeLibraryIn::path_;
decltype(&LoadTypeLibEx) NoTypeLibraryIn::real_ = nullptr;

// A module without its type library registers the one in the ".tlb" file of its name
// beside it, and names that file in the registry; with neither, registration fails.
TEST_F(ScratchRegistrationTest, ATypeLibraryFileBesideTheModuleStandsInForItsOwn) {
  const NoTypeLibraryIn none(modulePath_);
  ASSERT_TRUE(none.active());
  const std::wstring beside = modulePath_.substr(0, modulePath_.size() - 4) + L".tlb";
  ASSERT_EQ(modulePath_.substr(modulePath_.size() - 4), L".exe");
  const testsupport::FileAside written(beside);
  EXPECT_TRUE(FAILED(framewise::RegisterModuleTypeLib(modulePath_)));

  // The library's bytes as the module carries them.
  HRSRC resource = FindResourceW(module_, MAKEINTRESOURCEW(1), L"TYPELIB");
  ASSERT_NE(resource, nullptr);
  const DWORD size = SizeofResource(module_, resource);
  const void* bytes = LockResource(LoadResource(module_, resource));
  ASSERT_TRUE(bytes && size > 0);
  ASSERT_TRUE(testsupport::WriteBytes(beside, bytes, size));

  ASSERT_EQ(framewise::RegisterModuleTypeLib(modulePath_), S_OK);
  wchar_t registered[MAX_PATH] = {};
  DWORD bytesRead = sizeof(registered);
  EXPECT_EQ(RegGetValueW(HKEY_CLASSES_ROOT, (L"TypeLib\\" + kLibId + L"\\1.0\\0\\win32").c_str(),
                         nullptr, RRF_RT_REG_SZ, nullptr, registered, &bytesRead),
            ERROR_SUCCESS);
  EXPECT_EQ(lstrcmpiW(registered, beside.c_str()), 0);
  EXPECT_EQ(framewise::UnregisterModuleTypeLib(modulePath_), S_OK);
}

// While alive, RegCreateKeyExW as called from this program refuses to create keys of one
// name, as the registry does for a caller without write access to the parent. (Wine's
// registry does not enforce key security or handle access, so a locked key cannot stand in.)
class RefuseKeyCreation {
 public:
  explicit RefuseKeyCreation(const wchar_t* name) {
    refused_ = name;
    real_ = patch_.real_as<decltype(&RegCreateKeyExW)>();
  }
  bool active() const { return real_ != nullptr; }

 private:
  static LSTATUS WINAPI Refusing(HKEY parent, LPCWSTR name, DWORD reserved, LPWSTR keyClass,
                                 DWORD options, REGSAM access,
                                 LPSECURITY_ATTRIBUTES security, PHKEY result,
                                 LPDWORD disposition) {
    if (name && lstrcmpiW(name, refused_) == 0) return ERROR_ACCESS_DENIED;
    return real_(parent, name, reserved, keyClass, options, access, security, result,
                 disposition);
  }
  static const wchar_t* refused_;
  static decltype(&RegCreateKeyExW) real_;
  testsupport::ImportPatch patch_{"advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&Refusing)};
};
const wchar_t* RefuseKeyCreation::refused_ = nullptr;
decltype(&RegCreateKeyExW) RefuseKeyCreation::real_ = nullptr;

TEST_F(ScratchRegistrationTest, RefusedWriteRollsBackTheFailingBlockOnly) {
  HRESULT hr;
  {
    const ScopedThreadLocale german(MAKELCID(0x0407, SORT_DEFAULT));
    const LCID before = GetThreadLocale();
    {
      // The class script's first block fails after its ProgID and CLSID keys are written.
      RefuseKeyCreation refuse(L"ShellEx");
      ASSERT_TRUE(refuse.active());
      hr = RegisterServer(module_, roots_);
    }
    EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetThreadLocale(), before);
  }

  const Dump dump = DumpRegistration(roots_);
  const Dump appIdScript = {L"HKCR\\AppID\\" + kAppId, L"HKCR\\AppID\\" + kAppId + L"|=Framewise",
                            L"HKCR\\AppID\\Framewise.DLL",
                            L"HKCR\\AppID\\Framewise.DLL|AppID=" + kAppId};
  EXPECT_EQ(dump, appIdScript) << "got:\n" << Describe(dump);
  EXPECT_TRUE(KeyExists(classes_.get(), L"CLSID"));
  EXPECT_TRUE(KeyExists(classes_.get(), L"SystemFileAssociations\\image"));
  EXPECT_FALSE(KeyExists(machine_.get(), L"Software"));  // later blocks not reached
}

// Per-user registration stops at its first refused write too: with the AppID's name
// refused, no class is registered for the user.
TEST_F(ScratchRegistrationTest, PerUserRegistrationStopsAtARefusedAppId) {
  UnregisterServerForUser(module_);  // what an earlier run may have left
  HRESULT hr;
  {
    RefuseKeyCreation refuse(L"Framewise.DLL");
    ASSERT_TRUE(refuse.active());
    hr = RegisterServerForUser(module_);
  }
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + kClsid));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\AppID\\" + kAppId));
  UnregisterServerForUser(module_);
}

// While alive, RegDeleteKeyW and RegDeleteTreeW as called from this program refuse to
// delete keys of one name, as the registry does for a caller without the right to.
class RefuseKeyDeletion {
 public:
  explicit RefuseKeyDeletion(const std::wstring& name) {
    refused_ = name;
    realKey_ = key_.real_as<decltype(&RegDeleteKeyW)>();
    realTree_ = tree_.real_as<decltype(&RegDeleteTreeW)>();
  }
  bool active() const { return realKey_ && realTree_; }

 private:
  static bool Refused(LPCWSTR name) { return name && lstrcmpiW(name, refused_.c_str()) == 0; }
  static LSTATUS WINAPI DeletingKey(HKEY parent, LPCWSTR name) {
    return Refused(name) ? ERROR_ACCESS_DENIED : realKey_(parent, name);
  }
  static LSTATUS WINAPI DeletingTree(HKEY parent, LPCWSTR name) {
    return Refused(name) ? ERROR_ACCESS_DENIED : realTree_(parent, name);
  }
  static std::wstring refused_;
  static decltype(&RegDeleteKeyW) realKey_;
  static decltype(&RegDeleteTreeW) realTree_;
  testsupport::ImportPatch key_{"advapi32.dll", "RegDeleteKeyW",
                                reinterpret_cast<void*>(&DeletingKey)};
  testsupport::ImportPatch tree_{"advapi32.dll", "RegDeleteTreeW",
                                 reinterpret_cast<void*>(&DeletingTree)};
};
std::wstring RefuseKeyDeletion::refused_;
decltype(&RegDeleteKeyW) RefuseKeyDeletion::realKey_ = nullptr;
decltype(&RegDeleteTreeW) RefuseKeyDeletion::realTree_ = nullptr;

// What `call` answers while a stand-in made from `argument` is in place.
template <typename StandIn, typename Argument, typename Call>
HRESULT With(const Argument& argument, Call call) {
  const StandIn standIn(argument);
  EXPECT_TRUE(standIn.active());
  return call();
}

// Registration runs the AppID script, the class script and the type library in that
// order, removal the other way round; each stops at the first step that fails, with that
// step's reason, and the steps after it change nothing.
TEST_F(ScratchRegistrationTest, EachStepStopsAtItsFailureWithItsReason) {
  const HRESULT denied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  const std::wstring appId = L"AppID\\" + kAppId, clsid = L"CLSID\\" + kClsid;
  const std::wstring library = L"TypeLib\\" + kLibId;
  auto registering = [&] { return RegisterServer(module_, roots_); };
  auto removing = [&] { return UnregisterServer(module_, roots_); };
  framewise::UnregisterModuleTypeLib(modulePath_);  // an earlier run's, if any
  // A module without scripts writes nothing.
  const HMODULE noScripts = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(noScripts, nullptr);
  EXPECT_EQ(RegisterServer(noScripts, roots_), HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_TRUE(DumpRegistration(roots_).empty());
  EXPECT_EQ(With<RefuseKeyCreation>(L"Framewise.DLL", registering), denied);
  EXPECT_FALSE(KeyExists(classes_.get(), clsid));
  // No type library in the module or beside it: the scripts' keys are there, the library
  // is not, and registration says why.
  EXPECT_EQ(With<NoTypeLibraryIn>(modulePath_, registering), TYPE_E_CANTLOADLIBRARY);
  EXPECT_TRUE(KeyExists(classes_.get(), clsid));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, library));
  ASSERT_EQ(RegisterServer(module_, roots_), S_OK);

  HRESULT hr;
  {
    // A module whose file cannot be named removes nothing.
    testsupport::ImportPatch noPath("kernel32.dll", "GetModuleFileNameW",
                                    reinterpret_cast<void*>(&testsupport::NoModuleFileName));
    ASSERT_NE(noPath.real(), nullptr);
    hr = UnregisterServer(module_, roots_);
  }
  EXPECT_EQ(hr, denied);
  EXPECT_TRUE(KeyExists(classes_.get(), clsid));
  EXPECT_EQ(With<RefuseKeyDeletion>(kClsid, removing), denied);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, library));
  EXPECT_TRUE(KeyExists(classes_.get(), appId));
  EXPECT_EQ(With<NoTypeLibraryIn>(modulePath_, removing), TYPE_E_CANTLOADLIBRARY);
  EXPECT_FALSE(KeyExists(classes_.get(), clsid));
  EXPECT_TRUE(KeyExists(classes_.get(), appId));
  EXPECT_EQ(With<RefuseKeyDeletion>(std::wstring(L"Framewise.DLL"), removing), denied);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, library));
  EXPECT_TRUE(KeyExists(classes_.get(), L"AppID\\Framewise.DLL"));
  // Registered again, all of it goes.
  ASSERT_EQ(RegisterServer(module_, roots_), S_OK);
  EXPECT_EQ(UnregisterServer(module_, roots_), S_OK);
  EXPECT_FALSE(KeyExists(classes_.get(), appId));
}

// The same for one user's registration, in the user's classes.
TEST_F(ScratchRegistrationTest, EachStepForTheUserStopsAtItsFailureWithItsReason) {
  const HRESULT denied = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  const std::wstring classes = L"Software\\Classes\\";
  const std::wstring appId = classes + L"AppID\\" + kAppId, clsid = classes + L"CLSID\\" + kClsid,
                     library = classes + L"TypeLib\\" + kLibId;
  auto registering = [&] { return RegisterServerForUser(module_); };
  auto removing = [&] { return UnregisterServerForUser(module_); };
  UnregisterServerForUser(module_);  // what an earlier run may have left
  const HMODULE noScripts = GetModuleHandleW(L"kernel32.dll");
  ASSERT_NE(noScripts, nullptr);
  EXPECT_EQ(RegisterServerForUser(noScripts), HRESULT_FROM_WIN32(ERROR_RESOURCE_TYPE_NOT_FOUND));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, appId));
  // The class refused: its type library is not registered.
  EXPECT_EQ(With<RefuseKeyCreation>(L"ShellEx", registering), denied);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, library));
  ASSERT_EQ(RegisterServerForUser(module_), S_OK);
  EXPECT_EQ(With<RefuseKeyDeletion>(kClsid, removing), denied);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, library));
  EXPECT_EQ(With<NoTypeLibraryIn>(modulePath_, removing), TYPE_E_CANTLOADLIBRARY);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, clsid));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, appId));
  EXPECT_EQ(With<RefuseKeyDeletion>(std::wstring(L"Framewise.DLL"), removing), denied);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, classes + L"AppID\\Framewise.DLL"));
  ASSERT_EQ(RegisterServerForUser(module_), S_OK);
  EXPECT_EQ(UnregisterServerForUser(module_), S_OK);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, appId));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, library));
}

// A copy of a DLL without scripts, given an AppID script and a class script.
std::wstring ModuleWithScripts(const testsupport::TempDir& dir, const wchar_t* name,
                               const std::string& appId, const std::string& classes) {
  const std::wstring copy = dir.File(name);
  if (!CopyFileW(testsupport::VersionFixturePath(L"none").c_str(), copy.c_str(), FALSE)) return L"";
  HANDLE update = BeginUpdateResourceW(copy.c_str(), FALSE);
  if (!update) return L"";
  bool added = true;
  for (const auto& script : {std::make_pair(framewise::kAppIdScriptId, appId),
                             std::make_pair(framewise::kClassScriptId, classes)}) {
    added = added && UpdateResourceW(update, L"REGISTRY", MAKEINTRESOURCEW(script.first), 0,
                                     const_cast<char*>(script.second.data()),
                                     static_cast<DWORD>(script.second.size()));
  }
  return EndUpdateResourceW(update, !added) && added ? copy : L"";
}

// Per-user registration reads both scripts before it writes anything: a module whose
// AppID script or class script is broken registers nothing for the user.
TEST_F(ScratchRegistrationTest, PerUserRegistrationReadsBothScriptsFirst) {
  testsupport::TempDir dir;
  const std::string appId =
      "HKCR { NoRemove AppID { ForceRemove {6E0F3B5A-1D2C-4B7E-9A41-0C8D2F6B5E13} = s 'x' } }";
  const std::string classes =
      "HKCR { NoRemove CLSID { ForceRemove {2B7C9E40-5A1F-4D63-8E2B-7F0A1C3D9E56} = s 'y' } }";
  const std::string broken = "HKCR { NoRemove";
  const std::wstring keys[] = {L"Software\\Classes\\AppID\\{6E0F3B5A-1D2C-4B7E-9A41-0C8D2F6B5E13}",
                               L"Software\\Classes\\CLSID\\{2B7C9E40-5A1F-4D63-8E2B-7F0A1C3D9E56}"};
  // The keys the scripts name, gone before (an earlier run may have left them) and after.
  auto removeTheirKeys = [&] {
    for (const std::wstring& key : keys) RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
  };
  removeTheirKeys();
  for (const auto& scripts : {std::make_pair(broken, classes), std::make_pair(appId, broken)}) {
    const std::wstring path = ModuleWithScripts(dir, scripts.first == broken ? L"a.dll" : L"b.dll",
                                                scripts.first, scripts.second);
    ASSERT_FALSE(path.empty());
    fw::UniqueModule module(LoadLibraryW(path.c_str()));
    ASSERT_TRUE(module);
    EXPECT_EQ(RegisterServerForUser(module.get()), DISP_E_EXCEPTION);
    for (const std::wstring& key : keys) EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, key));
  }
  removeTheirKeys();
}

TEST_F(ScratchRegistrationTest, RefusedWriteInALaterBlockKeepsTheEarlierBlock) {
  HRESULT hr;
  {
    // The machine block cannot create its first key.
    RefuseKeyCreation refuse(L"Software");
    ASSERT_TRUE(refuse.active());
    hr = RegisterServer(module_, roots_);
  }
  EXPECT_EQ(hr, HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED));
  Dump expected = ExpectedRegistration(modulePath_);
  expected.erase(L"HKLM\\" + kApproved + L"|" + kClsid + L"=Wrenfly Framewise");
  const Dump dump = DumpRegistration(roots_);
  EXPECT_EQ(dump, expected) << "got:\n" << Describe(dump);
}

// A ForceRemove key's old subtree goes before it is written again, but a shared key that
// holds other programs' entries (CLSID here, in any case) is never deleted whole.
TEST_F(ScratchRegistrationTest, ForceRemoveNeverDeletesASharedKey) {
  fw::UniqueHKey made;
  for (const wchar_t* path : {L"CLSID\\{Other}\\InprocServer32", L"Own\\Old"}) {
    ASSERT_EQ(RegCreateKeyExW(classes_.get(), path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              made.put(), nullptr),
              ERROR_SUCCESS);
  }
  made.reset();
  EXPECT_EQ(RunRegistryScript(L"HKCR { ForceRemove clsid { ForceRemove '{Mine}' = s 'x' } "
                              L"ForceRemove Own = s 'y' }",
                              {}, ScriptMode::Register, roots_),
            S_OK);
  EXPECT_TRUE(KeyExists(classes_.get(), L"CLSID\\{Other}\\InprocServer32"));
  EXPECT_TRUE(KeyExists(classes_.get(), L"CLSID\\{Mine}"));
  EXPECT_TRUE(KeyExists(classes_.get(), L"Own"));
  EXPECT_FALSE(KeyExists(classes_.get(), L"Own\\Old"));
}

TEST_F(ScratchRegistrationTest, MalformedScriptWritesNothing) {
  const wchar_t* scripts[] = {
      L"HKCR { Good = s 'x' } HKCU { Bad }",
      L"HKCR { Good = s 'x' } HKLM Bad",
      L"HKCR { Good { val N s 'x' } }",
      L"HKCR { Good\\Bad }",
      L"HKCR { Good = s '%NOT_SET%' }",
  };
  for (const wchar_t* text : scripts) {
    EXPECT_EQ(RunRegistryScript(text, {}, ScriptMode::Register, roots_), DISP_E_EXCEPTION);
    EXPECT_FALSE(KeyExists(classes_.get(), L"Good"));
  }
}

// GetModuleFileNameW as seen by the registration code, filling the caller's buffer.
const wchar_t* g_fakePath = nullptr;
DWORD WINAPI FakeGetModuleFileNameW(HMODULE, LPWSTR buffer, DWORD size) {
  DWORD length = static_cast<DWORD>(wcslen(g_fakePath));
  const DWORD copied = length < size ? length : size - 1;
  wmemcpy(buffer, g_fakePath, copied);
  buffer[copied] = L'\0';
  if (length >= size) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
  }
  return length;
}

std::vector<LONG> g_shellNotes;
void WINAPI RecordingChangeNotify(LONG event, UINT, LPCVOID, LPCVOID) {
  g_shellNotes.push_back(event);
}
HRESULT ChangeThatSucceeds(HMODULE) { return S_OK; }
HRESULT ChangeThatFails(HMODULE) { return E_ACCESSDENIED; }

// A registration or removal that went through is announced to the shell, so a running
// Explorer sees the handler come or go; one that failed changed nothing to announce.
TEST_F(ScratchRegistrationTest, AChangeThatWentThroughIsAnnouncedToTheShell) {
  testsupport::ImportPatch notify("shell32.dll", "SHChangeNotify",
                                  reinterpret_cast<void*>(&RecordingChangeNotify));
  ASSERT_NE(notify.real(), nullptr);
  for (bool install : {true, false}) {
    SCOPED_TRACE(install);
    g_shellNotes.clear();
    EXPECT_EQ(ChangeRegistration(module_, &ChangeThatSucceeds, PackageScope::User, install), S_OK);
    EXPECT_EQ(g_shellNotes, std::vector<LONG>{SHCNE_ASSOCCHANGED});
    g_shellNotes.clear();
    EXPECT_EQ(ChangeRegistration(module_, &ChangeThatFails, PackageScope::User, install),
              E_ACCESSDENIED);
    EXPECT_TRUE(g_shellNotes.empty());
  }
}

TEST_F(ScratchRegistrationTest, ModulePathFillingTheBufferFails) {
  std::wstring longest = L"C:\\" + std::wstring(MAX_PATH - 8, L'a') + L".dll";  // 259 chars
  std::wstring tooLong = longest + L"x";
  ScriptVariables variables;
  HRESULT longestResult = E_UNEXPECTED, tooLongResult = E_UNEXPECTED,
          tooLongUserResult = E_UNEXPECTED;
  {
    testsupport::ImportPatch fake("kernel32.dll", "GetModuleFileNameW",
                                  reinterpret_cast<void*>(&FakeGetModuleFileNameW));
    ASSERT_NE(fake.real(), nullptr);
    g_fakePath = longest.c_str();
    longestResult = RegistrationScriptVariables(module_, &variables);
    g_fakePath = tooLong.c_str();
    tooLongResult = RegisterServer(module_, roots_);
    tooLongUserResult = RegisterServerForUser(module_);
  }

  EXPECT_EQ(longestResult, S_OK);
  EXPECT_EQ(tooLongUserResult, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Classes\\CLSID\\" + kClsid));
  ASSERT_EQ(variables.size(), 3u);
  EXPECT_EQ(variables[2].second, longest);
  EXPECT_EQ(tooLongResult, HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_TRUE(DumpRegistration(roots_).empty());
}

}  // namespace
}  // namespace framewise
