// The survey's cache of the messages a server lists by unique id (UIDL, RFC
// 1939 section 7): what the survey made of each message (the fields the
// result list shows), kept in "tarnu.uidl" beside the history so that a
// known message is not fetched again. The cache is ours alone: the history
// file stays what it is, and a cache that is missing, damaged or of another
// version only means that every message is fetched as before.
//
// The file: a 24-byte header ("tarnu uidl cache", the format version, the
// survey's fields version), then records, each a 32-bit length, the CRC-32 of
// its payload and the payload: a mailbox ('M': id, server, port, user,
// lines) or a message of a mailbox ('E': mailbox id, unique id, size,
// Message-ID, history key, From, Subject, Cc, To, body). Integers are 32-bit
// little-endian; texts are a length and their bytes. New messages are
// appended; the file is rewritten (through a temporary file) only when it
// was damaged or when messages gone from the server pass a threshold.
#ifndef TARNU_MODEL_UIDL_CACHE_H_
#define TARNU_MODEL_UIDL_CACHE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "model/mail_entry.h"
#include "platform/file_io.h"

namespace tarnu {

inline constexpr char kUidlCacheFileName[] = "tarnu.uidl";

// Which mailbox a part of the cache belongs to. The lines fetched are part
// of it, since the excerpt depends on them.
struct UidlMailbox {
  std::string server;
  int port = 0;
  std::string user;
  int lines = 0;
};

class UidlCache {
 public:
  // `fields_version` names what the survey makes of a message; records
  // written under another one are not used.
  UidlCache(std::string path, std::uint32_t fields_version);
  UidlCache(const UidlCache&) = delete;
  UidlCache& operator=(const UidlCache&) = delete;

  // Reads where every record lies (not the records themselves). A missing
  // file is an empty cache. A file that is damaged or of another version
  // counts as empty and is kept as "<name>.bak" when it is next rewritten;
  // Load then returns false. A record cut short at the end (a save that was
  // interrupted) ends what is read. May throw std::bad_alloc.
  bool Load();

  // Chooses the mailbox that Take and Store work on; returns the number of
  // records the cache holds for it. May throw std::bad_alloc.
  std::size_t Select(const UidlMailbox& mailbox);

  // Fills the fields the survey sets (From, Subject, Cc, body, To,
  // Message-ID, size, and in history_key the key before it was told apart
  // from others alike) of the selected mailbox's message `uid`;
  // false when the cache does not know it or its record cannot be read.
  // May throw std::bad_alloc.
  bool Take(std::string_view uid, MailEntry* mail);

  // After a survey of the selected mailbox that listed every message by its
  // unique id: `mails` and `uids` are its messages in order, `fetched[i]`
  // true for those the survey fetched (not taken from here). Appends those;
  // rewrites the file when it was damaged or when the records of messages
  // no longer listed pass a threshold. Returns false when the file could not
  // be written (the next check then fetches what is missing). May throw
  // std::bad_alloc.
  // `base_keys` holds, by index, the history key a message had before it
  // was told apart from others alike in the mailbox (none: its Message-ID),
  // which is what is kept.
  bool Store(const std::vector<MailEntry>& mails, const std::vector<std::string_view>& uids,
             const std::vector<bool>& fetched,
             const std::unordered_map<std::size_t, std::string>& base_keys = {});

  // The mailboxes of the hosts there are now. Records of other mailboxes
  // (a host removed, or its lines changed) count as stale and are dropped
  // when the file is next rewritten. Until it is called every mailbox is
  // kept. May throw std::bad_alloc.
  void KeepOnly(std::vector<UidlMailbox> current);

  // Records of messages the last Store found no longer listed: kept until
  // there are more of them than this, and more than a quarter of the listed.
  static constexpr std::size_t kStaleFloor = 256;

 private:
  struct Place {
    std::uint64_t hash;  // of the unique id
    std::uint64_t offset;
    std::uint32_t length;  // of the whole record
    std::uint32_t mailbox;
  };
  struct Mailbox {
    UidlMailbox key;
    std::uint32_t id;
  };

  bool IsCurrent(std::uint32_t mailbox_id) const;
  bool Rewrite(const std::vector<MailEntry>& mails, const std::vector<std::string_view>& uids,
               const std::unordered_map<std::size_t, std::string>& base_keys);
  bool Append(const std::vector<MailEntry>& mails, const std::vector<std::string_view>& uids,
              const std::vector<bool>& fetched,
              const std::unordered_map<std::size_t, std::string>& base_keys);
  void Forget();

  std::string path_;
  std::uint32_t fields_version_;
  platform::File file_;
  bool usable_ = true;     // false when the file could not be opened
  bool clean_ = true;      // the file is missing or was read to its end
  std::uint64_t end_ = 0;  // where the next record goes
  std::vector<Mailbox> mailboxes_;
  std::vector<Place> places_;  // every record of a message, in file order
  // The selected mailbox: its id (none yet in the file: selected_id_ is
  // kNoMailbox), its records sorted by hash, and which of them were taken.
  UidlMailbox selected_;
  std::uint32_t selected_id_ = 0;
  std::vector<Place> selected_places_;
  std::vector<bool> taken_;
  std::vector<UidlMailbox> current_;
  bool keep_all_ = true;
  // Read ahead of Take.
  std::string window_;
  std::uint64_t window_at_ = 0;
};

// CRC-32 (the one of zip and PNG) of `bytes`.
std::uint32_t Crc32(std::string_view bytes);

}  // namespace tarnu

#endif  // TARNU_MODEL_UIDL_CACHE_H_
