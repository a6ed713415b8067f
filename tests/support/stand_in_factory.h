// The pieces every in-process stand-in is made of: the IUnknown of an object that offers
// one interface, the class object that makes them, and the registration of that class
// object on this thread's apartment.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace standin {

// An object offering `Interface` (identified by `iid`) and IUnknown: created with one
// reference, deleted at the last Release.
template <typename Interface>
class StandInObject : public Interface {
 public:
  explicit StandInObject(REFIID iid) : iid_(iid) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return static_cast<ULONG>(n);
  }

 protected:
  virtual ~StandInObject() = default;

 private:
  const IID iid_;
  volatile LONG refs_ = 1;
};

// The class object `factory` registered for `clsid` on this thread's apartment while the
// owner is alive (CoRegisterClassObject, revoked when it goes).
class ClassRegistration {
 public:
  ClassRegistration() = default;
  ~ClassRegistration() {
    if (cookie_) CoRevokeClassObject(cookie_);
  }
  ClassRegistration(const ClassRegistration&) = delete;
  ClassRegistration& operator=(const ClassRegistration&) = delete;
  // True when the class object is registered now.
  bool Register(REFCLSID clsid, IClassFactory* factory) {
    if (FAILED(CoRegisterClassObject(clsid, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                     &cookie_))) {
      cookie_ = 0;
    }
    return cookie_ != 0;
  }
  bool registered() const { return cookie_ != 0; }

 private:
  DWORD cookie_ = 0;
};

// The class object of a stand-in registered in this process only: a static object that
// makes a new T (created with one reference) for each CreateInstance.
template <typename T>
class StandInFactory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
      *object = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // static object
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    T* instance = new T();
    const HRESULT hr = instance->QueryInterface(iid, object);
    instance->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

}  // namespace standin
