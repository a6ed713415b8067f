#include "fitting/portable/picture_extensions.h"

namespace framewise {

namespace {

constexpr size_t kMaxExtensionLength = 32;

wchar_t LowerAscii(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// Characters a file name extension cannot hold after its dot.
bool ForbiddenInExtension(wchar_t c) {
  return c < 0x20 || c == L'*' || c == L'?' || c == L'/' || c == L'\\' || c == L':' || c == L';' ||
         c == L',' || c == L'.' || c == L'"' || c == L'<' || c == L'>' || c == L'|';
}

// One entry of a decoder's list in the joined form's spelling, or empty when it is no
// extension.
std::wstring NormalisedEntry(const std::wstring& entry) {
  size_t first = 0, last = entry.size();
  while (first < last && (entry[first] == L' ' || entry[first] == L'\t')) ++first;
  while (last > first && (entry[last - 1] == L' ' || entry[last - 1] == L'\t')) --last;
  if (first < last && entry[first] == L'*') ++first;
  if (first < last && entry[first] == L'.') ++first;
  if (first == last || last - first > kMaxExtensionLength) return std::wstring();
  std::wstring out = L".";
  for (size_t i = first; i < last; ++i) {
    if (ForbiddenInExtension(entry[i])) return std::wstring();
    out += LowerAscii(entry[i]);
  }
  return out;
}

}  // namespace

// The imaging library's decoders first, in their order (BMP, JPEG, GIF, EMF, WMF, TIFF, PNG,
// ICO), then the imaging component's: JPEG XR and DDS, which Windows has; WebP, HEIF, AVIF,
// JPEG XL and camera RAW from the Store's codec packages.
const PictureExtension kPictureExtensions[] = {
    {L".bmp", PictureFormat::Bmp, true},
    {L".dib", PictureFormat::Bmp, true},
    {L".rle", PictureFormat::Bmp, true},
    {L".jpg", PictureFormat::Jpeg, true},
    {L".jpeg", PictureFormat::Jpeg, true},
    {L".jpe", PictureFormat::Jpeg, true},
    {L".jfif", PictureFormat::Jpeg, true},
    {L".gif", PictureFormat::Gif, true},
    {L".emf", PictureFormat::Emf, true},
    {L".wmf", PictureFormat::Wmf, true},
    {L".tif", PictureFormat::Tiff, true},
    {L".tiff", PictureFormat::Tiff, true},
    {L".png", PictureFormat::Png, true},
    {L".ico", PictureFormat::Ico, true},
    {L".wdp", PictureFormat::JpegXr, true},
    {L".jxr", PictureFormat::JpegXr, false},
    {L".hdp", PictureFormat::JpegXr, false},
    {L".dds", PictureFormat::Unknown, false},
    {L".webp", PictureFormat::Webp, false},
    {L".heic", PictureFormat::Heif, false},
    {L".heif", PictureFormat::Heif, false},
    {L".avif", PictureFormat::Avif, false},
    {L".jxl", PictureFormat::JpegXl, false},
    // Camera RAW files, each maker's own.
    {L".3fr", PictureFormat::Unknown, false},
    {L".ari", PictureFormat::Unknown, false},
    {L".arw", PictureFormat::Unknown, false},
    {L".bay", PictureFormat::Unknown, false},
    {L".cap", PictureFormat::Unknown, false},
    {L".cr2", PictureFormat::Unknown, false},
    {L".cr3", PictureFormat::Unknown, false},
    {L".crw", PictureFormat::Unknown, false},
    {L".dcr", PictureFormat::Unknown, false},
    {L".dcs", PictureFormat::Unknown, false},
    {L".dng", PictureFormat::Unknown, false},
    {L".drf", PictureFormat::Unknown, false},
    {L".eip", PictureFormat::Unknown, false},
    {L".erf", PictureFormat::Unknown, false},
    {L".fff", PictureFormat::Unknown, false},
    {L".iiq", PictureFormat::Unknown, false},
    {L".k25", PictureFormat::Unknown, false},
    {L".kdc", PictureFormat::Unknown, false},
    {L".mdc", PictureFormat::Unknown, false},
    {L".mef", PictureFormat::Unknown, false},
    {L".mos", PictureFormat::Unknown, false},
    {L".mrw", PictureFormat::Unknown, false},
    {L".nef", PictureFormat::Unknown, false},
    {L".nrw", PictureFormat::Unknown, false},
    {L".orf", PictureFormat::Unknown, false},
    {L".pef", PictureFormat::Unknown, false},
    {L".ptx", PictureFormat::Unknown, false},
    {L".raf", PictureFormat::Unknown, false},
    {L".raw", PictureFormat::Unknown, false},
    {L".rw2", PictureFormat::Unknown, false},
    {L".rwl", PictureFormat::Unknown, false},
    {L".sr2", PictureFormat::Unknown, false},
    {L".srf", PictureFormat::Unknown, false},
    {L".srw", PictureFormat::Unknown, false},
    {L".x3f", PictureFormat::Unknown, false},
};
const size_t kPictureExtensionCount = sizeof(kPictureExtensions) / sizeof(kPictureExtensions[0]);

std::wstring NameExtension(const std::wstring& path) {
  const size_t name = path.find_last_of(L"\\/:");
  const size_t dot = path.rfind(L'.');
  if (dot == std::wstring::npos || (name != std::wstring::npos && dot < name)) {
    return std::wstring();
  }
  std::wstring out = path.substr(dot);
  for (wchar_t& c : out) c = LowerAscii(c);
  return out;
}

const PictureExtension* FindPictureExtension(const std::wstring& path) {
  const std::wstring extension = NameExtension(path);
  if (extension.size() < 2) return nullptr;
  for (size_t i = 0; i < kPictureExtensionCount; ++i) {
    if (extension == kPictureExtensions[i].extension) return &kPictureExtensions[i];
  }
  return nullptr;
}

void AddExtensionList(const std::wstring& list, std::wstring* joined) {
  if (joined->empty()) *joined = L";";
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find_first_of(L",;", start);
    if (end == std::wstring::npos) end = list.size();
    const std::wstring entry = NormalisedEntry(list.substr(start, end - start));
    if (!entry.empty() && joined->find(L";" + entry + L";") == std::wstring::npos) {
      *joined += entry + L";";
    }
    start = end + 1;
  }
}

void CutExtensionList(size_t capacity, std::wstring* joined) {
  if (joined->size() <= capacity) return;
  // The kept part ends with the separator, so that separator lies at capacity - 1 or before.
  const size_t end = capacity == 0 ? std::wstring::npos : joined->rfind(L';', capacity - 1);
  joined->resize(end == std::wstring::npos ? 0 : end + 1);
}

bool ListHasNameExtension(const std::wstring& joined, const std::wstring& path) {
  const std::wstring extension = NameExtension(path);
  if (extension.size() < 2) return false;
  return joined.find(L";" + extension + L";") != std::wstring::npos;
}

}  // namespace framewise
