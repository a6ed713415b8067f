#include "shellext/portable/package_commands.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "shellext/portable/package_identity.h"

namespace framewise {
namespace {

bool IsPowerShellSingleQuote(wchar_t c) {
  return c == L'\'' || c == 0x2018 || c == 0x2019 || c == 0x201A || c == 0x201B;
}

// UTF-16LE bytes; wchar_t is UTF-16 on Windows and UTF-32 elsewhere (the native tests).
std::vector<uint8_t> Utf16LeBytes(const std::wstring& text) {
  std::vector<uint8_t> bytes;
  bytes.reserve(text.size() * 2);
  auto push = [&bytes](uint32_t unit) {
    bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<uint8_t>(unit >> 8));
  };
  for (wchar_t c : text) {
    const uint32_t point = static_cast<uint32_t>(c);
    if (point >= 0x10000 && point <= 0x10FFFF) {
      push(0xD800 + ((point - 0x10000) >> 10));
      push(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      push(point & 0xFFFF);
    }
  }
  return bytes;
}

// Stage with the external location, then provision by family name. Add-AppxPackage has
// no form for every user, and the provisioning cmdlets take no external location, so this
// goes through the deployment API itself; each operation is awaited and its error thrown.
constexpr wchar_t kMachineRegistration[] =
    L"$ErrorActionPreference = 'Stop'\n"
    L"Add-Type -AssemblyName System.Runtime.WindowsRuntime\n"
    L"$deployment = 'Windows.Management.Deployment.{0}, Windows.Management.Deployment, "
    L"ContentType = WindowsRuntime'\n"
    L"$manager = New-Object -TypeName ($deployment -f 'PackageManager')\n"
    L"$options = New-Object -TypeName ($deployment -f 'StagePackageOptions')\n"
    L"$options.ExternalLocationUri = [Uri]@FOLDER@\n"
    L"$asTask = [System.WindowsRuntimeSystemExtensions].GetMethods() | Where-Object {\n"
    L"  $_.Name -eq 'AsTask' -and $_.GetGenericArguments().Count -eq 2 -and "
    L"$_.GetParameters().Count -eq 1 } | Select-Object -First 1\n"
    L"$asTask = $asTask.MakeGenericMethod([Type]($deployment -f 'DeploymentResult'), "
    L"[Type]($deployment -f 'DeploymentProgress'))\n"
    L"function Wait-Deployment($operation) {\n"
    L"  $task = $asTask.Invoke($null, @($operation))\n"
    L"  $task.Wait()\n"
    L"  if ($task.Result.ExtendedErrorCode) { throw $task.Result.ErrorText }\n"
    L"}\n"
    L"Wait-Deployment $manager.StagePackageByUriAsync([Uri]@PACKAGE@, $options)\n"
    L"$package = $manager.FindPackages() | Where-Object { $_.Id.Name -eq @NAME@ } | "
    L"Select-Object -First 1\n"
    L"if (-not $package) { throw 'The staged package was not found.' }\n"
    L"Wait-Deployment $manager.ProvisionPackageForAllUsersAsync($package.Id.FamilyName)\n";

constexpr wchar_t kUserRegistration[] =
    L"$ErrorActionPreference = 'Stop'\n"
    L"Add-AppxPackage -Path @PACKAGE@ -ExternalLocation @FOLDER@\n";

constexpr wchar_t kMachineRemoval[] =
    L"$ErrorActionPreference = 'Stop'\n"
    L"Get-AppxProvisionedPackage -Online | Where-Object { $_.DisplayName -eq @NAME@ } | "
    L"Remove-AppxProvisionedPackage -Online -AllUsers\n"
    L"Get-AppxPackage -AllUsers -Name @NAME@ | Remove-AppxPackage -AllUsers\n";

constexpr wchar_t kUserRemoval[] =
    L"$ErrorActionPreference = 'Stop'\n"
    L"Get-AppxPackage -Name @NAME@ | Remove-AppxPackage\n";

// The template with each @NAME@, @PACKAGE@ and @FOLDER@ replaced by its quoted value.
std::wstring Fill(const wchar_t* pattern, const std::wstring& packagePath,
                  const std::wstring& folder) {
  const std::pair<std::wstring, std::wstring> fields[] = {
      {L"@NAME@", PowerShellQuoted(kPackageName)},
      {L"@PACKAGE@", PowerShellQuoted(packagePath)},
      {L"@FOLDER@", PowerShellQuoted(folder)},
  };
  std::wstring text(pattern);
  std::wstring out;
  size_t i = 0;
  while (i < text.size()) {
    bool replaced = false;
    for (const auto& field : fields) {
      if (text.compare(i, field.first.size(), field.first) == 0) {
        out += field.second;
        i += field.first.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out += text[i++];
  }
  return out;
}

}  // namespace

std::wstring PowerShellQuoted(const std::wstring& text) {
  std::wstring out = L"'";
  for (wchar_t c : text) {
    out += c;
    if (IsPowerShellSingleQuote(c)) out += c;
  }
  out += L"'";
  return out;
}

std::wstring PackageRegistrationScript(PackageScope scope, const std::wstring& packagePath,
                                       const std::wstring& folder) {
  return Fill(scope == PackageScope::Machine ? kMachineRegistration : kUserRegistration,
              packagePath, folder);
}

std::wstring PackageRemovalScript(PackageScope scope) {
  return Fill(scope == PackageScope::Machine ? kMachineRemoval : kUserRemoval, L"", L"");
}

std::wstring EncodePowerShellCommand(const std::wstring& script) {
  static const char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::vector<uint8_t> bytes = Utf16LeBytes(script);
  std::wstring out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (size_t i = 0; i < bytes.size(); i += 3) {
    const size_t left = bytes.size() - i;
    const uint32_t group = (static_cast<uint32_t>(bytes[i]) << 16) |
                           (left > 1 ? static_cast<uint32_t>(bytes[i + 1]) << 8 : 0) |
                           (left > 2 ? static_cast<uint32_t>(bytes[i + 2]) : 0);
    out += static_cast<wchar_t>(kDigits[(group >> 18) & 63]);
    out += static_cast<wchar_t>(kDigits[(group >> 12) & 63]);
    out += left > 1 ? static_cast<wchar_t>(kDigits[(group >> 6) & 63]) : L'=';
    out += left > 2 ? static_cast<wchar_t>(kDigits[group & 63]) : L'=';
  }
  return out;
}

std::wstring PowerShellCommandLine(const std::wstring& powershellPath, const std::wstring& script) {
  return L"\"" + powershellPath + L"\" -NoLogo -NoProfile -NonInteractive -EncodedCommand " +
         EncodePowerShellCommand(script);
}

}  // namespace framewise
