#include "widgets/hyperlink.h"

#include <shellapi.h>

#include <vector>

#include "framework/message_box.h"
#include "widgets/portable/hyperlink_text.h"

namespace framewise {

namespace {

constexpr DWORD kRegValueCapacity = 260;  // characters, with the NUL

// Client and window rectangles of a control in its parent's client coordinates.
void ControlRects(HWND window, RECT* windowRect, RECT* clientRect) {
  GetWindowRect(window, windowRect);
  GetClientRect(window, clientRect);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(clientRect), 2);
  if (HWND parent = GetParent(window)) {
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(windowRect), 2);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(clientRect), 2);
  }
}

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(size));
  if (WideCharToMultiByte(CP_THREAD_ACP, 0, text.c_str(), -1, buffer.data(), size, nullptr, nullptr) <= 0) {
    return std::string();
  }
  return std::string(buffer.data());
}

}  // namespace

LONG ReadDefaultRegValue(HKEY root, const wchar_t* subKey, std::wstring* value) {
  fw::UniqueHKey key;
  LONG status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE, key.put());
  if (status != ERROR_SUCCESS) return status;
  // One more than the capacity: a terminator for a value stored without one.
  wchar_t data[kRegValueCapacity + 1] = {};
  DWORD type = 0;
  DWORD size = kRegValueCapacity * sizeof(wchar_t);
  status = RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  if (status != ERROR_SUCCESS) return status;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return ERROR_INVALID_DATA;
  value->assign(data);
  return ERROR_SUCCESS;
}

CHyperLink::~CHyperLink() {
  // The subclass goes before the fonts it may have set into the control.
  UnsubclassWindow();
}

void CHyperLink::PreSubclassWindow() {
  const HWND window = GetSafeHwnd();
  SetWindowLongW(window, GWL_STYLE, GetWindowLongW(window, GWL_STYLE) | SS_NOTIFY);
  if (target_.empty()) target_ = GetWindowText();
  if (GetWindowText().empty()) SetWindowText(target_);

  HFONT font = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
  if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  if (!font) font = static_cast<HFONT>(GetStockObject(ANSI_VAR_FONT));
  LOGFONTW logFont = {};
  if (font && GetObjectW(font, sizeof(logFont), &logFont) == sizeof(logFont)) {
    plainFont_.reset(CreateFontIndirectW(&logFont));
    logFont.lfUnderline = TRUE;
    underlinedFont_.reset(CreateFontIndirectW(&logFont));
  }

  FitToText();
  LoadHandCursor();
  // A mode chosen before attachment gives way to the default (and the plain font).
  SetUnderlineMode(kUnderlineHover);
}

void CHyperLink::SetTarget(const std::wstring& target) {
  target_ = target;
  if (GetSafeHwnd()) FitToText();
}

void CHyperLink::SetUnderlineMode(UnderlineMode mode) {
  if (mode == underlineMode_) return;
  if (GetSafeHwnd()) {
    SetFont(mode == kUnderlineAlways ? underlinedFont_.get() : plainFont_.get());
    Invalidate(TRUE);
  }
  underlineMode_ = mode;
}

void CHyperLink::SetVisited(bool visited) {
  isVisited_ = visited;
  if (GetSafeHwnd()) Invalidate(TRUE);
}

BOOL CHyperLink::DestroyWindow() {
  if (GetSafeHwnd()) KillTimer(GetSafeHwnd(), kHoverTimerId);
  return CStatic::DestroyWindow();
}

void CHyperLink::SetFont(HFONT font) {
  if (font) SendMessageW(GetSafeHwnd(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void CHyperLink::FitToText() {
  const HWND window = GetSafeHwnd();
  if (!window || !fitToText_) return;
  RECT windowRect, clientRect;
  ControlRects(window, &windowRect, &clientRect);

  const std::wstring text = GetWindowText();
  SIZE extent = {};
  {
    fw::WindowDc dc(window);
    if (!dc) return;
    fw::ScopedSelect select(dc.get(), underlinedFont_.get());
    if (!GetTextExtentPoint32W(dc.get(), text.c_str(), static_cast<int>(text.size()), &extent)) return;
  }
  // The border: what the window rectangle has beyond the client area.
  extent.cx += (windowRect.right - windowRect.left) - (clientRect.right - clientRect.left);
  extent.cy += (windowRect.bottom - windowRect.top) - (clientRect.bottom - clientRect.top);

  const LONG style = GetWindowLongW(window, GWL_STYLE);
  RECT r = windowRect;
  if (style & SS_CENTERIMAGE) {
    const LONG dy = ((r.bottom - r.top) - extent.cy) / 2;
    r.top += dy;
    r.bottom -= dy;
  } else {
    r.bottom = r.top + extent.cy;
  }
  // SS_CENTER and SS_RIGHT are values of the type field, not independent bits.
  const LONG type = style & SS_TYPEMASK;
  if (type == SS_CENTER) {
    const LONG dx = ((r.right - r.left) - extent.cx) / 2;
    r.left += dx;
    r.right -= dx;
  } else if (type == SS_RIGHT) {
    r.left = r.right - extent.cx;
  } else {
    r.right = r.left + extent.cx;
  }
  SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top, SWP_NOZORDER);
}

void CHyperLink::LoadHandCursor() {
  if (linkCursor_) return;
  wchar_t path[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(path, MAX_PATH);
  const wchar_t kHelpProgram[] = L"\\winhlp32.exe";
  const WORD kHelpProgramHandCursor = 106;  // the help program's own resource number
  if (length > 0 && length + wcslen(kHelpProgram) < MAX_PATH) {
    wcscat(path, kHelpProgram);
    fw::UniqueModule module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (module) {
      if (HCURSOR cursor = LoadCursorW(module.get(), MAKEINTRESOURCEW(kHelpProgramHandCursor))) {
        ownedCursor_.reset(CopyIcon(cursor));
      }
    }
  }
  // Current systems ship the help program without its hand cursor; the system's own hand
  // is the same picture.
  if (!ownedCursor_) {
    if (HCURSOR hand = LoadCursorW(nullptr, IDC_HAND)) ownedCursor_.reset(CopyIcon(hand));
  }
  linkCursor_ = ownedCursor_.get();
}

bool CHyperLink::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  if (message == WM_CTLCOLORSTATIC) {
    const HDC dc = reinterpret_cast<HDC>(wParam);
    SetTextColor(dc, isHovering_ ? kHoverColour : isVisited_ ? kVisitedColour : kLinkColour);
    SetBkMode(dc, TRANSPARENT);
    *result = reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
    return true;
  }
  if (message == WM_COMMAND && HIWORD(wParam) == STN_CLICKED) {
    OnClicked();
    *result = 0;
    return true;
  }
  (void)lParam;
  return false;
}

bool CHyperLink::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  switch (message) {
    case WM_SETCURSOR:
      if (linkCursor_) {
        SetCursor(linkCursor_);
        *result = TRUE;
      } else {
        *result = FALSE;
      }
      return true;
    case WM_MOUSEMOVE:
      OnMouseMove();
      *result = Default(message, wParam, lParam);
      return true;
    case WM_TIMER:
      OnTimer();
      *result = Default(message, wParam, lParam);
      return true;
    case WM_ERASEBKGND: {
      RECT client;
      GetClientRect(GetSafeHwnd(), &client);
      FillRect(reinterpret_cast<HDC>(wParam), &client, GetSysColorBrush(COLOR_BTNFACE));
      *result = TRUE;
      return true;
    }
    case WM_DESTROY:
      // However the window goes, its timer goes with it.
      KillTimer(GetSafeHwnd(), kHoverTimerId);
      return false;
    default:
      return false;
  }
}

void CHyperLink::OnMouseMove() {
  if (isHovering_) return;
  isHovering_ = true;
  if (underlineMode_ == kUnderlineHover) SetFont(underlinedFont_.get());
  Invalidate(TRUE);
  SetTimer(GetSafeHwnd(), kHoverTimerId, kHoverPeriodMs, nullptr);
}

void CHyperLink::OnTimer() {
  const HWND window = GetSafeHwnd();
  const DWORD position = GetMessagePos();
  POINT point = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
  ScreenToClient(window, &point);
  RECT client;
  GetClientRect(window, &client);
  if (PtInRect(&client, point)) return;
  isHovering_ = false;
  KillTimer(window, kHoverTimerId);
  if (underlineMode_ != kUnderlineAlways) SetFont(plainFont_.get());
  client.bottom += 10;
  InvalidateRect(window, &client, TRUE);
}

void CHyperLink::OnClicked() {
  isHovering_ = false;
  const INT_PTR result = OpenTarget(target_, SW_SHOW);
  isVisited_ = result > 32;
  if (isVisited_) {
    SetVisited(true);
  } else {
    // The link shows its unvisited colour again from the next repaint on.
    Invalidate(TRUE);
    MessageBeep(MB_ICONEXCLAMATION);
    ShowOpenError(result);
  }
}

INT_PTR CHyperLink::OpenTarget(const std::wstring& target, int showCommand) {
  const INT_PTR shell = reinterpret_cast<INT_PTR>(
      ShellExecuteW(nullptr, L"open", target.c_str(), nullptr, nullptr, showCommand));
  if (static_cast<UINT_PTR>(shell) > 32) return shell;

  // The shell could not open it: try the program registered for web pages.
  std::wstring htmlClass;
  if (ReadDefaultRegValue(HKEY_CLASSES_ROOT, L".htm", &htmlClass) != ERROR_SUCCESS) return shell;
  std::wstring command;
  const std::wstring commandKey = htmlClass + L"\\shell\\open\\command";
  if (ReadDefaultRegValue(HKEY_CLASSES_ROOT, commandKey.c_str(), &command) != ERROR_SUCCESS) {
    return shell;
  }
  const std::string line = ToAnsi(HtmCommandLine(command, target));
  if (line.empty()) return shell;
  return static_cast<INT_PTR>(WinExec(line.c_str(), static_cast<UINT>(showCommand)));
}

void CHyperLink::ShowOpenError(INT_PTR code) {
  const HWND owner = GetSafeHwnd() ? GetParent(GetSafeHwnd()) : nullptr;
  fw::ShowMessageBox(owner, OpenErrorMessage(static_cast<long>(code)), MB_ICONEXCLAMATION | MB_OK);
}

}  // namespace framewise
