// The small window the fitting commands show while they work: logo and a short text.
#pragma once

#include "framework/dialog.h"

namespace framewise {

class PleaseWait : public fw::CDialog {
 public:
  explicit PleaseWait(HWND parent);
};

}  // namespace framewise
