// The DLL's application object.
#pragma once

#include "framework/app.h"

namespace framewise {

class CFramewiseApp : public fw::CWinApp {
 public:
  BOOL InitInstance() override { return fw::CWinApp::InitInstance(); }
  int ExitInstance() override { return fw::CWinApp::ExitInstance(); }
};

CFramewiseApp& App();

// Releases what the process kept for the DLL's life (class object, cached bitmaps...).
void ProcessDetach();

}  // namespace framewise
