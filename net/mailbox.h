// The survey's frame around a POP3 session: the login and STAT written into
// the host's SurveyResult, and the failure path that leaves the result
// holding only the error text.
#ifndef TARNU_NET_MAILBOX_H_
#define TARNU_NET_MAILBOX_H_

#include <string>

#include "model/mail_entry.h"
#include "net/pop3_account.h"
#include "net/pop3_session.h"

namespace tarnu {

// Opens a mailbox for the survey: the result's label becomes the server
// address, then the login and STAT, whose size goes into the result. Returns
// the number of messages (>= 0), or -1 after the failure path.
int OpenMailbox(const Pop3Account& account, SurveyResult* result, Pop3Session* session);

// "QUIT", close, title back.
void CloseMailbox(Pop3Session* session);

// After a session step failed (its failure path has run): the session's
// error text goes into the result and the gathered messages are discarded
// (a host delivers its whole list or none; the mail count stays). Returns -1.
int MailboxFailed(const Pop3Session& session, SurveyResult* result);

// The session's failure path with `text`, then MailboxFailed. Returns -1.
int FailMailbox(Pop3Session* session, SurveyResult* result, std::string text);

}  // namespace tarnu

#endif  // TARNU_NET_MAILBOX_H_
