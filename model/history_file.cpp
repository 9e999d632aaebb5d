#include "model/history_file.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "model/data_files.h"
#include "model/file_protection.h"
#include "model/history_writer.h"
#include "model/record_fields.h"
#include "platform/file_io.h"

namespace tarnu {
namespace {

constexpr std::int32_t kHistoryVersion = 256;
constexpr std::size_t kHeaderSize = 72;
constexpr std::size_t kRecordSize = 2048;
constexpr std::size_t kSlotSize = 1024;
// Records are read this many at a time.
constexpr std::size_t kRecordsPerRead = 64;

const char kWrongVersion[] = "履歴ファイルのバージョンが違います";
const char kCorrupt[] = "履歴ファイルが破損しています";
const char kCannotCreate[] = "履歴ファイルが作成できません";
const char kNoMemory[] = "メモリが足りません";
// Our own: a folder or pipe under the file's name would otherwise read as an
// empty history without a word.
const char kNotAFile[] = "履歴ファイル tarnu.hist.pref が通常のファイルではないため読み込めません";

// What this process last saw of the history file, by full path: whether it
// existed and, if so, which version it was.
struct SeenState {
  bool exists = false;
  platform::FileStamp stamp;
  bool operator==(const SeenState& other) const {
    return exists == other.exists && (!exists || stamp == other.stamp);
  }
};

std::map<std::string, SeenState>& Seen() {
  static std::map<std::string, SeenState> seen;
  return seen;
}

void NoteSeen(const std::string& path, const SeenState& state) {
  try {
    Seen()[platform::FullPath(path)] = state;
  } catch (const std::bad_alloc&) {
    // Unknown is "unchanged": the worst is a history not re-read.
  }
}

// The file as it stands now; false when it exists but cannot be examined.
bool CurrentState(const std::string& path, SeenState* state) {
  platform::File file;
  switch (file.OpenForReading(path)) {
    case platform::OpenStatus::kMissing:
      *state = SeenState();
      return true;
    case platform::OpenStatus::kOpened:
      state->exists = true;
      return file.Stamp(&state->stamp);
    case platform::OpenStatus::kFailed:
    case platform::OpenStatus::kNotAFile:
      break;
  }
  return false;
}

// What this process knows of where the records of the history file lie, by
// full path, so that a save writes only what changed (model/history_writer.h).
// It stands for the file only while the file is as this process last saw it.
std::map<std::string, HistoryImage>& Images() {
  static std::map<std::string, HistoryImage> images;
  return images;
}

HistoryImage* ImageOf(const std::string& path) {
  try {
    return &Images()[platform::FullPath(path)];
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

bool EndsAfterRecords(platform::File* file) {
  unsigned char probe;
  std::size_t got = 0;
  return file->Read(&probe, 1, &got) && got == 0;
}

// Gives the hosts the keys stored for their server addresses; returns false
// for a short or unreadable record (the keys read before it are given all
// the same). Hosts sharing an address share one list of its keys. Throws
// std::bad_alloc.
bool AttachRecords(platform::File* file, std::int32_t count, HostList* hosts,
                   UserMessages* messages, HistoryImage* image) {
  struct Pool {
    std::vector<std::string> keys;
    std::unordered_set<std::string> held;  // so that a key is never taken twice
  };
  std::map<std::string, Pool> pools;
  for (const HostEntry& host : *hosts) pools[host.server];
  // Read a block of records at a time.
  std::vector<unsigned char> block(kRecordSize * kRecordsPerRead);
  std::size_t in_block = 0;
  std::size_t used = 0;
  bool complete = true;
  for (std::int32_t i = 0; i < count; ++i) {
    if (used == in_block) {
      const std::size_t wanted =
          std::min<std::size_t>(kRecordsPerRead, static_cast<std::size_t>(count - i));
      std::size_t got = 0;
      const bool read = file->Read(block.data(), wanted * kRecordSize, &got);
      in_block = got / kRecordSize;
      used = 0;
      if (!read || in_block < wanted) {
        // The whole records that came are taken before the damage is told.
        complete = false;
        if (in_block == 0) {
          messages->ShowMessage(kCorrupt);
          break;
        }
      }
    }
    const unsigned char* record = block.data() + used * kRecordSize;
    ++used;
    const std::string server = GetTextSlot(record + kSlotSize, kSlotSize);
    auto pool = pools.find(server);
    if (pool == pools.end()) {  // no host has this address
      if (image != nullptr) image->Note(server, std::string_view());
    } else {
      std::string key = GetTextSlot(record, kSlotSize);
      if (image != nullptr) image->Note(server, key);
      if (pool->second.held.insert(key).second) pool->second.keys.push_back(std::move(key));
    }
    if (!complete && used == in_block) {
      messages->ShowMessage(kCorrupt);
      break;
    }
  }
  std::map<std::string, std::shared_ptr<const std::vector<std::string>>> shared;
  for (auto& [server, pool] : pools) {
    if (!pool.keys.empty()) {
      shared[server] = std::make_shared<const std::vector<std::string>>(std::move(pool.keys));
    }
  }
  for (HostEntry& host : *hosts) {
    auto found = shared.find(host.server);
    if (found == shared.end()) continue;
    SurveyResult& history = host.history;
    if (history.mails.empty() && !history.stored_keys) {
      history.stored_keys = found->second;
      continue;
    }
    // A history that already holds entries takes the keys it lacks.
    std::unordered_set<std::string> held;
    for (const MailEntry& mail : history.mails) held.insert(HistoryKey(mail));
    std::vector<std::string> keys;
    if (history.stored_keys) keys = *history.stored_keys;
    held.insert(keys.begin(), keys.end());
    for (const std::string& key : *found->second) {
      if (held.insert(key).second) keys.push_back(key);
    }
    history.stored_keys = std::make_shared<const std::vector<std::string>>(std::move(keys));
  }
  return complete;
}

}  // namespace

int LoadHistoryFile(HostList* hosts, UserMessages* messages) {
  std::string path;
  try {
    path = DataFilePath(kHistoryFileName);
  } catch (const std::bad_alloc&) {
    messages->ShowMessage(kNoMemory);
    messages->RequestQuit(-1);
    return -1;
  }
  platform::File file;
  switch (file.OpenForReading(path)) {
    case platform::OpenStatus::kMissing:
      NoteLoadResult(path, true);
      NoteSeen(path, SeenState());
      return 0;
    case platform::OpenStatus::kFailed:
      NoteLoadResult(path, false);
      return 0;
    case platform::OpenStatus::kNotAFile:
      messages->ShowMessage(kNotAFile);
      NoteLoadResult(path, false);
      return 0;
    case platform::OpenStatus::kOpened:
      break;
  }
  // Taken from the open file, so that a save by another process between
  // this read and the next check is always noticed.
  SeenState state;
  state.exists = file.Stamp(&state.stamp);
  if (state.exists) NoteSeen(path, state);
  unsigned char header[kHeaderSize];
  std::size_t got = 0;
  if (!file.Read(header, kHeaderSize, &got) || got < kHeaderSize) {
    NoteLoadResult(path, false);
    return 0;
  }
  if (GetInt32(header) != kHistoryVersion) {
    messages->ShowMessage(kWrongVersion);
    NoteLoadResult(path, false);
    return -1;
  }
  HistoryImage* image = ImageOf(path);
  if (image != nullptr) image->Clear();
  try {
    if (!AttachRecords(&file, GetInt32(header + 4), hosts, messages, image)) {
      if (image != nullptr) image->Clear();
      NoteLoadResult(path, false);
      return -1;
    }
  } catch (const std::bad_alloc&) {
    if (image != nullptr) image->Clear();
    messages->ShowMessage(kNoMemory);
    messages->RequestQuit(-1);
    NoteLoadResult(path, false);
    return -1;
  }
  if (EndsAfterRecords(&file)) {
    NoteLoadResult(path, true);
    // The file as it was read: the next save can write what changes.
    if (image != nullptr && state.exists) image->Complete();
  } else {
    if (image != nullptr) image->Clear();
    NoteOversizedFile(path);
  }
  return 0;
}

int SaveHistoryFile(const HostList& hosts, UserMessages* messages) {
  if (hosts.empty()) return 0;
  std::size_t capacity = SlotCapacity(kSlotSize);
  try {
    const std::string path = DataFilePath(kHistoryFileName);
    // A key longer than a slot holds cannot be stored whole; a cut one could
    // only ever match a wrong message, so such an entry is not stored (the
    // survey gives long Message-IDs keys that fit). Server addresses are
    // limited by the editing paths and always fit. Hosts sharing a server
    // address share their records when the file is read, so a key is
    // written once per address: otherwise every such host would write the
    // whole shared set again and the file would multiply.
    std::vector<HistoryRecord> records;
    std::unordered_map<std::string_view, std::unordered_set<std::string_view>> written;
    for (const HostEntry& host : hosts) {
      const bool fits = host.server.size() <= capacity;
      assert(fits && "an over-long server address reached the history file");
      if (!fits) continue;
      std::unordered_set<std::string_view>& done = written[host.server];
      auto take = [&](const std::string& key) {
        if (key.size() > capacity || !done.insert(key).second) return;
        records.push_back(HistoryRecord{host.server, key});
      };
      const SurveyResult& history = host.history;
      for (const MailEntry& mail : history.mails) take(HistoryKey(mail));
      if (history.stored_keys) {
        for (const std::string& key : *history.stored_keys) take(key);
      }
    }
    // What this process knows of the file stands for it only when the file
    // is as this process last read or wrote it, and a file that failed to
    // load is written whole (and kept as a backup first).
    HistoryImage fresh;
    HistoryImage* image = ImageOf(path);
    if (image == nullptr) image = &fresh;
    SeenState now;
    auto seen = Seen().find(platform::FullPath(path));
    if (!CurrentState(path, &now) || seen == Seen().end() || !(seen->second == now) ||
        BackupPending(path)) {
      image->Clear();
    }
    const HistoryWrite result = WriteHistoryRecords(path, records, image);
    if (result == HistoryWrite::kFailed) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
    if (result != HistoryWrite::kUnchanged && CurrentState(path, &now)) NoteSeen(path, now);
  } catch (const std::bad_alloc&) {
    messages->ShowMessage(kCannotCreate);
    return -1;
  }
  return 0;
}

bool ReloadHistoryFileIfChanged(HostList* hosts, UserMessages* messages) {
  try {
    const std::string path = DataFilePath(kHistoryFileName);
    SeenState now;
    if (!CurrentState(path, &now)) return false;
    auto seen = Seen().find(platform::FullPath(path));
    if (seen == Seen().end()) {
      NoteSeen(path, now);
      return false;
    }
    if (seen->second == now) return false;
    for (HostEntry& host : *hosts) {
      host.history.mails.clear();
      host.history.stored_keys.reset();
    }
    LoadHistoryFile(hosts, messages);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace tarnu
