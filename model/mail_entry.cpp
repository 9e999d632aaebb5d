#include "model/mail_entry.h"

#include <algorithm>

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

HistoryIndex HistoryIndex::Copy(const SurveyResult& history) {
  HistoryIndex index;
  std::size_t total = 0;
  for (const MailEntry& seen : history.mails) total += seen.message_id.size();
  // Sized once: the views below point into it.
  index.copy_.resize(total);
  index.ids_.reserve(history.mails.size());
  std::size_t at = 0;
  for (const MailEntry& seen : history.mails) {
    const std::string& id = seen.message_id;
    std::copy(id.begin(), id.end(), index.copy_.begin() + static_cast<std::ptrdiff_t>(at));
    index.ids_.insert(std::string_view(index.copy_.data() + at, id.size()));
    at += id.size();
  }
  return index;
}

bool HistoryIndex::IsNewMail(const MailEntry& mail) const { return !Contains(mail.message_id); }

void ReplaceHistory(SurveyResult* history, const SurveyResult& current) {
  history->mail_count = current.mail_count;
  history->mailbox_size = current.mailbox_size;
  history->label = current.label;
  history->error = current.error;
  if (current.mails.empty()) return;
  // A history is asked only which messages it holds: it keeps their keys and
  // not the rest, which the rows of the result list already hold.
  std::vector<MailEntry> keys(current.mails.size());
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i].message_id = current.mails[i].message_id;
  history->mails = std::move(keys);
}

}  // namespace tarnu
