// The secure connection and protocol settings of one host ("通信の設定"),
// opened from the host settings dialog: POP3 and SMTP security, SMTP
// authentication, the certificates the user accepted (shown, and cleared
// on request) and the protocol additions.
#ifndef TARNU_APP_WIN32_HOST_EXTRAS_DIALOG_H_
#define TARNU_APP_WIN32_HOST_EXTRAS_DIALOG_H_

#include <windows.h>

#include "app/win32/dialog.h"
#include "ui/host_extras_form.h"

namespace tarnu::win32 {

class HostExtrasDialog : public Dialog {
 public:
  explicit HostExtrasDialog(HostExtrasForm form) : form_(std::move(form)) {}

  // True after OK; form() then holds values that passed the checks.
  bool Run(HWND owner);
  const HostExtrasForm& form() const { return form_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  const char* HelpTopic() const override { return "serversettei.htm"; }

  void ShowFingerprints();
  void UpdateAuthentication();
  void ReadControls();

  HostExtrasForm form_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_HOST_EXTRAS_DIALOG_H_
