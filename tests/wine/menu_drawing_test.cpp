// Owner-drawn items through HandleMenuMsg2: measured sizes, colours of real WM_DRAWITEM
// paints into a memory DC, the fallback when a preview cannot be fitted, and no leaks.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/handler_fixture.h"
#include "leak_checks.h"
#include "menu_painting.h"
#include "shellext/menu_support.h"

using menupainting::DistinctMenuColours;
using menupainting::Ink;
using menupainting::InkOf;
using menupainting::Paint;
using menupainting::Painted;
using menupainting::Rgb;
using testsupport::Handler;
using testsupport::TempDir;

namespace {

const RECT kScreen = {0, 0, 1280, 1024};

class MenuDrawingTest : public testing::Test {
 protected:
  // A handler on a picture of the given size, entry added with first id 100, submenu open.
  void Open(Handler& h, int width, int height) {
    const std::wstring path =
        dir.File(L"p" + std::to_wstring(width) + L"x" + std::to_wstring(height) + L".png");
    ASSERT_TRUE(testsupport::WritePicture(path, width, height, L"image/png"));
    ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
    AddEntry(h);
    LRESULT result;
    ASSERT_EQ(
        h.menu->HandleMenuMsg2(WM_INITMENUPOPUP,
                               reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &result),
        S_OK);
  }

  // Adds the entry (first id 100) to a new shell menu; the submenu is not opened yet.
  void AddEntry(Handler& h) {
    menu.reset(CreatePopupMenu());
    ASSERT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 100, 400, CMF_NORMAL),
              MAKE_HRESULT(0, 0, 14));
  }

  MEASUREITEMSTRUCT Measure(Handler& h, int offset, LRESULT* result = nullptr) {
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_MENU;
    m.itemID = 100 + offset;
    m.itemWidth = 777;
    m.itemHeight = 777;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), result),
              S_OK);
    return m;
  }

  TempDir dir;
  fw::UniqueMenu menu;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  // No visual style for menus: the items take the system colours (the looks with a style
  // are in menu_look_test.cpp). Made before and gone after every handler of a test.
  testsupport::MenuStyleOverride noStyle{{}};
};

TEST_F(MenuDrawingTest, WorkedSizesAt96Dpi) {
  // Text-only width of an item: a picture whose pixels do not decode has no preview column.
  Handler plain;
  const std::wstring unreadable = dir.File(L"unreadable.jpg");
  ASSERT_TRUE(testsupport::WriteUndecodableJpeg(unreadable, 300, 200));
  ASSERT_EQ(plain.InitializeWithFiles({unreadable}), S_OK);
  AddEntry(plain);
  LRESULT opened;
  ASSERT_EQ(plain.menu->HandleMenuMsg2(
                WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &opened),
            S_OK);
  EXPECT_EQ(plain->imageColumnWidth, 0u);
  const MEASUREITEMSTRUCT helpAlone = Measure(plain, 10);
  const UINT textWidth = helpAlone.itemWidth - 12;
  const UINT textHeight = helpAlone.itemHeight - 8;

  Handler h;
  Open(h, 300, 200);  // aspect 1.5: the preview is 288 x 192
  LRESULT result = 0;
  const MEASUREITEMSTRUCT left = Measure(h, 3, &result);
  EXPECT_EQ(result, TRUE);
  EXPECT_EQ(framewise::previewRowHeight, 144.0f);
  EXPECT_EQ(h->imageColumnWidth, 216u);
  EXPECT_EQ(left.itemHeight, 152u);
  const MEASUREITEMSTRUCT middle = Measure(h, 4);
  EXPECT_EQ(middle.itemHeight, 152u);
  EXPECT_GT(middle.itemWidth, left.itemWidth);  // a longer text, the same column
  // Every item's text starts after the column, whatever order the menu measures them in.
  const MEASUREITEMSTRUCT help = Measure(h, 10);
  EXPECT_EQ(help.itemWidth, textWidth + 216 + 12);
  EXPECT_EQ(help.itemHeight, textHeight + 8);
  // The text's own width, measured here in the menu's font: the item is that, the
  // column, 8 pixels before the text and 4 after it.
  const fw::WindowDc screen(nullptr);
  ASSERT_TRUE(screen);
  const HGDIOBJ old = SelectObject(screen.get(), h->menuLook.font());
  RECT box = {0, 0, 0, 0};
  ASSERT_TRUE(DrawTextW(screen.get(), h->menuItems[10]->menuString.c_str(), -1, &box,
                        DT_CALCRECT | DT_LEFT | DT_SINGLELINE));
  SelectObject(screen.get(), old);
  EXPECT_EQ(help.itemWidth, static_cast<UINT>(box.right - box.left) + 216 + 8 + 4);
  EXPECT_EQ(textWidth, static_cast<UINT>(box.right - box.left));
}

// A text that cannot be measured takes no room: the row is the column and the gaps
// around the text, 8 pixels before it and 4 after.
using DrawTextFunction = int(WINAPI*)(HDC, LPCWSTR, int, LPRECT, UINT);
DrawTextFunction g_realDrawText = nullptr;
int WINAPI NoMeasuring(HDC dc, LPCWSTR text, int count, LPRECT box, UINT format) {
  if (format & DT_CALCRECT) return 0;
  return g_realDrawText(dc, text, count, box, format);
}

TEST_F(MenuDrawingTest, ATextThatCannotBeMeasuredTakesNoRoom) {
  const testsupport::ImportPatch measure("user32.dll", "DrawTextW",
                                         reinterpret_cast<void*>(&NoMeasuring));
  ASSERT_NE(measure.real(), nullptr);
  g_realDrawText = measure.real_as<DrawTextFunction>();
  Handler h;
  Open(h, 300, 200);  // aspect 1.5: a 216-pixel column, rows of 144 + 8
  EXPECT_EQ(Measure(h, 3).itemWidth, 216u + 8 + 4);
  EXPECT_EQ(Measure(h, 3).itemHeight, 152u);
  EXPECT_EQ(Measure(h, 10).itemWidth, 216u + 8 + 4);
}

TEST_F(MenuDrawingTest, SixInchLimit) {
  Handler five;
  Open(five, 1000, 200);  // aspect 5: 576 x 115.2
  EXPECT_EQ(Measure(five, 4).itemHeight, 123u);
  EXPECT_EQ(five->imageColumnWidth, 576u);
  Handler four;
  Open(four, 800, 200);  // aspect 4: exactly at the limit
  EXPECT_EQ(Measure(four, 4).itemHeight, 152u);
  EXPECT_EQ(four->imageColumnWidth, 576u);
}

Gdiplus::GpStatus WINAPI NoResolution(Gdiplus::GpImage*, Gdiplus::REAL* dpi) {
  *dpi = 0;
  return Gdiplus::Ok;
}

// The column is the preview copy's size on the screen: a copy whose resolution differs
// from the screen's is scaled by the screen's over its own, each way.
TEST_F(MenuDrawingTest, PreviewColumnFollowsTheCopysResolution) {
  const std::wstring path = dir.File(L"p300x200.png");
  ASSERT_TRUE(testsupport::WritePicture(path, 300, 200, L"image/png"));
  const struct {
    float dpiX, dpiY;  // of the copy; the screen has 96 both ways
    UINT column;
  } cases[] = {
      {96, 96, 216},    // as made: 288 x 192, shown 216 x 144
      {48, 96, 432},    // twice as wide on the screen: aspect 3
      {96, 48, 108},    // twice as high: aspect 0.75
      {192, 192, 216},  // half the size both ways: the aspect, and the row, stay
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpiX << " x " << c.dpiY << " dpi");
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
    AddEntry(h);
    h->DecodePreview();  // what the submenu's opening does first
    ASSERT_TRUE(h->preview);
    ASSERT_EQ(Gdiplus::DllExports::GdipBitmapSetResolution(h->preview.get(), c.dpiX, c.dpiY),
              Gdiplus::Ok);
    LRESULT result;
    ASSERT_EQ(
        h.menu->HandleMenuMsg2(WM_INITMENUPOPUP,
                               reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &result),
        S_OK);
    EXPECT_EQ(h->imageColumnWidth, c.column);
    EXPECT_EQ(Measure(h, 3).itemHeight, 152u);
  }
  // A copy that states no resolution (0 dpi either way) is shown at the screen's.
  for (auto* function : {"GdipGetImageHorizontalResolution", "GdipGetImageVerticalResolution"}) {
    SCOPED_TRACE(function);
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
    AddEntry(h);
    h->DecodePreview();
    ASSERT_TRUE(h->preview);
    testsupport::ImportPatch noResolution("gdiplus.dll", function,
                                          reinterpret_cast<void*>(&NoResolution));
    ASSERT_NE(noResolution.real(), nullptr);
    LRESULT result;
    ASSERT_EQ(
        h.menu->HandleMenuMsg2(WM_INITMENUPOPUP,
                               reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &result),
        S_OK);
    EXPECT_EQ(h->imageColumnWidth, 216u);
    EXPECT_EQ(Measure(h, 3).itemHeight, 152u);
  }
}

TEST_F(MenuDrawingTest, MessagesNotForItsItemsTouchNothing) {
  Handler h;
  Open(h, 300, 200);
  for (UINT id : {99u, 109u, 113u, 100u + 13u, 0xFFFFFFFFu}) {  // 109 is offset 9: no item
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_MENU;
    m.itemID = id;
    m.itemWidth = 777;
    m.itemHeight = 777;
    LRESULT result = 55;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), &result),
              S_OK);
    EXPECT_EQ(m.itemWidth, 777u) << id;
    EXPECT_EQ(result, 55) << id;
  }
  MEASUREITEMSTRUCT button = {};
  button.CtlType = ODT_BUTTON;  // not a menu item
  button.itemID = 103;
  button.itemWidth = 777;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&button), nullptr),
            S_OK);
  EXPECT_EQ(button.itemWidth, 777u);
  // A key typed in another menu: not ours to answer.
  LRESULT result = 55;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MENUCHAR, 'x', 0, &result), S_FALSE);
  EXPECT_EQ(result, MAKELRESULT(0, MNC_IGNORE));
  // A null result still measures.
  const MEASUREITEMSTRUCT measured = Measure(h, 3, nullptr);
  EXPECT_EQ(measured.itemHeight, 152u);
  EXPECT_EQ(h.menu->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&button)), S_OK);
}

TEST_F(MenuDrawingTest, SystemColoursForSelectedPlainAndGreyedItems) {
  DistinctMenuColours colours;
  ASSERT_TRUE(colours.applied());
  // The items are drawn when the submenu opens: the colours are set before.
  Handler h;
  Open(h, 300, 200);
  Measure(h, 3);
  const int other[] = {COLOR_MENU,     COLOR_HIGHLIGHT, COLOR_MENUTEXT,   COLOR_HIGHLIGHTTEXT,
                       COLOR_GRAYTEXT, COLOR_WINDOW,    COLOR_WINDOWTEXT, COLOR_MENUBAR,
                       COLOR_BTNFACE,  COLOR_BTNTEXT};
  for (bool selected : {false, true}) {
    SCOPED_TRACE(selected ? "selected" : "plain");
    LRESULT result = 0;
    const Painted p = Paint(h, 10, selected, 400, 24, &result);  // wider than measured
    EXPECT_EQ(result, TRUE);
    const int backIndex = selected ? COLOR_HIGHLIGHT : COLOR_MENU;
    const int textIndex = selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT;
    EXPECT_EQ(p.at(399, 0), Rgb(backIndex));            // past the measured width
    EXPECT_EQ(p.at(5, 12), Rgb(backIndex));             // the empty image column
    EXPECT_GE(InkOf(p, Rgb(textIndex), 224).count, 3);  // the text, right of the column
    EXPECT_EQ(InkOf(p, Rgb(textIndex), 0).count - InkOf(p, Rgb(textIndex), 220).count, 0);
    for (int index : other) {
      if (index == backIndex || index == textIndex) continue;
      EXPECT_EQ(InkOf(p, Rgb(index), 0).count, 0) << "colour " << index;
    }
  }

  // A picture whose pixels do not decode: its line and its fitting rows are greyed.
  const std::wstring unreadable = dir.File(L"unreadable.jpg");
  ASSERT_TRUE(testsupport::WriteUndecodableJpeg(unreadable, 300, 200));
  Handler greyed;
  ASSERT_EQ(greyed.InitializeWithFiles({unreadable}), S_OK);
  AddEntry(greyed);
  LRESULT opened;
  ASSERT_EQ(greyed.menu->HandleMenuMsg2(
                WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(menu.get(), 0)), 0, &opened),
            S_OK);
  for (int offset : {9, 4}) {
    for (bool selected : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << "offset " << offset << (selected ? " selected" : " plain"));
      const Painted p = Paint(greyed, offset, selected, 400, 24);
      EXPECT_EQ(p.at(399, 0), Rgb(selected ? COLOR_HIGHLIGHT : COLOR_MENU));
      EXPECT_GE(InkOf(p, Rgb(COLOR_GRAYTEXT), 0).count, 3);
      EXPECT_EQ(InkOf(p, Rgb(COLOR_MENUTEXT), 0).count, 0);
      EXPECT_EQ(InkOf(p, Rgb(COLOR_HIGHLIGHTTEXT), 0).count, 0);
    }
  }
}

// The text is centred in the row's height: beside a 144-pixel preview it sits mid-row.
TEST_F(MenuDrawingTest, TextIsCentredBesideThePreview) {
  DistinctMenuColours colours;
  ASSERT_TRUE(colours.applied());
  Handler h;
  Open(h, 300, 200);
  const Painted p = Paint(h, 3, false, 500, 152);
  const Ink ink = InkOf(p, Rgb(COLOR_MENUTEXT), 224);
  ASSERT_GE(ink.count, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 76.0, 4.0)
      << "text rows " << ink.top << " to " << ink.bottom;
  // Left-aligned 8 pixels after the 216-pixel column: its first ink is at x = 224 or just
  // after (a glyph's own side bearing), far left of the item's middle.
  int firstInk = p.width;
  for (int y = 0; y < p.height; ++y) {
    for (int x = 224; x < p.width; ++x) {
      if (p.at(x, y) == Rgb(COLOR_MENUTEXT)) firstInk = std::min(firstInk, x);
    }
  }
  EXPECT_GE(firstInk, 224);
  EXPECT_LE(firstInk, 228);
}

TEST_F(MenuDrawingTest, PreviewIsRightAlignedAndFramed) {
  Handler h;
  Open(h, 300, 200);
  Measure(h, 3);
  const Painted p = Paint(h, 3, false, 500, 152);  // Left: kept part framed at the left
  // The 216 x 144 preview ends at the column edge x = 220, centred: rows 4..147.
  EXPECT_EQ(p.at(3, 76), Rgb(COLOR_MENU));    // its first column is x = 4
  EXPECT_EQ(p.at(4, 76), 0x000000u);          // the outer ring of the preview is black
  EXPECT_EQ(p.at(219, 4), 0x000000u);         // and its last x = 219
  EXPECT_EQ(p.at(220, 76), Rgb(COLOR_MENU));  // right of the column: background
  for (int x : {20, 110, 200}) {              // four rows of background above and below
    EXPECT_EQ(p.at(x, 3), Rgb(COLOR_MENU)) << x;
    EXPECT_EQ(p.at(x, 4), 0x000000u) << x;
    EXPECT_EQ(p.at(x, 147), 0x000000u) << x;
    EXPECT_EQ(p.at(x, 148), Rgb(COLOR_MENU)) << x;
  }
  int orange = 0;
  for (int x = 0; x < 230; ++x) orange += p.at(x, 40) == 0xFF9B00;
  EXPECT_GE(orange, 1);
}

int g_blendsToRefuse = 0;
BOOL(WINAPI* g_realAlphaBlend)
(HDC, int, int, int, int, HDC, int, int, int, int, BLENDFUNCTION) = nullptr;
BOOL WINAPI RefusingAlphaBlend(HDC to, int x, int y, int w, int h, HDC from, int sx, int sy, int sw,
                               int sh, BLENDFUNCTION blend) {
  if (g_blendsToRefuse > 0) {
    --g_blendsToRefuse;
    return FALSE;
  }
  return g_realAlphaBlend(to, x, y, w, h, from, sx, sy, sw, sh, blend);
}

int g_fillsToRefuse = 0;
int(WINAPI* g_realFillRect)(HDC, const RECT*, HBRUSH) = nullptr;
int WINAPI RefusingFillRect(HDC dc, const RECT* rect, HBRUSH brush) {
  if (g_fillsToRefuse > 0) {
    --g_fillsToRefuse;
    return 0;
  }
  return g_realFillRect(dc, rect, brush);
}

int g_memoryDcsToRefuse = 0;
HDC(WINAPI* g_realCreateCompatibleDC)(HDC) = nullptr;
HDC WINAPI RefusingCreateCompatibleDC(HDC dc) {
  if (g_memoryDcsToRefuse > 0) {
    --g_memoryDcsToRefuse;
    return nullptr;
  }
  return g_realCreateCompatibleDC(dc);
}

// An item asked to paint into a rectangle without width or height paints nothing and says
// it could not.
TEST_F(MenuDrawingTest, AnEmptyRectangleIsNotPainted) {
  Handler h;
  Open(h, 300, 200);
  Measure(h, 3);
  testsupport::MemoryDib dib(500, 152);
  for (const RECT& empty : {RECT{0, 0, 0, 152}, RECT{0, 0, 500, 0}, RECT{10, 0, 5, 152}}) {
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_MENU;
    d.itemID = 103;
    d.hDC = dib.dc();
    d.rcItem = empty;
    LRESULT drawn = 0;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), &drawn), E_FAIL);
    EXPECT_EQ(drawn, 0);
  }
}

// An item whose background or preview could not be painted, or that had no memory to
// paint in, reports the failure, and what it painted is not kept: the next paint draws the
// item whole.
TEST_F(MenuDrawingTest, AFailedPaintIsNotKept) {
  testsupport::ImportPatch fill("user32.dll", "FillRect",
                                reinterpret_cast<void*>(&RefusingFillRect));
  testsupport::ImportPatch blend("gdi32.dll", "GdiAlphaBlend",
                                 reinterpret_cast<void*>(&RefusingAlphaBlend));
  testsupport::ImportPatch memoryDc("gdi32.dll", "CreateCompatibleDC",
                                    reinterpret_cast<void*>(&RefusingCreateCompatibleDC));
  ASSERT_NE(fill.real(), nullptr);
  ASSERT_NE(blend.real(), nullptr);
  ASSERT_NE(memoryDc.real(), nullptr);
  g_realFillRect = fill.real_as<decltype(g_realFillRect)>();
  g_realAlphaBlend = blend.real_as<decltype(g_realAlphaBlend)>();
  g_realCreateCompatibleDC = memoryDc.real_as<decltype(g_realCreateCompatibleDC)>();
  for (int* refused : {&g_fillsToRefuse, &g_blendsToRefuse, &g_memoryDcsToRefuse}) {
    SCOPED_TRACE(refused == &g_fillsToRefuse    ? "background"
                 : refused == &g_blendsToRefuse ? "preview"
                                                : "memory");
    Handler h;
    Open(h, 300, 200);
    Measure(h, 3);
    testsupport::MemoryDib dib(500, 152);
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_MENU;
    d.itemID = 103;
    d.hDC = dib.dc();
    d.rcItem = {0, 0, 500, 152};
    LRESULT drawn = 0;
    *refused = 1;
    EXPECT_TRUE(
        FAILED(h.menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), &drawn)));
    EXPECT_EQ(drawn, 0);
    *refused = 0;
    const Painted p = Paint(h, 3, false, 500, 152);
    EXPECT_EQ(p.at(3, 76), Rgb(COLOR_MENU));
    EXPECT_EQ(p.at(4, 76), 0x000000u);  // the preview's outer ring
    EXPECT_EQ(p.at(499, 0), Rgb(COLOR_MENU));
  }
}

Gdiplus::GpStatus WINGDIPAPI FailingCreatePen(Gdiplus::ARGB, Gdiplus::REAL, Gdiplus::GpUnit,
                                              Gdiplus::GpPen** pen) {
  *pen = nullptr;
  return Gdiplus::OutOfMemory;
}

TEST_F(MenuDrawingTest, UnfittablePreviewDrawsTheItemsOwnCopy) {
  Handler h;
  Open(h, 300, 200);
  const Painted fitted = Paint(h, 3, false, 500, 200);
  menu.reset();
  Handler unfit;
  {
    // The framed previews are made when the submenu opens: make them fail there.
    testsupport::ImportPatch pen("gdiplus.dll", "GdipCreatePen1",
                                 reinterpret_cast<void*>(&FailingCreatePen));
    ASSERT_NE(pen.real(), nullptr);
    Open(unfit, 300, 200);
  }
  LRESULT result = 0;
  const Painted own = Paint(unfit, 3, false, 500, 200, &result);
  EXPECT_EQ(result, TRUE);
  // The item's own preview is 288 wide, undarkened, right-aligned at x = 220.
  EXPECT_NE(own.at(200, 100), 0u);
  EXPECT_NE(own.pixels, fitted.pixels);
  int orange = 0;
  for (int x = 0; x < 220; ++x) orange += own.at(x, 100) == 0xFF9B00;
  EXPECT_EQ(orange, 0);
}

int g_loads = 0;
Gdiplus::GpStatus(WINGDIPAPI* g_realLoad)(const WCHAR*, Gdiplus::GpImage**) = nullptr;
Gdiplus::GpStatus WINGDIPAPI CountingLoad(const WCHAR* file, Gdiplus::GpImage** image) {
  ++g_loads;
  return g_realLoad(file, image);
}

// Painting copies the previews drawn when the submenu opened: no GDI+ surface per paint.
int g_surfaces = 0;
Gdiplus::GpStatus(WINGDIPAPI* g_realImageSurface)(Gdiplus::GpImage*,
                                                  Gdiplus::GpGraphics**) = nullptr;
Gdiplus::GpStatus WINGDIPAPI CountingImageSurface(Gdiplus::GpImage* image,
                                                  Gdiplus::GpGraphics** graphics) {
  ++g_surfaces;
  return g_realImageSurface(image, graphics);
}

const int kCycles = testsupport::RunsUnderEmulator() ? 100 : 1000;

TEST_F(MenuDrawingTest, DrawingNeverReadsTheFileAndLeaksNothing) {
  Handler h;
  Open(h, 640, 480);
  testsupport::ImportPatch load("gdiplus.dll", "GdipLoadImageFromFile",
                                reinterpret_cast<void*>(&CountingLoad));
  ASSERT_NE(load.real(), nullptr);
  g_realLoad = load.real_as<decltype(g_realLoad)>();
  testsupport::ImportPatch surface("gdiplus.dll", "GdipGetImageGraphicsContext",
                                   reinterpret_cast<void*>(&CountingImageSurface));
  ASSERT_NE(surface.real(), nullptr);
  g_realImageSurface = surface.real_as<decltype(g_realImageSurface)>();
  g_loads = 0;
  g_surfaces = 0;
  // Warm-up: each item's first paint in each form keeps that form for later paints.
  for (int i = 0; i < 12; ++i) {
    Measure(h, 2 + (i % 3) * 2);
    Paint(h, 2 + (i % 3) * 2, i % 2, 300, 152);
    Paint(h, 12, false, 300, 24);
  }
  const auto before = testsupport::CurrentResourceCounts();
  for (int i = 0; i < kCycles; ++i) {
    Measure(h, 2 + (i % 3) * 2);  // Top, Middle, Bottom
    Paint(h, 2 + (i % 3) * 2, i % 2, 300, 152);
    Measure(h, 12);
    Paint(h, 12, false, 300, 24);
  }
  const auto after = testsupport::CurrentResourceCounts();
  EXPECT_EQ(g_loads, 0);
  EXPECT_EQ(g_surfaces, 0);
  printf("[ leaks    ] %d measure-and-draw cycles: private bytes %zu -> %zu\n", kCycles,
         before.privateBytes, after.privateBytes);
  EXPECT_LT(after.privateBytes, before.privateBytes + 2 * 1024 * 1024);
  testsupport::ExpectCountsKept(before, after, 2, 2);
}

// Run in a prefix whose screen reports 120 dots per inch: a 300 x 200 picture's copy is
// 360 x 240, its rows show it 270 x 180 (1.5 inches), and every item is measured and
// drawn for that screen.
TEST_F(MenuDrawingTest, Dpi120MeasuredAndDrawnForTheScreen) {
  DistinctMenuColours colours;
  ASSERT_TRUE(colours.applied());
  Handler h;
  Open(h, 300, 200);
  EXPECT_EQ(framewise::previewRowHeight, 180.0f);
  EXPECT_EQ(h->imageColumnWidth, 270u);
  const MEASUREITEMSTRUCT left = Measure(h, 3);
  EXPECT_EQ(left.itemHeight, 188u);
  const MEASUREITEMSTRUCT help = Measure(h, 10);
  EXPECT_GT(help.itemWidth, 270u + 12u);
  EXPECT_LT(help.itemHeight, 188u);

  const Painted p = Paint(h, 3, false, 600, 188);
  // The 270 x 180 preview ends at x = 274 (column and margin), centred: rows 4 to 183.
  EXPECT_EQ(p.at(5, 94), 0x000000u);     // its black outer ring, left
  EXPECT_EQ(p.at(273, 4), 0x000000u);    // and its top right corner
  EXPECT_EQ(p.at(273, 183), 0x000000u);  // and bottom right
  EXPECT_EQ(p.at(275, 94), Rgb(COLOR_MENU));
  EXPECT_EQ(p.at(2, 94), Rgb(COLOR_MENU));
  const Ink ink = InkOf(p, Rgb(COLOR_MENUTEXT), 278);
  ASSERT_GE(ink.count, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 94.0, 5.0);
  EXPECT_EQ(InkOf(p, Rgb(COLOR_MENUTEXT), 0).count, ink.count) << "text inside the image column";
}

}  // namespace
