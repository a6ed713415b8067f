#include "settings/portable/update_status.h"

namespace framewise {

UpdateStatus ChooseUpdateStatus(const std::wstring& newest, VersionType type,
                                const std::wstring& own) {
  if (!IsNewerVersion(newest, own)) return UpdateStatus::Newest;
  switch (type) {
    case VersionType::Beta:
      return UpdateStatus::NewBeta;
    case VersionType::Release:
      return newest.substr(0, 2) > own.substr(0, 2) ? UpdateStatus::NewerVersion
                                                    : UpdateStatus::UpdateAvailable;
    case VersionType::None:
      break;
  }
  return UpdateStatus::Newest;
}

}  // namespace framewise
