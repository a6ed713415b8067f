// Measuring and drawing the owner-drawn submenu items, each fitting item with a preview
// of what its command keeps.
#include <cmath>

#include "fitting/image_fixer.h"
#include "fitting/screen.h"
#include "framework/app.h"
#include "framework/win_owners.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/menu_support.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

float previewRowHeight = 0;

namespace {

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
      gp::GdipGetDpiY(surface, &surfaceY) != Gdiplus::Ok ||
      gp::GdipGetImageHorizontalResolution(image, &imageX) != Gdiplus::Ok ||
      gp::GdipGetImageVerticalResolution(image, &imageY) != Gdiplus::Ok || imageX <= 0 ||
      imageY <= 0) {
    return scale;
  }
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

// The menu font (DEFAULT_GUI_FONT) as a GDI+ font for the screen; empty without one.
fw::GpFontOwner MenuFont(HDC screen) {
  fw::GpFontOwner font;
  HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
  LOGFONTW logfont = {};
  if (!stock || GetObjectW(stock, sizeof(logfont), &logfont) == 0) return font;
  if (gp::GdipCreateFontFromLogfontW(screen, &logfont, font.put()) != Gdiplus::Ok) {
    font.reset();
  }
  return font;
}

// Draws one item, plain or selected, into a bitmap of its measured size compatible with
// `screen`: background, preview right-aligned in the image column and centred, text after
// the column.
fw::UniqueBitmap RenderItem(HDC screen, const MenuItem& item, float textLeft, float imageRight,
                            bool selected) {
  fw::UniqueBitmap none;
  const INT width = static_cast<INT>(item.width), height = static_cast<INT>(item.height);
  if (width <= 0 || height <= 0) return none;
  fw::UniqueMemoryDc dc(CreateCompatibleDC(screen));
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top-down
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  fw::UniqueBitmap bitmap(CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (!dc || !bitmap) return none;
  fw::ScopedSelect selectBitmap(dc.get(), bitmap.get());
  const RECT all = {0, 0, width, height};
  if (!FillRect(dc.get(), &all, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU))) {
    return none;
  }
  if (GpImage* picture = item.image.get()) {
    fw::GpGraphicsOwner surface;
    const float drawnWidth = static_cast<float>(PixelWidth(picture));
    const float drawnHeight = static_cast<float>(PixelHeight(picture));
    if (gp::GdipCreateFromHDC(dc.get(), surface.put()) != Gdiplus::Ok ||
        gp::GdipDrawImageRectRect(surface.get(), picture, imageRight - drawnWidth,
                                  (static_cast<float>(height) - drawnHeight) / 2.0f, drawnWidth,
                                  drawnHeight, 0, 0, drawnWidth, drawnHeight, Gdiplus::UnitPixel,
                                  nullptr, nullptr, nullptr) != Gdiplus::Ok ||
        gp::GdipFlush(surface.get(), Gdiplus::FlushIntentionSync) != Gdiplus::Ok) {
      return none;
    }
  }
  // The text through GDI in the menu font, centred on the item's height: what the library
  // would draw, at a fraction of its cost, which every item pays twice on opening.
  HGDIOBJ menuFont = GetStockObject(DEFAULT_GUI_FONT);
  if (menuFont) {
    fw::ScopedSelect selectFont(dc.get(), menuFont);
    const int textColor = !item.enabled ? COLOR_GRAYTEXT
                                        : selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT;
    SetBkMode(dc.get(), TRANSPARENT);
    SetTextColor(dc.get(), GetSysColor(textColor));
    RECT layout = {static_cast<LONG>(textLeft), 0, width, height};
    if (DrawTextW(dc.get(), item.text.c_str(), -1, &layout,
                  DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX) == 0) {
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
    default:
      return S_OK;
  }
}

MenuItem* ImageFileContextMenu::FindMenuItem(UINT controlType, UINT itemId) {
  if (controlType != ODT_MENU || firstCommandId < 0) return nullptr;
  const UINT offset = itemId - static_cast<UINT>(firstCommandId);  // unsigned: below wraps high
  if (offset > kLastMenuOffset) return nullptr;
  auto found = menuItems.find(static_cast<int>(offset));
  return found == menuItems.end() ? nullptr : found->second.get();
}

HRESULT ImageFileContextMenu::LayOutMenuItems() {
  fw::GpGraphicsOwner screen;
  if (gp::GdipCreateFromHWND(GetDesktopWindow(), screen.put()) != Gdiplus::Ok) return E_FAIL;
  float dpiX = 0, dpiY = 0;
  if (gp::GdipGetDpiX(screen.get(), &dpiX) != Gdiplus::Ok ||
      gp::GdipGetDpiY(screen.get(), &dpiY) != Gdiplus::Ok) {
    return E_FAIL;
  }

  // The previews: every fitting row shows the same copy, so they share one size.
  float imageWidth = 0, imageHeight = 0;
  GpBitmap* copy = preview.get();
  const Scale scale = ImageScale(screen.get(), copy);
  bool anyPreview = false;
  for (const auto& entry : menuItems) anyPreview = anyPreview || entry.second->preview;
  if (copy && anyPreview) {
    if (previewRowHeight == 0) previewRowHeight = 1.5f * dpiY;
    const float copyWidth = static_cast<float>(PixelWidth(copy)) * scale.x;
    const float copyHeight = static_cast<float>(PixelHeight(copy)) * scale.y;
    const float ratio = copyHeight > 0 ? copyWidth / copyHeight : 0;
    imageWidth = copyWidth;
    imageHeight = previewRowHeight;
    LimitPreviewSize(&imageWidth, &imageHeight, dpiX, ratio);
  }
  imageColumnWidth = static_cast<UINT>(imageWidth);
  const float column = static_cast<float>(imageColumnWidth);

  // One screen DC for measuring and for every item's bitmaps.
  const fw::WindowDc screenDc(nullptr);
  if (!screenDc) return E_FAIL;
  fw::GpFontOwner font = MenuFont(screenDc.get());
  for (auto& entry : menuItems) {
    MenuItem& item = *entry.second;
    const int offset = entry.first;
    float pictureHeight = 0;
    if (item.preview) {
      std::unique_ptr<ImageFixer> fixer = CreateImageFixer(offset);
      // A preview that cannot be fitted shows the copy itself.
      if (!fixer || !fixer->MakePreview(copy, &item.image, static_cast<int32_t>(imageWidth),
                                        static_cast<int32_t>(imageHeight))) {
        if (gp::GdipCloneBitmapAreaI(0, 0, static_cast<INT>(PixelWidth(copy)),
                                     static_cast<INT>(PixelHeight(copy)), PixelFormat32bppPARGB,
                                     copy, item.image.put()) != Gdiplus::Ok) {
          item.image.reset();
        }
      }
      pictureHeight = imageHeight;
    }
    Gdiplus::RectF box(0, 0, 0, 0);
    if (font) {
      const Gdiplus::RectF layout(column + 8.0f, 0, 0, 0);
      if (gp::GdipMeasureString(screen.get(), item.text.c_str(), -1, font.get(), &layout,
                                nullptr, &box, nullptr, nullptr) != Gdiplus::Ok) {
        box = Gdiplus::RectF(0, 0, 0, 0);
      }
    }
    item.width = static_cast<UINT>(box.Width) + imageColumnWidth + 12;
    const UINT textHeight = static_cast<UINT>(box.Height);
    const UINT imagePixels = static_cast<UINT>(pictureHeight);
    item.height = (textHeight > imagePixels ? textHeight : imagePixels) + 8;
    item.plain = RenderItem(screenDc.get(), item, column + 8.0f, column + 4.0f, false);
    item.selected = RenderItem(screenDc.get(), item, column + 8.0f, column + 4.0f, true);
    if (!item.plain || !item.selected) return E_FAIL;
  }
  return S_OK;
}

HRESULT ImageFileContextMenu::MeasureMenuItem(MEASUREITEMSTRUCT* measure, LRESULT* result) {
  MenuItem* item = FindMenuItem(measure->CtlType, measure->itemID);
  if (!item) return S_OK;
  measure->itemWidth = item->width;
  measure->itemHeight = item->height;
  *result = TRUE;
  return S_OK;
}

HRESULT ImageFileContextMenu::DrawMenuItem(DRAWITEMSTRUCT* draw, LRESULT* result) {
  MenuItem* item = FindMenuItem(draw->CtlType, draw->itemID);
  if (!item) return S_OK;
  const bool selected = (draw->itemState & ODS_SELECTED) != 0;
  HBITMAP drawn = selected ? item->selected.get() : item->plain.get();
  if (!drawn || !draw->hDC) return E_FAIL;
  // The menu may be wider than the item was measured: the rest is background.
  if (!FillRect(draw->hDC, &draw->rcItem, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_MENU))) {
    return E_FAIL;
  }
  fw::UniqueMemoryDc source(CreateCompatibleDC(draw->hDC));
  if (!source) return E_FAIL;
  fw::ScopedSelect select(source.get(), drawn);
  const LONG width = draw->rcItem.right - draw->rcItem.left;
  const LONG height = draw->rcItem.bottom - draw->rcItem.top;
  const LONG copyWidth = width < static_cast<LONG>(item->width) ? width : static_cast<LONG>(item->width);
  const LONG copyHeight = height < static_cast<LONG>(item->height) ? height : static_cast<LONG>(item->height);
  if (!BitBlt(draw->hDC, draw->rcItem.left, draw->rcItem.top, copyWidth, copyHeight,
              source.get(), 0, 0, SRCCOPY)) {
    return E_FAIL;
  }
  *result = TRUE;
  return S_OK;
}

}  // namespace framewise
