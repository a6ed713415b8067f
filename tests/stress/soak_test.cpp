// Thousands of right-clicks in one process: private bytes, handles and GDI objects must
// level off after warm-up. The series is printed; the check allows noise, not a trend.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/win_owners.h"
#include "stress_support.h"
#include "tests/support/test_support.h"

namespace {

struct Sample {
  int cycle;
  testsupport::ResourceCounts counts;
};

// Least-squares slope of `value` over cycles.
double Slope(const std::vector<Sample>& s, double (*value)(const Sample&)) {
  double n = static_cast<double>(s.size()), sx = 0, sy = 0, sxx = 0, sxy = 0;
  for (const Sample& x : s) {
    sx += x.cycle;
    sy += value(x);
    sxx += static_cast<double>(x.cycle) * x.cycle;
    sxy += x.cycle * value(x);
  }
  const double d = n * sxx - sx * sx;
  return d == 0 ? 0 : (n * sxy - sx * sy) / d;
}

double Bytes(const Sample& s) { return static_cast<double>(s.counts.privateBytes); }

// Median of a value over a run of samples.
template <typename F>
double Median(std::vector<Sample>::const_iterator from, std::vector<Sample>::const_iterator to, F value) {
  std::vector<double> v;
  for (auto it = from; it != to; ++it) v.push_back(value(*it));
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

TEST(SoakTest, RightClicksLeakNoMemoryHandlesOrGdiObjects) {
  const std::wstring corpus = stress::CorpusFolder();
  // Every format, each shape of preview, and pictures that fail at each stage.
  std::vector<std::wstring> pictures;
  for (const wchar_t* name : {L"seed\\seed.jpg", L"seed\\seed.png", L"seed\\seed.bmp", L"seed\\seed.gif",
                              L"seed\\seed.tiff", L"seed\\seed.ico", L"seed\\seed.emf", L"seed\\seed.wmf",
                              L"empty\\zero-bytes.jpg", L"text\\readme.png", L"truncated\\jpg-000100.jpg",
                              L"folder.jpg"}) {
    pictures.push_back(corpus + L"\\" + name);
  }
  ASSERT_NE(GetFileAttributesW(pictures[0].c_str()), INVALID_FILE_ATTRIBUTES) << "no corpus";
  // The handle count must see a handle come and go, or its series proves nothing.
  const DWORD handlesBefore = testsupport::CountHandles();
  fw::UniqueHandle probe(CreateEventW(nullptr, FALSE, FALSE, nullptr));
  const DWORD handlesWith = testsupport::CountHandles();
  probe.reset();
  if (handlesBefore != 0) {
    EXPECT_EQ(handlesWith, handlesBefore + 1);
  }
  testsupport::FileAside ini{testsupport::UserSettingsFile()};
  const testsupport::LoadedDll dll;
  ASSERT_TRUE(dll.ok());
  stress::Watchdog watchdog;

  const int cycles = stress::SoakCycles();
  const int every = std::max(1, cycles / 25);
  const int warmUp = cycles / 5;
  stress::CycleOptions options;
  options.shellDataObject = false;  // the shell's parsing is not ours to measure
  std::vector<Sample> series;
  const ULONGLONG start = GetTickCount64();
  int failedNotes = 0;
  for (int cycle = 1; cycle <= cycles; ++cycle) {
    const std::wstring& picture = pictures[cycle % pictures.size()];
    watchdog.Arm(picture, 30000);
    const stress::CycleResult r = stress::RunCycle(dll, picture, options, ini.path());
    failedNotes += !r.note.empty();
    if (cycle % every == 0) {
      series.push_back({cycle, testsupport::CurrentResourceCounts()});
    }
  }
  watchdog.Disarm();
  const double seconds = (GetTickCount64() - start) / 1000.0;
  EXPECT_EQ(failedNotes, 0);

  printf("  soak: %d cycles in %.1f s (%.2f ms each)\n  %7s %14s %8s %8s\n", cycles, seconds,
         seconds * 1000 / cycles, "cycle", "private bytes", "handles", "GDI");
  for (const Sample& s : series) {
    printf("  %7d %14zu %8lu %8lu\n", s.cycle, s.counts.privateBytes,
           static_cast<unsigned long>(s.counts.handles), static_cast<unsigned long>(s.counts.gdiObjects));
  }
  std::vector<Sample> steady;
  for (const Sample& s : series) if (s.cycle > warmUp) steady.push_back(s);
  ASSERT_GE(steady.size(), 6u);
  const size_t third = steady.size() / 3;
  const double early = Median(steady.begin(), steady.begin() + third, Bytes);
  const double late = Median(steady.end() - third, steady.end(), Bytes);
  const double slope = Slope(steady, Bytes);
  printf("  private bytes after warm-up: %+.0f KB early to late, %.1f bytes per cycle\n",
         (late - early) / 1024, slope);
  // A leak of a preview or a bitmap per cycle is kilobytes; heap noise is a few pages.
  EXPECT_FALSE(late - early > 512 * 1024 && slope > 64) << "private bytes grow with the cycles";

  DWORD gdiMax = 0, handleMax = 0;
  for (const Sample& s : steady) {
    gdiMax = std::max(gdiMax, s.counts.gdiObjects);
    handleMax = std::max(handleMax, s.counts.handles);
  }
  // A count that reads 0 cannot show a leak: the rest is skipped rather than passed.
  const std::string noHandles = testsupport::WhyNoHandleCount(steady.front().counts);
  if (noHandles.empty()) {
    EXPECT_LE(handleMax, steady.front().counts.handles + 8) << "handles grow with the cycles";
    EXPECT_LE(steady.back().counts.handles, steady.front().counts.handles + 4);
  }
  const std::string noGdi = testsupport::WhyNoGdiCount(steady.front().counts);
  if (noGdi.empty()) {
    EXPECT_LE(gdiMax, steady.front().counts.gdiObjects + 4) << "GDI objects grow with the cycles";
    EXPECT_LE(steady.back().counts.gdiObjects, steady.front().counts.gdiObjects + 2);
  }
  if (!noGdi.empty() || !noHandles.empty()) GTEST_SKIP() << noGdi << " " << noHandles;
}

}  // namespace
