#include "fitting/monitor_wallpapers.h"

#include <cmath>
#include <memory>

#include "fitting/image_fixer.h"
#include "fitting/portable/monitor_fit.h"
#include "fitting/wallpaper_output.h"
#include "framework/task_memory.h"
#include "settings/portable/settings_values.h"
#include "settings/settings_file.h"
#include "settings/version.h"

namespace framewise {

// {C2CF3110-460E-4FC1-B9D0-8A1C0C9CC4BD}
const CLSID kClsidDesktopWallpaper = {
    0xc2cf3110, 0x460e, 0x4fc1, {0xb9, 0xd0, 0x8a, 0x1c, 0x0c, 0x9c, 0xc4, 0xbd}};
// {B92B56A9-8B55-4E14-9A89-0199BBB6F93B}
const IID kIidDesktopWallpaper = {
    0xb92b56a9, 0x8b55, 0x4e14, {0x9a, 0x89, 0x01, 0x99, 0xbb, 0xb6, 0xf9, 0x3b}};

namespace {

ScreenRect FromRect(const RECT& r) {
  return ScreenRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

}  // namespace

namespace {

BOOL CALLBACK CountMonitor(HMONITOR, HDC, LPRECT, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

}  // namespace

bool MonitorWallpapers::Find() {
  monitors_.clear();
  // One monitor needs no object: the menu opens as cheaply as ever.
  int attached = 0;
  if (!EnumDisplayMonitors(nullptr, nullptr, CountMonitor, reinterpret_cast<LPARAM>(&attached)) ||
      attached < 2) {
    return false;
  }
  if (FAILED(CoCreateInstance(kClsidDesktopWallpaper, nullptr, CLSCTX_ALL, kIidDesktopWallpaper,
                              desktop_.put_void()))) {
    return false;
  }
  UINT count = 0;
  if (FAILED(desktop_->GetMonitorDevicePathCount(&count)) || count < 2) return false;
  int primaries = 0;
  for (UINT i = 0; i < count; ++i) {
    fw::TaskMemory<wchar_t> id;
    RECT area = {};
    if (FAILED(desktop_->GetMonitorDevicePathAt(i, id.put())) || !id) return false;
    // A path the shell remembers for a monitor that is not attached has no rectangle.
    if (desktop_->GetMonitorRECT(id.get(), &area) != S_OK || IsRectEmpty(&area)) continue;
    HMONITOR handle = MonitorFromRect(&area, MONITOR_DEFAULTTONULL);
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!handle || !GetMonitorInfoW(handle, &info)) return false;
    MonitorTarget target;
    target.id = id.get();
    target.monitor = FromRect(area);
    target.work = FromRect(info.rcWork);
    target.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
    primaries += target.primary ? 1 : 0;
    monitors_.push_back(std::move(target));
  }
  return monitors_.size() >= 2 && primaries == 1;
}

bool MonitorWallpapers::Make(GpImage* picture, int mode, const RowConverter* convert) {
  wallpapers_.clear();
  UINT width = 0, height = 0;
  if (!GetPictureSize(picture, &width, &height) || width == 0 || height == 0) return false;
  const float pictureAspect =
      static_cast<float>(static_cast<double>(width) / static_cast<double>(height));
  const MonitorTarget* primary = nullptr;
  for (const MonitorTarget& m : monitors_) primary = m.primary ? &m : primary;
  if (!primary) return false;
  const double primaryAspect = AspectOf(primary->work);

  for (const MonitorTarget& m : monitors_) {
    const double aspect = AspectOf(m.work);
    const int monitorMode =
        m.primary ? mode
                  : MonitorFitMode(mode, ClassifyPicture(pictureAspect, aspect),
                                   std::fabs(aspect - primaryAspect) < 0.01);
    if (!AddFitted(picture, monitorMode, m, convert)) return false;
  }
  return true;
}

bool MonitorWallpapers::AddFitted(GpImage* picture, int mode, const MonitorTarget& m,
                                  const RowConverter* convert) {
  std::unique_ptr<ImageFixer> fixer = CreateImageFixer(mode);
  if (fixer) fixer->SetColourConversion(convert);
  fw::GpBitmapOwner wallpaper;
  if (!fixer || !fixer->MakeWallpaperFor(picture, m.work, m.monitor, &wallpaper)) return false;
  if (IsPrereleaseBuild()) {
    if (!DrawBetaNoticeIn(wallpaper.get(), WithinMonitor(m.work, m.monitor))) return false;
  }
  wallpapers_.push_back(std::move(wallpaper));
  return true;
}

bool MonitorWallpapers::Layout(PhysicalDesktop* desktop) const {
  std::vector<DesktopMonitor> input;
  for (const MonitorTarget& m : monitors_) {
    DesktopMonitor d;
    d.id = m.id;
    d.area = RECT{m.monitor.x, m.monitor.y, m.monitor.x + m.monitor.width,
                  m.monitor.y + m.monitor.height};
    d.primary = m.primary;
    input.push_back(std::move(d));
  }
  return GetPhysicalDesktop(input, desktop);
}

int MonitorWallpapers::MenuMonitor(HWND window) const {
  HMONITOR handle = window ? MonitorFromWindow(window, MONITOR_DEFAULTTONULL) : nullptr;
  POINT cursor = {};
  if (!handle && GetCursorPos(&cursor)) handle = MonitorFromPoint(cursor, MONITOR_DEFAULTTONULL);
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (handle && GetMonitorInfoW(handle, &info)) {
    for (size_t i = 0; i < monitors_.size(); ++i) {
      const ScreenRect& r = monitors_[i].monitor;
      if (r.x == info.rcMonitor.left && r.y == info.rcMonitor.top &&
          r.width == info.rcMonitor.right - info.rcMonitor.left &&
          r.height == info.rcMonitor.bottom - info.rcMonitor.top) {
        return static_cast<int>(i);
      }
    }
  }
  for (size_t i = 0; i < monitors_.size(); ++i) {
    if (monitors_[i].primary) return static_cast<int>(i);
  }
  return -1;
}

bool MonitorWallpapers::MakeSpan(GpImage* picture, int mode, const RowConverter* convert) {
  wallpapers_.clear();
  UINT width = 0, height = 0;
  PhysicalDesktop desktop;
  std::vector<MonitorCut> cuts;
  if (!GetPictureSize(picture, &width, &height) || !Layout(&desktop) ||
      !ComputeSpanCut(width, height, desktop.layout, mode, &cuts) ||
      cuts.size() != monitors_.size()) {
    return false;
  }
  for (size_t i = 0; i < monitors_.size(); ++i) {
    const MonitorTarget& m = monitors_[i];
    const CutRect& from = cuts[i].source;
    const CutRect& to = cuts[i].covered;
    fw::GpBitmapOwner wallpaper;
    if (!ImageFixer::MakeSpanPart(picture, SourceArea{from.x, from.y, from.width, from.height},
                                  SourceArea{to.x, to.y, to.width, to.height}, m.monitor.width,
                                  m.monitor.height, convert, &wallpaper)) {
      return false;
    }
    if (IsPrereleaseBuild()) {
      if (!DrawBetaNoticeIn(wallpaper.get(), WithinMonitor(m.work, m.monitor))) return false;
    }
    wallpapers_.push_back(std::move(wallpaper));
  }
  return true;
}

bool MonitorWallpapers::MakeOne(GpImage* picture, int mode, int index,
                                const RowConverter* convert) {
  wallpapers_.clear();
  one_ = -1;
  if (index < 0 || static_cast<size_t>(index) >= monitors_.size()) return false;
  if (!AddFitted(picture, mode, monitors_[static_cast<size_t>(index)], convert)) return false;
  one_ = index;
  return true;
}

bool MonitorWallpapers::ApplyTo(WallpaperTarget target, HWND owner, const std::wstring& picturePath,
                                int mode) {
  if (target != WallpaperTarget::OneMonitor) {
    if (!Apply(owner, picturePath, mode)) return false;
    const wchar_t* settings = SettingsFile::GetPath(SettingsScope::CurrentUser, owner);
    WriteSetting(settings, kDesktopSection, kMonitorTargetKey,
                 target == WallpaperTarget::Span ? kSpanValue : kEveryMonitorValue);
    return true;
  }
  if (!desktop_ || one_ < 0 || wallpapers_.size() != 1) return false;
  const MonitorTarget& m = monitors_[static_cast<size_t>(one_)];
  const std::wstring name = m.primary ? kWallpaperFileName : MonitorWallpaperName(m.id);
  std::wstring path;
  if (!SaveWallpaperFile(owner, wallpapers_[0].get(), name.c_str(), &path) ||
      FAILED(desktop_->SetWallpaper(m.id.c_str(), path.c_str()))) {
    return false;
  }
  // The position is the desktop's: a monitor-sized file shows the same centred, filled,
  // fitted or stretched, so the others' pictures only change under tile or span.
  DESKTOP_WALLPAPER_POSITION position = DWPOS_CENTER;
  if (FAILED(desktop_->GetPosition(&position)) || position == DWPOS_TILE ||
      position == DWPOS_SPAN) {
    if (FAILED(desktop_->SetPosition(DWPOS_CENTER))) return false;
  }
  // Photo and WhichPart stay the primary monitor's.
  if (m.primary) RememberChoice(owner, picturePath, mode);
  const wchar_t* settings = SettingsFile::GetPath(SettingsScope::CurrentUser, owner);
  WriteSetting(settings, kDesktopSection, kMonitorTargetKey, kOneMonitorValue);
  WriteSetting(settings, kDesktopSection, kTargetMonitorKey, m.id);
  return true;
}

bool MonitorWallpapers::Apply(HWND owner, const std::wstring& picturePath, int mode) {
  if (!desktop_ || wallpapers_.size() != monitors_.size() || monitors_.empty()) return false;
  for (size_t i = 0; i < monitors_.size(); ++i) {
    const MonitorTarget& m = monitors_[i];
    const std::wstring name = m.primary ? kWallpaperFileName : MonitorWallpaperName(m.id);
    std::wstring path;
    if (!SaveWallpaperFile(owner, wallpapers_[i].get(), name.c_str(), &path) ||
        FAILED(desktop_->SetWallpaper(m.id.c_str(), path.c_str()))) {
      return false;
    }
  }
  // The position is the desktop's, one for every monitor.
  if (FAILED(desktop_->SetPosition(DWPOS_CENTER))) return false;
  RememberChoice(owner, picturePath, mode);
  return true;
}

}  // namespace framewise
