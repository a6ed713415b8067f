// Times the right-click on pictures of the imaging component's formats against a full decode
// of the same file. Run by bench/run_formats.py, which makes the files and prints the table.
//
//   bench_formats.exe [--runs N] [--decoded PICTURE]... [--header PICTURE]...
//
// --decoded: a picture Wine can decode (JPEG XR): the built DLL's Initialize on a fresh
//   handler, beside the codec's whole decode of the file (WIC, to 32bppPBGRA, as the command
//   decodes what the imaging library cannot) and the command's whole load (LoadPicture).
// --header: a picture Wine has no decoder for (WebP, HEIF, AVIF, JPEG XL), whose right-click
//   is refused there: the header read the right-click makes (ReadPictureFileHeader), beside
//   reading the whole file's bytes.
// Prints one "RESULT <step> <picture> <value>" line per figure: medians in milliseconds,
// ratios as the median of the runs' own ratios, sizes in bytes.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "fitting/imaging.h"
#include "bench/bench_timing.h"
#include "framework/com_ptr.h"
#include "framework/gdiplus_owners.h"
#include "framework/win_owners.h"
#include "tests/support/com_apartment.h"
#include "tests/support/loaded_dll.h"
#include "tests/support/test_support.h"

namespace {

using benchtiming::Median;
using benchtiming::NowMs;

void Report(const char* step, const std::wstring& path, double value) {
  printf("RESULT %s %ls %.4f\n", step, path.substr(path.find_last_of(L"\\/") + 1).c_str(), value);
  fflush(stdout);
}

// The built DLL's Initialize on a fresh handler, as the shell asks on a right-click.
double InitializeMs(const testsupport::LoadedDll& dll, const std::wstring& path, HRESULT* result) {
  fw::ComPtr<IShellExtInit> init;
  fw::ComPtr<IContextMenu3> menu;
  if (!dll.CreateHandler(&init, &menu)) return -1;
  const fw::ComPtr<IDataObject> data =
      testsupport::RawDropDataObject(testsupport::DropFilesBytes({path}));
  const double t0 = NowMs();
  *result = init->Initialize(nullptr, data.get(), nullptr);
  return NowMs() - t0;
}

// The codec's whole decode, converted to 32bppPBGRA as the command takes it.
bool WicDecode(const std::wstring& path) {
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IWICBitmapDecoder> decoder;
  fw::ComPtr<IWICBitmapFrameDecode> frame;
  fw::ComPtr<IWICFormatConverter> converter;
  UINT w = 0, h = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IWICImagingFactory, factory.put_void())) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&w, &h)) ||
      FAILED(factory->CreateFormatConverter(converter.put())) ||
      FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return false;
  }
  std::vector<BYTE> pixels(static_cast<size_t>(w) * 4 * h);
  return SUCCEEDED(
      converter->CopyPixels(nullptr, w * 4, static_cast<UINT>(pixels.size()), pixels.data()));
}

// Every byte of the file read into memory.
size_t ReadWhole(const std::wstring& path) {
  const HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return 0;
  const fw::UniqueHandle file(opened);
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.get(), &size)) return 0;
  std::vector<char> bytes(static_cast<size_t>(size.QuadPart));
  DWORD read = 0;
  return ReadFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) ? read
                                                                                              : 0;
}

void BenchDecoded(const testsupport::LoadedDll& dll, const std::wstring& path, int runs) {
  std::vector<double> inits, decodes, loads, ratios;
  HRESULT result = E_FAIL;
  InitializeMs(dll, path, &result);  // the decoder lists and GDI+, once per process
  if (FAILED(result) || !WicDecode(path)) {
    printf("not decoded: %ls (0x%08lX)\n", path.c_str(), static_cast<unsigned long>(result));
    return;
  }
  for (int i = 0; i < runs; ++i) {
    inits.push_back(InitializeMs(dll, path, &result));
    double t0 = NowMs();
    WicDecode(path);
    decodes.push_back(NowMs() - t0);
    ratios.push_back(inits.back() / decodes.back());
    t0 = NowMs();
    fw::GpImageOwner picture = framewise::LoadPicture(path.c_str());
    loads.push_back(NowMs() - t0);
  }
  Report("initialize_ms", path, Median(inits));
  Report("wic_decode_ms", path, Median(decodes));
  Report("load_picture_ms", path, Median(loads));
  Report("initialize_ratio", path, Median(ratios));
}

void BenchHeader(const std::wstring& path, int runs) {
  framewise::PictureHeader header;
  if (!framewise::ReadPictureFileHeader(path.c_str(), &header)) {
    printf("no header: %ls\n", path.c_str());
    return;
  }
  std::vector<double> headers, wholes, ratios;
  size_t bytes = 0;
  for (int i = 0; i < runs; ++i) {
    double t0 = NowMs();
    framewise::ReadPictureFileHeader(path.c_str(), &header);
    headers.push_back(NowMs() - t0);
    t0 = NowMs();
    bytes = ReadWhole(path);
    wholes.push_back(NowMs() - t0);
    ratios.push_back(headers.back() / wholes.back());
  }
  Report("header_ms", path, Median(headers));
  Report("read_whole_ms", path, Median(wholes));
  Report("header_ratio", path, Median(ratios));
  Report("file_bytes", path, static_cast<double>(bytes));
  Report("width", path, header.width);
  Report("height", path, header.height);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const testsupport::ComApartment apartment(COINIT_APARTMENTTHREADED);
  if (!apartment) return 2;
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  int runs = 9;
  std::vector<std::wstring> decoded, headers;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--runs" && i + 1 < argc) {
      runs = std::max(1, _wtoi(argv[++i]));
    } else if (arg == L"--decoded" && i + 1 < argc) {
      decoded.push_back(argv[++i]);
    } else if (arg == L"--header" && i + 1 < argc) {
      headers.push_back(argv[++i]);
    } else {
      fprintf(stderr,
              "usage: bench_formats [--runs N] [--decoded PICTURE]... [--header PICTURE]...\n");
      return 2;
    }
  }
  const testsupport::LoadedDll dll;
  if (!dll.ok()) {
    fprintf(stderr, "bench_formats: the DLL did not load\n");
    return 1;
  }
  for (const std::wstring& path : decoded) BenchDecoded(dll, path, runs);
  for (const std::wstring& path : headers) BenchHeader(path, runs);
  return 0;
}
