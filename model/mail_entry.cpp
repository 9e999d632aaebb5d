#include "model/mail_entry.h"

namespace tarnu {

bool IsNewMail(const MailEntry& mail, const SurveyResult& history) {
  const std::string& key = HistoryKey(mail);
  for (const MailEntry& seen : history.mails) {
    const std::string& seen_key = HistoryKey(seen);
    if (seen_key == key || (seen_key.empty() && mail.message_id.empty())) return false;
  }
  return true;
}

HistoryIndex::HistoryIndex(const SurveyResult& history) {
  ids_.reserve(history.mails.size());
  for (const MailEntry& seen : history.mails) ids_.insert(HistoryKey(seen));
  holds_empty_key_ = ids_.count(std::string_view()) != 0;
}

bool HistoryIndex::IsNewMail(const MailEntry& mail) const {
  if (Contains(HistoryKey(mail))) return false;
  // An empty key comes from a file written before messages without a
  // Message-ID had keys of their own; it keeps meaning "seen" for them.
  return !(holds_empty_key_ && mail.message_id.empty());
}

void ReplaceHistory(SurveyResult* history, const SurveyResult& current) {
  history->mail_count = current.mail_count;
  history->mailbox_size = current.mailbox_size;
  history->label = current.label;
  history->error = current.error;
  if (!current.mails.empty()) history->mails = current.mails;
}

}  // namespace tarnu
