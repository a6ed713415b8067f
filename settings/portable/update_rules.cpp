#include "settings/portable/update_rules.h"

#include <climits>
#include <cmath>

#include "settings/portable/version_text.h"

namespace framewise {

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }
bool IsDigit(wchar_t c) { return c >= L'0' && c <= L'9'; }

// True when `url` starts with `scheme` (lower case) and a colon, in any case.
bool HasScheme(const std::wstring& url, const wchar_t* scheme) {
  size_t i = 0;
  for (; scheme[i] != L'\0'; ++i) {
    if (i >= url.size()) return false;
    const wchar_t c = url[i];
    const wchar_t lower = c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
    if (lower != scheme[i]) return false;
  }
  return i < url.size() && url[i] == L':';
}

// One "%d" conversion at `*pos`: blanks, an optional sign, at least one digit. False when
// there is no number or it does not fit an int.
bool ScanInt(const std::wstring& text, size_t* pos, int* value) {
  size_t i = *pos;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  if (i >= text.size() || !IsDigit(text[i])) return false;
  long long magnitude = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i) {
    magnitude = magnitude * 10 + (text[i] - L'0');
    if (magnitude > static_cast<long long>(INT_MAX) + 1) return false;
  }
  const long long signedValue = negative ? -magnitude : magnitude;
  if (signedValue > INT_MAX || signedValue < INT_MIN) return false;
  *value = static_cast<int>(signedValue);
  *pos = i;
  return true;
}

bool ScanSlash(const std::wstring& text, size_t* pos) {
  if (*pos >= text.size() || text[*pos] != L'/') return false;
  ++*pos;
  return true;
}

}  // namespace

CalendarDate ParseLastChecked(const std::wstring& text) {
  CalendarDate date;
  size_t pos = 0;
  if (ScanInt(text, &pos, &date.year) && ScanSlash(text, &pos) && ScanInt(text, &pos, &date.month) &&
      ScanSlash(text, &pos) && ScanInt(text, &pos, &date.day)) {
    return date;
  }
  return CalendarDate();
}

int ElapsedDaysSince(const CalendarDate& date, std::time_t now) {
  const long long year = static_cast<long long>(date.year) - 1900;
  const long long month = static_cast<long long>(date.month) - 1;
  if (year < INT_MIN || month < INT_MIN) return INT_MAX;
  std::tm local = {};
  local.tm_year = static_cast<int>(year);
  local.tm_mon = static_cast<int>(month);
  local.tm_mday = date.day;
  local.tm_isdst = -1;  // the library decides whether daylight saving applies that day
  const std::time_t midnight = std::mktime(&local);
  if (midnight == static_cast<std::time_t>(-1)) return INT_MAX;
  const double days = std::trunc(std::difftime(now, midnight) / 86400.0);
  if (days >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (days <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(days);
}

int LeadingNumber(const std::wstring& text, size_t count) {
  const std::wstring head = text.substr(0, count);
  size_t i = 0;
  while (i < head.size() && IsBlank(head[i])) ++i;
  bool negative = false;
  if (i < head.size() && (head[i] == L'+' || head[i] == L'-')) negative = head[i++] == L'-';
  long long value = 0;
  for (; i < head.size() && IsDigit(head[i]) && value <= INT_MAX; ++i) value = value * 10 + (head[i] - L'0');
  if (negative) value = -value;
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

UpdateAnnouncement ClassifyPublishedVersion(const std::wstring& newest, const std::wstring& own,
                                            bool fromBetaFile) {
  if (newest.empty() || !IsNewerVersion(newest, own)) return UpdateAnnouncement::None;
  if (fromBetaFile) return UpdateAnnouncement::NewBeta;
  return LeadingNumber(newest, 2) > LeadingNumber(own, 2) ? UpdateAnnouncement::NewerVersion
                                                          : UpdateAnnouncement::Unnamed;
}

bool FirstLineReader::Feed(const char* data, size_t size) {
  if (Done()) return true;
  if (size > 0) sawData_ = true;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      complete_ = true;
      return true;
    }
    // Every byte counts against the bound, carriage returns too: a body of nothing but
    // them must end the read as well.
    if (++consumed_ > maxBytes_) {
      tooLong_ = true;
      line_.clear();
      return true;
    }
    if (data[i] != '\r') line_.push_back(data[i]);
  }
  return false;
}

FirstLineReader::Result FirstLineReader::Finish() const {
  if (tooLong_) return Result::TooLong;
  if (!sawData_) return Result::NoData;
  return Result::Line;
}

std::string VersionLineText(const std::string& line) { return line.substr(0, line.find('\0')); }

bool IsRedirectAllowed(const std::wstring& from, const std::wstring& to) {
  return !HasScheme(from, L"https") || HasScheme(to, L"https");
}

}  // namespace framewise
