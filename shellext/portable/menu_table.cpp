#include "shellext/portable/menu_table.h"

namespace framewise {

namespace {

constexpr uint32_t kMatches = 1, kTaller = 2, kWider = 4, kAlways = 7;
constexpr MenuEntry kSeparator = {MenuRowKind::Separator, 0, 0, false, 0, 0, false, false};

}  // namespace

const MenuEntry MenuEntries[] = {
    {MenuRowKind::Item, 1, 101, false, 112, kMatches, false, true},
    {MenuRowKind::Item, 2, 102, false, 113, kTaller, false, true},
    {MenuRowKind::Item, 3, 103, false, 114, kWider, false, true},
    {MenuRowKind::Item, 4, 104, false, 115, kTaller | kWider, false, true},
    {MenuRowKind::Item, 5, 105, false, 116, kTaller, false, true},
    {MenuRowKind::Item, 6, 106, false, 117, kWider, false, true},
    kSeparator,
    {MenuRowKind::Item, 7, 107, false, 118, kTaller | kWider, false, true},
    kSeparator,
    {MenuRowKind::Item, UpdateInfoCommand, 108, true, 119, kAlways, true, false},
    {MenuRowKind::Item, HelpCommand, 109, false, 120, kAlways, false, false},
    {MenuRowKind::Item, AboutCommand, 110, false, 121, kAlways, false, false},
    kSeparator,
    {MenuRowKind::Item, CancelCommand, 111, false, 122, kAlways, false, false},
};
const size_t kMenuEntryCount = sizeof(MenuEntries) / sizeof(MenuEntries[0]);

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

bool OwnerDrawSupportedByShell(bool versionKnown, unsigned long major, unsigned long minor) {
  return versionKnown && (major > 4 || (major == 4 && minor >= 71));
}

}  // namespace framewise
