// Measuring and painting the owner-drawn submenu items in the look of the menu they open
// in (shellext/menu_look.h), each fitting item with a preview of what its command keeps,
// and choosing an item by its access key.
#include <algorithm>
#include <cmath>

#include "fitting/image_fixer.h"
#include "fitting/screen.h"
#include "framework/app.h"
#include "framework/win_owners.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/menu_support.h"
#include "shellext/portable/access_keys.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

float previewRowHeight = 0;

namespace {

// An item's layout in pixels from its left edge: the preview ends at the image column's
// width plus kImageGap, the text starts at the column's width plus kTextGap, and
// kTextEndGap follow it; kRowPadding is added to the taller of text and preview.
constexpr UINT kImageGap = 4;
constexpr UINT kTextGap = 8;
constexpr UINT kTextEndGap = 4;
constexpr UINT kRowPadding = 8;

// Surface resolution over image resolution, each way; 0 for no image.
struct Scale {
  float x = 0;
  float y = 0;
};

Scale ImageScale(GpGraphics* surface, GpImage* image) {
  Scale scale;
  if (!image) return scale;
  float surfaceX = 0, surfaceY = 0, imageX = 0, imageY = 0;
  if (gp::GdipGetDpiX(surface, &surfaceX) != Gdiplus::Ok ||
      gp::GdipGetDpiY(surface, &surfaceY) != Gdiplus::Ok) {
    return scale;
  }
  // A copy that states no resolution is shown at the screen's.
  if (gp::GdipGetImageHorizontalResolution(image, &imageX) != Gdiplus::Ok || !(imageX > 0)) {
    imageX = surfaceX;
  }
  if (gp::GdipGetImageVerticalResolution(image, &imageY) != Gdiplus::Ok || !(imageY > 0)) {
    imageY = surfaceY;
  }
  if (!(imageX > 0) || !(imageY > 0)) return scale;
  scale.x = surfaceX / imageX;
  scale.y = surfaceY / imageY;
  return scale;
}

UINT PixelWidth(GpImage* image) {
  UINT width = 0;
  if (image) gp::GdipGetImageWidth(image, &width);
  return width;
}

UINT PixelHeight(GpImage* image) {
  UINT height = 0;
  if (image) gp::GdipGetImageHeight(image, &height);
  return height;
}

// A 32-bit top-down bitmap (rows in the order GDI+ writes them) whose pixels start at
// `*bits`, all zero.
fw::UniqueBitmap TopDownBitmap(HDC dc, LONG width, LONG height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return fw::UniqueBitmap(CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

// Draws a fitting row's preview as it sits in the item: right-aligned at `imageRight`,
// centred in the item's height, clipped to the image column, on transparent pixels
// (premultiplied alpha) so that painting can put it over any background.
fw::UniqueBitmap RenderPicture(HDC screen, GpImage* preview, UINT imageRight, UINT height) {
  fw::UniqueBitmap none;
  const INT width = static_cast<INT>(imageRight), rows = static_cast<INT>(height);
  if (!preview || width <= 0 || rows <= 0) return none;
  void* bits = nullptr;
  fw::UniqueBitmap bitmap = TopDownBitmap(screen, width, rows, &bits);
  if (!bitmap || !bits) return none;
  {
    // The surface writes into the section's own pixels, which start transparent.
    fw::GpBitmapOwner pixels;
    fw::GpGraphicsOwner surface;
    const float drawnWidth = static_cast<float>(PixelWidth(preview));
    const float drawnHeight = static_cast<float>(PixelHeight(preview));
    if (gp::GdipCreateBitmapFromScan0(width, rows, width * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits),
                                      pixels.put()) != Gdiplus::Ok ||
        gp::GdipGetImageGraphicsContext(pixels.get(), surface.put()) != Gdiplus::Ok ||
        gp::GdipDrawImageRectRect(surface.get(), preview, static_cast<float>(width) - drawnWidth,
                                  (static_cast<float>(rows) - drawnHeight) / 2.0f, drawnWidth, drawnHeight, 0,
                                  0, drawnWidth, drawnHeight, Gdiplus::UnitPixel, nullptr, nullptr,
                                  nullptr) != Gdiplus::Ok ||
        gp::GdipFlush(surface.get(), Gdiplus::FlushIntentionSync) != Gdiplus::Ok) {
      return none;
    }
  }
  GdiFlush();
  return bitmap;
}

}  // namespace

HRESULT ImageFileContextMenu::HandleMenuMsg(UINT message, WPARAM wParam, LPARAM lParam) {
  LRESULT ignored = 0;
  return HandleMenuMsg2(message, wParam, lParam, &ignored);
}

HRESULT ImageFileContextMenu::HandleMenuMsg2(UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) {
  try {
    fw::ModuleStateScope state;
    LRESULT own = 0;
    if (!result) result = &own;
    return DispatchMenuMessage(message, wParam, lParam, result);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ImageFileContextMenu::DispatchMenuMessage(UINT message, WPARAM wParam, LPARAM lParam,
                                                  LRESULT* result) {
  switch (message) {
    case WM_INITMENUPOPUP:
      return PopulateSubmenu(reinterpret_cast<HMENU>(wParam), result);
    case WM_MEASUREITEM:
      return lParam ? MeasureMenuItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam), result) : S_OK;
    case WM_DRAWITEM:
      return lParam ? DrawMenuItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam), result) : S_OK;
    case WM_MENUCHAR:
      return AnswerMenuChar(static_cast<wchar_t>(LOWORD(wParam)), reinterpret_cast<HMENU>(lParam), result);
    default:
      return S_OK;
  }
}

MenuItem* ImageFileContextMenu::FindMenuItem(UINT controlType, UINT itemId) {
  if (controlType != ODT_MENU || firstCommandId < 0) return nullptr;
  const UINT offset = itemId - static_cast<UINT>(firstCommandId);  // unsigned: below wraps high
  if (offset > kLastSeveralMonitorsOffset) return nullptr;
  auto found = menuItems.find(static_cast<int>(offset));
  return found == menuItems.end() ? nullptr : found->second.get();
}

HRESULT ImageFileContextMenu::LayOutMenuItems() {
  fw::GpGraphicsOwner screen;
  if (gp::GdipCreateFromHWND(GetDesktopWindow(), screen.put()) != Gdiplus::Ok) return E_FAIL;
  float dpiX = 0, dpiY = 0;
  if (gp::GdipGetDpiX(screen.get(), &dpiX) != Gdiplus::Ok ||
      gp::GdipGetDpiY(screen.get(), &dpiY) != Gdiplus::Ok || dpiY <= 0) {
    return E_FAIL;
  }
  // The look of the monitor the menu opens on. Sizes below are the system DPI's, scaled
  // by that monitor's DPI over the system's.
  menuLook = MenuLook::Read(ShowingMenuWindow(), static_cast<UINT>(dpiY + 0.5f));
  const float monitorScale = static_cast<float>(menuLook.dpi()) / dpiY;

  // The previews: every fitting row shows the same copy, so they share one size.
  float imageWidth = 0, imageHeight = 0;
  GpBitmap* copy = preview.get();
  const Scale scale = ImageScale(screen.get(), copy);
  bool anyPreview = false;
  for (const auto& entry : menuItems) anyPreview = anyPreview || entry.second->preview;
  if (copy && anyPreview) {
    if (previewRowHeight == 0) previewRowHeight = 1.5f * dpiY;
    const float copyWidth = static_cast<float>(PixelWidth(copy)) * scale.x * monitorScale;
    const float copyHeight = static_cast<float>(PixelHeight(copy)) * scale.y * monitorScale;
    const float ratio = copyHeight > 0 ? copyWidth / copyHeight : 0;
    imageWidth = copyWidth;
    imageHeight = previewRowHeight * monitorScale;
    LimitPreviewSize(&imageWidth, &imageHeight, dpiX * monitorScale, ratio);
  }
  imageColumnWidth = static_cast<UINT>(imageWidth);

  // One screen DC for measuring the text in the menu font and for the previews' bitmaps.
  const fw::WindowDc screenDc(nullptr);
  if (!screenDc) return E_FAIL;
  const fw::ScopedSelect selectFont(screenDc.get(), menuLook.font());
  for (auto& entry : menuItems) {
    MenuItem& item = *entry.second;
    const int offset = entry.first;
    float pictureHeight = 0;
    previewWidth = static_cast<int32_t>(imageWidth);
    previewHeightPx = static_cast<int32_t>(imageHeight);
    item.previewDeferred = item.preview && offset > FitModeBestFit;
    if (item.preview && !item.previewDeferred) MakeItemPreview(offset, &item);
    if (item.preview) pictureHeight = imageHeight;
    // Measured as it is drawn: the menu string with its key marker, in the menu font.
    RECT box = {0, 0, 0, 0};
    if (!DrawTextW(screenDc.get(), item.menuString.c_str(), -1, &box, DT_CALCRECT | DT_LEFT | DT_SINGLELINE)) {
      box = RECT{0, 0, 0, 0};
    }
    item.width = static_cast<UINT>(box.right - box.left) + imageColumnWidth + kTextGap + kTextEndGap;
    const UINT textHeight = static_cast<UINT>(box.bottom - box.top);
    const UINT imagePixels = static_cast<UINT>(pictureHeight);
    item.height = (textHeight > imagePixels ? textHeight : imagePixels) + kRowPadding;
    if (item.image) {
      item.picture = RenderPicture(screenDc.get(), item.image.get(), imageColumnWidth + kImageGap, item.height);
      if (!item.picture) return E_FAIL;
    }
  }
  return S_OK;
}

void ImageFileContextMenu::MakeItemPreview(int offset, MenuItem* item) {
  GpBitmap* copy = preview.get();
  if (!copy) return;
  std::unique_ptr<ImageFixer> fixer = CreateImageFixer(offset);
  const bool made =
      offset > FitModeBestFit
          ? MakeGroupPreview(offset, copy, previewWidth, previewHeightPx, &item->image)
          : fixer && fixer->MakePreview(copy, &item->image, previewWidth, previewHeightPx);
  // A preview that cannot be fitted shows the copy itself.
  if (!made) {
    if (gp::GdipCloneBitmapAreaI(0, 0, static_cast<INT>(PixelWidth(copy)),
                                 static_cast<INT>(PixelHeight(copy)), PixelFormat32bppPARGB, copy,
                                 item->image.put()) != Gdiplus::Ok) {
      item->image.reset();
    }
  }
}

bool ImageFileContextMenu::MakeDeferredPreview(UINT itemId, MenuItem* item) {
  item->previewDeferred = false;
  MakeItemPreview(static_cast<int>(itemId - static_cast<UINT>(firstCommandId)), item);
  if (!item->image) return true;  // painted without a picture, as a row whose copy failed
  const fw::WindowDc screenDc(nullptr);
  if (!screenDc) return false;
  item->picture =
      RenderPicture(screenDc.get(), item->image.get(), imageColumnWidth + kImageGap, item->height);
  return static_cast<bool>(item->picture);
}

bool ImageFileContextMenu::MakeGroupPreview(int offset, GpBitmap* copy, int32_t width,
                                            int32_t height, fw::GpBitmapOwner* out) {
  int mode = 0;
  CommandTarget target = CommandTarget::EveryMonitor;
  if (!copy || !monitors || !SplitFittingOffset(offset, &mode, &target)) return false;
  if (target == CommandTarget::OneMonitor) {
    // That monitor's own cut, as its wallpaper will show it.
    if (menuMonitor < 0) return false;
    const MonitorTarget& m = monitors->monitors()[static_cast<size_t>(menuMonitor)];
    std::unique_ptr<ImageFixer> fixer = CreateImageFixer(mode);
    if (!fixer) return false;
    fixer->UseScreen(m.work, m.monitor);
    return fixer->MakePreview(copy, out, width, height);
  }
  // The span: every monitor's part framed at its physical place on the picture, from the
  // layout read when the submenu opened (never per paint).
  UINT copyWidth = 0, copyHeight = 0;
  std::vector<MonitorCut> cuts;
  if (!physicalRead || !GetPictureSize(copy, &copyWidth, &copyHeight) ||
      !ComputeSpanCut(copyWidth, copyHeight, physical.layout, mode, &cuts)) {
    return false;
  }
  std::vector<SourceArea> parts;
  for (const MonitorCut& cut : cuts) {
    parts.push_back(SourceArea{cut.source.x, cut.source.y, cut.source.width, cut.source.height});
  }
  return ImageFixer::MakeSpanPreview(copy, parts, width, height, out);
}

HRESULT ImageFileContextMenu::MeasureMenuItem(MEASUREITEMSTRUCT* measure, LRESULT* result) {
  MenuItem* item = FindMenuItem(measure->CtlType, measure->itemID);
  if (!item) return S_OK;
  measure->itemWidth = item->width;
  measure->itemHeight = item->height;
  *result = TRUE;
  return S_OK;
}

bool ImageFileContextMenu::PaintMenuItem(HDC dc, const MenuItem& item, LONG width, LONG height, bool selected,
                                         bool hideKey) const {
  const RECT area = {0, 0, width, height};
  COLORREF textColour = 0;
  if (!menuLook.PaintItemBackground(dc, area, selected, item.enabled, &textColour)) return false;
  if (item.picture) {
    const fw::UniqueMemoryDc source(CreateCompatibleDC(dc));
    if (!source) return false;
    const fw::ScopedSelect select(source.get(), item.picture.get());
    const LONG pictureWidth = std::min<LONG>(width, static_cast<LONG>(imageColumnWidth + kImageGap));
    const LONG pictureHeight = std::min<LONG>(height, static_cast<LONG>(item.height));
    const BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    if (pictureWidth > 0 && pictureHeight > 0 &&
        !GdiAlphaBlend(dc, 0, 0, pictureWidth, pictureHeight, source.get(), 0, 0, pictureWidth, pictureHeight,
                       blend)) {
      return false;
    }
  }
  // The text in the menu font, centred on the measured height.
  const fw::ScopedSelect selectFont(dc, menuLook.font());
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, textColour);
  RECT layout = {static_cast<LONG>(imageColumnWidth + kTextGap), 0, width, static_cast<LONG>(item.height)};
  return DrawTextW(dc, item.menuString.c_str(), -1, &layout,
                   DT_LEFT | DT_VCENTER | DT_SINGLELINE | (hideKey ? DT_HIDEPREFIX : 0)) != 0;
}

HRESULT ImageFileContextMenu::DrawMenuItem(DRAWITEMSTRUCT* draw, LRESULT* result) {
  MenuItem* item = FindMenuItem(draw->CtlType, draw->itemID);
  if (!item) return S_OK;
  HDC dc = draw->hDC;
  if (!dc) return E_FAIL;
  const RECT& area = draw->rcItem;
  const LONG width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return E_FAIL;
  if (item->previewDeferred && !MakeDeferredPreview(draw->itemID, item)) return E_FAIL;
  const bool selected = (draw->itemState & ODS_SELECTED) != 0;
  // The key underlined as Windows does it: once the keyboard is used, or always where the
  // user asks.
  const bool hideKey = (draw->itemState & ODS_NOACCEL) != 0 && !menuLook.alwaysUnderline();
  // The whole width the menu gives, which may be more than was measured; painted once in
  // each form at that size, then copied.
  MenuItem::Painted& painted = item->painted[(selected ? 1 : 0) + (hideKey ? 2 : 0)];
  const fw::UniqueMemoryDc memory(CreateCompatibleDC(dc));
  if (!memory) return E_FAIL;
  if (!painted.bitmap || painted.width != width || painted.height != height) {
    void* bits = nullptr;
    painted.bitmap = TopDownBitmap(dc, width, height, &bits);
    if (!painted.bitmap) return E_FAIL;
    painted.width = width;
    painted.height = height;
    const fw::ScopedSelect select(memory.get(), painted.bitmap.get());
    if (!PaintMenuItem(memory.get(), *item, width, height, selected, hideKey)) {
      painted.bitmap.reset();
      return E_FAIL;
    }
  }
  const fw::ScopedSelect select(memory.get(), painted.bitmap.get());
  if (!BitBlt(dc, area.left, area.top, width, height, memory.get(), 0, 0, SRCCOPY)) return E_FAIL;
  *result = TRUE;
  return S_OK;
}

HRESULT ImageFileContextMenu::AnswerMenuChar(wchar_t typed, HMENU menu, LRESULT* result) {
  // Another menu's key is not ours to answer.
  const bool ours = menu && (menu == submenu || std::find(groupMenus.begin(), groupMenus.end(),
                                                          menu) != groupMenus.end());
  if (!ours || menuItems.empty()) {
    *result = MAKELRESULT(0, MNC_IGNORE);
    return S_FALSE;
  }
  *result = MAKELRESULT(0, MNC_IGNORE);
  const wchar_t key = FoldAccessKey(typed);
  const int count = GetMenuItemCount(menu);
  for (int position = 0; key != 0 && position < count; ++position) {
    MENUITEMINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STATE;
    if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) || (info.fType & MFT_SEPARATOR)) continue;
    const MenuItem* item = FindMenuItem(ODT_MENU, info.wID);
    if (!item || item->key != key) continue;
    // A greyed item keeps its key, but the key chooses nothing.
    if (item->enabled && (info.fState & MFS_DISABLED) == 0) {
      *result = MAKELRESULT(static_cast<WORD>(position), MNC_EXECUTE);
    }
    break;
  }
  return S_OK;
}

}  // namespace framewise
