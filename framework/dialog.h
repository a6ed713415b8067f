// A small stand-in for the window framework's dialog class: dialogs from templates in the
// module's resources, modal or modeless, with messages routed to virtual handlers.
#pragma once

#include <windows.h>

namespace fw {

class CDialog {
 public:
  // `parent` is the window object the dialog belongs to; it becomes the owner of a modal
  // dialog. A modeless dialog created without an explicit owner is owned by the calling
  // thread's active window (a DLL has no main window).
  explicit CDialog(UINT templateId, HWND parent = nullptr);
  virtual ~CDialog();  // removes a window that still exists
  CDialog(const CDialog&) = delete;
  CDialog& operator=(const CDialog&) = delete;

  // Modeless creation; false when the window could not be made.
  BOOL Create(HWND owner = nullptr);
  // Runs the dialog modally; returns the code given to EndDialog, or -1.
  INT_PTR DoModal();

  HWND GetSafeHwnd() const { return hwnd_; }
  BOOL ShowWindow(int command) { return hwnd_ ? ::ShowWindow(hwnd_, command) : FALSE; }
  BOOL UpdateWindow() { return hwnd_ ? ::UpdateWindow(hwnd_) : FALSE; }
  BOOL DestroyWindow();
  void EndDialog(INT_PTR result);
  HWND GetDlgItem(int id) const { return ::GetDlgItem(hwnd_, id); }

 protected:
  // Default initialisation: nothing beyond the template; TRUE gives the focus.
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The dialog's message map: return true when the message was handled, with its result.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);

  HWND parent() const { return parent_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

}  // namespace fw
