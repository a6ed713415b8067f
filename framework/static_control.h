// A small stand-in for the window framework's static control class: an object attached to
// a dialog's existing static control by subclassing, with its own message map and the
// notifications its parent reflects back to it.
#pragma once

#include <windows.h>

#include <string>

namespace fw {

class CStatic {
 public:
  CStatic() = default;
  virtual ~CStatic();  // detaches from a window that still exists
  CStatic(const CStatic&) = delete;
  CStatic& operator=(const CStatic&) = delete;

  // Attaches the object to an existing control: PreSubclassWindow runs first, then the
  // control's messages pass through OnMessage. False when already attached or the
  // subclass cannot be installed (the object is then detached again).
  BOOL SubclassWindow(HWND window);
  // Gives the window back its own procedure; returns it.
  HWND UnsubclassWindow();

  // Destroys the attached window.
  virtual BOOL DestroyWindow();

  HWND GetSafeHwnd() const { return hwnd_; }
  std::wstring GetWindowText() const;
  void SetWindowText(const std::wstring& text);
  BOOL ShowWindow(int command) { return hwnd_ ? ::ShowWindow(hwnd_, command) : FALSE; }
  void Invalidate(BOOL erase = TRUE) { if (hwnd_) InvalidateRect(hwnd_, nullptr, erase); }

  // The attached object of a control, or null.
  static CStatic* FromHandle(HWND window);

  // A parent's share of reflection: gives a notification it received from a child
  // control (WM_COMMAND from a control, WM_CTLCOLOR*) to that control's object first.
  // True when the control handled it; `*result` is then the parent's answer.
  static bool ReflectNotification(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

 protected:
  // Set-up before the control's messages start arriving; the window handle is set.
  virtual void PreSubclassWindow() {}
  // The control's message map: true when the message was handled, with its result.
  // Unhandled messages get the control's own processing.
  virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // A notification reflected from the parent (see ReflectNotification).
  virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
  // The control's own processing of the current message.
  LRESULT Default(UINT message, WPARAM wParam, LPARAM lParam);

 private:
  static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                       UINT_PTR id, DWORD_PTR data);

  HWND hwnd_ = nullptr;
};

}  // namespace fw
