// Fuzz target: decoder extension lists (what a codec's registration says) must join into a
// list that keeps its own form whatever they hold: ";"-framed entries, each a dot and up to
// 32 characters none of which separates or wildcards, each once; and every extension in it
// must match a file name that ends with it. Cut to its room, it keeps whole entries.
#include "fitting/portable/picture_extensions.h"

#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzDictionary = {
    ".jpg",
    ".JPEG",
    ",",
    ";",
    " ",
    "*",
    "*.",
    ".",
    "..",
    "webp",
    ".tga;.tpic",
    ".bmp,.dib,.rle",
    "\t",
    "?",
    "/",
    "\\",
    ":",
    "\"",
    std::string(1, '\0'),
    "\x7f",
    "\xc3\xa9",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Each byte stands for one code unit; a 0x01 byte splits the input into several lists.
  std::vector<std::wstring> lists(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 1) {
      lists.emplace_back();
    } else {
      lists.back().push_back(static_cast<wchar_t>(data[i]));
    }
  }
  std::wstring joined;
  for (const std::wstring& list : lists) framewise::AddExtensionList(list, &joined);
  if (joined.empty() || joined.front() != L';' || joined.back() != L';') std::abort();
  std::set<std::wstring> seen;
  size_t start = 1;
  while (start < joined.size()) {
    const size_t end = joined.find(L';', start);
    const std::wstring entry = joined.substr(start, end - start);
    if (entry.size() < 2 || entry.size() > 33 || entry[0] != L'.') std::abort();
    for (size_t i = 1; i < entry.size(); ++i) {
      const wchar_t c = entry[i];
      if (c < 0x20 || (c >= L'A' && c <= L'Z') ||
          std::wstring(L"*?/\\:;,.\"<>|").find(c) != std::wstring::npos) {
        std::abort();
      }
    }
    if (!seen.insert(entry).second) std::abort();
    if (!framewise::ListHasNameExtension(joined, L"C:\\x\\name" + entry)) std::abort();
    start = end + 1;
  }
  // Cut to any room, the list keeps whole entries only, within that room.
  for (size_t capacity = 0; capacity <= joined.size() + 1; ++capacity) {
    std::wstring cut = joined;
    framewise::CutExtensionList(capacity, &cut);
    if (cut.size() > capacity || joined.compare(0, cut.size(), cut) != 0) std::abort();
    if (!cut.empty() && cut.back() != L';') std::abort();
  }
  return 0;
}
