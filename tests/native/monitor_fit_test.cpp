// Which mode each monitor of a desktop gets for the user's choice, and the files' names.
#include "fitting/portable/monitor_fit.h"

#include <gtest/gtest.h>

#include <set>

namespace framewise {
namespace {

TEST(MonitorFitMode, EachChoiceKeepsItsIdeaOnEveryShape) {
  const PictureShape kTaller = TallerThanScreen, kWider = WiderThanScreen, kMatches = MatchesScreen;
  const struct {
    int mode;
    PictureShape shape;
    bool primaryProportions;
    int expected;
  } cases[] = {
      {FitModeTop, kTaller, false, FitModeTop},       {FitModeTop, kWider, true, FitModeMiddle},
      {FitModeTop, kMatches, true, FitModeMiddle},    {FitModeBottom, kTaller, true, FitModeBottom},
      {FitModeBottom, kWider, false, FitModeMiddle},  {FitModeLeft, kWider, false, FitModeLeft},
      {FitModeLeft, kTaller, true, FitModeMiddle},    {FitModeRight, kWider, true, FitModeRight},
      {FitModeRight, kMatches, false, FitModeMiddle}, {FitModeExact, kMatches, true, FitModeExact},
      {FitModeExact, kWider, false, FitModeMiddle},   {FitModeExact, kTaller, false, FitModeMiddle},
      {FitModeMiddle, kTaller, false, FitModeMiddle}, {FitModeBestFit, kWider, false, FitModeBestFit},
      {FitModeBestFit, kTaller, true, FitModeBestFit},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MonitorFitMode(c.mode, c.shape, c.primaryProportions), c.expected)
        << c.mode << " " << c.shape << " " << c.primaryProportions;
  }
}

TEST(MonitorWallpaperName, StableDistinctAndFileSafe) {
  const std::wstring a = L"\\\\?\\DISPLAY#GSM5B09#5&2a1b3c&0&UID4353#{e6f07b5f-ee97-4a90-b076-33f57bf4eaa7}";
  EXPECT_EQ(MonitorWallpaperName(a), MonitorWallpaperName(a));
  EXPECT_EQ(MonitorWallpaperName(L""), L"Desktop Background cbf29ce484222325.jpg");  // the empty hash
  std::set<std::wstring> names;
  for (int i = 0; i < 64; ++i) names.insert(MonitorWallpaperName(a + std::to_wstring(i)));
  EXPECT_EQ(names.size(), 64u);
  for (const std::wstring& name : names) {
    EXPECT_EQ(name.size(), 19u + 16u + 4u);
    EXPECT_EQ(name.find_first_of(L"\\/:*?\"<>|#{}&"), std::wstring::npos) << std::string(name.begin(), name.end());
  }
}

}  // namespace
}  // namespace framewise
