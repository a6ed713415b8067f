// The shell's per-monitor wallpaper interface (Windows 8 and later), declared here for
// builds that target Windows 7, whose headers leave it out; the product creates it only
// where it exists. The SDK's own declaration is used when the build sees it.
#pragma once

#include <windows.h>
#include <shobjidl.h>

#ifndef __IDesktopWallpaper_INTERFACE_DEFINED__
#define __IDesktopWallpaper_INTERFACE_DEFINED__

enum DESKTOP_SLIDESHOW_OPTIONS { DSO_SHUFFLEIMAGES = 0x1 };
enum DESKTOP_SLIDESHOW_STATE { DSS_ENABLED = 0x1, DSS_SLIDESHOW = 0x2, DSS_DISABLED_BY_REMOTE_SESSION = 0x4 };
enum DESKTOP_SLIDESHOW_DIRECTION { DSD_FORWARD = 0, DSD_BACKWARD = 1 };
enum DESKTOP_WALLPAPER_POSITION {
  DWPOS_CENTER = 0,
  DWPOS_TILE = 1,
  DWPOS_STRETCH = 2,
  DWPOS_FIT = 3,
  DWPOS_FILL = 4,
  DWPOS_SPAN = 5
};

struct IDesktopWallpaper : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE SetWallpaper(LPCWSTR monitorId, LPCWSTR wallpaper) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetWallpaper(LPCWSTR monitorId, LPWSTR* wallpaper) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMonitorDevicePathAt(UINT index, LPWSTR* monitorId) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMonitorDevicePathCount(UINT* count) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetMonitorRECT(LPCWSTR monitorId, RECT* displayRect) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetBackgroundColor(COLORREF color) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetBackgroundColor(COLORREF* color) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetPosition(DESKTOP_WALLPAPER_POSITION position) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetPosition(DESKTOP_WALLPAPER_POSITION* position) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlideshow(IShellItemArray* items) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlideshow(IShellItemArray** items) = 0;
  virtual HRESULT STDMETHODCALLTYPE SetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS options, UINT tick) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetSlideshowOptions(DESKTOP_SLIDESHOW_OPTIONS* options, UINT* tick) = 0;
  virtual HRESULT STDMETHODCALLTYPE AdvanceSlideshow(LPCWSTR monitorId, DESKTOP_SLIDESHOW_DIRECTION direction) = 0;
  virtual HRESULT STDMETHODCALLTYPE GetStatus(DESKTOP_SLIDESHOW_STATE* state) = 0;
  virtual HRESULT STDMETHODCALLTYPE Enable(BOOL enable) = 0;
};

#endif
