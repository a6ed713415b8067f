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
#include "settings/portable/settings_values.h"
#include "settings/settings_file.h"
#include "settings/version.h"

namespace framewise {

namespace {

constexpr Gdiplus::ARGB kNoticeShadow = 0xFF4B4B4B;
constexpr Gdiplus::ARGB kNoticeText = 0xFFFFFFFF;
constexpr wchar_t kTemporaryPrefix[] = L"fw";
constexpr ULONG kJpegQuality = 95;
// The encoder's quality parameter (EncoderQuality), spelt out: the headers disagree on
// where its definition lives.
constexpr GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d,
                                  {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

}  // namespace

const wchar_t kWallpaperFileName[] = L"Desktop Background.jpg";

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

namespace {

// A file in the wallpaper's folder that is removed when the owner goes, unless it was
// moved into place: a failed save never leaves a stray file behind.
class TemporaryFile {
 public:
  TemporaryFile() = default;
  ~TemporaryFile() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;

  // Creates an empty, uniquely named file in `folder`.
  bool Create(const wchar_t* folder) {
    wchar_t name[MAX_PATH] = {};
    if (GetTempFileNameW(folder, kTemporaryPrefix, 0, name) == 0) return false;
    path_ = name;
    return true;
  }
  const wchar_t* path() const { return path_.c_str(); }
  // The file was renamed into place: nothing is left to remove.
  void Moved() { path_.clear(); }

 private:
  std::wstring path_;
};

}  // namespace

bool SaveWallpaperFile(HWND owner, GpBitmap* wallpaper, const wchar_t* fileName,
                       std::wstring* path) {
  path->clear();
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathAndSubDirW(owner, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                       SHGFP_TYPE_CURRENT, kDataFolderName, folder))) {
    return false;
  }
  CLSID jpeg;
  if (FindEncoder(L"image/jpeg", &jpeg) < 0) return false;

  // The quality asked of the encoder: Windows shows the file as it is, so its own
  // default (75, with halved colour resolution) would blur every wallpaper.
  ULONG quality = kJpegQuality;
  Gdiplus::EncoderParameters parameters = {};
  parameters.Count = 1;
  parameters.Parameter[0].Guid = kEncoderQuality;
  parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
  parameters.Parameter[0].NumberOfValues = 1;
  parameters.Parameter[0].Value = &quality;

  // Written beside the old file, then moved over it in one step: a save that fails
  // part-way leaves the previous wallpaper as it was.
  TemporaryFile written;
  if (!written.Create(folder)) return false;
  if (gp::GdipSaveImageToFile(wallpaper, written.path(), &jpeg, &parameters) != Gdiplus::Ok) {
    return false;
  }
  const std::wstring target = std::wstring(folder) + L"\\" + fileName;
  if (!MoveFileExW(written.path(), target.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return false;
  }
  written.Moved();
  *path = target;
  return true;
}

bool DrawBetaNotice(GpBitmap* wallpaper) {
  ScreenRect work, monitor;
  if (!GetScreenRects(&work, &monitor)) return false;
  return DrawBetaNoticeIn(wallpaper, WithinMonitor(work, monitor));
}

bool DrawBetaNoticeIn(GpBitmap* wallpaper, const ScreenRect& work) {
  const std::wstring text = fw::FormatString(fw::LoadResourceString(IDS_BETA_NOTICE),
                                         fw::LoadResourceString(IDS_BETA));
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
  if (!SaveWallpaperFile(owner, wallpaper, kWallpaperFileName, &path)) return false;

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
  RememberChoice(owner, picturePath, mode);
  return true;
}

void RememberChoice(HWND owner, const std::wstring& picturePath, int mode) {
  const wchar_t* settings = SettingsFile::GetPath(SettingsScope::CurrentUser, owner);
  // An empty path (no settings folder) drops the writes instead of reaching win.ini.
  WriteSetting(settings, kDesktopSection, kPhotoKey, picturePath);
  WriteSetting(settings, kDesktopSection, kWhichPartKey, FitModeName(mode));
}

}  // namespace framewise
