// Stands in for Windows PowerShell in the installer test's prefix (Wine has none): the
// test copies it to system32\WindowsPowerShell\v1.0\powershell.exe. Each run appends its
// command line, UTF-8, as one line of calls.log beside it; when a file named "fail" lies
// beside it, it answers as a failed deployment does (a message, exit code 1); a "fail" that
// is not empty holds the message to print.
#include <windows.h>

#include <cstring>
#include <string>

#include "framework/module_path.h"
#include "framework/win_owners.h"

int wmain() {
  std::wstring self;
  if (!fw::GetModulePath(nullptr, &self)) return 2;
  const std::wstring folder = fw::FolderOf(self);

  const wchar_t* line = GetCommandLineW();
  const int size = WideCharToMultiByte(CP_UTF8, 0, line, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return 2;
  std::string text(static_cast<size_t>(size - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, line, -1, &text[0], size, nullptr, nullptr);
  text += "\n";
  fw::UniqueHandle log(CreateFileW((folder + L"calls.log").c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                   nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (log.get() == INVALID_HANDLE_VALUE) {
    log.release();
    return 2;
  }
  DWORD written = 0;
  if (!WriteFile(log.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) return 2;

  fw::UniqueHandle fail(CreateFileW((folder + L"fail").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (fail.get() == INVALID_HANDLE_VALUE) {
    fail.release();
    return 0;
  }
  static char message[65536] = "Deployment failed with HRESULT: 0x80073CF3 (stand-in)\r\n";
  DWORD length = 0;
  if (!ReadFile(fail.get(), message, sizeof(message), &length, nullptr)) return 2;
  if (length == 0) length = static_cast<DWORD>(strlen(message));
  DWORD ignored = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), message, length, &ignored, nullptr);
  return 1;
}
