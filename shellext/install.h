// DllInstall: registration for the machine or, with the command line "user", for the
// current user only (no administrator rights needed), and the shell notification that
// follows every change of the registration.
#pragma once

#include <windows.h>

#include "shellext/portable/package_commands.h"

namespace framewise {

// Per-user registration: the scripts' classes-root rows go below
// HKEY_CURRENT_USER\Software\Classes, the machine's approved-extensions list is left
// alone, and the type library is registered in the user's classes too. Unregistering
// removes the same rows again.
HRESULT RegisterServerForUser(HMODULE module);
HRESULT UnregisterServerForUser(HMODULE module);

// Runs `change` (a registration, or its removal when `install` is false) on `module` with
// the sparse package of the same scope: the package goes in after the classes and out
// before them, and its failure is logged and never decides the result. Registered for the
// machine, it is registered for the calling user too (removal for the machine covers
// every user). A change that went
// through is announced to the shell.
HRESULT ChangeRegistration(HMODULE module, HRESULT (*change)(HMODULE module), PackageScope scope,
                           bool install);

// Tells the shell that file associations changed, so a running Explorer picks up the
// handler's arrival or departure without a new logon.
void NotifyAssociationsChanged();

}  // namespace framewise
