#include "shellext/framewise_app.h"

#include "shellext/module.h"

namespace framewise {

CFramewiseApp& App() {
  static CFramewiseApp app;
  return app;
}

void ProcessDetach() { Module().Term(); }

}  // namespace framewise
