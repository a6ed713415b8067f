// Colour management of wallpapers, the part that needs no platform: finding the colour
// description a picture carries (an embedded ICC profile, or the coded primaries and transfer
// of a HEIF/AVIF item), judging whether a profile is usable and whether it is sRGB in effect,
// and building a small RGB display profile from coded primaries and a transfer curve. The
// platform side converts a picture that is not sRGB with its own colour engine; a picture
// whose profile is sRGB in effect keeps its pixels untouched.
//
// Files and profiles come from anywhere: every read is bounded and checked, and hostile bytes
// give a clean false or empty answer, never a fault, a hang or an allocation above
// kMaxProfileBytes. No Windows header here.
//
// The container walks (JPEG, TIFF, PNG, RIFF, ISO-BMFF) are in embedded_colour.cpp; the
// profile checks and the profile builder in colour_profile.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fitting/portable/picture_header.h"

namespace framewise {

// The largest embedded profile read. Real ones take a few hundred bytes to a few hundred KB.
constexpr size_t kMaxProfileBytes = 8u << 20;

// A coded colour description, as a HEIF/AVIF 'nclx' colour box holds it: the code points of
// the colour primaries, the transfer characteristics and the matrix coefficients (2 is
// "not given" in each), and whether the samples use the full range.
struct NclxColour {
  uint16_t primaries = 2;
  uint16_t transfer = 2;
  uint16_t matrix = 2;
  bool fullRange = false;
};

enum class EmbeddedColour {
  None,           // nothing found, or what was found was broken
  IccProfile,     // the profile's bytes
  CompressedIcc,  // a PNG's zlib-compressed profile; the platform's decoder inflates it
  Nclx,           // no profile, only a coded colour description
};

struct EmbeddedColourInfo {
  EmbeddedColour kind = EmbeddedColour::None;
  // A HEIF/AVIF item may carry a profile and a coded description both; the profile is what
  // counts then, and the coded one is still reported here.
  bool hasNclx = false;
  NclxColour nclx;
};

// Finds the colour description embedded in a JPEG (APP2 "ICC_PROFILE" chunks, reassembled in
// sequence order), TIFF (IFD0 tag 34675), PNG (iCCP, left compressed), WebP (the ICCP chunk
// of an extended file) or HEIF/AVIF (the primary item's 'colr' property). True when one was
// found: *profile then holds the profile (or the PNG's compressed stream) unless the kind is
// Nclx. False when there is none or it is broken (chunks missing, repeated or disagreeing on
// their count, sizes past the file's end or above kMaxProfileBytes); *profile is then empty
// and *info has kind None. The profile's bytes are returned as found: judge them with
// IsPlausibleIccProfile before use.
bool ReadEmbeddedProfile(ByteSource& source, std::vector<uint8_t>* profile,
                         EmbeddedColourInfo* info);

// True when the bytes are an ICC profile a colour engine can use to convert an RGB picture:
// a header whose size field is at most the data's size, the 'acsp' signature, version 2 or
// 4, a display, input or colour space profile of RGB data with an XYZ or Lab connection
// space, a tag table whose entries all lie inside the profile, and either the colorant and
// curve tags of a matrix profile (well formed) or a device-to-connection table (A2B0).
bool IsPlausibleIccProfile(const uint8_t* data, size_t size);

// True when a plausible profile is sRGB in effect, so the picture can keep its pixels
// unconverted: a matrix profile without device-to-connection tables, whose D50-adapted
// colorants match sRGB's within 0.001 and whose three curves match the sRGB curve within
// half a step of 8-bit output everywhere. Variants of sRGB from different makers pass; a
// profile with sRGB's primaries and another curve (Rec. 709's, a plain gamma) does not.
bool IsSrgbProfile(const uint8_t* data, size_t size);

// A chromaticity in CIE 1931 xy.
struct Chromaticity {
  double x = 0;
  double y = 0;
};

struct RgbPrimaries {
  Chromaticity red, green, blue, white;
};

// A transfer curve from encoded value X in 0..1 to linear light Y in 0..1, in the form of the
// ICC parametric curve: Y = (a*X + b)^g + e for X >= d, and Y = c*X + f below d.
struct TransferCurve {
  double g = 1, a = 1, b = 0, c = 0, d = 0, e = 0, f = 0;
};

// Builds an ICC version 2.4 RGB display profile: the colorants of the primaries adapted from
// their white to the D50 connection white with the Bradford transform (with the 'chad'
// tag recording that adaptation), and the curve as a 1024-entry table shared by the three
// channels. `description` (ASCII, cut at 64 characters) names it. Empty when the primaries
// are not a usable triangle around their white, or the curve is not finite, rising and
// ending near 1.
std::vector<uint8_t> MakeRgbMatrixProfile(const RgbPrimaries& primaries, const TransferCurve& curve,
                                          const char* description);

enum class NclxHandling {
  Srgb,         // the picture is sRGB already: no conversion
  Profile,      // *profile holds a profile that describes it, to convert from
  Unsupported,  // not expressible as a matrix profile (PQ, HLG, unknown codes): leave as is
};

// What to do with a picture described by coded primaries and transfer. Primaries not
// given count as BT.709's and a transfer not given as sRGB's, as a picture without
// any description is taken as sRGB. The BT.709 family of transfers is taken as the inverse
// of its camera curve. *profile is empty unless the answer is Profile.
NclxHandling ProfileForNclx(const NclxColour& nclx, std::vector<uint8_t>* profile);

}  // namespace framewise
