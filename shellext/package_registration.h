// The sparse package that puts the entry into Windows 11's context menu: registered with
// the install folder as its external location when the DLL is registered (regsvr32, or
// the installer's custom actions below), removed when it is unregistered. Only on
// Windows 11 and only when Framewise.msix lies beside the DLL (an installed copy, not a
// build tree). A failure is logged and never fails the registration: the classic entry
// works without the package.
#pragma once

#include <windows.h>

#include <string>

#include "shellext/portable/package_commands.h"

namespace framewise {

// Where the package step says what it did and why it failed.
class PackageLog {
 public:
  virtual ~PackageLog() = default;
  virtual void Write(const std::wstring& line) = 0;
};

// To the debugger's output (regsvr32 has no log of its own).
class DebugOutputLog final : public PackageLog {
 public:
  void Write(const std::wstring& line) override;
};

// True on Windows 11 (build 22000 or later). The build comes from RtlGetVersion: the
// documented version functions answer as the calling program's manifest allows, and
// Windows 11 still says major version 10.
bool HasPackagedContextMenu();

// Registers, or removes, the package beside `module` for the user or the machine. S_FALSE
// when there is nothing to do (before Windows 11, or no package file); otherwise the
// PowerShell run's result, which has been logged.
HRESULT RegisterSparsePackage(HMODULE module, PackageScope scope, PackageLog& log);
HRESULT RemoveSparsePackage(HMODULE module, PackageScope scope, PackageLog& log);

}  // namespace framewise
