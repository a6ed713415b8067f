// The submenu as a static table of rows, and the one rule that decides which rows show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace framewise {

// The entry's text in the shell's menu, classic and new alike.
constexpr wchar_t kMenuEntryText[] = L"Wrenfly Framewise - Set Desktop Background";

// Command offsets of the submenu: 1..7 are the fit modes.
enum MenuCommand : int {
  UpdateInfoCommand = 8,
  HelpCommand = 10,
  AboutCommand = 11,
  CancelCommand = 12,
};

// Identifiers the entry claims from the shell: offsets 0 to 13.
constexpr unsigned kMenuCommandCount = 14;
// The line that says the picture could not be read: an offset no command uses.
constexpr int kUnreadableLineOffset = 9;
// The highest offset an inserted item can have.
constexpr unsigned kLastMenuOffset = 12;

// With two or more monitors the submenu claims more identifiers: after today's, a group
// "Span All Monitors" (offsets kSpanCommandBase + fit mode) and a group "On This Monitor
// Only" (kOneMonitorCommandBase + fit mode), each opened from its own row.
constexpr int kSpanCommandBase = 13;
constexpr int kOneMonitorCommandBase = 20;
enum GroupCommand : int {
  SpanGroupCommand = 28,
  OneMonitorGroupCommand = 29,
};
constexpr unsigned kSeveralMonitorsCommandCount = 30;
constexpr unsigned kLastSeveralMonitorsOffset = 29;

// Which monitors a command's wallpaper goes to.
enum class CommandTarget { EveryMonitor, Span, OneMonitor };

// The fit mode and target of a fitting command's offset; false for any other offset.
bool SplitFittingOffset(int offset, int* mode, CommandTarget* target);

enum class MenuRowKind { Item, Separator };

struct MenuEntry {
  MenuRowKind kind;
  int offset;
  unsigned textId;
  bool liveText;      // the text comes first from the update status
  unsigned helpTextId;
  uint32_t shapes;    // mask of picture shapes the row shows for
  bool needsUpdate;   // shown only while an update is known
  bool preview;       // the item shows the framed preview
  bool classicOnly;   // offered by the classic submenu only, not as a new-menu command
};

extern const MenuEntry MenuEntries[];
extern const size_t kMenuEntryCount;

// Whether an item row is offered for a picture of `shape` (a single shape bit).
bool ItemRowShown(const MenuEntry& row, uint32_t shape, bool updateKnown);

// The first item row with this command offset, or null.
const MenuEntry* FindItemRow(int offset);

// The rows the submenu shows, in order: item rows that are offered, and separators that
// neither begin the menu nor follow another separator.
std::vector<const MenuEntry*> SelectMenuRows(uint32_t shape, bool updateKnown);

// The new context menu's commands for a picture of `shapes` (a mask: every row that shows
// for any of them), in the classic submenu's order: its item rows without separators and
// without the rows only the classic submenu has.
std::vector<const MenuEntry*> SelectCommandRows(uint32_t shapes, bool updateKnown);

// The rows of the several-monitor groups: the group rows themselves and each group's
// fitting rows, whose shapes are read against the span's shape or that monitor's.
extern const MenuEntry GroupEntries[];
extern const size_t kGroupEntryCount;

// The group row, or a group's fitting row, with this offset; null for any other.
const MenuEntry* FindGroupRow(int offset);

// The rows a group (SpanGroupCommand or OneMonitorGroupCommand) opens for a picture of
// `shape` against the span's or the monitor's shape, in the order of today's rows.
std::vector<const MenuEntry*> SelectGroupRows(int group, uint32_t shape);

// Mask of every picture shape.
uint32_t AllPictureShapes();

// The resource number of a new-menu command's icon: the fitting rows' in the light or the
// dark variant, the entry's for offset 0; 0 for a command without an icon.
unsigned CommandIconId(int offset, bool dark);

// Owner-drawn items need a shell32 of version 4.71 or later.
bool OwnerDrawSupportedByShell(bool versionKnown, unsigned long major, unsigned long minor);

}  // namespace framewise
