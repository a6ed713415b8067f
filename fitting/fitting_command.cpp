#include "fitting/fitting_command.h"

#include <memory>
#include <optional>

#include "fitting/colour_management.h"
#include "fitting/image_fixer.h"
#include "fitting/imaging.h"
#include "fitting/monitor_wallpapers.h"
#include "fitting/wallpaper_output.h"
#include "framework/win_owners.h"
#include "widgets/please_wait.h"

namespace framewise {

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

  std::optional<fw::ScopedCursor> wait;
  std::optional<PleaseWait> window;
  if (progress == CommandProgress::Window) {
    wait.emplace(LoadCursorW(nullptr, IDC_WAIT));
    if (owner) UpdateWindow(owner);
    window.emplace(owner);
    if (window->Create()) {  // without the window the work runs all the same
      window->ShowWindow(SW_SHOW);
      window->UpdateWindow();
    }
  }
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
  const bool applied = perMonitor ? monitors.Apply(owner, picturePath, mode)
                                  : ApplyWallpaper(owner, wallpaper.get(), picturePath, mode);
  return applied ? S_OK : E_FAIL;  // the window goes before the cursor comes back
}

}  // namespace framewise
