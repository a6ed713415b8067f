// The wallpaper's scaling, for a quality comparison made by bench/run_quality.py: the
// Middle fill wallpaper of a picture for a 1920 x 1080 monitor as the command fits it
// (before any JPEG encoding), and the same crop drawn the old way, a plain GDI+ draw with
// the default interpolation. Both are saved losslessly; both are timed.
//
//   bench_quality.exe [--runs N] PICTURE OURS.png|.bmp [OLD.png|.bmp]
//
// Prints "RESULT <name> <value>" lines: the picture's size, the crop, the load time and
// the medians of the fitting and of the old draw in milliseconds. The monitor is reported
// as 1920 x 1080 (work area the same) by patching this program's import of GetMonitorInfoW.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "fitting/image_fixer.h"
#include "fitting/imaging.h"
#include "fitting/portable/geometry.h"
#include "fitting/wallpaper_output.h"
#include "bench/bench_timing.h"
#include "framework/gdiplus_owners.h"
#include "tests/support/com_apartment.h"
#include "tests/support/test_support.h"

namespace {

namespace gp = Gdiplus::DllExports;

constexpr RECT kMonitor{0, 0, 1920, 1080};

using benchtiming::Median;
using benchtiming::NowMs;

void Report(const char* name, double value) {
  printf("RESULT %s %.3f\n", name, value);
  fflush(stdout);
}

// Saves a bitmap with the encoder its file name's extension asks for (PNG or BMP).
bool Save(Gdiplus::GpBitmap* bitmap, const std::wstring& path) {
  const std::wstring extension = path.substr(path.find_last_of(L'.') + 1);
  const wchar_t* mime = _wcsicmp(extension.c_str(), L"bmp") == 0 ? L"image/bmp" : L"image/png";
  CLSID encoder;
  if (framewise::FindEncoder(mime, &encoder) < 0) return false;
  return gp::GdipSaveImageToFile(bitmap, path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

// The old way: the crop drawn by the library into a monitor-sized 24-bit bitmap, with
// whatever interpolation a new drawing surface has.
fw::GpBitmapOwner DrawPlain(Gdiplus::GpImage* picture, const framewise::Crop& crop) {
  fw::GpBitmapOwner bitmap;
  if (gp::GdipCreateBitmapFromScan0(kMonitor.right, kMonitor.bottom, 0, PixelFormat24bppRGB, nullptr,
                                    bitmap.put()) != Gdiplus::Ok) {
    return fw::GpBitmapOwner();
  }
  fw::GpGraphicsOwner surface;
  if (gp::GdipGetImageGraphicsContext(bitmap.get(), surface.put()) != Gdiplus::Ok) return fw::GpBitmapOwner();
  const bool ok = gp::GdipDrawImageRectRectI(surface.get(), picture, 0, 0, kMonitor.right, kMonitor.bottom, crop.x,
                                             crop.y, crop.cw, crop.ch, Gdiplus::UnitPixel, nullptr, nullptr,
                                             nullptr) == Gdiplus::Ok;
  return ok ? std::move(bitmap) : fw::GpBitmapOwner();
}

int Run(int argc, wchar_t** argv) {
  int runs = 5;
  std::vector<std::wstring> paths;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--runs" && i + 1 < argc) {
      runs = std::max(1, _wtoi(argv[++i]));
    } else {
      paths.push_back(arg);
    }
  }
  if (paths.size() < 2) {
    printf("usage: bench_quality [--runs N] PICTURE OURS.png|.bmp [OLD.png|.bmp]\n");
    return 2;
  }
  testsupport::WorkAreaOverride area(kMonitor, kMonitor);

  const double t0 = NowMs();
  fw::GpImageOwner picture = framewise::LoadPicture(paths[0].c_str());
  const double t1 = NowMs();
  UINT width = 0, height = 0;
  if (!picture || !framewise::GetPictureSize(picture.get(), &width, &height)) {
    printf("cannot load %ls\n", paths[0].c_str());
    return 1;
  }
  Report("width", width);
  Report("height", height);
  Report("load_ms", t1 - t0);

  const framewise::ScreenRect screen{0, 0, kMonitor.right, kMonitor.bottom};
  const framewise::Crop crop =
      framewise::ComputeCropFor(width, height, screen, screen, framewise::FillPart::Middle, true);
  Report("crop_x", crop.x);
  Report("crop_y", crop.y);
  Report("crop_w", crop.cw);
  Report("crop_h", crop.ch);

  std::unique_ptr<framewise::ImageFixer> fixer = framewise::CreateImageFixer(framewise::FitModeMiddle);
  fw::GpBitmapOwner ours;
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    ours.reset();
    const double start = NowMs();
    if (!fixer || !fixer->MakeWallpaper(picture.get(), &ours)) {
      printf("MakeWallpaper failed on %ls\n", paths[0].c_str());
      return 1;
    }
    times.push_back(NowMs() - start);
  }
  Report("fit_ms", Median(times));
  if (!Save(ours.get(), paths[1])) {
    printf("cannot save %ls\n", paths[1].c_str());
    return 1;
  }

  fw::GpBitmapOwner old;
  times.clear();
  for (int i = 0; i < runs; ++i) {
    old.reset();
    const double start = NowMs();
    old = DrawPlain(picture.get(), crop);
    if (!old) {
      printf("the plain draw failed on %ls\n", paths[0].c_str());
      return 1;
    }
    times.push_back(NowMs() - start);
  }
  Report("old_draw_ms", Median(times));
  if (paths.size() > 2 && !Save(old.get(), paths[2])) {
    printf("cannot save %ls\n", paths[2].c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const testsupport::ComApartment apartment;
  if (!apartment) return 1;
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) return 1;
  return Run(argc, argv);
}
