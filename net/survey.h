// The mailbox survey: login, STAT, then LIST and TOP for every message.
#ifndef TARNU_NET_SURVEY_H_
#define TARNU_NET_SURVEY_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "model/mail_entry.h"
#include "net/pop3_account.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// Surveys the mailbox into `result`: one MailEntry per message in server
// order, the mailbox size, the label (server address) and, after a failure,
// the error text with an empty list. Progress goes to `status` (may be null),
// whose title is restored before returning. Returns 0 or -1.
int SurveyMailbox(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
                  MessagePump* pump, UserMessages* messages);

// The value of header field `name` (e.g. "subject:") in a decoded header
// block, found only where a header line starts, into `value` (at most
// capacity - 2 bytes: 1021 with the survey's 1023). The value runs over
// folded lines to the line end before the next line holding a colon; the
// last field of the block runs to its end, without the block's final CR.
// Returns 0 when found, -1 otherwise (value empty).
int FindHeaderValue(std::string_view name, std::string_view block, std::string* value,
                    std::size_t capacity = 1023);

}  // namespace tarnu

#endif  // TARNU_NET_SURVEY_H_
