// The About box: version, update status, the background-check setting and links.
#pragma once

#include <windows.h>

#include <string>

#include "framework/dialog.h"
#include "framework/template_bitmap.h"
#include "settings/portable/version_text.h"
#include "widgets/hyperlink.h"

namespace framewise {

// Shows the About box modally, owned by `owner`.
void ShowAboutBox(HWND owner);

class AboutBox : public fw::CDialog {
 public:
  // `versionModule` names the file whose version resource describes the build (its
  // version and whether it is a beta); null means this module, as in the product.
  explicit AboutBox(HWND owner, const wchar_t* versionModule = nullptr);
  ~AboutBox() override;

  // The sentence for the update status the settings file caches.
  std::wstring GetUpdateStatusText() const;

 protected:
  bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR* result) override;
  void DoDataExchange(fw::CDataExchange* exchange) override;
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnFinalDestroy() override;

 private:
  // Status link, its target and the last-check line from the settings file.
  void RefreshUpdateStatus();
  // Fetches the published version files now, then reports and shows the result.
  void OnCheckNow();

  std::wstring OwnVersion(VersionForm form) const;
  bool IsPrerelease() const;

  std::wstring versionModule_;
  std::wstring versionText_;
  CHyperLink statusLink_;
  CHyperLink webSiteLink_;
  CHyperLink betaFeedbackLink_;
  int allowBackgroundChecks_ = 0;
  std::wstring lastCheckedText_;
  // Where the last background went on a desktop of several monitors; empty otherwise.
  std::wstring lastTargetText_;
  // The logo the picture control loaded from the template.
  fw::TemplateBitmap logo_;
};

}  // namespace framewise
