// The bitmap a dialog's picture control (SS_BITMAP) loaded from the dialog template. Not
// every system's static control frees an image it loaded itself (Wine's does not), and
// one left behind per dialog shown would pile up in the host for as long as it runs.
#pragma once

#include <windows.h>

namespace fw {

class TemplateBitmap {
 public:
  TemplateBitmap() = default;
  ~TemplateBitmap() { Free(); }
  TemplateBitmap(const TemplateBitmap&) = delete;
  TemplateBitmap& operator=(const TemplateBitmap&) = delete;

  // Notes the picture control's bitmap; call at WM_DESTROY, while the children exist.
  void Note(HWND dialog);

  // Frees the noted bitmap when the control left it behind (it is still a bitmap); call
  // once the children have gone (WM_NCDESTROY).
  void Free();

 private:
  HGDIOBJ bitmap_ = nullptr;
};

}  // namespace fw
