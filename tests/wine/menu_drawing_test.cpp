// Owner-drawn items through HandleMenuMsg2: measured sizes, colours of real WM_DRAWITEM
// paints into a memory DC, the fallback when a preview cannot be fitted, and no leaks.
#include <windows.h>

#include <gtest/gtest.h>

#include "handler_fixture.h"
#include "shellext/menu_support.h"

using testsupport::Handler;
using testsupport::TempDir;

namespace {

const RECT kScreen = {0, 0, 1280, 1024};

class MenuDrawingTest : public testing::Test {
 protected:
  // A handler on a picture of the given size, entry added with first id 100, submenu open.
  void Open(Handler& h, int width, int height) {
    const std::wstring path = dir.File(L"p" + std::to_wstring(width) + L"x" + std::to_wstring(height) + L".png");
    ASSERT_TRUE(testsupport::WritePicture(path, width, height, L"image/png"));
    ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
    menu = CreatePopupMenu();
    ASSERT_EQ(h.menu->QueryContextMenu(menu, 0, 100, 400, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    LRESULT result;
    ASSERT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(menu, 0)), 0, &result), S_OK);
  }

  MEASUREITEMSTRUCT Measure(Handler& h, int offset, LRESULT* result = nullptr) {
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_MENU;
    m.itemID = 100 + offset;
    m.itemWidth = 777;
    m.itemHeight = 777;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), result), S_OK);
    return m;
  }

  ~MenuDrawingTest() override { if (menu) DestroyMenu(menu); }

  TempDir dir;
  HMENU menu = nullptr;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
};

TEST_F(MenuDrawingTest, WorkedSizesAt96Dpi) {
  // Text-only width of an item: a picture whose pixels do not decode has no preview column.
  Handler plain;
  const std::wstring unreadable = dir.File(L"unreadable.jpg");
  const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8, 0, 200, 1, 44, 1, 1, 0x11, 0};
  ASSERT_TRUE(testsupport::WriteBytes(unreadable, header, sizeof(header)));
  ASSERT_EQ(plain.InitializeWithFiles({unreadable}), S_OK);
  menu = CreatePopupMenu();
  ASSERT_EQ(plain.menu->QueryContextMenu(menu, 0, 100, 400, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
  LRESULT opened;
  ASSERT_EQ(plain.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(menu, 0)), 0, &opened), S_OK);
  EXPECT_EQ(plain->imageColumnWidth, 0u);
  const MEASUREITEMSTRUCT helpAlone = Measure(plain, 10);
  const UINT textWidth = helpAlone.itemWidth - 12;
  const UINT textHeight = helpAlone.itemHeight - 8;
  DestroyMenu(menu);

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
}

TEST_F(MenuDrawingTest, SixInchLimit) {
  Handler five;
  Open(five, 1000, 200);  // aspect 5: 576 x 115.2
  EXPECT_EQ(Measure(five, 4).itemHeight, 123u);
  EXPECT_EQ(five->imageColumnWidth, 576u);
  DestroyMenu(menu);
  Handler four;
  Open(four, 800, 200);  // aspect 4: exactly at the limit
  EXPECT_EQ(Measure(four, 4).itemHeight, 152u);
  EXPECT_EQ(four->imageColumnWidth, 576u);
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
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), &result), S_OK);
    EXPECT_EQ(m.itemWidth, 777u) << id;
    EXPECT_EQ(result, 55) << id;
  }
  MEASUREITEMSTRUCT button = {};
  button.CtlType = ODT_BUTTON;  // not a menu item
  button.itemID = 103;
  button.itemWidth = 777;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&button), nullptr), S_OK);
  EXPECT_EQ(button.itemWidth, 777u);
  LRESULT result = 55;
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_MENUCHAR, 'x', 0, &result), S_OK);
  EXPECT_EQ(result, 55);
  // A null result still measures.
  const MEASUREITEMSTRUCT measured = Measure(h, 3, nullptr);
  EXPECT_EQ(measured.itemHeight, 152u);
  EXPECT_EQ(h.menu->HandleMenuMsg(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&button)), S_OK);
}

// Paints one item into a 32-bit DIB and returns its pixels.
struct Painted {
  std::vector<DWORD> pixels;
  int width = 0;
  int height = 0;
  DWORD at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x] & 0xFFFFFF; }
};

Painted Paint(Handler& h, int offset, bool selected, int width, int height, LRESULT* result = nullptr) {
  Painted out;
  out.width = width;
  out.height = height;
  testsupport::MemoryDib dib(width, height);
  DRAWITEMSTRUCT d = {};
  d.CtlType = ODT_MENU;
  d.itemID = 100 + offset;
  d.itemState = selected ? ODS_SELECTED : 0;
  d.hDC = dib.dc();
  d.rcItem = {0, 0, width, height};
  EXPECT_EQ(h.menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), result), S_OK);
  const DWORD* p = dib.pixels();
  out.pixels.assign(p, p + static_cast<size_t>(width) * height);
  return out;
}

DWORD Rgb(int index) {  // a system colour as the DIB stores it: 0x00RRGGBB
  const COLORREF c = GetSysColor(index);
  return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}

int CountColour(const Painted& p, DWORD colour, int x0) {
  int n = 0;
  for (int y = 0; y < p.height; ++y)
    for (int x = x0; x < p.width; ++x) n += p.at(x, y) == colour;
  return n;
}

TEST_F(MenuDrawingTest, SystemColoursForSelectedAndPlainItems) {
  Handler h;
  Open(h, 300, 200);
  Measure(h, 3);
  for (bool selected : {false, true}) {
    LRESULT result = 0;
    const Painted p = Paint(h, 10, selected, 400, 24, &result);
    EXPECT_EQ(result, TRUE);
    const DWORD back = Rgb(selected ? COLOR_HIGHLIGHT : COLOR_MENU);
    const DWORD text = Rgb(selected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT);
    EXPECT_EQ(p.at(399, 0), back) << selected;
    EXPECT_EQ(p.at(5, 12), back) << selected;
    EXPECT_GE(CountColour(p, text, 224), 3) << selected;  // the text, right of the column
    EXPECT_EQ(CountColour(p, text, 0) - CountColour(p, text, 220), 0) << selected;
  }
}

TEST_F(MenuDrawingTest, PreviewIsRightAlignedAndFramed) {
  Handler h;
  Open(h, 300, 200);
  Measure(h, 3);
  const Painted p = Paint(h, 3, false, 500, 152);  // Left: kept part framed at the left
  // The 216 x 144 preview ends at the column edge x = 220, centred: rows 4..147.
  EXPECT_EQ(p.at(4 + 1, 76), 0x000000u);      // the outer ring of the preview is black
  EXPECT_EQ(p.at(219, 4), 0x000000u);
  EXPECT_EQ(p.at(221, 76), Rgb(COLOR_MENU));  // right of the column: background
  int orange = 0;
  for (int x = 0; x < 230; ++x) orange += p.at(x, 40) == 0xFF9B00;
  EXPECT_GE(orange, 1);
}

Gdiplus::GpStatus WINGDIPAPI FailingCreatePen(Gdiplus::ARGB, Gdiplus::REAL, Gdiplus::GpUnit, Gdiplus::GpPen** pen) {
  *pen = nullptr;
  return Gdiplus::OutOfMemory;
}

TEST_F(MenuDrawingTest, UnfittablePreviewDrawsTheItemsOwnCopy) {
  Handler h;
  Open(h, 300, 200);
  const Painted fitted = Paint(h, 3, false, 500, 200);
  DestroyMenu(menu);
  menu = nullptr;
  // The framed previews are made when the submenu opens: make them fail there.
  void* real = testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipCreatePen1",
                                        reinterpret_cast<void*>(&FailingCreatePen));
  ASSERT_NE(real, nullptr);
  Handler unfit;
  Open(unfit, 300, 200);
  testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipCreatePen1", real);
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

// Painting copies what was drawn when the submenu opened: no GDI+ surface per paint.
int g_surfaces = 0;
Gdiplus::GpStatus(WINGDIPAPI* g_realFromHdc)(HDC, Gdiplus::GpGraphics**) = nullptr;
Gdiplus::GpStatus WINGDIPAPI CountingFromHdc(HDC dc, Gdiplus::GpGraphics** graphics) {
  ++g_surfaces;
  return g_realFromHdc(dc, graphics);
}

constexpr int kCycles = sizeof(void*) == 8 ? 1000 : 100;

TEST_F(MenuDrawingTest, DrawingNeverReadsTheFileAndLeaksNothing) {
  Handler h;
  Open(h, 640, 480);
  void* real = testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipLoadImageFromFile",
                                        reinterpret_cast<void*>(&CountingLoad));
  ASSERT_NE(real, nullptr);
  g_realLoad = reinterpret_cast<decltype(g_realLoad)>(real);
  void* realFromHdc = testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipCreateFromHDC",
                                               reinterpret_cast<void*>(&CountingFromHdc));
  ASSERT_NE(realFromHdc, nullptr);
  g_realFromHdc = reinterpret_cast<decltype(g_realFromHdc)>(realFromHdc);
  g_loads = 0;
  g_surfaces = 0;
  for (int i = 0; i < 10; ++i) {
    Measure(h, 4);
    Paint(h, 4, i % 2, 300, 152);
  }
  const auto before = testsupport::CurrentResourceCounts();
  for (int i = 0; i < kCycles; ++i) {
    Measure(h, 2 + (i % 3) * 2);  // Top, Middle, Bottom
    Paint(h, 2 + (i % 3) * 2, i % 2, 300, 152);
    Measure(h, 12);
    Paint(h, 12, false, 300, 24);
  }
  const auto after = testsupport::CurrentResourceCounts();
  if (real) testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipLoadImageFromFile", real);
  testsupport::PatchImport(nullptr, "gdiplus.dll", "GdipCreateFromHDC", realFromHdc);
  EXPECT_EQ(g_loads, 0);
  EXPECT_EQ(g_surfaces, 0);
  printf("[ leaks    ] %d measure-and-draw cycles: private bytes %zu -> %zu; GDI objects %lu -> %lu\n",
         kCycles, before.privateBytes, after.privateBytes, before.gdiObjects, after.gdiObjects);
  EXPECT_LT(after.privateBytes, before.privateBytes + 2 * 1024 * 1024);
  EXPECT_LE(after.gdiObjects, before.gdiObjects + 2);
}

}  // namespace
