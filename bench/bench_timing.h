// Timing shared by the benchmarks: a millisecond clock and the median of repeated runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace benchtiming {

// Milliseconds on the performance counter.
inline double NowMs() {
  static const double frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return static_cast<double>(f.QuadPart);
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / frequency;
}

// The middle value (the mean of the two middle ones for an even count); 0 for none.
inline double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

}  // namespace benchtiming
