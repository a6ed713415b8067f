// Owners that give the submenu's look other system answers for a while, for what Wine
// cannot show: a visual style for menus (light or dark) painting known colours, high
// contrast and menu underlines, and the per-monitor DPI functions of newer Windows (the
// user's dark choice: AppThemeOverride in system_overrides.h). Each puts the real answer back when it
// goes, also when a test stops at a failed assertion.
#pragma once

#include <windows.h>
#include <uxtheme.h>

#include <string>
#include <vector>

#include "tests/support/import_patch.h"

namespace testsupport {

// A made-up menu style class: what it paints and its text colours, by MENU_POPUPITEM
// state (MPI_NORMAL, MPI_HOT, MPI_DISABLED, MPI_DISABLEDHOT).
struct FakeMenuStyle {
  std::wstring themeClass;  // as OpenThemeData is asked for it, e.g. L"Menu"
  COLORREF background;      // MENU_POPUPBACKGROUND
  COLORREF hot;             // MENU_POPUPITEM, MPI_HOT and MPI_DISABLEDHOT (others paint nothing)
  COLORREF text[4];
};

// Colours close to the dark menu of newer Windows, and the light one.
FakeMenuStyle DarkMenuStyle(const wchar_t* themeClass = L"DarkMode_ImmersiveStart::Menu");
FakeMenuStyle LightMenuStyle(const wchar_t* themeClass = L"Menu");

// While alive, OpenThemeData, CloseThemeData, DrawThemeBackground and GetThemeColor as
// `module` imports them (default: this program) answer from these styles alone: any other
// class opens to null, as on a system without it.
class MenuStyleOverride {
 public:
  explicit MenuStyleOverride(std::vector<FakeMenuStyle> styles, HMODULE module = nullptr);
  ~MenuStyleOverride();
  MenuStyleOverride(const MenuStyleOverride&) = delete;
  MenuStyleOverride& operator=(const MenuStyleOverride&) = delete;
  bool applied() const;

  // Theme calls that fail from now on: DrawThemeBackground, GetThemeColor.
  void FailDrawing(bool fail);
  void FailColours(bool fail);
  // Every class OpenThemeData was asked for, in order, and the handles still open.
  const std::vector<std::wstring>& asked() const;
  int openHandles() const;

 private:
  ImportPatch open_;
  ImportPatch close_;
  ImportPatch draw_;
  ImportPatch colour_;
};

// While alive, SystemParametersInfoW as `module` imports it answers SPI_GETHIGHCONTRAST
// and SPI_GETMENUUNDERLINES with these (-1: the system's own answer); other questions go
// through.
class SystemParametersOverride {
 public:
  SystemParametersOverride(int highContrast, int menuUnderlines, HMODULE module = nullptr);
  ~SystemParametersOverride();
  SystemParametersOverride(const SystemParametersOverride&) = delete;
  SystemParametersOverride& operator=(const SystemParametersOverride&) = delete;
  bool applied() const { return patch_.real() != nullptr; }

 private:
  int savedContrast_;
  int savedUnderlines_;
  ImportPatch patch_;
};

// While alive, GetProcAddress as `module` imports it gives made-up GetDpiForWindow and
// SystemParametersInfoForDpi: every window is at `windowDpi`, and the metrics for a DPI
// are the system's scaled to it, as newer Windows answers. With `windowDpi` 0 neither
// function exists, as on Windows 7. Other names go through.
class DpiOverride {
 public:
  explicit DpiOverride(UINT windowDpi, HMODULE module = nullptr);
  ~DpiOverride();
  DpiOverride(const DpiOverride&) = delete;
  DpiOverride& operator=(const DpiOverride&) = delete;
  bool applied() const { return patch_.real() != nullptr; }
  // The DPI values SystemParametersInfoForDpi was asked for, in order.
  const std::vector<UINT>& metricsAsked() const;

 private:
  UINT savedDpi_;
  ImportPatch patch_;
};

}  // namespace testsupport
