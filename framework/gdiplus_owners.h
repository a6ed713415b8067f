// Owners for GDI+ flat-API objects and for a GDI+ start-up.
#pragma once

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include "framework/unique_resource.h"

namespace fw {

namespace gp = Gdiplus::DllExports;

struct GpImageDeleter { void operator()(Gdiplus::GpImage* p) const { gp::GdipDisposeImage(p); } };
struct GpGraphicsDeleter { void operator()(Gdiplus::GpGraphics* p) const { gp::GdipDeleteGraphics(p); } };
struct GpBrushDeleter { void operator()(Gdiplus::GpBrush* p) const { gp::GdipDeleteBrush(p); } };
struct GpPenDeleter { void operator()(Gdiplus::GpPen* p) const { gp::GdipDeletePen(p); } };
struct GpAttributesDeleter {
  void operator()(Gdiplus::GpImageAttributes* p) const { gp::GdipDisposeImageAttributes(p); }
};
struct GpFontDeleter { void operator()(Gdiplus::GpFont* p) const { gp::GdipDeleteFont(p); } };
struct GpFontFamilyDeleter {
  void operator()(Gdiplus::GpFontFamily* p) const { gp::GdipDeleteFontFamily(p); }
};
struct GpStringFormatDeleter {
  void operator()(Gdiplus::GpStringFormat* p) const { gp::GdipDeleteStringFormat(p); }
};

using GpImageOwner = UniqueResource<Gdiplus::GpImage*, GpImageDeleter>;
using GpGraphicsOwner = UniqueResource<Gdiplus::GpGraphics*, GpGraphicsDeleter>;
using GpPenOwner = UniqueResource<Gdiplus::GpPen*, GpPenDeleter>;
using GpSolidFillOwner = UniqueResource<Gdiplus::GpSolidFill*, GpBrushDeleter>;
using GpAttributesOwner = UniqueResource<Gdiplus::GpImageAttributes*, GpAttributesDeleter>;
using GpFontOwner = UniqueResource<Gdiplus::GpFont*, GpFontDeleter>;
using GpFontFamilyOwner = UniqueResource<Gdiplus::GpFontFamily*, GpFontFamilyDeleter>;
using GpStringFormatOwner = UniqueResource<Gdiplus::GpStringFormat*, GpStringFormatDeleter>;

// A bitmap is an image: the same deleter, but typed so that bitmap-only calls accept it.
struct GpBitmapDeleter { void operator()(Gdiplus::GpBitmap* p) const { gp::GdipDisposeImage(p); } };
using GpBitmapOwner = UniqueResource<Gdiplus::GpBitmap*, GpBitmapDeleter>;

// A GDI+ start-up token, shut down when the owner goes.
struct GdiplusTokenDeleter { void operator()(ULONG_PTR t) const { Gdiplus::GdiplusShutdown(t); } };
using GdiplusToken = UniqueResource<ULONG_PTR, GdiplusTokenDeleter>;

// Starts GDI+ version 1 with the default input; returns an empty token on failure.
inline GdiplusToken StartGdiplus() {
  Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, nothing suppressed
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return GdiplusToken();
  return GdiplusToken(token);
}

}  // namespace fw
