// The update checker's pure rules: due dates, the stored date, announcements, the
// bounded first line of a version file and the redirects followed.
#include <gtest/gtest.h>

#include <climits>
#include <cwchar>
#include <ctime>
#include <string>

#include "settings/portable/update_rules.h"

namespace framewise {
namespace {

// The local date `days` days before `now` (negative: after), as the checker stores it.
CalendarDate DaysBefore(std::time_t now, int days) {
  std::tm local = *std::localtime(&now);
  local.tm_mday -= days;
  local.tm_hour = 12;  // away from daylight-saving jumps
  local.tm_isdst = -1;
  std::mktime(&local);
  CalendarDate date;
  date.year = local.tm_year + 1900;
  date.month = local.tm_mon + 1;
  date.day = local.tm_mday;
  return date;
}

TEST(UpdateRules, IntervalBoundariesForReleaseAndBeta) {
  // Noon keeps the fraction of today well inside the day on every test machine.
  std::tm noon = {};
  noon.tm_year = 124;
  noon.tm_mon = 5;
  noon.tm_mday = 20;
  noon.tm_hour = 12;
  noon.tm_isdst = -1;
  const std::time_t now = std::mktime(&noon);
  const struct {
    int daysAgo;
    int elapsed;  // truncated toward zero: half a day into the future is 0
    bool prerelease;
    bool fresh;
  } cases[] = {
      {14, 14, false, true}, {15, 15, false, false}, {0, 0, false, true}, {-30, -29, false, true},
      {1, 1, true, true},    {2, 2, true, false},    {-1, 0, true, true},
  };
  for (const auto& c : cases) {
    const int elapsed = ElapsedDaysSince(DaysBefore(now, c.daysAgo), now);
    EXPECT_EQ(elapsed, c.elapsed);
    EXPECT_EQ(IsCacheFresh(elapsed, CheckIntervalDays(c.prerelease)), c.fresh)
        << c.daysAgo << " days, prerelease " << c.prerelease;
  }
  // The fifteenth day is stale from its first second: midnight plus one second.
  std::tm fifteenth = noon;
  fifteenth.tm_hour = 0;
  fifteenth.tm_sec = 1;
  const std::time_t early = std::mktime(&fifteenth);
  EXPECT_EQ(ElapsedDaysSince(DaysBefore(early, 15), early), 15);
  EXPECT_EQ(ElapsedDaysSince(DaysBefore(early, 14), early), 14);
}

TEST(UpdateRules, StoredDatesAndTheirDefault) {
  const struct {
    const wchar_t* text;
    int year, month, day;
  } cases[] = {
      {L"2007/1/1", 2007, 1, 1},
      {L"2024/12/31", 2024, 12, 31},
      {L"1999/9/19", 1999, 9, 19},  // every digit counts, 0 to 9
      {L"2000/10/10", 2000, 10, 10},
      {L" 2024/+3/-2", 2024, 3, -2},    // what %d accepts
      {L"2024/3/4 extra", 2024, 3, 4},  // the rest is ignored
      {L"", 1970, 1, 1},
      {L"2024/3", 1970, 1, 1},
      // A number missing at the start, the middle or the end, or only its sign there.
      {L"/3/4", 1970, 1, 1},
      {L"2024//4", 1970, 1, 1},
      {L"2024/3/", 1970, 1, 1},
      {L"2024/3/-", 1970, 1, 1},
      {L"2024-03-04", 1970, 1, 1},
      {L"2024 /3/4", 1970, 1, 1},  // a blank before a slash does not match
      {L"yesterday", 1970, 1, 1},
      {L"99999999999/1/1", 1970, 1, 1},  // out of range
      // The ends of a 32-bit int, and one past each.
      {L"2147483647/1/1", 2147483647, 1, 1},
      {L"2147483648/1/1", 1970, 1, 1},
      {L"-2147483648/1/1", -2147483647 - 1, 1, 1},
      {L"-2147483649/1/1", 1970, 1, 1},
      // The same at the end, where nothing follows to catch a number left unread.
      {L"2024/3/2147483647", 2024, 3, 2147483647},
      {L"2024/3/2147483648", 1970, 1, 1},
  };
  for (const auto& c : cases) {
    const CalendarDate d = ParseLastChecked(c.text);
    EXPECT_EQ(d.year, c.year) << std::string(c.text, c.text + wcslen(c.text));
    EXPECT_EQ(d.month, c.month);
    EXPECT_EQ(d.day, c.day);
  }
  const std::time_t now = std::time(nullptr);
  EXPECT_GT(ElapsedDaysSince(ParseLastChecked(L"garbage"), now), 15);
  // Dates the library cannot place count as long ago, never as fresh by accident.
  CalendarDate absurd;
  absurd.year = INT_MIN;
  EXPECT_EQ(ElapsedDaysSince(absurd, now), INT_MAX);
}

TEST(UpdateRules, AnnouncementByOrderTypeAndMajorField) {
  const std::wstring own = L"01.01.00.0000";
  const struct {
    const wchar_t* newest;
    bool beta;
    UpdateAnnouncement expected;
  } cases[] = {
      {L"01.01.00.0000", false, UpdateAnnouncement::None},  // same
      {L"01.00.09.0000", true, UpdateAnnouncement::None},   // older beta
      {L"", false, UpdateAnnouncement::None},
      {L"01.02.00.0000", false, UpdateAnnouncement::Unnamed},
      {L"02.00.00.0000", false, UpdateAnnouncement::NewerVersion},
      {L"01.02.00.0005", true, UpdateAnnouncement::NewBeta},
      {L"xx.00.00.0000", false, UpdateAnnouncement::Unnamed},  // newer as text, no number
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyPublishedVersion(c.newest, own, c.beta), c.expected)
        << std::string(c.newest, c.newest + wcslen(c.newest));
  }
  // Without an own version anything published is newer, and its major field is higher.
  EXPECT_EQ(ClassifyPublishedVersion(L"00.01.00.0000", L"", false), UpdateAnnouncement::Unnamed);
  EXPECT_EQ(ClassifyPublishedVersion(L"01.00.00.0000", L"", false), UpdateAnnouncement::NewerVersion);
  EXPECT_EQ(LeadingNumber(L" 7x", 2), 7);
  EXPECT_EQ(LeadingNumber(L"-3", 2), -3);
  EXPECT_EQ(LeadingNumber(L"123", 2), 12);
}

FirstLineReader::Result ReadAll(const std::string& body, std::string* line, size_t chunk = 3,
                                size_t bound = kMaxVersionLineBytes, size_t* fed = nullptr) {
  FirstLineReader reader(bound);
  size_t offset = 0;
  while (offset < body.size()) {
    const size_t n = std::min(chunk, body.size() - offset);
    const bool done = reader.Feed(body.data() + offset, n);
    offset += n;
    if (done) break;
  }
  if (fed) *fed = offset;
  *line = reader.line();
  return reader.Finish();
}

TEST(UpdateRules, FirstLineIsBoundedAndEndsAtTheLineFeed) {
  using R = FirstLineReader::Result;
  std::string line;
  EXPECT_EQ(ReadAll("1.2\r\n1.3\n", &line), R::Line);
  EXPECT_EQ(line, "1.2");
  EXPECT_EQ(ReadAll("1.2", &line), R::Line);  // no line end at all
  EXPECT_EQ(line, "1.2");
  EXPECT_EQ(ReadAll("\n1.2", &line), R::Line);  // an empty first line
  EXPECT_EQ(line, "");
  EXPECT_EQ(ReadAll("", &line), R::NoData);
  EXPECT_EQ(ReadAll("7", &line, 1), R::Line);  // a body of one byte, however it arrives
  EXPECT_EQ(line, "7");
  EXPECT_EQ(ReadAll("1.2\n", &line, 1), R::Line);
  EXPECT_EQ(line, "1.2");
  EXPECT_EQ(ReadAll(std::string("1.\x00" "2\xff\n", 6), &line), R::Line);
  EXPECT_EQ(VersionLineText(line), "1.");

  // A line at the bound is taken; one byte more is not a version line, and reading stops
  // right there however long the body is.
  size_t fed = 0;
  EXPECT_EQ(ReadAll(std::string(16, '9') + "\n", &line, 5, 16), R::Line);
  EXPECT_EQ(line.size(), 16u);
  EXPECT_EQ(ReadAll(std::string(100000, '9'), &line, 1000, 16, &fed), R::TooLong);
  EXPECT_EQ(fed, 1000u);
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(ReadAll(std::string(100000, '\r'), &line, 7, 16, &fed), R::TooLong);
  EXPECT_EQ(fed, 21u);

  // Once it has its answer, bytes fed after it change nothing.
  FirstLineReader whole(16);
  EXPECT_TRUE(whole.Feed("1.2\n", 4));
  EXPECT_TRUE(whole.Feed("9", 1));
  EXPECT_EQ(whole.line(), "1.2");
  EXPECT_EQ(whole.Finish(), R::Line);
  FirstLineReader tooLong(2);
  EXPECT_TRUE(tooLong.Feed("123", 3));
  EXPECT_TRUE(tooLong.Feed("\n", 1));
  EXPECT_EQ(tooLong.Finish(), R::TooLong);
}

TEST(UpdateRules, RedirectsNeverLeaveHttps) {
  const struct {
    const wchar_t* from;
    const wchar_t* to;
    bool allowed;
  } cases[] = {
      {L"https://a.example/v.txt", L"https://b.example/v.txt", true},
      {L"https://a.example/v.txt", L"http://a.example/v.txt", false},
      {L"HTTPS://a.example/v.txt", L"Http://a.example/v.txt", false},
      {L"https://a.example/v.txt", L"HtTpS://a.example/v.txt", true},
      {L"https://a.example/v.txt", L"ftp://a.example/v.txt", false},
      {L"https://a.example/v.txt", L"httpsx://a.example/v.txt", false},  // not https
      {L"https://a.example/v.txt", L"https", false},                      // no colon
      {L"https://a.example/v.txt", L"", false},
      {L"http://a.example/v.txt", L"https://a.example/v.txt", true},
      {L"http://a.example/v.txt", L"http://b.example/v.txt", true},
      {L"http://a.example/v.txt", L"ftp://a.example/v.txt", true},  // the opener refuses it
      {L"httpsx://a.example/", L"http://a.example/", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsRedirectAllowed(c.from, c.to), c.allowed)
        << std::string(c.from, c.from + wcslen(c.from)) << " -> "
        << std::string(c.to, c.to + wcslen(c.to));
  }
}

}  // namespace
}  // namespace framewise
