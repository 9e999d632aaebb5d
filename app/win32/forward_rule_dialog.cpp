#include "app/win32/forward_rule_dialog.h"

#include "app/resource_ids.h"
#include "ui/control_ids.h"
#include "ui/forward_rule_form.h"

namespace tarnu::win32 {
namespace {

// Each switch with its list, in the order the switch word is summed.
struct Condition {
  int box;
  int list;
};
constexpr Condition kConditions[] = {
    {IDC_FORWARD_IF_SUBJECT, IDC_FORWARD_IF_SUBJECT_LIST},
    {IDC_STOP_IF_SUBJECT, IDC_STOP_IF_SUBJECT_LIST},
    {IDC_FORWARD_IF_FROM, IDC_FORWARD_IF_FROM_LIST},
    {IDC_STOP_IF_FROM, IDC_STOP_IF_FROM_LIST},
};

}  // namespace

bool ForwardRuleDialog::Run(HWND owner) { return RunModal(owner, IDD_FORWARD_RULE) == IDOK; }

bool ForwardRuleDialog::OnInit() {
  const ForwardRuleForm form = LoadForwardRuleForm(rule_);
  SetChecked(IDC_FORWARD_IF_SUBJECT, form.forward_if_subject);
  SetChecked(IDC_STOP_IF_SUBJECT, form.stop_if_subject);
  SetChecked(IDC_FORWARD_IF_FROM, form.forward_if_from);
  SetChecked(IDC_STOP_IF_FROM, form.stop_if_from);
  SetText(IDC_FORWARD_IF_SUBJECT_LIST, form.subject_forward);
  SetText(IDC_STOP_IF_SUBJECT_LIST, form.subject_stop);
  SetText(IDC_FORWARD_IF_FROM_LIST, form.from_forward);
  SetText(IDC_STOP_IF_FROM_LIST, form.from_stop);
  for (const Condition& c : kConditions) LimitBytes(c.list, kRuleListTypingLimit);
  UpdateEnabling();
  return true;
}

void ForwardRuleDialog::UpdateEnabling() {
  // The "比較文字列" labels stay enabled; only the lists follow their box.
  for (const Condition& c : kConditions) Enable(c.list, Checked(c.box));
}

bool ForwardRuleDialog::OnCommand(int id, int code) {
  for (const Condition& c : kConditions) {
    if (id == c.box && code == BN_CLICKED) {
      UpdateEnabling();
      return true;
    }
  }
  if (id != IDOK) return false;
  ForwardRuleForm form;
  form.forward_if_subject = Checked(IDC_FORWARD_IF_SUBJECT);
  form.stop_if_subject = Checked(IDC_STOP_IF_SUBJECT);
  form.forward_if_from = Checked(IDC_FORWARD_IF_FROM);
  form.stop_if_from = Checked(IDC_STOP_IF_FROM);
  form.subject_forward = Text(IDC_FORWARD_IF_SUBJECT_LIST);
  form.subject_stop = Text(IDC_STOP_IF_SUBJECT_LIST);
  form.from_forward = Text(IDC_FORWARD_IF_FROM_LIST);
  form.from_stop = Text(IDC_STOP_IF_FROM_LIST);
  FormCheck check = Validate(form);
  if (!check.ok) {
    Refuse(check);
    return true;
  }
  StoreForwardRuleForm(form, &rule_);
  End(IDOK);
  return true;
}

}  // namespace tarnu::win32
