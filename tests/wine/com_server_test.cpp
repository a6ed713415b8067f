// The DLL as a COM server, through its exports and through COM on the registered class:
// the one class object, aggregation, unload rules, and IDispatch from the type library.
#include <windows.h>
#include <oaidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <thread>

#include "framework/com_apartment.h"
#include "framework/com_ptr.h"
#include "framework/type_info_owners.h"
#include "framework/win_owners.h"
#include "fitting/image_fixer.h"
#include "shellext/explorer_command.h"
#include "shellext/guids.h"
#include "shellext/install.h"
#include "shellext/module.h"
#include "shellext/registration.h"
#include "tests/support/handler_fixture.h"
#include "tests/support/import_patch.h"
#include "tests/support/refused_allocations.h"
#include "tests/support/shell_data_object.h"
#include "tests/support/test_support.h"
#include "leak_checks.h"

using framewise::CLSID_ImageFileContextMenu;
using framewise::IID_IImageFileContextMenu;

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainExport = HRESULT(WINAPI*)();

// An out-parameter pre-filled with a marker, to prove that a failing call cleared it. A
// reference that a call wrongly hands out anyway is released when the owner goes, so that
// it does not hold the server in the tests that follow.
template <typename T>
class MarkedOut {
 public:
  MarkedOut() = default;
  ~MarkedOut() {
    if (p_ && p_ != Marker()) p_->Release();
  }
  MarkedOut(const MarkedOut&) = delete;
  MarkedOut& operator=(const MarkedOut&) = delete;
  T** put() { return &p_; }
  void** put_void() { return reinterpret_cast<void**>(&p_); }
  T* get() const { return p_; }

 private:
  static T* Marker() { return reinterpret_cast<T*>(0xdeadbeef); }
  T* p_ = Marker();
};

// A client's lock on the server, taken with IClassFactory::LockServer(TRUE). It keeps no
// reference to the class object, so that the lock alone holds the module: each call asks
// DllGetClassObject for the class object again, as a client that let it go does.
class ServerLock {
 public:
  explicit ServerLock(GetClassObjectFunction getClassObject)
      : getClassObject_(getClassObject), locked_(Call(TRUE)) {}
  ~ServerLock() { Unlock(); }
  ServerLock(const ServerLock&) = delete;
  ServerLock& operator=(const ServerLock&) = delete;
  // What LockServer(TRUE) returned.
  HRESULT locked() const { return locked_; }
  // Gives the lock back now: what LockServer(FALSE) returned, or S_FALSE without a lock.
  HRESULT Unlock() {
    if (FAILED(locked_)) return S_FALSE;
    locked_ = E_ABORT;
    return Call(FALSE);
  }

 private:
  HRESULT Call(BOOL lock) const {
    fw::ComPtr<IClassFactory> factory;
    const HRESULT got = getClassObject_(CLSID_ImageFileContextMenu, IID_IClassFactory, factory.put_void());
    return FAILED(got) ? got : factory->LockServer(lock);
  }

  GetClassObjectFunction getClassObject_;
  HRESULT locked_;
};

// The server registered through its own export for the life of the owner, unregistered
// when it goes.
class Registration {
 public:
  explicit Registration(HMODULE dll)
      : unregister_(Export(dll, "DllUnregisterServer")), registered_(Call(Export(dll, "DllRegisterServer"))) {}
  ~Registration() { Unregister(); }
  Registration(const Registration&) = delete;
  Registration& operator=(const Registration&) = delete;
  // What DllRegisterServer returned.
  HRESULT registered() const { return registered_; }
  // Unregisters now: what DllUnregisterServer returned, or S_FALSE when nothing was registered.
  HRESULT Unregister() {
    if (FAILED(registered_)) return S_FALSE;
    registered_ = E_ABORT;
    return Call(unregister_);
  }

 private:
  static PlainExport Export(HMODULE dll, const char* name) {
    return reinterpret_cast<PlainExport>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
  }
  static HRESULT Call(PlainExport function) { return function ? function() : E_NOTIMPL; }

  PlainExport unregister_;
  HRESULT registered_;
};

// Lets COM give back, when the owner goes, the modules it loaded for the test and that no
// longer hold anything.
struct FreeUnusedLibrariesOnExit {
  FreeUnusedLibrariesOnExit() = default;
  ~FreeUnusedLibrariesOnExit() { CoFreeUnusedLibraries(); }
  FreeUnusedLibrariesOnExit(const FreeUnusedLibrariesOnExit&) = delete;
  FreeUnusedLibrariesOnExit& operator=(const FreeUnusedLibrariesOnExit&) = delete;
};

using fw::TypeAttributes;

class ComServerTest : public testing::Test {
 protected:
  void SetUp() override {
    dll.reset(LoadLibraryW(testsupport::FramewiseDllPath().c_str()));
    ASSERT_TRUE(dll);
    getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<PlainExport>(reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
  }
  fw::ComPtr<IClassFactory> Factory() {
    fw::ComPtr<IClassFactory> factory;
    EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, factory.put_void()), S_OK);
    return factory;
  }

  // Released after each test's own references, which go with the test body.
  fw::UniqueModule dll;
  GetClassObjectFunction getClassObject = nullptr;
  PlainExport canUnloadNow = nullptr;
};

TEST_F(ComServerTest, OneClassObjectAndUnknownClasses) {
  {
    const fw::ComPtr<IClassFactory> a = Factory();
    const fw::ComPtr<IClassFactory> b = Factory();
    ASSERT_TRUE(a);
    EXPECT_EQ(a.get(), b.get());
  }

  MarkedOut<IUnknown> unknownClass;
  EXPECT_EQ(getClassObject(IID_IContextMenu, IID_IClassFactory, unknownClass.put_void()), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(unknownClass.get(), nullptr);
  EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, nullptr), E_POINTER);
  MarkedOut<IUnknown> otherInterface;
  EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IContextMenu, otherInterface.put_void()), E_NOINTERFACE);
  EXPECT_EQ(otherInterface.get(), nullptr);
}

TEST_F(ComServerTest, HandlerAnswersItsInterfacesWithOneIdentity) {
  const fw::ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  fw::ComPtr<IUnknown> unknown;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, unknown.put_void()), S_OK);
  for (REFIID iid : {IID_IImageFileContextMenu, IID_IDispatch, IID_IShellExtInit, IID_IContextMenu,
                     IID_IContextMenu2, IID_IContextMenu3}) {
    fw::ComPtr<IUnknown> itf;
    ASSERT_EQ(unknown->QueryInterface(iid, itf.put_void()), S_OK);
    fw::ComPtr<IUnknown> identity;
    EXPECT_EQ(itf->QueryInterface(IID_IUnknown, identity.put_void()), S_OK);
    EXPECT_EQ(identity.get(), unknown.get());
  }
  // COM's contract: no place to put the answer is E_POINTER, for every interface.
  EXPECT_EQ(unknown->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
  EXPECT_EQ(unknown->QueryInterface(IID_IContextMenu, nullptr), E_POINTER);
  MarkedOut<IUnknown> none;
  EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, none.put_void()), E_NOINTERFACE);
  EXPECT_EQ(none.get(), nullptr);
  MarkedOut<IUnknown> out;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, out.put_void()), E_NOINTERFACE);
  EXPECT_EQ(out.get(), nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
}

// An outer object that counts the references its inner object hands to it.
struct Outer : IUnknown {
  STDMETHODIMP QueryInterface(REFIID, void** object) override {
    ++queries;
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
  int queries = 0;
};

TEST_F(ComServerTest, AggregationDelegatesToTheOuterObject) {
  fw::ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  // Declared before the references into it, so that it outlives them.
  Outer outer;
  MarkedOut<IUnknown> out;
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, out.put_void()), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out.get(), nullptr);

  fw::ComPtr<IUnknown> inner;  // the outer object's own reference to the handler
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, inner.put_void()), S_OK);
  fw::ComPtr<IContextMenu> menu;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, menu.put_void()), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the interface's reference went to the outer object
  fw::ComPtr<IUnknown> viaMenu;
  menu->QueryInterface(IID_IUnknown, viaMenu.put_void());
  EXPECT_EQ(outer.queries, 1);  // IUnknown through an interface asks the outer object
  menu.reset();  // its Release goes to the outer object too
  EXPECT_EQ(outer.refs, 1u);
  factory.reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  inner.reset();  // the outer object's own reference: the handler goes
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ComServerTest, UnloadOnlyWhenNothingIsHeld) {
  EXPECT_EQ(canUnloadNow(), S_OK);
  // A client's references, the one it was given and one it adds, hold the module until
  // the last goes.
  IUnknown* raw = nullptr;
  ASSERT_EQ(
      getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, reinterpret_cast<void**>(&raw)),
      S_OK);
  ASSERT_NE(raw, nullptr);
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  raw->AddRef();
  raw->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  raw->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);

  fw::ComPtr<IClassFactory> factory = Factory();
  ASSERT_TRUE(factory);
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // a client holds the class object
  fw::ComPtr<IUnknown> a;
  fw::ComPtr<IUnknown> b;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, a.put_void()), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, b.put_void()), S_OK);
  factory.reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  a.reset();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  b.reset();
  EXPECT_EQ(canUnloadNow(), S_OK);  // the cached class object alone keeps nothing

  ServerLock lock(getClassObject);
  EXPECT_EQ(lock.locked(), S_OK);
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // the lock alone, without a reference, holds the module
  EXPECT_EQ(lock.Unlock(), S_OK);
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ComServerTest, RegisteredClassThroughComWithTypeInformation) {
  // First in, last out: COM frees the module it loaded once everything below is given back.
  const FreeUnusedLibrariesOnExit freeLibraries;
  Registration registration(dll.get());
  ASSERT_EQ(registration.registered(), S_OK);
  {
    {
      fw::ComPtr<IClassFactory> viaCom;
      ASSERT_EQ(CoGetClassObject(CLSID_ImageFileContextMenu, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                 viaCom.put_void()),
                S_OK);
      const fw::ComPtr<IClassFactory> direct = Factory();
      EXPECT_EQ(viaCom.get(), direct.get());  // the same module and the same cached object
    }

    fw::ComPtr<IDispatch> dispatch;
    ASSERT_EQ(CoCreateInstance(CLSID_ImageFileContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               dispatch.put_void()),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(dispatch->GetTypeInfoCount(nullptr), E_POINTER);
    fw::ComPtr<ITypeInfo> info;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), S_OK);
    const TypeAttributes attr(info);
    ASSERT_EQ(attr.result(), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IImageFileContextMenu));
    MarkedOut<ITypeInfo> none;
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, none.put()), DISP_E_BADINDEX);
  }
  EXPECT_EQ(registration.Unregister(), S_OK);
  fw::ComPtr<IUnknown> gone;
  EXPECT_EQ(CoCreateInstance(CLSID_ImageFileContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             gone.put_void()),
            REGDB_E_CLASSNOTREG);
}

HRESULT WINAPI UnregisteredTypeLib(REFGUID, WORD, WORD, LCID, ITypeLib** library) {
  *library = nullptr;
  return TYPE_E_LIBNOTREGISTERED;
}

// Without its type library registered the handler cannot describe itself: it says why, and
// hands out nothing.
TEST(HandlerDispatch, NoTypeLibraryNoTypeInformation) {
  testsupport::ImportPatch unregistered("oleaut32.dll", "LoadRegTypeLib",
                                        reinterpret_cast<void*>(&UnregisteredTypeLib));
  ASSERT_NE(unregistered.real(), nullptr);
  testsupport::Handler h;
  fw::ComPtr<IDispatch> dispatch;
  ASSERT_EQ(h.init.As(&dispatch), S_OK);
  MarkedOut<ITypeInfo> info;
  EXPECT_EQ(dispatch->GetTypeInfo(0, 0, info.put()), TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(info.get(), nullptr);
  // Nor can it be called by name or number: each says the same why.
  LPOLESTR name = const_cast<LPOLESTR>(L"Anything");
  DISPID id = 12345;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, &name, 1, 0, &id), TYPE_E_LIBNOTREGISTERED);
  DISPPARAMS none = {};
  VARIANT result;
  VariantInit(&result);
  EXPECT_EQ(dispatch->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            TYPE_E_LIBNOTREGISTERED);
  EXPECT_EQ(result.vt, VT_EMPTY);
}

// An apartment owner leaves COM as it found it: entered and left again, or, when the
// thread is already in the other kind of apartment, neither.
// The DLL loaded, used for a right-click and let go, again and again, as a shell that frees
// its handlers does: each unload gives back what the entry drew (its menu bitmap) and the
// handles the product held. A copy of its own, so that no other holder keeps it loaded.
TEST(DllLifetime, EachUnloadGivesBackWhatTheEntryMade) {
  fw::ComApartment apartment;
  testsupport::TempDir dir;
  const std::wstring copy = dir.File(L"FramewiseLifetime.dll");
  ASSERT_TRUE(CopyFileW(testsupport::FramewiseDllPath().c_str(), copy.c_str(), FALSE));
  const std::wstring picture = dir.File(L"wide.jpg");
  ASSERT_TRUE(testsupport::WritePicture(picture, 1600, 800));
  auto rightClick = [&]() {
    fw::UniqueModule dll(LoadLibraryW(copy.c_str()));
    ASSERT_TRUE(dll);
    const auto getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll.get(), "DllGetClassObject")));
    ASSERT_NE(getClassObject, nullptr);
    {
      fw::ComPtr<IClassFactory> factory;
      ASSERT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, factory.put_void()),
                S_OK);
      fw::ComPtr<IShellExtInit> init;
      ASSERT_EQ(factory->CreateInstance(nullptr, IID_IShellExtInit, init.put_void()), S_OK);
      const fw::ComPtr<IDataObject> data = testsupport::ShellDataObject({picture});
      ASSERT_EQ(init->Initialize(nullptr, data.get(), nullptr), S_OK);
      fw::ComPtr<IContextMenu> menu;
      ASSERT_EQ(init.As(&menu), S_OK);
      fw::UniqueMenu popup(CreatePopupMenu());
      EXPECT_TRUE(SUCCEEDED(menu->QueryContextMenu(popup.get(), 0, 100, 400, CMF_NORMAL)));
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_CHECKMARKS;
      ASSERT_TRUE(GetMenuItemInfoW(popup.get(), 0, TRUE, &info));
      EXPECT_NE(info.hbmpUnchecked, nullptr) << "the entry shows its bitmap";
    }
  };
  rightClick();  // what the system loads once for the first load stays
  const testsupport::ResourceCounts before = testsupport::CurrentResourceCounts();
  constexpr int kCycles = 5;
  for (int i = 0; i < kCycles; ++i) rightClick();
  const testsupport::ResourceCounts after = testsupport::CurrentResourceCounts();
  // The thread runtime this toolchain links into the DLL keeps, per loaded instance, a
  // record of the loading thread (a thread handle and an event) and two lock semaphores,
  // which no unload gives back (measured under Wine: a plain DLL loaded and freed keeps
  // none). Anything beyond those four is the product's.
  testsupport::ExpectCountsKept(before, after, 0, 4 * kCycles);
}

// Without memory for an object, every creation says so and hands out nothing; with it,
// each is made.
TEST(OutOfMemory, EveryCreationSaysSoAndHandsOutNothing) {
  using namespace framewise;
  {
    testsupport::RefusedAllocations refused(1);
    IUnknown* factory = nullptr;
    EXPECT_EQ(CreateClassObject(&CreateImageFileContextMenu, &factory), E_OUTOFMEMORY);
    EXPECT_EQ(factory, nullptr);
    void* handler = nullptr;
    EXPECT_EQ(CreateImageFileContextMenu(nullptr, IID_IUnknown, &handler), E_OUTOFMEMORY);
    EXPECT_EQ(handler, nullptr);
    void* command = nullptr;
    EXPECT_EQ(CreateExplorerCommand(nullptr, IID_IExplorerCommand, &command), E_OUTOFMEMORY);
    EXPECT_EQ(command, nullptr);
    EXPECT_FALSE(CreateImageFixer(1));
    EXPECT_FALSE(CreateImageFixer(7));
    EXPECT_EQ(refused.refused(), 5u);
  }
  IUnknown* factory = nullptr;
  ASSERT_EQ(CreateClassObject(&CreateImageFileContextMenu, &factory), S_OK);
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(factory->Release(), 0u);
  fw::ComPtr<IUnknown> handler;
  EXPECT_EQ(CreateImageFileContextMenu(nullptr, IID_IUnknown, handler.put_void()), S_OK);
  fw::ComPtr<IExplorerCommand> command;
  EXPECT_EQ(CreateExplorerCommand(nullptr, IID_IExplorerCommand, command.put_void()), S_OK);
  EXPECT_TRUE(CreateImageFixer(1) && CreateImageFixer(7));
}

// Without memory for a string or a list, every call a host makes says so (E_OUTOFMEMORY):
// nothing is thrown into the host, and no success is claimed for work not done.
TEST(OutOfMemory, EveryCallOfAHostSaysSo) {
  using namespace framewise;
  testsupport::TempDir dir;
  const std::wstring picture = dir.File(L"p300x200.png");
  ASSERT_TRUE(testsupport::WritePicture(picture, 300, 200, L"image/png"));
  const fw::ComPtr<IDataObject> selection = testsupport::ShellDataObject({picture});
  ASSERT_TRUE(selection);
  testsupport::Handler h;
  ASSERT_TRUE(h.menu);
  fw::UniqueMenu menu(CreatePopupMenu());
  ASSERT_TRUE(menu);
  const fw::ComPtr<IExplorerCommand> command = [] {
    fw::ComPtr<IExplorerCommand> made;
    EXPECT_EQ(CreateExplorerCommand(nullptr, IID_IExplorerCommand, made.put_void()), S_OK);
    return made;
  }();
  ASSERT_TRUE(command);
  const HMODULE module = GetModuleHandleW(nullptr);

  // One call with every allocation refused.
  auto refusing = [](auto call) {
    testsupport::RefusedAllocations refused(1, testsupport::RefusedAllocations::Every);
    return call();
  };
  EXPECT_EQ(refusing([&] { return h.init->Initialize(nullptr, selection.get(), nullptr); }),
            E_OUTOFMEMORY);
  ASSERT_EQ(h.init->Initialize(nullptr, selection.get(), nullptr), S_OK);
  EXPECT_EQ(refusing([&] { return h.menu->QueryContextMenu(menu.get(), 0, 100, 400, CMF_NORMAL); }),
            E_OUTOFMEMORY);
  EXPECT_EQ(GetMenuItemCount(menu.get()), 0);
  ASSERT_TRUE(SUCCEEDED(h.menu->QueryContextMenu(menu.get(), 0, 100, 400, CMF_NORMAL)));
  char help[256] = {};
  EXPECT_EQ(
      refusing([&] { return h.menu->GetCommandString(10, GCS_HELPTEXTA, nullptr, help, 256); }),
      E_OUTOFMEMORY);
  const HMENU popup = GetSubMenu(menu.get(), 0);
  ASSERT_NE(popup, nullptr);
  LRESULT result = 0;
  EXPECT_EQ(refusing([&] {
              return h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0,
                                            &result);
            }),
            E_OUTOFMEMORY);
  LPWSTR title = nullptr;
  EXPECT_EQ(refusing([&] { return command->GetTitle(nullptr, &title); }), E_OUTOFMEMORY);
  EXPECT_EQ(title, nullptr);
  EXPECT_EQ(refusing([&] { return RegisterServer(module); }), E_OUTOFMEMORY);
  EXPECT_EQ(refusing([&] { return UnregisterServer(module); }), E_OUTOFMEMORY);
  EXPECT_EQ(refusing([&] { return RegisterServerForUser(module); }), E_OUTOFMEMORY);
  EXPECT_EQ(refusing([&] { return UnregisterServerForUser(module); }), E_OUTOFMEMORY);
}

TEST(ComApartmentTest, LeavesOnlyAnApartmentItEntered) {
  std::thread([] {
    {
      fw::ComApartment entered;
      EXPECT_TRUE(entered);
    }
    // Left again: entering now is the first entry.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    {
      fw::ComApartment refused;
      EXPECT_FALSE(refused);
      EXPECT_EQ(refused.result(), RPC_E_CHANGED_MODE);
    }
    // The thread's own entry still holds: another one is counted, not the first.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_FALSE);
    CoUninitialize();
    CoUninitialize();
  }).join();
}

}  // namespace
