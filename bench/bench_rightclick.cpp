// Times a right-click and a fitting command of the built DLL on given JPEGs, beside the
// imaging library's own floor (a bare load and decode of the same file), and the peak
// working set of the process during each step. Run by bench/run_bench.py, which adds the
// native peers and prints the table.
//
//   bench_rightclick.exe [--runs N] [--command-runs N] PICTURE...
//
// Prints one "RESULT <step> <picture> <value>" line per figure: medians in milliseconds,
// peaks in megabytes. The primary monitor is reported as 1920 x 1080 (work area the same)
// to the DLL, whatever the real screen is, by patching its import of GetMonitorInfoW.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "shellext/guids.h"
#include "test_support.h"
#include "tools/support/active_desktop_stand_in.h"

namespace {

namespace gp = Gdiplus::DllExports;

constexpr RECT kMonitor{0, 0, 1920, 1080};
constexpr int kMiddle = 4;  // the centred fill command's offset

// Working set of this process in bytes. Wine may leave the counter at 0: then the
// resident size of the Unix process, read from its status file.
size_t WorkingSet() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)) && counters.WorkingSetSize) {
    return counters.WorkingSetSize;
  }
  HANDLE file = CreateFileW(L"Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char buffer[4096] = {};
  DWORD read = 0;
  ReadFile(file, buffer, sizeof(buffer) - 1, &read, nullptr);
  CloseHandle(file);
  const char* line = strstr(buffer, "VmRSS:");
  return line ? static_cast<size_t>(strtoull(line + 6, nullptr, 10)) * 1024 : 0;
}

// Samples the working set every few milliseconds while a step runs; keeps the peak.
class PeakSampler {
 public:
  PeakSampler() { thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr); }
  ~PeakSampler() {
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  void Reset() { peak_ = WorkingSet(); }
  double PeakMb() const { return std::max(peak_.load(), WorkingSet()) / (1024.0 * 1024.0); }

 private:
  static DWORD WINAPI Run(LPVOID self) {
    auto s = static_cast<PeakSampler*>(self);
    while (!s->stop_) {
      const size_t now = WorkingSet();
      size_t seen = s->peak_;
      while (now > seen && !s->peak_.compare_exchange_weak(seen, now)) {
      }
      Sleep(2);
    }
    return 0;
  }
  std::atomic<bool> stop_{false};
  std::atomic<size_t> peak_{0};
  HANDLE thread_ = nullptr;
};

double NowMs() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return 1000.0 * static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0;
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

void Report(const char* step, const std::wstring& name, double value) {
  printf("RESULT %s %ls %.2f\n", step, name.c_str(), value);
  fflush(stdout);
}

// The DLL as the shell reaches it: by path and its class factory.
struct Dll {
  Dll() {
    module = LoadLibraryW(testsupport::FramewiseDllPath().c_str());
    if (module) {
      getClassObject = reinterpret_cast<decltype(getClassObject)>(
          reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    }
  }
  IContextMenu3* Create(IShellExtInit** init) const {
    IClassFactory* factory = nullptr;
    *init = nullptr;
    if (!getClassObject || FAILED(getClassObject(framewise::CLSID_ImageFileContextMenu, IID_IClassFactory,
                                                 reinterpret_cast<void**>(&factory)))) {
      return nullptr;
    }
    factory->CreateInstance(nullptr, IID_IShellExtInit, reinterpret_cast<void**>(init));
    factory->Release();
    IContextMenu3* menu = nullptr;
    if (*init) (*init)->QueryInterface(IID_IContextMenu3, reinterpret_cast<void**>(&menu));
    return menu;
  }
  HMODULE module = nullptr;
  HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
};

// One handler through a right-click, holding its menu for the drawing steps.
struct RightClick {
  RightClick(const Dll& dll, const std::wstring& picture, double* initMs = nullptr, double* queryMs = nullptr) {
    menu = dll.Create(&init);
    if (!menu) return;
    IDataObject* data = testsupport::RawDropDataObject(testsupport::DropFilesBytes({picture}));
    double t0 = NowMs();
    initialize = init->Initialize(nullptr, data, nullptr);
    double t1 = NowMs();
    popup = CreatePopupMenu();
    query = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    double t2 = NowMs();
    data->Release();
    if (initMs) *initMs = t1 - t0;
    if (queryMs) *queryMs = t2 - t1;
  }
  ~RightClick() {
    if (menu) menu->Release();
    if (init) init->Release();
    if (popup) DestroyMenu(popup);
  }
  // Opens the submenu and lists its owner-drawn items.
  std::vector<UINT> Open() {
    std::vector<UINT> ids;
    HMENU sub = popup ? GetSubMenu(popup, 0) : nullptr;
    if (!sub) return ids;
    LRESULT result = 0;
    menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), 0, &result);
    for (int i = 0; i < GetMenuItemCount(sub); ++i) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE | MIIM_ID;
      if (GetMenuItemInfoW(sub, i, TRUE, &info) && (info.fType & MFT_OWNERDRAW)) ids.push_back(info.wID);
    }
    return ids;
  }
  SIZE Measure(UINT id) {
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_MENU;
    m.itemID = id;
    LRESULT result = 0;
    menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), &result);
    return {static_cast<LONG>(m.itemWidth), static_cast<LONG>(m.itemHeight)};
  }
  void Draw(UINT id, HDC dc, SIZE size) {
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_MENU;
    d.itemID = id;
    d.itemAction = ODA_DRAWENTIRE;
    d.hDC = dc;
    d.rcItem = {0, 0, size.cx, size.cy};
    LRESULT result = 0;
    menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), &result);
  }
  IShellExtInit* init = nullptr;
  IContextMenu3* menu = nullptr;
  HMENU popup = nullptr;
  HRESULT initialize = E_FAIL;
  HRESULT query = E_FAIL;
};

// The imaging library's floor: load the file and decode every pixel.
bool LoadAndDecode(const std::wstring& path) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  if (gp::GdipCreateBitmapFromFile(path.c_str(), &bitmap) != Gdiplus::Ok) return false;
  UINT w = 0, h = 0;
  gp::GdipGetImageWidth(bitmap, &w);
  gp::GdipGetImageHeight(bitmap, &h);
  Gdiplus::Rect all(0, 0, static_cast<INT>(w), static_cast<INT>(h));
  Gdiplus::BitmapData data = {};
  const bool ok = gp::GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat24bppRGB, &data) ==
                  Gdiplus::Ok;
  if (ok) gp::GdipBitmapUnlockBits(bitmap, &data);
  gp::GdipDisposeImage(bitmap);
  return ok;
}

// Runs `step` `runs` times; reports the median and the peak working set.
template <typename Step>
double Time(PeakSampler& sampler, const char* name, const char* peakName, const std::wstring& picture, int runs,
            Step step) {
  std::vector<double> times;
  sampler.Reset();
  for (int i = 0; i < runs; ++i) {
    const double t0 = NowMs();
    step();
    times.push_back(NowMs() - t0);
  }
  const double median = Median(times);
  Report(name, picture, median);
  if (peakName) Report(peakName, picture, sampler.PeakMb());
  return median;
}

int Run(int argc, wchar_t** argv) {
  int runs = 7, commandRuns = 3;
  std::vector<std::wstring> pictures;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--runs" && i + 1 < argc) {
      runs = _wtoi(argv[++i]);
    } else if (arg == L"--command-runs" && i + 1 < argc) {
      commandRuns = _wtoi(argv[++i]);
    } else {
      pictures.push_back(arg);
    }
  }
  if (pictures.empty()) {
    printf("usage: bench_rightclick [--runs N] [--command-runs N] PICTURE...\n");
    return 2;
  }
  Dll dll;
  if (!dll.module || !dll.getClassObject) {
    printf("cannot load %ls\n", testsupport::FramewiseDllPath().c_str());
    return 1;
  }
  // The DLL sees one 1920x1080 monitor with no taskbar.
  testsupport::WorkAreaOverride area(kMonitor, kMonitor, dll.module);
  // The commands write the settings and the wallpaper: the user's own files go aside.
  testsupport::FileAside ini(testsupport::UserDataFolder() + L"\\Wrenfly Framewise.ini");
  testsupport::FileAside wallpaper(testsupport::UserDataFolder() + L"\\Desktop Background.jpg");
  standin::ActiveDesktopStandIn desktop;
  desktop.record().applyToSystem = false;

  PeakSampler sampler;
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  Gdiplus::GdiplusStartup(&token, &input, nullptr);
  { RightClick warm(dll, pictures[0]); }  // first-use costs: GDI+ start, fonts, resources
  for (const std::wstring& path : pictures) {
    const std::wstring name = path.substr(path.find_last_of(L"\\/") + 1);
    Time(sampler, "gdiplus_decode_ms", "gdiplus_decode_peak_mb", name, runs, [&] { LoadAndDecode(path); });
    std::vector<double> inits, queries;
    Time(sampler, "rightclick_ms", "rightclick_peak_mb", name, runs, [&] {
      double i = 0, q = 0;
      RightClick click(dll, path, &i, &q);
      inits.push_back(i);
      queries.push_back(q);
    });
    Report("initialize_ms", name, Median(inits));
    Report("query_ms", name, Median(queries));

    RightClick click(dll, path);
    const std::vector<UINT> ids = click.Open();
    if (FAILED(click.initialize) || ids.empty()) {
      printf("no menu for %ls (0x%08lX)\n", path.c_str(), static_cast<unsigned long>(click.initialize));
      continue;
    }
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 1200, 400);
    HGDIOBJ old = SelectObject(dc, target);
    const UINT previewId = 1 + kMiddle;  // a fitting row, which carries a preview
    const SIZE previewSize = click.Measure(previewId);
    Time(sampler, "draw_preview_ms", nullptr, name, runs * 5, [&] {
      click.Draw(previewId, dc, previewSize);
      GdiFlush();
    });
    Time(sampler, "submenu_ms", nullptr, name, runs, [&] {
      for (UINT id : ids) click.Draw(id, dc, click.Measure(id));
      GdiFlush();
    });
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);

    HRESULT commandResult = S_OK;
    Time(sampler, "command_ms", "command_peak_mb", name, commandRuns, [&] {
      CMINVOKECOMMANDINFO info = {};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(kMiddle);
      info.nShow = SW_SHOWNORMAL;
      const HRESULT hr = click.menu->InvokeCommand(&info);
      if (FAILED(hr)) commandResult = hr;
    });
    if (FAILED(commandResult)) printf("command failed on %ls: 0x%08lX\n", name.c_str(), static_cast<unsigned long>(commandResult));
  }
  Gdiplus::GdiplusShutdown(token);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  const int code = Run(argc, argv);
  CoUninitialize();
  return code;
}
