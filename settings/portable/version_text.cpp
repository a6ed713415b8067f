#include "settings/portable/version_text.h"

namespace framewise {

namespace {

// One part as printf's "%0<width>hd" writes it: signed 16-bit, zeros between the sign and
// the digits up to the width.
void AppendPart(std::wstring* out, uint16_t part, size_t width) {
  const int value = static_cast<int16_t>(part);
  unsigned magnitude = static_cast<unsigned>(value < 0 ? -value : value);
  wchar_t digits[8];
  size_t count = 0;
  do {
    digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  const size_t used = count + (value < 0 ? 1 : 0);
  if (value < 0) out->push_back(L'-');
  if (used < width) out->append(width - used, L'0');
  while (count > 0) out->push_back(digits[--count]);
}

bool IsLineEnd(wchar_t c) { return c == L'\r' || c == L'\n'; }

// ASCII-only case folding: the stored names are ASCII, and folding nothing else keeps the
// answer the same on every platform and locale.
wchar_t FoldAscii(wchar_t c) { return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c - L'A' + L'a') : c; }

bool EqualsIgnoringCase(const std::wstring& text, const wchar_t* name) {
  size_t i = 0;
  for (; i < text.size() && name[i] != L'\0'; ++i) {
    if (FoldAscii(text[i]) != FoldAscii(name[i])) return false;
  }
  return i == text.size() && name[i] == L'\0';
}

}  // namespace

std::wstring FormatVersion(const VersionNumber& version, VersionForm form) {
  const uint16_t parts[kVersionPartCount] = {version.major, version.minor, version.build,
                                             version.revision};
  const bool comparable = form == VersionForm::Comparable;
  // The display form drops a zero revision, then a zero build; a revision forces all four
  // parts even when the build is 0 (1.1.0.5).
  const size_t shown = comparable || version.revision != 0 ? 4 : version.build != 0 ? 3 : 2;
  std::wstring text;
  for (size_t i = 0; i < shown; ++i) {
    if (i != 0) text.push_back(L'.');
    AppendPart(&text, parts[i], comparable ? VersionPartWidths[i] : 0);
  }
  return text;
}

void MakeComparable(std::wstring* text) {
  std::wstring result;
  result.reserve(text->size() + 16);
  size_t partIndex = 0;
  size_t i = 0;
  const std::wstring& in = *text;
  while (i < in.size()) {
    if (IsLineEnd(in[i])) {
      ++i;
      continue;
    }
    if (in[i] == L'.') {
      result.push_back(L'.');
      ++i;
      continue;
    }
    // One part: everything up to the next full stop, line ends dropped.
    std::wstring part;
    for (; i < in.size() && in[i] != L'.'; ++i) {
      if (!IsLineEnd(in[i])) part.push_back(in[i]);
    }
    // Only the first four parts have a width; later ones are kept as published.
    if (partIndex < kVersionPartCount && part.size() < VersionPartWidths[partIndex]) {
      result.append(VersionPartWidths[partIndex] - part.size(), L'0');
    }
    result += part;
    ++partIndex;
  }
  for (; partIndex < kVersionPartCount; ++partIndex) {
    result.push_back(L'.');
    result.append(VersionPartWidths[partIndex], L'0');
  }
  text->swap(result);
}

bool IsNewerVersion(const std::wstring& candidate, const std::wstring& current) {
  return candidate.compare(current) > 0;
}

const wchar_t* VersionTypeName(VersionType type) {
  switch (type) {
    case VersionType::Beta: return L"Beta";
    case VersionType::Release: return L"Release";
    default: return L"None";
  }
}

VersionType VersionTypeFromName(const std::wstring& name) {
  if (EqualsIgnoringCase(name, L"Beta")) return VersionType::Beta;
  if (EqualsIgnoringCase(name, L"Release")) return VersionType::Release;
  return VersionType::None;
}

}  // namespace framewise
