// A small stand-in for the window framework's dialog class: dialogs from templates in the
// module's resources, modal or modeless, with messages routed to virtual handlers.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class CDialog;
class CStatic;

// One transfer between a dialog's members and its controls: to the controls when the
// dialog loads them, from the controls when it saves and validates them. A control that
// is missing marks the transfer failed.
class CDataExchange {
 public:
  CDataExchange(HWND dialog, bool saveAndValidate) : dialog_(dialog), save_(saveAndValidate) {}
  bool saving() const { return save_; }
  bool failed() const { return failed_; }
  void Fail() { failed_ = true; }
  // The dialog's control with this id; null (and the transfer failed) when missing.
  HWND Control(int id);

 private:
  HWND dialog_;
  bool save_;
  bool failed_ = false;
};

// A control's window text and a member text.
void DDX_Text(CDataExchange* exchange, int id, std::wstring& value);
// A check box's state (0, 1 or 2) and a member number. A member outside 0 to 2 is
// shown clear and becomes 0.
void DDX_Check(CDataExchange* exchange, int id, int& value);
// Attaches a control object to the dialog's control on the first transfer.
void DDX_Control(CDataExchange* exchange, int id, CStatic& control);

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

  // Transfers between members and controls: from the controls when `saveAndValidate`,
  // else to them. False when the transfer failed.
  BOOL UpdateData(BOOL saveAndValidate = TRUE);

 protected:
  // Default initialisation: loads the members into the controls (attaching the control
  // objects); TRUE gives the focus.
  virtual BOOL OnInitDialog();
  // The bindings between members and controls; none by default.
  virtual void DoDataExchange(CDataExchange*) {}
  // Default OK: saves the controls into the members; closes only when that succeeds.
  virtual void OnOK();
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // The dialog's message map: return true when the message was handled, with its result.
  // Notifications of attached control objects reach them first (see CStatic).
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result);
  // Called when the window and all its children are gone (WM_NCDESTROY).
  virtual void OnFinalDestroy() {}

  HWND parent() const { return parent_; }

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  UINT templateId_;
  HWND parent_;
  HWND hwnd_ = nullptr;
  bool modal_ = false;
};

}  // namespace fw
