// The key under which the history remembers a message. Most messages are
// known by their Message-ID as it stands; the keys made here cover the two
// kinds a history slot cannot hold as they are, and they never equal a
// Message-ID kept as it stands (every made key holds a 0x01 byte, and a
// Message-ID holding one is never kept as it stands).
#ifndef TARNU_NET_MESSAGE_IDENTITY_H_
#define TARNU_NET_MESSAGE_IDENTITY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnu {

// The longest Message-ID a history record holds as it stands.
inline constexpr std::size_t kHistoryKeyLimit = 756;

// The key of a message whose Message-ID is `message_id`, or, when it has
// none, whose raw (undecoded) header block is `raw_header` and whose size
// is `size`:
// - a Message-ID of at most kHistoryKeyLimit bytes without a 0x01 byte is
//   its own key;
// - a longer one becomes its first 700 bytes, 0x01 and the MD5 of the whole
//   ID in hex, so that every long ID keeps one stable key that fits;
// - without a Message-ID the key is 0x01, "noid:" and the MD5 of the raw
//   Date, From and Subject values and the size, so that such messages are
//   told apart instead of all sharing the empty key.
// Two messages alike in all of these get the same key; MakeKeysUnique tells
// them apart within one mailbox.
std::string MessageHistoryKey(std::string_view message_id, std::string_view raw_header,
                              std::int32_t size);

// Keys that repeat within one survey: the second and later copies of a made
// key get "#2", "#3"... so that each message of a mailbox keeps a key of its
// own. Keys that are Message-IDs as they stand are left alone (the same
// Message-ID twice is the same message delivered twice).
class KeyCounter {
 public:
  // May throw std::bad_alloc.
  std::string Unique(std::string key);

 private:
  std::unordered_map<std::string, int> counts_;
};

}  // namespace tarnu

#endif  // TARNU_NET_MESSAGE_IDENTITY_H_
