// The hyperlink's fallback command line and its error texts.
#include <gtest/gtest.h>

#include "widgets/portable/hyperlink_text.h"

namespace framewise {
namespace {

TEST(HtmCommandLine, CutsAtThePlaceholderAndAppendsTheTarget) {
  const struct {
    const wchar_t* registered;
    const wchar_t* expected;
  } cases[] = {
      // Quoted placeholder followed by switches: cut at its opening quote.
      {L"\"C:\\Browser\\browser.exe\" -nohome \"%1\" -new", L"\"C:\\Browser\\browser.exe\" -nohome  http://x/"},
      {L"browser.exe \"%1\"", L"browser.exe  http://x/"},
      // Bare placeholder: cut at the placeholder itself.
      {L"browser.exe -url %1 -tab", L"browser.exe -url  http://x/"},
      // The quoted form wins over an earlier bare %1.
      {L"b.exe %1x \"%1\" y", L"b.exe %1x  http://x/"},
      // A quote that is not directly around the placeholder is no quoted placeholder.
      {L"b.exe \"-a %1\"", L"b.exe \"-a  http://x/"},
      // No placeholder: the target is appended to the whole line.
      {L"winebrowser.exe -nohome", L"winebrowser.exe -nohome http://x/"},
      {L"", L" http://x/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HtmCommandLine(c.registered, L"http://x/"), c.expected) << c.registered;
  }
}

TEST(OpenError, EveryCodeOfTheTableAndTheUnknownOnes) {
  const struct {
    long code;
    const wchar_t* reason;
  } cases[] = {
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
      {4, L"Unknown Error (4) occurred."},
      {1, L"Unknown Error (1) occurred."},
      {33, L"Unknown Error (33) occurred."},
      {-7, L"Unknown Error (-7) occurred."},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OpenErrorReason(c.code), c.reason) << c.code;
  }
  EXPECT_EQ(OpenErrorMessage(2), L"Unable to open hyperlink:\n\nThe specified file was not found.");
  EXPECT_EQ(OpenErrorMessage(26), L"Unable to open hyperlink:\n\nA sharing violation occurred. ");
}

}  // namespace
}  // namespace framewise
