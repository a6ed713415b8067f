#include "framework/app_theme.h"

#include <windows.h>

namespace fw {

namespace {

constexpr wchar_t kPersonalizeKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";
constexpr wchar_t kAppsUseLightTheme[] = L"AppsUseLightTheme";

}  // namespace

bool AppsUseDarkTheme() {
  DWORD value = 1;
  DWORD size = sizeof(value);
  // RRF_RT_REG_DWORD: a value of any other type or size is refused, not misread.
  if (RegGetValueW(HKEY_CURRENT_USER, kPersonalizeKey, kAppsUseLightTheme, RRF_RT_REG_DWORD, nullptr,
                   &value, &size) != ERROR_SUCCESS) {
    return false;
  }
  return value == 0;
}

}  // namespace fw
