// Which submenu rows show for each picture shape and update state.
#include "shellext/portable/menu_table.h"

#include "fitting/portable/geometry.h"

#include <gtest/gtest.h>

namespace framewise {
namespace {

// The rows as offsets, separators as 0.
std::vector<int> Offsets(uint32_t shape, bool update) {
  std::vector<int> out;
  for (const MenuEntry* row : SelectMenuRows(shape, update)) {
    out.push_back(row->kind == MenuRowKind::Separator ? 0 : row->offset);
  }
  return out;
}

TEST(MenuRows, PerShapeAndUpdateState) {
  struct Case {
    uint32_t shape;
    bool update;
    std::vector<int> expected;
  } cases[] = {
      {1, false, {1, 0, 10, 11, 0, 12}},
      {1, true, {1, 0, 8, 10, 11, 0, 12}},
      {2, false, {2, 4, 5, 0, 7, 0, 10, 11, 0, 12}},
      {2, true, {2, 4, 5, 0, 7, 0, 8, 10, 11, 0, 12}},
      {4, false, {3, 4, 6, 0, 7, 0, 10, 11, 0, 12}},
      {4, true, {3, 4, 6, 0, 7, 0, 8, 10, 11, 0, 12}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Offsets(c.shape, c.update), c.expected) << "shape " << c.shape << " update " << c.update;
  }
}

std::vector<int> CommandOffsets(uint32_t shapes, bool update) {
  std::vector<int> out;
  for (const MenuEntry* row : SelectCommandRows(shapes, update)) out.push_back(row->offset);
  return out;
}

// The new menu offers the classic rows in their order, without separators or Cancel; a
// mask of shapes offers every row any of them would.
TEST(MenuRows, NewMenuCommandsPerShape) {
  EXPECT_EQ(CommandOffsets(1, false), (std::vector<int>{1, 10, 11}));
  EXPECT_EQ(CommandOffsets(2, true), (std::vector<int>{2, 4, 5, 7, 8, 10, 11}));
  EXPECT_EQ(CommandOffsets(4, false), (std::vector<int>{3, 4, 6, 7, 10, 11}));
  EXPECT_EQ(CommandOffsets(AllPictureShapes(), false), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 10, 11}));
  for (uint32_t shape : {1u, 2u, 4u}) {
    // Every classic item row but Cancel, and nothing else.
    std::vector<int> classic;
    for (int offset : Offsets(shape, true)) {
      if (offset != 0 && offset != CancelCommand) classic.push_back(offset);
    }
    EXPECT_EQ(CommandOffsets(shape, true), classic) << "shape " << shape;
  }
}

TEST(MenuRows, CommandIconsDifferPerModeAndTheme) {
  EXPECT_NE(CommandIconId(0, false), 0u);
  EXPECT_EQ(CommandIconId(0, false), CommandIconId(0, true));
  std::vector<unsigned> seen;
  for (int mode = 1; mode <= 7; ++mode) {
    for (bool dark : {false, true}) {
      const unsigned id = CommandIconId(mode, dark);
      EXPECT_NE(id, 0u);
      EXPECT_NE(id, CommandIconId(0, false));
      for (unsigned other : seen) EXPECT_NE(id, other) << "mode " << mode;
      seen.push_back(id);
    }
  }
  for (int offset : {-1, 8, 10, 11, 12, 13}) EXPECT_EQ(CommandIconId(offset, false), 0u) << offset;
}

TEST(MenuRows, ItemRowsByOffset) {
  EXPECT_EQ(FindItemRow(0), nullptr);
  EXPECT_EQ(FindItemRow(9), nullptr);
  EXPECT_EQ(FindItemRow(13), nullptr);
  ASSERT_NE(FindItemRow(12), nullptr);
  EXPECT_EQ(FindItemRow(12)->helpTextId, 122u);
  // Only the update row's text is live, and it shows no picture; the fitting rows show
  // one, with their own texts; Help and About are plain text.
  ASSERT_NE(FindItemRow(8), nullptr);
  EXPECT_TRUE(FindItemRow(8)->liveText);
  EXPECT_FALSE(FindItemRow(8)->preview);
  for (int plain : {10, 11}) {
    ASSERT_NE(FindItemRow(plain), nullptr);
    EXPECT_FALSE(FindItemRow(plain)->preview) << plain;
    EXPECT_FALSE(FindItemRow(plain)->liveText) << plain;
  }
  for (int mode = 1; mode <= 7; ++mode) {
    ASSERT_NE(FindItemRow(mode), nullptr);
    EXPECT_TRUE(FindItemRow(mode)->preview);
    EXPECT_FALSE(FindItemRow(mode)->liveText);
    EXPECT_EQ(FindItemRow(mode)->textId, 100u + mode);
    EXPECT_EQ(FindItemRow(mode)->helpTextId, 111u + mode);
  }
}

TEST(MenuRows, OwnerDrawNeedsShell471) {
  const struct {
    bool known;
    unsigned long major, minor;
    bool supported;
  } cases[] = {
      {true, 3, 71, false},  // an older major with a large minor is still older
      {true, 3, 99, false},
      {true, 4, 0, false},
      {true, 4, 70, false},
      {true, 4, 71, true},
      {true, 4, 72, true},
      {true, 5, 0, true},
      {true, 6, 0, true},
      {false, 6, 0, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(OwnerDrawSupportedByShell(c.known, c.major, c.minor), c.supported)
        << c.major << "." << c.minor << (c.known ? "" : " (unknown)");
  }
}

}  // namespace
}  // namespace framewise

namespace framewise {
namespace {

// The groups of several monitors: each opens the fitting rows of today's menu for the
// picture's shape against the span or the monitor, at offsets of their own.
TEST(MenuRows, MonitorGroupsPerShape) {
  auto offsets = [](int group, uint32_t shape) {
    std::vector<int> out;
    for (const MenuEntry* row : SelectGroupRows(group, shape)) out.push_back(row->offset);
    return out;
  };
  EXPECT_EQ(offsets(SpanGroupCommand, MatchesScreen), (std::vector<int>{14}));
  EXPECT_EQ(offsets(SpanGroupCommand, TallerThanScreen), (std::vector<int>{15, 17, 18, 20}));
  EXPECT_EQ(offsets(SpanGroupCommand, WiderThanScreen), (std::vector<int>{16, 17, 19, 20}));
  EXPECT_EQ(offsets(OneMonitorGroupCommand, TallerThanScreen), (std::vector<int>{22, 24, 25, 27}));
  EXPECT_EQ(offsets(OneMonitorGroupCommand, WiderThanScreen), (std::vector<int>{23, 24, 26, 27}));
  EXPECT_TRUE(offsets(HelpCommand, WiderThanScreen).empty());
  // Every group row has a preview and its own offset, inside the claimed range and past
  // every offset of the one-monitor menu.
  for (int group : {SpanGroupCommand, OneMonitorGroupCommand}) {
    ASSERT_NE(FindGroupRow(group), nullptr);
    EXPECT_FALSE(FindGroupRow(group)->preview);
    for (const MenuEntry* row : SelectGroupRows(group, AllPictureShapes())) {
      EXPECT_TRUE(row->preview);
      EXPECT_GT(row->offset, static_cast<int>(kLastMenuOffset));
      EXPECT_LT(row->offset, static_cast<int>(kSeveralMonitorsCommandCount));
      EXPECT_EQ(FindItemRow(row->offset), nullptr);
    }
  }
}

// Each fitting offset's mode and target, on both sides of each group's range.
TEST(MenuRows, FittingOffsetsSplitIntoModeAndTarget) {
  struct Case {
    int offset;
    bool valid;
    int mode;
    CommandTarget target;
  } cases[] = {
      {0, false, 0, CommandTarget::EveryMonitor},  {1, true, 1, CommandTarget::EveryMonitor},
      {7, true, 7, CommandTarget::EveryMonitor},   {8, false, 0, CommandTarget::EveryMonitor},
      {13, false, 0, CommandTarget::EveryMonitor}, {14, true, 1, CommandTarget::Span},
      {20, true, 7, CommandTarget::Span},          {21, true, 1, CommandTarget::OneMonitor},
      {27, true, 7, CommandTarget::OneMonitor},    {28, false, 0, CommandTarget::EveryMonitor},
      {29, false, 0, CommandTarget::EveryMonitor}, {-1, false, 0, CommandTarget::EveryMonitor},
  };
  for (const Case& c : cases) {
    int mode = 0;
    CommandTarget target = CommandTarget::EveryMonitor;
    ASSERT_EQ(SplitFittingOffset(c.offset, &mode, &target), c.valid) << c.offset;
    if (!c.valid) continue;
    EXPECT_EQ(mode, c.mode) << c.offset;
    EXPECT_EQ(target, c.target) << c.offset;
  }
}

}  // namespace
}  // namespace framewise
