#include "shellext/module.h"

#include <new>

#include "framework/app.h"
#include "shellext/explorer_command.h"
#include "shellext/guids.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/install.h"
#include "shellext/registration.h"

namespace framewise {

namespace {

// A class object: creates the objects of one class. Its own count is interlocked; while
// a client holds it beyond the cache's reference, it keeps one module lock.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(CreateObjectFunction create) : create_(create) {}

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
    return create_(outer, iid, object);
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
  const CreateObjectFunction create_;
  volatile LONG refs_ = 0;
};

// The module's classes: the classic context-menu handler and the new context menu's
// command, each with its own cached class object.
struct ClassEntry {
  const CLSID* clsid;
  CreateObjectFunction create;
};
const ClassEntry kClasses[] = {
    {&CLSID_ImageFileContextMenu, &CreateImageFileContextMenu},
    {&CLSID_FramewiseExplorerCommand, &CreateExplorerCommand},
};

}  // namespace

HRESULT CreateClassObject(CreateObjectFunction create, IUnknown** object) {
  ClassFactory* factory = new (std::nothrow) ClassFactory(create);
  if (!factory) return E_OUTOFMEMORY;
  factory->AddRef();  // the cache's reference
  *object = factory;
  return S_OK;
}

CFramewiseModule::CFramewiseModule() { UpdateChecker::SetModule(this); }

CFramewiseModule::~CFramewiseModule() {
  Term();
  UpdateChecker::SetModule(nullptr);
}

LONG CFramewiseModule::Lock() { return InterlockedIncrement(&lockCount_); }
LONG CFramewiseModule::Unlock() { return InterlockedDecrement(&lockCount_); }
LONG CFramewiseModule::GetLockCount() const { return lockCount_; }

IGlobalInterfaceTable* CFramewiseModule::GetGlobalInterfaceTable() {
  if (!lock_.ready()) return nullptr;
  fw::ScopedLock hold(lock_);
  if (!globalInterfaceTable_ &&
      FAILED(CoCreateInstance(CLSID_StdGlobalInterfaceTable, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IGlobalInterfaceTable, globalInterfaceTable_.put_void()))) {
    globalInterfaceTable_.reset();
  }
  return globalInterfaceTable_.get();  // the module keeps the reference
}

HRESULT CFramewiseModule::GetClassObject(REFCLSID clsid, REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (!lock_.ready()) return E_UNEXPECTED;
  *object = nullptr;
  static_assert(sizeof(kClasses) / sizeof(kClasses[0]) == sizeof(classObjects_) / sizeof(classObjects_[0]),
                "one cached class object per class");
  size_t index = 0;
  while (index < sizeof(kClasses) / sizeof(kClasses[0]) && !IsEqualCLSID(clsid, *kClasses[index].clsid)) {
    ++index;
  }
  if (index == sizeof(kClasses) / sizeof(kClasses[0])) return CLASS_E_CLASSNOTAVAILABLE;

  fw::ComPtr<IUnknown> factory;
  {
    // Two threads asking at once get the one object.
    fw::ScopedLock hold(lock_);
    fw::ComPtr<IUnknown>& cached = classObjects_[index];
    if (!cached) {
      const HRESULT hr = CreateClassObject(kClasses[index].create, cached.put());
      if (FAILED(hr)) {
        cached.reset();
        return hr;
      }
    }
    factory = fw::ComPtr<IUnknown>::Share(cached.get());
  }
  const HRESULT hr = factory->QueryInterface(iid, object);
  if (hr == S_OK && *object == nullptr) return CLASS_E_CLASSNOTAVAILABLE;
  return hr;
}

void CFramewiseModule::Term() {
  if (!lock_.ready()) return;
  fw::ComPtr<IUnknown> objects[sizeof(classObjects_) / sizeof(classObjects_[0])];
  fw::ComPtr<IGlobalInterfaceTable> table;
  {
    fw::ScopedLock hold(lock_);
    for (size_t i = 0; i < sizeof(objects) / sizeof(objects[0]); ++i) objects[i].swap(classObjects_[i]);
    table.swap(globalInterfaceTable_);
  }
  // Released outside the lock: a release may call back into the module.
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

namespace {

// Runs framewise::RegisterServer or UnregisterServer on this module, with the machine's
// sparse package.
HRESULT ChangeMachineRegistration(HRESULT (*change)(HMODULE module), bool install) {
  try {
    return framewise::ChangeRegistration(Module().instance(), change,
                                         framewise::PackageScope::Machine, install);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace

STDAPI DllRegisterServer() { return ChangeMachineRegistration(&framewise::RegisterServer, true); }

STDAPI DllUnregisterServer() { return ChangeMachineRegistration(&framewise::UnregisterServer, false); }
