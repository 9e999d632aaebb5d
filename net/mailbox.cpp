#include "net/mailbox.h"

#include <utility>

namespace tarnu {

int MailboxFailed(const Pop3Session& session, SurveyResult* result) {
  result->error = session.error();
  result->mails.clear();
  return -1;
}

int FailMailbox(Pop3Session* session, SurveyResult* result, std::string text) {
  session->Fail(std::move(text));
  return MailboxFailed(*session, result);
}

int OpenMailbox(const Pop3Account& account, SurveyResult* result, Pop3Session* session) {
  result->label = account.server;
  int count = 0;
  int size = 0;
  if (!session->Login(account, true) || !session->Stat(&count, &size)) {
    return MailboxFailed(*session, result);
  }
  result->mailbox_size = size;
  return count;
}

void CloseMailbox(Pop3Session* session) { session->Quit(); }

}  // namespace tarnu
