#include "shellext/registration.h"

namespace framewise {

HRESULT RegisterServer(HMODULE) { return E_NOTIMPL; }
HRESULT UnregisterServer(HMODULE) { return E_NOTIMPL; }

}  // namespace framewise
