#include "shellext/portable/module_paths.h"

namespace framewise {
namespace {

size_t FileNameStart(const std::wstring& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? 0 : separator + 1;
}

}  // namespace

std::wstring DoubleSingleQuotes(const std::wstring& text) {
  std::wstring result;
  result.reserve(text.size());
  for (wchar_t c : text) {
    result.push_back(c);
    if (c == L'\'') result.push_back(L'\'');
  }
  return result;
}

std::wstring TypeLibFallbackPath(const std::wstring& path) {
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || dot < FileNameStart(path)) return path + L".tlb";
  return path.substr(0, dot) + L".tlb";
}

std::wstring HelpDirectoryOf(const std::wstring& path) {
  return path.substr(0, FileNameStart(path));
}

}  // namespace framewise
