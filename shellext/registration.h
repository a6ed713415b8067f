// The DLL's registration: the registry scripts and the type library.
#pragma once

#include <windows.h>

namespace framewise {

// Writes the registration content and registers the type library (DllRegisterServer).
HRESULT RegisterServer(HMODULE module);

// Removes it again (DllUnregisterServer).
HRESULT UnregisterServer(HMODULE module);

}  // namespace framewise
