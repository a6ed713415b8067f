#include "shellext/package_registration.h"

#include <msi.h>

#include <vector>

#include "framework/module_path.h"
#include "framework/win_owners.h"
#include "shellext/portable/package_identity.h"

namespace framewise {
namespace {

// Deployment of a small package takes seconds; past this the install goes on without it.
constexpr DWORD kPowerShellTimeoutMs = 5 * 60 * 1000;
// How much of PowerShell's output goes to the log.
constexpr DWORD kMaxLoggedOutput = 8192;

using RtlGetVersionFunction = LONG(WINAPI*)(RTL_OSVERSIONINFOW*);

bool ReadWindowsBuild(DWORD* major, DWORD* build) {
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  if (!ntdll) return false;
  auto getVersion =
      reinterpret_cast<RtlGetVersionFunction>(GetProcAddress(ntdll, "RtlGetVersion"));
  if (!getVersion) return false;
  RTL_OSVERSIONINFOW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (getVersion(&info) != 0) return false;
  *major = info.dwMajorVersion;
  *build = info.dwBuildNumber;
  return true;
}

std::wstring SystemFolder() {
  std::vector<wchar_t> buffer(MAX_PATH + 1);
  const UINT length = GetSystemDirectoryW(buffer.data(), static_cast<UINT>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::wstring();
  return std::wstring(buffer.data(), length);
}

// A temporary file the child writes its output to; it goes when the last handle closes.
fw::UniqueHandle CreateOutputFile() {
  std::vector<wchar_t> folder(MAX_PATH + 1);
  std::vector<wchar_t> name(MAX_PATH + 1);
  const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) return fw::UniqueHandle();
  if (GetTempFileNameW(folder.data(), L"fwp", 0, name.data()) == 0) return fw::UniqueHandle();
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE file = CreateFileW(name.data(), GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherit,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                            nullptr);
  return fw::UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

std::wstring ReadOutput(HANDLE file) {
  if (!file || SetFilePointer(file, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER) {
    return std::wstring();
  }
  std::vector<char> bytes(kMaxLoggedOutput);
  DWORD read = 0;
  if (!ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) || read == 0) {
    return std::wstring();
  }
  // A console program's output is in the OEM code page.
  const int length = MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(read), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_OEMCP, 0, bytes.data(), static_cast<int>(read), &text[0], length);
  return text;
}

std::wstring Hex(DWORD value) {
  wchar_t text[16];
  wsprintfW(text, L"0x%08lX", value);
  return text;
}

// Runs the script in Windows PowerShell without a window and waits for it; its output and
// exit code go to the log.
HRESULT RunPowerShell(const std::wstring& script, PackageLog& log) {
  const std::wstring system = SystemFolder();
  if (system.empty()) return HRESULT_FROM_WIN32(GetLastError());
  const std::wstring program = system + L"\\WindowsPowerShell\\v1.0\\powershell.exe";
  std::wstring commandLine = PowerShellCommandLine(program, script);

  fw::UniqueHandle output = CreateOutputFile();
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (output) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
  }
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, output ? TRUE : FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process)) {
    const DWORD error = GetLastError();
    log.Write(L"Framewise: could not start " + program + L": error " + std::to_wstring(error));
    return HRESULT_FROM_WIN32(error);
  }
  fw::UniqueHandle processHandle(process.hProcess);
  fw::UniqueHandle threadHandle(process.hThread);
  const DWORD wait = WaitForSingleObject(processHandle.get(), kPowerShellTimeoutMs);
  const std::wstring text = ReadOutput(output.get());
  if (!text.empty()) log.Write(L"Framewise: PowerShell said: " + text);
  if (wait != WAIT_OBJECT_0) {
    log.Write(L"Framewise: PowerShell did not finish in time; going on without waiting");
    return HRESULT_FROM_WIN32(WAIT_TIMEOUT);
  }
  DWORD exitCode = 0;
  if (!GetExitCodeProcess(processHandle.get(), &exitCode)) return HRESULT_FROM_WIN32(GetLastError());
  if (exitCode != 0) {
    log.Write(L"Framewise: the package step failed, exit code " + Hex(exitCode) +
              L"; the classic context-menu entry is not affected");
    return E_FAIL;
  }
  log.Write(L"Framewise: the package step succeeded");
  return S_OK;
}

// The package file beside the module, when there is one; its folder (without the final
// backslash) is the external location.
bool FindPackage(HMODULE module, std::wstring* packagePath, std::wstring* folder) {
  std::wstring modulePath;
  if (!fw::GetModulePath(module, &modulePath)) return false;
  *folder = fw::FolderOf(modulePath);
  if (folder->empty()) return false;
  *packagePath = *folder + kPackageFileName;
  folder->pop_back();
  const DWORD attributes = GetFileAttributesW(packagePath->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

const wchar_t* ScopeName(PackageScope scope) {
  return scope == PackageScope::Machine ? L"for the machine" : L"for the user";
}

enum class PackageStep { Register, Remove };

HRESULT ChangePackage(HMODULE module, PackageScope scope, PackageStep step, PackageLog& log) {
  if (!HasPackagedContextMenu()) return S_FALSE;  // Windows 10 and 7: the classic menu only
  std::wstring packagePath, folder;
  if (!FindPackage(module, &packagePath, &folder)) {
    log.Write(L"Framewise: no package file beside the DLL; nothing to do");
    return S_FALSE;
  }
  const std::wstring script = step == PackageStep::Register
                                  ? PackageRegistrationScript(scope, packagePath, folder)
                                  : PackageRemovalScript(scope);
  log.Write(std::wstring(step == PackageStep::Register ? L"Framewise: registering "
                                                       : L"Framewise: removing ") +
            packagePath + L" " + ScopeName(scope) + L":\n" + script);
  return RunPowerShell(script, log);
}

// The installer's log, through the functions of the msi.dll already loaded in the custom
// action's process (the DLL does not import it). Without them, the debugger's output.
class InstallerLog final : public PackageLog {
 public:
  explicit InstallerLog(MSIHANDLE install) : install_(install) {
    HMODULE msi = GetModuleHandleW(L"msi.dll");
    if (!msi) return;
    createRecord_ = reinterpret_cast<CreateRecord>(GetProcAddress(msi, "MsiCreateRecord"));
    setString_ = reinterpret_cast<SetString>(GetProcAddress(msi, "MsiRecordSetStringW"));
    processMessage_ = reinterpret_cast<ProcessMessage>(GetProcAddress(msi, "MsiProcessMessage"));
    closeHandle_ = reinterpret_cast<CloseRecord>(GetProcAddress(msi, "MsiCloseHandle"));
  }

  void Write(const std::wstring& line) override {
    if (!install_ || !createRecord_ || !setString_ || !processMessage_ || !closeHandle_) {
      fallback_.Write(line);
      return;
    }
    Record record(createRecord_(1), closeHandle_);
    if (!record.handle) return;
    // The text goes in field 1 behind a "[1]" template, so that brackets in it ("[Uri]")
    // are not read as properties.
    if (setString_(record.handle, 0, L"[1]") != ERROR_SUCCESS ||
        setString_(record.handle, 1, line.c_str()) != ERROR_SUCCESS) {
      return;
    }
    processMessage_(install_, INSTALLMESSAGE_INFO, record.handle);
  }

 private:
  using CreateRecord = MSIHANDLE(WINAPI*)(UINT);
  using SetString = UINT(WINAPI*)(MSIHANDLE, UINT, LPCWSTR);
  using ProcessMessage = int(WINAPI*)(MSIHANDLE, INSTALLMESSAGE, MSIHANDLE);
  using CloseRecord = UINT(WINAPI*)(MSIHANDLE);

  // A record handle, closed with the resolved MsiCloseHandle.
  struct Record {
    Record(MSIHANDLE h, CloseRecord c) : handle(h), close(c) {}
    ~Record() {
      if (handle) close(handle);
    }
    Record(const Record&) = delete;
    Record& operator=(const Record&) = delete;
    MSIHANDLE handle;
    CloseRecord close;
  };

  MSIHANDLE install_;
  CreateRecord createRecord_ = nullptr;
  SetString setString_ = nullptr;
  ProcessMessage processMessage_ = nullptr;
  CloseRecord closeHandle_ = nullptr;
  DebugOutputLog fallback_;
};

// One custom action: the step for the scope, logged; always success for the installer
// (its rows also say "continue on failure"): the classic entry works without the package.
UINT RunCustomAction(MSIHANDLE install, PackageScope scope, PackageStep step) {
  try {
    InstallerLog log(install);
    ChangePackage(fw::CodeModule(), scope, step, log);
  } catch (...) {
  }
  return ERROR_SUCCESS;
}

}  // namespace

void DebugOutputLog::Write(const std::wstring& line) {
  OutputDebugStringW((line + L"\n").c_str());
}

bool HasPackagedContextMenu() {
  DWORD major = 0, build = 0;
  if (!ReadWindowsBuild(&major, &build)) return false;
  return major > 10 || (major == 10 && build >= 22000);
}

HRESULT RegisterSparsePackage(HMODULE module, PackageScope scope, PackageLog& log) {
  return ChangePackage(module, scope, PackageStep::Register, log);
}

HRESULT RemoveSparsePackage(HMODULE module, PackageScope scope, PackageLog& log) {
  return ChangePackage(module, scope, PackageStep::Remove, log);
}

}  // namespace framewise

// The installer's deferred custom actions (scripts/package.sh): per machine they run as the
// system, per user as the user who installs. The signature is the installer's.
extern "C" UINT WINAPI RegisterPackageForMachine(MSIHANDLE install) {
  return framewise::RunCustomAction(install, framewise::PackageScope::Machine,
                                    framewise::PackageStep::Register);
}

extern "C" UINT WINAPI RegisterPackageForUser(MSIHANDLE install) {
  return framewise::RunCustomAction(install, framewise::PackageScope::User,
                                    framewise::PackageStep::Register);
}

extern "C" UINT WINAPI RemovePackageForMachine(MSIHANDLE install) {
  return framewise::RunCustomAction(install, framewise::PackageScope::Machine,
                                    framewise::PackageStep::Remove);
}

extern "C" UINT WINAPI RemovePackageForUser(MSIHANDLE install) {
  return framewise::RunCustomAction(install, framewise::PackageScope::User,
                                    framewise::PackageStep::Remove);
}
