#include "tests/support/fault_injection.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <shlobj.h>

namespace testsupport {
namespace faults {

int g_calls = 0;
int g_failAt = 0;
bool g_armed = false;
const char* g_failed = "";

namespace {

namespace gp = Gdiplus::DllExports;

bool FailNow(const char* what) {
  if (!g_armed || ++g_calls != g_failAt) return false;
  g_failed = what;
  return true;
}

#define FRAMEWISE_FAULTY_GDIP(name, params, args)                    \
  decltype(&gp::name) real_##name = nullptr;                         \
  Gdiplus::GpStatus WINGDIPAPI name params {                         \
    return FailNow(#name) ? Gdiplus::OutOfMemory : real_##name args; \
  }
FRAMEWISE_FAULTY_GDIP(GdipLoadImageFromFile, (const WCHAR* f, Gdiplus::GpImage** i), (f, i))
FRAMEWISE_FAULTY_GDIP(GdipCreateBitmapFromScan0,
                      (INT w, INT h, INT s, Gdiplus::PixelFormat f, BYTE* p, Gdiplus::GpBitmap** b),
                      (w, h, s, f, p, b))
FRAMEWISE_FAULTY_GDIP(GdipBitmapLockBits,
                      (Gdiplus::GpBitmap * b, const Gdiplus::GpRect* r, UINT m,
                       Gdiplus::PixelFormat f, Gdiplus::BitmapData* d),
                      (b, r, m, f, d))
FRAMEWISE_FAULTY_GDIP(GdipGetImageGraphicsContext, (Gdiplus::GpImage * i, Gdiplus::GpGraphics** g),
                      (i, g))
FRAMEWISE_FAULTY_GDIP(GdipSaveImageToFile,
                      (Gdiplus::GpImage * i, const WCHAR* f, const CLSID* c,
                       const Gdiplus::EncoderParameters* p),
                      (i, f, c, p))
FRAMEWISE_FAULTY_GDIP(GdipGetImageWidth, (Gdiplus::GpImage * i, UINT* w), (i, w))
FRAMEWISE_FAULTY_GDIP(GdipGetImageHeight, (Gdiplus::GpImage * i, UINT* h), (i, h))
FRAMEWISE_FAULTY_GDIP(GdipGetImagePixelFormat, (Gdiplus::GpImage * i, Gdiplus::PixelFormat* f),
                      (i, f))
FRAMEWISE_FAULTY_GDIP(GdipGetImageType, (Gdiplus::GpImage * i, Gdiplus::ImageType* t), (i, t))
FRAMEWISE_FAULTY_GDIP(GdipFillRectangle,
                      (Gdiplus::GpGraphics * g, Gdiplus::GpBrush* b, Gdiplus::REAL x,
                       Gdiplus::REAL y, Gdiplus::REAL w, Gdiplus::REAL h),
                      (g, b, x, y, w, h))
FRAMEWISE_FAULTY_GDIP(GdipGraphicsClear, (Gdiplus::GpGraphics * g, Gdiplus::ARGB c), (g, c))
FRAMEWISE_FAULTY_GDIP(GdipCreateSolidFill, (Gdiplus::ARGB c, Gdiplus::GpSolidFill** b), (c, b))
FRAMEWISE_FAULTY_GDIP(GdipSetSolidFillColor, (Gdiplus::GpSolidFill * b, Gdiplus::ARGB c), (b, c))
FRAMEWISE_FAULTY_GDIP(GdipDrawString,
                      (Gdiplus::GpGraphics * g, const WCHAR* t, INT n, const Gdiplus::GpFont* f,
                       const Gdiplus::RectF* r, const Gdiplus::GpStringFormat* s,
                       const Gdiplus::GpBrush* b),
                      (g, t, n, f, r, s, b))
FRAMEWISE_FAULTY_GDIP(GdipCreateStringFormat, (INT a, LANGID l, Gdiplus::GpStringFormat** s),
                      (a, l, s))
FRAMEWISE_FAULTY_GDIP(GdipCreateFont,
                      (const Gdiplus::GpFontFamily* f, Gdiplus::REAL e, INT s, Gdiplus::Unit u,
                       Gdiplus::GpFont** o),
                      (f, e, s, u, o))
FRAMEWISE_FAULTY_GDIP(GdipSetStringFormatAlign,
                      (Gdiplus::GpStringFormat * s, Gdiplus::StringAlignment a), (s, a))
FRAMEWISE_FAULTY_GDIP(GdipSetStringFormatLineAlign,
                      (Gdiplus::GpStringFormat * s, Gdiplus::StringAlignment a), (s, a))
FRAMEWISE_FAULTY_GDIP(GdipGetImageEncodersSize, (UINT * n, UINT* s), (n, s))
FRAMEWISE_FAULTY_GDIP(GdipGetImageEncoders, (UINT n, UINT s, Gdiplus::ImageCodecInfo* e), (n, s, e))
FRAMEWISE_FAULTY_GDIP(GdipImageRotateFlip, (Gdiplus::GpImage * i, Gdiplus::RotateFlipType t),
                      (i, t))
FRAMEWISE_FAULTY_GDIP(GdipCreatePen1,
                      (Gdiplus::ARGB c, Gdiplus::REAL w, Gdiplus::GpUnit u, Gdiplus::GpPen** p),
                      (c, w, u, p))
FRAMEWISE_FAULTY_GDIP(GdipDrawRectangle,
                      (Gdiplus::GpGraphics * g, Gdiplus::GpPen* p, Gdiplus::REAL x, Gdiplus::REAL y,
                       Gdiplus::REAL w, Gdiplus::REAL h),
                      (g, p, x, y, w, h))
FRAMEWISE_FAULTY_GDIP(GdipCreateBitmapFromGraphics,
                      (INT w, INT h, Gdiplus::GpGraphics* g, Gdiplus::GpBitmap** b), (w, h, g, b))
#undef FRAMEWISE_FAULTY_GDIP

decltype(&SHGetFolderPathAndSubDirW) real_SHGetFolderPathAndSubDirW = nullptr;
HRESULT WINAPI FaultySHGetFolderPathAndSubDirW(HWND w, int f, HANDLE t, DWORD d, LPCWSTR sub,
                                               LPWSTR path) {
  if (FailNow("SHGetFolderPathAndSubDirW")) return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  return real_SHGetFolderPathAndSubDirW(w, f, t, d, sub, path);
}

decltype(&CreateFileW) real_CreateFileW = nullptr;
HANDLE WINAPI FaultyCreateFileW(LPCWSTR n, DWORD a, DWORD s, LPSECURITY_ATTRIBUTES sa, DWORD c,
                                DWORD f, HANDLE t) {
  if (FailNow("CreateFileW")) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  return real_CreateFileW(n, a, s, sa, c, f, t);
}
decltype(&MoveFileExW) real_MoveFileExW = nullptr;
BOOL WINAPI FaultyMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
  if (FailNow("MoveFileExW")) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  return real_MoveFileExW(from, to, flags);
}
decltype(&GetTempFileNameW) real_GetTempFileNameW = nullptr;
UINT WINAPI FaultyGetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR name) {
  if (FailNow("GetTempFileNameW")) {
    SetLastError(ERROR_DISK_FULL);
    return 0;
  }
  return real_GetTempFileNameW(path, prefix, unique, name);
}

}  // namespace

Injector::Injector() {
#define FRAMEWISE_PATCH_GDIP(name) \
  Add("gdiplus.dll", #name, reinterpret_cast<void*>(&name), reinterpret_cast<void**>(&real_##name))
  FRAMEWISE_PATCH_GDIP(GdipLoadImageFromFile);
  FRAMEWISE_PATCH_GDIP(GdipCreateBitmapFromScan0);
  FRAMEWISE_PATCH_GDIP(GdipBitmapLockBits);
  FRAMEWISE_PATCH_GDIP(GdipGetImageGraphicsContext);
  FRAMEWISE_PATCH_GDIP(GdipSaveImageToFile);
  FRAMEWISE_PATCH_GDIP(GdipGetImageWidth);
  FRAMEWISE_PATCH_GDIP(GdipGetImageHeight);
  FRAMEWISE_PATCH_GDIP(GdipGetImagePixelFormat);
  FRAMEWISE_PATCH_GDIP(GdipGetImageType);
  FRAMEWISE_PATCH_GDIP(GdipFillRectangle);
  FRAMEWISE_PATCH_GDIP(GdipGraphicsClear);
  FRAMEWISE_PATCH_GDIP(GdipCreateSolidFill);
  FRAMEWISE_PATCH_GDIP(GdipSetSolidFillColor);
  FRAMEWISE_PATCH_GDIP(GdipDrawString);
  FRAMEWISE_PATCH_GDIP(GdipCreateStringFormat);
  FRAMEWISE_PATCH_GDIP(GdipCreateFont);
  FRAMEWISE_PATCH_GDIP(GdipSetStringFormatAlign);
  FRAMEWISE_PATCH_GDIP(GdipSetStringFormatLineAlign);
  FRAMEWISE_PATCH_GDIP(GdipGetImageEncodersSize);
  FRAMEWISE_PATCH_GDIP(GdipGetImageEncoders);
  FRAMEWISE_PATCH_GDIP(GdipImageRotateFlip);
  FRAMEWISE_PATCH_GDIP(GdipCreatePen1);
  FRAMEWISE_PATCH_GDIP(GdipDrawRectangle);
  FRAMEWISE_PATCH_GDIP(GdipCreateBitmapFromGraphics);
#undef FRAMEWISE_PATCH_GDIP
  Add("shell32.dll", "SHGetFolderPathAndSubDirW",
      reinterpret_cast<void*>(&FaultySHGetFolderPathAndSubDirW),
      reinterpret_cast<void**>(&real_SHGetFolderPathAndSubDirW));
  Add("kernel32.dll", "CreateFileW", reinterpret_cast<void*>(&FaultyCreateFileW),
      reinterpret_cast<void**>(&real_CreateFileW));
  Add("kernel32.dll", "MoveFileExW", reinterpret_cast<void*>(&FaultyMoveFileExW),
      reinterpret_cast<void**>(&real_MoveFileExW));
  Add("kernel32.dll", "GetTempFileNameW", reinterpret_cast<void*>(&FaultyGetTempFileNameW),
      reinterpret_cast<void**>(&real_GetTempFileNameW));
}

void Injector::Add(const char* dll, const char* name, void* replacement, void** real) {
  patches_.push_back(std::make_unique<testsupport::ImportPatch>(dll, name, replacement));
  *real = patches_.back()->real();
  complete_ = complete_ && *real != nullptr;
}

}  // namespace faults
}  // namespace testsupport
