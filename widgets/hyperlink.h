// A dialog's static text turned into a web-style link: coloured, underlined on hover (or
// always), a hand cursor, and a click that opens its target through the shell.
#pragma once

#include <windows.h>

#include <string>

#include "framework/static_control.h"
#include "framework/win_owners.h"

namespace framewise {

class CHyperLink : public fw::CStatic {
 public:
  // -1: underlined while the mouse is over the link; 1: always; anything else: never.
  using UnderlineMode = int;
  static constexpr UnderlineMode kUnderlineHover = -1;
  static constexpr UnderlineMode kUnderlineAlways = 1;
  static constexpr UnderlineMode kUnderlineNever = 0;

  static constexpr COLORREF kLinkColour = RGB(0, 0, 238);
  static constexpr COLORREF kVisitedColour = RGB(85, 26, 139);
  static constexpr COLORREF kHoverColour = RGB(255, 0, 0);
  static constexpr UINT_PTR kHoverTimerId = 100;
  static constexpr UINT kHoverPeriodMs = 100;

  CHyperLink() = default;
  ~CHyperLink() override;

  // What a click opens; the control is fitted to its text again when attached.
  void SetTarget(const std::wstring& target);
  const std::wstring& target() const { return target_; }
  void SetUnderlineMode(UnderlineMode mode);
  UnderlineMode underlineMode() const { return underlineMode_; }
  void SetVisited(bool visited);
  bool isVisited() const { return isVisited_; }
  bool isHovering() const { return isHovering_; }
  HCURSOR linkCursor() const { return linkCursor_; }

  // Kills the hover timer, then destroys the window.
  BOOL DestroyWindow() override;

  // Opens `target` through the shell, else with the program registered for web pages.
  // Returns the shell's result (above 32 on success) or, for the fallback, WinExec's.
  static INT_PTR OpenTarget(const std::wstring& target, int showCommand);
  // The message box for a failed open with result `code`.
  void ShowOpenError(INT_PTR code);

 protected:
  void PreSubclassWindow() override;
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
  bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

 private:
  // Resizes the control to its text (with the underlined font), keeping its alignment.
  void FitToText();
  void LoadHandCursor();
  void SetFont(HFONT font);
  void OnMouseMove();
  void OnTimer();
  void OnClicked();

  struct CursorDeleter { void operator()(HCURSOR c) const { DestroyCursor(c); } };

  bool isHovering_ = false;
  bool isVisited_ = false;
  UnderlineMode underlineMode_ = kUnderlineHover;
  bool fitToText_ = true;
  std::wstring target_;
  fw::UniqueFont underlinedFont_;
  fw::UniqueFont plainFont_;
  HCURSOR linkCursor_ = nullptr;
  fw::UniqueResource<HCURSOR, CursorDeleter> ownedCursor_;  // owns linkCursor_
};

// The default (unnamed) value of a registry key as text, at most 259 characters.
// Returns 0 with the text, or the failing call's error code.
LONG ReadDefaultRegValue(HKEY root, const wchar_t* subKey, std::wstring* value);

}  // namespace framewise
