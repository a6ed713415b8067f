// ICC profile checks (usable at all, sRGB in effect) and the builder of small RGB matrix
// profiles for pictures that describe their colours by coded primaries and transfer.
#include "fitting/portable/colour_profile.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>

namespace framewise {

namespace {

constexpr size_t kHeaderSize = 128;
constexpr size_t kTagEntrySize = 12;

// Half a step of 8-bit output: a curve closer than this to sRGB's gives the same bytes.
constexpr double kCurveTolerance = 0.5 / 255;
// sRGB profiles from different makers differ by up to 0.0003 in a colorant; the nearest
// other spaces (PAL, SMPTE-C) by 0.02.
constexpr double kColorantTolerance = 0.001;
// Points at which a curve is compared with sRGB's.
constexpr int kCurveSamples = 4096;
constexpr int kTableEntries = 1024;
constexpr size_t kMaxDescription = 64;

// The D50 connection white and the sRGB colorants adapted to it (Bradford), as profiles
// store them.
constexpr double kD50[3] = {0.9642, 1.0, 0.8249};
constexpr double kSrgbColorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }

uint32_t Be32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

double S15Fixed16(const uint8_t* p) { return static_cast<int32_t>(Be32(p)) / 65536.0; }

constexpr uint32_t Sig(const char (&s)[5]) {
  return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[1])) << 16) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[2])) << 8) |
         static_cast<uint32_t>(static_cast<uint8_t>(s[3]));
}

// A tag's data, inside the profile.
struct Span {
  const uint8_t* data = nullptr;
  size_t size = 0;
};

// A profile whose header and tag table have been checked: every tag lies inside it.
class Profile {
 public:
  // False when the header or the tag table is not sound.
  bool Open(const uint8_t* data, size_t size) {
    if (!data || size < kHeaderSize + 4) return false;
    const uint32_t declared = Be32(data);
    if (declared < kHeaderSize + 4 || declared > size) return false;
    if (Be32(data + 36) != Sig("acsp")) return false;
    const uint32_t count = Be32(data + kHeaderSize);
    if (count > (declared - kHeaderSize - 4) / kTagEntrySize) return false;
    const uint64_t tableEnd = kHeaderSize + 4 + static_cast<uint64_t>(count) * kTagEntrySize;
    for (uint32_t i = 0; i < count; ++i) {
      const uint8_t* e = data + kHeaderSize + 4 + i * kTagEntrySize;
      const uint64_t offset = Be32(e + 4), length = Be32(e + 8);
      if (offset < tableEnd || length == 0 || offset + length > declared) return false;
    }
    data_ = data;
    count_ = count;
    return true;
  }

  uint32_t Header(size_t offset) const { return Be32(data_ + offset); }
  int MajorVersion() const { return data_[8]; }

  bool Find(uint32_t signature, Span* span) const {
    for (uint32_t i = 0; i < count_; ++i) {
      const uint8_t* e = data_ + kHeaderSize + 4 + i * kTagEntrySize;
      if (Be32(e) == signature) {
        span->data = data_ + Be32(e + 4);
        span->size = Be32(e + 8);
        return true;
      }
    }
    return false;
  }
  bool Has(uint32_t signature) const {
    Span ignored;
    return Find(signature, &ignored);
  }

 private:
  const uint8_t* data_ = nullptr;
  uint32_t count_ = 0;
};

// A tone curve tag ('curv' table or gamma, or 'para' function), checked to fit its tag.
class Curve {
 public:
  bool Open(const Span& tag) {
    if (tag.size < 12) return false;
    type_ = Be32(tag.data);
    if (type_ == Sig("curv")) {
      const uint32_t count = Be32(tag.data + 8);
      if (count > (tag.size - 12) / 2) return false;
      entries_ = tag.data + 12;
      count_ = count;
      return true;
    }
    if (type_ == Sig("para")) {
      static const int kParameters[] = {1, 3, 4, 5, 7};
      function_ = Be16(tag.data + 8);
      if (function_ > 4) return false;
      const int n = kParameters[function_];
      if (tag.size < 12 + 4u * n) return false;
      for (int i = 0; i < n; ++i) p_[i] = S15Fixed16(tag.data + 12 + 4 * i);
      return true;
    }
    return false;
  }

  // Linear light for an encoded value in 0..1, clamped to 0..1.
  double Evaluate(double x) const {
    double y;
    if (type_ == Sig("curv")) {
      if (count_ == 0) {
        y = x;
      } else if (count_ == 1) {
        y = std::pow(x, Be16(entries_) / 256.0);
      } else {
        const double at = x * (count_ - 1);
        const uint32_t i = std::min(static_cast<uint32_t>(at), count_ - 2);
        const double t = at - i;
        y = (Be16(entries_ + 2 * i) * (1 - t) + Be16(entries_ + 2 * i + 2) * t) / 65535.0;
      }
    } else {
      const double g = p_[0], a = p_[1], b = p_[2], c = p_[3], d = p_[4], e = p_[5], f = p_[6];
      switch (function_) {
        case 0: y = Power(x, g); break;
        case 1: y = Power(a * x + b, g); break;
        case 2: y = a * x + b >= 0 ? Power(a * x + b, g) + c : c; break;
        case 3: y = x >= d ? Power(a * x + b, g) : c * x; break;
        default: y = x >= d ? Power(a * x + b, g) + e : c * x + f; break;
      }
    }
    if (!(y >= 0)) return 0;  // NaN too
    return std::min(y, 1.0);
  }

 private:
  static double Power(double base, double exponent) {
    return base <= 0 ? 0 : std::pow(base, exponent);
  }

  uint32_t type_ = 0;
  const uint8_t* entries_ = nullptr;
  uint32_t count_ = 0;
  int function_ = 0;
  double p_[7] = {1, 1, 0, 0, 0, 0, 0};
};

bool ReadXyz(const Span& tag, double xyz[3]) {
  if (tag.size < 20 || Be32(tag.data) != Sig("XYZ ")) return false;
  for (int i = 0; i < 3; ++i) xyz[i] = S15Fixed16(tag.data + 8 + 4 * i);
  return true;
}

// The colorants (red, green, blue) and curves of a matrix profile.
struct MatrixProfile {
  double colorants[3][3];
  Curve curves[3];
};

bool ReadMatrixProfile(const Profile& profile, MatrixProfile* out) {
  static const uint32_t kColorants[3] = {Sig("rXYZ"), Sig("gXYZ"), Sig("bXYZ")};
  static const uint32_t kCurves[3] = {Sig("rTRC"), Sig("gTRC"), Sig("bTRC")};
  for (int i = 0; i < 3; ++i) {
    Span span;
    if (!profile.Find(kColorants[i], &span) || !ReadXyz(span, out->colorants[i])) return false;
    if (!profile.Find(kCurves[i], &span) || !out->curves[i].Open(span)) return false;
  }
  return true;
}

double SrgbEncode(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
}

bool IsSrgbCurve(const Curve& curve) {
  for (int i = 0; i < kCurveSamples; ++i) {
    const double x = static_cast<double>(i) / (kCurveSamples - 1);
    if (std::fabs(SrgbEncode(curve.Evaluate(x)) - x) > kCurveTolerance) return false;
  }
  return true;
}

bool IsUsableRgbProfile(const Profile& profile) {
  const uint32_t deviceClass = profile.Header(12);
  const uint32_t pcs = profile.Header(20);
  if (deviceClass != Sig("mntr") && deviceClass != Sig("scnr") && deviceClass != Sig("spac")) {
    return false;
  }
  if (profile.Header(16) != Sig("RGB ") || (pcs != Sig("XYZ ") && pcs != Sig("Lab "))) {
    return false;
  }
  if (profile.MajorVersion() != 2 && profile.MajorVersion() != 4) return false;
  if (profile.Has(Sig("A2B0"))) return true;
  MatrixProfile matrix;
  return pcs == Sig("XYZ ") && ReadMatrixProfile(profile, &matrix);
}

// ---- Building profiles.

using Matrix = double[3][3];

void Multiply(const Matrix a, const Matrix b, Matrix out) {
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      out[r][c] = a[r][0] * b[0][c] + a[r][1] * b[1][c] + a[r][2] * b[2][c];
    }
  }
}

void Apply(const Matrix m, const double v[3], double out[3]) {
  for (int r = 0; r < 3; ++r) out[r] = m[r][0] * v[0] + m[r][1] * v[1] + m[r][2] * v[2];
}

bool Invert(const Matrix m, Matrix out) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!std::isfinite(det) || std::fabs(det) < 1e-12) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      // Cofactor of (c, r), divided by the determinant.
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

// XYZ (Y = 1) of a chromaticity; false when it is not a real colour's.
bool ToXyz(const Chromaticity& c, double xyz[3]) {
  if (!std::isfinite(c.x) || !std::isfinite(c.y) || c.y <= 0 || c.x < 0 || c.x + c.y > 1) {
    return false;
  }
  xyz[0] = c.x / c.y;
  xyz[1] = 1;
  xyz[2] = (1 - c.x - c.y) / c.y;
  return true;
}

// The Bradford chromatic adaptation from `white` to D50.
bool BradfordToD50(const double white[3], Matrix out) {
  static const Matrix kBradford = {
      {0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}};
  Matrix inverse;
  if (!Invert(kBradford, inverse)) return false;
  double from[3], to[3];
  Apply(kBradford, white, from);
  Apply(kBradford, kD50, to);
  Matrix scale = {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}};
  for (int i = 0; i < 3; ++i) {
    if (!(from[i] > 0)) return false;
    scale[i][i] = to[i] / from[i];
  }
  Matrix scaled;
  Multiply(scale, kBradford, scaled);
  Multiply(inverse, scaled, out);
  return true;
}

class Writer {
 public:
  void Put8(uint8_t v) { bytes_.push_back(v); }
  void Put16(uint32_t v) {
    Put8(static_cast<uint8_t>(v >> 8));
    Put8(static_cast<uint8_t>(v));
  }
  void Put32(uint32_t v) {
    Put16(v >> 16);
    Put16(v & 0xFFFF);
  }
  void PutFixed(double v) {
    const double scaled = std::round(v * 65536.0);
    const double limited = std::max(-2147483648.0, std::min(2147483647.0, scaled));
    Put32(static_cast<uint32_t>(static_cast<int32_t>(limited)));
  }
  void PutText(const std::string& text) {
    for (char ch : text) Put8(static_cast<uint8_t>(ch));
  }
  void PutZeros(size_t n) { bytes_.insert(bytes_.end(), n, 0); }
  void Align4() { PutZeros((4 - bytes_.size() % 4) % 4); }
  size_t Size() const { return bytes_.size(); }
  void Set32(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes_[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};

struct TagData {
  uint32_t signature;
  size_t element;  // index of the data element, shared by the three curves
};

std::string AsciiDescription(const char* description) {
  std::string text;
  for (const char* p = description ? description : ""; *p && text.size() < kMaxDescription; ++p) {
    const unsigned char ch = static_cast<unsigned char>(*p);
    text.push_back(ch >= 0x20 && ch < 0x7F ? static_cast<char>(ch) : '?');
  }
  return text.empty() ? std::string("RGB") : text;
}

std::vector<uint8_t> DescriptionElement(const std::string& text) {
  Writer w;
  w.PutText("desc");
  w.Put32(0);
  w.Put32(static_cast<uint32_t>(text.size() + 1));
  w.PutText(text);
  w.Put8(0);
  w.Put32(0);      // Unicode language
  w.Put32(0);      // Unicode count
  w.Put16(0);      // ScriptCode code
  w.Put8(0);       // ScriptCode count
  w.PutZeros(67);  // ScriptCode text
  return std::move(w.Bytes());
}

std::vector<uint8_t> TextElement(const std::string& text) {
  Writer w;
  w.PutText("text");
  w.Put32(0);
  w.PutText(text);
  w.Put8(0);
  return std::move(w.Bytes());
}

std::vector<uint8_t> XyzElement(const double xyz[3]) {
  Writer w;
  w.PutText("XYZ ");
  w.Put32(0);
  for (int i = 0; i < 3; ++i) w.PutFixed(xyz[i]);
  return std::move(w.Bytes());
}

std::vector<uint8_t> MatrixElement(const Matrix m) {
  Writer w;
  w.PutText("sf32");
  w.Put32(0);
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) w.PutFixed(m[r][c]);
  }
  return std::move(w.Bytes());
}

// The curve sampled into a table; empty when it is not finite, falls, or does not end
// near 1 (white must stay white).
std::vector<uint8_t> CurveElement(const TransferCurve& t) {
  const double params[] = {t.g, t.a, t.b, t.c, t.d, t.e, t.f};
  for (double p : params) {
    if (!std::isfinite(p)) return {};
  }
  Writer w;
  w.PutText("curv");
  w.Put32(0);
  w.Put32(kTableEntries);
  double previous = 0;
  for (int i = 0; i < kTableEntries; ++i) {
    const double x = static_cast<double>(i) / (kTableEntries - 1);
    double y;
    if (x >= t.d) {
      const double base = t.a * x + t.b;
      y = (base <= 0 ? 0 : std::pow(base, t.g)) + t.e;
    } else {
      y = t.c * x + t.f;
    }
    if (!std::isfinite(y) || y < -1e-6 || y < previous - 1e-9) return {};
    if (i == kTableEntries - 1 && std::fabs(y - 1) > 0.01) return {};
    previous = y;
    w.Put16(static_cast<uint32_t>(std::lround(std::min(1.0, std::max(0.0, y)) * 65535)));
  }
  return std::move(w.Bytes());
}

// Code points of coded colour descriptions.
bool NclxPrimaries(uint16_t code, RgbPrimaries* p) {
  const Chromaticity d65{0.3127, 0.3290}, c{0.310, 0.316};
  switch (code) {
    case 1:  // BT.709, sRGB
    case 2:  // not given: taken as sRGB's
      *p = {{0.640, 0.330}, {0.300, 0.600}, {0.150, 0.060}, d65};
      return true;
    case 4:  // BT.470 System M
      *p = {{0.67, 0.33}, {0.21, 0.71}, {0.14, 0.08}, c};
      return true;
    case 5:  // BT.470 System B, G; BT.601 625
      *p = {{0.64, 0.33}, {0.29, 0.60}, {0.15, 0.06}, d65};
      return true;
    case 6:  // BT.601 525, SMPTE 170M
    case 7:  // SMPTE 240M
      *p = {{0.630, 0.340}, {0.310, 0.595}, {0.155, 0.070}, d65};
      return true;
    case 8:  // generic film
      *p = {{0.681, 0.319}, {0.243, 0.692}, {0.145, 0.049}, c};
      return true;
    case 9:  // BT.2020, BT.2100
      *p = {{0.708, 0.292}, {0.170, 0.797}, {0.131, 0.046}, d65};
      return true;
    case 11:  // SMPTE RP 431-2 (DCI-P3)
      *p = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, {0.314, 0.351}};
      return true;
    case 12:  // SMPTE EG 432-1 (Display P3)
      *p = {{0.680, 0.320}, {0.265, 0.690}, {0.150, 0.060}, d65};
      return true;
    case 22:  // EBU Tech 3213-E
      *p = {{0.630, 0.340}, {0.295, 0.605}, {0.155, 0.077}, d65};
      return true;
    default:  // reserved, XYZ-based (10) and others
      return false;
  }
}

// The inverse of a camera curve V = k*L^0.45 - (k-1) above a linear part V = slope*L.
TransferCurve InverseCameraCurve(double k, double slope, double kneeLight) {
  TransferCurve t;
  t.g = 1 / 0.45;
  t.a = 1 / k;
  t.b = (k - 1) / k;
  t.c = 1 / slope;
  t.d = slope * kneeLight;
  return t;
}

bool NclxTransfer(uint16_t code, TransferCurve* t) {
  switch (code) {
    case 1:   // BT.709
    case 6:   // BT.601
    case 14:  // BT.2020 10-bit
    case 15:  // BT.2020 12-bit
      *t = InverseCameraCurve(1.099, 4.5, 0.018);
      return true;
    case 7:  // SMPTE 240M
      *t = InverseCameraCurve(1.1115, 4.0, 0.0228);
      return true;
    case 4:  // gamma 2.2
      *t = TransferCurve();
      t->g = 2.2;
      return true;
    case 5:  // gamma 2.8
      *t = TransferCurve();
      t->g = 2.8;
      return true;
    case 8:  // linear
      *t = TransferCurve();
      return true;
    case 2:   // not given: taken as sRGB's
    case 13:  // sRGB
      *t = TransferCurve();
      t->g = 2.4;
      t->a = 1 / 1.055;
      t->b = 0.055 / 1.055;
      t->c = 1 / 12.92;
      t->d = 0.04045;
      return true;
    default:  // PQ (16), HLG (18), logarithmic, extended-range and reserved ones
      return false;
  }
}

bool IsSrgbCode(uint16_t primaries, uint16_t transfer) {
  return (primaries == 1 || primaries == 2) && (transfer == 13 || transfer == 2);
}

}  // namespace

bool IsPlausibleIccProfile(const uint8_t* data, size_t size) {
  Profile profile;
  return profile.Open(data, size) && IsUsableRgbProfile(profile);
}

bool IsSrgbProfile(const uint8_t* data, size_t size) {
  Profile profile;
  if (!profile.Open(data, size) || !IsUsableRgbProfile(profile)) return false;
  if (profile.Header(20) != Sig("XYZ ")) return false;
  // A colour engine prefers these tables to the matrix and curves whatever they say.
  static const uint32_t kTables[] = {Sig("A2B0"), Sig("A2B1"), Sig("A2B2"),
                                     Sig("D2B0"), Sig("D2B1"), Sig("D2B2")};
  for (uint32_t table : kTables) {
    if (profile.Has(table)) return false;
  }
  MatrixProfile matrix;
  if (!ReadMatrixProfile(profile, &matrix)) return false;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      if (!(std::fabs(matrix.colorants[i][j] - kSrgbColorants[i][j]) <= kColorantTolerance)) {
        return false;
      }
    }
  }
  for (const Curve& curve : matrix.curves) {
    if (!IsSrgbCurve(curve)) return false;
  }
  return true;
}

std::vector<uint8_t> MakeRgbMatrixProfile(const RgbPrimaries& primaries, const TransferCurve& curve,
                                          const char* description) {
  // The primaries' XYZ as columns, scaled so that they add up to the white.
  double red[3], green[3], blue[3], white[3];
  if (!ToXyz(primaries.red, red) || !ToXyz(primaries.green, green) ||
      !ToXyz(primaries.blue, blue) || !ToXyz(primaries.white, white)) {
    return {};
  }
  const Matrix columns = {
      {red[0], green[0], blue[0]}, {red[1], green[1], blue[1]}, {red[2], green[2], blue[2]}};
  Matrix inverse;
  if (!Invert(columns, inverse)) return {};
  double scale[3];
  Apply(inverse, white, scale);
  // White outside the triangle. Inside it every column is a positive share of the white,
  // so the colorants stay within the white's bounds however thin the triangle.
  if (!(scale[0] > 0 && scale[1] > 0 && scale[2] > 0)) return {};
  Matrix toXyz;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) toXyz[r][c] = columns[r][c] * scale[c];
  }
  Matrix adapt, adapted;
  if (!BradfordToD50(white, adapt)) return {};
  Multiply(adapt, toXyz, adapted);

  const std::vector<uint8_t> curveElement = CurveElement(curve);
  if (curveElement.empty()) return {};
  double colorants[3][3];
  for (int c = 0; c < 3; ++c) {
    for (int r = 0; r < 3; ++r) colorants[c][r] = adapted[r][c];
  }
  const std::vector<uint8_t> elements[] = {
      DescriptionElement(AsciiDescription(description)),
      TextElement("No copyright, use freely"),
      XyzElement(kD50),
      MatrixElement(adapt),
      XyzElement(colorants[0]),
      XyzElement(colorants[1]),
      XyzElement(colorants[2]),
      curveElement,
  };
  static const TagData kTags[] = {
      {Sig("desc"), 0}, {Sig("cprt"), 1}, {Sig("wtpt"), 2}, {Sig("chad"), 3}, {Sig("rXYZ"), 4},
      {Sig("gXYZ"), 5}, {Sig("bXYZ"), 6}, {Sig("rTRC"), 7}, {Sig("gTRC"), 7}, {Sig("bTRC"), 7},
  };
  constexpr size_t kTagCount = sizeof kTags / sizeof kTags[0];

  Writer w;
  w.Put32(0);           // size, set at the end
  w.Put32(0);           // preferred colour engine: none
  w.Put32(0x02400000);  // version 2.4
  w.PutText("mntrRGB XYZ ");
  // Creation time: fixed, so the same description always gives the same bytes.
  for (uint32_t v : {2024u, 1u, 1u, 0u, 0u, 0u}) w.Put16(v);
  w.PutText("acsp");
  w.PutZeros(4 + 4 + 4 + 4 + 8);  // platform, flags, manufacturer, model, attributes
  w.Put32(0);                     // perceptual intent
  for (double v : kD50) w.PutFixed(v);
  w.PutZeros(4 + 16 + 28);  // creator, profile ID, reserved
  w.Put32(kTagCount);
  const size_t table = w.Size();
  w.PutZeros(kTagCount * kTagEntrySize);
  size_t offsets[sizeof elements / sizeof elements[0]];
  for (size_t i = 0; i < sizeof elements / sizeof elements[0]; ++i) {
    w.Align4();
    offsets[i] = w.Size();
    w.Bytes().insert(w.Bytes().end(), elements[i].begin(), elements[i].end());
  }
  w.Align4();
  for (size_t i = 0; i < kTagCount; ++i) {
    const size_t at = table + i * kTagEntrySize;
    w.Set32(at, kTags[i].signature);
    w.Set32(at + 4, static_cast<uint32_t>(offsets[kTags[i].element]));
    w.Set32(at + 8, static_cast<uint32_t>(elements[kTags[i].element].size()));
  }
  w.Set32(0, static_cast<uint32_t>(w.Size()));
  return std::move(w.Bytes());
}

NclxHandling ProfileForNclx(const NclxColour& nclx, std::vector<uint8_t>* profile) {
  if (profile) profile->clear();
  RgbPrimaries primaries;
  TransferCurve transfer;
  if (!NclxPrimaries(nclx.primaries, &primaries) || !NclxTransfer(nclx.transfer, &transfer)) {
    return NclxHandling::Unsupported;
  }
  if (IsSrgbCode(nclx.primaries, nclx.transfer)) return NclxHandling::Srgb;
  if (!profile) return NclxHandling::Unsupported;
  *profile = MakeRgbMatrixProfile(primaries, transfer, "Picture colours (coded description)");
  return profile->empty() ? NclxHandling::Unsupported : NclxHandling::Profile;
}

}  // namespace framewise
