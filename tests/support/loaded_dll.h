// The built DLL loaded by path, as the shell loads an in-process server, and reached only
// through its exports: the stress suites, the benchmarks and the host tool use the DLL
// itself rather than the objects linked into them.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

#include "framework/com_ptr.h"
#include "framework/win_owners.h"

namespace testsupport {

class LoadedDll {
 public:
  // The DLL at `path`; FramewiseDllPath() when empty.
  explicit LoadedDll(const std::wstring& path = std::wstring());
  LoadedDll(const LoadedDll&) = delete;
  LoadedDll& operator=(const LoadedDll&) = delete;

  bool ok() const { return module_ && getClassObject_ && canUnloadNow_; }
  HMODULE module() const { return module_.get(); }
  // Why loading failed (GetLastError of LoadLibraryW), or 0.
  DWORD loadError() const { return loadError_; }

  // A new handler through the class factory of DllGetClassObject, as the shell makes one.
  HRESULT CreateHandler(fw::ComPtr<IShellExtInit>* init) const;
  // The same, with its menu interface; false when either cannot be had.
  bool CreateHandler(fw::ComPtr<IShellExtInit>* init, fw::ComPtr<IContextMenu3>* menu) const;
  // An object of any of the DLL's classes through its class factory.
  HRESULT CreateObject(REFCLSID clsid, REFIID iid, void** object) const;
  HRESULT CanUnloadNow() const { return canUnloadNow_ ? canUnloadNow_() : E_UNEXPECTED; }
  // Gives this object's reference on the module back now.
  void Free();

 private:
  fw::UniqueModule module_;
  DWORD loadError_ = 0;
  HRESULT(STDAPICALLTYPE* getClassObject_)(REFCLSID, REFIID, void**) = nullptr;
  HRESULT(STDAPICALLTYPE* canUnloadNow_)() = nullptr;
};

}  // namespace testsupport
