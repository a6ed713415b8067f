// The DLL's entry point: the application object starts and stops with the process.
// Nothing of the program's own runs at load.
#include <windows.h>

#include "shellext/framewise_app.h"
#include "shellext/module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  switch (reason) {
    case DLL_PROCESS_ATTACH:
      DisableThreadLibraryCalls(instance);
      framewise::Module().SetInstance(instance);
      framewise::App().Startup(instance);
      break;
    case DLL_PROCESS_DETACH:
      framewise::App().Shutdown();
      // At process exit (reserved non-null) other DLLs may be gone: leave the objects.
      if (reserved == nullptr) framewise::ProcessDetach();
      break;
    default:
      break;
  }
  return TRUE;
}
