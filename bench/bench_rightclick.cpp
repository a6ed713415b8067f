// Times each step of a right-click and of a fitting command of the built DLL on given
// JPEGs, beside a bare load of the same file (the imaging library loading it and drawing
// it into a 288 x 192 bitmap), and the memory a right-click adds to the process. Run by
// bench/run_bench.py, which adds the native peers and prints the table.
//
//   bench_rightclick.exe [--runs N] [--draw-runs N] [--command-runs N] [--memory PICTURE] PICTURE...
//
// Prints one "RESULT <step> <picture> <value>" line per figure: medians in milliseconds,
// memory in megabytes. The first-right-click memory figures come before anything else in
// the process, on --memory (default: the last picture). The primary monitor is reported
// as 1920 x 1080 (work area the same) to the DLL by patching its import of GetMonitorInfoW.
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>
#include <psapi.h>
#include <shlobj.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "fitting/image_fixer.h"
#include "fitting/imaging.h"
#include "fitting/preview_source.h"
#include "bench/bench_timing.h"
#include "framework/com_ptr.h"
#include "framework/gdiplus_owners.h"
#include "framework/app.h"
#include "framework/strings.h"
#include "framework/task_memory.h"
#include "framework/win_owners.h"
#include "shellext/guids.h"
#include "shellext/portable/menu_table.h"
#include "tests/support/active_desktop_stand_in.h"
#include "tests/support/com_apartment.h"
#include "tests/support/desktop_wallpaper_stand_in.h"
#include "tests/support/loaded_dll.h"
#include "tests/support/test_support.h"

namespace {

namespace gp = Gdiplus::DllExports;

constexpr RECT kMonitor{0, 0, 1920, 1080};
constexpr int kMiddle = 4;          // the centred fill command's offset
constexpr UINT kFirstId = 1;        // idCmdFirst given to QueryContextMenu
constexpr int kBareWidth = 288;     // the bare load's target: a preview-sized bitmap
constexpr int kBareHeight = 192;
constexpr DWORD kMenuHoldMs = 250;  // how long the context menu stays up in the memory step

// Working set of this process in bytes, and the process's peak so far.
size_t WorkingSet(size_t* peak = nullptr) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  if (peak) *peak = counters.PeakWorkingSetSize;
  return counters.WorkingSetSize;
}

// Committed private memory: Wine reports no private bytes, so the address space is walked.
double Mb(double bytes) { return bytes / (1024.0 * 1024.0); }

// Samples the working set every millisecond while alive; keeps the peak. Made only around
// the memory steps, so its polling does not slow the timed ones.
class PeakSampler {
 public:
  PeakSampler() : peak_(WorkingSet()) { thread_.reset(CreateThread(nullptr, 0, Run, this, 0, nullptr)); }
  ~PeakSampler() {
    stop_ = true;
    if (thread_) WaitForSingleObject(thread_.get(), INFINITE);
  }
  PeakSampler(const PeakSampler&) = delete;
  PeakSampler& operator=(const PeakSampler&) = delete;
  size_t Peak() const { return std::max(peak_.load(), WorkingSet()); }

 private:
  static DWORD WINAPI Run(LPVOID self) {
    auto s = static_cast<PeakSampler*>(self);
    while (!s->stop_) {
      const size_t now = WorkingSet();
      size_t seen = s->peak_;
      while (now > seen && !s->peak_.compare_exchange_weak(seen, now)) {
      }
      Sleep(1);
    }
    return 0;
  }
  std::atomic<bool> stop_{false};
  std::atomic<size_t> peak_{0};
  fw::UniqueHandle thread_;
};

using benchtiming::Median;
using benchtiming::NowMs;

void Report(const char* step, const std::wstring& name, double value) {
  printf("RESULT %s %ls %.4f\n", step, name.c_str(), value);
  fflush(stdout);
}

// One handler through a right-click (a fresh handler, as the shell makes for each), holding
// its menu for the submenu and drawing steps.
struct RightClick {
  RightClick(const testsupport::LoadedDll& dll, const std::wstring& picture) {
    if (!dll.CreateHandler(&init, &menu)) return;
    const fw::ComPtr<IDataObject> data = testsupport::RawDropDataObject(testsupport::DropFilesBytes({picture}));
    const double t0 = NowMs();
    initialize = init->Initialize(nullptr, data.get(), nullptr);
    const double t1 = NowMs();
    popup.reset(CreatePopupMenu());
    query = menu->QueryContextMenu(popup.get(), 0, kFirstId, 0x7FFF, CMF_NORMAL);
    const double t2 = NowMs();
    initializeMs = t1 - t0;
    queryMs = t2 - t1;
  }

  // Opens the submenu as the menu loop does: WM_INITMENUPOPUP, then WM_MEASUREITEM for
  // every owner-drawn item. Times both; lists the items with their sizes.
  bool Open() {
    HMENU sub = popup ? GetSubMenu(popup.get(), 0) : nullptr;
    if (!sub) return false;
    LRESULT result = 0;
    const double t0 = NowMs();
    menu->HandleMenuMsg2(WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(sub), 0, &result);
    const double t1 = NowMs();
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(sub); ++i) {
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE | MIIM_ID;
      if (GetMenuItemInfoW(sub, i, TRUE, &info) && (info.fType & MFT_OWNERDRAW)) ids.push_back(info.wID);
    }
    const double t2 = NowMs();
    for (UINT id : ids) items.push_back({id, Measure(id)});
    const double t3 = NowMs();
    initPopupMs = t1 - t0;
    measureMs = t3 - t2;
    return !items.empty();
  }
  SIZE Measure(UINT id) {
    MEASUREITEMSTRUCT m = {};
    m.CtlType = ODT_MENU;
    m.itemID = id;
    LRESULT result = 0;
    menu->HandleMenuMsg2(WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&m), &result);
    return {static_cast<LONG>(m.itemWidth), static_cast<LONG>(m.itemHeight)};
  }
  void Draw(UINT id, HDC dc, const RECT& rect) {
    DRAWITEMSTRUCT d = {};
    d.CtlType = ODT_MENU;
    d.itemID = id;
    d.itemAction = ODA_DRAWENTIRE;
    d.hDC = dc;
    d.rcItem = rect;
    LRESULT result = 0;
    menu->HandleMenuMsg2(WM_DRAWITEM, 0, reinterpret_cast<LPARAM>(&d), &result);
  }

  struct Item {
    UINT id;
    SIZE size;
  };
  fw::UniqueMenu popup;  // first: destroyed after the handler is released
  fw::ComPtr<IShellExtInit> init;
  fw::ComPtr<IContextMenu3> menu;
  HRESULT initialize = E_FAIL;
  HRESULT query = E_FAIL;
  double initializeMs = 0, queryMs = 0, initPopupMs = 0, measureMs = 0;
  std::vector<Item> items;
};

// Windows 11's new menu as it opens on the packaged command: a fresh command asked for its
// state and title, and its subcommands listed (what Explorer asks before it shows the entry).
double NewMenuOpenMs(const testsupport::LoadedDll& dll, IShellItemArray* items) {
  const double t0 = NowMs();
  fw::ComPtr<IExplorerCommand> root;
  if (FAILED(dll.CreateObject(framewise::CLSID_FramewiseExplorerCommand, IID_IExplorerCommand, root.put_void()))) {
    return -1;
  }
  EXPCMDSTATE state = ECS_HIDDEN;
  LPWSTR title = nullptr;
  fw::ComPtr<IEnumExplorerCommand> list;
  const bool ok = SUCCEEDED(root->GetState(items, FALSE, &state)) && state == ECS_ENABLED &&
                  SUCCEEDED(root->GetTitle(items, &title)) && SUCCEEDED(root->EnumSubCommands(list.put()));
  const fw::TaskMemory<wchar_t> ownedTitle(title);
  const double took = NowMs() - t0;
  return ok ? took : -1;
}

// The baseline: the imaging library loads the file and draws it, every pixel decoded,
// into a preview-sized bitmap.
bool BareLoad(const std::wstring& path) {
  fw::GpImageOwner image;
  if (gp::GdipLoadImageFromFile(path.c_str(), image.put()) != Gdiplus::Ok) return false;
  fw::GpBitmapOwner target;
  fw::GpGraphicsOwner surface;
  return gp::GdipCreateBitmapFromScan0(kBareWidth, kBareHeight, 0, PixelFormat32bppPARGB, nullptr,
                                       target.put()) == Gdiplus::Ok &&
         gp::GdipGetImageGraphicsContext(target.get(), surface.put()) == Gdiplus::Ok &&
         gp::GdipDrawImageRectI(surface.get(), image.get(), 0, 0, kBareWidth, kBareHeight) == Gdiplus::Ok;
}

// The platform codec's whole decode of the file, as the preview copy's decode step does it
// where the frame offers no reduced decode.
bool WicDecode(const std::wstring& path) {
  fw::ComPtr<IWICImagingFactory> factory;
  fw::ComPtr<IWICBitmapDecoder> decoder;
  fw::ComPtr<IWICBitmapFrameDecode> frame;
  UINT w = 0, h = 0;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              factory.put_void())) ||
      FAILED(factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
      FAILED(decoder->GetFrame(0, frame.put())) || FAILED(frame->GetSize(&w, &h))) {
    return false;
  }
  const UINT stride = (w * 3 + 3) & ~3u;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * h);
  return SUCCEEDED(frame->CopyPixels(nullptr, stride, static_cast<UINT>(pixels.size()), pixels.data()));
}

template <typename Step>
double TimeMedian(int runs, Step step) {
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    const double t0 = NowMs();
    step();
    times.push_back(NowMs() - t0);
  }
  return Median(times);
}

// The memory a right-click that never opens the submenu adds: a handler made, initialised
// and asked for its menu entry, the menu left up a moment. Reports the peak working set
// and the committed private bytes over the level just before, in megabytes.
void MeasureRightClickMemory(const testsupport::LoadedDll& dll, const std::wstring& path, const char* prefix,
                             const std::wstring& name) {
  Sleep(100);  // let the previous step's threads and frees settle
  PeakSampler sampler;
  Sleep(10);
  size_t idlePeak = 0;
  const size_t idleSet = WorkingSet(&idlePeak);
  const size_t idlePrivate = testsupport::PrivateBytes();
  size_t heldSet = 0, heldPrivate = 0, peakAfter = 0;
  {
    RightClick click(dll, path);
    Sleep(kMenuHoldMs);
    heldPrivate = testsupport::PrivateBytes();
    heldSet = WorkingSet(&peakAfter);
  }
  // The process's own peak is exact when it rose past every earlier level; the sampler
  // covers a later right-click, whose peak stays below the decodes that came before.
  size_t peak = sampler.Peak();
  if (peakAfter > idlePeak) peak = std::max(peak, peakAfter);
  const std::string p(prefix);
  Report((p + "_idle_ws_mb").c_str(), name, Mb(static_cast<double>(idleSet)));
  Report((p + "_idle_private_mb").c_str(), name, Mb(static_cast<double>(idlePrivate)));
  Report((p + "_peak_ws_mb").c_str(), name, Mb(static_cast<double>(peak) - static_cast<double>(idleSet)));
  Report((p + "_held_ws_mb").c_str(), name, Mb(static_cast<double>(heldSet) - static_cast<double>(idleSet)));
  Report((p + "_held_private_mb").c_str(), name,
         Mb(static_cast<double>(heldPrivate) - static_cast<double>(idlePrivate)));
}

std::wstring NameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

// A desktop of three monitors (1920x1080 primary, 1080x1920 portrait, 2560x1440 with its
// taskbar on the left), each with its own wallpaper, while the object lives.
struct ThreeMonitors {
  explicit ThreeMonitors(const testsupport::LoadedDll& dll)
      : monitors({{kPrimary, kPrimary, true},
                  {kPortrait, kPortrait, false},
                  {kLarge, kLargeWork, false}},
                 dll.module()),
        perMonitor(std::make_unique<standin::DesktopWallpaperStandIn>()) {
    perMonitor->record().monitors = {{L"\\\\?\\DISPLAY#BENCH#1", kPrimary},
                                     {L"\\\\?\\DISPLAY#BENCH#2", kPortrait},
                                     {L"\\\\?\\DISPLAY#BENCH#3", kLarge}};
  }
  static constexpr RECT kPrimary = {0, 0, 1920, 1080}, kPortrait = {1920, 0, 3000, 1920};
  static constexpr RECT kLarge = {-2560, 0, 0, 1440}, kLargeWork = {-2500, 0, 0, 1440};
  testsupport::MonitorsOverride monitors;
  std::unique_ptr<standin::DesktopWallpaperStandIn> perMonitor;
};

void BenchPicture(const testsupport::LoadedDll& dll, const std::wstring& path, int runs, int drawRuns,
                  int commandRuns) {
  const std::wstring name = NameOf(path);
  // The bare load and the right-click steps, one of each per run, so that a slower spell
  // of a shared machine weighs on the baseline and on the steps alike. Every right-click
  // step gets a fresh handler: the picture is decoded once per selection.
  framewise::PictureHeader header;
  framewise::ReadPictureFileHeader(path.c_str(), &header);
  const float previewHeight = [] {
    const fw::WindowDc screen(nullptr);
    return static_cast<float>(2 * GetDeviceCaps(screen.get(), LOGPIXELSY));
  }();
  std::vector<double> bare, inits, queries, opens, popups, measures, copies, decodes, rows, newMenus, newMenuRatios;
  const fw::ComPtr<IShellItemArray> items = testsupport::ShellItems({path});
  {  // the desktop's drawing surface, for the preview copies of these runs only
    fw::GpGraphicsOwner desktop;
    gp::GdipCreateFromHWND(GetDesktopWindow(), desktop.put());
    for (int i = 0; i < runs; ++i) {
      double t0 = NowMs();
      BareLoad(path);
      bare.push_back(NowMs() - t0);
      {
        RightClick click(dll, path);
        inits.push_back(click.initializeMs);
        queries.push_back(click.queryMs);
      }
      const double newMenu = items ? NewMenuOpenMs(dll, items.get()) : -1;
      if (newMenu >= 0) {
        newMenus.push_back(newMenu);
        newMenuRatios.push_back(newMenu / bare.back());
      }
      {
        RightClick click(dll, path);
        if (FAILED(click.initialize) || !click.Open()) {
          printf("no submenu for %ls (0x%08lX)\n", path.c_str(), static_cast<unsigned long>(click.initialize));
          return;
        }
        opens.push_back(click.initPopupMs + click.measureMs);
        popups.push_back(click.initPopupMs);
        measures.push_back(click.measureMs);
      }
      // The parts of opening, by the same code in this process: the preview copy (decode and
      // reduce), the rows' framed previews, and the codec's whole decode on its own.
      t0 = NowMs();
      fw::GpBitmapOwner copy;
      if (desktop) {
        framewise::MakePreviewCopy(path.c_str(), header, previewHeight, 8192.0f, desktop.get(),
                                   &copy);
      }
      copies.push_back(NowMs() - t0);
      // The framed previews of the fitting rows, made from the copy at the rows' height.
      UINT copyWidth = 0, copyHeight = 0;
      if (copy && framewise::GetPictureSize(copy.get(), &copyWidth, &copyHeight) && copyHeight > 0) {
        const int32_t rowHeight = static_cast<int32_t>(previewHeight * 0.75f);
        const int32_t rowWidth = static_cast<int32_t>(static_cast<double>(copyWidth) * rowHeight / copyHeight);
        const bool wider = static_cast<double>(copyWidth) / copyHeight > 16.0 / 9.0;
        const int modes[] = {wider ? framewise::FitModeLeft : framewise::FitModeTop, framewise::FitModeMiddle,
                             wider ? framewise::FitModeRight : framewise::FitModeBottom, framewise::FitModeBestFit};
        t0 = NowMs();
        for (int mode : modes) {
          std::unique_ptr<framewise::ImageFixer> fixer = framewise::CreateImageFixer(mode);
          fw::GpBitmapOwner row;
          if (fixer) fixer->MakePreview(copy.get(), &row, rowWidth, rowHeight);
        }
        rows.push_back(NowMs() - t0);
      }
      t0 = NowMs();
      WicDecode(path);
      decodes.push_back(NowMs() - t0);
    }
  }
  Report("bare_load_ms", name, Median(bare));
  Report("initialize_ms", name, Median(inits));
  Report("query_ms", name, Median(queries));
  Report("open_ms", name, Median(opens));
  Report("initpopup_ms", name, Median(popups));
  Report("measure_ms", name, Median(measures));
  Report("preview_copy_ms", name, Median(copies));
  Report("wic_decode_ms", name, Median(decodes));
  Report("row_previews_ms", name, Median(rows));
  std::vector<double> openRatios;
  for (size_t i = 0; i < opens.size(); ++i) openRatios.push_back(opens[i] / bare[i]);
  Report("open_ratio", name, Median(openRatios));
  if (!newMenus.empty()) {
    Report("newmenu_open_ms", name, Median(newMenus));
    Report("newmenu_open_ratio", name, Median(newMenuRatios));
  }

  // Painting: one preview item many times, then the whole submenu as it first shows.
  RightClick click(dll, path);
  if (FAILED(click.initialize) || !click.Open()) return;
  LONG menuWidth = 0, menuHeight = 0;
  SIZE previewSize = {0, 0};
  for (const auto& item : click.items) {
    menuWidth = std::max(menuWidth, item.size.cx);
    menuHeight += item.size.cy;
    if (item.id == kFirstId + kMiddle) previewSize = item.size;
  }
  if (previewSize.cx == 0) previewSize = click.items.front().size;
  {
    const fw::WindowDc screen(nullptr);
    const fw::UniqueMemoryDc dc(CreateCompatibleDC(screen.get()));
    const fw::UniqueBitmap target(CreateCompatibleBitmap(screen.get(), menuWidth, menuHeight));
    const fw::ScopedSelect selected(dc.get(), target.get());
    const RECT rect{0, 0, previewSize.cx, previewSize.cy};
    Report("draw_preview_ms", name, TimeMedian(drawRuns, [&] {
             click.Draw(kFirstId + kMiddle, dc.get(), rect);
             GdiFlush();
           }));
    Report("submenu_paint_ms", name, TimeMedian(runs * 3, [&] {
             LONG top = 0;
             for (const auto& item : click.items) {
               const RECT itemRect{0, top, menuWidth, top + item.size.cy};
               click.Draw(item.id, dc.get(), itemRect);
               top += item.size.cy;
             }
             GdiFlush();
           }));
    Report("submenu_items", name, static_cast<double>(click.items.size()));
  }

  MeasureRightClickMemory(dll, path, "mem_repeat", name);

  // The command's first two steps, by the same code in this process: loading the picture
  // and fitting it (the rest is the JPEG, the please-wait window and applying it).
  {
    fw::GpImageOwner picture;
    Report("load_picture_ms", name, TimeMedian(commandRuns, [&] { picture = framewise::LoadPicture(path.c_str()); }));
    std::unique_ptr<framewise::ImageFixer> fixer = framewise::CreateImageFixer(framewise::FitModeMiddle);
    if (picture && fixer) {
      Report("make_wallpaper_ms", name, TimeMedian(commandRuns, [&] {
               fw::GpBitmapOwner wallpaper;
               fixer->MakeWallpaper(picture.get(), &wallpaper);
             }));
    }
  }

  HRESULT commandResult = S_OK;
  Sleep(100);
  PeakSampler sampler;
  const size_t before = WorkingSet();
  const auto invokeMiddle = [&] {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.lpVerb = MAKEINTRESOURCEA(kMiddle);
    info.nShow = SW_SHOWNORMAL;
    const HRESULT hr = click.menu->InvokeCommand(&info);
    if (FAILED(hr)) commandResult = hr;
  };
  Report("command_ms", name, TimeMedian(commandRuns, invokeMiddle));
  Report("command_peak_mb", name, Mb(static_cast<double>(sampler.Peak()) - static_cast<double>(before)));

  // The same command from the new menu's row, each run beside the classic command, so a
  // slower spell of the machine weighs on both alike.
  fw::ComPtr<IExplorerCommand> middleRow;
  {
    fw::ComPtr<IExplorerCommand> root;
    fw::ComPtr<IEnumExplorerCommand> list;
    EXPCMDSTATE state = ECS_HIDDEN;
    if (items && SUCCEEDED(dll.CreateObject(framewise::CLSID_FramewiseExplorerCommand, IID_IExplorerCommand,
                                            root.put_void())) &&
        SUCCEEDED(root->GetState(items.get(), FALSE, &state)) && SUCCEEDED(root->EnumSubCommands(list.put()))) {
      const std::wstring middle = [&] {
        const framewise::MenuEntry* row = framewise::FindItemRow(kMiddle);
        const fw::ModuleStateScope scope;
        return row ? fw::LoadResourceString(row->textId) : std::wstring();
      }();
      for (;;) {
        fw::ComPtr<IExplorerCommand> sub;
        ULONG fetched = 0;
        if (list->Next(1, sub.put(), &fetched) != S_OK) break;
        LPWSTR title = nullptr;
        if (FAILED(sub->GetTitle(items.get(), &title))) continue;
        const fw::TaskMemory<wchar_t> owned(title);
        if (owned && middle == owned.get()) middleRow = sub;
      }
    }
  }
  if (middleRow) {
    std::vector<double> classicTimes, newTimes, invokeRatios;
    for (int i = 0; i < commandRuns; ++i) {
      double t0 = NowMs();
      invokeMiddle();
      classicTimes.push_back(NowMs() - t0);
      t0 = NowMs();
      const HRESULT hr = middleRow->Invoke(items.get(), nullptr);
      newTimes.push_back(NowMs() - t0);
      if (FAILED(hr)) commandResult = hr;
      invokeRatios.push_back(newTimes.back() / classicTimes.back());
    }
    Report("classic_invoke_ms", name, Median(classicTimes));
    Report("newmenu_invoke_ms", name, Median(newTimes));
    Report("newmenu_invoke_ratio", name, Median(invokeRatios));
  } else {
    printf("no Middle row in the new menu for %ls\n", name.c_str());
  }

  // The same command on a desktop of three monitors, each given its own wallpaper.
  {
    const ThreeMonitors desktop(dll);
    standin::DesktopWallpaperStandIn& perMonitor = *desktop.perMonitor;
    // The span over the same three monitors, each run beside the every-monitor command. Wine
    // gives no EDID, so the span is laid out by pixels: the same cutting and resampling work.
    const auto invokeSpanMiddle = [&] {
      CMINVOKECOMMANDINFO info = {};
      info.cbSize = sizeof(info);
      info.lpVerb = MAKEINTRESOURCEA(framewise::kSpanCommandBase + framewise::FitModeMiddle);
      info.nShow = SW_SHOWNORMAL;
      const HRESULT hr = click.menu->InvokeCommand(&info);
      if (FAILED(hr)) commandResult = hr;
    };
    std::vector<double> every, span, spanRatios;
    for (int i = 0; i < commandRuns; ++i) {
      double t0 = NowMs();
      invokeMiddle();
      every.push_back(NowMs() - t0);
      t0 = NowMs();
      invokeSpanMiddle();
      span.push_back(NowMs() - t0);
      spanRatios.push_back(span.back() / every.back());
    }
    Report("command_3_monitors_ms", name, Median(every));
    Report("span_3_monitors_ms", name, Median(span));
    Report("span_3_monitors_ratio", name, Median(spanRatios));
    if (perMonitor.record().wallpapers.size() < 3) {
      printf("three-monitor command set %zu files\n", perMonitor.record().wallpapers.size());
    }
  }
  // Opening the submenu with three monitors (its span and one-monitor groups) beside opening
  // it with one, run after run.
  {
    std::vector<double> ratios, three;
    for (int i = 0; i < runs; ++i) {
      double oneMs = -1, threeMs = -1;
      {
        RightClick one(dll, path);
        if (SUCCEEDED(one.initialize) && one.Open()) oneMs = one.initPopupMs + one.measureMs;
      }
      {
        const ThreeMonitors desktop(dll);
        RightClick opened(dll, path);
        if (SUCCEEDED(opened.initialize) && opened.Open())
          threeMs = opened.initPopupMs + opened.measureMs;
      }
      if (oneMs > 0 && threeMs >= 0) {
        three.push_back(threeMs);
        ratios.push_back(threeMs / oneMs);
      }
    }
    if (!ratios.empty()) {
      Report("open_3_monitors_ms", name, Median(three));
      Report("open_3_monitors_ratio", name, Median(ratios));
    }
  }
  if (FAILED(commandResult)) {
    printf("command failed on %ls: 0x%08lX\n", name.c_str(), static_cast<unsigned long>(commandResult));
  }
}

int Run(int argc, wchar_t** argv) {
  int runs = 7, drawRuns = 301, commandRuns = 3;
  std::wstring memoryPicture;
  std::vector<std::wstring> pictures;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--runs" && i + 1 < argc) {
      runs = _wtoi(argv[++i]);
    } else if (arg == L"--draw-runs" && i + 1 < argc) {
      drawRuns = _wtoi(argv[++i]);
    } else if (arg == L"--command-runs" && i + 1 < argc) {
      commandRuns = _wtoi(argv[++i]);
    } else if (arg == L"--memory" && i + 1 < argc) {
      memoryPicture = argv[++i];
    } else {
      pictures.push_back(arg);
    }
  }
  if (pictures.empty()) {
    printf("usage: bench_rightclick [--runs N] [--draw-runs N] [--command-runs N] [--memory PICTURE] PICTURE...\n");
    return 2;
  }
  if (memoryPicture.empty()) memoryPicture = pictures.back();
  const testsupport::LoadedDll dll;
  if (!dll.ok()) {
    printf("cannot load %ls (error %lu)\n", testsupport::FramewiseDllPath().c_str(), dll.loadError());
    return 1;
  }
  // The DLL sees one 1920x1080 monitor with no taskbar (the three-monitor step nests its
  // own desktop inside).
  testsupport::WorkAreaOverride area(kMonitor, kMonitor, dll.module());
  testsupport::WorkAreaOverride ownArea(kMonitor, kMonitor);  // for the steps timed in this process
  // The commands write the settings and the wallpaper: the user's own files go aside.
  testsupport::FileAside ini(testsupport::UserSettingsFile());
  testsupport::FileAside wallpaper(testsupport::UserWallpaperFile());
  standin::ActiveDesktopStandIn desktop;
  desktop.record().applyToSystem = false;
  // First, while the process is idle (the DLL loaded, nothing decoded or started yet).
  MeasureRightClickMemory(dll, memoryPicture, "mem_first", NameOf(memoryPicture));
  MeasureRightClickMemory(dll, memoryPicture, "mem_second", NameOf(memoryPicture));

  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) {
    printf("cannot start GDI+\n");
    return 1;
  }
  {  // first-use costs: fonts, resources, codecs
    RightClick warm(dll, pictures.front());
    warm.Open();
    BareLoad(pictures.front());
  }
  for (const std::wstring& path : pictures) BenchPicture(dll, path, runs, drawRuns, commandRuns);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const testsupport::ComApartment apartment;
  if (!apartment) return 1;
  return Run(argc, argv);
}
