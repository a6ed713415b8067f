// Pictures that only the imaging component's decoders read, through the handler to the
// wallpaper file: JPEG XR, TGA and DDS with Wine's own decoders; and whatever decoder a
// machine has, shown with a test decoder (tests/fixtures/stand_in_decoder/) registered in the
// prefix for WebP, which Wine cannot decode, and for a camera-RAW-like format of its own.
// The decoders are enumerated once per process, so the registered decoder is tried in
// child processes of this program, one with it registered and one after it is gone.
#include <windows.h>
#include <shlobj.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "colour_checks.h"
#include "fitting/imaging.h"
#include "fitting/screen.h"
#include "fitting/wic_picture.h"
#include "framework/gdiplus_owners.h"
#include "framework/strings.h"
#include "framework/win_owners.h"
#include "shellext/explorer_command.h"
#include "shellext/portable/menu_table.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/com_apartment.h"
#include "tests/support/handler_fixture.h"

using Gdiplus::ARGB;
using testsupport::Handler;
using testsupport::NearColour;
using testsupport::OpenedMenu;

namespace {

namespace gp = Gdiplus::DllExports;

constexpr RECT kScreen = {0, 0, 1280, 1024};
// The encoder fixtures' quadrants (scripts/make_format_fixtures.sh) and the test decoder's:
// red, green, blue and grey, as stored.
constexpr ARGB kFixtureQuadrants[4] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080};
const std::vector<int> kWiderRows = {3, 4, 6, 0, 7, 0, 10, 11, 0, 12};
const std::vector<int> kTallerRows = {2, 4, 5, 0, 7, 0, 10, 11, 0, 12};

std::wstring Input(const wchar_t* name) { return testsupport::InputPath(name); }
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

// The colours at the centres of the four quadrants of a picture stored as `stored` and
// shown turned by EXIF orientation `o`: where each upright centre was in the stored picture.
std::vector<ARGB> UprightQuadrants(const ARGB* stored, int o) {
  std::vector<ARGB> out;
  for (int i = 0; i < 4; ++i) {
    const double ux = i % 2 ? 0.75 : 0.25, uy = i / 2 ? 0.75 : 0.25;
    double sx = ux, sy = uy;
    switch (o) {
      case 2: sx = 1 - ux; break;
      case 3:
        sx = 1 - ux;
        sy = 1 - uy;
        break;
      case 4: sy = 1 - uy; break;
      case 5:
        sx = uy;
        sy = ux;
        break;
      case 6:
        sx = uy;
        sy = 1 - ux;
        break;
      case 7:
        sx = 1 - uy;
        sy = 1 - ux;
        break;
      case 8:
        sx = 1 - uy;
        sy = ux;
        break;
      default: break;
    }
    out.push_back(stored[(sx > 0.5 ? 1 : 0) + (sy > 0.5 ? 2 : 0)]);
  }
  return out;
}

std::vector<ARGB> QuadrantColours(Gdiplus::GpBitmap* bitmap, float x, float y, float w, float h) {
  std::vector<ARGB> out;
  for (int i = 0; i < 4; ++i) {
    ARGB c = 0;
    gp::GdipBitmapGetPixel(bitmap, static_cast<int>(x + w * (i % 2 ? 0.75f : 0.25f)),
                           static_cast<int>(y + h * (i / 2 ? 0.75f : 0.25f)), &c);
    out.push_back(c);
  }
  return out;
}

// Whether Windows 11's new menu shows the entry for the file, with its Best Fit row.
bool NewMenuOffers(const std::wstring& path) {
  fw::ComPtr<IExplorerCommand> root;
  if (FAILED(framewise::CreateExplorerCommand(nullptr, IID_IExplorerCommand, root.put_void()))) {
    return false;
  }
  const fw::ComPtr<IShellItemArray> items = testsupport::ShellItems({path});
  if (!items) return false;
  const testsupport::NewMenu menu = testsupport::ReadNewMenu(root.get(), items.get());
  const std::wstring bestFit =
      fw::LoadResourceString(framewise::FindItemRow(framewise::FitModeBestFit)->textId);
  return menu.root.shown() && menu.Find(bestFit) != nullptr;
}

testing::AssertionResult QuadrantsAre(const std::vector<ARGB>& actual,
                                      const std::vector<ARGB>& expected, int tolerance) {
  for (int i = 0; i < 4; ++i) {
    testing::AssertionResult r = NearColour(actual[i], expected[i], tolerance);
    if (!r) return r << " in quadrant " << i;
  }
  return testing::AssertionSuccess();
}

// Where the best fit puts an upright picture of this size in the 1280 x 1024 screen.
struct Placed {
  float x, y, w, h;
};
Placed BestFitPlace(uint32_t w, uint32_t h) {
  if (w * 1024.0f > h * 1280.0f) {
    const float placedH = 1280.0f * h / w;
    return {0, (1024 - placedH) / 2, 1280, placedH};
  }
  const float placedW = 1024.0f * w / h;
  return {(1280 - placedW) / 2, 0, placedW, 1024};
}

// A picture through the whole handler: its rows for the shape its upright size has, its
// preview and its wallpaper, each showing `expected` in its quadrants.
struct Expected {
  const wchar_t* file;  // an input's name, or a whole path
  framewise::PictureFormat format;
  uint32_t width, height;  // as stored
  int orientation;
  std::vector<ARGB> quadrants;  // upright
  int tolerance;
  // How far the preview's width may be from the header's proportions: a metafile's frame
  // and the drawing's bounds the library sizes it by may differ by a pixel or two.
  double widthSlack = 1.0;
};

class PictureThroughHandler {
 public:
  PictureThroughHandler() { desktop.record().applyToSystem = false; }

  void Check(const Expected& e) {
    const std::wstring path = wcschr(e.file, L'\\') ? std::wstring(e.file) : Input(e.file);
    SCOPED_TRACE(Narrow(e.file));
    {
      Handler h;
      ASSERT_EQ(h.InitializeWithFiles({path}), S_OK);
      EXPECT_EQ(h->header.format, e.format);
      EXPECT_EQ(h->header.width, e.width);
      EXPECT_EQ(h->header.height, e.height);
      EXPECT_EQ(h->header.orientation, e.orientation);
      EXPECT_FALSE(h->preview) << "nothing decoded on the right-click";
      EXPECT_TRUE(NewMenuOffers(path));
      uint32_t w = 0, hh = 0;
      framewise::UprightSize(h->header, &w, &hh);
      OpenedMenu opened(h);
      ASSERT_EQ(opened.opened, S_OK);
      EXPECT_EQ(opened.Offsets(), w * 1024 > hh * 1280 ? kWiderRows : kTallerRows);
      ASSERT_TRUE(h->preview) << "the submenu could not decode it";
      UINT pw = 0, ph = 0;
      gp::GdipGetImageWidth(h->preview.get(), &pw);
      gp::GdipGetImageHeight(h->preview.get(), &ph);
      EXPECT_EQ(ph, 192u);
      EXPECT_NEAR(pw, 192.0 * w / hh, e.widthSlack);
      EXPECT_TRUE(
          QuadrantsAre(QuadrantColours(h->preview.get(), 0, 0, pw, ph), e.quadrants, e.tolerance));
      ASSERT_EQ(h.Invoke(framewise::FitModeBestFit), S_OK);
      fw::GpBitmapOwner wallpaper;
      ASSERT_EQ(gp::GdipCreateBitmapFromFile(jpeg.path().c_str(), wallpaper.put()), Gdiplus::Ok);
      const Placed at = BestFitPlace(w, hh);
      EXPECT_TRUE(QuadrantsAre(QuadrantColours(wallpaper.get(), at.x, at.y, at.w, at.h),
                               e.quadrants, e.tolerance + 4));
    }
  }

  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  testsupport::WorkAreaOverride area{kScreen, kScreen};
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  testsupport::FileAside jpeg{testsupport::UserWallpaperFile()};
  standin::ActiveDesktopStandIn desktop;
};

class FormatsTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Input(L"x").empty()) GTEST_SKIP() << "FRAMEWISE_INPUTS is not set (CTest sets it)";
  }
};

// The header readers see a file through reads at offsets: each gives what the file holds
// there, fewer bytes at its end, none past it (also past 4 GiB) and none for a file that is
// not there.
TEST(FileByteSource, ReadsWhatTheFileHoldsAndNothingPastItsEnd) {
  const testsupport::TempDir dir;
  const std::wstring path = dir.File(L"ten.bin");
  ASSERT_TRUE(testsupport::WriteBytes(path, "0123456789", 10));
  framewise::FileByteSource source(path.c_str());
  ASSERT_TRUE(source.is_open());
  char buffer[8] = {};
  ASSERT_EQ(source.ReadAt(0, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "0123");
  ASSERT_EQ(source.ReadAt(7, buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer, 3), "789");
  EXPECT_EQ(source.ReadAt(9, buffer, 1), 1u);
  EXPECT_EQ(source.ReadAt(10, buffer, 4), 0u);
  EXPECT_EQ(source.ReadAt(11, buffer, 4), 0u);
  EXPECT_EQ(source.ReadAt(0x100000000ull, buffer, 4), 0u);
  EXPECT_EQ(source.ReadAt(0, buffer, 0), 0u);
  framewise::FileByteSource missing(dir.File(L"none.bin").c_str());
  EXPECT_FALSE(missing.is_open());
  EXPECT_EQ(missing.ReadAt(0, buffer, 4), 0u);
}

// An uncompressed 32-bit DDS of `width` x `height` grey pixels: "DDS ", the 124-byte header
// (caps, height, width and pixel format flagged; BGRA masks), then the pixels.
bool WriteDds(const std::wstring& path, uint32_t width, uint32_t height) {
  uint32_t header[32] = {};
  header[0] = 0x20534444;  // "DDS "
  header[1] = 124;
  header[2] = 0x1 | 0x2 | 0x4 | 0x8 | 0x1000;  // caps, height, width, pitch, pixel format
  header[3] = height;
  header[4] = width;
  header[5] = width * 4;
  header[19] = 32;          // the pixel format's size
  header[20] = 0x40 | 0x1;  // RGB with alpha
  header[22] = 32;          // bits per pixel
  header[23] = 0x00FF0000;  // red
  header[24] = 0x0000FF00;  // green
  header[25] = 0x000000FF;  // blue
  header[26] = 0xFF000000;  // alpha
  header[27] = 0x1000;      // a texture
  std::string file(reinterpret_cast<const char*>(header), sizeof header);
  file.append(static_cast<size_t>(width) * height * 4, '\x80');
  return testsupport::WriteBytes(path, file.data(), file.size());
}

// A picture only the installed decoder can size is read at one pixel wide or high too; one
// of no pixels is not a picture.
TEST(DecoderHeaders, OnePixelWideOrHighIsAPicture) {
  const testsupport::TempDir dir;
  testsupport::ComApartment apartment;
  const std::pair<uint32_t, uint32_t> sizes[] = {{1, 1}, {1, 3}, {3, 1}, {3, 2}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size.first << "x" << size.second);
    const std::wstring path = dir.File(L"grey.dds");
    ASSERT_TRUE(WriteDds(path, size.first, size.second));
    framewise::PictureHeader header;
    ASSERT_TRUE(framewise::ReadPictureFileHeader(path.c_str(), &header));
    EXPECT_EQ(header.width, size.first);
    EXPECT_EQ(header.height, size.second);
  }
}

TEST_F(FormatsTest, WinesOwnDecodersGiveRowsPreviewsAndWallpapers) {
  using F = framewise::PictureFormat;
  const ARGB* q = testsupport::kQuadrantColours;
  const std::vector<ARGB> inputs(q, q + 4);
  const std::vector<ARGB> fixtures(kFixtureQuadrants, kFixtureQuadrants + 4);
  const Expected cases[] = {
      // JxrEncApp's files (quality 0.3), by both of their names.
      {L"jxr-jxr_640x480.jxr", F::JpegXr, 640, 480, 1, fixtures, 24},
      {L"jxr-hdphoto_33x17.wdp", F::JpegXr, 33, 17, 1, fixtures, 24},
      // Pillow's TGA and DDS files: no signature, then no header reader.
      {L"quadrants.tga", F::Tga, 160, 80, 1, inputs, 8},
      {L"quadrants-rle.tga", F::Tga, 160, 80, 1, inputs, 8},
      {L"quadrants.dds", F::Unknown, 160, 80, 1, inputs, 8},
  };
  PictureThroughHandler through;
  ASSERT_TRUE(through.desktop.registered());
  for (const Expected& e : cases) through.Check(e);
}

// Fills a 160 x 80 drawing's quadrants with the fixtures' colours.
void FillQuadrants(HDC dc) {
  for (int i = 0; i < 4; ++i) {
    const ARGB c = kFixtureQuadrants[i];
    const RECT r = {i % 2 * 80, i / 2 * 40, i % 2 * 80 + 80, i / 2 * 40 + 40};
    HBRUSH brush = CreateSolidBrush(RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    FillRect(dc, &r, brush);
    DeleteObject(brush);
  }
}

// An enhanced metafile of 160 x 80 reference pixels; *frame gets its frame, in hundredths of
// a millimetre as the file stores it.
bool WriteQuadrantEmf(const std::wstring& path, RECT* frame) {
  HDC screen = GetDC(nullptr);
  if (!screen) return false;
  *frame = {0, 0,
            MulDiv(160, GetDeviceCaps(screen, HORZSIZE) * 100, GetDeviceCaps(screen, HORZRES)),
            MulDiv(80, GetDeviceCaps(screen, VERTSIZE) * 100, GetDeviceCaps(screen, VERTRES))};
  HDC dc = CreateEnhMetaFileW(screen, path.c_str(), frame, nullptr);
  ReleaseDC(nullptr, screen);
  if (!dc) return false;
  FillQuadrants(dc);
  HENHMETAFILE emf = CloseEnhMetaFile(dc);
  return emf && DeleteEnhMetaFile(emf);
}

// A placeable Windows metafile: the 22-byte header (key, bounding box 0,0-160,80 at 96 units
// an inch, the checksum of its first ten words) and the metafile's records.
bool WriteQuadrantWmf(const std::wstring& path) {
  HDC dc = CreateMetaFileW(nullptr);
  if (!dc) return false;
  SetWindowOrgEx(dc, 0, 0, nullptr);
  SetWindowExtEx(dc, 160, 80, nullptr);
  FillQuadrants(dc);
  HMETAFILE wmf = CloseMetaFile(dc);
  if (!wmf) return false;
  std::vector<uint8_t> bits(GetMetaFileBitsEx(wmf, 0, nullptr));
  const bool copied = !bits.empty() && GetMetaFileBitsEx(wmf, static_cast<UINT>(bits.size()),
                                                         bits.data()) == bits.size();
  DeleteMetaFile(wmf);
  if (!copied) return false;
  uint16_t header[11] = {0xCDD7, 0x9AC6, 0, 0, 0, 160, 80, 96, 0, 0, 0};
  for (int i = 0; i < 10; ++i) header[10] ^= header[i];
  std::string file(reinterpret_cast<const char*>(header), sizeof header);
  file.append(bits.begin(), bits.end());
  return testsupport::WriteBytes(path, file.data(), file.size());
}

// Metafiles are drawn into a bitmap before anything else sees them: both kinds reach the
// preview and the wallpaper with their drawing's colours, in their frame's proportions.
TEST_F(FormatsTest, MetafilesAreDrawnIntoPreviewsAndWallpapers) {
  using F = framewise::PictureFormat;
  const testsupport::TempDir dir;
  RECT frame = {};
  const std::wstring emf = dir.File(L"quadrants.emf"), wmf = dir.File(L"quadrants.wmf");
  ASSERT_TRUE(WriteQuadrantEmf(emf, &frame));
  ASSERT_TRUE(WriteQuadrantWmf(wmf));
  const std::vector<ARGB> drawn(kFixtureQuadrants, kFixtureQuadrants + 4);
  PictureThroughHandler through;
  ASSERT_TRUE(through.desktop.registered());
  through.Check({emf.c_str(), F::Emf, static_cast<uint32_t>(frame.right),
                 static_cast<uint32_t>(frame.bottom), 1, drawn, 8, 192 * 0.02});
  through.Check({wmf.c_str(), F::Wmf, 160, 80, 1, drawn, 8});
}

// A JPEG XR container's spatial transform, which Wine's decoder carries out itself: a half
// turn or a mirror comes out upright, applied once. A quarter turn swaps the rows' shape;
// Wine's decoder turns the frame but cannot copy its pixels, so there the submenu says the
// picture could not be read and the command fails without writing anything.
TEST_F(FormatsTest, AJpegXrTransformIsAppliedOnce) {
  using F = framewise::PictureFormat;
  PictureThroughHandler through;
  ASSERT_TRUE(through.desktop.registered());
  // The transform as the header reader maps it to an EXIF orientation: 1 top and bottom
  // exchanged, 3 both ways.
  for (const auto& c :
       {std::make_pair(L"jxr-transform-1.jxr", 4), std::make_pair(L"jxr-transform-3.jxr", 3)}) {
    through.Check({c.first, F::JpegXr, 640, 480, c.second,
                   UprightQuadrants(kFixtureQuadrants, c.second), 24});
  }
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({Input(L"jxr-transform-4.jxr")}), S_OK);
  EXPECT_EQ(h->header.orientation, 6);
  EXPECT_EQ(h->pictureShape, framewise::TallerThanScreen);
  {
    OpenedMenu opened(h);
    std::vector<int> rows = {9};  // "This picture could not be read." first
    rows.insert(rows.end(), kTallerRows.begin(), kTallerRows.end());
    EXPECT_EQ(opened.Offsets(), rows);
    EXPECT_EQ(h->previewState, framewise::PreviewState::Unreadable);
  }
  const std::string before = testsupport::ReadBytes(through.jpeg.path());
  EXPECT_EQ(h.Invoke(framewise::FitModeBestFit), E_FAIL);
  EXPECT_TRUE(testsupport::ReadBytes(through.jpeg.path()) == before)
      << "the wallpaper file changed";
}

// ---- a decoder of the machine's own ----

// The test decoder's class and the imaging component's category of decoders.
constexpr wchar_t kStandInClsid[] = L"{6B1D5E7A-3C2F-4E8B-9A41-0D27C5F3B8E1}";
constexpr wchar_t kDecoderCategory[] = L"{7ED96837-96F0-4812-B211-F13C24117ED3}";
constexpr wchar_t kChildVariable[] = L"FRAMEWISE_STAND_IN_DECODER";

// The test decoder registered as an installer would register a codec: its class with the
// DLL, its extensions and signatures, and its entry in the decoders' category. Removed again
// when the object goes.
class StandInRegistration {
 public:
  StandInRegistration() {
    Remove();
    ok_ = Write();
  }
  ~StandInRegistration() { Remove(); }
  bool ok() const { return ok_; }

  static void Remove() {
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey().c_str());
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, InstanceKey().c_str());
  }

 private:
  static std::wstring ClassKey() {
    return std::wstring(L"Software\\Classes\\CLSID\\") + kStandInClsid;
  }
  static std::wstring InstanceKey() {
    return std::wstring(L"Software\\Classes\\CLSID\\") + kDecoderCategory + L"\\Instance\\" +
           kStandInClsid;
  }
  static bool Set(const std::wstring& key, const wchar_t* name, DWORD type, const void* data,
                  DWORD size) {
    fw::UniqueHKey opened;
    return RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                           opened.put(), nullptr) == ERROR_SUCCESS &&
           RegSetValueExW(opened.get(), name, 0, type, static_cast<const BYTE*>(data), size) ==
               ERROR_SUCCESS;
  }
  static bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
    return Set(key, name, REG_SZ, text.c_str(),
               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  static bool SetNumber(const std::wstring& key, const wchar_t* name, DWORD value) {
    return Set(key, name, REG_DWORD, &value, sizeof(value));
  }
  static bool SetPattern(int index, const std::string& pattern, const std::string& mask) {
    const std::wstring key = ClassKey() + L"\\Patterns\\" + std::to_wstring(index);
    return SetNumber(key, L"Position", 0) &&
           SetNumber(key, L"Length", static_cast<DWORD>(pattern.size())) &&
           Set(key, L"Pattern", REG_BINARY, pattern.data(), static_cast<DWORD>(pattern.size())) &&
           Set(key, L"Mask", REG_BINARY, mask.data(), static_cast<DWORD>(mask.size())) &&
           SetNumber(key, L"EndOfStream", 0);
  }
  static bool Write() {
    const std::wstring dll = testsupport::ProgramFolder() + L"stand_in_decoder.dll";
    if (!testsupport::FileExists(dll)) return false;
    const std::wstring key = ClassKey();
    const std::string any(4, '\0'), all(4, '\xFF');
    return SetText(key, nullptr, L"Framewise test decoder") &&
           SetText(key, L"FriendlyName", L"Framewise test decoder") &&
           SetText(key, L"ContainerFormat", L"{0E5C1D77-9B2A-4F3D-8C66-51A0F2E4D9B3}") &&
           // Separated by commas, as Windows' own codecs list theirs.
           SetText(key, L"FileExtensions", L".webp,.FWRAW") &&
           SetText(key, L"MimeTypes", L"image/webp") &&
           SetText(key + L"\\InprocServer32", nullptr, dll) &&
           SetText(key + L"\\InprocServer32", L"ThreadingModel", L"Both") &&
           SetPattern(0, "RIFF" + any + "WEBP", all + any + all) &&
           SetPattern(1, "FWSTANDIN", std::string(9, '\xFF')) &&
           SetText(InstanceKey(), L"CLSID", kStandInClsid) &&
           SetText(InstanceKey(), L"FriendlyName", L"Framewise test decoder");
  }

  bool ok_ = false;
};

// Runs this program again with only the child's tests, told through its environment what
// to expect; its exit code, and what it printed in *output.
DWORD RunChild(const wchar_t* expectation, std::string* output) {
  wchar_t self[MAX_PATH] = {};
  if (GetModuleFileNameW(nullptr, self, MAX_PATH) == 0) return 0xFFFFFFFF;
  testsupport::TempDir dir;
  const std::wstring log = dir.File(L"child.txt");
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  const HANDLE opened = CreateFileW(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, CREATE_ALWAYS, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return 0xFFFFFFFF;
  const fw::UniqueHandle file(opened);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = file.get();
  startup.hStdError = file.get();
  PROCESS_INFORMATION process = {};
  std::wstring line = std::wstring(L"\"") + self + L"\" --gtest_filter=StandInDecoderChild.*";
  SetEnvironmentVariableW(kChildVariable, expectation);
  const BOOL started = CreateProcessW(self, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                      nullptr, nullptr, &startup, &process);
  SetEnvironmentVariableW(kChildVariable, nullptr);
  if (!started) return 0xFFFFFFFF;
  const fw::UniqueHandle processHandle(process.hProcess), thread(process.hThread);
  DWORD code = 0xFFFFFFFF;
  if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  } else {
    TerminateProcess(process.hProcess, 0xFFFFFFFE);
  }
  *output = testsupport::ReadBytes(log);
  return code;
}

TEST_F(FormatsTest, AnInstalledDecoderIsPickedUpAndItsRemovalTakesTheEntryAway) {
  std::string output;
  {
    StandInRegistration registration;
    ASSERT_TRUE(registration.ok()) << "stand_in_decoder.dll beside the program, registered";
    EXPECT_EQ(RunChild(L"installed", &output), 0u) << output;
    EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
  }
  EXPECT_EQ(RunChild(L"removed", &output), 0u) << output;
  EXPECT_NE(output.find("[  PASSED  ] 1 test"), std::string::npos) << output;
}

// The child's side: what a process started with the decoder registered, or after it was
// removed, sees. Skipped unless started by the test above.
TEST(StandInDecoderChild, SeesTheRegisteredDecoder) {
  wchar_t expectation[16] = {};
  if (GetEnvironmentVariableW(kChildVariable, expectation, 16) == 0) {
    GTEST_SKIP() << "run by FormatsTest.AnInstalledDecoderIsPickedUpAndItsRemovalTakesTheEntryAway";
  }
  const bool installed = std::wstring(expectation) == L"installed";
  // Asked first on a thread without COM, the decoders cannot be listed: nothing matches
  // there, and the list is read again, not remembered empty, when a thread with COM asks.
  bool early = true;
  std::thread([&early] { early = framewise::MatchesInstalledWicDecoder(L"C:\\any.FwRaw"); }).join();
  EXPECT_FALSE(early);
  testsupport::ComApartment apartment;
  ASSERT_TRUE(apartment);
  using F = framewise::PictureFormat;
  const std::vector<ARGB> stored(kFixtureQuadrants, kFixtureQuadrants + 4);
  const Expected cases[] = {
      // cwebp's files: the header reader reads them; the EXIF orientation is ours to apply.
      {L"webp-lossy_640x480.webp", F::Webp, 640, 480, 1, stored, 2},
      {L"webp-exif_o6_40x24.webp", F::Webp, 40, 24, 6, UprightQuadrants(kFixtureQuadrants, 6), 2},
      // A format no header reader knows: the decoder's frame gives size and orientation.
      {L"standin-o8-160x80.fwraw", F::Unknown, 160, 80, 8, UprightQuadrants(kFixtureQuadrants, 8),
       2},
      {L"standin-o1-200x100.fwraw", F::Unknown, 200, 100, 1, stored, 2},
  };
  PictureThroughHandler through;
  ASSERT_TRUE(through.desktop.registered());
  if (!installed) {
    for (const Expected& e : cases) {
      Handler h;
      EXPECT_EQ(h.InitializeWithFiles({Input(e.file)}), E_INVALIDARG) << Narrow(e.file);
      EXPECT_FALSE(framewise::MatchesInstalledWicDecoder(Input(e.file)));
      EXPECT_FALSE(NewMenuOffers(Input(e.file)));
    }
    return;
  }
  EXPECT_TRUE(framewise::MatchesInstalledWicDecoder(L"C:\\any.FwRaw"));
  for (const Expected& e : cases) through.Check(e);

  // Named as the decoder's but not its kind, or of no size: not taken.
  testsupport::TempDir dir;
  const char kNotOurs[] = "FWSTANDOUT and then some bytes";
  const unsigned char kEmpty[] = {'F', 'W', 'S', 'T', 'A', 'N', 'D', 'I', 'N', 0, 0,
                                  0,   0,   100, 0,   0,   0,   1,   0,   0,   0};
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"other.fwraw"), kNotOurs, sizeof(kNotOurs)));
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"empty.fwraw"), kEmpty, sizeof(kEmpty)));
  for (const wchar_t* name : {L"other.fwraw", L"empty.fwraw"}) {
    Handler refused;
    EXPECT_EQ(refused.InitializeWithFiles({dir.File(name)}), E_INVALIDARG) << Narrow(name);
    framewise::PictureHeader header;
    EXPECT_FALSE(framewise::ReadPictureFileHeader(dir.File(name).c_str(), &header)) << Narrow(name);
  }
  // One pixel is a size.
  const unsigned char kOnePixel[] = {'F', 'W', 'S', 'T', 'A', 'N', 'D', 'I', 'N', 1, 0,
                                     0,   0,   1,   0,   0,   0,   1,   0,   0,   0};
  ASSERT_TRUE(testsupport::WriteBytes(dir.File(L"dot.fwraw"), kOnePixel, sizeof(kOnePixel)));
  Handler dot;
  ASSERT_EQ(dot.InitializeWithFiles({dir.File(L"dot.fwraw")}), S_OK);
  EXPECT_EQ(dot->header.width, 1u);
  EXPECT_EQ(dot->header.height, 1u);

  // Only the submenu and the command took pixels from the decoder: the right-click's
  // question of a file no reader knows opened its frame and no more.
  const HMODULE decoder = GetModuleHandleW(L"stand_in_decoder.dll");
  ASSERT_NE(decoder, nullptr);
  using CopyCount = LONG(WINAPI*)();
  const auto copies = reinterpret_cast<CopyCount>(
      reinterpret_cast<void*>(GetProcAddress(decoder, "StandInCopyCount")));
  ASSERT_NE(copies, nullptr);
  const LONG before = copies();
  EXPECT_GT(before, 0);
  Handler h;
  ASSERT_EQ(h.InitializeWithFiles({Input(L"standin-o8-160x80.fwraw")}), S_OK);
  EXPECT_EQ(copies(), before);
}

}  // namespace
