#include "model/history_writer.h"

#include <cstring>
#include <unordered_map>

#include "model/file_protection.h"
#include "model/record_fields.h"
#include "platform/file_io.h"

namespace tarnu {
namespace {

constexpr std::int32_t kHistoryVersion = 256;
constexpr char kHistoryMagic[] = "tarnu mail history data";
constexpr std::size_t kMagicAt = 8;
// Records are written this many at a time.
constexpr std::size_t kRecordsPerWrite = 32;
// Killed records are left for later saves to use until there are more than
// this many and more than a quarter of the live ones.
constexpr std::size_t kDeadFloor = 64;

struct Hash {
  std::uint64_t a, b;
  bool operator==(const Hash& other) const { return a == other.a && b == other.b; }
};
struct HashOfHash {
  std::size_t operator()(const Hash& h) const { return static_cast<std::size_t>(h.a); }
};

// Two independent 64-bit hashes over the server's length, the server and the
// key: a record is known by the pair.
Hash HashOf(std::string_view server, std::string_view key) {
  std::uint64_t a = 14695981039346656037ull;  // FNV-1a
  std::uint64_t b = 0x243F6A8885A308D3ull;
  auto add = [&](unsigned char c) {
    a = (a ^ c) * 1099511628211ull;
    b = (b ^ c) * 0x9FB21C651E98DF25ull;
    b ^= b >> 29;
  };
  for (std::size_t n = server.size(), i = 0; i < 8; ++i, n >>= 8) add(n & 0xFF);
  for (unsigned char c : server) add(c);
  for (unsigned char c : key) add(c);
  return Hash{a, b};
}

bool FillRecord(unsigned char* record, std::string_view server, std::string_view key) {
  return PutTextSlot(record, kHistorySlotSize, key) &&
         PutTextSlot(record + kHistorySlotSize, kHistorySlotSize, server);
}

void PutHeader(unsigned char* header, std::size_t count) {
  std::memset(header, 0, kHistoryHeaderSize);
  PutInt32(header, kHistoryVersion);
  PutInt32(header + 4, static_cast<std::int32_t>(count));
  std::memcpy(header + kMagicAt, kHistoryMagic, sizeof kHistoryMagic);
}

HistoryWrite WriteWhole(const std::string& path, const std::vector<HistoryRecord>& records,
                        HistoryImage* image) {
  image->Clear();
  SafeFileWriter writer(path);
  if (!writer.Create()) return HistoryWrite::kFailed;
  unsigned char header[kHistoryHeaderSize];
  PutHeader(header, records.size());
  if (!writer.Write(header, kHistoryHeaderSize)) return HistoryWrite::kFailed;
  std::vector<unsigned char> batch(kHistoryRecordSize * kRecordsPerWrite);
  std::size_t in_batch = 0;
  for (const HistoryRecord& record : records) {
    if (!FillRecord(batch.data() + in_batch * kHistoryRecordSize, record.server, record.key)) {
      return HistoryWrite::kFailed;
    }
    if (++in_batch == kRecordsPerWrite) {
      if (!writer.Write(batch.data(), in_batch * kHistoryRecordSize)) return HistoryWrite::kFailed;
      in_batch = 0;
    }
  }
  if (in_batch > 0 && !writer.Write(batch.data(), in_batch * kHistoryRecordSize)) {
    return HistoryWrite::kFailed;
  }
  if (!writer.Commit()) return HistoryWrite::kFailed;
  for (const HistoryRecord& record : records) image->Note(record.server, record.key);
  image->Complete();
  return HistoryWrite::kWhole;
}

}  // namespace

// Works out and writes the changes for one save.
class HistoryWriter {
 public:
  HistoryWriter(const std::string& path, HistoryImage* image) : path_(path), image_(*image) {}

  HistoryWrite Write(const std::vector<HistoryRecord>& records) {
    if (!image_.known_) return WriteWhole(path_, records, &image_);
    Plan(records);
    if (changes_.empty()) return HistoryWrite::kUnchanged;
    // Killed records pile up when mailboxes shrink: then a whole file. And
    // when much of the file changes, writing it whole costs little more and
    // leaves no moment at which the file is half the old and half the new.
    if ((dead_after_ > kDeadFloor && dead_after_ * 4 > records.size()) ||
        changes_.size() * 4 > records.size()) {
      return WriteWhole(path_, records, &image_);
    }
    platform::File file;
    if (!SameFile(&file)) {
      // Changed behind this process's back: written whole.
      file.Close();
      return WriteWhole(path_, records, &image_);
    }
    const HistoryWrite written = Apply(&file);
    if (written == HistoryWrite::kFailed) image_.Clear();
    return written;
  }

 private:
  struct Change {
    std::size_t slot;             // where the record goes (size() and on: appended)
    const HistoryRecord* record;  // null: killed
  };

  void Plan(const std::vector<HistoryRecord>& records) {
    const std::vector<HistoryImage::Slot>& slots = image_.slots_;
    std::unordered_map<Hash, std::size_t, HashOfHash> where;
    where.reserve(slots.size());
    std::vector<bool> kept(slots.size(), false);
    for (std::size_t i = 0; i < slots.size(); ++i) {
      if (slots[i].server == HistoryImage::kDead) continue;
      // A record stored twice: the first one is the one kept.
      where.emplace(Hash{slots[i].hash[0], slots[i].hash[1]}, i);
    }
    std::vector<const HistoryRecord*> missing;
    for (const HistoryRecord& record : records) {
      auto found = where.find(HashOf(record.server, record.key));
      if (found != where.end() && !kept[found->second]) {
        kept[found->second] = true;
      } else {
        missing.push_back(&record);
      }
    }
    // Records no longer wanted, by server: a new record of the same server
    // takes the place of one; the others are killed. Killed records from
    // earlier saves take new records of any server.
    std::unordered_map<std::uint32_t, std::vector<std::size_t>> stale;
    std::vector<std::size_t> dead;
    for (std::size_t i = slots.size(); i-- > 0;) {
      if (slots[i].server == HistoryImage::kDead) {
        dead.push_back(i);
      } else if (!kept[i]) {
        stale[slots[i].server].push_back(i);
      }
    }
    std::size_t next = slots.size();
    for (const HistoryRecord* record : missing) {
      std::vector<std::size_t>* same = nullptr;
      for (std::uint32_t s = 0; s < image_.servers_.size(); ++s) {
        if (image_.servers_[s] == record->server) {
          auto found = stale.find(s);
          if (found != stale.end() && !found->second.empty()) same = &found->second;
          break;
        }
      }
      if (same != nullptr) {
        changes_.push_back(Change{same->back(), record});
        same->pop_back();
      } else if (!dead.empty()) {
        changes_.push_back(Change{dead.back(), record});
        dead.pop_back();
      } else {
        changes_.push_back(Change{next++, record});
      }
    }
    dead_after_ = dead.size();
    for (const auto& [server, left] : stale) {
      for (std::size_t slot : left) changes_.push_back(Change{slot, nullptr});
      dead_after_ += left.size();
    }
    appended_ = next - slots.size();
  }

  // Opens the file for the changes; false when it is not the file the image
  // stands for (another size or record count).
  bool SameFile(platform::File* file) {
    if (file->OpenForUpdate(path_) != platform::OpenStatus::kOpened) return false;
    const std::size_t count = image_.slots_.size();
    std::uint64_t size = 0;
    unsigned char header[kHistoryHeaderSize];
    std::size_t got = 0;
    return file->Size(&size) && size == kHistoryHeaderSize + count * kHistoryRecordSize &&
           file->ReadAt(0, header, kHistoryHeaderSize, &got) && got == kHistoryHeaderSize &&
           GetInt32(header) == kHistoryVersion &&
           GetInt32(header + 4) == static_cast<std::int32_t>(count);
  }

  HistoryWrite Apply(platform::File* open) {
    platform::File& file = *open;
    const std::size_t count = image_.slots_.size();
    std::vector<unsigned char> record(kHistoryRecordSize);
    std::vector<unsigned char> tail;  // the appended records, in one write
    for (const Change& change : changes_) {
      std::string_view server = kKilledRecordServer;
      std::string_view key = kKilledRecordServer;
      if (change.record != nullptr) {
        server = change.record->server;
        key = change.record->key;
      }
      if (!FillRecord(record.data(), server, key)) return HistoryWrite::kFailed;
      if (change.slot >= count) {
        tail.insert(tail.end(), record.begin(), record.end());
      } else if (!file.WriteAt(kHistoryHeaderSize + change.slot * kHistoryRecordSize, record.data(),
                               record.size())) {
        return HistoryWrite::kFailed;
      }
    }
    if (!tail.empty() &&
        !file.WriteAt(kHistoryHeaderSize + count * kHistoryRecordSize, tail.data(), tail.size())) {
      return HistoryWrite::kFailed;
    }
    if (!file.Flush()) return HistoryWrite::kFailed;
    // The added records count only now that they are on the disk.
    if (appended_ > 0) {
      unsigned char count_bytes[4];
      PutInt32(count_bytes, static_cast<std::int32_t>(count + appended_));
      if (!file.WriteAt(4, count_bytes, sizeof count_bytes) || !file.Flush()) {
        return HistoryWrite::kFailed;
      }
    }
    if (!file.Close()) return HistoryWrite::kFailed;
    // The image follows the file.
    image_.slots_.resize(count + appended_);
    for (const Change& change : changes_) {
      HistoryImage::Slot& slot = image_.slots_[change.slot];
      if (change.record == nullptr) {
        slot = HistoryImage::Slot{{0, 0}, HistoryImage::kDead};
      } else {
        const Hash h = HashOf(change.record->server, change.record->key);
        slot = HistoryImage::Slot{{h.a, h.b}, image_.ServerIndex(change.record->server)};
      }
    }
    return HistoryWrite::kInPlace;
  }

  const std::string& path_;
  HistoryImage& image_;
  std::vector<Change> changes_;
  std::size_t dead_after_ = 0;
  std::size_t appended_ = 0;
};

void HistoryImage::Clear() {
  known_ = false;
  servers_.clear();
  slots_.clear();
}

std::uint32_t HistoryImage::ServerIndex(std::string_view server) {
  for (std::uint32_t s = 0; s < servers_.size(); ++s) {
    if (servers_[s] == server) return s;
  }
  servers_.emplace_back(server);
  return static_cast<std::uint32_t>(servers_.size() - 1);
}

void HistoryImage::Note(std::string_view server, std::string_view key) {
  if (server == kKilledRecordServer) {
    slots_.push_back(Slot{{0, 0}, kDead});
    return;
  }
  const Hash h = HashOf(server, key);
  slots_.push_back(Slot{{h.a, h.b}, ServerIndex(server)});
}

std::size_t HistoryImage::dead() const {
  std::size_t n = 0;
  for (const Slot& slot : slots_) n += slot.server == kDead ? 1 : 0;
  return n;
}

HistoryWrite WriteHistoryRecords(const std::string& path, const std::vector<HistoryRecord>& records,
                                 HistoryImage* image) {
  HistoryWriter writer(path, image);
  const HistoryWrite written = writer.Write(records);
  if (written == HistoryWrite::kFailed) image->Clear();
  return written;
}

}  // namespace tarnu
