#include "tests/support/screen_objects.h"

namespace testsupport {

bool DrawsUnderlined(HWND control) {
  const HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
  LOGFONTW lf = {};
  return font && GetObjectW(font, sizeof(lf), &lf) == sizeof(lf) && lf.lfUnderline;
}

HWND CreateShellWindow(int x, int y, int width, int height) {
  // A plain static control as a top-level window: no class of our own to register.
  return CreateWindowExW(0, L"STATIC", L"Shell window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                         width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

namespace {

HBITMAP CreateTopDownDib(HDC dc, int width, int height, void** bits) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  return CreateDIBSection(dc, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}

}  // namespace

MemoryDib::MemoryDib(int width, int height)
    : dc_(CreateCompatibleDC(nullptr)),
      dib_(CreateTopDownDib(dc_.get(), width, height, &bits_)),
      selected_(dc_.get(), dib_.get()) {}

const DWORD* MemoryDib::pixels() const {
  GdiFlush();
  return static_cast<const DWORD*>(bits_);
}

}  // namespace testsupport
