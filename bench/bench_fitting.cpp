// Times the fitting strategies against a plain draw of the same source and destination
// sizes: what our wallpaper and preview frames cost over the imaging library's floor.
//
//   bench_fitting.exe [wallpaper runs] [preview runs]
//
// The primary monitor is reported as 1920 x 1080 with a 40-pixel taskbar at the bottom,
// whatever the real screen is, by patching this program's import of GetMonitorInfoW.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "bench/bench_timing.h"
#include "fitting/image_fixer.h"
#include "tests/support/test_support.h"

namespace {

using framewise::ScreenRect;
namespace gp = Gdiplus::DllExports;

constexpr RECT kMonitor{0, 0, 1920, 1080};
constexpr RECT kWork{0, 0, 1920, 1040};

// A picture with some structure: bands of colour across a grey field.
fw::GpBitmapOwner MakePicture(int width, int height) {
  fw::GpBitmapOwner picture;
  fw::GpGraphicsOwner graphics;
  if (gp::GdipCreateBitmapFromScan0(width, height, 0, PixelFormat24bppRGB, nullptr,
                                    picture.put()) != Gdiplus::Ok ||
      gp::GdipGetImageGraphicsContext(picture.get(), graphics.put()) != Gdiplus::Ok ||
      gp::GdipGraphicsClear(graphics.get(), 0xFF808080) != Gdiplus::Ok) {
    return fw::GpBitmapOwner();
  }
  for (int i = 0; i < 16; ++i) {
    fw::GpSolidFillOwner brush;
    gp::GdipCreateSolidFill(0xFF000000u | (0x10u * i << 16) | (0xF0u - 0x0Fu * i), brush.put());
    gp::GdipFillRectangle(graphics.get(), brush.get(), width * i / 16.0f, height * i / 32.0f,
                          width / 16.0f, height / 2.0f);
  }
  return picture;
}

using benchtiming::NowMs;

template <typename F>
double MedianMs(int runs, F&& once) {
  std::vector<double> times;
  once();  // warm-up
  for (int i = 0; i < runs; ++i) {
    const double start = NowMs();
    if (!once()) {
      std::fprintf(stderr, "operation failed\n");
      std::exit(1);
    }
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

// A plain draw of source (sx, sy, sw, sh) onto destination (dx, dy, dw, dh) of a canvas
// made once: the library's own cost for the pixels we draw.
struct PlainDraw {
  PlainDraw(int canvasWidth, int canvasHeight, Gdiplus::PixelFormat format) {
    gp::GdipCreateBitmapFromScan0(canvasWidth, canvasHeight, 0, format, nullptr, canvas.put());
    gp::GdipGetImageGraphicsContext(canvas.get(), graphics.put());
  }
  bool Draw(Gdiplus::GpImage* picture, const ScreenRect& d, const ScreenRect& s) {
    return gp::GdipDrawImageRectRectI(graphics.get(), picture, d.x, d.y, d.width, d.height, s.x,
                                      s.y, s.width, s.height, Gdiplus::UnitPixel, nullptr,
                                      nullptr, nullptr) == Gdiplus::Ok;
  }
  fw::GpBitmapOwner canvas;
  fw::GpGraphicsOwner graphics;
};

void Row(const char* what, double ours, double plain) {
  std::printf("| %-34s | %9.2f | %10.2f | %5.2f |\n", what, ours, plain, ours / plain);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int wallpaperRuns = argc > 1 ? _wtoi(argv[1]) : 11;
  const int previewRuns = argc > 2 ? _wtoi(argv[2]) : 201;
  if (wallpaperRuns < 1 || previewRuns < 1) return 2;
  testsupport::WorkAreaOverride screen(kWork, kMonitor);
  fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) return 1;

  fw::GpBitmapOwner picture = MakePicture(6000, 4000);
  fw::GpBitmapOwner reduced = MakePicture(288, 192);  // the menu's copy at 96 dpi
  if (!picture || !reduced) return 1;

  const ScreenRect monitor{0, 0, 1920, 1080};
  const ScreenRect work{0, 0, 1920, 1040};
  const ScreenRect whole{0, 0, 6000, 4000};
  const ScreenRect wholeReduced{0, 0, 288, 192};
  const ScreenRect area{2, 2, 212, 140};

  std::printf("Picture 6000x4000 onto a 1920x1080 monitor (work area 1920x1040); preview "
              "216x144 from a 288x192 copy.\nMedian of %d wallpaper and %d preview runs.\n\n",
              wallpaperRuns, previewRuns);
  std::printf("| %-34s | %9s | %10s | %5s |\n", "operation", "ours (ms)", "plain (ms)", "ratio");
  std::printf("|------------------------------------|-----------|------------|-------|\n");

  auto fill = framewise::CreateImageFixer(framewise::FitModeMiddle);
  auto best = framewise::CreateImageFixer(framewise::FitModeBestFit);
  if (!fill || !best) return 1;

  const framewise::Crop crop = framewise::ComputeCropFor(6000, 4000, monitor, work,
                                                         framewise::FillPart::Middle, true);
  const ScreenRect cropRect{crop.x, crop.y, crop.cw, crop.ch};
  const ScreenRect placement = framewise::ComputePlacementFor(6000, 4000, work);

  PlainDraw wallpaperCanvas(1920, 1080, PixelFormat24bppRGB);
  PlainDraw previewCanvas(216, 144, PixelFormat32bppARGB);
  fw::GpBitmapOwner out;

  Row("Wallpaper, fill screen (middle)",
      MedianMs(wallpaperRuns, [&] { return fill->MakeWallpaper(picture.get(), &out); }),
      MedianMs(wallpaperRuns, [&] { return wallpaperCanvas.Draw(picture.get(), monitor, cropRect); }));
  Row("Wallpaper, best fit",
      MedianMs(wallpaperRuns, [&] { return best->MakeWallpaper(picture.get(), &out); }),
      MedianMs(wallpaperRuns, [&] { return wallpaperCanvas.Draw(picture.get(), placement, whole); }));
  Row("Preview, fill screen (middle)",
      MedianMs(previewRuns, [&] { return fill->MakePreview(reduced.get(), &out, 216, 144); }),
      MedianMs(previewRuns, [&] { return previewCanvas.Draw(reduced.get(), area, wholeReduced); }));
  Row("Preview, best fit",
      MedianMs(previewRuns, [&] { return best->MakePreview(reduced.get(), &out, 216, 144); }),
      MedianMs(previewRuns, [&] { return previewCanvas.Draw(reduced.get(), area, wholeReduced); }));
  Row("Preview from full picture, fill",
      MedianMs(std::max(1, previewRuns / 20),
               [&] { return fill->MakePreview(picture.get(), &out, 216, 144); }),
      MedianMs(std::max(1, previewRuns / 20),
               [&] { return previewCanvas.Draw(picture.get(), area, whole); }));
  return 0;
}
