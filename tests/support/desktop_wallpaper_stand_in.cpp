#include "tests/support/desktop_wallpaper_stand_in.h"

#include <objbase.h>

#include "fitting/monitor_wallpapers.h"

#include "tests/support/stand_in_factory.h"

// The platform's library defines the interface's identity; its headers declare it only for
// systems newer than the ones this program is built for.
extern "C" const IID IID_IDesktopWallpaper;

namespace standin {

namespace {

DesktopWallpaperRecord g_record;

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT area, LPARAM) {
  MONITORINFOEXW info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  g_record.monitors.push_back({std::wstring(L"\\\\?\\DISPLAY#STANDIN#") + info.szDevice, *area});
  return TRUE;
}

const StandInMonitor* Find(LPCWSTR id) {
  for (const StandInMonitor& m : g_record.monitors) {
    if (id && m.id == id) return &m;
  }
  return nullptr;
}

class StandInWallpaper final : public StandInObject<IDesktopWallpaper> {
 public:
  StandInWallpaper() : StandInObject(IID_IDesktopWallpaper) {}
  STDMETHODIMP SetWallpaper(LPCWSTR id, LPCWSTR path) override {
    const StandInMonitor* m = Find(id);
    if (!m || !path) return E_INVALIDARG;
    if (g_record.failingMonitor == id) return E_FAIL;
    g_record.wallpapers[id] = path;
    g_record.order.push_back(id);
    if (g_record.applyToSystem && m->area.left == 0 && m->area.top == 0) {
      SystemParametersInfoW(SPI_SETDESKWALLPAPER, 0, const_cast<wchar_t*>(path),
                            SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
    }
    return S_OK;
  }
  STDMETHODIMP GetWallpaper(LPCWSTR, LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP GetMonitorDevicePathAt(UINT index, LPWSTR* id) override {
    if (!id) return E_POINTER;
    *id = nullptr;
    if (index >= g_record.monitors.size()) return E_INVALIDARG;
    const std::wstring& text = g_record.monitors[index].id;
    *id = static_cast<LPWSTR>(CoTaskMemAlloc((text.size() + 1) * sizeof(wchar_t)));
    if (!*id) return E_OUTOFMEMORY;
    lstrcpyW(*id, text.c_str());
    return S_OK;
  }
  STDMETHODIMP GetMonitorDevicePathCount(UINT* count) override {
    *count = static_cast<UINT>(g_record.monitors.size());
    return S_OK;
  }
  STDMETHODIMP GetMonitorRECT(LPCWSTR id, RECT* area) override {
    const StandInMonitor* m = Find(id);
    if (!m) return E_INVALIDARG;
    *area = m->area;
    return S_OK;
  }
  STDMETHODIMP SetBackgroundColor(COLORREF) override { return E_NOTIMPL; }
  STDMETHODIMP GetBackgroundColor(COLORREF*) override { return E_NOTIMPL; }
  STDMETHODIMP SetPosition(DESKTOP_WALLPAPER_POSITION position) override {
    ++g_record.setPositionCalls;
    g_record.position = position;
    return S_OK;
  }
  // The desktop's position once one is given (by a test or a SetPosition); none before.
  STDMETHODIMP GetPosition(DESKTOP_WALLPAPER_POSITION* position) override {
    if (g_record.position < 0) return E_NOTIMPL;
    *position = static_cast<DESKTOP_WALLPAPER_POSITION>(g_record.position);
    return S_OK;
  }
  STDMETHODIMP SetSlideshow(IShellItemArray*) override { return E_NOTIMPL; }
  STDMETHODIMP GetSlideshow(IShellItemArray**) override { return E_NOTIMPL; }
  STDMETHODIMP SetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS, UINT) override { return E_NOTIMPL; }
  STDMETHODIMP GetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS*, UINT*) override { return E_NOTIMPL; }
  STDMETHODIMP AdvanceSlideshow(LPCWSTR, DESKTOP_SLIDESHOW_DIRECTION) override { return E_NOTIMPL; }
  STDMETHODIMP GetStatus(DESKTOP_SLIDESHOW_STATE*) override { return E_NOTIMPL; }
  STDMETHODIMP Enable(BOOL) override { return E_NOTIMPL; }

};

StandInFactory<StandInWallpaper> g_factory;

}  // namespace

DesktopWallpaperStandIn::DesktopWallpaperStandIn() {
  g_record = DesktopWallpaperRecord();
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, 0);
  // The shell's own identities, from the platform's headers, not the product's copies.
  registration_.Register(CLSID_DesktopWallpaper, &g_factory);
}

DesktopWallpaperRecord& DesktopWallpaperStandIn::record() { return g_record; }

}  // namespace standin
