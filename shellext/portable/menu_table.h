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

// Mask of every picture shape.
uint32_t AllPictureShapes();

// The resource number of a new-menu command's icon: the fitting rows' in the light or the
// dark variant, the entry's for offset 0; 0 for a command without an icon.
unsigned CommandIconId(int offset, bool dark);

// Owner-drawn items need a shell32 of version 4.71 or later.
bool OwnerDrawSupportedByShell(bool versionKnown, unsigned long major, unsigned long minor);

}  // namespace framewise
