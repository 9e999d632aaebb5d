// The mailbox survey: login, STAT, then LIST and TOP for every message.
#ifndef TARNU_NET_SURVEY_H_
#define TARNU_NET_SURVEY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/mail_entry.h"
#include "model/uidl_cache.h"
#include "net/pop3_account.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// What the survey makes of a message. Raise it whenever that changes, so
// that entries cached by an older version are fetched again.
inline constexpr std::uint32_t kSurveyFieldsVersion = 1;

// A survey that may take known messages from a cache instead of fetching
// them (when the server lists its messages by unique id), and what it tells
// the caller to keep in the cache.
struct UidlUse {
  UidlCache* cache = nullptr;  // in: Select()ed on the host's mailbox
  // Out. `listed`: the server listed every message by a unique id (UIDL,
  // with LIST for the sizes), and the survey went through; then `uids` are
  // the ids in message order (pointing into `listing`) and `fetched[i]` is
  // true for the messages fetched rather than taken from the cache.
  bool listed = false;
  std::string listing;
  std::vector<std::string_view> uids;
  std::vector<bool> fetched;
  // By message index, the key the survey made for a message whose
  // Message-ID is not its key, before it was told apart from others alike.
  std::unordered_map<std::size_t, std::string> base_keys;
};

// Surveys the mailbox into `result`: one MailEntry per message in server
// order, the mailbox size, the label (server address) and, after a failure,
// the error text with an empty list. Progress goes to `status` (may be null),
// whose title is restored before returning. Returns 0 or -1.
//
// When the account allows it and the server offers it (CAPA), LIST and TOP
// are pipelined (RFC 2449); a server that then answers out of step is
// surveyed again from the start, one command at a time. With `uidl` (may be
// null) and the account allowing it, messages the server lists by a unique
// id that the cache knows are taken from it; the rows come out as the full
// survey would make them.
int SurveyMailbox(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
                  MessagePump* pump, UserMessages* messages, UidlUse* uidl = nullptr);

// Lines the survey asks TOP for when the first `lines` body lines are not
// the first lines of the text (multipart, base64, quoted-printable): a first
// try, and one more when that was cut short before the excerpt was whole.
int ExcerptFetchLines(int lines, int attempt);

// The parts of a listing reply (UIDL or LIST without an argument, RFC 1939
// section 5 and 7): one line per message, "n value", numbered 1 to `total`
// in order. `values` point into `listing`. False when the listing is not
// exactly that: a line missing, out of order or unreadable, a unique id
// that is empty, longer than 70 bytes or holds bytes outside 0x21-0x7E, or
// (`unique`) an id that comes twice.
bool ParseListing(std::string_view listing, int total, bool unique,
                  std::vector<std::string_view>* values);

}  // namespace tarnu

#endif  // TARNU_NET_SURVEY_H_
