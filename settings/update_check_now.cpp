#include "settings/update_check_now.h"

#include "framework/internet.h"
#include "framework/strings.h"
#include "resources/resource_ids.h"
#include "settings/settings_file.h"
#include "settings/update_checker.h"

namespace framewise {

namespace {

// One step: fetch the file at string `urlId` and cache its line with `type`. An Internet
// error ends the step before anything is stored. Returns the line in comparable form.
std::wstring FetchStep(const std::shared_ptr<fw::CInternetSession>& session, UINT urlId,
                       VersionType type) {
  std::wstring raw, comparable;
  try {
    UpdateChecker::FetchVersionFile(session, fw::LoadResourceString(urlId), &raw, &comparable);
  } catch (const fw::CInternetException&) {
    return std::wstring();
  }
  SettingsFile::StoreNewestVersion(type, raw);
  return comparable;
}

}  // namespace

void CheckForUpdatesNow(const std::wstring& ownDisplay, const std::wstring& ownComparable,
                        bool prerelease) {
  std::shared_ptr<fw::CInternetSession> session;
  try {
    session = UpdateChecker::OpenSession(UpdateChecker::AgentTextFor(ownDisplay));
  } catch (const fw::CInternetException&) {
    return;  // no session: the caller reports the cached status
  }
  if (!session) return;
  const std::wstring release = FetchStep(session, IDS_RELEASE_VERSION_URL, VersionType::Release);
  const bool found = !release.empty() && IsNewerVersion(release, ownComparable);
  if (!found && prerelease) FetchStep(session, IDS_BETA_VERSION_URL, VersionType::Beta);
}

}  // namespace framewise
