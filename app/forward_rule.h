// The forwarding decision for one new message: the host's four word lists
// against its subject and sender.
#ifndef TARNU_APP_FORWARD_RULE_H_
#define TARNU_APP_FORWARD_RULE_H_

#include <string_view>

#include "model/host_entry.h"
#include "model/mail_entry.h"

namespace tarnu {

// True when the message is to be forwarded. No switch on forwards
// everything; a stop list that matches wins over any forward list; with a
// forward switch on, only a message that matches a forward list passes.
bool MatchForwardRule(const ForwardRule& rule, const MailEntry& mail);

// True when an item of the comma-separated `list` (code page 932, as
// tarnu.pref holds it) occurs in `text` (mail text, UTF-8), letter case
// ignored (UpperCaseUtf8: the same folding as code page 932's for every
// character it holds) and the item trimmed of space, tab, CR, LF, vertical
// tab and form feed. A match must start and end on character boundaries of
// the text. Empty items, and so an empty list, never match.
bool MatchListItem(std::string_view text, std::string_view list);

}  // namespace tarnu

#endif  // TARNU_APP_FORWARD_RULE_H_
