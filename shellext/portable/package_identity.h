// The sparse package's fixed facts, shared by the DLL (which registers and removes the
// package) and the build machine's manifest tool (installer/package_manifest.cpp). No
// Windows header here.
#pragma once

namespace framewise {

// The package's identity name; with the certificate's subject it makes the family name.
constexpr wchar_t kPackageName[] = L"Wrenfly.Framewise";
constexpr wchar_t kPackageDisplayName[] = L"Wrenfly Framewise";
constexpr wchar_t kPackagePublisherDisplayName[] = L"Wrenfly";
// The package file, installed beside the DLL.
constexpr wchar_t kPackageFileName[] = L"Framewise.msix";
// The application every package must have: the command-line program beside the DLL.
constexpr wchar_t kPackageExecutable[] = L"Framewise.exe";
// The class the new context menu creates: the DLL's IExplorerCommand handler.
constexpr wchar_t kExplorerCommandClsid[] = L"{54A4F436-8772-4DEE-8FAA-06A5FA17F027}";

}  // namespace framewise
