// Windows and bitmaps the tests draw into: a window standing in for the shell's, and a
// memory DIB for owner-drawn items.
#pragma once

#include <windows.h>

#include "framework/unique_resource.h"
#include "framework/win_owners.h"

namespace testsupport {

// Owns a window of this thread: destroyed when the owner goes.
struct WindowDeleter {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = fw::UniqueResource<HWND, WindowDeleter>;

// A visible top-level window of this thread at the given place on the screen, standing in
// for the shell's window that owns a menu; null on failure.
HWND CreateShellWindow(int x, int y, int width, int height);

// Whether the font a control draws with (WM_GETFONT) is underlined.
bool DrawsUnderlined(HWND control);

// A 32-bit top-down DIB selected into a memory DC, for painting owner-drawn items into;
// everything is put back and freed when the object goes.
class MemoryDib {
 public:
  MemoryDib(int width, int height);
  MemoryDib(const MemoryDib&) = delete;
  MemoryDib& operator=(const MemoryDib&) = delete;
  HDC dc() const { return dc_.get(); }
  // The pixels as 0x00RRGGBB, after flushing pending drawing.
  const DWORD* pixels() const;

 private:
  void* bits_ = nullptr;
  fw::UniqueMemoryDc dc_;
  fw::UniqueBitmap dib_;
  fw::ScopedSelect selected_;
};

}  // namespace testsupport
