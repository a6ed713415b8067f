#include "tests/support/loaded_dll.h"

#include "shellext/guids.h"
#include "tests/support/files.h"

namespace testsupport {

LoadedDll::LoadedDll(const std::wstring& path)
    : module_(LoadLibraryW((path.empty() ? FramewiseDllPath() : path).c_str())) {
  if (!module_) {
    loadError_ = GetLastError();
    return;
  }
  getClassObject_ = reinterpret_cast<decltype(getClassObject_)>(
      reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
  canUnloadNow_ = reinterpret_cast<decltype(canUnloadNow_)>(
      reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllCanUnloadNow")));
}

HRESULT LoadedDll::CreateObject(REFCLSID clsid, REFIID iid, void** object) const {
  *object = nullptr;
  if (!ok()) return E_UNEXPECTED;
  fw::ComPtr<IClassFactory> factory;
  const HRESULT hr = getClassObject_(clsid, IID_IClassFactory, factory.put_void());
  if (FAILED(hr)) return hr;
  return factory->CreateInstance(nullptr, iid, object);
}

HRESULT LoadedDll::CreateHandler(fw::ComPtr<IShellExtInit>* init) const {
  const HRESULT hr = CreateObject(framewise::CLSID_ImageFileContextMenu, IID_IShellExtInit, init->put_void());
  if (FAILED(hr)) init->reset();
  return hr;
}

bool LoadedDll::CreateHandler(fw::ComPtr<IShellExtInit>* init, fw::ComPtr<IContextMenu3>* menu) const {
  menu->reset();
  return SUCCEEDED(CreateHandler(init)) && SUCCEEDED(init->As(menu));
}

void LoadedDll::Free() {
  getClassObject_ = nullptr;
  canUnloadNow_ = nullptr;
  module_.reset();
}

}  // namespace testsupport
