// The basic settings dialog ("基本設定").
#ifndef TARNU_APP_WIN32_SETTINGS_DIALOG_H_
#define TARNU_APP_WIN32_SETTINGS_DIALOG_H_

#include "app/win32/dialog.h"
#include "model/app_settings.h"
#include "ui/settings_form.h"

namespace tarnu::win32 {

class SettingsDialog : public Dialog {
 public:
  explicit SettingsDialog(const AppSettings& settings) : form_(LoadSettingsForm(settings)) {}

  // True after OK; form() then holds values that passed the checks.
  bool Run(HWND owner);
  const SettingsForm& form() const { return form_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  const char* HelpTopic() const override { return "chakushinsettei.htm"; }

  void Fill();
  void ReadControls();
  void UpdatePeriodic();
  void ChooseDisplayFont();

  SettingsForm form_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_SETTINGS_DIALOG_H_
