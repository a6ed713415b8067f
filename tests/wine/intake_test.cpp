// The handler taking a picture from the shell's selection: shapes, previews, bad input,
// and no leaks over many right-clicks.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "framework/gdiplus_owners.h"
#include "fitting/screen.h"
#include "shellext/image_file_context_menu.h"
#include "tests/support/handler_fixture.h"
#include "leak_checks.h"
#include "tests/support/import_patch.h"
#include "tests/support/test_support.h"

using framewise::ImageFileContextMenu;
using testsupport::TempDir;

namespace {

using testsupport::Handler;

UINT PreviewWidth(ImageFileContextMenu* h) {
  UINT w = 0;
  Gdiplus::DllExports::GdipGetImageWidth(h->preview.get(), &w);
  return w;
}

UINT PreviewHeightOf(ImageFileContextMenu* h) {
  UINT v = 0;
  Gdiplus::DllExports::GdipGetImageHeight(h->preview.get(), &v);
  return v;
}

void ExpectEmpty(Handler& h) {
  EXPECT_TRUE(h->picturePath.empty());
  EXPECT_FALSE(h->preview);
  EXPECT_FALSE(h->gdiplus);
  EXPECT_TRUE(h->menuItems.empty());
}

class IntakeTest : public testing::Test {
 protected:
  TempDir dir;
};

TEST_F(IntakeTest, ShapesAgainstWorkAreas) {
  const std::wstring photo43 = dir.File(L"photo43.jpg");
  const std::wstring photo169 = dir.File(L"photo169.jpg");
  ASSERT_TRUE(testsupport::WritePicture(photo43, 1600, 1200));
  ASSERT_TRUE(testsupport::WritePicture(photo169, 1920, 1080));

  struct Case {
    RECT work;
    const std::wstring* file;
    framewise::PictureShape shape;
  } cases[] = {
      {{0, 0, 1280, 960}, &photo43, framewise::MatchesScreen},
      {{0, 0, 1024, 738}, &photo43, framewise::TallerThanScreen},
      {{0, 0, 1024, 738}, &photo169, framewise::WiderThanScreen},
  };
  for (const Case& c : cases) {
    testsupport::WorkAreaOverride area(c.work, c.work);
    Handler h;
    ASSERT_EQ(h.InitializeWithFiles({*c.file}), S_OK);
    EXPECT_EQ(h->pictureShape, c.shape) << c.work.right << "x" << c.work.bottom;
    EXPECT_DOUBLE_EQ(h->screenAspect, double(c.work.right) / c.work.bottom);
  }
}

TEST_F(IntakeTest, OneHundredthIsTheBoundary) {
  testsupport::WorkAreaOverride area({0, 0, 1280, 1024}, {0, 0, 1280, 1024});  // 1.25
  const std::wstring inside = dir.File(L"inside.png");  // 1.259: just inside
  ASSERT_TRUE(testsupport::WritePicture(inside, 1259, 1000, L"image/png"));
  Handler a, b;
  ASSERT_EQ(a.InitializeWithFiles({inside}), S_OK);
  EXPECT_EQ(a->pictureShape, framewise::MatchesScreen);
  const std::wstring wider = dir.File(L"wider.png");  // 1.27: 0.02 off
  ASSERT_TRUE(testsupport::WritePicture(wider, 1270, 1000, L"image/png"));
  ASSERT_EQ(b.InitializeWithFiles({wider}), S_OK);
  EXPECT_EQ(b->pictureShape, framewise::WiderThanScreen);
}

TEST_F(IntakeTest, PreviewWaitsForTheSubmenuAndIsTwiceTheDpiHigh) {
  const std::wstring path = dir.File(L"wide.jpg");
  ASSERT_TRUE(testsupport::WritePicture(path, 3000, 2000));
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
  EXPECT_EQ(h->header.width, 3000u);
  EXPECT_EQ(h->header.height, 2000u);
  EXPECT_FALSE(h->preview) << "nothing decoded before the submenu opens";
  EXPECT_EQ(h->previewState, framewise::PreviewState::NotDecoded);
  EXPECT_TRUE(h->gdiplus);
  EXPECT_EQ(h->fileCount, 1u);
  EXPECT_EQ(h->picturePath, path);

  // A double-click asks only for the default verb: nothing is decoded either.
  {
    testsupport::OpenedMenu defaultOnly(h, CMF_DEFAULTONLY);
    EXPECT_EQ(GetMenuItemCount(defaultOnly.menu), 0);
    EXPECT_FALSE(h->preview);
  }
  testsupport::OpenedMenu opened(h);
  ASSERT_EQ(opened.opened, S_OK);
  EXPECT_EQ(h->previewState, framewise::PreviewState::Decoded);
  EXPECT_EQ(framewise::previewHeight, 192.0f);
  EXPECT_EQ(PreviewWidth(h.get()), 288u);
  EXPECT_EQ(PreviewHeightOf(h.get()), 192u);
}

TEST_F(IntakeTest, RightClickOnALargePhotoCostsNoDecode) {
  const std::wstring small = dir.File(L"small.jpg"), large = dir.File(L"large.jpg");
  ASSERT_TRUE(testsupport::WritePicture(small, 300, 200));
  ASSERT_TRUE(testsupport::WritePicture(large, 4000, 3000));
  {
    Handler warm;  // the process's one-time costs: GDI+, the decoder list
    ASSERT_EQ(warm.InitializeWithFiles({small}), S_OK);
  }
  const auto before = testsupport::CurrentResourceCounts();
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({large}), S_OK);
  const auto after = testsupport::CurrentResourceCounts();
  // A decode of 12 megapixels would take 36 MB or more.
  EXPECT_LT(after.privateBytes, before.privateBytes + 2 * 1024 * 1024)
      << before.privateBytes << " -> " << after.privateBytes;
  EXPECT_FALSE(h->preview);
}

TEST_F(IntakeTest, SeveralFilesReadNoFile) {
  // Not a picture: read, it would fail Initialize.
  const std::wstring first = dir.File(L"a.jpg"), second = dir.File(L"b.jpg");
  ASSERT_TRUE(testsupport::WriteBytes(first, "not a picture", 13));
  ASSERT_TRUE(testsupport::WritePicture(second, 200, 300));
  Handler single;
  EXPECT_EQ(single.InitializeWithFiles({first}), E_INVALIDARG);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({first, second}), S_OK);
  EXPECT_EQ(h->fileCount, 2u);
  EXPECT_TRUE(h->picturePath.empty());
  EXPECT_FALSE(h->gdiplus);
  testsupport::OpenedMenu opened(h);
  EXPECT_EQ(opened.query, S_OK);
  EXPECT_EQ(GetMenuItemCount(opened.menu), 0);
}

TEST_F(IntakeTest, SelectionsItCannotUse) {
  Handler h;
  EXPECT_EQ(h.Initialize(nullptr), E_INVALIDARG);
  ExpectEmpty(h);

  EXPECT_EQ(h.Initialize(testsupport::RawDropDataObject({}).get()), E_INVALIDARG);
  ExpectEmpty(h);

  // An empty drop list (Wine counts it as one empty name; Windows as none).
  EXPECT_EQ(h.InitializeWithDrop({}), E_INVALIDARG);
  ExpectEmpty(h);

  // Several names: the entry is not offered, so not even the first name is read.
  EXPECT_EQ(h.InitializeWithDrop({L"", L"C:\\x.jpg"}), S_OK);
  ExpectEmpty(h);
}

Gdiplus::GpStatus WINGDIPAPI NoDecoderList(UINT, UINT, Gdiplus::ImageCodecInfo*) {
  return Gdiplus::OutOfMemory;
}
Gdiplus::GpStatus WINGDIPAPI NoDecoderListSize(UINT*, UINT*) { return Gdiplus::OutOfMemory; }

// A picture is taken by its name's extension as the installed decoders list them: when the
// imaging library cannot hand its list over, a name no decoder lists is still refused, and
// one the imaging component lists is still taken.
TEST_F(IntakeTest, AnUnreadableDecoderListAcceptsNoOtherExtension) {
  const std::wstring listed = dir.File(L"photo.jpg");
  ASSERT_TRUE(testsupport::WritePicture(listed, 640, 480));
  const std::wstring unlisted = dir.File(L"photo.xyz");
  ASSERT_TRUE(CopyFileW(listed.c_str(), unlisted.c_str(), FALSE));
  for (const char* unreadable : {"GdipGetImageDecoders", "GdipGetImageDecodersSize"}) {
    SCOPED_TRACE(unreadable);
    const bool sizes = std::string(unreadable) == "GdipGetImageDecodersSize";
    testsupport::ImportPatch noList("gdiplus.dll", unreadable,
                                    sizes ? reinterpret_cast<void*>(&NoDecoderListSize)
                                          : reinterpret_cast<void*>(&NoDecoderList));
    ASSERT_NE(noList.real(), nullptr);
    Handler refused;
    EXPECT_EQ(refused.InitializeWithFiles({unlisted}), E_INVALIDARG);
    Handler taken;
    EXPECT_EQ(taken.InitializeWithFiles({listed}), S_OK);
  }
}

BOOL WINAPI NoMonitorInfo(HMONITOR, LPMONITORINFO) { return FALSE; }

// A screen that cannot be measured has no proportions to cut a picture to: the picture is
// not taken and no entry is offered, rather than shapes judged against a made-up screen.
TEST_F(IntakeTest, AScreenThatCannotBeMeasuredOffersNoEntry) {
  const std::wstring photo = dir.File(L"photo.jpg");
  ASSERT_TRUE(testsupport::WritePicture(photo, 640, 480));
  testsupport::ImportPatch noScreen("user32.dll", "GetMonitorInfoW",
                                    reinterpret_cast<void*>(&NoMonitorInfo));
  ASSERT_NE(noScreen.real(), nullptr);
  double aspect = -1;
  EXPECT_FALSE(framewise::GetScreenAspect(&aspect));
  Handler h;
  EXPECT_TRUE(FAILED(h.InitializeWithFiles({photo})));
  ExpectEmpty(h);
  testsupport::OpenedMenu opened(h);
  EXPECT_EQ(GetMenuItemCount(opened.menu), 0);
}

// Minimal PNG whose header claims a size; the rest of the file is missing.
std::vector<unsigned char> PngClaiming(uint32_t width, uint32_t height) {
  std::vector<unsigned char> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  auto be32 = [&](uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) png.push_back(static_cast<unsigned char>(v >> s));
  };
  std::vector<unsigned char> ihdr = {'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height})
    for (int s = 24; s >= 0; s -= 8) ihdr.push_back(static_cast<unsigned char>(v >> s));
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : ihdr) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  be32(13);
  png.insert(png.end(), ihdr.begin(), ihdr.end());
  be32(~crc);
  return png;
}

TEST_F(IntakeTest, BadPicturesFailCleanly) {
  const std::wstring good = dir.File(L"good.jpg");
  ASSERT_TRUE(testsupport::WritePicture(good, 640, 480));
  std::ifstream in(good.c_str(), std::ios::binary);  // narrow stream over a wide path: mingw ok
  std::vector<char> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());

  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"empty.jpg"), "", 0));
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"truncated.jpg"), jpeg.data(), 200));
  const char text[] = "this is not a picture";
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"text.png"), text, sizeof(text)));
  const auto huge = PngClaiming(60000, 60000);
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"huge.png"), huge.data(), huge.size()));
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"notes.txt"), text, sizeof(text)));
  const std::wstring unicode = dir.File(L"Caf\u00e9 \u6771\u4eac \u0416.jpg");
  const std::wstring quote = dir.File(L"it's here.jpg");
  ASSERT_TRUE(testsupport::WritePicture(unicode, 400, 300));
  ASSERT_TRUE(testsupport::WritePicture(quote, 400, 300));

  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"header-only.jpg"), jpeg.data(), 200));

  // A header that cannot be read fails Initialize; one that reads over pixels that do not
  // decode gives a submenu saying so.
  enum Outcome { Refused, Unreadable, Usable, UnreadableOrUsable };
  struct Case {
    std::wstring path;
    Outcome outcome;
  } cases[] = {
      {dir.File(L"empty.jpg"), Refused},
      {dir.File(L"text.png"), Refused},
      {dir.File(L"notes.txt"), Refused},
      {dir.File(L"missing.jpg"), Refused},
      {dir.File(L"huge.png"), Unreadable},
      {dir.File(L"truncated.jpg"), UnreadableOrUsable},  // a partial decode is fine
      {unicode, Usable},
      {quote, Usable},
  };
  for (const Case& c : cases) {
    const std::string name(c.path.begin(), c.path.end());
    Handler h;
    const HRESULT hr = h.InitializeWithDrop({c.path});
    EXPECT_EQ(hr, c.outcome == Refused ? E_INVALIDARG : S_OK) << name;
    testsupport::OpenedMenu opened(h);
    if (FAILED(hr)) {
      // A host that asks for the menu all the same gets no entry.
      EXPECT_EQ(GetMenuItemCount(opened.menu), 0) << name;
      continue;
    }
    EXPECT_EQ(opened.opened, S_OK) << name;
    const bool unreadable = h->previewState == framewise::PreviewState::Unreadable;
    if (c.outcome != UnreadableOrUsable) {
      EXPECT_EQ(unreadable, c.outcome == Unreadable) << name;
    }
    EXPECT_EQ(static_cast<bool>(h->preview), !unreadable) << name;
    if (unreadable) {
      // The first line says so, and it is only a line: it cannot be chosen.
      ASSERT_NE(opened.popup, nullptr) << name;
      MENUITEMINFOW line = {};
      line.cbSize = sizeof(line);
      line.fMask = MIIM_STATE;
      ASSERT_TRUE(GetMenuItemInfoW(opened.popup, 0, TRUE, &line)) << name;
      EXPECT_TRUE(line.fState & MFS_DISABLED) << name;
    }
  }
}

TEST_F(IntakeTest, SecondInitializeStartsAfresh) {
  const std::wstring a = dir.File(L"a.jpg"), b = dir.File(L"b.jpg");
  ASSERT_TRUE(testsupport::WritePicture(a, 900, 300));
  ASSERT_TRUE(testsupport::WritePicture(b, 300, 900));
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({a}), S_OK);
  {
    testsupport::OpenedMenu opened(h);
    EXPECT_FALSE(h->menuItems.empty());
    EXPECT_TRUE(h->preview);
  }
  ASSERT_EQ(h.InitializeWithFiles({b}), S_OK);
  EXPECT_EQ(h->picturePath, b);
  EXPECT_TRUE(h->menuItems.empty());
  EXPECT_FALSE(h->preview);
  EXPECT_EQ(h->previewState, framewise::PreviewState::NotDecoded);
  testsupport::OpenedMenu opened(h);
  EXPECT_EQ(PreviewWidth(h.get()), 64u);  // 192 / 3
  EXPECT_EQ(h->pictureShape, framewise::TallerThanScreen);

  // A third selection that cannot be used: the earlier picture's entry is not offered.
  EXPECT_EQ(h.InitializeWithDrop({dir.File(L"missing.jpg")}), E_INVALIDARG);
  testsupport::OpenedMenu after(h);
  EXPECT_EQ(GetMenuItemCount(after.menu), 0);
}

TEST(DecoderPatterns, LongPatternsMatchWholeAndSafely) {
  const std::wstring longName(60, L'x');
  const std::wstring path = L"C:\\pictures\\" + longName + L".jpg";
  EXPECT_TRUE(framewise::MatchesAnyPattern(path, L"*.BMP;*" + longName + L".JPG"));
  // The pattern's end matters: a cut-off pattern would have matched this too.
  EXPECT_FALSE(framewise::MatchesAnyPattern(path, L"*" + longName + L".jpgz;*.GIF"));
  EXPECT_FALSE(framewise::MatchesAnyPattern(path, L";;"));
  EXPECT_TRUE(framewise::MatchesAnyPattern(L"C:\\a\\B.JpG", L"*.BMP;*.DIB;*.RLE;*.JPG;*.JPEG"));
  EXPECT_FALSE(framewise::MatchesAnyPattern(L"C:\\a\\b.txt", L"*.BMP;*.JPG"));
}

// 1000 cycles; fewer through an emulator, about ten times slower.
const int kCycles = testsupport::RunsUnderEmulator() ? 150 : 1000;

TEST_F(IntakeTest, ManyInitializationsLeakNothing) {
  const std::wstring path = dir.File(L"leak.jpg");
  ASSERT_TRUE(testsupport::WritePicture(path, 1024, 768));
  const fw::ComPtr<IDataObject> shellData = testsupport::ShellDataObject({path});
  ASSERT_TRUE(shellData);
  IDataObject* data = shellData.get();
  {
    Handler warm;
    for (int i = 0; i < 20; ++i) ASSERT_EQ(warm.Initialize(data), S_OK);
  }
  const auto before = testsupport::CurrentResourceCounts();
  {
    Handler h;
    for (int i = 0; i < kCycles; ++i) ASSERT_EQ(h.Initialize(data), S_OK);
  }
  const auto middle = testsupport::CurrentResourceCounts();
  for (int i = 0; i < kCycles; ++i) {
    Handler h;
    ASSERT_EQ(h.Initialize(data), S_OK);
  }
  const auto after = testsupport::CurrentResourceCounts();
  printf("[ leaks    ] private bytes %zu -> %zu -> %zu; GDI objects %lu -> %lu -> %lu; handles %lu -> %lu -> %lu\n",
         before.privateBytes, middle.privateBytes, after.privateBytes, before.gdiObjects,
         middle.gdiObjects, after.gdiObjects, before.handles, middle.handles, after.handles);
  EXPECT_LT(after.privateBytes, before.privateBytes + 2 * 1024 * 1024);
  testsupport::ExpectCountsKept(before, middle, 2, 4);
  testsupport::ExpectCountsKept(before, after, 2, 4);
}

// Every GDI+ start-up of a handler is shut down once, with its own token, and a handler
// holds at most one at a time. The calls are counted through this program's imports, which
// the handler's code shares; each start hands out a token of its own (Wine's is constant).
struct GdiplusTokens {
  std::vector<ULONG_PTR> real;  // by handed-out token - 1
  std::vector<int> shutdowns;   // by handed-out token - 1
  int unknownShutdowns = 0;
  int live() const {
    int n = 0;
    for (int count : shutdowns) n += count == 0;
    return n;
  }
};
GdiplusTokens g_tokens;
using StartupFunction = Gdiplus::Status(WINAPI*)(ULONG_PTR*, const Gdiplus::GdiplusStartupInput*,
                                                 Gdiplus::GdiplusStartupOutput*);
using ShutdownFunction = VOID(WINAPI*)(ULONG_PTR);
StartupFunction g_realStartup = nullptr;
ShutdownFunction g_realShutdown = nullptr;

Gdiplus::Status WINAPI CountingStartup(ULONG_PTR* token, const Gdiplus::GdiplusStartupInput* input,
                                       Gdiplus::GdiplusStartupOutput* output) {
  ULONG_PTR real = 0;
  const Gdiplus::Status status = g_realStartup(&real, input, output);
  if (status != Gdiplus::Ok) return status;
  g_tokens.real.push_back(real);
  g_tokens.shutdowns.push_back(0);
  *token = g_tokens.real.size();
  return status;
}

VOID WINAPI CountingShutdown(ULONG_PTR token) {
  if (token == 0 || token > g_tokens.real.size()) {
    ++g_tokens.unknownShutdowns;
    return;
  }
  if (g_tokens.shutdowns[token - 1]++ == 0) g_realShutdown(g_tokens.real[token - 1]);
}

TEST_F(IntakeTest, GdiplusStartsAndShutsDownInPairsOverAHandlersLife) {
  const std::wstring a = dir.File(L"a.jpg"), b = dir.File(L"b.png"), text = dir.File(L"text.png");
  ASSERT_TRUE(testsupport::WritePicture(a, 640, 480));
  ASSERT_TRUE(testsupport::WritePicture(b, 300, 500, L"image/png"));
  ASSERT_TRUE(testsupport::WriteBytes(text, "not a picture", 13));
  g_tokens = GdiplusTokens();
  {
    testsupport::ImportPatch startup("gdiplus.dll", "GdiplusStartup", reinterpret_cast<void*>(&CountingStartup));
    testsupport::ImportPatch shutdown("gdiplus.dll", "GdiplusShutdown", reinterpret_cast<void*>(&CountingShutdown));
    ASSERT_NE(startup.real(), nullptr);
    ASSERT_NE(shutdown.real(), nullptr);
    g_realStartup = startup.real_as<StartupFunction>();
    g_realShutdown = shutdown.real_as<ShutdownFunction>();
    {
      Handler h;
      EXPECT_EQ(g_tokens.real.size(), 0u) << "GDI+ started before a picture was given";
      ASSERT_EQ(h.InitializeWithFiles({a}), S_OK);
      EXPECT_EQ(g_tokens.live(), 1);
      {
        testsupport::OpenedMenu opened(h);  // decoding and drawing start nothing more
        EXPECT_EQ(opened.opened, S_OK);
      }
      EXPECT_EQ(g_tokens.live(), 1);
      ASSERT_EQ(h.InitializeWithFiles({b}), S_OK);  // the shell reuses the handler
      EXPECT_EQ(g_tokens.live(), 1);
      EXPECT_EQ(g_tokens.real.size(), 2u);
      ASSERT_EQ(h.InitializeWithFiles({a, b}), S_OK);  // several files: none needed
      EXPECT_EQ(g_tokens.live(), 0);
      EXPECT_EQ(h.InitializeWithFiles({text}), E_INVALIDARG);
      EXPECT_LE(g_tokens.live(), 1);
      ASSERT_EQ(h.InitializeWithFiles({b}), S_OK);
      EXPECT_EQ(g_tokens.live(), 1);
    }
    EXPECT_EQ(g_tokens.live(), 0) << "a start-up outlived its handler";
  }
  for (size_t i = 0; i < g_tokens.shutdowns.size(); ++i) {
    EXPECT_EQ(g_tokens.shutdowns[i], 1) << "start-up " << i;
  }
  EXPECT_EQ(g_tokens.unknownShutdowns, 0);
}

// Run in a prefix whose screen reports 120 dots per inch.
TEST_F(IntakeTest, Dpi120PreviewHeightIsKept) {
  const std::wstring path = dir.File(L"wide.jpg");
  ASSERT_TRUE(testsupport::WritePicture(path, 3000, 2000));
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
  EXPECT_EQ(framewise::previewHeight, 240.0f);
  {
    testsupport::OpenedMenu opened(h);
    EXPECT_EQ(PreviewHeightOf(h.get()), 240u);
    EXPECT_EQ(PreviewWidth(h.get()), 360u);
  }
  // Kept for the process whatever the screen says later: a value the screen does not
  // report stays.
  testsupport::ScopedValue<float> kept(framewise::previewHeight, 300.0f);
  Handler again;
  ASSERT_EQ(again.InitializeWithFiles({path}), S_OK);
  EXPECT_EQ(framewise::previewHeight, 300.0f);
  testsupport::OpenedMenu opened(again);
  EXPECT_EQ(PreviewHeightOf(again.get()), 300u);
}

}  // namespace
