#include "shellext/portable/package_commands.h"

#include <gtest/gtest.h>

#include <string>

#include "shellext/portable/package_identity.h"

namespace framewise {
namespace {

// A per-user install folder of a user whose name has an apostrophe, as Windows writes it.
const std::wstring kFolder = L"C:\\Users\\O'Brien\\AppData\\Local\\Programs\\Wrenfly Framewise\\";
const std::wstring kPackage = kFolder + L"Framewise.msix";
const std::wstring kFolderQuoted =
    L"'C:\\Users\\O''Brien\\AppData\\Local\\Programs\\Wrenfly Framewise\\'";
const std::wstring kPackageQuoted =
    L"'C:\\Users\\O''Brien\\AppData\\Local\\Programs\\Wrenfly Framewise\\Framewise.msix'";

bool Contains(const std::wstring& text, const std::wstring& part) {
  return text.find(part) != std::wstring::npos;
}

TEST(PackageCommandsTest, QuotingDoublesEveryQuoteCharacterPowerShellEndsAStringAt) {
  EXPECT_EQ(PowerShellQuoted(L""), L"''");
  EXPECT_EQ(PowerShellQuoted(L"O'Brien"), L"'O''Brien'");
  // The typographic quotes end a single-quoted string too; left single they would end
  // the path early and run the rest as code.
  EXPECT_EQ(PowerShellQuoted(L"a\u2018b\u2019c\u201Ad\u201Be"),
            L"'a\u2018\u2018b\u2019\u2019c\u201A\u201Ad\u201B\u201Be'");
  // Variables, subexpressions, backticks and double quotes are plain text in single quotes.
  EXPECT_EQ(PowerShellQuoted(L"$(x) `n \"y\" $env:TEMP"), L"'$(x) `n \"y\" $env:TEMP'");
}

TEST(PackageCommandsTest, PerUserRegistrationAddsThePackageWithTheInstallFolder) {
  const std::wstring script = PackageRegistrationScript(PackageScope::User, kPackage, kFolder);
  EXPECT_TRUE(Contains(script, L"$ErrorActionPreference = 'Stop'\n")) << script.c_str();
  EXPECT_TRUE(Contains(script, L"Add-AppxPackage -Path " + kPackageQuoted + L" -ExternalLocation " +
                                   kFolderQuoted + L"\n"));
  EXPECT_FALSE(Contains(script, L"@PACKAGE@") || Contains(script, L"@FOLDER@"));
}

TEST(PackageCommandsTest, PerMachineRegistrationStagesWithTheFolderAndProvisions) {
  const std::wstring script = PackageRegistrationScript(PackageScope::Machine, kPackage, kFolder);
  EXPECT_TRUE(Contains(script, L"$options.ExternalLocationUri = [Uri]" + kFolderQuoted + L"\n"));
  EXPECT_TRUE(Contains(script, L"StagePackageByUriAsync([Uri]" + kPackageQuoted + L", $options)"));
  EXPECT_TRUE(Contains(script, L"$_.Id.Name -eq 'Wrenfly.Framewise'"));
  EXPECT_TRUE(Contains(script, L"ProvisionPackageForAllUsersAsync($package.Id.FamilyName)"));
  for (const wchar_t* field : {L"@NAME@", L"@PACKAGE@", L"@FOLDER@"}) {
    EXPECT_FALSE(Contains(script, field)) << "unfilled";
  }
  EXPECT_FALSE(Contains(script, L"\"")) << "no double quote, whatever the command line does";
}

TEST(PackageCommandsTest, RemovalNamesThePackageForTheScope) {
  const std::wstring user = PackageRemovalScript(PackageScope::User);
  EXPECT_TRUE(Contains(user, L"Get-AppxPackage -Name 'Wrenfly.Framewise' | Remove-AppxPackage\n"));
  EXPECT_FALSE(Contains(user, L"AllUsers"));
  const std::wstring machine = PackageRemovalScript(PackageScope::Machine);
  EXPECT_TRUE(Contains(machine, L"Remove-AppxProvisionedPackage -Online -AllUsers"));
  EXPECT_TRUE(Contains(machine,
                       L"Get-AppxPackage -AllUsers -Name 'Wrenfly.Framewise' | Remove-AppxPackage -AllUsers"));

  // Every script is whole lines of plain text: no NUL, which would end it early once
  // encoded, and nothing after its last line feed.
  for (const std::wstring& script :
       {user, machine, PackageRegistrationScript(PackageScope::User, kPackage, kFolder),
        PackageRegistrationScript(PackageScope::Machine, kPackage, kFolder)}) {
    EXPECT_EQ(script.find(L'\0'), std::wstring::npos);
    ASSERT_FALSE(script.empty());
    EXPECT_EQ(script.back(), L'\n');
  }
}

TEST(PackageCommandsTest, EncodedCommandIsBase64OfUtf16LittleEndian) {
  // The example of PowerShell's own help for -EncodedCommand.
  EXPECT_EQ(EncodePowerShellCommand(L"dir \"c:\\program files\" "),
            L"ZABpAHIAIAAiAGMAOgBcAHAAcgBvAGcAcgBhAG0AIABmAGkAbABlAHMAIgAgAA==");
  EXPECT_EQ(EncodePowerShellCommand(L""), L"");
  EXPECT_EQ(EncodePowerShellCommand(L"A"), L"QQA=");
  // A character beyond the basic plane is one surrogate pair, also where wchar_t is 32 bits.
  EXPECT_EQ(EncodePowerShellCommand(L"a\U0001F5BC"), L"YQA92Lzd");
}

TEST(PackageCommandsTest, CommandLineQuotesTheProgramAndCarriesTheEncodedScript) {
  const std::wstring line = PowerShellCommandLine(
      L"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe", L"A");
  EXPECT_EQ(line,
            L"\"C:\\Windows\\System32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoLogo -NoProfile "
            L"-NonInteractive -EncodedCommand QQA=");
}

}  // namespace
}  // namespace framewise
