#include "framework/app.h"

#include <string>

#include "framework/module_path.h"

namespace fw {

CWinApp* CWinApp::current_ = nullptr;

namespace {

// The resource module the running thread uses; null means "this module's application".
thread_local HINSTANCE t_resources = nullptr;

}  // namespace

CWinApp::CWinApp() { current_ = this; }

CWinApp::~CWinApp() {
  if (current_ == this) current_ = nullptr;
}

BOOL CWinApp::InitInstance() {
  std::wstring satellite;
  if (!GetModulePath(instance_, &satellite)) return TRUE;
  const size_t dot = satellite.find_last_of(L'.');
  const size_t slash = satellite.find_last_of(L"\\/");
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) satellite.resize(dot);
  wchar_t language[10] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SABBREVLANGNAME, language, 10) == 0) return TRUE;
  satellite += language;
  satellite += L".dll";
  satellite_.reset(LoadLibraryExW(satellite.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
  if (satellite_) resources_ = satellite_.get();
  return TRUE;
}

int CWinApp::ExitInstance() {
  satellite_.reset();
  resources_ = instance_;
  return 0;
}

void CWinApp::Startup(HINSTANCE instance) {
  instance_ = instance;
  resources_ = instance;
  InitInstance();
}

void CWinApp::Shutdown() { ExitInstance(); }

HINSTANCE ResourceInstance() {
  if (t_resources) return t_resources;
  if (CWinApp* app = CWinApp::Current()) {
    if (app->resources()) return app->resources();
  }
  // Linked into a program rather than the DLL: the program carries the resources.
  return CodeModule();
}

ModuleStateScope::ModuleStateScope() : previous_(t_resources) {
  CWinApp* app = CWinApp::Current();
  t_resources = app && app->resources() ? app->resources() : CodeModule();
}

ModuleStateScope::~ModuleStateScope() { t_resources = previous_; }

}  // namespace fw
