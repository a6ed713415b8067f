// The small window the fitting commands show while they work: logo and a short text.
#pragma once

#include "framework/dialog.h"
#include "framework/template_bitmap.h"

namespace framewise {

class PleaseWait : public fw::CDialog {
 public:
  explicit PleaseWait(HWND parent);
  // Destroys the window here, while this class's own clean-up can still run.
  ~PleaseWait() override;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
  void OnFinalDestroy() override;

 private:
  // The logo the picture control loaded from the template.
  fw::TemplateBitmap logo_;
};

}  // namespace framewise
