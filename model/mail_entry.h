// What tarnu knows about the messages on a server: one MailEntry per message
// found by a mailbox survey, and the SurveyResult of one survey of one host.
#ifndef TARNU_MODEL_MAIL_ENTRY_H_
#define TARNU_MODEL_MAIL_ENTRY_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace tarnu {

// One surveyed message. The shown texts (from, subject, cc, body, to) are
// UTF-8; the Message-ID is kept as the server sent it.
struct MailEntry {
  std::string from;
  std::string subject;
  std::string cc;
  std::string body;  // the body lines fetched with the header, decoded
  std::string to;
  std::string message_id;
  std::uint8_t forwarded = 0;  // 1 once the notification mail was accepted
  std::string state;           // "転送条件外" or a forwarding failure text
  std::int32_t size = 0;       // octets, from LIST
  // The message's key in the history when it differs from the Message-ID
  // (a Message-ID too long for a record, or none at all); set by the survey.
  std::string history_key;

  void Reset() { *this = MailEntry(); }
};

struct SurveyResult {
  std::int32_t mail_count = 0;
  std::int32_t mailbox_size = 0;
  std::string label;  // server address during the survey, then the host name
  std::string error;  // empty after a successful survey
  std::vector<MailEntry> mails;
  // Keys read from the history file for this host's server address. Every
  // host with that address receives all of them, so they are kept once and
  // shared: they belong to a history like the entries of `mails` (after
  // them), and go with the list when ReplaceHistory replaces it.
  std::shared_ptr<const std::vector<std::string>> stored_keys;

  void Clear() { *this = SurveyResult(); }
};

// The key that stands for `mail` in a history: its history_key when the
// survey made one, else its Message-ID.
inline const std::string& HistoryKey(const MailEntry& mail) {
  return mail.history_key.empty() ? mail.message_id : mail.history_key;
}

// Every key a history holds, in order: its entries', then the stored ones.
std::vector<std::string> HistoryKeys(const SurveyResult& history);

// True when `history` holds no message whose key equals the mail's, byte for
// byte. A history entry with an empty key (what older files hold for a
// message without a Message-ID) still stands for every message without one. Costs one pass over the
// history; for many mails against one history use HistoryIndex.
bool IsNewMail(const MailEntry& mail, const SurveyResult& history);

// The Message-IDs of one history, hashed once so that deciding new against
// seen for a whole mailbox stays linear. Refers to the history's strings: the
// history must outlive the index and stay unchanged while it is used.
class HistoryIndex {
 public:
  explicit HistoryIndex(const SurveyResult& history);
  // An index with a copy of the Message-IDs of its own, for a history that
  // may change or go while the index is used. May throw std::bad_alloc.
  static HistoryIndex Copy(const SurveyResult& history);

  bool IsNewMail(const MailEntry& mail) const;
  bool Contains(std::string_view key) const { return ids_.count(key) != 0; }

 private:
  HistoryIndex() = default;
  std::vector<char> copy_;  // the copied IDs, end to end
  std::unordered_set<std::string_view> ids_;
  bool holds_empty_key_ = false;
};

// history := current. Counters, label and error text always; the message list
// only when the current result holds at least one message, so that a failed
// survey or an empty mailbox never forgets what was seen. The new list is
// kept as the messages' keys alone (stored_keys), not as whole entries.
void ReplaceHistory(SurveyResult* history, const SurveyResult& current);

}  // namespace tarnu

#endif  // TARNU_MODEL_MAIL_ENTRY_H_
