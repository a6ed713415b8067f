#include "framework/template_bitmap.h"

namespace fw {

void TemplateBitmap::Note(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP) {
      bitmap_ = reinterpret_cast<HGDIOBJ>(SendMessageW(child, STM_GETIMAGE, IMAGE_BITMAP, 0));
    }
  }
}

void TemplateBitmap::Free() {
  // A control that freed its image leaves a stale handle: only a live bitmap is deleted.
  if (bitmap_ && GetObjectType(bitmap_) == OBJ_BITMAP) DeleteObject(bitmap_);
  bitmap_ = nullptr;
}

}  // namespace fw
