#include "fitting/wallpaper_output.h"

#include <wininet.h>  // first: the shell declares Active Desktop only after it
#include <shlobj.h>

#include <vector>

#include "fitting/portable/geometry.h"
#include "fitting/screen.h"
#include "framework/app.h"
#include "framework/com_ptr.h"
#include "framework/strings.h"
#include "framework/win_owners.h"
#include "resources/resource_ids.h"
#include "settings/settings_file.h"
#include "settings/version.h"

namespace framewise {

namespace {

constexpr wchar_t kWallpaperFileName[] = L"\\Desktop Background.jpg";
constexpr wchar_t kDataFolderName[] = L"Wrenfly Framewise";
constexpr Gdiplus::ARGB kNoticeShadow = 0xFF4B4B4B;
constexpr Gdiplus::ARGB kNoticeText = 0xFFFFFFFF;

}  // namespace

int FindEncoder(const wchar_t* mimeType, CLSID* encoder) {
  UINT count = 0, size = 0;
  if (gp::GdipGetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return -1;
  std::vector<BYTE> buffer(size);
  auto codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (gp::GdipGetImageEncoders(count, size, codecs) != Gdiplus::Ok) return -1;
  for (UINT i = 0; i < count; ++i) {
    if (codecs[i].MimeType && wcscmp(codecs[i].MimeType, mimeType) == 0) {
      *encoder = codecs[i].Clsid;
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool SaveWallpaperFile(HWND owner, GpBitmap* wallpaper, std::wstring* path) {
  path->clear();
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathAndSubDirW(owner, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                       SHGFP_TYPE_CURRENT, kDataFolderName, folder))) {
    return false;
  }
  *path = std::wstring(folder) + kWallpaperFileName;
  CLSID jpeg;
  if (FindEncoder(L"image/jpeg", &jpeg) < 0) {
    path->clear();
    return false;
  }
  if (gp::GdipSaveImageToFile(wallpaper, path->c_str(), &jpeg, nullptr) != Gdiplus::Ok) {
    path->clear();
  }
  return !path->empty();
}

bool DrawBetaNotice(GpBitmap* wallpaper) {
  const std::wstring text = FormatString(LoadResourceString(IDS_BETA_NOTICE),
                                         LoadResourceString(IDS_BETA));
  fw::GpFontFamilyOwner family;
  if (gp::GdipCreateFontFamilyFromName(L"Verdana", nullptr, family.put()) != Gdiplus::Ok &&
      gp::GdipGetGenericFontFamilySansSerif(family.put()) != Gdiplus::Ok) {
    return false;
  }
  fw::GpFontOwner font;
  if (gp::GdipCreateFont(family.get(), 0.25f, Gdiplus::FontStyleRegular, Gdiplus::UnitInch,
                         font.put()) != Gdiplus::Ok) {
    return false;
  }
  ScreenRect work, monitor;
  if (!GetScreenRects(&work, &monitor)) return false;
  Gdiplus::RectF layout(static_cast<float>(work.x), static_cast<float>(work.y),
                        static_cast<float>(work.width), static_cast<float>(work.height));

  fw::GpStringFormatOwner format;
  if (gp::GdipCreateStringFormat(0, LANG_NEUTRAL, format.put()) != Gdiplus::Ok ||
      gp::GdipSetStringFormatAlign(format.get(), Gdiplus::StringAlignmentFar) != Gdiplus::Ok ||
      gp::GdipSetStringFormatLineAlign(format.get(), Gdiplus::StringAlignmentFar) != Gdiplus::Ok) {
    return false;
  }
  fw::GpGraphicsOwner surface;
  if (gp::GdipGetImageGraphicsContext(wallpaper, surface.put()) != Gdiplus::Ok) return false;
  fw::GpSolidFillOwner brush;
  if (gp::GdipCreateSolidFill(kNoticeShadow, brush.put()) != Gdiplus::Ok) return false;
  if (gp::GdipDrawString(surface.get(), text.c_str(), -1, font.get(), &layout, format.get(),
                         brush.get()) != Gdiplus::Ok) {
    return false;
  }
  // The text itself, 3 pixels up and left of its shadow.
  layout.X -= 3.0f;
  layout.Y -= 3.0f;
  if (gp::GdipSetSolidFillColor(brush.get(), kNoticeText) != Gdiplus::Ok) return false;
  return gp::GdipDrawString(surface.get(), text.c_str(), -1, font.get(), &layout, format.get(),
                            brush.get()) == Gdiplus::Ok;
}

bool ApplyWallpaper(HWND owner, GpBitmap* wallpaper, const std::wstring& picturePath, int mode) {
  fw::ScopedCursor wait(LoadCursorW(nullptr, IDC_WAIT));
  if (IsPrereleaseBuild() && !DrawBetaNotice(wallpaper)) return false;
  std::wstring path;
  if (!SaveWallpaperFile(owner, wallpaper, &path)) return false;

  fw::ComPtr<IActiveDesktop> desktop;
  HRESULT hr = CoCreateInstance(CLSID_ActiveDesktop, nullptr, CLSCTX_ALL, IID_IActiveDesktop,
                                desktop.put_void());
  if (SUCCEEDED(hr)) hr = desktop->SetWallpaper(path.c_str(), 0);
  if (SUCCEEDED(hr)) {
    WALLPAPEROPT options = {};
    options.dwSize = sizeof(WALLPAPEROPT);
    options.dwStyle = WPSTYLE_CENTER;
    hr = desktop->SetWallpaperOptions(&options, 0);
  }
  if (SUCCEEDED(hr)) hr = desktop->ApplyChanges(AD_APPLY_ALL);
  if (FAILED(hr)) return false;

  const wchar_t* settings = SettingsFile::GetPath(SettingsScope::CurrentUser, owner);
  // An empty path (no settings folder) drops the writes instead of reaching win.ini.
  WriteSetting(settings, L"Desktop", L"Photo", picturePath);
  WriteSetting(settings, L"Desktop", L"WhichPart", FitModeName(mode));
  return true;
}

}  // namespace framewise
