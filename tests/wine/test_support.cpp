#include "test_support.h"

#include "framework/win_owners.h"
#include "tools/support/import_patch.h"

#include <objidl.h>
#include <gdiplus.h>
#include <psapi.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <winternl.h>

#include <cstdlib>
#include <vector>

namespace testsupport {

void* PatchImport(HMODULE module, const char* dll, const char* function, void* replacement) {
  return standin::PatchImport(module, dll, function, replacement);
}

namespace {

RECT g_work;
RECT g_monitor;

BOOL WINAPI FakeGetMonitorInfoW(HMONITOR, LPMONITORINFO info) {
  if (!info || info->cbSize < sizeof(MONITORINFO)) return FALSE;
  info->rcWork = g_work;
  info->rcMonitor = g_monitor;
  info->dwFlags = MONITORINFOF_PRIMARY;
  return TRUE;
}

}  // namespace

WorkAreaOverride::WorkAreaOverride(RECT work, RECT monitor, HMODULE module)
    : module_(module ? module : GetModuleHandleW(nullptr)) {
  g_work = work;
  g_monitor = monitor;
  previous_ = PatchImport(module_, "user32.dll", "GetMonitorInfoW",
                          reinterpret_cast<void*>(&FakeGetMonitorInfoW));
}

WorkAreaOverride::~WorkAreaOverride() {
  if (previous_) PatchImport(module_, "user32.dll", "GetMonitorInfoW", previous_);
}

namespace {

std::vector<FakeMonitor> g_monitors;

HMONITOR HandleOf(size_t index) { return reinterpret_cast<HMONITOR>(static_cast<ULONG_PTR>(0x7000 + index)); }

HMONITOR WINAPI FakeMonitorFromRect(LPCRECT rect, DWORD) {
  for (size_t i = 0; rect && i < g_monitors.size(); ++i) {
    if (EqualRect(rect, &g_monitors[i].monitor)) return HandleOf(i);
  }
  return nullptr;
}

HMONITOR WINAPI FakeMonitorFromWindow(HWND, DWORD) {
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    if (g_monitors[i].primary) return HandleOf(i);
  }
  return nullptr;
}

BOOL WINAPI FakeMonitorInfo(HMONITOR monitor, LPMONITORINFO info) {
  for (size_t i = 0; i < g_monitors.size(); ++i) {
    if (monitor != HandleOf(i) || !info || info->cbSize < sizeof(MONITORINFO)) continue;
    info->rcMonitor = g_monitors[i].monitor;
    info->rcWork = g_monitors[i].work;
    info->dwFlags = g_monitors[i].primary ? MONITORINFOF_PRIMARY : 0;
    return TRUE;
  }
  return FALSE;
}

const char* const kMonitorFunctions[3] = {"MonitorFromRect", "MonitorFromWindow", "GetMonitorInfoW"};

}  // namespace

MonitorsOverride::MonitorsOverride(const std::vector<FakeMonitor>& monitors, HMODULE module)
    : module_(module) {
  g_monitors = monitors;
  void* fakes[3] = {reinterpret_cast<void*>(&FakeMonitorFromRect),
                    reinterpret_cast<void*>(&FakeMonitorFromWindow),
                    reinterpret_cast<void*>(&FakeMonitorInfo)};
  for (int i = 0; i < 3; ++i) previous_[i] = PatchImport(module_, "user32.dll", kMonitorFunctions[i], fakes[i]);
}

MonitorsOverride::~MonitorsOverride() {
  for (int i = 0; i < 3; ++i) {
    if (previous_[i]) PatchImport(module_, "user32.dll", kMonitorFunctions[i], previous_[i]);
  }
}

HWND CreateShellWindow(int x, int y, int width, int height) {
  // A plain static control as a top-level window: no class of our own to register.
  return CreateWindowExW(0, L"STATIC", L"Shell window", WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, y,
                         width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

TempDir::TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  wchar_t name[64];
  wsprintfW(name, L"fwtest-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
  path_ = std::wstring(base) + name;
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
  std::wstring from = path_ + L'\0';  // double-terminated for the shell
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

bool WritePicture(const std::wstring& path, int width, int height, const wchar_t* mime) {
  namespace gp = Gdiplus::DllExports;
  Gdiplus::GdiplusStartupInput input;
  ULONG_PTR token = 0;
  if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
  bool ok = false;
  {
    const int stride = (width * 3 + 3) & ~3;
    std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        BYTE* p = &pixels[static_cast<size_t>(y) * stride + x * 3];
        const bool right = x >= width / 2, bottom = y >= height / 2;
        p[0] = right ? 220 : 30;                        // blue
        p[1] = bottom ? 200 : 40;                       // green
        p[2] = static_cast<BYTE>(40 + 180 * x / (width > 1 ? width - 1 : 1));  // red
      }
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromScan0(width, height, stride, PixelFormat24bppRGB, pixels.data(),
                                      &bitmap) == Gdiplus::Ok) {
      UINT count = 0, size = 0;
      gp::GdipGetImageEncodersSize(&count, &size);
      std::vector<BYTE> buffer(size);
      auto codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
      if (size && gp::GdipGetImageEncoders(count, size, codecs) == Gdiplus::Ok) {
        for (UINT i = 0; i < count; ++i) {
          if (lstrcmpW(codecs[i].MimeType, mime) == 0) {
            ok = gp::GdipSaveImageToFile(bitmap, path.c_str(), &codecs[i].Clsid, nullptr) == Gdiplus::Ok;
            break;
          }
        }
      }
      gp::GdipDisposeImage(bitmap);
    }
  }
  Gdiplus::GdiplusShutdown(token);
  return ok;
}

std::string ReadBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (opened == INVALID_HANDLE_VALUE) return bytes;
  fw::UniqueHandle file(opened);
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
  return bytes;
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = size == 0 || WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

namespace {

// Wine reports no private bytes: sum the committed private regions of the address space.
size_t CommittedPrivateBytes() {
  size_t total = 0;
  MEMORY_BASIC_INFORMATION info;
  for (const BYTE* address = nullptr; VirtualQuery(address, &info, sizeof(info)) == sizeof(info);
       address = static_cast<const BYTE*>(info.BaseAddress) + info.RegionSize) {
    if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE) total += info.RegionSize;
    if (info.RegionSize == 0) break;
  }
  return total;
}

// The process's GDI handle table: 24-byte entries, the type byte at offset 14. A 32-bit
// process of a 64-bit Wine has it in its 64-bit PEB, reached through the 64-bit TEB whose
// address the 32-bit TEB keeps in GdiBatchCount; null when it cannot be found.
const BYTE* GdiHandleTable() {
  PROCESS_BASIC_INFORMATION basic = {};
  if (NtQueryInformationProcess(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof(basic),
                                nullptr) != 0 ||
      !basic.PebBaseAddress) {
    return nullptr;
  }
  const BYTE* peb = reinterpret_cast<const BYTE*>(basic.PebBaseAddress);
#ifdef _WIN64
  return *reinterpret_cast<BYTE* const*>(peb + 0xF8);
#else
  if (const BYTE* table = *reinterpret_cast<BYTE* const*>(peb + 0x94)) return table;
  struct {
    LONG exitStatus;
    PVOID teb;
    PVOID clientId[2];
    ULONG_PTR affinity;
    LONG priority;
    LONG basePriority;
  } thread = {};
  if (NtQueryInformationThread(GetCurrentThread(), ThreadBasicInformation, &thread, sizeof(thread),
                               nullptr) != 0 ||
      !thread.teb) {
    return nullptr;
  }
  const BYTE* teb = static_cast<const BYTE*>(thread.teb);
  const ULONG teb64 = *reinterpret_cast<const ULONG*>(teb + 0xF70);  // GdiBatchCount
  if (!teb64) return nullptr;
  const ULONGLONG peb64 = *reinterpret_cast<const ULONGLONG*>(static_cast<ULONG_PTR>(teb64) + 0x60);
  if (!peb64 || peb64 > 0xFFFFFFFFull) return nullptr;
  const ULONGLONG table = *reinterpret_cast<const ULONGLONG*>(static_cast<ULONG_PTR>(peb64) + 0xF8);
  return table && table <= 0xFFFFFFFFull ? reinterpret_cast<const BYTE*>(static_cast<ULONG_PTR>(table)) : nullptr;
#endif
}

// Wine's GetGuiResources is a stub: count the live entries of the GDI handle table instead.
DWORD GdiTableCount() {
  const BYTE* table = GdiHandleTable();
  if (!table) return 0;
  DWORD count = 0;
  for (size_t i = 0; i < 0x10000; ++i) {
    if (table[i * 24 + 14] != 0) ++count;
  }
  return count;
}

}  // namespace

ResourceCounts CurrentResourceCounts() {
  ResourceCounts counts = {};
  PROCESS_MEMORY_COUNTERS_EX memory = {};
  memory.cb = sizeof(memory);
  if (GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                           sizeof(memory))) {
    counts.privateBytes = memory.PrivateUsage;
  }
  if (counts.privateBytes == 0) counts.privateBytes = CommittedPrivateBytes();
  counts.gdiObjects = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counts.gdiObjects == 0) counts.gdiObjects = GdiTableCount();
  counts.handles = CountHandles();
  return counts;
}

namespace {

// The system handle table as NtQuerySystemInformation(SystemHandleInformation) returns it.
struct HandleEntry {
  ULONG ownerPid;
  BYTE objectType;
  BYTE flags;
  USHORT value;
  PVOID object;
  ULONG access;
};
struct HandleTable {
  ULONG count;
  HandleEntry entries[1];
};

}  // namespace

DWORD CountHandles() {
  DWORD own = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &own) && own != 0) return own;
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  static const auto query = reinterpret_cast<Query>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  if (!query) return 0;
  std::vector<BYTE> buffer(1 << 16);
  for (int attempt = 0; attempt < 8; ++attempt) {
    ULONG needed = 0;
    const LONG status = query(16 /* SystemHandleInformation */, buffer.data(),
                              static_cast<ULONG>(buffer.size()), &needed);
    if (status == static_cast<LONG>(0xC0000004)) {  // length mismatch: grow and ask again
      const size_t doubled = buffer.size() * 2;
      buffer.resize(doubled > needed + 4096 ? doubled : needed + 4096);
      continue;
    }
    if (status < 0) return 0;
    auto table = reinterpret_cast<const HandleTable*>(buffer.data());
    const DWORD pid = GetCurrentProcessId();
    DWORD count = 0;
    for (ULONG i = 0; i < table->count; ++i) count += table->entries[i].ownerPid == pid;
    return count;
  }
  return 0;
}

std::string WhyNoGdiCount(const ResourceCounts& counts) {
  if (counts.gdiObjects != 0) return std::string();
  return "this process's GDI object count reads 0 here (no GDI handle table found): a GDI "
         "leak would not show";
}

std::string WhyNoHandleCount(const ResourceCounts& counts) {
  if (counts.handles != 0) return std::string();
  return "this process's handle count reads 0 here: a handle leak would not show";
}

SystemColours::SystemColours(std::initializer_list<std::pair<int, COLORREF>> colours) {
  std::vector<COLORREF> values;
  for (const auto& colour : colours) {
    indexes_.push_back(colour.first);
    saved_.push_back(GetSysColor(colour.first));
    values.push_back(colour.second);
  }
  applied_ = SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), values.data()) != FALSE;
}

SystemColours::~SystemColours() {
  if (applied_) SetSysColors(static_cast<int>(indexes_.size()), indexes_.data(), saved_.data());
}

MemoryDib::MemoryDib(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  dc_ = CreateCompatibleDC(nullptr);
  dib_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits_, nullptr, 0);
  old_ = SelectObject(dc_, dib_);
}

MemoryDib::~MemoryDib() {
  SelectObject(dc_, old_);
  DeleteObject(dib_);
  DeleteDC(dc_);
}

const DWORD* MemoryDib::pixels() const {
  GdiFlush();
  return static_cast<const DWORD*>(bits_);
}

std::wstring FramewiseDllPath() {
  wchar_t value[MAX_PATH * 2];
  DWORD n = GetEnvironmentVariableW(L"FRAMEWISE_DLL", value, MAX_PATH * 2);
  if (n > 0 && n < MAX_PATH * 2) {
    std::wstring path(value);
    // CTest hands over the Linux path of the DLL: map it onto Wine's Z: drive.
    if (!path.empty() && path[0] == L'/') {
      for (auto& c : path) if (c == L'/') c = L'\\';
      path = L"Z:" + path;
    }
    return path;
  }
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  PathRemoveFileSpecW(self);
  return std::wstring(self) + L"\\Framewise.dll";
}

}  // namespace testsupport

#include <shlobj.h>

namespace testsupport {

IDataObject* ShellDataObject(const std::vector<std::wstring>& paths) {
  if (paths.empty()) return nullptr;
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
  std::wstring folderPath = paths[0];
  folderPath.resize(folderPath.find_last_of(L'\\'));
  IDataObject* result = nullptr;
  PIDLIST_RELATIVE folderPidl = nullptr;
  if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &folderPath[0], nullptr, &folderPidl, nullptr))) {
    IShellFolder* folder = nullptr;
    if (SUCCEEDED(desktop->BindToObject(folderPidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder)))) {
      std::vector<PITEMID_CHILD> children;
      bool ok = true;
      for (const auto& path : paths) {
        std::wstring name = path.substr(path.find_last_of(L'\\') + 1);
        PIDLIST_RELATIVE child = nullptr;
        if (FAILED(folder->ParseDisplayName(nullptr, nullptr, &name[0], nullptr, &child, nullptr))) {
          ok = false;
          break;
        }
        children.push_back(reinterpret_cast<PITEMID_CHILD>(child));
      }
      if (ok) {
        folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()),
                              const_cast<PCUITEMID_CHILD_ARRAY>(children.data()), IID_IDataObject,
                              nullptr, reinterpret_cast<void**>(&result));
      }
      for (auto child : children) CoTaskMemFree(child);
      folder->Release();
    }
    CoTaskMemFree(folderPidl);
  }
  desktop->Release();
  return result;
}

namespace {

class RawDataObject : public IDataObject {
 public:
  explicit RawDataObject(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *object = this;
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (bytes_.empty() || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes_.size());
    memcpy(GlobalLock(memory), bytes_.data(), bytes_.size());
    GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
  STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  virtual ~RawDataObject() = default;
  ULONG refs_ = 1;
  std::vector<unsigned char> bytes_;
};

}  // namespace

IDataObject* RawDropDataObject(const std::vector<unsigned char>& bytes) {
  return new RawDataObject(bytes);
}

std::vector<unsigned char> DropFilesBytes(const std::vector<std::wstring>& names) {
  std::vector<unsigned char> bytes(sizeof(DROPFILES));
  auto header = reinterpret_cast<DROPFILES*>(bytes.data());
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  for (const auto& name : names) {
    const auto p = reinterpret_cast<const unsigned char*>(name.c_str());
    bytes.insert(bytes.end(), p, p + (name.size() + 1) * sizeof(wchar_t));
  }
  bytes.insert(bytes.end(), 4, 0);  // the list ends with an empty name
  return bytes;
}

}  // namespace testsupport
