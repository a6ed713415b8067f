#include "fitting/portable/monitor_fit.h"

namespace framewise {

int MonitorFitMode(int mode, PictureShape shapeOnMonitor, bool proportionsOfPrimary) {
  switch (mode) {
    case FitModeTop:
    case FitModeBottom:
      return shapeOnMonitor == TallerThanScreen ? mode : FitModeMiddle;
    case FitModeLeft:
    case FitModeRight:
      return shapeOnMonitor == WiderThanScreen ? mode : FitModeMiddle;
    case FitModeExact:
      return proportionsOfPrimary ? mode : FitModeMiddle;
    default:
      return mode;
  }
}

std::wstring MonitorWallpaperName(const std::wstring& monitorId) {
  // 64-bit FNV-1a over the identity's UTF-16 units: stable across runs and builds.
  uint64_t hash = 14695981039346656037ull;
  for (wchar_t unit : monitorId) {
    const uint32_t value = static_cast<uint32_t>(unit) & 0xFFFFu;
    for (int shift = 0; shift < 16; shift += 8) {
      hash ^= (value >> shift) & 0xFFu;
      hash *= 1099511628211ull;
    }
  }
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring name = L"Desktop Background ";
  for (int shift = 60; shift >= 0; shift -= 4) name += kDigits[(hash >> shift) & 0xF];
  return name + L".jpg";
}

}  // namespace framewise
