// A small stand-in for the window framework's application object and module state:
// the DLL's application object, and the instance from which resources load.
#pragma once

#include <windows.h>

#include "framework/win_owners.h"

namespace fw {

// The application object of a DLL. One static instance per module; DllMain calls
// Startup on process attach and Shutdown on detach.
class CWinApp {
 public:
  CWinApp();
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  // Default start-up: when a language-specific satellite resource DLL exists beside the
  // module ("<name><LLL>.dll", LLL the user's three-letter language name), it becomes
  // the source of resources.
  virtual BOOL InitInstance();
  virtual int ExitInstance();

  void Startup(HINSTANCE instance);
  void Shutdown();

  HINSTANCE instance() const { return instance_; }
  HINSTANCE resources() const { return resources_; }

  static CWinApp* Current() { return current_; }

 private:
  HINSTANCE instance_ = nullptr;
  HINSTANCE resources_ = nullptr;
  UniqueModule satellite_;
  static CWinApp* current_;
};

// The module whose resources the current thread loads strings, bitmaps and dialogs from.
HINSTANCE ResourceInstance();

// Makes the DLL's own module state current for the duration of a COM entry point.
class ModuleStateScope {
 public:
  ModuleStateScope();
  ~ModuleStateScope();
  ModuleStateScope(const ModuleStateScope&) = delete;
  ModuleStateScope& operator=(const ModuleStateScope&) = delete;

 private:
  HINSTANCE previous_;
};

}  // namespace fw
