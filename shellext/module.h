// The process-wide module object: lock count, one cached class object per class, and the
// module instance from which the type library and registration scripts load.
#pragma once

#include <windows.h>
#include <objidl.h>

#include "framework/com_ptr.h"
#include "framework/win_owners.h"
#include "settings/update_checker.h"

namespace framewise {

class CFramewiseModule : public ModuleLockCount {
 public:
  CFramewiseModule();
  virtual ~CFramewiseModule();
  CFramewiseModule(const CFramewiseModule&) = delete;
  CFramewiseModule& operator=(const CFramewiseModule&) = delete;

  LONG Lock() override;
  LONG Unlock() override;
  virtual LONG GetLockCount() const;
  // The process's global interface table, created on first use (nothing asks for it).
  virtual IGlobalInterfaceTable* GetGlobalInterfaceTable();

  void SetInstance(HINSTANCE instance) { instance_ = instance; }
  HINSTANCE instance() const { return instance_; }

  // Hands out the cached class object for a known CLSID (DllGetClassObject's contract).
  HRESULT GetClassObject(REFCLSID clsid, REFIID iid, void** object);

  // Releases the cached class objects and the global interface table (process detach).
  void Term();

 private:
  volatile LONG lockCount_ = 0;
  fw::CriticalSection lock_;  // guards the objects below
  // In the order of the class table (module.cpp): the classic handler, the new menu's command.
  fw::ComPtr<IUnknown> classObjects_[2];
  fw::ComPtr<IGlobalInterfaceTable> globalInterfaceTable_;
  HINSTANCE instance_ = nullptr;
};

CFramewiseModule& Module();

// The creation function of one of the module's classes, as its class object calls it: the
// class object has already refused a null out pointer (and emptied it) and aggregation
// asked for any interface but IUnknown.
using CreateObjectFunction = HRESULT (*)(IUnknown* outer, REFIID iid, void** object);

// Creates the class object for a class (the cache keeps one reference).
HRESULT CreateClassObject(CreateObjectFunction create, IUnknown** object);

}  // namespace framewise
