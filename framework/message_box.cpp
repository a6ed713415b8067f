#include "framework/message_box.h"

#include "framework/module_path.h"

namespace fw {

std::wstring AppTitle() {
  std::wstring name;
  if (!GetModulePath(CodeModule(), &name)) return std::wstring();
  const size_t slash = name.find_last_of(L"\\/");
  if (slash != std::wstring::npos) name.erase(0, slash + 1);
  const size_t dot = name.rfind(L'.');
  if (dot != std::wstring::npos) name.erase(dot);
  return name;
}

int ShowMessageBox(HWND owner, const std::wstring& text, UINT type) {
  return MessageBoxW(owner, text.c_str(), AppTitle().c_str(), type);
}

}  // namespace fw
