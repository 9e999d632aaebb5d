// The basic settings dialog ("基本設定").
#ifndef TARNU_APP_WIN32_SETTINGS_DIALOG_H_
#define TARNU_APP_WIN32_SETTINGS_DIALOG_H_

#include "app/win32/dialog.h"
#include "model/app_settings.h"
#include "ui/settings_form.h"

namespace tarnu::win32 {

// The switches of the dialog that tarnu.pref has no room for: the
// notification (tarnu.ini) and the start at sign-in (the Run key).
struct DesktopSwitches {
  bool notify_new_mail = true;
  bool start_at_sign_in = false;
};

class SettingsDialog : public Dialog {
 public:
  SettingsDialog(const AppSettings& settings, const DesktopSwitches& switches)
      : form_(LoadSettingsForm(settings)), switches_(switches) {}

  // True after OK; form() then holds values that passed the checks.
  bool Run(HWND owner);
  const SettingsForm& form() const { return form_; }
  const DesktopSwitches& switches() const { return switches_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  const char* HelpTopic() const override { return "chakushinsettei.htm"; }

  void Fill();
  void ReadControls();
  void UpdatePeriodic();
  void ChooseDisplayFont();

  SettingsForm form_;
  DesktopSwitches switches_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_SETTINGS_DIALOG_H_
