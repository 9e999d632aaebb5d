// The forwarding conditions dialog ("転送条件設定"), opened from the host
// settings dialog on its copy of the host's rule.
#ifndef TARNU_APP_WIN32_FORWARD_RULE_DIALOG_H_
#define TARNU_APP_WIN32_FORWARD_RULE_DIALOG_H_

#include "app/win32/dialog.h"
#include "model/host_entry.h"

namespace tarnu::win32 {

class ForwardRuleDialog : public Dialog {
 public:
  explicit ForwardRuleDialog(const ForwardRule& rule) : rule_(rule) {}

  // True after OK; rule() then holds the edited rule.
  bool Run(HWND owner);
  const ForwardRule& rule() const { return rule_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  const char* HelpTopic() const override { return "tensousettei.htm"; }
  void UpdateEnabling();

  ForwardRule rule_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_FORWARD_RULE_DIALOG_H_
