#include "settings/about_box.h"

#include "build_config.h"
#include "framework/message_box.h"
#include "framework/strings.h"
#include "resources/resource_ids.h"
#include "settings/portable/settings_values.h"
#include "settings/portable/update_status.h"
#include "settings/settings_file.h"
#include "settings/update_check_now.h"
#include "settings/version.h"
#include "settings/web_pages.h"

namespace framewise {

namespace {

UINT StatusStringId(UpdateStatus status) {
  switch (status) {
    case UpdateStatus::NewBeta: return IDS_NEW_BETA_STATUS;
    case UpdateStatus::NewerVersion: return IDS_NEWER_VERSION_STATUS;
    case UpdateStatus::UpdateAvailable: return IDS_UPDATE_STATUS;
    case UpdateStatus::Newest: break;
  }
  return IDS_NEWEST_VERSION;
}

// The line for the settings' MonitorTarget value; 0 for none or a value of no known kind.
UINT LastTargetStringId(const std::wstring& target) {
  if (target == kEveryMonitorValue) return IDS_LAST_TARGET_EVERY_MONITOR;
  if (target == kSpanValue) return IDS_LAST_TARGET_SPAN;
  if (target == kOneMonitorValue) return IDS_LAST_TARGET_ONE_MONITOR;
  return 0;
}

}  // namespace

void ShowAboutBox(HWND owner) {
  AboutBox box(owner);
  box.DoModal();
}

AboutBox::AboutBox(HWND owner, const wchar_t* versionModule)
    : CDialog(IDD_ABOUT, owner), versionModule_(versionModule ? versionModule : L"") {}

AboutBox::~AboutBox() {
  // The links detach before the dialog's window goes.
  DestroyWindow();
}

std::wstring AboutBox::OwnVersion(VersionForm form) const {
  return versionModule_.empty() ? GetOwnVersion(form)
                                : GetFileVersionText(versionModule_.c_str(), form);
}

bool AboutBox::IsPrerelease() const {
  return versionModule_.empty() ? IsPrereleaseBuild() : IsPrereleaseFile(versionModule_.c_str());
}

void AboutBox::DoDataExchange(fw::CDataExchange* exchange) {
  fw::DDX_Text(exchange, IDC_ABOUT_VERSION, versionText_);
  fw::DDX_Control(exchange, IDC_ABOUT_STATUS, statusLink_);
  fw::DDX_Control(exchange, IDC_ABOUT_WEB_SITE, webSiteLink_);
  fw::DDX_Control(exchange, IDC_ABOUT_BETA_FEEDBACK, betaFeedbackLink_);
  fw::DDX_Check(exchange, IDC_ABOUT_ALLOW_CHECKS, allowBackgroundChecks_);
  fw::DDX_Text(exchange, IDC_ABOUT_LAST_CHECKED, lastCheckedText_);
  fw::DDX_Text(exchange, IDC_ABOUT_LAST_TARGET, lastTargetText_);
}

BOOL AboutBox::OnInitDialog() {
  CDialog::OnInitDialog();
  versionText_ = OwnVersion(VersionForm::Display);
  allowBackgroundChecks_ = SettingsFile::ReadInt(SettingsScope::CurrentUser, GetSafeHwnd(),
                                                 kUpdateCheckSection, kAllowBackgroundChecksKey, 0);
  RefreshUpdateStatus();
  const UINT target = LastTargetStringId(
      SettingsFile::ReadString(SettingsScope::CurrentUser, GetSafeHwnd(), kDesktopSection,
                               kMonitorTargetKey, L"", kMonitorTargetCapacity));
  if (target) lastTargetText_ = fw::LoadResourceString(target);

  webSiteLink_.SetTarget(FRAMEWISE_BASE_URL_W);
  webSiteLink_.SetUnderlineMode(CHyperLink::kUnderlineAlways);
  if (IsPrerelease()) {
    betaFeedbackLink_.SetTarget(std::wstring(FRAMEWISE_BASE_URL_W) + L"/" + fw::LoadResourceString(IDS_BETA));
    betaFeedbackLink_.SetUnderlineMode(CHyperLink::kUnderlineAlways);
  } else {
    betaFeedbackLink_.ShowWindow(SW_HIDE);
  }
  UpdateData(FALSE);
  return TRUE;
}

std::wstring AboutBox::GetUpdateStatusText() const {
  const std::wstring own = OwnVersion(VersionForm::Comparable);
  std::wstring newest;
  VersionType type = VersionType::None;
  SettingsFile::LoadNewestVersion(&newest, &type);
  if (!newest.empty()) MakeComparable(&newest);
  return fw::LoadResourceString(StatusStringId(ChooseUpdateStatus(newest, type, own)));
}

void AboutBox::RefreshUpdateStatus() {
  statusLink_.SetWindowText(GetUpdateStatusText());
  const std::wstring format = fw::LoadResourceString(IDS_LAST_CHECKED);
  if (!format.empty()) {
    const std::wstring lastChecked =
        SettingsFile::ReadString(SettingsScope::CurrentUser, GetSafeHwnd(), kUpdateCheckSection,
                                 kLastCheckedKey, L"", kLastCheckedDisplayCapacity);
    lastCheckedText_ = lastChecked.empty() ? std::wstring() : fw::FormatString(format, lastChecked);
  }
  // Without a last check the dialog claims no status.
  if (lastCheckedText_.empty()) statusLink_.SetWindowText(std::wstring());
  statusLink_.SetTarget(WebPageAddress(kUpdatePagePath, OwnVersion(VersionForm::Display)));
  statusLink_.SetUnderlineMode(CHyperLink::kUnderlineAlways);
  statusLink_.Invalidate(TRUE);
  UpdateData(FALSE);
}

void AboutBox::OnOK() {
  if (!UpdateData(TRUE)) return;
  SettingsFile::Write(SettingsScope::CurrentUser, GetSafeHwnd(), kUpdateCheckSection,
                      kAllowBackgroundChecksKey, std::to_wstring(allowBackgroundChecks_));
  CDialog::OnOK();
}

void AboutBox::OnFinalDestroy() { logo_.Free(); }

void AboutBox::OnCheckNow() {
  CheckForUpdatesNow(OwnVersion(VersionForm::Display), OwnVersion(VersionForm::Comparable),
                     IsPrerelease());
  fw::ShowMessageBox(GetSafeHwnd(), GetUpdateStatusText(), MB_ICONINFORMATION | MB_OK);
  RefreshUpdateStatus();
}

bool AboutBox::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) {
  if (message == WM_DESTROY) {
    // The children still exist: note the logo before the picture control goes.
    logo_.Note(GetSafeHwnd());
    return false;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_ABOUT_CHECK_NOW &&
      HIWORD(wParam) == BN_CLICKED) {
    OnCheckNow();
    *result = 0;
    return true;
  }
  return CDialog::OnMessage(message, wParam, lParam, result);
}

}  // namespace framewise
