#include "shellext/portable/menu_table.h"

#include "fitting/portable/geometry.h"
#include "resources/resource_ids.h"

namespace framewise {

namespace {

constexpr uint32_t kMatches = MatchesScreen, kTaller = TallerThanScreen, kWider = WiderThanScreen;
constexpr uint32_t kAlways = kMatches | kTaller | kWider;

// What a row does beyond its text: named, so that a row reads as what it is.
enum RowFlags : uint32_t {
  kPlain = 0,
  kPreview = 1,      // shows the framed preview of what its command keeps
  kLiveText = 2,     // its text comes first from the update status
  kNeedsUpdate = 4,  // shown only while an update is known
  kClassicOnly = 8,  // not a command of the new context menu
};

constexpr MenuEntry Item(int offset, unsigned textId, unsigned helpTextId, uint32_t shapes,
                         uint32_t flags) {
  return MenuEntry{MenuRowKind::Item, offset, textId, (flags & kLiveText) != 0, helpTextId,
                   shapes, (flags & kNeedsUpdate) != 0, (flags & kPreview) != 0,
                   (flags & kClassicOnly) != 0};
}
constexpr MenuEntry kSeparator = {MenuRowKind::Separator, 0, 0, false, 0, 0, false, false, false};

}  // namespace

const MenuEntry MenuEntries[] = {
    Item(FitModeExact, IDS_FILL_SCREEN, IDS_HELP_FILL_SCREEN, kMatches, kPreview),
    Item(FitModeTop, IDS_FILL_TOP, IDS_HELP_FILL_TOP, kTaller, kPreview),
    Item(FitModeLeft, IDS_FILL_LEFT, IDS_HELP_FILL_LEFT, kWider, kPreview),
    Item(FitModeMiddle, IDS_FILL_MIDDLE, IDS_HELP_FILL_MIDDLE, kTaller | kWider, kPreview),
    Item(FitModeBottom, IDS_FILL_BOTTOM, IDS_HELP_FILL_BOTTOM, kTaller, kPreview),
    Item(FitModeRight, IDS_FILL_RIGHT, IDS_HELP_FILL_RIGHT, kWider, kPreview),
    kSeparator,
    Item(FitModeBestFit, IDS_BEST_FIT, IDS_HELP_BEST_FIT, kTaller | kWider, kPreview),
    kSeparator,
    Item(UpdateInfoCommand, IDS_UPDATE_AVAILABLE_MENU, IDS_HELP_UPDATE, kAlways, kLiveText | kNeedsUpdate),
    Item(HelpCommand, IDS_HELP_FEEDBACK, IDS_HELP_HELP, kAlways, kPlain),
    Item(AboutCommand, IDS_ABOUT, IDS_HELP_ABOUT, kAlways, kPlain),
    kSeparator,
    Item(CancelCommand, IDS_CANCEL, IDS_HELP_CANCEL, kAlways, kClassicOnly),
};
const size_t kMenuEntryCount = sizeof(MenuEntries) / sizeof(MenuEntries[0]);

const MenuEntry GroupEntries[] = {
    Item(SpanGroupCommand, IDS_SPAN_GROUP, IDS_HELP_SPAN, kAlways, kPlain),
    Item(kSpanCommandBase + FitModeExact, IDS_FILL_SCREEN, IDS_HELP_SPAN, kMatches, kPreview),
    Item(kSpanCommandBase + FitModeTop, IDS_FILL_TOP, IDS_HELP_SPAN, kTaller, kPreview),
    Item(kSpanCommandBase + FitModeLeft, IDS_FILL_LEFT, IDS_HELP_SPAN, kWider, kPreview),
    Item(kSpanCommandBase + FitModeMiddle, IDS_FILL_MIDDLE, IDS_HELP_SPAN, kTaller | kWider,
         kPreview),
    Item(kSpanCommandBase + FitModeBottom, IDS_FILL_BOTTOM, IDS_HELP_SPAN, kTaller, kPreview),
    Item(kSpanCommandBase + FitModeRight, IDS_FILL_RIGHT, IDS_HELP_SPAN, kWider, kPreview),
    Item(kSpanCommandBase + FitModeBestFit, IDS_BEST_FIT, IDS_HELP_SPAN, kTaller | kWider,
         kPreview),
    Item(OneMonitorGroupCommand, IDS_ONE_MONITOR_GROUP, IDS_HELP_ONE_MONITOR, kAlways, kPlain),
    Item(kOneMonitorCommandBase + FitModeExact, IDS_FILL_SCREEN, IDS_HELP_ONE_MONITOR, kMatches,
         kPreview),
    Item(kOneMonitorCommandBase + FitModeTop, IDS_FILL_TOP, IDS_HELP_ONE_MONITOR, kTaller,
         kPreview),
    Item(kOneMonitorCommandBase + FitModeLeft, IDS_FILL_LEFT, IDS_HELP_ONE_MONITOR, kWider,
         kPreview),
    Item(kOneMonitorCommandBase + FitModeMiddle, IDS_FILL_MIDDLE, IDS_HELP_ONE_MONITOR,
         kTaller | kWider, kPreview),
    Item(kOneMonitorCommandBase + FitModeBottom, IDS_FILL_BOTTOM, IDS_HELP_ONE_MONITOR, kTaller,
         kPreview),
    Item(kOneMonitorCommandBase + FitModeRight, IDS_FILL_RIGHT, IDS_HELP_ONE_MONITOR, kWider,
         kPreview),
    Item(kOneMonitorCommandBase + FitModeBestFit, IDS_BEST_FIT, IDS_HELP_ONE_MONITOR,
         kTaller | kWider, kPreview),
};
const size_t kGroupEntryCount = sizeof(GroupEntries) / sizeof(GroupEntries[0]);

bool SplitFittingOffset(int offset, int* mode, CommandTarget* target) {
  if (offset >= FitModeExact && offset <= FitModeBestFit) {
    *mode = offset;
    *target = CommandTarget::EveryMonitor;
  } else if (offset > kSpanCommandBase && offset <= kSpanCommandBase + FitModeBestFit) {
    *mode = offset - kSpanCommandBase;
    *target = CommandTarget::Span;
  } else if (offset > kOneMonitorCommandBase && offset <= kOneMonitorCommandBase + FitModeBestFit) {
    *mode = offset - kOneMonitorCommandBase;
    *target = CommandTarget::OneMonitor;
  } else {
    return false;
  }
  return true;
}

const MenuEntry* FindGroupRow(int offset) {
  for (size_t i = 0; i < kGroupEntryCount; ++i) {
    if (GroupEntries[i].offset == offset) return &GroupEntries[i];
  }
  return nullptr;
}

std::vector<const MenuEntry*> SelectGroupRows(int group, uint32_t shape) {
  std::vector<const MenuEntry*> rows;
  const int base = group == SpanGroupCommand         ? kSpanCommandBase
                   : group == OneMonitorGroupCommand ? kOneMonitorCommandBase
                                                     : -1;
  if (base < 0) return rows;
  for (size_t i = 0; i < kGroupEntryCount; ++i) {
    const MenuEntry& row = GroupEntries[i];
    if (row.offset > base && row.offset <= base + FitModeBestFit &&
        ItemRowShown(row, shape, false)) {
      rows.push_back(&row);
    }
  }
  return rows;
}

bool ItemRowShown(const MenuEntry& row, uint32_t shape, bool updateKnown) {
  if (row.kind != MenuRowKind::Item) return false;
  if (row.needsUpdate && !updateKnown) return false;
  return (row.shapes & shape) != 0;
}

const MenuEntry* FindItemRow(int offset) {
  for (size_t i = 0; i < kMenuEntryCount; ++i) {
    if (MenuEntries[i].kind == MenuRowKind::Item && MenuEntries[i].offset == offset) {
      return &MenuEntries[i];
    }
  }
  return nullptr;
}

std::vector<const MenuEntry*> SelectMenuRows(uint32_t shape, bool updateKnown) {
  std::vector<const MenuEntry*> rows;
  bool afterSeparator = true;  // no separator begins the menu
  for (size_t i = 0; i < kMenuEntryCount; ++i) {
    const MenuEntry& row = MenuEntries[i];
    if (row.kind == MenuRowKind::Separator) {
      if (afterSeparator) continue;
      afterSeparator = true;
      rows.push_back(&row);
    } else if (ItemRowShown(row, shape, updateKnown)) {
      afterSeparator = false;
      rows.push_back(&row);
    }
  }
  return rows;
}

std::vector<const MenuEntry*> SelectCommandRows(uint32_t shapes, bool updateKnown) {
  std::vector<const MenuEntry*> rows;
  for (size_t i = 0; i < kMenuEntryCount; ++i) {
    const MenuEntry& row = MenuEntries[i];
    if (!row.classicOnly && ItemRowShown(row, shapes, updateKnown)) rows.push_back(&row);
  }
  return rows;
}

uint32_t AllPictureShapes() { return kAlways; }

unsigned CommandIconId(int offset, bool dark) {
  if (offset == 0) return IDI_ENTRY;
  if (offset < FitModeExact || offset > FitModeBestFit) return 0;
  return static_cast<unsigned>((dark ? IDI_FIT_DARK_BASE : IDI_FIT_LIGHT_BASE) + offset);
}

bool OwnerDrawSupportedByShell(bool versionKnown, unsigned long major, unsigned long minor) {
  return versionKnown && (major > 4 || (major == 4 && minor >= 71));
}

}  // namespace framewise
