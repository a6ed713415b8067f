// Writes the profiles the builder makes for a few coded colour descriptions into a folder,
// so lcms_check.py can convert colours with them through lcms2.
#include <cstdio>
#include <string>
#include <vector>

#include "fitting/portable/colour_profile.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: write_nclx_profiles FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  const struct {
    const char* name;
    uint16_t primaries, transfer;
  } coded[] = {{"display_p3", 12, 13}, {"bt709", 1, 1}, {"bt2020", 9, 14}};
  for (const auto& c : coded) {
    framewise::NclxColour nclx;
    nclx.primaries = c.primaries;
    nclx.transfer = c.transfer;
    std::vector<uint8_t> profile;
    if (framewise::ProfileForNclx(nclx, &profile) != framewise::NclxHandling::Profile ||
        !Write(folder + "/" + c.name + ".icc", profile)) {
      std::fprintf(stderr, "no profile for %s\n", c.name);
      return 1;
    }
  }
  // sRGB itself is never built for a picture; built here, it shows the builder agrees with
  // the colour engine's own sRGB.
  const framewise::RgbPrimaries bt709{{0.64, 0.33}, {0.30, 0.60}, {0.15, 0.06}, {0.3127, 0.3290}};
  const framewise::TransferCurve srgb{2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045, 0, 0};
  return Write(folder + "/srgb.icc", framewise::MakeRgbMatrixProfile(bt709, srgb, "sRGB")) ? 0 : 1;
}
