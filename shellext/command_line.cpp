#include "shellext/command_line.h"

#include <windows.h>

#include "fitting/fitting_command.h"
#include "fitting/portable/geometry.h"
#include "fitting/portable/picture_header.h"
#include "framework/app.h"
#include "framework/gdiplus_owners.h"
#include "framework/strings.h"
#include "shellext/image_file_context_menu.h"
#include "shellext/portable/command_line.h"
#include "shellext/portable/menu_table.h"

namespace framewise {

namespace {

// The usage text, with each mode's menu text from the string table.
std::wstring Usage() {
  std::wstring text =
      L"Usage: Framewise fit MODE PICTURE\n"
      L"Makes PICTURE the desktop background of every monitor without stretching it, as the\n"
      L"context menu does, and remembers the choice.\n\nMODE is one of:\n";
  for (int mode = FitModeExact; mode <= FitModeBestFit; ++mode) {
    std::wstring name = FitModeName(mode);
    name.resize(9, L' ');
    const MenuEntry* row = FindItemRow(mode);
    text += L"  " + name + (row ? fw::LoadResourceString(row->textId) : std::wstring()) + L"\n";
  }
  text +=
      L"As in the menu, Top and Bottom are for pictures taller than the screen, Left and Right\n"
      L"for wider ones, Exact for one with the screen's proportions.\n\n"
      L"Exit codes: 0 done; 1 the picture could not be read, fitted or applied; 2 a wrong\n"
      L"command line, or a mode the picture's shape does not offer. Nothing is written\n"
      L"unless the picture was read and fitted.\n";
  return text;
}

// The modes the menu offers for a picture of this shape, for an error message.
std::wstring OfferedModes(PictureShape shape) {
  std::wstring names;
  for (int mode = FitModeExact; mode <= FitModeBestFit; ++mode) {
    const MenuEntry* row = FindItemRow(mode);
    if (!row || !ItemRowShown(*row, shape, false)) continue;
    if (!names.empty()) names += L", ";
    names += FitModeName(mode);
  }
  return names;
}

std::wstring FullPath(const std::wstring& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD written = GetFullPathNameW(path.c_str(), size, &full[0], nullptr);
  if (written == 0 || written >= size) return path;
  full.resize(written);
  return full;
}

int Fit(const CommandLineRequest& request, std::wstring* err) {
  const std::wstring path = FullPath(request.picture);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    *err = L"Framewise: no such picture: " + path + L"\n";
    return kExitFailed;
  }
  const fw::GdiplusToken gdiplus = fw::StartGdiplus();
  if (!gdiplus) {
    *err = L"Framewise: the imaging library did not start\n";
    return kExitFailed;
  }
  PictureHeader header;
  double screenAspect = 1.0;
  PictureShape shape = WiderThanScreen;
  const HRESULT read = ReadPictureForMenu(path, &header, &screenAspect, &shape);
  if (read == E_INVALIDARG) {
    *err = L"Framewise: not a picture Windows can read: " + path + L"\n";
    return kExitFailed;
  }
  if (FAILED(read)) {
    *err = L"Framewise: the screen's size cannot be read\n";
    return kExitFailed;
  }
  const MenuEntry* row = FindItemRow(request.mode);
  if (!row || !ItemRowShown(*row, shape, false)) {
    *err = std::wstring(L"Framewise: ") + FitModeName(request.mode) +
           L" is not offered for this picture's shape; use one of: " + OfferedModes(shape) + L"\n";
    return kExitUsage;
  }
  const HRESULT hr = RunFittingCommand(path, request.mode, nullptr, CommandProgress::Silent);
  if (FAILED(hr)) {
    *err = L"Framewise: the picture could not be fitted or set as the background: " + path + L"\n";
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace

int RunCommandLine(const std::vector<std::wstring>& args, std::wstring* out, std::wstring* err) {
  try {
    fw::ModuleStateScope state;
    const CommandLineRequest request = ParseCommandLine(args);
    switch (request.action) {
      case CommandLineAction::Help:
        *out = Usage();
        return kExitDone;
      case CommandLineAction::Fit:
        return Fit(request, err);
      case CommandLineAction::Invalid:
      default:
        *err = L"Framewise: " + request.error + L"\nRun \"Framewise --help\" for the usage.\n";
        return kExitUsage;
    }
  } catch (...) {
    *err = L"Framewise: out of memory\n";
    return kExitFailed;
  }
}

}  // namespace framewise
