// The About box's choice of status sentence for a cached published version.
#include <gtest/gtest.h>

#include "settings/portable/update_status.h"

namespace framewise {
namespace {

TEST(UpdateStatus, ChosenByTypeOrderAndMajorField) {
  const std::wstring own = L"01.01.00.0000";
  const struct {
    const wchar_t* newest;
    VersionType type;
    UpdateStatus expected;
  } cases[] = {
      {L"01.02.00.0000", VersionType::Release, UpdateStatus::UpdateAvailable},
      {L"02.00.00.0000", VersionType::Release, UpdateStatus::NewerVersion},
      {L"10.00.00.0000", VersionType::Release, UpdateStatus::NewerVersion},
      {L"01.02.00.0000", VersionType::Beta, UpdateStatus::NewBeta},
      {L"01.01.00.0000", VersionType::Release, UpdateStatus::Newest},  // equal
      {L"01.00.09.0000", VersionType::Release, UpdateStatus::Newest},  // older
      {L"01.00.09.0000", VersionType::Beta, UpdateStatus::Newest},
      {L"02.00.00.0000", VersionType::None, UpdateStatus::Newest},
      {L"", VersionType::None, UpdateStatus::Newest},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ChooseUpdateStatus(c.newest, c.type, own), c.expected) << c.newest;
  }
  // Without an own version any cached one is newer.
  EXPECT_EQ(ChooseUpdateStatus(L"01.00.00.0000", VersionType::Release, L""),
            UpdateStatus::NewerVersion);
}

}  // namespace
}  // namespace framewise
