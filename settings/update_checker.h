// The background check for a newer published version.
#pragma once

#include <windows.h>

namespace framewise {

class ImageFileContextMenu;

// The process-wide update status: not 0 when a newer version is known, and the menu
// row's text (null or empty: the row's own text). Written by the checker with
// interlocked exchanges; the menu reads them without a lock.
extern volatile LONG UpdateFound;
extern const wchar_t* volatile UpdateText;

class UpdateChecker {
 public:
  // Called from every Initialize; acts at most once per process.
  static void ScheduleCheck(ImageFileContextMenu* handler);
};

}  // namespace framewise
