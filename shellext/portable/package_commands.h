// The PowerShell work that registers the sparse package with its external location (the
// install folder) and removes it again, as text: the scripts, their quoting and the
// command line that runs them. No Windows header here.
#pragma once

#include <string>

namespace framewise {

// Per user: Add-AppxPackage for the account that installs. Per machine: the package is
// staged with its external location and provisioned for every user of the computer.
enum class PackageScope { User, Machine };

// `text` as a PowerShell single-quoted string. PowerShell ends such a string at any of
// ' U+2018 U+2019 U+201A U+201B, so each of them is doubled; nothing else is special.
std::wstring PowerShellQuoted(const std::wstring& text);

// Registers the package file `packagePath` with the external location `folder`.
std::wstring PackageRegistrationScript(PackageScope scope, const std::wstring& packagePath,
                                       const std::wstring& folder);

// Removes the package named kPackageName (every version), for the user or the machine.
std::wstring PackageRemovalScript(PackageScope scope);

// Base64 of the script's UTF-16LE bytes, as -EncodedCommand takes it: the script reaches
// PowerShell whole, with no command-line quoting rules in between.
std::wstring EncodePowerShellCommand(const std::wstring& script);

// The full command line: the program in double quotes (a Windows path cannot hold one),
// no profile, no prompts, and the encoded script.
std::wstring PowerShellCommandLine(const std::wstring& powershellPath, const std::wstring& script);

}  // namespace framewise
