// Which sentence describes the cached update status in the About box. No Windows header.
#pragma once

#include <string>

#include "settings/portable/version_text.h"

namespace framewise {

enum class UpdateStatus {
  NewBeta,        // a newer beta is published
  NewerVersion,   // a newer release with a higher major field
  UpdateAvailable,  // a newer release of the same major field
  Newest,         // nothing newer is known
};

// `newest` and `own` in the comparable form; `newest` empty when nothing is cached.
// A release counts as a newer version (rather than an update) when the first two
// characters of `newest`, the major field, are greater as text than those of `own`.
UpdateStatus ChooseUpdateStatus(const std::wstring& newest, VersionType type,
                                const std::wstring& own);

}  // namespace framewise
