// Version texts: both written forms, published texts made comparable, their order, and the
// stored names of a version's type.
#include "settings/portable/settings_values.h"
#include "settings/portable/version_text.h"

#include <gtest/gtest.h>

namespace framewise {
namespace {

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

struct FormatCase {
  VersionNumber version;
  const wchar_t* display;
  const wchar_t* comparable;
};

const FormatCase kFormatCases[] = {
    {{1, 1, 0, 0}, L"1.1", L"01.01.00.0000"},
    {{2, 0, 3, 0}, L"2.0.3", L"02.00.03.0000"},
    {{1, 0, 0, 7}, L"1.0.0.7", L"01.00.00.0007"},
    {{1, 1, 0, 5}, L"1.1.0.5", L"01.01.00.0005"},
    {{1, 2, 3, 4}, L"1.2.3.4", L"01.02.03.0004"},
    {{0, 0, 0, 0}, L"0.0", L"00.00.00.0000"},
    {{12, 34, 56, 7890}, L"12.34.56.7890", L"12.34.56.7890"},
    {{100, 0, 0, 12345}, L"100.0.0.12345", L"100.00.00.12345"},
    // Signed 16-bit conversion: zeros go between the sign and the digits.
    {{40000, 1, 0, 0}, L"-25536.1", L"-25536.01.00.0000"},
    {{65535, 65535, 65535, 65535}, L"-1.-1.-1.-1", L"-1.-1.-1.-001"},
    {{32767, 32768, 0, 0}, L"32767.-32768", L"32767.-32768.00.0000"},
};

TEST(VersionFormat, DisplayAndComparableForms) {
  for (const FormatCase& c : kFormatCases) {
    EXPECT_EQ(FormatVersion(c.version, VersionForm::Display), c.display) << Narrow(c.display);
    EXPECT_EQ(FormatVersion(c.version, VersionForm::Comparable), c.comparable)
        << Narrow(c.display);
  }
}

struct ComparableCase {
  const wchar_t* published;
  const wchar_t* comparable;
};

const ComparableCase kComparableCases[] = {
    {L"1.2", L"01.02.00.0000"},
    {L"1.2.3", L"01.02.03.0000"},
    {L"1.2.3.4", L"01.02.03.0004"},
    {L"1.20.3.1234", L"01.20.03.1234"},
    {L"2.0.0.15", L"02.00.00.0015"},
    {L"10.5", L"10.05.00.0000"},
    {L"1", L"01.00.00.0000"},
    {L"", L".00.00.00.0000"},
    {L"1..2", L"01..02.00.0000"},
    {L".1", L".01.00.00.0000"},
    {L"1.2.", L"01.02..00.0000"},
    {L"123.4567.1.12345", L"123.4567.01.12345"},
    {L"a.b", L"0a.0b.00.0000"},
    // Line ends are removed before splitting, wherever they are.
    {L"1.2\r\n", L"01.02.00.0000"},
    {L"1.2\n", L"01.02.00.0000"},
    {L"\r\n1.2", L"01.02.00.0000"},
    {L"1\r\n2.3", L"12.03.00.0000"},
    {L"\r\n", L".00.00.00.0000"},
    // A fifth and later parts stay as published.
    {L"1.2.3.4.5", L"01.02.03.0004.5"},
    {L"1.2.3.4.5.6.7", L"01.02.03.0004.5.6.7"},
    {L"1.2.3.4..5", L"01.02.03.0004..5"},
};

TEST(MakeComparable, PublishedTexts) {
  for (const ComparableCase& c : kComparableCases) {
    std::wstring text = c.published;
    MakeComparable(&text);
    EXPECT_EQ(text, c.comparable) << Narrow(c.published);
  }
}

struct OrderCase {
  const wchar_t* candidate;  // published text, made comparable by the test
  VersionNumber current;
  bool newer;
};

const OrderCase kOrderCases[] = {
    {L"10.5", {9, 99, 0, 0}, true},
    {L"10.5", {10, 6, 0, 0}, false},
    {L"1.2", {1, 2, 0, 0}, false},
    {L"1.2", {1, 1, 0, 0}, true},
    {L"1.1", {1, 1, 0, 0}, false},
    {L"1.1.0.1", {1, 1, 0, 0}, true},
    {L"1.10", {1, 9, 0, 0}, true},
    {L"2.0", {1, 99, 99, 9999}, true},
    {L"", {0, 0, 0, 0}, false},
    {L"", {1, 1, 0, 0}, false},
};

TEST(VersionOrder, PublishedAgainstOwn) {
  for (const OrderCase& c : kOrderCases) {
    std::wstring candidate = c.candidate;
    MakeComparable(&candidate);
    const std::wstring own = FormatVersion(c.current, VersionForm::Comparable);
    EXPECT_EQ(IsNewerVersion(candidate, own), c.newer) << Narrow(candidate) << " vs " << Narrow(own);
  }
  // Against an own version that could not be read, anything published is newer.
  std::wstring published = L"1.0";
  MakeComparable(&published);
  EXPECT_TRUE(IsNewerVersion(published, L""));
  EXPECT_FALSE(IsNewerVersion(L"", L""));
}

TEST(VersionType, StoredNamesReadBackWithoutRegardToCase) {
  const struct {
    const wchar_t* stored;
    VersionType type;
  } cases[] = {
      {L"Beta", VersionType::Beta},
      {L"beta", VersionType::Beta},
      {L"BETA", VersionType::Beta},
      {L"Release", VersionType::Release},
      {L"RELEASE", VersionType::Release},
      {L"release", VersionType::Release},
      {L"None", VersionType::None},
      {L"", VersionType::None},
      {L"Bet", VersionType::None},
      {L"Betas", VersionType::None},
      {L" Beta", VersionType::None},
      {L"Releas", VersionType::None},
      {L"Zeta", VersionType::None},
      {L"Delease", VersionType::None},  // the first letter counts too
  };
  for (const auto& c : cases) EXPECT_EQ(VersionTypeFromName(c.stored), c.type) << Narrow(c.stored);
  EXPECT_STREQ(VersionTypeName(static_cast<VersionType>(7)), L"None");
}

TEST(VersionFlags, PrereleaseNeedsFlagAndMask) {
  EXPECT_TRUE(IsPrereleaseFlagSet(0x2, 0x2));
  EXPECT_TRUE(IsPrereleaseFlagSet(0x3, 0x3F));
  EXPECT_FALSE(IsPrereleaseFlagSet(0x2, 0x0));
  EXPECT_FALSE(IsPrereleaseFlagSet(0x2, 0x3D));
  EXPECT_FALSE(IsPrereleaseFlagSet(0x0, 0x3F));
}

TEST(SettingsValues, StoredValuesEndAtTheFirstLineEnd) {
  EXPECT_EQ(SingleLineValue(L"1.2\r\n"), L"1.2");
  EXPECT_EQ(SingleLineValue(L"1.2\n[UpdateCheck]\nNewestVersionType=Beta"), L"1.2");
  EXPECT_EQ(SingleLineValue(L"1.2.3"), L"1.2.3");
  EXPECT_EQ(SingleLineValue(L""), L"");
}

}  // namespace
}  // namespace framewise
