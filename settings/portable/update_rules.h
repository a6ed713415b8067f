// The update checker's rules that need no Windows header: how often a check is due, the
// date stored as LastChecked, the first line of a version file read with a bound, which
// announcement a newer published version earns, and which redirects are followed.
#pragma once

#include <cstddef>
#include <ctime>
#include <string>

namespace framewise {

// Days between background checks.
constexpr int kReleaseCheckIntervalDays = 15;
constexpr int kBetaCheckIntervalDays = 2;
constexpr int CheckIntervalDays(bool prerelease) {
  return prerelease ? kBetaCheckIntervalDays : kReleaseCheckIntervalDays;
}

// A local calendar date; month and day count from 1.
struct CalendarDate {
  int year = 1970;
  int month = 1;
  int day = 1;
};

// LastChecked as stored ("2007/1/1", scanned as "%d/%d/%d"). Anything from which three
// numbers cannot be read, or a number outside the int range, gives 1 January 1970: the
// cache then counts as stale.
CalendarDate ParseLastChecked(const std::wstring& text);

// Whole days (truncated toward zero) from local midnight of `date` to `now`; negative for a
// date in the future. A date the C library cannot place in time counts as long ago.
// Results are clamped to the int range.
int ElapsedDaysSince(const CalendarDate& date, std::time_t now);

// The cache is fresh while fewer whole days than the interval have passed.
constexpr bool IsCacheFresh(int elapsedDays, int intervalDays) { return elapsedDays < intervalDays; }

// What an evaluation of a published version announces.
enum class UpdateAnnouncement {
  None,          // not newer than the own version: nothing is published
  Unnamed,       // newer, same major field: the menu shows its general text
  NewerVersion,  // a release with a higher major field
  NewBeta,       // newer, from the beta version file
};

// `newest` and `own` in the comparable form. The major fields are the numbers read from
// the first two characters of each text (leading blanks, a sign, then digits).
UpdateAnnouncement ClassifyPublishedVersion(const std::wstring& newest, const std::wstring& own,
                                            bool fromBetaFile);

// The number at the start of the first `count` characters of `text`, read as the C
// library's atoi reads it; 0 when there is none.
int LeadingNumber(const std::wstring& text, size_t count);

// Longest first line, in bytes, taken from a version file. A version is a few characters;
// the bound keeps a hostile or broken answer from costing more than a few reads.
constexpr size_t kMaxVersionLineBytes = 4096;

// Collects the first line of a byte stream fed in pieces: the bytes before the first line
// feed, carriage returns dropped. Stops wanting data once the line is complete or longer
// than its bound.
class FirstLineReader {
 public:
  enum class Result {
    Line,     // a line was read (possibly empty): the stream had bytes
    NoData,   // the stream ended before any byte
    TooLong,  // no line feed within the bound: not a version line
  };

  explicit FirstLineReader(size_t maxBytes = kMaxVersionLineBytes) : maxBytes_(maxBytes) {}

  // Takes the next bytes. Returns true when no more bytes are needed.
  bool Feed(const char* data, size_t size);
  bool Done() const { return complete_ || tooLong_; }

  // The outcome once the stream has ended or Feed returned true.
  Result Finish() const;
  // The line, when Finish gives Line.
  const std::string& line() const { return line_; }

 private:
  size_t maxBytes_;
  std::string line_;
  size_t consumed_ = 0;
  bool sawData_ = false;
  bool complete_ = false;
  bool tooLong_ = false;
};

// The 8-bit text of a version line: its bytes up to the first NUL.
std::string VersionLineText(const std::string& line);

// Whether a version file's request at `from` may follow a redirect to `to` (absolute
// addresses). An https address may lead only to https: an answer over plain http could
// come from anyone on the way. From http anything goes; whether `to` is a web address
// at all is the opener's question. Schemes compare without regard to case.
bool IsRedirectAllowed(const std::wstring& from, const std::wstring& to);

}  // namespace framewise
