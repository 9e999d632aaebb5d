// The values of the forwarding conditions dialog ("転送条件設定").
#ifndef TARNU_UI_FORWARD_RULE_FORM_H_
#define TARNU_UI_FORWARD_RULE_FORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "model/host_entry.h"
#include "ui/form_check.h"

namespace tarnu {

// A list is typed into a 100-byte edit but its file slot holds 72 bytes; a
// longer list is refused rather than cut.
inline constexpr std::size_t kRuleListTypingLimit = 100;
inline constexpr std::size_t kRuleListLimit = 72;

struct ForwardRuleForm {
  bool forward_if_subject = false;  // 1075, list 1076
  bool forward_if_from = false;     // 1079, list 1080
  bool stop_if_subject = false;     // 1077, list 1078
  bool stop_if_from = false;        // 1081, list 1083
  std::string subject_forward;
  std::string from_forward;
  std::string subject_stop;
  std::string from_stop;
};

ForwardRuleForm LoadForwardRuleForm(const ForwardRule& rule);

// The switch word of the checked boxes (1, 4, 2 and 8 for 1075, 1077, 1079
// and 1081), which also decides which list edits are enabled.
std::int32_t SwitchWord(const ForwardRuleForm& form);

// The lists in the order 1080, 1076, 1083, 1078, at most 72 bytes each. An
// empty list under a checked box is accepted.
FormCheck Validate(const ForwardRuleForm& form);

// The switch word and the four lists as typed (also those of cleared boxes).
// A form that does not pass Validate changes nothing (false).
bool StoreForwardRuleForm(const ForwardRuleForm& form, ForwardRule* rule);

// "あり" when any switch is set, else "なし", as the host settings show it.
std::string RuleSummaryText(const ForwardRule& rule);

}  // namespace tarnu

#endif  // TARNU_UI_FORWARD_RULE_FORM_H_
