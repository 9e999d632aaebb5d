#include "model/mail_entry.h"

namespace tarnu {

namespace {

bool Matches(const std::string& seen_key, const MailEntry& mail, const std::string& key) {
  return seen_key == key || (seen_key.empty() && mail.message_id.empty());
}

}  // namespace

std::vector<std::string> HistoryKeys(const SurveyResult& history) {
  std::vector<std::string> keys;
  for (const MailEntry& mail : history.mails) keys.push_back(HistoryKey(mail));
  if (history.stored_keys) {
    keys.insert(keys.end(), history.stored_keys->begin(), history.stored_keys->end());
  }
  return keys;
}

bool IsNewMail(const MailEntry& mail, const SurveyResult& history) {
  const std::string& key = HistoryKey(mail);
  for (const MailEntry& seen : history.mails) {
    if (Matches(HistoryKey(seen), mail, key)) return false;
  }
  if (history.stored_keys) {
    for (const std::string& seen_key : *history.stored_keys) {
      if (Matches(seen_key, mail, key)) return false;
    }
  }
  return true;
}

HistoryIndex::HistoryIndex(const SurveyResult& history) {
  const std::size_t stored = history.stored_keys ? history.stored_keys->size() : 0;
  ids_.reserve(history.mails.size() + stored);
  for (const MailEntry& seen : history.mails) ids_.insert(HistoryKey(seen));
  if (stored != 0) {
    for (const std::string& key : *history.stored_keys) ids_.insert(key);
  }
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
  if (!current.mails.empty()) {
    history->mails = current.mails;
    history->stored_keys.reset();
  }
}

}  // namespace tarnu
