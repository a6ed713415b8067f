// Measuring and drawing the owner-drawn submenu items, each fitting item with a preview
// of what its command keeps.
#include <cmath>

#include "fitting/image_fixer.h"
#include "fitting/screen.h"
#include "framework/app.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/menu_support.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

float previewRowHeight = 0;

namespace {

Gdiplus::ARGB SystemColorArgb(int index) {
  const COLORREF c = GetSysColor(index);
  return 0xFF000000u | (static_cast<Gdiplus::ARGB>(GetRValue(c)) << 16) |
         (static_cast<Gdiplus::ARGB>(GetGValue(c)) << 8) | GetBValue(c);
}

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

// The menu font (DEFAULT_GUI_FONT) as a GDI+ font for this surface; empty without one.
fw::GpFontOwner MenuFont(GpGraphics* surface) {
  fw::GpFontOwner font;
  HGDIOBJ stock = GetStockObject(DEFAULT_GUI_FONT);
  if (!stock) return font;
  LOGFONTW logfont = {};
  if (GetObjectW(stock, sizeof(logfont), &logfont) == 0) return font;
  HDC dc = nullptr;
  if (gp::GdipGetDC(surface, &dc) != Gdiplus::Ok) return font;
  if (gp::GdipCreateFontFromLogfontW(dc, &logfont, font.put()) != Gdiplus::Ok) font.reset();
  gp::GdipReleaseDC(surface, dc);
  return font;
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

HRESULT ImageFileContextMenu::MeasureMenuItem(MEASUREITEMSTRUCT* measure, LRESULT* result) {
  MenuItem* item = FindMenuItem(measure->CtlType, measure->itemID);
  if (!item) return S_OK;

  fw::GpGraphicsOwner surface;
  if (gp::GdipCreateFromHWND(GetDesktopWindow(), surface.put()) != Gdiplus::Ok) return E_FAIL;
  GpImage* image = item->image.get();
  const Scale scale = ImageScale(surface.get(), image);
  float imageWidth = static_cast<float>(PixelWidth(image)) * scale.x;
  if (static_cast<float>(imageColumnWidth) >= imageWidth) imageWidth = static_cast<float>(imageColumnWidth);
  float imageHeight = static_cast<float>(PixelHeight(image)) * scale.y;

  if (image) {
    float dpiX = 0, dpiY = 0;
    if (gp::GdipGetDpiX(surface.get(), &dpiX) != Gdiplus::Ok ||
        gp::GdipGetDpiY(surface.get(), &dpiY) != Gdiplus::Ok) {
      return E_FAIL;
    }
    if (previewRowHeight == 0) previewRowHeight = 1.5f * dpiY;
    const float ratio = imageHeight > 0 ? imageWidth / imageHeight : 0;
    imageHeight = previewRowHeight;
    LimitPreviewSize(&imageWidth, &imageHeight, dpiX, ratio);
  }
  const UINT wholeWidth = static_cast<UINT>(imageWidth);
  if (wholeWidth > imageColumnWidth) imageColumnWidth = wholeWidth;

  Gdiplus::RectF box(0, 0, 0, 0);
  fw::GpFontOwner font = MenuFont(surface.get());
  if (font) {
    const Gdiplus::RectF layout(imageWidth + 8.0f, 0, 0, 0);
    if (gp::GdipMeasureString(surface.get(), item->text.c_str(), -1, font.get(), &layout, nullptr,
                              &box, nullptr, nullptr) != Gdiplus::Ok) {
      box = Gdiplus::RectF(0, 0, 0, 0);
    }
  }
  measure->itemWidth = static_cast<UINT>(box.Width) + static_cast<UINT>(imageWidth) + 12;
  const UINT textHeight = static_cast<UINT>(box.Height);
  const UINT pictureHeight = static_cast<UINT>(imageHeight);
  measure->itemHeight = (textHeight > pictureHeight ? textHeight : pictureHeight) + 8;
  *result = TRUE;
  return S_OK;
}

HRESULT ImageFileContextMenu::DrawMenuItem(DRAWITEMSTRUCT* draw, LRESULT* result) {
  MenuItem* item = FindMenuItem(draw->CtlType, draw->itemID);
  if (!item) return S_OK;

  const float left = static_cast<float>(draw->rcItem.left);
  const float top = static_cast<float>(draw->rcItem.top);
  const float width = static_cast<float>(draw->rcItem.right - draw->rcItem.left);
  const float height = static_cast<float>(draw->rcItem.bottom - draw->rcItem.top);
  const int offset = static_cast<int>(draw->itemID - static_cast<UINT>(firstCommandId));
  std::unique_ptr<ImageFixer> fixer;
  if (offset >= FitModeExact && offset <= FitModeBestFit) fixer = CreateImageFixer(offset);

  fw::GpGraphicsOwner target;
  if (gp::GdipCreateFromHDC(draw->hDC, target.put()) != Gdiplus::Ok) return E_FAIL;
  fw::GpBitmapOwner offscreen;
  if (gp::GdipCreateBitmapFromGraphics(static_cast<INT>(width), static_cast<INT>(height), target.get(),
                                       offscreen.put()) != Gdiplus::Ok) {
    return E_FAIL;
  }

  GpImage* own = item->image.get();
  const Scale scale = ImageScale(target.get(), own);
  float imageWidth = static_cast<float>(PixelWidth(own)) * scale.x;
  if (static_cast<float>(imageColumnWidth) >= imageWidth) imageWidth = static_cast<float>(imageColumnWidth);
  GpImage* picture = own;
  fw::GpBitmapOwner fitted;
  if (own && fixer) {
    float dpiX = 0;
    float previewHeightF = previewRowHeight;
    const float ownHeight = static_cast<float>(PixelHeight(own)) * scale.y;
    if (gp::GdipGetDpiX(target.get(), &dpiX) == Gdiplus::Ok && ownHeight > 0) {
      LimitPreviewSize(&imageWidth, &previewHeightF, dpiX, imageWidth / ownHeight);
      if (fixer->MakePreview(own, &fitted, static_cast<int32_t>(imageWidth),
                             static_cast<int32_t>(previewHeightF))) {
        picture = fitted.get();
      }
    }
  }

  fw::GpGraphicsOwner surface;
  if (gp::GdipGetImageGraphicsContext(offscreen.get(), surface.put()) != Gdiplus::Ok) return E_FAIL;
  const bool selected = (draw->itemState & ODS_SELECTED) != 0;
  fw::GpSolidFillOwner background;
  if (gp::GdipCreateSolidFill(SystemColorArgb(selected ? COLOR_HIGHLIGHT : COLOR_MENU),
                              background.put()) != Gdiplus::Ok ||
      gp::GdipFillRectangle(surface.get(), background.get(), 0, 0, width, height) != Gdiplus::Ok) {
    return E_FAIL;
  }

  if (picture) {
    const float drawnWidth = static_cast<float>(PixelWidth(picture)) * scale.x;
    const float drawnHeight = static_cast<float>(PixelHeight(picture)) * scale.y;
    gp::GdipDrawImageRectRect(surface.get(), picture, static_cast<float>(imageColumnWidth) + 4.0f - drawnWidth,
                              (height - drawnHeight) / 2.0f, drawnWidth, drawnHeight, 0, 0,
                              static_cast<float>(PixelWidth(picture)),
                              static_cast<float>(PixelHeight(picture)), Gdiplus::UnitPixel, nullptr,
                              nullptr, nullptr);
  }

  fw::GpFontOwner font = MenuFont(surface.get());
  if (font) {
    fw::GpStringFormatOwner format;
    fw::GpSolidFillOwner textBrush;
    if (gp::GdipCreateStringFormat(0, LANG_NEUTRAL, format.put()) == Gdiplus::Ok &&
        gp::GdipSetStringFormatLineAlign(format.get(), Gdiplus::StringAlignmentCenter) == Gdiplus::Ok &&
        gp::GdipCreateSolidFill(SystemColorArgb(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT),
                                textBrush.put()) == Gdiplus::Ok) {
      const Gdiplus::RectF layout(imageWidth + 8.0f, 0, width - (imageWidth + 8.0f), height);
      gp::GdipDrawString(surface.get(), item->text.c_str(), -1, font.get(), &layout, format.get(),
                         textBrush.get());
    }
  }

  if (gp::GdipDrawImagePointRect(target.get(), offscreen.get(), left, top, 0, 0, width, height,
                                 Gdiplus::UnitPixel) != Gdiplus::Ok) {
    return E_FAIL;
  }
  *result = TRUE;
  return S_OK;
}

}  // namespace framewise
