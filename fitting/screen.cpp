#include "fitting/screen.h"

#include <windows.h>

namespace framewise {

bool GetScreenRects(ScreenRect* workArea, ScreenRect* monitorArea) {
  HMONITOR monitor = MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info = {};
  info.cbSize = sizeof(MONITORINFO);  // 40 bytes: the plain form, no device name
  if (!GetMonitorInfoW(monitor, &info)) return false;
  *workArea = ScreenRect{info.rcWork.left, info.rcWork.top, info.rcWork.right - info.rcWork.left,
                         info.rcWork.bottom - info.rcWork.top};
  *monitorArea = ScreenRect{info.rcMonitor.left, info.rcMonitor.top,
                            info.rcMonitor.right - info.rcMonitor.left,
                            info.rcMonitor.bottom - info.rcMonitor.top};
  return true;
}

bool GetScreenAspect(double* aspect) {
  ScreenRect work, monitor;
  if (!GetScreenRects(&work, &monitor)) return false;
  *aspect = AspectOf(work);
  return true;
}

void LimitPreviewSize(float* width, float* height, float dpiX, float aspect) {
  *width = 0;
  ScreenRect work, monitor;
  if (!GetScreenRects(&work, &monitor)) return;
  LimitPreviewSizeFor(width, height, dpiX, aspect);
}

uint32_t DesktopColorArgb() {
  const COLORREF c = GetSysColor(COLOR_BACKGROUND);
  return 0xFF000000u | (static_cast<uint32_t>(GetRValue(c)) << 16) |
         (static_cast<uint32_t>(GetGValue(c)) << 8) | GetBValue(c);
}

}  // namespace framewise
