#include "tests/support/active_desktop_stand_in.h"

#include <wininet.h>
#include <shlobj.h>
#include <shlguid.h>

#include "tests/support/stand_in_factory.h"

namespace standin {

namespace {

ActiveDesktopRecord g_record;

class StandInDesktop final : public IActiveDesktop {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IActiveDesktop)) {
      *object = static_cast<IActiveDesktop*>(this);
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
  STDMETHODIMP ApplyChanges(DWORD flags) override {
    ++g_record.applyCalls;
    g_record.applyFlags = flags;
    if (g_record.failingCall == 3) return g_record.failure;
    if (g_record.applyToSystem) {
      SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(g_record.wallpaper.c_str()),
                            SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    }
    return g_record.success;
  }
  STDMETHODIMP SetWallpaper(PCWSTR path, DWORD) override {
    ++g_record.setWallpaperCalls;
    g_record.wallpaper = path ? path : L"";
    return g_record.failingCall == 1 ? g_record.failure : g_record.success;
  }
  STDMETHODIMP SetWallpaperOptions(LPCWALLPAPEROPT options, DWORD) override {
    ++g_record.setOptionsCalls;
    if (options) {
      g_record.optionsSize = options->dwSize;
      g_record.style = options->dwStyle;
    }
    return g_record.failingCall == 2 ? g_record.failure : g_record.success;
  }
  STDMETHODIMP GetWallpaper(PWSTR, UINT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetWallpaperOptions(LPWALLPAPEROPT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetPattern(PWSTR, UINT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetPattern(PCWSTR, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDesktopItemOptions(LPCOMPONENTSOPT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP SetDesktopItemOptions(LPCCOMPONENTSOPT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP AddDesktopItem(LPCCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP AddDesktopItemWithUI(HWND, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP ModifyDesktopItem(LPCCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP RemoveDesktopItem(LPCCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDesktopItemCount(int*, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDesktopItem(int, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDesktopItemByID(ULONG_PTR, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GenerateDesktopItemHtml(PCWSTR, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP AddUrl(HWND, PCWSTR, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP GetDesktopItemBySource(PCWSTR, LPCOMPONENT, DWORD) override { return E_NOTIMPL; }

 private:
  ~StandInDesktop() = default;
  volatile LONG refs_ = 1;
};

StandInFactory<StandInDesktop> g_factory;

}  // namespace

ActiveDesktopStandIn::ActiveDesktopStandIn() {
  g_record = ActiveDesktopRecord();
  if (FAILED(CoRegisterClassObject(CLSID_ActiveDesktop, &g_factory, CLSCTX_INPROC_SERVER,
                                   REGCLS_MULTIPLEUSE, &cookie_))) {
    cookie_ = 0;
  }
}

ActiveDesktopStandIn::~ActiveDesktopStandIn() {
  if (cookie_) CoRevokeClassObject(cookie_);
}

ActiveDesktopRecord& ActiveDesktopStandIn::record() { return g_record; }

}  // namespace standin
