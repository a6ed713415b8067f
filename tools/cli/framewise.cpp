// Framewise.exe: the console front end (see shellext/command_line.h). Only the product's
// own objects are linked in, never the tests' support.
#include <windows.h>
#include <string>
#include <vector>

#include "framework/com_apartment.h"
#include "shellext/command_line.h"
#include "shellext/portable/command_line.h"

namespace {

// Writes to a console as UTF-16, elsewhere (a pipe, a file) as UTF-8.
void Write(DWORD which, const std::wstring& text) {
  if (text.empty()) return;
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0, written = 0;
  if (GetConsoleMode(handle, &mode)) {
    WriteConsoleW(handle, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
    return;
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return;
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &utf8[0], size, nullptr, nullptr);
  WriteFile(handle, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::wstring> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  const fw::ComApartment com(COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (!com) {
    Write(STD_ERROR_HANDLE, L"Framewise: COM did not start\n");
    return framewise::kExitFailed;
  }
  std::wstring out, err;
  const int code = framewise::RunCommandLine(args, &out, &err);
  Write(STD_OUTPUT_HANDLE, out);
  Write(STD_ERROR_HANDLE, err);
  return code;
}
