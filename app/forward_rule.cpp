#include "app/forward_rule.h"

#include <string>
#include <vector>

#include "codec/utf8_text.h"
#include "platform/text_convert.h"

namespace tarnu {
namespace {

bool IsTrimmed(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view item) {
  while (!item.empty() && IsTrimmed(item.front())) item.remove_prefix(1);
  while (!item.empty() && IsTrimmed(item.back())) item.remove_suffix(1);
  return item;
}

// An occurrence of `item` in `text` that starts and ends where characters
// start, so a trail byte that looks like a letter is never matched.
bool OccursOnBoundary(const std::string& text, const std::vector<bool>& starts,
                      std::string_view item) {
  for (std::size_t at = text.find(item); at != std::string::npos; at = text.find(item, at + 1)) {
    if (starts[at] && starts[at + item.size()]) return true;
  }
  return false;
}

}  // namespace

bool MatchListItem(std::string_view text, std::string_view list) {
  // The mail's text is UTF-8; the list, from tarnu.pref, code page 932.
  const std::string upper_text = UpperCaseUtf8(text);
  const std::string upper_list = UpperCaseUtf8(platform::Cp932ToUtf8(list));
  std::vector<bool> starts(upper_text.size() + 1, false);
  for (std::size_t i = 0; i < upper_text.size(); i += Utf8StepLength(upper_text, i)) {
    starts[i] = true;
  }
  starts[upper_text.size()] = true;
  std::string_view rest = upper_list;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view item = Trim(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (!item.empty() && OccursOnBoundary(upper_text, starts, item)) return true;
  }
  return false;
}

bool MatchForwardRule(const ForwardRule& rule, const MailEntry& mail) {
  if (rule.switches == 0) return true;
  if ((rule.switches & kStopIfSubject) && MatchListItem(mail.subject, rule.subject_stop)) {
    return false;
  }
  if ((rule.switches & kStopIfFrom) && MatchListItem(mail.from, rule.from_stop)) return false;
  bool forward = true;
  if (rule.switches & kForwardIfSubject) {
    forward = false;
    if (MatchListItem(mail.subject, rule.subject_forward)) return true;
  }
  if (rule.switches & kForwardIfFrom) {
    forward = false;
    if (MatchListItem(mail.from, rule.from_forward)) return true;
  }
  return forward;
}

}  // namespace tarnu
