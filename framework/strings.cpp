#include "framework/strings.h"

#include "framework/app.h"

namespace fw {

std::wstring LoadResourceString(UINT id) {
  const wchar_t* text = nullptr;
  // With a zero length the call returns a read-only pointer into the resource itself.
  const int length = LoadStringW(fw::ResourceInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || !text) return std::wstring();
  return std::wstring(text, static_cast<size_t>(length));
}

namespace {

// Replaces "%s" in turn with each argument; "%%" stands for a percent sign. Only %s is
// understood: the texts come from our own string table.
std::wstring Substitute(const std::wstring& format, const std::wstring* args, size_t count) {
  std::wstring out;
  size_t next = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] == L'%' && i + 1 < format.size()) {
      if (format[i + 1] == L's') {
        if (next < count) out += args[next++];
        ++i;
        continue;
      }
      if (format[i + 1] == L'%') {
        out += L'%';
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace

std::wstring FormatString(const std::wstring& format, const std::wstring& a) {
  return Substitute(format, &a, 1);
}

std::wstring FormatString(const std::wstring& format, const std::wstring& a, const std::wstring& b) {
  const std::wstring args[] = {a, b};
  return Substitute(format, args, 2);
}

}  // namespace fw
