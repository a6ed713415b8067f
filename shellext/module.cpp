#include "shellext/module.h"

#include <new>

#include "framework/app.h"
#include "shellext/guids.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/install.h"
#include "shellext/registration.h"

namespace framewise {

namespace {

// The one class object: creates handlers. Its own count is interlocked; while a client
// holds it beyond the cache's reference, it keeps one module lock.
class ClassFactory final : public IClassFactory {
 public:
  ClassFactory() = default;

  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  STDMETHODIMP_(ULONG) AddRef() override {
    const LONG count = InterlockedIncrement(&refs_);
    if (count == 2) Module().Lock();
    return static_cast<ULONG>(count);
  }

  STDMETHODIMP_(ULONG) Release() override {
    const LONG count = InterlockedDecrement(&refs_);
    if (count == 1) Module().Unlock();
    if (count == 0) delete this;
    return static_cast<ULONG>(count);
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer && !IsEqualIID(iid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
    fw::ModuleStateScope state;
    return CreateImageFileContextMenu(outer, iid, object);
  }

  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      Module().Lock();
    } else {
      Module().Unlock();
    }
    return S_OK;
  }

 private:
  ~ClassFactory() = default;
  volatile LONG refs_ = 0;
};

}  // namespace

HRESULT CreateClassObject(IUnknown** object) {
  ClassFactory* factory = new (std::nothrow) ClassFactory();
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();  // the cache's reference
  *object = factory;
  return S_OK;
}

CFramewiseModule::CFramewiseModule() {
  initialized_ = InitializeCriticalSectionAndSpinCount(&classObjectLock_, 0) != FALSE;
}

CFramewiseModule::~CFramewiseModule() {
  Term();
  if (initialized_) DeleteCriticalSection(&classObjectLock_);
}

LONG CFramewiseModule::Lock() { return InterlockedIncrement(&lockCount_); }
LONG CFramewiseModule::Unlock() { return InterlockedDecrement(&lockCount_); }
LONG CFramewiseModule::GetLockCount() const { return lockCount_; }

IGlobalInterfaceTable* CFramewiseModule::GetGlobalInterfaceTable() {
  if (!initialized_) return nullptr;
  EnterCriticalSection(&classObjectLock_);
  if (!globalInterfaceTable_) {
    IGlobalInterfaceTable* table = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IGlobalInterfaceTable, reinterpret_cast<void**>(&table)))) {
      globalInterfaceTable_ = table;
    }
  }
  IGlobalInterfaceTable* table = globalInterfaceTable_;
  LeaveCriticalSection(&classObjectLock_);
  return table;
}

HRESULT CFramewiseModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (!initialized_) return E_UNEXPECTED;
  *object = nullptr;
  if (!IsEqualCLSID(clsid, CLSID_ImageFileContextMenu)) return CLASS_E_CLASSNOTAVAILABLE;

  if (!classObject_) {
    EnterCriticalSection(&classObjectLock_);
    HRESULT hr = S_OK;
    if (!classObject_) {  // looked up again inside the lock: two threads get one object
      IUnknown* created = nullptr;
      hr = CreateClassObject(&created);
      if (SUCCEEDED(hr)) classObject_ = created;
    }
    LeaveCriticalSection(&classObjectLock_);
    if (FAILED(hr)) return hr;
  }
  const HRESULT hr = classObject_->QueryInterface(iid, object);
  if (hr == S_OK && *object == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return hr;
}

void CFramewiseModule::Term() {
  if (classObject_) {
    IUnknown* object = classObject_;
    classObject_ = nullptr;
    object->Release();
  }
  if (globalInterfaceTable_) {
    IGlobalInterfaceTable* table = globalInterfaceTable_;
    globalInterfaceTable_ = nullptr;
    table->Release();
  }
}

CFramewiseModule& Module() {
  static CFramewiseModule module;
  return module;
}

}  // namespace framewise

using framewise::Module;

STDAPI DllCanUnloadNow() {
  // This module has no framework-level COM objects or class factories of its own, so
  // the module's lock count alone decides.
  return Module().GetLockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  try {
    return Module().GetClassObject(clsid, iid, object);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

STDAPI DllRegisterServer() {
  try {
    const HRESULT hr = framewise::RegisterServer(Module().instance());
    if (SUCCEEDED(hr)) framewise::NotifyAssociationsChanged();
    return hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

STDAPI DllUnregisterServer() {
  try {
    const HRESULT hr = framewise::UnregisterServer(Module().instance());
    if (SUCCEEDED(hr)) framewise::NotifyAssociationsChanged();
    return hr;
  } catch (...) {
    return E_UNEXPECTED;
  }
}
