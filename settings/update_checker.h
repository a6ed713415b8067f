// The background check for a newer published version.
#pragma once

namespace framewise {

class ImageFileContextMenu;

class UpdateChecker {
 public:
  // Called from every Initialize; acts at most once per process.
  static void ScheduleCheck(ImageFileContextMenu* handler);
};

}  // namespace framewise
