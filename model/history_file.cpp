#include "model/history_file.h"

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
#include "model/record_fields.h"
#include "platform/file_io.h"

namespace tarnu {
namespace {

constexpr std::int32_t kHistoryVersion = 256;
constexpr char kHistoryMagic[] = "tarnu mail history data";
constexpr std::size_t kHeaderSize = 72;
constexpr std::size_t kRecordSize = 2048;
constexpr std::size_t kSlotSize = 1024;
constexpr std::size_t kMagicAt = 8;
// Records are written this many at a time.
constexpr std::size_t kRecordsPerWrite = 32;

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
                   UserMessages* messages) {
  struct Pool {
    std::vector<std::string> keys;
    std::unordered_set<std::string> held;  // so that a key is never taken twice
  };
  std::map<std::string, Pool> pools;
  for (const HostEntry& host : *hosts) pools[host.server];
  std::vector<unsigned char> record(kRecordSize);
  bool complete = true;
  for (std::int32_t i = 0; i < count; ++i) {
    std::size_t got = 0;
    if (!file->Read(record.data(), kRecordSize, &got) || got < kRecordSize) {
      messages->ShowMessage(kCorrupt);
      complete = false;
      break;
    }
    auto pool = pools.find(GetTextSlot(record.data() + kSlotSize, kSlotSize));
    if (pool == pools.end()) continue;  // no host has this address
    std::string key = GetTextSlot(record.data(), kSlotSize);
    if (pool->second.held.insert(key).second) pool->second.keys.push_back(std::move(key));
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
  try {
    if (!AttachRecords(&file, GetInt32(header + 4), hosts, messages)) {
      NoteLoadResult(path, false);
      return -1;
    }
  } catch (const std::bad_alloc&) {
    messages->ShowMessage(kNoMemory);
    messages->RequestQuit(-1);
    NoteLoadResult(path, false);
    return -1;
  }
  if (EndsAfterRecords(&file)) {
    NoteLoadResult(path, true);
  } else {
    NoteOversizedFile(path);
  }
  return 0;
}

int SaveHistoryFile(const HostList& hosts, UserMessages* messages) {
  if (hosts.empty()) return 0;
  std::size_t capacity = SlotCapacity(kSlotSize);
  try {
    const std::string path = DataFilePath(kHistoryFileName);
    SafeFileWriter writer(path);
    if (!writer.Create()) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
    // A key longer than a slot holds cannot be stored whole; a cut one could
    // only ever match a wrong message, so such an entry is not stored (the
    // survey gives long Message-IDs keys that fit). Server addresses are
    // limited by the editing paths and always fit. Hosts sharing a server
    // address share their records when the file is read, so a key is
    // written once per address: otherwise every such host would write the
    // whole shared set again and the file would multiply.
    std::vector<std::vector<unsigned char>> server_slots(hosts.size());
    std::vector<std::vector<const std::string*>> keys(hosts.size());
    std::unordered_map<std::string_view, std::unordered_set<std::string_view>> written;
    std::size_t total = 0;
    for (std::size_t h = 0; h < hosts.size(); ++h) {
      server_slots[h].resize(kSlotSize);
      bool fits = PutTextSlot(server_slots[h].data(), kSlotSize, hosts[h].server);
      assert(fits && "an over-long server address reached the history file");
      if (!fits) continue;
      std::unordered_set<std::string_view>& done = written[hosts[h].server];
      auto take = [&](const std::string& key) {
        if (key.size() > capacity || !done.insert(key).second) return;
        keys[h].push_back(&key);
        ++total;
      };
      const SurveyResult& history = hosts[h].history;
      for (const MailEntry& mail : history.mails) take(HistoryKey(mail));
      if (history.stored_keys) {
        for (const std::string& key : *history.stored_keys) take(key);
      }
    }
    unsigned char header[kHeaderSize] = {};
    PutInt32(header, kHistoryVersion);
    PutInt32(header + 4, static_cast<std::int32_t>(total));
    std::memcpy(header + kMagicAt, kHistoryMagic, sizeof kHistoryMagic);
    if (!writer.Write(header, kHeaderSize)) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
    std::vector<unsigned char> batch(kRecordSize * kRecordsPerWrite);
    std::size_t in_batch = 0;
    auto flush_batch = [&]() {
      bool ok = in_batch == 0 || writer.Write(batch.data(), in_batch * kRecordSize);
      in_batch = 0;
      return ok;
    };
    for (std::size_t h = 0; h < hosts.size(); ++h) {
      for (const std::string* key : keys[h]) {
        unsigned char* record = batch.data() + in_batch * kRecordSize;
        if (!PutTextSlot(record, kSlotSize, *key)) {
          messages->ShowMessage(kCannotCreate);
          return -1;
        }
        std::memcpy(record + kSlotSize, server_slots[h].data(), kSlotSize);
        if (++in_batch == kRecordsPerWrite && !flush_batch()) {
          messages->ShowMessage(kCannotCreate);
          return -1;
        }
      }
    }
    if (!flush_batch() || !writer.Commit()) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
    SeenState state;
    state.exists = true;
    state.stamp = writer.stamp();
    if (writer.stamped()) NoteSeen(path, state);
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
