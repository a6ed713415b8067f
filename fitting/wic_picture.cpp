#include "fitting/wic_picture.h"

#include <propidl.h>

#include <atomic>
#include <cwchar>

#include "fitting/high_range.h"
#include "fitting/portable/decoded_orientation.h"
#include "fitting/portable/picture_extensions.h"
#include "framework/com_ptr.h"

namespace framewise {

namespace {

// The installed decoders' extensions, joined (";.jpg;.jpeg;"), found once per process.
// Constant-initialised and without a destructor, so usable from the first call on any
// thread and nothing to tear down when the DLL goes.
struct WicExtensions {
  SRWLOCK lock = SRWLOCK_INIT;
  std::atomic<bool> ready{false};
  // Room for some three hundred extensions; a longer list keeps its first entries.
  wchar_t joined[2048] = {};
};
WicExtensions g_extensions;

// Each installed decoder's extension list joined into one; false when the imaging factory
// or its enumerator cannot be made (COM not started on this thread).
bool EnumerateDecoderExtensions(std::wstring* joined) {
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IEnumUnknown> components;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void())) ||
      FAILED(factory->CreateComponentEnumerator(WICDecoder, WICComponentEnumerateDefault,
                                                components.put()))) {
    return false;
  }
  *joined = L";";
  for (;;) {
    fw::ComPtr<IUnknown> component;
    ULONG fetched = 0;
    if (components->Next(1, component.put(), &fetched) != S_OK || fetched != 1) break;
    fw::ComPtr<IWICBitmapCodecInfo> codec;
    if (FAILED(component.As(&codec))) continue;
    UINT length = 0;
    if (FAILED(codec->GetFileExtensions(0, nullptr, &length)) || length == 0 || length > 4096) {
      continue;
    }
    std::wstring list(length, L'\0');
    UINT written = 0;
    if (FAILED(codec->GetFileExtensions(length, &list[0], &written))) continue;
    list.resize(wcsnlen(list.c_str(), list.size()));
    AddExtensionList(list, joined);
  }
  return true;
}

const wchar_t* InstalledWicExtensions() {
  if (g_extensions.ready.load(std::memory_order_acquire)) return g_extensions.joined;
  AcquireSRWLockExclusive(&g_extensions.lock);
  if (!g_extensions.ready.load(std::memory_order_relaxed)) {
    std::wstring joined;
    if (EnumerateDecoderExtensions(&joined)) {
      CutExtensionList(sizeof(g_extensions.joined) / sizeof(wchar_t) - 1, &joined);
      wmemcpy(g_extensions.joined, joined.c_str(), joined.size());
      g_extensions.joined[joined.size()] = L'\0';
      g_extensions.ready.store(true, std::memory_order_release);
    }
  }
  ReleaseSRWLockExclusive(&g_extensions.lock);
  return g_extensions.joined;
}

// A frame of a file opened through the factory, with the decoder that holds the file.
struct OpenedFrame {
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IWICBitmapDecoder> decoder;
  fw::ComPtr<IWICBitmapFrameDecode> frame;
};

bool OpenFirstFrame(const wchar_t* path, OpenedFrame* opened) {
  return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IWICImagingFactory, opened->factory.put_void())) &&
         SUCCEEDED(opened->factory->CreateDecoderFromFilename(
             path, nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand, opened->decoder.put())) &&
         SUCCEEDED(opened->decoder->GetFrame(0, opened->frame.put()));
}

// An orientation value from a metadata query, 0 when absent or not 1..8.
int QueryOrientation(IWICMetadataQueryReader* reader, const wchar_t* name) {
  PROPVARIANT value;
  PropVariantInit(&value);
  int orientation = 0;
  if (SUCCEEDED(reader->GetMetadataByName(name, &value))) {
    if (value.vt == VT_UI2) orientation = value.uiVal;
    if (value.vt == VT_UI4) orientation = static_cast<int>(value.ulVal);
  }
  PropVariantClear(&value);
  return orientation >= 1 && orientation <= 8 ? orientation : 0;
}

}  // namespace

bool MatchesInstalledWicDecoder(const std::wstring& path) {
  return ListHasNameExtension(InstalledWicExtensions(), path);
}

int FrameOrientation(IWICBitmapFrameDecode* frame, bool insideThePicture) {
  fw::ComPtr<IWICMetadataQueryReader> reader;
  if (!frame || FAILED(frame->GetMetadataQueryReader(reader.put())) || !reader) return 0;
  static const wchar_t* const kPictureNames[] = {L"/heifProps/Orientation",
                                                 L"System.Photo.Orientation"};
  static const wchar_t* const kExifNames[] = {L"System.Photo.Orientation",
                                              L"/app1/ifd/{ushort=274}", L"/ifd/{ushort=274}"};
  const wchar_t* const* names = insideThePicture ? kPictureNames : kExifNames;
  const size_t count = insideThePicture ? 2 : 3;
  for (size_t i = 0; i < count; ++i) {
    const int orientation = QueryOrientation(reader.get(), names[i]);
    if (orientation != 0) return orientation;
  }
  return 0;
}

bool ReadWicFrameHeader(const wchar_t* path, PictureHeader* header) {
  OpenedFrame opened;
  UINT width = 0, height = 0;
  if (!OpenFirstFrame(path, &opened) || FAILED(opened.frame->GetSize(&width, &height)) ||
      width == 0 || height == 0) {
    return false;
  }
  const int orientation = FrameOrientation(opened.frame.get(), false);
  header->format = PictureFormat::Unknown;
  header->width = width;
  header->height = height;
  header->orientation = orientation == 0 ? 1 : orientation;
  return true;
}

fw::GpImageOwner LoadPictureThroughWic(const wchar_t* path, const PictureHeader& header) {
  fw::GpImageOwner none;
  OpenedFrame opened;
  UINT width = 0, height = 0;
  if (!OpenFirstFrame(path, &opened) || FAILED(opened.frame->GetSize(&width, &height)) ||
      width == 0 || height == 0 || width > 0x7FFFFFFF / 4 ||
      static_cast<UINT64>(width) * height * 4 > kMaxDecodedBytes) {
    return none;
  }
  const int orientation = OrientationLeftAfterDecode(
      header, width, height,
      OrientationInsideThePicture(header.format) ? FrameOrientation(opened.frame.get(), true) : 0);

  // Linear light past 8 bits (an HDR screenshot's floating point) is tone mapped, not clipped
  // or wrapped by the converter.
  WICPixelFormatGUID format = {};
  HighRangeLayout layout;
  if (SUCCEEDED(opened.frame->GetPixelFormat(&format)) && HighRangeLayoutOf(format, &layout)) {
    fw::GpImageOwner mapped = ToneMappedPicture(opened.frame.get());
    opened = OpenedFrame();
    if (!mapped || !TurnUpright(mapped.get(), orientation)) return none;
    return mapped;
  }

  fw::ComPtr<IWICFormatConverter> converter;
  if (FAILED(opened.factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(opened.frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return none;
  }
  fw::GpBitmapOwner bitmap;
  {
    LockedPixels pixels;
    if (!pixels.LockNew(width, height, &bitmap)) return none;
    const PixelBuffer& out = pixels.buffer();
    const bool copied = out.stride > 0 && SUCCEEDED(converter->CopyPixels(
                                              nullptr, static_cast<UINT>(out.stride),
                                              static_cast<UINT>(out.stride) * height, out.pixels));
    pixels.Unlock();
    if (!copied) return none;
  }
  // The file is let go before anything else happens to the picture.
  converter.reset();
  opened = OpenedFrame();
  if (!TurnUpright(bitmap.get(), orientation)) return none;
  return fw::GpImageOwner(bitmap.release());
}

}  // namespace framewise
