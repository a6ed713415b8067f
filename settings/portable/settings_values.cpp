#include "settings/portable/settings_values.h"

namespace framewise {

std::wstring FormatSettingsDate(int year, int month, int day) {
  return std::to_wstring(year) + L'/' + std::to_wstring(month) + L'/' + std::to_wstring(day);
}

std::wstring SingleLineValue(const std::wstring& value) {
  return value.substr(0, value.find_first_of(L"\r\n"));
}

}  // namespace framewise
