// The submenu's look under the answers Wine cannot give by itself, reached through the
// import patches of tests/support/menu_look_overrides.h: a light or dark menu style, the
// user's dark choice in the registry, high contrast, theme calls that fail, the menu font
// at another DPI, and access-key underlines.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "leak_checks.h"
#include "menu_painting.h"
#include "shellext/menu_look.h"
#include "tests/support/handler_fixture.h"

using menupainting::DibColour;
using menupainting::DistinctMenuColours;
using menupainting::InkOf;
using menupainting::Paint;
using menupainting::Painted;
using menupainting::Rgb;
using testsupport::FakeMenuStyle;
using testsupport::Handler;

namespace {

const RECT kScreen = {0, 0, 1280, 1024};

// The colours an item is expected in: background plain and selected, and text by state
// (plain, selected, greyed, greyed and selected), as the DIB stores them.
struct Expected {
  DWORD background;
  DWORD selected;
  DWORD text[4];
};

Expected FromStyle(const FakeMenuStyle& style) {
  return Expected{DibColour(style.background), DibColour(style.hot),
                  {DibColour(style.text[0]), DibColour(style.text[1]), DibColour(style.text[2]),
                   DibColour(style.text[3])}};
}

Expected FromSystem() {
  return Expected{Rgb(COLOR_MENU), Rgb(COLOR_HIGHLIGHT),
                  {Rgb(COLOR_MENUTEXT), Rgb(COLOR_HIGHLIGHTTEXT), Rgb(COLOR_GRAYTEXT), Rgb(COLOR_GRAYTEXT)}};
}

class MenuLookTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(colours.applied());
    readable = dir.File(L"p300x200.png");
    unreadable = dir.File(L"unreadable.jpg");
    ASSERT_TRUE(testsupport::WritePicture(readable, 300, 200, L"image/png"));
    ASSERT_TRUE(testsupport::WriteUndecodableJpeg(unreadable, 300, 200));
  }

  // Initialises on a picture, adds the entry (first id 100) and opens its submenu.
  HMENU Open(Handler& h, const std::wstring& picture) {
    EXPECT_EQ(h.InitializeWithFiles({picture}), S_OK);
    menu.reset(CreatePopupMenu());
    EXPECT_EQ(h.menu->QueryContextMenu(menu.get(), 0, 100, 400, CMF_NORMAL), MAKE_HRESULT(0, 0, 14));
    HMENU popup = GetSubMenu(menu.get(), 0);
    LRESULT result = 0;
    EXPECT_EQ(h.menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup), 0, &result), S_OK);
    return popup;
  }

  // Paints Help (an enabled text row) and the greyed line of an unreadable picture, plain
  // and selected, and checks their background and text colours.
  void ExpectColours(const Expected& expected) {
    {
      Handler h;
      Open(h, readable);
      for (int selected = 0; selected < 2; ++selected) {
        SCOPED_TRACE(selected ? "Help, selected" : "Help");
        const Painted p = Paint(h, 10, selected != 0, 400, 24);  // wider than measured
        EXPECT_EQ(p.at(399, 0), selected ? expected.selected : expected.background);
        EXPECT_EQ(p.at(5, 12), selected ? expected.selected : expected.background);
        EXPECT_GE(InkOf(p, expected.text[selected], 224).count, 3);
      }
      // A preview row: the framed preview over the style's background.
      const Painted preview = Paint(h, 3, false, 500, 152);
      EXPECT_EQ(preview.at(2, 76), expected.background);
      EXPECT_EQ(preview.at(5, 76), 0x000000u);  // the preview's black outer ring
      EXPECT_EQ(preview.at(221, 76), expected.background);
    }
    Handler greyed;
    Open(greyed, unreadable);
    for (int selected = 0; selected < 2; ++selected) {
      SCOPED_TRACE(selected ? "greyed line, selected" : "greyed line");
      const Painted p = Paint(greyed, 9, selected != 0, 400, 24);
      EXPECT_EQ(p.at(399, 0), selected ? expected.selected : expected.background);
      EXPECT_GE(InkOf(p, expected.text[2 + selected], 0).count, 3);
    }
  }

  testsupport::TempDir dir;
  std::wstring readable, unreadable;
  fw::UniqueMenu menu;
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  DistinctMenuColours colours;  // the system colours, distinct from every style's
};

TEST_F(MenuLookTest, ColoursFollowTheStyleTheDarkChoiceAndHighContrast) {
  const FakeMenuStyle light = testsupport::LightMenuStyle();
  const FakeMenuStyle dark = testsupport::DarkMenuStyle();
  const FakeMenuStyle olderDark = testsupport::DarkMenuStyle(L"DarkMode::Menu");
  // A dark class name that opens a light class, as an unknown "X::Menu" can: its own
  // colours, so that taking it would show.
  FakeMenuStyle lightUnderADarkName = testsupport::LightMenuStyle(L"DarkMode_ImmersiveStart::Menu");
  lightUnderADarkName.background = RGB(232, 236, 226);
  lightUnderADarkName.hot = RGB(200, 214, 190);
  // A dark class counts when its text is light: at least half-bright by its luma
  // (0.299 R + 0.587 G + 0.114 B), so grey 128 is light and grey 127 is not.
  FakeMenuStyle darkWithGrey128 = testsupport::DarkMenuStyle();
  darkWithGrey128.text[0] = RGB(128, 128, 128);
  FakeMenuStyle darkWithGrey127 = testsupport::DarkMenuStyle();
  darkWithGrey127.text[0] = RGB(127, 127, 127);
  enum Failing { None, Drawing, Colours };
  const struct {
    const char* look;
    std::vector<FakeMenuStyle> styles;
    bool darkChosen;
    int highContrast;
    Failing failing;
    Expected expected;
  } cases[] = {
      {"light style", {light, dark}, false, 0, None, FromStyle(light)},
      {"dark", {dark, light}, true, 0, None, FromStyle(dark)},
      {"dark from the older class", {olderDark, light}, true, 0, None, FromStyle(olderDark)},
      {"dark chosen, no dark menus on this system", {light}, true, 0, None, FromStyle(light)},
      {"dark chosen, the dark name opens the light class",
       {lightUnderADarkName, light},
       true,
       0,
       None,
       FromStyle(light)},
      {"dark, its text grey 128",
       {darkWithGrey128, light},
       true,
       0,
       None,
       FromStyle(darkWithGrey128)},
      {"dark name, its text grey 127", {darkWithGrey127, light}, true, 0, None, FromStyle(light)},
      {"high contrast", {dark, light}, true, 1, None, FromSystem()},
      {"no style", {}, true, 0, None, FromSystem()},
      {"drawing the style fails", {dark, light}, true, 0, Drawing, FromSystem()},
      {"the style gives no text colour", {dark, light}, true, 0, Colours, FromSystem()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.look);
    testsupport::MenuStyleOverride style(c.styles);
    ASSERT_TRUE(style.applied());
    testsupport::AppThemeOverride choice(c.darkChosen);
    ASSERT_TRUE(choice.applied());
    testsupport::SystemParametersOverride contrast(c.highContrast, -1);
    ASSERT_TRUE(contrast.applied());
    style.FailDrawing(c.failing == Drawing);
    style.FailColours(c.failing == Colours);
    ExpectColours(c.expected);
    if (c.highContrast) {
      EXPECT_TRUE(style.asked().empty()) << "high contrast opened a style";
    }
    EXPECT_EQ(style.openHandles(), 0) << "a style handle stayed open";
  }
}

// The dark choice is read on every opening: a handler follows a change without a restart,
// and nothing it opens on the way is kept.
TEST_F(MenuLookTest, ReadAgainOnEveryOpeningAndNothingKept) {
  const FakeMenuStyle light = testsupport::LightMenuStyle();
  const FakeMenuStyle dark = testsupport::DarkMenuStyle();
  testsupport::MenuStyleOverride style({dark, light});
  ASSERT_TRUE(style.applied());
  {
    Handler h;
    {
      testsupport::AppThemeOverride choice(false);
      ASSERT_TRUE(choice.applied());
      Open(h, readable);
      EXPECT_EQ(Paint(h, 10, false, 400, 24).at(399, 0), DibColour(light.background));
      EXPECT_EQ(style.openHandles(), 1);
    }
    {
      testsupport::AppThemeOverride choice(true);
      ASSERT_TRUE(choice.applied());
      Open(h, readable);
      EXPECT_EQ(Paint(h, 10, false, 400, 24).at(399, 0), DibColour(dark.background));
      EXPECT_EQ(style.openHandles(), 1) << "the light style's handle was kept";
    }
    testsupport::AppThemeOverride choice(true);
    for (int i = 0; i < 5; ++i) Open(h, readable);  // warm-up
    const auto before = testsupport::CurrentResourceCounts();
    for (int i = 0; i < 50; ++i) {
      Open(h, readable);
      Paint(h, 3, i % 2 != 0, 400, 152);
    }
    const auto after = testsupport::CurrentResourceCounts();
    EXPECT_EQ(style.openHandles(), 1);
    testsupport::ExpectCountsKept(before, after, 2, 2);
  }
  menu.reset();
  EXPECT_EQ(style.openHandles(), 0) << "the handler kept its style handle";
}

// The flags of every DrawTextW that paints an item. Into a memory DC, Wine's DrawTextW
// gave the same pixels with and without DT_HIDEPREFIX, so the rule is checked on the call.
std::vector<UINT> g_textFlags;
int(WINAPI* g_realDrawText)(HDC, LPCWSTR, int, LPRECT, UINT) = nullptr;
int WINAPI RecordingDrawText(HDC dc, LPCWSTR text, int length, LPRECT rect, UINT flags) {
  if (!(flags & DT_CALCRECT)) g_textFlags.push_back(flags);
  return g_realDrawText(dc, text, length, rect, flags);
}

// The key's underline is hidden while the menu says no key was pressed (ODS_NOACCEL),
// unless the user wants underlines always.
TEST_F(MenuLookTest, AccessKeyUnderlinedAsTheUserAsks) {
  testsupport::MenuStyleOverride noStyle({});
  testsupport::ImportPatch drawText("user32.dll", "DrawTextW", reinterpret_cast<void*>(&RecordingDrawText));
  ASSERT_NE(drawText.real(), nullptr);
  g_realDrawText = drawText.real_as<decltype(g_realDrawText)>();
  for (int always : {0, 1}) {
    SCOPED_TRACE(always ? "underlines always" : "underlines after a key press");
    testsupport::SystemParametersOverride underlines(-1, always);
    ASSERT_TRUE(underlines.applied());
    Handler h;
    Open(h, readable);
    g_textFlags.clear();
    Paint(h, 10, false, 400, 24);
    Paint(h, 10, true, 400, 24, nullptr, ODS_NOACCEL);
    ASSERT_EQ(g_textFlags.size(), 2u);
    EXPECT_EQ(g_textFlags[0] & (DT_HIDEPREFIX | DT_NOPREFIX), 0u);
    EXPECT_EQ(g_textFlags[1] & (DT_HIDEPREFIX | DT_NOPREFIX), always ? 0u : static_cast<UINT>(DT_HIDEPREFIX));
  }
}

// The menu font comes from the non-client metrics at the DPI of the menu's window where
// Windows can say it (10, 1607 on), else the system's; the same face either way.
TEST_F(MenuLookTest, MenuFontAtTheMenuWindowsDpi) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof(metrics);
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0));
  const LONG height96 = metrics.lfMenuFont.lfHeight;
  ASSERT_NE(height96, 0);
  testsupport::UniqueWindow window(testsupport::CreateShellWindow(0, 0, 200, 100));
  ASSERT_TRUE(window);
  const struct {
    UINT windowDpi;  // 0: the functions are missing, as on Windows 7
    HWND menuWindow;
    UINT dpi;
    LONG height;
  } cases[] = {
      {96, window.get(), 96, height96},
      {144, window.get(), 144, MulDiv(height96, 144, 96)},
      {144, nullptr, 96, height96},  // no menu window known: the system's DPI
      {0, window.get(), 96, height96},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "window at " << c.windowDpi << " dpi" << (c.menuWindow ? "" : ", none known"));
    testsupport::DpiOverride dpi(c.windowDpi);
    ASSERT_TRUE(dpi.applied());
    const framewise::MenuLook look = framewise::MenuLook::Read(c.menuWindow, 96);
    EXPECT_EQ(look.dpi(), c.dpi);
    LOGFONTW font = {};
    ASSERT_EQ(GetObjectW(look.font(), sizeof(font), &font), static_cast<int>(sizeof(font)));
    EXPECT_STREQ(font.lfFaceName, metrics.lfMenuFont.lfFaceName);
    EXPECT_EQ(font.lfHeight, c.height);
    if (c.windowDpi != 0) {
      EXPECT_EQ(dpi.metricsAsked(), std::vector<UINT>{c.dpi});
    }
  }

  // A menu window already gone has no DPI of its own (the system's function answers 0):
  // the system's DPI stands.
  HWND gone = testsupport::CreateShellWindow(0, 0, 200, 100);
  ASSERT_NE(gone, nullptr);
  ASSERT_TRUE(DestroyWindow(gone));
  EXPECT_EQ(framewise::MenuLook::Read(gone, 120).dpi(), 120u);
}

}  // namespace
