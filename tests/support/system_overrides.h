// Owners that give the code under test other system answers for a while: process-wide
// values, system colours and the monitors. Each puts the real answer back when it goes,
// also when a test stops at a failed assertion.
#pragma once

#include <windows.h>

#include <initializer_list>
#include <type_traits>
#include <utility>
#include <vector>

#include "tests/support/import_patch.h"

namespace testsupport {

// Sets a process-wide variable of the product for a test (or only keeps its value) and
// puts the value it had back when the owner goes.
template <typename T>
class ScopedValue {
 public:
  using Value = std::remove_volatile_t<T>;
  explicit ScopedValue(T& variable) : variable_(variable), saved_(variable) {}
  ScopedValue(T& variable, Value value) : ScopedValue(variable) { variable_ = value; }
  ~ScopedValue() { variable_ = saved_; }
  ScopedValue(const ScopedValue&) = delete;
  ScopedValue& operator=(const ScopedValue&) = delete;

 private:
  T& variable_;
  Value saved_;
};

// A stand-in for GetModuleFileNameW that cannot name any module (ERROR_ACCESS_DENIED),
// for an ImportPatch.
DWORD WINAPI NoModuleFileName(HMODULE module, LPWSTR buffer, DWORD size);

// While alive, the given system colours (COLOR_MENU...) have these values; the previous
// ones come back when the owner goes. Under Wine's default scheme the menu, window and
// menu-bar colours are all white, so a drawing that takes the wrong one would not show.
class SystemColours {
 public:
  explicit SystemColours(const std::vector<std::pair<int, COLORREF>>& colours);
  ~SystemColours();
  SystemColours(const SystemColours&) = delete;
  SystemColours& operator=(const SystemColours&) = delete;
  bool applied() const { return applied_; }

 private:
  std::vector<int> indexes_;
  std::vector<COLORREF> saved_;
  bool applied_ = false;
};

// The tests' own desktop colour while alive, red, green and blue all different so that a
// channel taken for another shows; kArgb is how a band of it reads in a picture.
class TestDesktopColour : public SystemColours {
 public:
  static constexpr COLORREF kColour = RGB(0x3A, 0x6E, 0xA5);
  static constexpr unsigned kArgb = 0xFF3A6EA5;
  TestDesktopColour() : SystemColours({{COLOR_BACKGROUND, kColour}}) {}
};

// One monitor of a made-up desktop: its area, its work area, whether it is the primary.
struct FakeMonitor {
  RECT monitor;
  RECT work;
  bool primary;
};

// The made-up desktop the monitor overrides below answer from: installed while alive, and
// the one it replaced put back when it goes, so overrides nest (the innermost one rules).
class FakeDesktop {
 public:
  FakeDesktop(const std::vector<FakeMonitor>& monitors, bool anyHandle);
  ~FakeDesktop();
  FakeDesktop(const FakeDesktop&) = delete;
  FakeDesktop& operator=(const FakeDesktop&) = delete;

 private:
  std::vector<FakeMonitor> savedMonitors_;
  bool savedAnyHandle_;
};

// While alive, MonitorFromRect, MonitorFromWindow, GetMonitorInfoW and EnumDisplayMonitors
// as `module` imports
// them (default: this program) report these monitors instead of the system's, with
// made-up handles.
class MonitorsOverride {
 public:
  explicit MonitorsOverride(const std::vector<FakeMonitor>& monitors, HMODULE module = nullptr);
  ~MonitorsOverride();
  MonitorsOverride(const MonitorsOverride&) = delete;
  MonitorsOverride& operator=(const MonitorsOverride&) = delete;

 private:
  FakeDesktop desktop_;  // first made, last gone: the imports are put back before it
  ImportPatch fromRect_;
  ImportPatch fromWindow_;
  ImportPatch info_;
  ImportPatch enumerate_;
};

// While alive, GetMonitorInfoW as imported by `module` (default: this program) reports
// the given work area and monitor area, as the primary's, for any monitor handle.
class WorkAreaOverride {
 public:
  WorkAreaOverride(RECT work, RECT monitor, HMODULE module = nullptr);
  WorkAreaOverride(const WorkAreaOverride&) = delete;
  WorkAreaOverride& operator=(const WorkAreaOverride&) = delete;

 private:
  FakeDesktop desktop_;
  ImportPatch info_;
};

// While alive, the current user's app theme is dark or light (the Personalize key's
// AppsUseLightTheme, which Wine's prefix does not have); the value as it was, or its
// absence, comes back when the owner goes.
class AppThemeOverride {
 public:
  explicit AppThemeOverride(bool dark);
  ~AppThemeOverride();
  AppThemeOverride(const AppThemeOverride&) = delete;
  AppThemeOverride& operator=(const AppThemeOverride&) = delete;
  bool applied() const { return applied_; }

 private:
  bool hadValue_ = false;
  DWORD saved_ = 0;
  bool applied_ = false;
};

// While alive, this program's version resource reads as a pre-release's: the flag set in its
// flags and in its mask, as a beta's resource states it.
class PrereleaseBuild {
 public:
  PrereleaseBuild();
  PrereleaseBuild(const PrereleaseBuild&) = delete;
  PrereleaseBuild& operator=(const PrereleaseBuild&) = delete;
  bool patched() const { return query_.real() != nullptr; }

 private:
  ImportPatch query_;
};

// While alive, the imaging library has no font family at all, neither by name nor its
// generic sans serif.
class NoFontFamilies {
 public:
  NoFontFamilies();
  NoFontFamilies(const NoFontFamilies&) = delete;
  NoFontFamilies& operator=(const NoFontFamilies&) = delete;
  bool patched() const { return named_.real() && generic_.real(); }

 private:
  ImportPatch named_;
  ImportPatch generic_;
};

}  // namespace testsupport
