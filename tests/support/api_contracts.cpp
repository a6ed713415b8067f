#include "tests/support/api_contracts.h"

#include <windows.h>

#include <memory>
#include <mutex>
#include <vector>

#include "tests/support/import_patch.h"

namespace testsupport {
namespace {

std::mutex g_lock;
std::string g_violations;

void Violation(const char* function, const char* what, unsigned long value) {
  char line[160];
  wsprintfA(line, "%s: %s 0x%lX\n", function, what, value);
  std::lock_guard<std::mutex> hold(g_lock);
  g_violations += line;
}

bool IsUtf(UINT codePage) { return codePage == CP_UTF8 || codePage == CP_UTF7; }

using WideToMultiFn = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
using MultiToWideFn = int(WINAPI*)(UINT, DWORD, LPCCH, int, LPWSTR, int);
using OpenKeyWFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, REGSAM, PHKEY);
using OpenKeyAFn = LSTATUS(WINAPI*)(HKEY, LPCSTR, DWORD, REGSAM, PHKEY);
using CreateKeyWFn = LSTATUS(WINAPI*)(HKEY, LPCWSTR, DWORD, LPWSTR, DWORD, REGSAM,
                                      const LPSECURITY_ATTRIBUTES, PHKEY, LPDWORD);
using DisplaySettingsFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DEVMODEW*, DWORD);

WideToMultiFn g_wideToMulti = nullptr;
MultiToWideFn g_multiToWide = nullptr;
OpenKeyWFn g_openKeyW = nullptr;
OpenKeyAFn g_openKeyA = nullptr;
CreateKeyWFn g_createKeyW = nullptr;
DisplaySettingsFn g_displaySettings = nullptr;

int WINAPI CheckedWideToMulti(UINT codePage, DWORD flags, LPCWCH text, int length, LPSTR out,
                              int size, LPCCH defaultChar, LPBOOL usedDefault) {
  constexpr DWORD kDefined = WC_COMPOSITECHECK | WC_DEFAULTCHAR | WC_DISCARDNS | WC_SEPCHARS |
                             WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS;
  if (IsUtf(codePage) ? (flags & ~DWORD{WC_ERR_INVALID_CHARS}) != 0 : (flags & ~kDefined) != 0) {
    Violation("WideCharToMultiByte", "flags", flags);
  }
  if (IsUtf(codePage) && (defaultChar || usedDefault))
    Violation("WideCharToMultiByte", "default char for", codePage);
  if (length == 0 || length < -1)
    Violation("WideCharToMultiByte", "length", static_cast<unsigned long>(length));
  return g_wideToMulti(codePage, flags, text, length, out, size, defaultChar, usedDefault);
}

int WINAPI CheckedMultiToWide(UINT codePage, DWORD flags, LPCCH text, int length, LPWSTR out,
                              int size) {
  constexpr DWORD kDefined =
      MB_PRECOMPOSED | MB_COMPOSITE | MB_USEGLYPHCHARS | MB_ERR_INVALID_CHARS;
  if (IsUtf(codePage) ? (flags & ~DWORD{MB_ERR_INVALID_CHARS}) != 0 : (flags & ~kDefined) != 0) {
    Violation("MultiByteToWideChar", "flags", flags);
  }
  if (length == 0 || length < -1)
    Violation("MultiByteToWideChar", "length", static_cast<unsigned long>(length));
  return g_multiToWide(codePage, flags, text, length, out, size);
}

void CheckOpenOptions(const char* function, DWORD options) {
  if (options != 0 && options != REG_OPTION_OPEN_LINK) Violation(function, "options", options);
}

LSTATUS WINAPI CheckedOpenKeyW(HKEY parent, LPCWSTR name, DWORD options, REGSAM access, PHKEY key) {
  CheckOpenOptions("RegOpenKeyExW", options);
  return g_openKeyW(parent, name, options, access, key);
}

LSTATUS WINAPI CheckedOpenKeyA(HKEY parent, LPCSTR name, DWORD options, REGSAM access, PHKEY key) {
  CheckOpenOptions("RegOpenKeyExA", options);
  return g_openKeyA(parent, name, options, access, key);
}

LSTATUS WINAPI CheckedCreateKeyW(HKEY parent, LPCWSTR name, DWORD reserved, LPWSTR keyClass,
                                 DWORD options, REGSAM access, const LPSECURITY_ATTRIBUTES security,
                                 PHKEY key, LPDWORD disposition) {
  if (reserved != 0) Violation("RegCreateKeyExW", "reserved", reserved);
  constexpr DWORD kDefined = REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK |
                             REG_OPTION_BACKUP_RESTORE | REG_OPTION_OPEN_LINK;
  if ((options & ~kDefined) != 0 || (options & REG_OPTION_VOLATILE) != 0) {
    Violation("RegCreateKeyExW", "options", options);
  }
  return g_createKeyW(parent, name, reserved, keyClass, options, access, security, key,
                      disposition);
}

BOOL WINAPI CheckedDisplaySettings(LPCWSTR device, DWORD mode, DEVMODEW* settings, DWORD flags) {
  if ((flags & ~DWORD{EDS_RAWMODE | EDS_ROTATEDMODE}) != 0)
    Violation("EnumDisplaySettingsExW", "flags", flags);
  return g_displaySettings(device, mode, settings, flags);
}

// The patches, made once for the program and given back by the last owner.
std::vector<std::unique_ptr<ImportPatch>>& Patches() {
  static std::vector<std::unique_ptr<ImportPatch>> patches;
  return patches;
}

template <typename Function>
void Patch(const char* dll, const char* name, void* checked, Function* real) {
  auto patch = std::make_unique<ImportPatch>(dll, name, checked);
  if (!patch->real()) return;  // this program does not call it
  *real = patch->real_as<Function>();
  Patches().push_back(std::move(patch));
}

}  // namespace

ApiContractCheck::ApiContractCheck() {
  Patch("kernel32.dll", "WideCharToMultiByte", reinterpret_cast<void*>(&CheckedWideToMulti),
        &g_wideToMulti);
  Patch("kernel32.dll", "MultiByteToWideChar", reinterpret_cast<void*>(&CheckedMultiToWide),
        &g_multiToWide);
  Patch("advapi32.dll", "RegOpenKeyExW", reinterpret_cast<void*>(&CheckedOpenKeyW), &g_openKeyW);
  Patch("advapi32.dll", "RegOpenKeyExA", reinterpret_cast<void*>(&CheckedOpenKeyA), &g_openKeyA);
  Patch("advapi32.dll", "RegCreateKeyExW", reinterpret_cast<void*>(&CheckedCreateKeyW),
        &g_createKeyW);
  Patch("user32.dll", "EnumDisplaySettingsExW", reinterpret_cast<void*>(&CheckedDisplaySettings),
        &g_displaySettings);
}

ApiContractCheck::~ApiContractCheck() {
  while (!Patches().empty()) Patches().pop_back();  // the last made goes first
}

int ApiContractCheck::Checked() { return static_cast<int>(Patches().size()); }

std::string ApiContractCheck::Violations() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_violations;
}

}  // namespace testsupport
