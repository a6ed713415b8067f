#include "tests/support/active_desktop_stand_in.h"

#include <wininet.h>
#include <shlobj.h>
#include <shlguid.h>

#include "tests/support/stand_in_factory.h"

namespace standin {

namespace {

ActiveDesktopRecord g_record;

class StandInDesktop final : public StandInObject<IActiveDesktop> {
 public:
  StandInDesktop() : StandInObject(IID_IActiveDesktop) {}
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

};

StandInFactory<StandInDesktop> g_factory;

}  // namespace

ActiveDesktopStandIn::ActiveDesktopStandIn() {
  g_record = ActiveDesktopRecord();
  registration_.Register(CLSID_ActiveDesktop, &g_factory);
}

ActiveDesktopRecord& ActiveDesktopStandIn::record() { return g_record; }

}  // namespace standin
