// Published version texts are downloaded: any text must come through MakeComparable
// without reading or writing out of bounds, and keep its shape.
#include "settings/portable/version_text.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern const std::vector<std::string> kFuzzDictionary;
const std::vector<std::string> kFuzzDictionary = {
    ".", "..", "\r", "\n", "\r\n", "0", "1", "12", "123", "12345", "99999", "-", "a",
};

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Bytes as code units, so every value of a UTF-16 unit can occur.
  std::wstring text;
  for (size_t i = 0; i + 1 < size; i += 2) {
    text.push_back(static_cast<wchar_t>(data[i] | (data[i + 1] << 8)));
  }
  // And the bytes themselves, which is how most dictionary mixes stay readable.
  std::wstring bytes(data, data + size);
  for (std::wstring* input : {&text, &bytes}) {
    std::wstring once = *input;
    framewise::MakeComparable(&once);
    // Line ends are gone, at least the four parts' widths are there, and the comparable
    // form of a comparable form is itself.
    if (once.find_first_of(L"\r\n") != std::wstring::npos) std::abort();
    if (once.size() < 13) std::abort();
    std::wstring twice = once;
    framewise::MakeComparable(&twice);
    if (twice != once) std::abort();
    (void)framewise::IsNewerVersion(once, twice);
    (void)framewise::VersionTypeFromName(*input);
  }
  return 0;
}
