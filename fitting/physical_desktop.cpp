#include "fitting/physical_desktop.h"

#include <setupapi.h>

#include <cmath>
#include <cwchar>

#include "fitting/portable/edid.h"
#include "settings/portable/settings_values.h"
#include "settings/settings_file.h"

namespace framewise {

MonitorHardwareReader monitorHardwareReader = &ReadSystemMonitorHardware;
unsigned monitorHardwareReads = 0;

namespace {

// The monitors' device interface class, spelt out: toolchain headers differ in where it is.
// {E6F07B5F-EE97-4A90-B076-33F57BF4EAA7}
const GUID kMonitorInterface = {
    0xe6f07b5f, 0xee97, 0x4a90, {0xb0, 0x76, 0x33, 0xf5, 0x7b, 0xf4, 0xea, 0xa7}};

struct DeviceListDeleter {
  HDEVINFO list;
  ~DeviceListDeleter() {
    if (list != INVALID_HANDLE_VALUE) SetupDiDestroyDeviceInfoList(list);
  }
};

// The EDID value of the monitor device whose interface path is `monitorId`.
bool ReadEdid(const std::wstring& monitorId, std::vector<uint8_t>* edid) {
  DeviceListDeleter devices{SetupDiGetClassDevsW(&kMonitorInterface, nullptr, nullptr,
                                                 DIGCF_PRESENT | DIGCF_DEVICEINTERFACE)};
  if (devices.list == INVALID_HANDLE_VALUE) return false;
  // A few hundred monitors is far beyond any desktop: the walk ends there.
  for (DWORD index = 0; index < 256; ++index) {
    SP_DEVICE_INTERFACE_DATA face = {};
    face.cbSize = sizeof(face);
    if (!SetupDiEnumDeviceInterfaces(devices.list, nullptr, &kMonitorInterface, index, &face)) {
      break;
    }
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(devices.list, &face, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W) || needed > 64 * 1024) continue;
    std::vector<uint8_t> buffer(needed);
    auto detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!SetupDiGetDeviceInterfaceDetailW(devices.list, &face, detail, needed, nullptr, &device) ||
        _wcsicmp(detail->DevicePath, monitorId.c_str()) != 0) {
      continue;
    }
    HKEY key =
        SetupDiOpenDevRegKey(devices.list, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) return false;
    std::vector<uint8_t> value(kEdidMaxSize);
    DWORD size = static_cast<DWORD>(value.size());
    DWORD type = 0;
    const LONG read = RegQueryValueExW(key, L"EDID", nullptr, &type, value.data(), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_BINARY || size > value.size()) return false;
    value.resize(size);
    *edid = std::move(value);
    return true;
  }
  return false;
}

// The rotation of the display the monitor with this interface path shows.
DisplayRotation ReadRotation(const std::wstring& monitorId) {
  for (DWORD a = 0; a < 64; ++a) {
    DISPLAY_DEVICEW adapter = {};
    adapter.cb = sizeof(adapter);
    if (!EnumDisplayDevicesW(nullptr, a, &adapter, 0)) break;
    for (DWORD m = 0; m < 64; ++m) {
      DISPLAY_DEVICEW monitor = {};
      monitor.cb = sizeof(monitor);
      if (!EnumDisplayDevicesW(adapter.DeviceName, m, &monitor, EDD_GET_DEVICE_INTERFACE_NAME)) {
        break;
      }
      if (_wcsicmp(monitor.DeviceID, monitorId.c_str()) != 0) continue;
      DEVMODEW mode = {};
      mode.dmSize = sizeof(mode);
      if (!EnumDisplaySettingsExW(adapter.DeviceName, ENUM_CURRENT_SETTINGS, &mode, 0) ||
          (mode.dmFields & DM_DISPLAYORIENTATION) == 0 || mode.dmDisplayOrientation > 3) {
        return DisplayRotation::None;
      }
      return static_cast<DisplayRotation>(mode.dmDisplayOrientation);
    }
  }
  return DisplayRotation::None;
}

// The kept layout and what it was made for.
struct Kept {
  bool valid = false;
  std::vector<DesktopMonitor> monitors;
  double gap = 0;
  MonitorHardwareReader reader = nullptr;
  PhysicalDesktop desktop;
};
Kept g_kept;
// The shell calls from several threads: the kept layout is read and written under a lock.
SRWLOCK g_lock = SRWLOCK_INIT;

bool SameMonitors(const std::vector<DesktopMonitor>& a, const std::vector<DesktopMonitor>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].id != b[i].id || !EqualRect(&a[i].area, &b[i].area) || a[i].primary != b[i].primary) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ReadSystemMonitorHardware(const std::wstring& monitorId, MonitorHardware* out) {
  *out = MonitorHardware();
  const bool edid = ReadEdid(monitorId, &out->edid);
  out->rotation = ReadRotation(monitorId);
  return edid;
}

double SpanGapMillimetres() {
  const wchar_t* settings = SettingsFile::GetPath(SettingsScope::CurrentUser, nullptr);
  const std::wstring text =
      ReadSettingString(settings, kDesktopSection, kSpanGapKey, L"", kSpanGapCapacity);
  // A value the buffer cut would read as another number ("0100" cut to "010"): no gap.
  if (text.empty() || text.size() >= kSpanGapCapacity - 1) return 0;
  wchar_t* end = nullptr;
  const double value = std::wcstod(text.c_str(), &end);
  while (end && (*end == L' ' || *end == L'\t')) ++end;
  if (!end || *end != L'\0' || !std::isfinite(value) || value < 0 || value > kMaxLayoutGapMm) {
    return 0;
  }
  return value;
}

bool GetPhysicalDesktop(const std::vector<DesktopMonitor>& monitors, PhysicalDesktop* out) {
  *out = PhysicalDesktop();
  if (monitors.empty() || monitors.size() > kMaxLayoutMonitors) return false;
  const double gap = SpanGapMillimetres();
  AcquireSRWLockExclusive(&g_lock);
  const bool kept = g_kept.valid && g_kept.gap == gap && g_kept.reader == monitorHardwareReader &&
                    SameMonitors(g_kept.monitors, monitors);
  if (kept) *out = g_kept.desktop;
  const MonitorHardwareReader reader = monitorHardwareReader;
  ReleaseSRWLockExclusive(&g_lock);
  if (kept) return true;

  ++monitorHardwareReads;
  std::vector<LayoutMonitor> input;
  PhysicalDesktop desktop;
  for (const DesktopMonitor& m : monitors) {
    LayoutMonitor layoutMonitor;
    layoutMonitor.pixels = PixelRect{m.area.left, m.area.top, m.area.right, m.area.bottom};
    layoutMonitor.primary = m.primary;
    MonitorHardware hardware;
    EdidInfo edid;
    SizeVerdict verdict = SizeVerdict::Unknown;
    const uint32_t width = static_cast<uint32_t>(m.area.right - m.area.left);
    const uint32_t height = static_cast<uint32_t>(m.area.bottom - m.area.top);
    if (reader && reader(m.id, &hardware) &&
        ParseEdid(hardware.edid.data(), hardware.edid.size(), &edid)) {
      verdict = ChoosePhysicalSize(edid, width, height, hardware.rotation, &layoutMonitor.size);
    }
    desktop.verdicts.push_back(verdict);
    input.push_back(layoutMonitor);
  }
  if (!ComputePhysicalLayout(input, gap, &desktop.layout)) return false;

  AcquireSRWLockExclusive(&g_lock);
  g_kept.valid = true;
  g_kept.monitors = monitors;
  g_kept.gap = gap;
  g_kept.reader = reader;
  g_kept.desktop = desktop;
  ReleaseSRWLockExclusive(&g_lock);
  *out = std::move(desktop);
  return true;
}

void ForgetPhysicalDesktop() {
  AcquireSRWLockExclusive(&g_lock);
  g_kept = Kept();
  ReleaseSRWLockExclusive(&g_lock);
}

}  // namespace framewise
