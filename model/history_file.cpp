#include "model/history_file.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string>
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

bool EndsAfterRecords(platform::File* file) {
  unsigned char probe;
  std::size_t got = 0;
  return file->Read(&probe, 1, &got) && got == 0;
}

// Attaches the records to the hosts; returns false for a short or unreadable
// record. Throws std::bad_alloc.
bool AttachRecords(platform::File* file, std::int32_t count, HostList* hosts,
                   UserMessages* messages) {
  // The Message-IDs each history holds, so that an ID is never attached
  // twice: hosts sharing a server address would otherwise each save the
  // shared set again and the file would grow from run to run.
  std::vector<std::unordered_set<std::string>> held(hosts->size());
  for (std::size_t h = 0; h < hosts->size(); ++h) {
    for (const MailEntry& mail : (*hosts)[h].history.mails) held[h].insert(mail.message_id);
  }
  std::vector<unsigned char> record(kRecordSize);
  for (std::int32_t i = 0; i < count; ++i) {
    std::size_t got = 0;
    if (!file->Read(record.data(), kRecordSize, &got) || got < kRecordSize) {
      messages->ShowMessage(kCorrupt);
      return false;
    }
    std::string message_id = GetTextSlot(record.data(), kSlotSize);
    std::string server = GetTextSlot(record.data() + kSlotSize, kSlotSize);
    for (std::size_t h = 0; h < hosts->size(); ++h) {
      HostEntry& host = (*hosts)[h];
      if (host.server != server || !held[h].insert(message_id).second) continue;
      MailEntry mail;
      mail.message_id = message_id;
      host.history.mails.push_back(std::move(mail));
    }
  }
  return true;
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
      return 0;
    case platform::OpenStatus::kFailed:
      NoteLoadResult(path, false);
      return 0;
    case platform::OpenStatus::kOpened:
      break;
  }
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
  NoteLoadResult(path, EndsAfterRecords(&file));
  return 0;
}

int SaveHistoryFile(const HostList& hosts, UserMessages* messages) {
  if (hosts.empty()) return 0;
  std::size_t capacity = SlotCapacity(kSlotSize);
  try {
    SafeFileWriter writer(DataFilePath(kHistoryFileName));
    if (!writer.Create()) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
    // A Message-ID longer than a slot holds comes from a server and cannot be
    // stored whole; a cut one could only ever match a wrong message, so such
    // an entry is not stored. Server addresses are limited by the editing
    // paths and always fit.
    std::vector<std::vector<unsigned char>> server_slots(hosts.size());
    std::vector<bool> server_fits(hosts.size());
    std::size_t total = 0;
    for (std::size_t h = 0; h < hosts.size(); ++h) {
      server_slots[h].resize(kSlotSize);
      bool fits = PutTextSlot(server_slots[h].data(), kSlotSize, hosts[h].server);
      assert(fits && "an over-long server address reached the history file");
      server_fits[h] = fits;
      if (!fits) continue;
      for (const MailEntry& mail : hosts[h].history.mails) {
        if (mail.message_id.size() <= capacity) ++total;
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
      if (!server_fits[h]) continue;
      for (const MailEntry& mail : hosts[h].history.mails) {
        if (mail.message_id.size() > capacity) continue;
        unsigned char* record = batch.data() + in_batch * kRecordSize;
        if (!PutTextSlot(record, kSlotSize, mail.message_id)) {
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
  } catch (const std::bad_alloc&) {
    messages->ShowMessage(kCannotCreate);
    return -1;
  }
  return 0;
}

}  // namespace tarnu
