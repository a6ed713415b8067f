// Installs or removes a package as Windows would for a user who is not an administrator.
// Wine runs every user as an administrator and sets the installer's AdminUser property
// for each msiexec run; this program opens the package itself, clears AdminUser (Windows
// leaves it unset for a standard user when the package asks for real administrator
// detection) and runs the package's own sequences, conditions and all.
// Usage: install_as_standard_user PACKAGE.msi install|remove
// Prints the scope the package chose; exit code: the installer's result.
#include <windows.h>
#include <msi.h>
#include <msiquery.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

// Closes an installer handle on every path.
class MsiHandle {
 public:
  MsiHandle() = default;
  ~MsiHandle() {
    if (handle_) MsiCloseHandle(handle_);
  }
  MsiHandle(const MsiHandle&) = delete;
  MsiHandle& operator=(const MsiHandle&) = delete;
  MSIHANDLE* put() { return &handle_; }
  MSIHANDLE get() const { return handle_; }

 private:
  MSIHANDLE handle_ = 0;
};

std::wstring Property(MSIHANDLE package, const wchar_t* name) {
  wchar_t value[512] = L"";
  DWORD size = 512;
  if (MsiGetPropertyW(package, name, value, &size) != ERROR_SUCCESS) return L"(unreadable)";
  return value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3 || (wcscmp(argv[2], L"install") != 0 && wcscmp(argv[2], L"remove") != 0)) {
    fwprintf(stderr, L"usage: install_as_standard_user PACKAGE.msi install|remove\n");
    return 2;
  }
  MsiSetInternalUI(INSTALLUILEVEL_NONE, nullptr);
  MsiHandle package;
  UINT result = MsiOpenPackageW(argv[1], package.put());
  if (result != ERROR_SUCCESS) {
    fwprintf(stderr, L"cannot open %ls: %u\n", argv[1], result);
    return static_cast<int>(result);
  }
  result = MsiSetPropertyW(package.get(), L"AdminUser", L"");
  if (result == ERROR_SUCCESS && wcscmp(argv[2], L"remove") == 0) {
    result = MsiSetPropertyW(package.get(), L"REMOVE", L"ALL");
  }
  if (result == ERROR_SUCCESS) result = MsiDoActionW(package.get(), L"INSTALL");
  const std::wstring allUsers = Property(package.get(), L"ALLUSERS");
  wprintf(L"%ls: %u, scope %ls\n", argv[2], result, allUsers.empty() ? L"per user" : L"per machine");
  return static_cast<int>(result);
}
