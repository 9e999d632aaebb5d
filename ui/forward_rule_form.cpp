#include "ui/forward_rule_form.h"

#include "ui/control_ids.h"

namespace tarnu {

ForwardRuleForm LoadForwardRuleForm(const ForwardRule& rule) {
  ForwardRuleForm form;
  form.forward_if_subject = (rule.switches & kForwardIfSubject) != 0;
  form.forward_if_from = (rule.switches & kForwardIfFrom) != 0;
  form.stop_if_subject = (rule.switches & kStopIfSubject) != 0;
  form.stop_if_from = (rule.switches & kStopIfFrom) != 0;
  form.subject_forward = rule.subject_forward;
  form.from_forward = rule.from_forward;
  form.subject_stop = rule.subject_stop;
  form.from_stop = rule.from_stop;
  return form;
}

std::int32_t SwitchWord(const ForwardRuleForm& form) {
  std::int32_t word = 0;
  if (form.forward_if_subject) word += kForwardIfSubject;
  if (form.stop_if_subject) word += kStopIfSubject;
  if (form.forward_if_from) word += kForwardIfFrom;
  if (form.stop_if_from) word += kStopIfFrom;
  return word;
}

FormCheck Validate(const ForwardRuleForm& form) {
  FormCheck failure;
  if (!CheckLength(form.from_forward, kRuleListLimit, IDC_FORWARD_IF_FROM_LIST, &failure) ||
      !CheckLength(form.subject_forward, kRuleListLimit, IDC_FORWARD_IF_SUBJECT_LIST, &failure) ||
      !CheckLength(form.from_stop, kRuleListLimit, IDC_STOP_IF_FROM_LIST, &failure) ||
      !CheckLength(form.subject_stop, kRuleListLimit, IDC_STOP_IF_SUBJECT_LIST, &failure)) {
    return failure;
  }
  return FormCheck::Passed();
}

bool StoreForwardRuleForm(const ForwardRuleForm& form, ForwardRule* rule) {
  if (!Validate(form).ok) return false;
  rule->switches = SwitchWord(form);
  rule->subject_forward = form.subject_forward;
  rule->from_forward = form.from_forward;
  rule->subject_stop = form.subject_stop;
  rule->from_stop = form.from_stop;
  return true;
}

std::string RuleSummaryText(const ForwardRule& rule) {
  return rule.switches != 0 ? "あり" : "なし";
}

}  // namespace tarnu
