#include "model/mail_entry.h"

#include <algorithm>

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

HistoryIndex HistoryIndex::Copy(const SurveyResult& history) {
  HistoryIndex index;
  std::size_t total = 0;
  std::size_t count = history.mails.size();
  for (const MailEntry& seen : history.mails) total += HistoryKey(seen).size();
  if (history.stored_keys) {
    for (const std::string& key : *history.stored_keys) total += key.size();
    count += history.stored_keys->size();
  }
  // Sized once: the views below point into it.
  index.copy_.resize(total);
  index.ids_.reserve(count);
  std::size_t at = 0;
  auto add = [&](const std::string& key) {
    std::copy(key.begin(), key.end(), index.copy_.begin() + static_cast<std::ptrdiff_t>(at));
    index.ids_.insert(std::string_view(index.copy_.data() + at, key.size()));
    at += key.size();
  };
  for (const MailEntry& seen : history.mails) add(HistoryKey(seen));
  if (history.stored_keys) {
    for (const std::string& key : *history.stored_keys) add(key);
  }
  index.holds_empty_key_ = index.ids_.count(std::string_view()) != 0;
  return index;
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
  if (current.mails.empty()) return;
  // A history is asked only which messages it holds: it keeps their keys,
  // not the messages, which the rows of the result list hold.
  auto keys = std::make_shared<std::vector<std::string>>();
  keys->reserve(current.mails.size());
  for (const MailEntry& mail : current.mails) keys->push_back(HistoryKey(mail));
  history->mails.clear();
  history->stored_keys = std::move(keys);
}

}  // namespace tarnu
