#include "shellext/framewise_app.h"

#include "shellext/menu_support.h"
#include "shellext/module.h"

namespace framewise {

CFramewiseApp& App() {
  static CFramewiseApp app;
  return app;
}

void ProcessDetach() {
  ReleaseMenuBitmaps();
  Module().Term();
}

}  // namespace framewise
