#include "model/mail_entry.h"

namespace tarnu {

bool IsNewMail(const MailEntry& mail, const SurveyResult& history) {
  for (const MailEntry& seen : history.mails) {
    if (seen.message_id == mail.message_id) return false;
  }
  return true;
}

HistoryIndex::HistoryIndex(const SurveyResult& history) {
  ids_.reserve(history.mails.size());
  for (const MailEntry& seen : history.mails) ids_.insert(seen.message_id);
}

bool HistoryIndex::IsNewMail(const MailEntry& mail) const { return !Contains(mail.message_id); }

void ReplaceHistory(SurveyResult* history, const SurveyResult& current) {
  history->mail_count = current.mail_count;
  history->mailbox_size = current.mailbox_size;
  history->label = current.label;
  history->error = current.error;
  if (!current.mails.empty()) history->mails = current.mails;
}

}  // namespace tarnu
