// Access keys over the submenu's texts: distinct, telling the items apart, and marked in
// menu strings with every other "&" doubled.
#include "shellext/portable/access_keys.h"

#include <gtest/gtest.h>

#include <set>

namespace framewise {
namespace {

// The key characters chosen, as the texts spell them ('-' for none).
std::wstring Keys(const std::vector<std::wstring>& texts) {
  const std::vector<size_t> keys = ChooseAccessKeys(texts);
  EXPECT_EQ(keys.size(), texts.size());
  std::wstring out;
  for (size_t i = 0; i < keys.size(); ++i) out += keys[i] == kNoAccessKey ? L'-' : texts[i][keys[i]];
  return out;
}

TEST(AccessKeys, TheSubmenusRowsGetTheWordThatTellsThemApart) {
  const struct {
    const char* menu;
    std::vector<std::wstring> texts;
    std::wstring keys;
  } cases[] = {
      {"wide picture",
       {L"Fill Screen (Left Side of Picture)", L"Fill Screen (Middle Portion of Picture)",
        L"Fill Screen (Right Side of Picture)", L"Best Fit (Entire Picture)", L"Help & Feedback",
        L"About Wrenfly Framewise", L"Cancel"},
       L"LMRBHAC"},
      {"tall picture",
       {L"Fill Screen (Top of Picture)", L"Fill Screen (Middle Portion of Picture)",
        L"Fill Screen (Bottom of Picture)", L"Best Fit (Entire Picture)", L"Help & Feedback",
        L"About Wrenfly Framewise", L"Cancel"},
       L"TMBFHAC"},
      {"update known",
       {L"Fill Screen", L"An update is is available. Go online for info.", L"Help & Feedback",
        L"About Wrenfly Framewise", L"Cancel"},
       L"FAHWC"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.menu);
    EXPECT_EQ(Keys(c.texts), c.keys);
  }
}

TEST(AccessKeys, DistinctWhateverTheTextsAndNoneWhenAllAreTaken) {
  // Case folds: "a" and "A" are one key; so are Latin-1, Greek and Cyrillic pairs.
  EXPECT_EQ(Keys({L"apple", L"Avocado", L"Ant"}), L"avn");
  EXPECT_EQ(Keys({L"\u00e9t\u00e9", L"\u00c9cole"}), L"\u00e9c");
  EXPECT_EQ(Keys({L"\u0434\u0430", L"\u0414\u043e\u043c"}), L"\u0434\u043e");
  EXPECT_EQ(Keys({L"\u03b1", L"\u0391"}), L"\u03b1-");
  // Latin-1's lower-case letters fold to the capitals 0x20 below them, on each side of the
  // division sign, which has no capital (0xD7 is the multiplication sign).
  EXPECT_EQ(FoldAccessKey(L'\u00f6'), L'\u00d6');
  EXPECT_EQ(FoldAccessKey(L'\u00f7'), L'\u00f7');
  EXPECT_EQ(FoldAccessKey(L'\u00f8'), L'\u00d8');
  EXPECT_EQ(FoldAccessKey(L'\u00fe'), L'\u00de');
  EXPECT_EQ(FoldAccessKey(L'\u00ff'), L'\u00ff');  // its capital lies outside Latin-1
  EXPECT_EQ(FoldAccessKey(L'\u00e0'), L'\u00c0');  // the first, a grave
  EXPECT_EQ(FoldAccessKey(L'\u00df'), L'\u00df');  // sharp s: no capital in Latin-1
  // Greek: alpha to omega and the two letters with dialytika fold 0x20 down; omicron with
  // tonos does not (its capital is 0x38C: 0x20 down is alpha with tonos).
  const std::pair<wchar_t, wchar_t> greek[] = {{L'\u03b1', L'\u0391'},
                                               {L'\u03c9', L'\u03a9'},
                                               {L'\u03ca', L'\u03aa'},
                                               {L'\u03cb', L'\u03ab'},
                                               {L'\u03b0', L'\u03b0'}};
  for (const auto& c : greek) EXPECT_EQ(FoldAccessKey(c.first), c.second) << int(c.first);
  EXPECT_NE(FoldAccessKey(L'\u03cc'), L'\u03ac');
  // Cyrillic: a to ya fold 0x20 down, the letters from 0x450 (ie grave) to 0x45F (dzhe) 0x50
  // down; capitals stay as they are.
  const std::pair<wchar_t, wchar_t> cyrillic[] = {{L'\u0430', L'\u0410'}, {L'\u044f', L'\u042f'},
                                                  {L'\u0450', L'\u0400'}, {L'\u045f', L'\u040f'},
                                                  {L'\u042f', L'\u042f'}, {L'\u040f', L'\u040f'},
                                                  {L'\u0460', L'\u0460'}};
  for (const auto& c : cyrillic) EXPECT_EQ(FoldAccessKey(c.first), c.second) << int(c.first);
  // The last letter of the alphabet is a key in either case.
  EXPECT_EQ(Keys({L"z", L"Z", L"zZ"}), L"z--");
  // Only letters and digits: punctuation, spaces and "&" are never keys.
  EXPECT_EQ(Keys({L"& - ()", L"", L"2 & 3", L"3D"}), L"--23");
  EXPECT_EQ(Keys({L"ab", L"ba", L"ab"}), L"ab-");

  // A long list of look-alike texts: every key that is given is unique.
  std::vector<std::wstring> texts;
  for (int i = 0; i < 60; ++i) texts.push_back(L"Item " + std::to_wstring(i));
  const std::vector<size_t> keys = ChooseAccessKeys(texts);
  std::set<wchar_t> seen;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i] == kNoAccessKey) continue;
    EXPECT_TRUE(seen.insert(FoldAccessKey(texts[i][keys[i]])).second) << i;
  }
  EXPECT_EQ(seen.size(), 14u);  // I, T, E, M and the ten digits
}

TEST(AccessKeys, MenuStringsDoubleAmpersandsAndMarkTheKey) {
  EXPECT_EQ(MenuString(L"Help & Feedback", 0), L"&Help && Feedback");
  EXPECT_EQ(MenuString(L"Help & Feedback", 7), L"Help && &Feedback");
  EXPECT_EQ(MenuString(L"R&D", 2), L"R&&&D");
  EXPECT_EQ(MenuString(L"&&", kNoAccessKey), L"&&&&");
  EXPECT_EQ(MenuString(L"Cancel", kNoAccessKey), L"Cancel");
  EXPECT_EQ(MenuString(L"", 0), L"");
}

}  // namespace
}  // namespace framewise
