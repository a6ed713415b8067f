#include "tests/support/files.h"

#include <objidl.h>
#include <gdiplus.h>
#include <shellapi.h>
#include <shlobj.h>

#include <vector>

#include "fitting/wallpaper_output.h"
#include "framework/gdiplus_owners.h"
#include "framework/module_path.h"
#include "framework/win_owners.h"
#include "settings/portable/settings_values.h"

namespace testsupport {

TempDir::TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static LONG counter = 0;
  wchar_t name[64];
  wsprintfW(name, L"fwtest-%lu-%ld", GetCurrentProcessId(), InterlockedIncrement(&counter));
  path_ = std::wstring(base) + name;
  CreateDirectoryW(path_.c_str(), nullptr);
}

TempDir::~TempDir() {
  std::wstring from = path_ + L'\0';  // double-terminated for the shell
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}

bool WritePicture(const std::wstring& path, int width, int height, const wchar_t* mime) {
  namespace gp = Gdiplus::DllExports;
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) return false;
  const int stride = (width * 3 + 3) & ~3;
  std::vector<BYTE> pixels(static_cast<size_t>(stride) * height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      BYTE* p = &pixels[static_cast<size_t>(y) * stride + x * 3];
      const bool right = x >= width / 2, bottom = y >= height / 2;
      p[0] = right ? 220 : 30;                        // blue
      p[1] = bottom ? 200 : 40;                       // green
      p[2] = static_cast<BYTE>(40 + 180 * x / (width > 1 ? width - 1 : 1));  // red
    }
  }
  fw::GpBitmapOwner bitmap;
  if (gp::GdipCreateBitmapFromScan0(width, height, stride, PixelFormat24bppRGB, pixels.data(),
                                    bitmap.put()) != Gdiplus::Ok) {
    return false;
  }
  CLSID encoder;
  if (framewise::FindEncoder(mime, &encoder) < 0) return false;
  return gp::GdipSaveImageToFile(bitmap.get(), path.c_str(), &encoder, nullptr) == Gdiplus::Ok;
}

namespace {

fw::UniqueHandle OpenFile(const std::wstring& path, DWORD access, DWORD share, DWORD disposition) {
  const HANDLE file = CreateFileW(path.c_str(), access, share, nullptr, disposition, 0, nullptr);
  return fw::UniqueHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}

}  // namespace

std::string ReadBytes(const std::wstring& path, bool* exists) {
  std::string bytes;
  const fw::UniqueHandle file =
      OpenFile(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (exists) *exists = static_cast<bool>(file);
  if (!file) return bytes;
  char chunk[65536];
  DWORD read = 0;
  while (ReadFile(file.get(), chunk, sizeof(chunk), &read, nullptr) && read > 0) bytes.append(chunk, read);
  return bytes;
}

bool WriteBytes(const std::wstring& path, const void* data, size_t size) {
  const fw::UniqueHandle file = OpenFile(path, GENERIC_WRITE, 0, CREATE_ALWAYS);
  if (!file) return false;
  DWORD written = 0;
  const BOOL ok = size == 0 || WriteFile(file.get(), data, static_cast<DWORD>(size), &written, nullptr);
  return ok && written == size;
}

bool WriteUndecodableJpeg(const std::wstring& path, int width, int height) {
  // SOI, then a baseline frame header: 8 bits, height, width, one component.
  const unsigned char header[] = {0xFF, 0xD8, 0xFF, 0xC0, 0, 11, 8,
                                  static_cast<unsigned char>(height >> 8), static_cast<unsigned char>(height),
                                  static_cast<unsigned char>(width >> 8), static_cast<unsigned char>(width),
                                  1, 1, 0x11, 0};
  return WriteBytes(path, header, sizeof(header));
}

FileAside::FileAside(std::wstring path) : path_(std::move(path)) {
  moved_ = MoveFileExW(path_.c_str(), (path_ + L".aside").c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

FileAside::~FileAside() {
  DeleteFileW(path_.c_str());
  if (moved_) MoveFileExW((path_ + L".aside").c_str(), path_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

std::wstring PathFromEnvironment(const wchar_t* name) {
  wchar_t value[MAX_PATH * 2];
  const DWORD n = GetEnvironmentVariableW(name, value, MAX_PATH * 2);
  if (n == 0 || n >= MAX_PATH * 2) return std::wstring();
  std::wstring path(value);
  if (path[0] == L'/') {
    for (auto& c : path) if (c == L'/') c = L'\\';
    path = L"Z:" + path;
  }
  return path;
}

std::wstring ProgramFolder() {
  std::wstring self;
  return fw::GetModulePath(nullptr, &self) ? fw::FolderOf(self) : std::wstring();
}

std::wstring FramewiseDllPath() {
  const std::wstring path = PathFromEnvironment(L"FRAMEWISE_DLL");
  return path.empty() ? ProgramFolder() + L"Framewise.dll" : path;
}

std::wstring VersionFixturePath(const wchar_t* name) {
  return ProgramFolder() + L"version_fixture_" + name + L".dll";
}

std::wstring InputPath(const wchar_t* name) {
  const std::wstring folder = PathFromEnvironment(L"FRAMEWISE_INPUTS");
  return folder.empty() ? folder : folder + L"\\" + name;
}

namespace {

std::wstring DataFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathAndSubDirW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT,
                            framewise::kDataFolderName, folder);
  return folder;
}

}  // namespace

std::wstring UserDataFolder() { return DataFolder(CSIDL_LOCAL_APPDATA); }

std::wstring UserSettingsFile() {
  return UserDataFolder() + L"\\" + framewise::kSettingsFileName;
}

std::wstring UserWallpaperFile() {
  return UserDataFolder() + L"\\" + framewise::kWallpaperFileName;
}

std::wstring MachineSettingsFile() {
  return DataFolder(CSIDL_COMMON_APPDATA) + L"\\" + framewise::kSettingsFileName;
}

bool FileExists(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::wstring ReadIniValue(const std::wstring& path, const wchar_t* section, const wchar_t* key) {
  wchar_t value[1024] = {};
  GetPrivateProfileStringW(section, key, L"<none>", value, 1024, path.c_str());
  return value;
}

}  // namespace testsupport
