#include "model/uidl_cache.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <utility>

#include "model/file_protection.h"

namespace tarnu {
namespace {

constexpr char kMagic[16] = {'t', 'a', 'r', 'n', 'u', ' ', 'u', 'i',
                             'd', 'l', ' ', 'c', 'a', 'c', 'h', 'e'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kHeaderSize = 24;
constexpr std::size_t kRecordHead = 8;  // length and CRC
// No record is larger: a bigger one can only come from damage.
constexpr std::uint32_t kMaxPayload = 16u << 20;
constexpr std::uint32_t kNoMailbox = 0xFFFFFFFFu;
// Records are read and copied this many bytes at a time.
constexpr std::size_t kBlock = 1u << 18;

std::uint64_t HashOf(std::string_view text) {
  std::uint64_t h = 14695981039346656037ull;  // FNV-1a
  for (unsigned char c : text) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

void PutU32(std::string* out, std::uint32_t v) {
  const char bytes[4] = {static_cast<char>(v & 0xFF), static_cast<char>((v >> 8) & 0xFF),
                         static_cast<char>((v >> 16) & 0xFF), static_cast<char>(v >> 24)};
  out->append(bytes, 4);
}

std::uint32_t GetU32(const char* p) {
  const unsigned char* b = reinterpret_cast<const unsigned char*>(p);
  return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
         static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
}

void PutText(std::string* out, std::string_view text) {
  PutU32(out, static_cast<std::uint32_t>(text.size()));
  out->append(text.data(), text.size());
}

// Reads a payload; every read is checked against its end.
class Reader {
 public:
  explicit Reader(std::string_view data) : data_(data) {}
  bool U32(std::uint32_t* v) {
    if (data_.size() - pos_ < 4) return false;
    *v = GetU32(data_.data() + pos_);
    pos_ += 4;
    return true;
  }
  bool Int(std::int32_t* v) {
    std::uint32_t u;
    if (!U32(&u)) return false;
    *v = static_cast<std::int32_t>(u);
    return true;
  }
  bool Text(std::string_view* text) {
    std::uint32_t n;
    if (!U32(&n) || data_.size() - pos_ < n) return false;
    *text = data_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  bool Text(std::string* text) {
    std::string_view view;
    if (!Text(&view)) return false;
    text->assign(view.data(), view.size());
    return true;
  }
  bool Byte(char* c) {
    if (pos_ >= data_.size()) return false;
    *c = data_[pos_++];
    return true;
  }
  bool AtEnd() const { return pos_ == data_.size(); }

 private:
  std::string_view data_;
  std::size_t pos_ = 0;
};

// Closes a payload written after a placeholder head at `start`.
void Seal(std::string* out, std::size_t start) {
  const std::size_t length = out->size() - start - kRecordHead;
  const std::uint32_t crc = Crc32(std::string_view(*out).substr(start + kRecordHead));
  std::string head;
  PutU32(&head, static_cast<std::uint32_t>(length));
  PutU32(&head, crc);
  out->replace(start, kRecordHead, head);
}

void PutMailboxRecord(std::string* out, std::uint32_t id, const UidlMailbox& mailbox) {
  const std::size_t start = out->size();
  out->append(kRecordHead, '\0');
  out->push_back('M');
  PutU32(out, id);
  PutText(out, mailbox.server);
  PutU32(out, static_cast<std::uint32_t>(mailbox.port));
  PutText(out, mailbox.user);
  PutU32(out, static_cast<std::uint32_t>(mailbox.lines));
  Seal(out, start);
}

// False (and nothing added) for a message too large to keep.
bool PutMessageRecord(std::string* out, std::uint32_t mailbox, std::string_view uid,
                      const MailEntry& mail, std::string_view base_key) {
  const std::size_t start = out->size();
  out->append(kRecordHead, '\0');
  out->push_back('E');
  PutU32(out, mailbox);
  PutText(out, uid);
  PutU32(out, static_cast<std::uint32_t>(mail.size));
  PutText(out, mail.message_id);
  PutText(out, base_key);
  PutText(out, mail.from);
  PutText(out, mail.subject);
  PutText(out, mail.cc);
  PutText(out, mail.to);
  PutText(out, mail.body);
  if (out->size() - start - kRecordHead > kMaxPayload) {
    out->resize(start);
    return false;
  }
  Seal(out, start);
  return true;
}

std::string_view BaseKey(const std::unordered_map<std::size_t, std::string>& keys, std::size_t i) {
  auto found = keys.find(i);
  return found == keys.end() ? std::string_view() : std::string_view(found->second);
}

bool SameMailbox(const UidlMailbox& a, const UidlMailbox& b) {
  return a.port == b.port && a.lines == b.lines && a.server == b.server && a.user == b.user;
}

std::string Header(std::uint32_t fields_version) {
  std::string header(kMagic, sizeof kMagic);
  PutU32(&header, kFormatVersion);
  PutU32(&header, fields_version);
  return header;
}

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char b : bytes) crc = table[(crc ^ b) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

UidlCache::UidlCache(std::string path, std::uint32_t fields_version)
    : path_(std::move(path)), fields_version_(fields_version) {}

void UidlCache::Forget() {
  file_.Close();
  usable_ = true;
  clean_ = true;
  end_ = 0;
  mailboxes_.clear();
  places_.clear();
  selected_id_ = kNoMailbox;
  selected_places_.clear();
  taken_.clear();
}

bool UidlCache::Load() {
  Forget();
  switch (file_.OpenForUpdate(path_)) {
    case platform::OpenStatus::kMissing:
      NoteLoadResult(path_, true);
      return true;
    case platform::OpenStatus::kFailed:
    case platform::OpenStatus::kNotAFile:
      // Locked or not a file: neither used nor written this time.
      usable_ = false;
      return false;
    case platform::OpenStatus::kOpened:
      break;
  }
  std::uint64_t size = 0;
  char header[kHeaderSize];
  std::size_t got = 0;
  if (!file_.Size(&size) || !file_.ReadAt(0, header, kHeaderSize, &got) || got < kHeaderSize ||
      std::string_view(header, kHeaderSize) != Header(fields_version_)) {
    clean_ = false;
    NoteLoadResult(path_, false);
    return false;
  }
  // Records are read a block at a time; a record reaching past the block is
  // read again from its start with the next block.
  std::string block;
  std::uint64_t block_at = kHeaderSize;
  std::uint64_t at = kHeaderSize;
  for (;;) {
    if (at == size) break;
    if (at + kRecordHead > block_at + block.size()) {
      block.resize(std::max<std::size_t>(kBlock, kRecordHead));
      if (!file_.ReadAt(at, block.data(), block.size(), &got)) break;
      block.resize(got);
      block_at = at;
      if (got < kRecordHead) break;
    }
    const char* head = block.data() + (at - block_at);
    const std::uint32_t length = GetU32(head);
    if (length == 0 || length > kMaxPayload || at + kRecordHead + length > size) break;
    if (at + kRecordHead + length > block_at + block.size()) {
      block.resize(std::max<std::size_t>(kBlock, kRecordHead + length));
      if (!file_.ReadAt(at, block.data(), block.size(), &got)) break;
      block.resize(got);
      block_at = at;
      if (got < kRecordHead + length) break;
      head = block.data();
    }
    const std::string_view payload(head + kRecordHead, length);
    if (Crc32(payload) != GetU32(head + 4)) break;
    Reader in(payload);
    char kind = 0;
    std::uint32_t id = 0;
    if (!in.Byte(&kind) || !in.U32(&id)) break;
    if (kind == 'M') {
      Mailbox mailbox;
      mailbox.id = id;
      std::uint32_t port = 0, lines = 0;
      if (!in.Text(&mailbox.key.server) || !in.U32(&port) || !in.Text(&mailbox.key.user) ||
          !in.U32(&lines) || !in.AtEnd() || id == kNoMailbox) {
        break;
      }
      mailbox.key.port = static_cast<int>(port);
      mailbox.key.lines = static_cast<int>(lines);
      mailboxes_.push_back(std::move(mailbox));
    } else if (kind == 'E') {
      std::string_view uid;
      if (!in.Text(&uid)) break;
      places_.push_back(
          Place{HashOf(uid), at, static_cast<std::uint32_t>(kRecordHead + length), id});
    } else {
      break;
    }
    at += kRecordHead + length;
  }
  end_ = at;
  clean_ = at == size;
  NoteLoadResult(path_, clean_);
  return clean_;
}

std::size_t UidlCache::Select(const UidlMailbox& mailbox) {
  selected_ = mailbox;
  selected_id_ = kNoMailbox;
  selected_places_.clear();
  taken_.clear();
  if (!usable_) return 0;
  for (const Mailbox& known : mailboxes_) {
    if (SameMailbox(known.key, mailbox)) selected_id_ = known.id;
  }
  if (selected_id_ == kNoMailbox) return 0;
  for (const Place& place : places_) {
    if (place.mailbox == selected_id_) selected_places_.push_back(place);
  }
  // By hash, and within one hash by place: the last record of an id wins.
  std::sort(selected_places_.begin(), selected_places_.end(), [](const Place& a, const Place& b) {
    return a.hash != b.hash ? a.hash < b.hash : a.offset < b.offset;
  });
  taken_.assign(selected_places_.size(), false);
  return selected_places_.size();
}

bool UidlCache::Take(std::string_view uid, MailEntry* mail) {
  if (!usable_ || selected_places_.empty()) return false;
  const std::uint64_t hash = HashOf(uid);
  auto first = std::lower_bound(selected_places_.begin(), selected_places_.end(), hash,
                                [](const Place& p, std::uint64_t h) { return p.hash < h; });
  auto last = first;
  while (last != selected_places_.end() && last->hash == hash) ++last;
  for (auto it = last; it != first;) {
    --it;
    const Place& place = *it;
    // Messages are mostly taken in the order they were stored: read ahead.
    if (place.offset < window_at_ || place.offset + place.length > window_at_ + window_.size()) {
      window_.resize(std::max<std::size_t>(kBlock, place.length));
      std::size_t got = 0;
      if (!file_.ReadAt(place.offset, window_.data(), window_.size(), &got)) {
        window_.clear();
        return false;
      }
      window_.resize(got);
      window_at_ = place.offset;
      if (got < place.length) return false;
    }
    // Its checksum was found right when the file was read; since then only
    // this process has written it.
    const char* head = window_.data() + (place.offset - window_at_);
    const std::string_view payload(head + kRecordHead, place.length - kRecordHead);
    Reader in(payload);
    char kind = 0;
    std::uint32_t id = 0;
    std::string_view stored_uid;
    if (!in.Byte(&kind) || !in.U32(&id) || !in.Text(&stored_uid)) return false;
    if (stored_uid != uid) continue;
    MailEntry entry;
    if (!in.Int(&entry.size) || !in.Text(&entry.message_id) || !in.Text(&entry.history_key) ||
        !in.Text(&entry.from) || !in.Text(&entry.subject) || !in.Text(&entry.cc) ||
        !in.Text(&entry.to) || !in.Text(&entry.body) || !in.AtEnd()) {
      return false;
    }
    *mail = std::move(entry);
    taken_[static_cast<std::size_t>(it - selected_places_.begin())] = true;
    return true;
  }
  return false;
}

void UidlCache::KeepOnly(std::vector<UidlMailbox> current) {
  current_ = std::move(current);
  keep_all_ = false;
}

bool UidlCache::IsCurrent(std::uint32_t mailbox_id) const {
  if (keep_all_ || mailbox_id == selected_id_) return true;
  for (const Mailbox& known : mailboxes_) {
    if (known.id != mailbox_id) continue;
    for (const UidlMailbox& mailbox : current_) {
      if (SameMailbox(known.key, mailbox)) return true;
    }
  }
  return false;
}

bool UidlCache::Store(const std::vector<MailEntry>& mails,
                      const std::vector<std::string_view>& uids, const std::vector<bool>& fetched,
                      const std::unordered_map<std::size_t, std::string>& base_keys) {
  if (!usable_ || uids.size() != mails.size() || fetched.size() != mails.size()) return false;
  std::size_t stale = 0;
  for (bool taken : taken_) stale += taken ? 0 : 1;
  if (!keep_all_) {
    for (const Mailbox& known : mailboxes_) {
      if (IsCurrent(known.id)) continue;
      for (const Place& place : places_) stale += place.mailbox == known.id ? 1 : 0;
    }
  }
  const bool crowded = stale > kStaleFloor && stale > uids.size() / 4;
  if (!file_.IsOpen() || !clean_ || crowded) return Rewrite(mails, uids, base_keys);
  return Append(mails, uids, fetched, base_keys);
}

bool UidlCache::Append(const std::vector<MailEntry>& mails,
                       const std::vector<std::string_view>& uids, const std::vector<bool>& fetched,
                       const std::unordered_map<std::size_t, std::string>& base_keys) {
  std::string out;
  std::uint32_t id = selected_id_;
  if (id == kNoMailbox) {
    id = 0;
    for (const Mailbox& known : mailboxes_) id = std::max(id, known.id + 1);
  }
  bool any = false;
  for (std::size_t i = 0; i < mails.size(); ++i) {
    if (!fetched[i]) continue;
    if (!any && selected_id_ == kNoMailbox) PutMailboxRecord(&out, id, selected_);
    any = true;
    PutMessageRecord(&out, id, uids[i], mails[i], BaseKey(base_keys, i));
  }
  if (out.empty()) return true;  // nothing new: nothing written
  if (!file_.WriteAt(end_, out.data(), out.size())) {
    // Whatever reached the file is cut short or whole; the next load finds
    // out, and a rewrite follows.
    clean_ = false;
    return false;
  }
  if (selected_id_ == kNoMailbox) mailboxes_.push_back(Mailbox{selected_, id});
  // Index what was added, so that another host on the same mailbox finds it.
  std::uint64_t at = end_;
  for (std::size_t pos = 0; pos < out.size();) {
    const std::uint32_t length = GetU32(out.data() + pos);
    const std::string_view payload(out.data() + pos + kRecordHead, length);
    if (payload[0] == 'E') {
      Reader fields(payload.substr(5));
      std::string_view uid;
      fields.Text(&uid);
      places_.push_back(
          Place{HashOf(uid), at, static_cast<std::uint32_t>(kRecordHead + length), id});
    }
    pos += kRecordHead + length;
    at += kRecordHead + length;
  }
  end_ = at;
  window_.clear();
  const UidlMailbox mailbox = selected_;
  Select(mailbox);
  return true;
}

bool UidlCache::Rewrite(const std::vector<MailEntry>& mails,
                        const std::vector<std::string_view>& uids,
                        const std::unordered_map<std::size_t, std::string>& base_keys) {
  SafeFileWriter writer(path_);
  if (!writer.Create()) return false;
  std::string out = Header(fields_version_);
  // The other mailboxes as they stand, then the selected one from the survey.
  std::uint32_t id = 0;
  for (const Mailbox& known : mailboxes_) {
    id = std::max(id, known.id + 1);
    if (known.id == selected_id_ || !IsCurrent(known.id)) continue;
    PutMailboxRecord(&out, known.id, known.key);
  }
  std::string record;
  for (const Place& place : places_) {
    if (place.mailbox == selected_id_ || !IsCurrent(place.mailbox)) continue;
    record.resize(place.length);
    std::size_t got = 0;
    if (!file_.ReadAt(place.offset, record.data(), record.size(), &got) || got < record.size()) {
      continue;  // read at load; lost since: fetched again when needed
    }
    out += record;
    if (out.size() >= kBlock) {
      if (!writer.Write(out.data(), out.size())) return false;
      out.clear();
    }
  }
  if (selected_id_ != kNoMailbox) id = selected_id_;
  PutMailboxRecord(&out, id, selected_);
  for (std::size_t i = 0; i < mails.size(); ++i) {
    PutMessageRecord(&out, id, uids[i], mails[i], BaseKey(base_keys, i));
    if (out.size() >= kBlock) {
      if (!writer.Write(out.data(), out.size())) return false;
      out.clear();
    }
  }
  if (!out.empty() && !writer.Write(out.data(), out.size())) return false;
  // The open file would keep Windows from replacing it.
  file_.Close();
  const bool committed = writer.Commit();
  const UidlMailbox mailbox = selected_;
  Load();
  Select(mailbox);
  return committed;
}

}  // namespace tarnu
