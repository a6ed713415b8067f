// Opens the About box, captures its window into a PNG file and closes it.
// Usage: about_screenshot FILE.png
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cstdio>
#include <string>

#include "framework/app.h"
#include "framework/win_owners.h"
#include "settings/about_box.h"

namespace {

std::wstring g_output;
bool g_saved = false;

bool PngEncoder(CLSID* clsid) {
  UINT count = 0, size = 0;
  if (Gdiplus::GetImageEncodersSize(&count, &size) != Gdiplus::Ok || size == 0) return false;
  std::string buffer(size, '\0');
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(&buffer[0]);
  if (Gdiplus::GetImageEncoders(count, size, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(codecs[i].MimeType, L"image/png") == 0) {
      *clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

// Copies the window's client area, as on the screen, into a PNG file. (The frame is left
// out: without a window manager it is not drawn the way a desktop draws it.)
bool Capture(HWND window, const std::wstring& path) {
  RECT r;
  if (!GetClientRect(window, &r)) return false;
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  const int width = r.right - r.left, height = r.bottom - r.top;
  fw::WindowDc screen(nullptr);
  if (!screen) return false;
  fw::UniqueMemoryDc memory(CreateCompatibleDC(screen.get()));
  fw::UniqueBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
  if (!memory || !bitmap) return false;
  {
    fw::ScopedSelect select(memory.get(), bitmap.get());
    if (!BitBlt(memory.get(), 0, 0, width, height, screen.get(), r.left, r.top, SRCCOPY)) return false;
  }
  CLSID png;
  if (!PngEncoder(&png)) return false;
  Gdiplus::Bitmap image(bitmap.get(), nullptr);
  if (image.GetLastStatus() != Gdiplus::Ok) return false;
  return image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

// Waits for the dialog to be painted, captures it, then closes it with Cancel.
void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD) {
  HWND dialog = GetActiveWindow();
  if (!dialog) return;
  KillTimer(nullptr, id);
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  g_saved = Capture(dialog, g_output);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: about_screenshot FILE.png\n");
    return 2;
  }
  g_output = argv[1];
  SetProcessDPIAware();
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return 1;
  SetTimer(nullptr, 0, 700, &OnTimer);
  framewise::ShowAboutBox(nullptr);
  Gdiplus::GdiplusShutdown(token);
  if (!g_saved) {
    fwprintf(stderr, L"capture failed\n");
    return 1;
  }
  return 0;
}
