#include "fitting/monitor_wallpapers.h"

#include <cmath>
#include <memory>

#include "fitting/image_fixer.h"
#include "fitting/portable/monitor_fit.h"
#include "fitting/wallpaper_output.h"
#include "framework/task_memory.h"
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

bool MonitorWallpapers::Find() {
  monitors_.clear();
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
    std::unique_ptr<ImageFixer> fixer = CreateImageFixer(monitorMode);
    if (fixer) fixer->SetColourConversion(convert);
    fw::GpBitmapOwner wallpaper;
    if (!fixer || !fixer->MakeWallpaperFor(picture, m.work, m.monitor, &wallpaper)) return false;
    if (IsPrereleaseBuild()) {
      if (!DrawBetaNoticeIn(wallpaper.get(), WithinMonitor(m.work, m.monitor))) return false;
    }
    wallpapers_.push_back(std::move(wallpaper));
  }
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
