#include "model/config_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "model/data_files.h"
#include "model/history_file.h"
#include "platform/file_io.h"
#include "tests/model/file_test_util.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnu {
namespace {

using testing::DirectoryListing;
using testing::ExpectSameHost;
using testing::ExpectSameSettings;
using testing::FileExists;
#ifndef _WIN32
using testing::FileSizeLimit;
#endif
using testing::Hex;
using testing::Image;
using testing::ReadFileBytes;
using testing::RecordingMessages;
using testing::ScratchDir;
using testing::WriteFileBytes;
using Shown = std::vector<std::string>;
using Names = std::vector<std::string>;

constexpr std::size_t kHeader = 244;
constexpr std::size_t kRecord = 1564;
const char kCorrupt[] = "データファイルが破損しています";
const char kWrongVersion[] = "データファイルのバージョンが違います";
const char kCannotSave[] = "設定を保存できません";
const char kCannotCreate[] = "データファイルを作成できません";
const char kNotAFile[] = "設定ファイル tarnu.pref が通常のファイルではないため読み込めません";
const char kHistoryNotAFile[] =
    "履歴ファイル tarnu.hist.pref が通常のファイルではないため読み込めません";

// Code page 932 values, written as bytes so no editor can change them.
const char kTesuto[] = "\x83\x65\x83\x58\x83\x67";                            // テスト
const char kFace[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";  // ＭＳ ゴシック
const char kQuote[] = "\x81\x84\x20";                                         // "＞ "
const char kTensou[] = "\x93\x5D\x91\x97\x29";                                // 転送)
const char kShikyuu[] = "\x8E\x8A\x8B\x7D\x2C\x8F\x64\x97\x76";               // 至急,重要

std::string Repeat(const std::string& unit, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += unit;
  return out;
}

AppSettings SampleSettings() {
  AppSettings s;
  s.host_count = 2;
  s.periodic_check = 1;
  s.interval = 15;
  s.no_history_at_start = 1;
  s.auto_open = 1;
  s.font.height = -12;
  s.font.weight = 400;
  s.font.italic = 1;
  s.font.char_set = 0x80;
  s.font.out_precision = 3;
  s.font.clip_precision = 2;
  s.font.quality = 1;
  s.font.pitch_and_family = 0x31;
  std::memcpy(s.font.face_name, kFace, sizeof kFace);
  s.font_colour = 0x00FF8040;
  std::memset(s.quote, 0, sizeof s.quote);
  std::memcpy(s.quote, kQuote, sizeof kQuote);
  s.no_position_restore = 1;
  s.left = -5;
  s.top = 10;
  s.height = 300;
  s.width = 400;
  return s;
}

HostList SampleHosts() {
  HostList hosts(2);
  HostEntry& a = hosts[0];
  a.name = kTesuto;
  a.server = "pop.example.jp";
  a.user = "taro";
  a.password = "pa:ss word";
  a.check = true;
  a.apop = true;
  a.forward = true;
  a.notify_address = "me@example.jp";
  a.smtp_server = "smtp.example.jp";
  a.smtp_port = 587;
  a.pop3_port = 995;
  a.lines = 5;
  a.timeout = 30;
  a.subject_prefix = kTensou;
  a.rule.switches = 5;
  a.rule.subject_forward = kShikyuu;
  a.rule.from_forward = "boss@example.jp";
  a.rule.from_stop = "spam";
  // A new host with the four required fields, values at the slot limits.
  HostEntry& b = hosts[1];
  b.name = "b";
  b.server = "192.0.2.1";
  b.user = std::string(36, 'u');
  for (char c = 0x21; c < 0x21 + 36; ++c) b.password += c;
  b.rule.subject_stop = Repeat("\x82\xA0", 36);  // 72 bytes: two base64 lines
  return hosts;
}

// The sample as the file must hold it, assembled by hand; the base64 texts
// were produced by Python's base64 module.
std::string SampleFile() {
  Image f(kHeader + 2 * kRecord);
  f.I32(0, 256);
  f.I32(4, 2);
  f.I32(8, 1);
  f.I32(12, 15);
  f.I32(16, 2);
  f.I32(20, 0);
  f.I32(24, 1);
  f.I32(28, 1);
  f.I32(32, -12);
  f.I32(48, 400);
  f.Byte(52, 1);
  f.Byte(55, 0x80);
  f.Byte(56, 3);
  f.Byte(57, 2);
  f.Byte(58, 1);
  f.Byte(59, 0x31);
  f.Put(60, kFace);
  f.Put(92, "\x40\x80\xFF");
  f.Put(96, kQuote);
  f.I32(160, 1);
  f.I32(164, -5);
  f.I32(168, 10);
  f.I32(172, 300);
  f.I32(176, 400);
  f.Put(180, "tarnu config file");

  std::size_t r = kHeader;
  f.Put(r + 0, "g2WDWINn\n");
  f.Put(r + 102, "cG9wLmV4YW1wbGUuanA=\n");
  f.Put(r + 204, "dGFybw==\n");
  f.Put(r + 256, "cGE6c3Mgd29yZA==\n");
  f.I32(r + 308, 1);
  f.I32(r + 312, 1);
  f.I32(r + 316, 1);
  f.Put(r + 320, "bWVAZXhhbXBsZS5qcA==\n");
  f.Put(r + 422, "c210cC5leGFtcGxlLmpw\n");
  f.I32(r + 524, 587);
  f.I32(r + 528, 995);
  f.I32(r + 532, 5);
  f.I32(r + 536, 30);
  f.Put(r + 540, "k12Rlyk=\n");
  f.I32(r + 640, 5);
  f.Put(r + 644, "joqLfSyPZJd2\n");
  f.Put(r + 848, "Ym9zc0BleGFtcGxlLmpw\n");
  f.Put(r + 950, "c3BhbQ==\n");

  r += kRecord;
  f.Put(r + 0, "Yg==\n");
  f.Put(r + 102, "MTkyLjAuMi4x\n");
  f.Put(r + 204, "dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1dXV1\n");
  f.Put(r + 256, "ISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQkNE\n");
  f.I32(r + 308, 1);
  f.I32(r + 524, 25);
  f.I32(r + 528, 110);
  f.I32(r + 532, 2);
  f.I32(r + 536, 60);
  f.Put(r + 540, "RndkKQ==\n");
  f.Put(r + 746,
        "gqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoIKggqCCoIKg\n"
        "gqCCoIKggqCCoIKggqCCoIKg\n");
  return f.bytes;
}

// Settings that differ from the defaults everywhere a load could touch, to
// see whether a load replaced them.
AppSettings Sentinel() {
  AppSettings s;
  s.interval = 99;
  s.reserved = 7;
  s.left = 1234;
  return s;
}

TEST(ConfigFileSave, WritesTheFileByteForByte) {
  ScratchDir dir;
  AppSettings settings = SampleSettings();
  settings.version = 7;
  settings.host_count = 0;
  std::memset(settings.magic, 'x', sizeof settings.magic - 1);  // altered, no zeros after
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, SampleHosts(), &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  std::string want = SampleFile();
  std::string got = ReadFileBytes("tarnu.pref");
  ASSERT_EQ(want.size(), got.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(want[i], got[i]) << "first difference at offset " << i;
  }
  // The live settings carry what was written.
  EXPECT_EQ(256, settings.version);
  EXPECT_EQ(2, settings.host_count);
  EXPECT_STREQ("tarnu config file", settings.magic);
  EXPECT_FALSE(FileExists("tarnu.pref.tmp"));
  EXPECT_FALSE(FileExists("tarnu.pref.bak"));
}

TEST(ConfigFileSave, EmptyHostListIsAHeaderWithCountZero) {
  ScratchDir dir;
  AppSettings settings;
  settings.host_count = 5;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, HostList(), &messages));
  Image want(kHeader);
  want.I32(0, 256);
  want.I32(12, 10);
  want.I32(16, 2);
  want.Put(96, "> ");
  want.Put(180, "tarnu config file");
  EXPECT_EQ(Hex(want.bytes), Hex(ReadFileBytes("tarnu.pref")));
}

TEST(ConfigFileLoad, ReadsAHandMadeFile) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", SampleFile());
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  ExpectSameSettings(SampleSettings(), settings);
  HostList want = SampleHosts();
  ASSERT_EQ(2u, hosts.size());
  ExpectSameHost(want[0], hosts[0]);
  ExpectSameHost(want[1], hosts[1]);
  EXPECT_TRUE(hosts[0].history.mails.empty());
}

TEST(ConfigFileLoad, AppendsAfterTheHostsAlreadyInTheList) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", SampleFile());
  AppSettings settings;
  HostList hosts(1);
  hosts[0].name = "already here";
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  ASSERT_EQ(3u, hosts.size());
  EXPECT_EQ("already here", hosts[0].name);
  EXPECT_EQ(kTesuto, hosts[1].name);
}

TEST(ConfigFile, SaveThenLoadGivesBackEveryField) {
  ScratchDir dir;
  HostList hosts = SampleHosts();
  HostEntry empty_texts;  // every text empty, also the subject prefix
  empty_texts.subject_prefix.clear();
  empty_texts.check = false;
  empty_texts.timeout = -1;
  empty_texts.rule.switches = 15;
  // The reserved area's fields travel with the record too.
  empty_texts.extras.pop3_security = ConnectionSecurity::kStartTls;
  empty_texts.extras.smtp_user = kTesuto;
  empty_texts.extras.smtp_fingerprint = std::string(kFingerprintSize, '\x5A');
  hosts.push_back(empty_texts);
  AppSettings settings = SampleSettings();
  RecordingMessages messages;
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  AppSettings loaded;
  HostList back;
  ASSERT_EQ(0, LoadConfigFile(&loaded, &back, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  settings.host_count = 3;
  ExpectSameSettings(settings, loaded);
  ASSERT_EQ(hosts.size(), back.size());
  for (std::size_t i = 0; i < hosts.size(); ++i) ExpectSameHost(hosts[i], back[i]);
}

// Both files, their temporary files and backups follow the chosen folder.
TEST(DataFiles, FilesLiveInTheChosenFolder) {
  ScratchDir dir;
  std::filesystem::create_directory("data");
  for (const char* folder : {"data", "data/"}) {
    SCOPED_TRACE(folder);
    SetDataDirectory(folder);
    AppSettings settings = SampleSettings();
    HostList hosts = SampleHosts();
    hosts[0].history.mails.resize(1);
    hosts[0].history.mails[0].message_id = "<a@b>";
    RecordingMessages messages;
    ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
    ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
    AppSettings loaded;
    HostList back;
    ASSERT_EQ(0, LoadConfigFile(&loaded, &back, &messages));
    ASSERT_EQ(0, LoadHistoryFile(&back, &messages));
    SetDataDirectory("");
    ASSERT_EQ(2u, back.size());
    ASSERT_TRUE(back[0].history.stored_keys);
    EXPECT_EQ(std::vector<std::string>{"<a@b>"}, *back[0].history.stored_keys);
    EXPECT_EQ(Shown{}, messages.shown);
    EXPECT_TRUE(FileExists("data/tarnu.pref"));
    EXPECT_TRUE(FileExists("data/tarnu.hist.pref"));
    EXPECT_FALSE(FileExists("tarnu.pref"));
    EXPECT_FALSE(FileExists("tarnu.hist.pref"));
  }
}

TEST(ConfigFileLoad, MissingFileChangesNothingAndSaysNothing) {
  ScratchDir dir;
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  ExpectSameSettings(Sentinel(), settings);
  EXPECT_TRUE(hosts.empty());
}

TEST(ConfigFileLoad, EmptyFileIsCorruptButTakesTheDefaults) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", "");
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{kCorrupt}, messages.shown);
  ExpectSameSettings(AppSettings(), settings);
  EXPECT_TRUE(hosts.empty());
}

TEST(ConfigFileLoad, OtherVersionLoadsNothing) {
  ScratchDir dir;
  Image file(kHeader);
  file.bytes = SampleFile();
  file.I32(0, 257);
  WriteFileBytes("tarnu.pref", file.bytes);
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{kWrongVersion}, messages.shown);
  ExpectSameSettings(Sentinel(), settings);
  EXPECT_TRUE(hosts.empty());
}

TEST(ConfigFileLoad, CountLargerThanTheRecordsKeepsTheHostsRead) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.I32(4, 3);
  WriteFileBytes("tarnu.pref", file.bytes);
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{kCorrupt}, messages.shown);
  ExpectSameSettings(Sentinel(), settings);
  ASSERT_EQ(2u, hosts.size());
  ExpectSameHost(SampleHosts()[1], hosts[1]);
}

TEST(ConfigFileLoad, AlteredMagicLoadsNormally) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.Put(180, "something else entirely, not ours at all........................");
  WriteFileBytes("tarnu.pref", file.bytes);
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  EXPECT_EQ(2u, hosts.size());
  EXPECT_EQ(15, settings.interval);
}

TEST(ConfigFileLoad, BooleansAreOnOnlyForExactlyOne) {
  struct Case {
    std::int64_t stored;
    bool on;
  };
  for (Case c : {Case{0, false}, Case{1, true}, Case{2, false}, Case{-1, false}, Case{0x101, false},
                 Case{0x7FFFFFFF, false}}) {
    ScratchDir dir;
    Image file(0);
    file.bytes = SampleFile();
    for (std::size_t at : {8, 20, 24, 28, 160}) file.I32(at, c.stored);
    for (std::size_t at : {308, 312, 316}) file.I32(kHeader + at, c.stored);
    WriteFileBytes("tarnu.pref", file.bytes);
    AppSettings settings;
    HostList hosts;
    RecordingMessages messages;
    ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
    SCOPED_TRACE(c.stored);
    int flag = c.on ? 1 : 0;
    EXPECT_EQ(flag, settings.periodic_check);
    EXPECT_EQ(flag, settings.no_check_at_start);
    EXPECT_EQ(flag, settings.no_history_at_start);
    EXPECT_EQ(flag, settings.auto_open);
    EXPECT_EQ(flag, settings.no_position_restore);
    EXPECT_EQ(c.on, hosts[0].check);
    EXPECT_EQ(c.on, hosts[0].apop);
    EXPECT_EQ(c.on, hosts[0].forward);
  }
}

TEST(ConfigFileLoad, NumbersAndReservedAreTakenAsStored) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.I32(16, -77);                    // reserved
  file.I32(kHeader + 528, 70000);       // POP3 port outside the dialog's range
  file.I32(kHeader + 536, -1);          // timeout
  file.I32(kHeader + 640, 0x7FFFFFF0);  // switch word with unknown bits
  WriteFileBytes("tarnu.pref", file.bytes);
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(-77, settings.reserved);
  EXPECT_EQ(70000, hosts[0].pop3_port);
  EXPECT_EQ(-1, hosts[0].timeout);
  EXPECT_EQ(0x7FFFFFF0, hosts[0].rule.switches);
}

TEST(ConfigFileLoad, NonPositiveCountReadsNoRecord) {
  for (std::int64_t count : {0LL, -1LL, -2147483648LL}) {
    ScratchDir dir;
    Image file(0);
    file.bytes = SampleFile().substr(0, kHeader);
    file.I32(4, count);
    WriteFileBytes("tarnu.pref", file.bytes);
    AppSettings settings;
    HostList hosts;
    RecordingMessages messages;
    EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
    EXPECT_EQ(Shown{}, messages.shown);
    EXPECT_TRUE(hosts.empty());
    EXPECT_EQ(count, settings.host_count);
  }
}

// A damaged slot: no NUL anywhere in the user name's 52 bytes, and the
// quote and face name without a terminator in their fields.
TEST(ConfigFileLoad, SlotsAndFieldsWithoutTerminatorStayInBounds) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.Put(96, std::string(64, 'q'));
  file.Put(60, std::string(32, 'F'));
  file.Put(kHeader + 204, std::string(52, 'Q'));            // "QQQQ" decodes to 0x41 0x04 0x10
  file.Put(kHeader + 644, std::string(100, 'Q') + "\n\n");  // 75 bytes
  WriteFileBytes("tarnu.pref", file.bytes);
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(std::string(63, 'q'), std::string(settings.quote));
  EXPECT_EQ(std::string(31, 'F'), std::string(settings.font.face_name));
  // 52 characters decode to 39 bytes, more than the slot can hold again; the
  // value is cut to what a save can store.
  EXPECT_EQ(36u, hosts[0].user.size());
  EXPECT_EQ(72u, hosts[0].rule.subject_forward.size());
  EXPECT_EQ(Hex(std::string("\x41\x04\x10", 3)), Hex(hosts[0].user.substr(0, 3)));
  // And what was loaded saves and loads back unchanged.
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  AppSettings again;
  HostList back;
  ASSERT_EQ(0, LoadConfigFile(&again, &back, &messages));
  EXPECT_EQ(hosts[0].user, back[0].user);
  EXPECT_EQ(hosts[0].rule.subject_forward, back[0].rule.subject_forward);
  EXPECT_EQ(Shown{}, messages.shown);
}

// Every length of a valid two-host file: no crash, the messages and the
// result the format's rules give, what survives, and after the next save the
// backup holds exactly the bytes that failed to load.
TEST(ConfigFileLoad, EveryTruncationOfAValidFile) {
  ScratchDir dir;
  const std::string full = SampleFile();
  const HostList sample = SampleHosts();
  int seen_defaults = 0, seen_header_short = 0, seen_no_host = 0, seen_one_host = 0;
  for (std::size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    std::string bytes = full.substr(0, length);
    WriteFileBytes("tarnu.pref", bytes);
    std::filesystem::remove("tarnu.pref.bak");
    AppSettings settings = Sentinel();
    HostList hosts;
    RecordingMessages messages;
    int result = LoadConfigFile(&settings, &hosts, &messages);
    if (length == full.size()) {
      EXPECT_EQ(0, result);
      EXPECT_EQ(Shown{}, messages.shown);
      ExpectSameSettings(SampleSettings(), settings);
      ASSERT_EQ(2u, hosts.size());
    } else if (length <= 4) {
      // The host count is still the default 0: the header alone is taken.
      ++seen_defaults;
      EXPECT_EQ(0, result);
      EXPECT_EQ(Shown{kCorrupt}, messages.shown);
      ExpectSameSettings(AppSettings(), settings);
      EXPECT_TRUE(hosts.empty());
    } else if (length < kHeader) {
      ++seen_header_short;
      EXPECT_EQ(-1, result);
      EXPECT_EQ((Shown{kCorrupt, kCorrupt}), messages.shown);
      ExpectSameSettings(Sentinel(), settings);
      EXPECT_TRUE(hosts.empty());
    } else if (length < kHeader + kRecord) {
      ++seen_no_host;
      EXPECT_EQ(-1, result);
      EXPECT_EQ(Shown{kCorrupt}, messages.shown);
      ExpectSameSettings(Sentinel(), settings);
      EXPECT_TRUE(hosts.empty());
    } else {
      ++seen_one_host;
      EXPECT_EQ(-1, result);
      EXPECT_EQ(Shown{kCorrupt}, messages.shown);
      ExpectSameSettings(Sentinel(), settings);
      ASSERT_EQ(1u, hosts.size());
      ExpectSameHost(sample[0], hosts[0]);
    }
    // The save that follows (at exit in the program) keeps the failed file.
    AppSettings to_save = settings;
    RecordingMessages save_messages;
    ASSERT_EQ(0, SaveConfigFile(&to_save, hosts, &save_messages));
    EXPECT_EQ(Shown{}, save_messages.shown);
    bool backup_exists = false;
    std::string backup = ReadFileBytes("tarnu.pref.bak", &backup_exists);
    if (length == full.size()) {
      EXPECT_FALSE(backup_exists);
      EXPECT_EQ(Hex(full), Hex(ReadFileBytes("tarnu.pref")));
    } else {
      ASSERT_TRUE(backup_exists);
      ASSERT_EQ(bytes, backup);
    }
  }
  EXPECT_EQ(5, seen_defaults);
  EXPECT_EQ(239, seen_header_short);
  EXPECT_EQ(1564, seen_no_host);
  EXPECT_EQ(1564, seen_one_host);
}

// --- Backups of files that failed to load ---------------------------------

std::string OtherVersionFile() {
  Image file(0);
  file.bytes = SampleFile();
  file.I32(0, 257);
  return file.bytes;
}

TEST(ConfigFileBackup, FailedLoadIsKeptBeforeTheFirstSaveOnly) {
  ScratchDir dir;
  const std::string original = OtherVersionFile();
  WriteFileBytes("tarnu.pref", original);
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_FALSE(FileExists("tarnu.pref.bak"));  // loading alone writes nothing
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(original, ReadFileBytes("tarnu.pref.bak"));
  std::string first_save = ReadFileBytes("tarnu.pref");
  EXPECT_EQ(kHeader, first_save.size());
  // Later saves of the same run replace tarnu's own file; the backup stays.
  hosts.resize(1);
  hosts[0].name = "added later";
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(original, ReadFileBytes("tarnu.pref.bak"));
  EXPECT_EQ(kHeader + kRecord, ReadFileBytes("tarnu.pref").size());
}

TEST(ConfigFileBackup, CleanLoadsAndMissingFilesKeepNoBackup) {
  ScratchDir dir;
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));  // missing
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));  // clean
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_FALSE(FileExists("tarnu.pref.bak"));
  EXPECT_EQ(Shown{}, messages.shown);
}

TEST(ConfigFileBackup, ACleanLoadAfterAFailedOneWithdrawsTheBackup) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", OtherVersionFile());
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  WriteFileBytes("tarnu.pref", SampleFile());  // the user put a good file back
  ASSERT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_FALSE(FileExists("tarnu.pref.bak"));
}

TEST(ConfigFileBackup, TrailingBytesAreKept) {
  ScratchDir dir;
  const std::string original = SampleFile() + std::string(kRecord, 'x');
  WriteFileBytes("tarnu.pref", original);
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  EXPECT_EQ(2u, hosts.size());
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(original, ReadFileBytes("tarnu.pref.bak"));
  EXPECT_EQ(SampleFile(), ReadFileBytes("tarnu.pref"));
}

TEST(ConfigFileBackup, FailureIsTiedToTheFileNotToTheName) {
  ScratchDir first;
  WriteFileBytes("tarnu.pref", OtherVersionFile());
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  {
    ScratchDir second;  // another directory: its file never failed
    WriteFileBytes("tarnu.pref", SampleFile());
    ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
    EXPECT_FALSE(FileExists("tarnu.pref.bak"));
  }
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(OtherVersionFile(), ReadFileBytes("tarnu.pref.bak"));
}

#ifndef _WIN32
// Failures a test can provoke on a POSIX system: the file is a directory,
// the temporary file leads to /dev/full, the file size limit is low.

TEST(ConfigFileLoad, UnreadableFileLoadsNothingAndIsNeverReplaced) {
  ScratchDir dir;
  std::filesystem::create_directory("tarnu.pref");
  WriteFileBytes("tarnu.pref/inside", "x");
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{kNotAFile}, messages.shown);
  ExpectSameSettings(Sentinel(), settings);
  messages.shown.clear();
  EXPECT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  EXPECT_EQ("x", ReadFileBytes("tarnu.pref/inside"));
  EXPECT_EQ(Names{"tarnu.pref"}, DirectoryListing());
}

// A pipe where the file should be is never waited on, in either file, and
// the user is told why nothing was read.
TEST(ConfigFileLoad, PipeInPlaceOfTheFileIsNotWaitedOn) {
  ScratchDir dir;
  ASSERT_EQ(0, mkfifo("tarnu.pref", 0600));
  ASSERT_EQ(0, mkfifo("tarnu.hist.pref", 0600));
  AppSettings settings = Sentinel();
  HostList hosts(1);
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ((Shown{kNotAFile, kHistoryNotAFile}), messages.shown);
  ExpectSameSettings(Sentinel(), settings);
  // Nor is it replaced by a save.
  messages.shown.clear();
  EXPECT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  struct stat info;
  ASSERT_EQ(0, lstat("tarnu.pref", &info));
  EXPECT_TRUE(S_ISFIFO(info.st_mode));
}

TEST(ConfigFileSave, TemporaryFileThatCannotBeCreated) {
  ScratchDir dir;
  SetDataDirectory("no-such-folder");
  AppSettings settings;
  settings.version = 5;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, HostList(), &messages));
  SetDataDirectory("");
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  EXPECT_EQ(5, settings.version);  // untouched when nothing could be created
  EXPECT_EQ(Names{}, DirectoryListing());
}

TEST(ConfigFileSave, FailedHeaderWriteKeepsTheOldFile) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", SampleFile());
  AppSettings settings;
  RecordingMessages messages;
  int result;
  {
    FileSizeLimit low(kHeader - 1);
    result = SaveConfigFile(&settings, SampleHosts(), &messages);
  }
  EXPECT_EQ(-1, result);
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  EXPECT_EQ(SampleFile(), ReadFileBytes("tarnu.pref"));
  EXPECT_EQ(Names{"tarnu.pref"}, DirectoryListing());
}

TEST(ConfigFileSave, FailedRecordWriteKeepsTheOldFile) {
  for (rlim_t limit : {kHeader + 10, kHeader + kRecord, kHeader + kRecord + 1000}) {
    SCOPED_TRACE(limit);
    ScratchDir dir;
    WriteFileBytes("tarnu.pref", "the previous file");
    AppSettings settings;
    RecordingMessages messages;
    int result;
    {
      FileSizeLimit low(limit);
      result = SaveConfigFile(&settings, SampleHosts(), &messages);
    }
    EXPECT_EQ(-1, result);
    EXPECT_EQ(Shown{kCannotCreate}, messages.shown);
    EXPECT_EQ("the previous file", ReadFileBytes("tarnu.pref"));
    EXPECT_EQ(Names{"tarnu.pref"}, DirectoryListing());
  }
}

TEST(ConfigFileSave, FileThatCannotBeReplacedStaysAsItWas) {
  ScratchDir dir;
  std::filesystem::create_directory("tarnu.pref");
  WriteFileBytes("tarnu.pref/inside", "x");
  AppSettings settings;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, SampleHosts(), &messages));
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  EXPECT_EQ("x", ReadFileBytes("tarnu.pref/inside"));
  EXPECT_EQ(Names{"tarnu.pref"}, DirectoryListing());
}

TEST(ConfigFileBackup, ASaveThatFailedBeforeReplacingStillKeepsTheBackupLater) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", OtherVersionFile());
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  ASSERT_EQ(-1, LoadConfigFile(&settings, &hosts, &messages));
  {
    FileSizeLimit low(10);
    EXPECT_EQ(-1, SaveConfigFile(&settings, hosts, &messages));
  }
  EXPECT_EQ(OtherVersionFile(), ReadFileBytes("tarnu.pref"));
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(OtherVersionFile(), ReadFileBytes("tarnu.pref.bak"));
}
#endif  // _WIN32

#ifdef _WIN32
// Opened without sharing: while another holder has the file, loading reads
// nothing and saving cannot replace it; once released, the first save keeps
// the file it never read.
TEST(ConfigFile, FileHeldOpenElsewhereIsNeitherReadNorReplaced) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", SampleFile());
  platform::File holder;
  ASSERT_EQ(platform::OpenStatus::kOpened, holder.OpenForReading("tarnu.pref"));
  AppSettings settings = Sentinel();
  HostList hosts;
  RecordingMessages messages;
  EXPECT_EQ(0, LoadConfigFile(&settings, &hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  EXPECT_TRUE(hosts.empty());
  EXPECT_EQ(-1, SaveConfigFile(&settings, SampleHosts(), &messages));
  EXPECT_EQ(Shown{kCannotSave}, messages.shown);
  holder.Close();
  EXPECT_EQ(SampleFile(), ReadFileBytes("tarnu.pref"));
  ASSERT_EQ(0, SaveConfigFile(&settings, HostList(), &messages));
  EXPECT_EQ(SampleFile(), ReadFileBytes("tarnu.pref.bak"));
  EXPECT_EQ(kHeader, ReadFileBytes("tarnu.pref").size());
}
#endif

// Whatever stands under a temporary-looking name (a leftover, or a link
// planted to make the save write elsewhere) is neither used nor touched.
TEST(ConfigFileSave, FilesUnderTemporaryNamesAreLeftAlone) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref.tmp", std::string(5000, 'z'));
  AppSettings settings = SampleSettings();
  RecordingMessages messages;
  ASSERT_EQ(0, SaveConfigFile(&settings, SampleHosts(), &messages));
  EXPECT_EQ(SampleFile(), ReadFileBytes("tarnu.pref"));
  EXPECT_EQ(std::string(5000, 'z'), ReadFileBytes("tarnu.pref.tmp"));
  EXPECT_EQ((Names{"tarnu.pref", "tarnu.pref.tmp"}), DirectoryListing());
}

#ifndef NDEBUG
TEST(ConfigFileSaveDeathTest, OverLongValueIsAProgrammingError) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  ScratchDir dir;
  HostList hosts(1);
  hosts[0].password = std::string(37, 'p');
  AppSettings settings;
  RecordingMessages messages;
  EXPECT_DEATH(SaveConfigFile(&settings, hosts, &messages), "over-long");
}
#endif

}  // namespace
}  // namespace tarnu
