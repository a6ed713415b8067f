// Painting submenu items into memory and reading their pixels: shared by the drawing
// tests and the look tests.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/handler_fixture.h"

namespace menupainting {

// A COLORREF as the DIB stores it: 0x00RRGGBB.
inline DWORD DibColour(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// Paints one item into a 32-bit DIB and returns its pixels.
struct Painted {
  std::vector<DWORD> pixels;
  int width = 0;
  int height = 0;
  DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

inline Painted Paint(testsupport::Handler& h, int offset, bool selected, int width, int height,
                     LRESULT* result = nullptr, UINT moreState = 0) {
  Painted out;
  out.width = width;
  out.height = height;
  testsupport::MemoryDib dib(width, height);
  DRAWITEMSTRUCT d = {};
  d.CtlType = ODT_MENU;
  d.itemID = 100 + offset;
  d.itemState = (selected ? ODS_SELECTED : 0) | moreState;
  d.hDC = dib.dc();
  d.rcItem = {0, 0, width, height};
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), result), S_OK);
  const DWORD* p = dib.pixels();
  out.pixels.assign(p, p + static_cast<size_t>(width) * height);
  return out;
}

inline DWORD Rgb(int index) { return DibColour(GetSysColor(index)); }  // a system colour

// Text pixels of one colour right of `x0`: how many, and the rows they span.
struct Ink {
  int count = 0;
  int top = -1;
  int bottom = -1;
};
inline Ink InkOf(const Painted& p, DWORD colour, int x0) {
  Ink ink;
  for (int y = 0; y < p.height; ++y) {
    for (int x = x0; x < p.width; ++x) {
      if (p.at(x, y) != colour) continue;
      ++ink.count;
      if (ink.top < 0) ink.top = y;
      ink.bottom = y;
    }
  }
  return ink;
}

// Distinct system colours for the drawing tests, put back when the test ends. Under
// Wine's default scheme the menu, window and menu-bar colours are all white, so a
// drawing that took the wrong one would not show.
class DistinctMenuColours {
 public:
  DistinctMenuColours()
      : colours_({{COLOR_MENU, RGB(236, 228, 200)},
                  {COLOR_HIGHLIGHT, RGB(24, 64, 160)},
                  {COLOR_MENUTEXT, RGB(140, 20, 20)},
                  {COLOR_HIGHLIGHTTEXT, RGB(250, 240, 90)},
                  {COLOR_GRAYTEXT, RGB(40, 150, 70)},
                  {COLOR_WINDOW, RGB(200, 250, 250)},
                  {COLOR_WINDOWTEXT, RGB(90, 0, 140)},
                  {COLOR_MENUBAR, RGB(250, 200, 240)},
                  {COLOR_BTNFACE, RGB(180, 180, 150)},
                  {COLOR_BTNTEXT, RGB(0, 90, 90)}}) {}
  bool applied() const { return colours_.applied(); }

 private:
  testsupport::SystemColours colours_;
};

}  // namespace menupainting
