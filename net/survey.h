// The mailbox survey: login, STAT, then LIST and TOP for every message.
#ifndef TARNU_NET_SURVEY_H_
#define TARNU_NET_SURVEY_H_

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

// Lines the survey asks TOP for when the first `lines` body lines are not
// the first lines of the text (multipart, base64, quoted-printable): a first
// try, and one more when that was cut short before the excerpt was whole.
int ExcerptFetchLines(int lines, int attempt);

}  // namespace tarnu

#endif  // TARNU_NET_SURVEY_H_
