// The DLL as a COM server, through its exports and through COM on the registered class:
// the one class object, aggregation, unload rules, and IDispatch from the type library.
#include <windows.h>
#include <oaidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "shellext/guids.h"
#include "test_support.h"

using framewise::CLSID_ImageFileContextMenu;
using framewise::IID_IImageFileContextMenu;

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
using PlainExport = HRESULT(WINAPI*)();

class ComServerTest : public testing::Test {
 protected:
  void SetUp() override {
    dll = LoadLibraryW(testsupport::FramewiseDllPath().c_str());
    ASSERT_NE(dll, nullptr);
    getClassObject = reinterpret_cast<GetClassObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    canUnloadNow = reinterpret_cast<PlainExport>(reinterpret_cast<void*>(GetProcAddress(dll, "DllCanUnloadNow")));
    ASSERT_NE(getClassObject, nullptr);
    ASSERT_NE(canUnloadNow, nullptr);
  }
  void TearDown() override {
    if (dll) FreeLibrary(dll);
  }
  IClassFactory* Factory() {
    IClassFactory* factory = nullptr;
    EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    return factory;
  }

  HMODULE dll = nullptr;
  GetClassObjectFunction getClassObject = nullptr;
  PlainExport canUnloadNow = nullptr;
};

TEST_F(ComServerTest, OneClassObjectAndUnknownClasses) {
  IClassFactory* a = Factory();
  IClassFactory* b = Factory();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  b->Release();
  a->Release();

  void* object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(getClassObject(IID_IContextMenu, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IClassFactory, nullptr), E_POINTER);
  object = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(getClassObject(CLSID_ImageFileContextMenu, IID_IContextMenu, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
}

TEST_F(ComServerTest, HandlerAnswersItsInterfacesWithOneIdentity) {
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  IUnknown* unknown = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
  for (REFIID iid : {IID_IImageFileContextMenu, IID_IDispatch, IID_IShellExtInit, IID_IContextMenu,
                     IID_IContextMenu2, IID_IContextMenu3}) {
    IUnknown* itf = nullptr;
    ASSERT_EQ(unknown->QueryInterface(iid, reinterpret_cast<void**>(&itf)), S_OK);
    IUnknown* identity = nullptr;
    itf->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity));
    EXPECT_EQ(identity, unknown);
    identity->Release();
    itf->Release();
  }
  IUnknown* none = reinterpret_cast<IUnknown*>(0xdeadbeef);
  EXPECT_EQ(unknown->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&none)), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  void* out = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &out), E_NOINTERFACE);
  EXPECT_EQ(out, nullptr);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, nullptr), E_POINTER);
  unknown->Release();
  factory->Release();
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
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  Outer outer;
  void* out = reinterpret_cast<void*>(0xdeadbeef);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IContextMenu, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  IUnknown* inner = nullptr;
  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
  IContextMenu* menu = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu)), S_OK);
  EXPECT_EQ(outer.refs, 2u);  // the interface's reference went to the outer object
  IUnknown* viaMenu = nullptr;
  menu->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&viaMenu));
  EXPECT_EQ(outer.queries, 1);  // IUnknown through an interface asks the outer object
  menu->Release();
  EXPECT_EQ(outer.refs, 1u);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  inner->Release();  // the outer object's own reference: the handler goes
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ComServerTest, UnloadOnlyWhenNothingIsHeld) {
  EXPECT_EQ(canUnloadNow(), S_OK);
  IClassFactory* factory = Factory();
  ASSERT_NE(factory, nullptr);
  EXPECT_EQ(canUnloadNow(), S_FALSE);  // a client holds the class object
  IUnknown* a = nullptr;
  IUnknown* b = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&a)), S_OK);
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&b)), S_OK);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  a->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  b->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);  // the cached class object alone keeps nothing

  factory = Factory();
  EXPECT_EQ(factory->LockServer(TRUE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_FALSE);
  factory = Factory();
  EXPECT_EQ(factory->LockServer(FALSE), S_OK);
  factory->Release();
  EXPECT_EQ(canUnloadNow(), S_OK);
}

TEST_F(ComServerTest, RegisteredClassThroughComWithTypeInformation) {
  auto registerServer = reinterpret_cast<PlainExport>(reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")));
  auto unregisterServer =
      reinterpret_cast<PlainExport>(reinterpret_cast<void*>(GetProcAddress(dll, "DllUnregisterServer")));
  ASSERT_EQ(registerServer(), S_OK);
  {
    IClassFactory* viaCom = nullptr;
    ASSERT_EQ(CoGetClassObject(CLSID_ImageFileContextMenu, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                               reinterpret_cast<void**>(&viaCom)),
              S_OK);
    IClassFactory* direct = Factory();
    EXPECT_EQ(viaCom, direct);  // the same module and the same cached object
    direct->Release();
    viaCom->Release();

    IDispatch* dispatch = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_ImageFileContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(&dispatch)),
              S_OK);
    UINT count = 0;
    EXPECT_EQ(dispatch->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    ITypeInfo* info = nullptr;
    ASSERT_EQ(dispatch->GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_TRUE(IsEqualGUID(attr->guid, IID_IImageFileContextMenu));
    info->ReleaseTypeAttr(attr);
    info->Release();
    ITypeInfo* none = reinterpret_cast<ITypeInfo*>(0xdeadbeef);
    EXPECT_EQ(dispatch->GetTypeInfo(1, 0, &none), DISP_E_BADINDEX);
    dispatch->Release();
  }
  EXPECT_EQ(unregisterServer(), S_OK);
  IUnknown* gone = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ImageFileContextMenu, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             reinterpret_cast<void**>(&gone)),
            REGDB_E_CLASSNOTREG);
  CoFreeUnusedLibraries();
}

}  // namespace
