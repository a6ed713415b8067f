// Times the fitting command on pictures that carry a colour profile against the same
// pictures without one: what colour management adds to a command. Each pair is run
// alternately, so both see the same machine.
//
//   bench_colour.exe [--runs N] TAGGED UNTAGGED [TAGGED UNTAGGED...]
//
// Prints "RESULT <what> <picture> <value>" rows: the median command times and the ratio of
// the medians; then, for the tagged picture, where the difference goes: preparing the
// conversion alone (reading the profile, opening the engine's transform), loading each
// picture, and fitting it with and without a new conversion. The primary monitor is
// 1920 x 1080.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_timing.h"
#include "fitting/colour_management.h"
#include "fitting/fitting_command.h"
#include "fitting/image_fixer.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/com_apartment.h"
#include "tests/support/test_support.h"

namespace {

constexpr RECT kMonitor{0, 0, 1920, 1080};

using benchtiming::Median;
using benchtiming::NowMs;

std::string NameOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  return std::string(name.begin(), name.end());
}

double TimeCommand(const std::wstring& path) {
  const double start = NowMs();
  const HRESULT hr = framewise::RunFittingCommand(path, framewise::FitModeMiddle, nullptr,
                                                  framewise::CommandProgress::Silent);
  const double took = NowMs() - start;
  if (FAILED(hr))
    std::printf("command failed on %ls: 0x%08lX\n", path.c_str(), static_cast<unsigned long>(hr));
  return took;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const testsupport::ComApartment apartment;
  if (!apartment) return 1;
  int runs = 5;
  std::vector<std::wstring> files;
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--runs" && i + 1 < argc) {
      runs = _wtoi(argv[++i]);
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty() || files.size() % 2 != 0 || runs < 1) {
    std::printf("usage: bench_colour [--runs N] TAGGED UNTAGGED [TAGGED UNTAGGED...]\n");
    return 2;
  }
  testsupport::WorkAreaOverride area(kMonitor, kMonitor);
  testsupport::FileAside ini(testsupport::UserSettingsFile());
  testsupport::FileAside wallpaper(testsupport::UserWallpaperFile());
  standin::ActiveDesktopStandIn desktop;
  desktop.record().applyToSystem = false;
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) return 1;
  for (size_t f = 0; f < files.size(); f += 2) {
    const std::wstring& tagged = files[f];
    const std::wstring& untagged = files[f + 1];
    const std::string name = NameOf(tagged);
    if (!framewise::SrgbConversion::ForPicture(tagged.c_str())) {
      std::printf("%s: no conversion to make\n", name.c_str());
    }
    TimeCommand(tagged);  // warm-up: codecs, the colour engine, the files in the cache
    TimeCommand(untagged);
    std::vector<double> withProfile, without, prepare, loadTagged, loadUntagged;
    for (int i = 0; i < runs; ++i) {
      withProfile.push_back(TimeCommand(tagged));
      without.push_back(TimeCommand(untagged));
      const double start = NowMs();
      const framewise::SrgbConversion conversion =
          framewise::SrgbConversion::ForPicture(tagged.c_str());
      prepare.push_back(NowMs() - start);
      for (const std::wstring* path : {&tagged, &untagged}) {
        const double loadStart = NowMs();
        fw::GpImageOwner picture = framewise::LoadPicture(path->c_str());
        (path == &tagged ? loadTagged : loadUntagged).push_back(NowMs() - loadStart);
      }
    }
    {
      fw::GpImageOwner picture = framewise::LoadPicture(tagged.c_str());
      for (int withColour = 0; withColour < 2; ++withColour) {
        std::vector<double> fits;
        for (int i = 0; i < runs; ++i) {
          const framewise::SrgbConversion colour =
              framewise::SrgbConversion::ForPicture(tagged.c_str());
          auto fixer = framewise::CreateImageFixer(framewise::FitModeMiddle);
          if (withColour) fixer->SetColourConversion(&colour);
          fw::GpBitmapOwner out;
          const double start = NowMs();
          fixer->MakeWallpaper(picture.get(), &out);
          fits.push_back(NowMs() - start);
        }
        std::printf("RESULT fit_%s_ms %s %.1f\n", withColour ? "converted" : "plain", name.c_str(),
                    Median(fits));
      }
    }
    std::printf("RESULT command_tagged_ms %s %.1f\n", name.c_str(), Median(withProfile));
    std::printf("RESULT command_untagged_ms %s %.1f\n", name.c_str(), Median(without));
    std::printf("RESULT command_ratio %s %.3f\n", name.c_str(),
                Median(withProfile) / Median(without));
    std::printf("RESULT prepare_conversion_ms %s %.2f\n", name.c_str(), Median(prepare));
    std::printf("RESULT load_tagged_ms %s %.1f\n", name.c_str(), Median(loadTagged));
    std::printf("RESULT load_untagged_ms %s %.1f\n", name.c_str(), Median(loadUntagged));
  }
  return 0;
}
