#include "fitting/fitting_command.h"

#include <memory>
#include <optional>

#include "fitting/colour_management.h"
#include "fitting/image_fixer.h"
#include "fitting/imaging.h"
#include "fitting/portable/geometry.h"
#include "fitting/monitor_wallpapers.h"
#include "fitting/wallpaper_output.h"
#include "framework/win_owners.h"
#include "widgets/please_wait.h"

namespace framewise {

namespace {

// The please-wait window and the wait cursor, for the menus' commands.
struct Progress {
  Progress(HWND owner, CommandProgress progress) {
    if (progress != CommandProgress::Window) return;
    wait.emplace(LoadCursorW(nullptr, IDC_WAIT));
    if (owner) UpdateWindow(owner);
    window.emplace(owner);
    if (window->Create()) {  // without the window the work runs all the same
      window->ShowWindow(SW_SHOW);
      window->UpdateWindow();
    }
  }
  // The window goes before the cursor comes back.
  ~Progress() { window.reset(); }
  std::optional<fw::ScopedCursor> wait;
  std::optional<PleaseWait> window;
};

}  // namespace

HRESULT RunTargetedCommand(const std::wstring& picturePath, int mode, WallpaperTarget target,
                           const std::wstring& monitorId, HWND owner, CommandProgress progress) {
  if (target == WallpaperTarget::EveryMonitor) {
    return RunFittingCommand(picturePath, mode, owner, progress);
  }
  if (mode < FitModeExact || mode > FitModeBestFit) return E_INVALIDARG;
  if (picturePath.empty()) return E_FAIL;
  MonitorWallpapers monitors;
  if (!monitors.Find()) return E_FAIL;
  int index = -1;
  for (size_t i = 0; i < monitors.monitors().size() && !monitorId.empty(); ++i) {
    if (monitors.monitors()[i].id == monitorId) index = static_cast<int>(i);
  }
  if (index < 0) index = monitors.MenuMonitor(owner);
  fw::GpImageOwner picture = LoadPicture(picturePath.c_str());
  if (!picture) return E_FAIL;
  const SrgbConversion colour = SrgbConversion::ForPicture(picturePath.c_str());
  Progress shown(owner, progress);
  const bool made = target == WallpaperTarget::Span
                        ? monitors.MakeSpan(picture.get(), mode, &colour)
                        : monitors.MakeOne(picture.get(), mode, index, &colour);
  if (!made) return E_FAIL;
  picture.reset();  // it may be a wallpaper file that is about to be replaced
  return monitors.ApplyTo(target, owner, picturePath, mode) ? S_OK : E_FAIL;
}

HRESULT RunFittingCommand(const std::wstring& picturePath, int mode, HWND owner,
                          CommandProgress progress) {
  std::unique_ptr<ImageFixer> fixer = CreateImageFixer(mode);
  if (!fixer) return E_INVALIDARG;
  if (picturePath.empty()) return E_FAIL;
  fw::GpImageOwner picture = LoadPicture(picturePath.c_str());
  if (!picture) return E_FAIL;
  // A picture whose colours are not sRGB is converted as it is fitted.
  const SrgbConversion colour = SrgbConversion::ForPicture(picturePath.c_str());
  fixer->SetColourConversion(&colour);
  Progress shown(owner, progress);
  // Several monitors each get their own wallpaper where the shell can set them; else
  // the primary monitor's file goes to every monitor, as Active Desktop shows it.
  MonitorWallpapers monitors;
  const bool perMonitor = monitors.Find();
  fw::GpBitmapOwner wallpaper;
  if (perMonitor ? !monitors.Make(picture.get(), mode, &colour)
                 : !fixer->MakeWallpaper(picture.get(), &wallpaper)) {
    return E_FAIL;
  }
  // The picture may be the wallpaper file itself: it is let go before the new file
  // replaces it.
  picture.reset();
  const bool applied =
      perMonitor ? monitors.ApplyTo(WallpaperTarget::EveryMonitor, owner, picturePath, mode)
                 : ApplyWallpaper(owner, wallpaper.get(), picturePath, mode);
  return applied ? S_OK : E_FAIL;
}

}  // namespace framewise
