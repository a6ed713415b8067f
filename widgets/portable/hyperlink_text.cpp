#include "widgets/portable/hyperlink_text.h"

namespace framewise {

namespace {

struct ErrorText {
  long code;
  const wchar_t* reason;
};

// The shell's result codes of ShellExecute (SE_ERR_*), and 0 for exhausted resources.
// The texts keep their line breaks; the sharing violation's trailing blank is part of it.
constexpr ErrorText kErrorTexts[] = {
    {0, L"The operating system is out\nof memory or resources."},
    {2, L"The specified file was not found."},
    {3, L"The specified path was not found."},
    {5, L"The operating system denied\naccess to the specified file."},
    {8, L"There was not enough memory to complete the operation."},
    {11, L"The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image)."},
    {26, L"A sharing violation occurred. "},
    {27, L"The filename association is\nincomplete or invalid."},
    {28, L"The DDE transaction could not\nbe completed because the request timed out."},
    {29, L"The DDE transaction failed."},
    {30, L"The DDE transaction could not\nbe completed because other DDE transactions\nwere being processed."},
    {31, L"There is no application associated\nwith the given filename extension."},
    {32, L"The specified dynamic-link library was not found."},
};

}  // namespace

std::wstring HtmCommandLine(const std::wstring& registered, const std::wstring& target) {
  std::wstring line = registered;
  size_t cut = line.find(L"\"%1\"");
  if (cut == std::wstring::npos) cut = line.find(L"%1");
  if (cut != std::wstring::npos) line.erase(cut);
  line += L' ';
  line += target;
  return line;
}

std::wstring OpenErrorReason(long code) {
  for (const ErrorText& row : kErrorTexts) {
    if (row.code == code) return row.reason;
  }
  return L"Unknown Error (" + std::to_wstring(code) + L") occurred.";
}

std::wstring OpenErrorMessage(long code) {
  return L"Unable to open hyperlink:\n\n" + OpenErrorReason(code);
}

}  // namespace framewise
