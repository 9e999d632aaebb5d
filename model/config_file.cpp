#include "model/config_file.h"

#include "codec/cp932_text.h"

#include <cassert>
#include <cstring>
#include <new>
#include <string>

#include "model/data_files.h"
#include "model/file_protection.h"
#include "model/record_fields.h"
#include "platform/file_io.h"

namespace tarnu {
namespace {

constexpr std::size_t kHeaderSize = 244;
constexpr std::size_t kRecordSize = 1564;

// Header offsets.
constexpr std::size_t kVersionAt = 0;
constexpr std::size_t kCountAt = 4;
constexpr std::size_t kPeriodicAt = 8;
constexpr std::size_t kIntervalAt = 12;
constexpr std::size_t kReservedAt = 16;
constexpr std::size_t kNoCheckAt = 20;
constexpr std::size_t kNoHistoryAt = 24;
constexpr std::size_t kAutoOpenAt = 28;
constexpr std::size_t kFontAt = 32;  // LOGFONTA, 60 bytes
constexpr std::size_t kColourAt = 92;
constexpr std::size_t kQuoteAt = 96;
constexpr std::size_t kNoPositionAt = 160;
constexpr std::size_t kLeftAt = 164;
constexpr std::size_t kTopAt = 168;
constexpr std::size_t kHeightAt = 172;
constexpr std::size_t kWidthAt = 176;
constexpr std::size_t kMagicAt = 180;

// Host record offsets and slot sizes.
constexpr std::size_t kNameAt = 0;
constexpr std::size_t kServerAt = 102;
constexpr std::size_t kUserAt = 204;
constexpr std::size_t kPasswordAt = 256;
constexpr std::size_t kCheckAt = 308;
constexpr std::size_t kApopAt = 312;
constexpr std::size_t kForwardAt = 316;
constexpr std::size_t kNotifyAt = 320;
constexpr std::size_t kSmtpServerAt = 422;
constexpr std::size_t kSmtpPortAt = 524;
constexpr std::size_t kPop3PortAt = 528;
constexpr std::size_t kLinesAt = 532;
constexpr std::size_t kTimeoutAt = 536;
constexpr std::size_t kPrefixAt = 540;
constexpr std::size_t kSwitchesAt = 640;
constexpr std::size_t kList1At = 644;
constexpr std::size_t kList2At = 746;
constexpr std::size_t kList3At = 848;
constexpr std::size_t kList4At = 950;
constexpr std::size_t kExtrasAt = 1052;  // 512 bytes, see host_extras.h
constexpr std::size_t kWideSlot = 102;
constexpr std::size_t kPrefixSlot = 100;
constexpr std::size_t kLoginSlot = 52;

const char kCorrupt[] = "データファイルが破損しています";
const char kWrongVersion[] = "データファイルのバージョンが違います";
const char kNoMemory[] = "メモリが足りません";
const char kCannotSave[] = "設定を保存できません";
const char kCannotCreate[] = "データファイルを作成できません";
// Our own: a folder or pipe under the file's name would otherwise read as an
// empty host list without a word.
const char kNotAFile[] = "設定ファイル tarnu.pref が通常のファイルではないため読み込めません";

void PutFlag(unsigned char* at, std::int32_t value) { PutInt32(at, value == 1 ? 1 : 0); }
std::int32_t GetFlag(const unsigned char* at) { return GetInt32(at) == 1 ? 1 : 0; }

void PutHeader(const AppSettings& s, unsigned char* h) {
  std::memset(h, 0, kHeaderSize);
  PutInt32(h + kVersionAt, s.version);
  PutInt32(h + kCountAt, s.host_count);
  PutFlag(h + kPeriodicAt, s.periodic_check);
  PutInt32(h + kIntervalAt, s.interval);
  PutInt32(h + kReservedAt, s.reserved);
  PutFlag(h + kNoCheckAt, s.no_check_at_start);
  PutFlag(h + kNoHistoryAt, s.no_history_at_start);
  PutFlag(h + kAutoOpenAt, s.auto_open);
  unsigned char* f = h + kFontAt;
  PutInt32(f + 0, s.font.height);
  PutInt32(f + 4, s.font.width);
  PutInt32(f + 8, s.font.escapement);
  PutInt32(f + 12, s.font.orientation);
  PutInt32(f + 16, s.font.weight);
  f[20] = s.font.italic;
  f[21] = s.font.underline;
  f[22] = s.font.strike_out;
  f[23] = s.font.char_set;
  f[24] = s.font.out_precision;
  f[25] = s.font.clip_precision;
  f[26] = s.font.quality;
  f[27] = s.font.pitch_and_family;
  std::memcpy(f + 28, s.font.face_name, sizeof s.font.face_name);
  PutInt32(h + kColourAt, static_cast<std::int32_t>(s.font_colour));
  std::memcpy(h + kQuoteAt, s.quote, sizeof s.quote);
  PutFlag(h + kNoPositionAt, s.no_position_restore);
  PutInt32(h + kLeftAt, s.left);
  PutInt32(h + kTopAt, s.top);
  PutInt32(h + kHeightAt, s.height);
  PutInt32(h + kWidthAt, s.width);
  std::memcpy(h + kMagicAt, s.magic, sizeof s.magic);
}

// Switches read as on only when stored as exactly 1, so every user of the
// settings agrees on a damaged value. The texts always end inside their
// fields, whatever the file held.
AppSettings GetHeader(const unsigned char* h) {
  AppSettings s;
  s.version = GetInt32(h + kVersionAt);
  s.host_count = GetInt32(h + kCountAt);
  s.periodic_check = GetFlag(h + kPeriodicAt);
  s.interval = GetInt32(h + kIntervalAt);
  s.reserved = GetInt32(h + kReservedAt);
  s.no_check_at_start = GetFlag(h + kNoCheckAt);
  s.no_history_at_start = GetFlag(h + kNoHistoryAt);
  s.auto_open = GetFlag(h + kAutoOpenAt);
  const unsigned char* f = h + kFontAt;
  s.font.height = GetInt32(f + 0);
  s.font.width = GetInt32(f + 4);
  s.font.escapement = GetInt32(f + 8);
  s.font.orientation = GetInt32(f + 12);
  s.font.weight = GetInt32(f + 16);
  s.font.italic = f[20];
  s.font.underline = f[21];
  s.font.strike_out = f[22];
  s.font.char_set = f[23];
  s.font.out_precision = f[24];
  s.font.clip_precision = f[25];
  s.font.quality = f[26];
  s.font.pitch_and_family = f[27];
  std::memcpy(s.font.face_name, f + 28, sizeof s.font.face_name);
  s.font.face_name[sizeof s.font.face_name - 1] = '\0';
  s.font_colour = static_cast<std::uint32_t>(GetInt32(h + kColourAt));
  std::memcpy(s.quote, h + kQuoteAt, sizeof s.quote);
  s.quote[sizeof s.quote - 1] = '\0';
  s.no_position_restore = GetFlag(h + kNoPositionAt);
  s.left = GetInt32(h + kLeftAt);
  s.top = GetInt32(h + kTopAt);
  s.height = GetInt32(h + kHeightAt);
  s.width = GetInt32(h + kWidthAt);
  std::memcpy(s.magic, h + kMagicAt, sizeof s.magic);
  s.magic[sizeof s.magic - 1] = '\0';
  return s;
}

// A value longer than its slot holds is refused by every editing path and
// cut by the loader, so it cannot reach this point; should it ever, it is
// cut here rather than written past the slot.
bool PutText(unsigned char* slot, std::size_t slot_size, const std::string& value) {
  std::size_t capacity = SlotCapacity(slot_size);
  assert(value.size() <= capacity && "an over-long value reached the settings file");
  return PutTextSlot(slot, slot_size, Cp932Prefix(value, capacity));
}

// Only a damaged slot decodes to more than the slot can hold again.
std::string GetText(const unsigned char* slot, std::size_t slot_size) {
  std::string value = GetTextSlot(slot, slot_size);
  std::size_t capacity = SlotCapacity(slot_size);
  if (value.size() > capacity) value.resize(Cp932Prefix(value, capacity).size());
  return value;
}

bool PutHost(const HostEntry& e, unsigned char* r) {
  std::memset(r, 0, kRecordSize);
  bool ok = PutText(r + kNameAt, kWideSlot, e.name);
  ok = PutText(r + kServerAt, kWideSlot, e.server) && ok;
  ok = PutText(r + kUserAt, kLoginSlot, e.user) && ok;
  ok = PutText(r + kPasswordAt, kLoginSlot, e.password) && ok;
  PutBool(r + kCheckAt, e.check);
  PutBool(r + kApopAt, e.apop);
  PutBool(r + kForwardAt, e.forward);
  ok = PutText(r + kNotifyAt, kWideSlot, e.notify_address) && ok;
  ok = PutText(r + kSmtpServerAt, kWideSlot, e.smtp_server) && ok;
  PutInt32(r + kSmtpPortAt, e.smtp_port);
  PutInt32(r + kPop3PortAt, e.pop3_port);
  PutInt32(r + kLinesAt, e.lines);
  PutInt32(r + kTimeoutAt, e.timeout);
  ok = PutText(r + kPrefixAt, kPrefixSlot, e.subject_prefix) && ok;
  PutInt32(r + kSwitchesAt, e.rule.switches);
  ok = PutText(r + kList1At, kWideSlot, e.rule.subject_forward) && ok;
  ok = PutText(r + kList2At, kWideSlot, e.rule.subject_stop) && ok;
  ok = PutText(r + kList3At, kWideSlot, e.rule.from_forward) && ok;
  ok = PutText(r + kList4At, kWideSlot, e.rule.from_stop) && ok;
  ok = PutHostExtras(e.extras, r + kExtrasAt) && ok;
  return ok;
}

HostEntry GetHost(const unsigned char* r) {
  HostEntry e;
  e.name = GetText(r + kNameAt, kWideSlot);
  e.server = GetText(r + kServerAt, kWideSlot);
  e.user = GetText(r + kUserAt, kLoginSlot);
  e.password = GetText(r + kPasswordAt, kLoginSlot);
  e.check = GetBool(r + kCheckAt);
  e.apop = GetBool(r + kApopAt);
  e.forward = GetBool(r + kForwardAt);
  e.notify_address = GetText(r + kNotifyAt, kWideSlot);
  e.smtp_server = GetText(r + kSmtpServerAt, kWideSlot);
  e.smtp_port = GetInt32(r + kSmtpPortAt);
  e.pop3_port = GetInt32(r + kPop3PortAt);
  e.lines = GetInt32(r + kLinesAt);
  e.timeout = GetInt32(r + kTimeoutAt);
  e.subject_prefix = GetText(r + kPrefixAt, kPrefixSlot);
  e.rule.switches = GetInt32(r + kSwitchesAt);
  e.rule.subject_forward = GetText(r + kList1At, kWideSlot);
  e.rule.subject_stop = GetText(r + kList2At, kWideSlot);
  e.rule.from_forward = GetText(r + kList3At, kWideSlot);
  e.rule.from_stop = GetText(r + kList4At, kWideSlot);
  e.extras = GetHostExtras(r + kExtrasAt);
  return e;
}

// Bytes after the last record belong to nothing tarnu reads; a file that has
// them was not written by tarnu as it stands, so it is kept before a save.
bool EndsAfterRecords(platform::File* file) {
  unsigned char probe;
  std::size_t got = 0;
  return file->Read(&probe, 1, &got) && got == 0;
}

}  // namespace

int LoadConfigFile(AppSettings* settings, HostList* hosts, UserMessages* messages) {
  std::string path;
  try {
    path = DataFilePath(kConfigFileName);
  } catch (const std::bad_alloc&) {
    messages->ShowMessage(kNoMemory);
    messages->RequestQuit(-1);
    return -1;
  }
  unsigned char header[kHeaderSize];
  PutHeader(AppSettings(), header);
  platform::File file;
  switch (file.OpenForReading(path)) {
    case platform::OpenStatus::kMissing:
      NoteLoadResult(path, true);
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
  std::size_t got = 0;
  if (!file.Read(header, kHeaderSize, &got)) {
    NoteLoadResult(path, false);
    return 0;
  }
  bool clean = true;
  if (got < kHeaderSize) {
    // The bytes that arrived stand over the defaults.
    messages->ShowMessage(kCorrupt);
    clean = false;
  }
  AppSettings loaded = GetHeader(header);
  if (loaded.version != kSettingsVersion) {
    messages->ShowMessage(kWrongVersion);
    NoteLoadResult(path, false);
    return -1;
  }
  for (std::int32_t i = 0; i < loaded.host_count; ++i) {
    unsigned char record[kRecordSize] = {};
    if (!file.Read(record, kRecordSize, &got) || got < kRecordSize) {
      messages->ShowMessage(kCorrupt);
      NoteLoadResult(path, false);
      return -1;
    }
    try {
      hosts->push_back(GetHost(record));
    } catch (const std::bad_alloc&) {
      messages->ShowMessage(kNoMemory);
      messages->RequestQuit(-1);
      clean = false;  // a host is missing from the list
    }
  }
  if (clean && !EndsAfterRecords(&file)) {
    NoteOversizedFile(path);
  } else {
    NoteLoadResult(path, clean);
  }
  *settings = loaded;
  return 0;
}

namespace {

int SaveConfigFileOrThrow(AppSettings* settings, const HostList& hosts, UserMessages* messages) {
  SafeFileWriter writer(DataFilePath(kConfigFileName));
  if (!writer.Create()) {
    messages->ShowMessage(kCannotSave);
    return 0;
  }
  settings->version = kSettingsVersion;
  std::memset(settings->magic, 0, sizeof settings->magic);
  std::memcpy(settings->magic, kSettingsMagic, sizeof kSettingsMagic);
  settings->host_count = static_cast<std::int32_t>(hosts.size());

  unsigned char header[kHeaderSize];
  PutHeader(*settings, header);
  if (!writer.Write(header, kHeaderSize)) {
    messages->ShowMessage(kCannotSave);
    return -1;
  }
  unsigned char record[kRecordSize];
  for (const HostEntry& host : hosts) {
    if (!PutHost(host, record) || !writer.Write(record, kRecordSize)) {
      messages->ShowMessage(kCannotCreate);
      return -1;
    }
  }
  if (!writer.Commit()) {
    messages->ShowMessage(kCannotSave);
    return -1;
  }
  return 0;
}

}  // namespace

int SaveConfigFile(AppSettings* settings, const HostList& hosts, UserMessages* messages) {
  try {
    return SaveConfigFileOrThrow(settings, hosts, messages);
  } catch (const std::bad_alloc&) {
    // The old file stays; the temporary one is gone with the writer.
    messages->ShowMessage(kCannotSave);
    return -1;
  }
}

}  // namespace tarnu
