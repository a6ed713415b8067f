// Runs a libFuzzer-style target without libFuzzer: over generated inputs
// (random bytes and random mixes of the target's dictionary), deterministic.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
// Tokens that make generated inputs look like the parser's language; each target defines it.
extern const std::vector<std::string> kFuzzDictionary;

int main() {
  std::mt19937 rng(12345);
  const int kRuns = 20000;
  for (int run = 0; run < kRuns; ++run) {
    std::string input;
    const size_t pieces = rng() % 24;
    for (size_t i = 0; i < pieces; ++i) {
      if (!kFuzzDictionary.empty() && rng() % 3 != 0) {
        input += kFuzzDictionary[rng() % kFuzzDictionary.size()];
      } else {
        input.push_back(static_cast<char>(rng() % 256));
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
  }
  std::printf("%d inputs run\n", kRuns);
  return 0;
}
