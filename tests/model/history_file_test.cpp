#include "model/history_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "model/data_files.h"
#include "model/history_writer.h"
#include "model/record_fields.h"
#include "tests/model/file_test_util.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tarnu {
namespace {

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
using Ids = std::vector<std::string>;

constexpr std::size_t kHeader = 72;
constexpr std::size_t kRecord = 2048;
const char kWrongVersion[] = "履歴ファイルのバージョンが違います";
const char kCorrupt[] = "履歴ファイルが破損しています";
const char kCannotCreate[] = "履歴ファイルが作成できません";

// "<" + ten times あ + "@jp>" in code page 932.
const char kJapaneseId[] =
    "\x3C\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0"
    "\x40\x6A\x70\x3E";

std::string LongId() {  // 100 bytes: two base64 lines
  std::string id;
  for (char c = 0x30; c < 0x70; ++c) id += c;
  return id + "@" + std::string(35, 'L');
}

void SetHistory(HostEntry* host, const Ids& ids) {
  for (const std::string& id : ids) {
    MailEntry mail;
    mail.message_id = id;
    mail.subject = "not stored";
    mail.size = 99;
    host->history.mails.push_back(mail);
  }
}

Ids HistoryIds(const HostEntry& host) {
  Ids ids;
  for (const MailEntry& mail : host.history.mails) ids.push_back(mail.message_id);
  if (host.history.stored_keys) {
    for (const std::string& key : *host.history.stored_keys) ids.push_back(key);
  }
  return ids;
}

HostList Servers(const std::vector<std::string>& servers) {
  HostList hosts(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) hosts[i].server = servers[i];
  return hosts;
}

HostList SampleHosts() {
  HostList hosts = Servers({"pop.a.example", "pop.b.example", "pop.c.example"});
  SetHistory(&hosts[0], {"<1@a.example>", "", kJapaneseId});
  SetHistory(&hosts[1], {"<x@b.example>", LongId()});
  return hosts;
}

// Hand-assembled; base64 texts from Python's base64 module.
std::string SampleFile() {
  Image f(kHeader + 5 * kRecord);
  f.I32(0, 256);
  f.I32(4, 5);
  f.Put(8, "tarnu mail history data");
  const char* a = "cG9wLmEuZXhhbXBsZQ==\n";
  const char* b = "cG9wLmIuZXhhbXBsZQ==\n";
  std::size_t r = kHeader;
  f.Put(r, "PDFAYS5leGFtcGxlPg==\n");
  f.Put(r + 1024, a);
  r += kRecord;  // empty Message-ID: an all-zero first half
  f.Put(r + 1024, a);
  r += kRecord;
  f.Put(r, "PIKggqCCoIKggqCCoIKggqCCoIKgQGpwPg==\n");
  f.Put(r + 1024, a);
  r += kRecord;
  f.Put(r, "PHhAYi5leGFtcGxlPg==\n");
  f.Put(r + 1024, b);
  r += kRecord;
  f.Put(r,
        "MDEyMzQ1Njc4OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2Rl\n"
        "ZmdoaWprbG1ub0BMTExMTExMTExMTExMTExMTExMTExMTExMTExMTExMTExMTA==\n");
  f.Put(r + 1024, b);
  return f.bytes;
}

// Records a loader can attach to a host: a save may leave records of
// messages gone from a history in the file, killed (their server slot names
// no host) until enough of them make the file worth writing whole.
std::int32_t LiveCount() {
  const std::string bytes = ReadFileBytes("tarnu.hist.pref");
  if (bytes.size() < 8) return -1;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  std::int32_t live = 0;
  for (std::size_t at = 72; at + 2048 <= bytes.size(); at += 2048) {
    if (GetTextSlot(data + at + 1024, 1024) != kKilledRecordServer) ++live;
  }
  return live;
}

std::int32_t StoredCount() {
  std::string bytes = ReadFileBytes("tarnu.hist.pref");
  if (bytes.size() < 8) return -1;
  return static_cast<std::int32_t>(
      static_cast<unsigned char>(bytes[4]) | static_cast<unsigned char>(bytes[5]) << 8 |
      static_cast<unsigned char>(bytes[6]) << 16 | static_cast<unsigned char>(bytes[7]) << 24);
}

TEST(HistoryFileSave, WritesTheFileByteForByte) {
  ScratchDir dir;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveHistoryFile(SampleHosts(), &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  std::string want = SampleFile();
  std::string got = ReadFileBytes("tarnu.hist.pref");
  ASSERT_EQ(want.size(), got.size());
  for (std::size_t i = 0; i < want.size(); ++i) {
    ASSERT_EQ(want[i], got[i]) << "first difference at offset " << i;
  }
  EXPECT_FALSE(FileExists("tarnu.hist.pref.tmp"));
}

// After a load or a save this process knows where each record lies: a save
// writes only the records that changed, nothing when nothing did, and the
// whole file again when another process wrote it meanwhile.
TEST(HistoryFileSave, WritesOnlyWhatChangedSinceItWasLastRead) {
  ScratchDir dir;
  auto keys = [](int first, int last) {
    std::vector<std::string> ids;
    for (int n = first; n <= last; ++n) ids.push_back("<" + std::to_string(n) + "@a.example>");
    return ids;
  };
  auto changed_records = [](const std::string& a, const std::string& b) {
    int changed = 0;
    for (std::size_t at = 72; at < std::max(a.size(), b.size()); at += 2048) {
      if (at >= a.size() || at >= b.size() || a.compare(at, 2048, b, at, 2048) != 0) ++changed;
    }
    return changed;
  };
  RecordingMessages messages;
  HostList hosts = Servers({"pop.a.example"});
  SetHistory(&hosts[0], keys(1, 100));
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  // A later start: the file is read, then saved as checks change it.
  HostList loaded = Servers({"pop.a.example"});
  ASSERT_EQ(0, LoadHistoryFile(&loaded, &messages));
  struct Step {
    const char* what;
    int first, last;  // the keys the history holds
    int changed;      // records that differ afterwards
    bool same_size;
  } steps[] = {
      {"nothing new", 1, 100, 0, true},
      {"2 gone, 2 new", 3, 102, 2, true},
      {"3 more", 3, 105, 3, false},
  };
  for (const Step& step : steps) {
    const std::string before = ReadFileBytes("tarnu.hist.pref");
    loaded[0].history = SurveyResult();
    SetHistory(&loaded[0], keys(step.first, step.last));
    ASSERT_EQ(0, SaveHistoryFile(loaded, &messages)) << step.what;
    const std::string after = ReadFileBytes("tarnu.hist.pref");
    EXPECT_EQ(changed_records(before, after), step.changed) << step.what;
    EXPECT_EQ(after.size() == before.size(), step.same_size) << step.what;
    HostList back = Servers({"pop.a.example"});
    ASSERT_EQ(0, LoadHistoryFile(&back, &messages)) << step.what;
    std::vector<std::string> got = HistoryIds(back[0]), want = keys(step.first, step.last);
    std::sort(got.begin(), got.end());
    std::sort(want.begin(), want.end());
    EXPECT_EQ(got, want) << step.what;
  }
  // Another process writes the file: this one's next save writes it whole,
  // in the order a whole file has.
  HostList other = Servers({"pop.a.example"});
  SetHistory(&other[0], keys(50, 60));
  ASSERT_EQ(0, SaveHistoryFile(other, &messages));
  loaded[0].history = SurveyResult();
  SetHistory(&loaded[0], keys(3, 106));
  ASSERT_EQ(0, SaveHistoryFile(loaded, &messages));
  HostList back = Servers({"pop.a.example"});
  ASSERT_EQ(0, LoadHistoryFile(&back, &messages));
  EXPECT_EQ(HistoryIds(back[0]), keys(3, 106));
  EXPECT_EQ(Shown{}, messages.shown);
}

TEST(HistoryFileSave, EmptyHostListLeavesTheFileAlone) {
  ScratchDir dir;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveHistoryFile(HostList(), &messages));
  EXPECT_FALSE(FileExists("tarnu.hist.pref"));
  WriteFileBytes("tarnu.hist.pref", "old");
  EXPECT_EQ(0, SaveHistoryFile(HostList(), &messages));
  EXPECT_EQ("old", ReadFileBytes("tarnu.hist.pref"));
  EXPECT_EQ(Shown{}, messages.shown);
}

TEST(HistoryFileSave, HostsWithoutHistoryGiveAnEmptyFile) {
  ScratchDir dir;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveHistoryFile(Servers({"s"}), &messages));
  Image want(kHeader);
  want.I32(0, 256);
  want.Put(8, "tarnu mail history data");
  EXPECT_EQ(Hex(want.bytes), Hex(ReadFileBytes("tarnu.hist.pref")));
}

TEST(HistoryFileLoad, ReadsAHandMadeFile) {
  ScratchDir dir;
  WriteFileBytes("tarnu.hist.pref", SampleFile());
  HostList hosts = Servers({"pop.a.example", "pop.b.example", "pop.c.example"});
  RecordingMessages messages;
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ(Shown{}, messages.shown);
  EXPECT_EQ((Ids{"<1@a.example>", "", kJapaneseId}), HistoryIds(hosts[0]));
  EXPECT_EQ((Ids{"<x@b.example>", LongId()}), HistoryIds(hosts[1]));
  EXPECT_EQ(Ids{}, HistoryIds(hosts[2]));
  // Only the keys are stored; no entry is made for them.
  EXPECT_TRUE(hosts[0].history.mails.empty());
  EXPECT_TRUE(hosts[0].current.mails.empty());
  // Hosts with one address share one list of its keys.
  HostList two = Servers({"pop.b.example", "pop.b.example"});
  EXPECT_EQ(0, LoadHistoryFile(&two, &messages));
  EXPECT_EQ(two[0].history.stored_keys, two[1].history.stored_keys);
}

TEST(HistoryFileLoad, MissingOrShortFileIsNoHistory) {
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, std::size_t{8}, kHeader - 1}) {
    SCOPED_TRACE(length);
    ScratchDir dir;
    if (length > 0) WriteFileBytes("tarnu.hist.pref", SampleFile().substr(0, length));
    HostList hosts = Servers({"pop.a.example"});
    RecordingMessages messages;
    EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
    EXPECT_EQ(Shown{}, messages.shown);
    EXPECT_TRUE(HistoryIds(hosts[0]).empty());
  }
}

TEST(HistoryFileLoad, OtherVersionAttachesNothing) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.I32(0, 257);
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"pop.a.example", "pop.b.example"});
  RecordingMessages messages;
  EXPECT_EQ(-1, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ(Shown{kWrongVersion}, messages.shown);
  EXPECT_TRUE(HistoryIds(hosts[0]).empty());
  EXPECT_TRUE(HistoryIds(hosts[1]).empty());
}

TEST(HistoryFileLoad, CountLargerThanTheRecordsKeepsWhatWasAttached) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile().substr(0, kHeader + 3 * kRecord);
  file.I32(4, 5);
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"pop.a.example", "pop.b.example"});
  RecordingMessages messages;
  EXPECT_EQ(-1, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ(Shown{kCorrupt}, messages.shown);
  EXPECT_EQ((Ids{"<1@a.example>", "", kJapaneseId}), HistoryIds(hosts[0]));
  EXPECT_TRUE(HistoryIds(hosts[1]).empty());
}

TEST(HistoryFileLoad, AlteredMagicLoadsNormally) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.Put(8, "not the magic text");
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"pop.b.example"});
  RecordingMessages messages;
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ(2u, HistoryIds(hosts[0]).size());
}

TEST(HistoryFileLoad, ServerAddressesMatchExactly) {
  ScratchDir dir;
  WriteFileBytes("tarnu.hist.pref", SampleFile());
  // Two accounts on one server both get its records; a different letter
  // case or a trailing space matches nothing.
  HostList hosts = Servers({"pop.b.example", "POP.A.example", "pop.b.example", "pop.a.example "});
  RecordingMessages messages;
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ((Ids{"<x@b.example>", LongId()}), HistoryIds(hosts[0]));
  EXPECT_EQ(Ids{}, HistoryIds(hosts[1]));
  EXPECT_EQ((Ids{"<x@b.example>", LongId()}), HistoryIds(hosts[2]));
  EXPECT_EQ(Ids{}, HistoryIds(hosts[3]));
  // The records of pop.a.example matched no host and are gone after a save;
  // those of pop.b.example are written once for the address.
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(2, LiveCount());
  HostList reloaded = Servers({"pop.a.example"});
  ASSERT_EQ(0, LoadHistoryFile(&reloaded, &messages));
  EXPECT_TRUE(HistoryIds(reloaded[0]).empty());
}

TEST(HistoryFileLoad, AMessageIdAlreadyHeldIsNotAttachedAgain) {
  ScratchDir dir;
  Image file(kHeader + 4 * kRecord);
  file.I32(0, 256);
  file.I32(4, 4);
  const char* ids[] = {"PDFAYS5leGFtcGxlPg==\n", "PHhAYi5leGFtcGxlPg==\n", "PDFAYS5leGFtcGxlPg==\n",
                       ""};
  for (int i = 0; i < 4; ++i) {
    file.Put(kHeader + i * kRecord, ids[i]);
    file.Put(kHeader + i * kRecord + 1024, "cG9wLmEuZXhhbXBsZQ==\n");
  }
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"pop.a.example", "pop.a.example"});
  SetHistory(&hosts[1], {"<x@b.example>"});
  RecordingMessages messages;
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  EXPECT_EQ((Ids{"<1@a.example>", "<x@b.example>", ""}), HistoryIds(hosts[0]));
  EXPECT_EQ((Ids{"<x@b.example>", "<1@a.example>", ""}), HistoryIds(hosts[1]));
}

TEST(HistoryFile, HostsSharingAServerDoNotGrowTheFileFromRunToRun) {
  ScratchDir dir;
  HostList hosts = Servers({"pop.shared", "pop.shared", "pop.other"});
  SetHistory(&hosts[0], {"<a>"});
  SetHistory(&hosts[1], {"<b>"});
  SetHistory(&hosts[2], {"<c>"});
  RecordingMessages messages;
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(3, StoredCount());
  std::vector<std::int32_t> counts;
  for (int run = 0; run < 4; ++run) {
    HostList next = Servers({"pop.shared", "pop.shared", "pop.other"});
    ASSERT_EQ(0, LoadHistoryFile(&next, &messages));
    EXPECT_EQ((Ids{"<a>", "<b>"}), HistoryIds(next[0]));
    EXPECT_EQ((Ids{"<a>", "<b>"}), HistoryIds(next[1]));
    ASSERT_EQ(0, SaveHistoryFile(next, &messages));
    counts.push_back(StoredCount());
  }
  EXPECT_EQ((std::vector<std::int32_t>{3, 3, 3, 3}), counts);
  EXPECT_EQ(Shown{}, messages.shown);
}

TEST(HistoryFileSave, MessageIdsLongerThanASlotHoldsAreNotStored) {
  ScratchDir dir;
  HostList hosts = Servers({"s"});
  const std::string fits(756, 'm');
  const std::string too_long(757, 'n');
  SetHistory(&hosts[0], {"<1>", too_long, fits, std::string(5000, 'o'), "<2>"});
  RecordingMessages messages;
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(3, StoredCount());
  std::string bytes = ReadFileBytes("tarnu.hist.pref");
  ASSERT_EQ(kHeader + 3 * kRecord, bytes.size());
  // 756 bytes take 1008 characters and 14 line feeds: 1022, the NUL, one zero.
  std::size_t second = kHeader + kRecord;
  EXPECT_EQ('\n', bytes[second + 1021]);
  EXPECT_EQ('\0', bytes[second + 1022]);
  HostList back = Servers({"s"});
  ASSERT_EQ(0, LoadHistoryFile(&back, &messages));
  EXPECT_EQ((Ids{"<1>", fits, "<2>"}), HistoryIds(back[0]));
}

TEST(HistoryFileLoad, HalvesWithoutNulStayInsideTheRecord) {
  ScratchDir dir;
  Image file(kHeader + 2 * kRecord);
  file.I32(0, 256);
  file.I32(4, 2);
  // Record 0: a Message-ID half of 1024 base64 characters and no NUL.
  file.Put(kHeader, std::string(1024, 'Q'));
  file.Put(kHeader + 1024, "cw==\n");  // "s"
  // Record 1: the server half fills the rest of the file without a NUL.
  file.Put(kHeader + kRecord, "PDE+\n");  // "<1>"
  file.Put(kHeader + kRecord + 1024, std::string(1024, 'c'));
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"s"});
  RecordingMessages messages;
  EXPECT_EQ(0, LoadHistoryFile(&hosts, &messages));
  ASSERT_EQ(1u, HistoryIds(hosts[0]).size());
  EXPECT_EQ(768u, HistoryIds(hosts[0])[0].size());
  // Too long for a slot: not stored again.
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(0, LiveCount());
}

TEST(HistoryFileLoad, EveryTruncationOfAValidFile) {
  ScratchDir dir;
  const std::string full = SampleFile();
  const Ids all = {"<1@a.example>", "", kJapaneseId, "<x@b.example>", LongId()};
  int seen_short = 0, seen_partial = 0;
  for (std::size_t length = 0; length <= full.size(); ++length) {
    SCOPED_TRACE(length);
    const std::string bytes = full.substr(0, length);
    WriteFileBytes("tarnu.hist.pref", bytes);
    std::filesystem::remove("tarnu.hist.pref.bak");
    HostList hosts = Servers({"pop.a.example", "pop.b.example"});
    RecordingMessages messages;
    int result = LoadHistoryFile(&hosts, &messages);
    Ids attached = HistoryIds(hosts[0]);
    Ids of_b = HistoryIds(hosts[1]);
    attached.insert(attached.end(), of_b.begin(), of_b.end());
    if (length < kHeader) {
      ++seen_short;
      EXPECT_EQ(0, result);
      EXPECT_EQ(Shown{}, messages.shown);
      EXPECT_EQ(Ids{}, attached);
    } else if (length < full.size()) {
      ++seen_partial;
      EXPECT_EQ(-1, result);
      EXPECT_EQ(Shown{kCorrupt}, messages.shown);
      std::size_t complete = (length - kHeader) / kRecord;
      EXPECT_EQ(Ids(all.begin(), all.begin() + complete), attached);
    } else {
      EXPECT_EQ(0, result);
      EXPECT_EQ(Shown{}, messages.shown);
      EXPECT_EQ(all, attached);
    }
    RecordingMessages save_messages;
    ASSERT_EQ(0, SaveHistoryFile(hosts, &save_messages));
    EXPECT_EQ(Shown{}, save_messages.shown);
    bool backup_exists = false;
    std::string backup = ReadFileBytes("tarnu.hist.pref.bak", &backup_exists);
    if (length == full.size()) {
      EXPECT_FALSE(backup_exists);
      ASSERT_EQ(full, ReadFileBytes("tarnu.hist.pref"));
    } else {
      ASSERT_TRUE(backup_exists);
      ASSERT_EQ(bytes, backup);
    }
  }
  EXPECT_EQ(72, seen_short);
  EXPECT_EQ(5 * 2048, seen_partial);
}

TEST(HistoryFileBackup, FailedLoadIsKeptBeforeTheFirstSaveOnly) {
  ScratchDir dir;
  Image file(0);
  file.bytes = SampleFile();
  file.I32(0, 1);
  WriteFileBytes("tarnu.hist.pref", file.bytes);
  HostList hosts = Servers({"pop.a.example"});
  RecordingMessages messages;
  ASSERT_EQ(-1, LoadHistoryFile(&hosts, &messages));
  EXPECT_FALSE(FileExists("tarnu.hist.pref.bak"));
  SetHistory(&hosts[0], {"<new>"});
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(file.bytes, ReadFileBytes("tarnu.hist.pref.bak"));
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(file.bytes, ReadFileBytes("tarnu.hist.pref.bak"));
  EXPECT_EQ(kHeader + kRecord, ReadFileBytes("tarnu.hist.pref").size());
}

#ifndef _WIN32
TEST(HistoryFileSave, FailedSavesKeepTheOldFile) {
  struct Case {
    const char* what;
    rlim_t limit;  // 0: no limit
  };
  for (Case c : {Case{"header", kHeader - 1}, Case{"first record", kHeader + 100},
                 Case{"later record", kHeader + 3 * kRecord + 7}}) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    WriteFileBytes("tarnu.hist.pref", "the previous file");
    HostList hosts = SampleHosts();
    RecordingMessages messages;
    int result;
    {
      FileSizeLimit low(c.limit);
      result = SaveHistoryFile(hosts, &messages);
    }
    EXPECT_EQ(-1, result);
    EXPECT_EQ(Shown{kCannotCreate}, messages.shown);
    EXPECT_EQ("the previous file", ReadFileBytes("tarnu.hist.pref"));
    EXPECT_EQ(std::vector<std::string>{"tarnu.hist.pref"}, testing::DirectoryListing());
  }
}

TEST(HistoryFileSave, FolderThatCannotHoldTheFile) {
  ScratchDir dir;
  SetDataDirectory("no-such-folder");
  RecordingMessages messages;
  EXPECT_EQ(-1, SaveHistoryFile(SampleHosts(), &messages));
  SetDataDirectory("");
  EXPECT_EQ(Shown{kCannotCreate}, messages.shown);
  EXPECT_EQ(std::vector<std::string>{}, testing::DirectoryListing());
}
#endif  // _WIN32

}  // namespace
}  // namespace tarnu

namespace tarnu {
namespace {

// A message whose key the survey made (a long Message-ID, or none) is
// stored under that key and seen again after a restart, each on its own.
TEST(HistoryFile, MadeKeysAreStoredAndSeenAgainAfterReload) {
  ScratchDir dir;
  const std::string long_id = std::string(5000, 'l');
  auto made = [](const std::string& id, const std::string& key) {
    MailEntry mail;
    mail.message_id = id;
    mail.history_key = key;
    return mail;
  };
  const MailEntry long_mail = made(long_id, std::string(700, 'l') + "\x01" + "digest-of-long");
  const MailEntry no_id_a = made("", "\x01noid:aaaa");
  const MailEntry no_id_b = made("", "\x01noid:bbbb");
  HostList hosts = Servers({"s"});
  hosts[0].history.mails = {long_mail, no_id_a};
  RecordingMessages messages;
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(2, StoredCount());
  HostList back = Servers({"s"});
  ASSERT_EQ(0, LoadHistoryFile(&back, &messages));
  const HistoryIndex seen(back[0].history);
  EXPECT_FALSE(seen.IsNewMail(long_mail));
  EXPECT_FALSE(seen.IsNewMail(no_id_a));
  EXPECT_TRUE(seen.IsNewMail(no_id_b));  // another message without an ID is new
  EXPECT_FALSE(IsNewMail(no_id_a, back[0].history));
  EXPECT_TRUE(IsNewMail(no_id_b, back[0].history));
  EXPECT_EQ(Shown{}, messages.shown);
}

// Files written before such keys existed hold an empty Message-ID for a
// message without one; it keeps meaning "the message without an ID was
// seen" until the history is next replaced.
TEST(HistoryFile, EmptyIdFromAnOlderFileStillStandsForMessagesWithoutOne) {
  ScratchDir dir;
  WriteFileBytes("tarnu.hist.pref", SampleFile());
  HostList hosts = Servers({"pop.a.example"});
  RecordingMessages messages;
  ASSERT_EQ(0, LoadHistoryFile(&hosts, &messages));
  MailEntry no_id;
  no_id.history_key = "\x01noid:cccc";
  MailEntry other;
  other.message_id = "<other@a.example>";
  const HistoryIndex seen(hosts[0].history);
  EXPECT_FALSE(seen.IsNewMail(no_id));
  EXPECT_FALSE(IsNewMail(no_id, hosts[0].history));
  EXPECT_TRUE(seen.IsNewMail(other));
}

TEST(HistoryFile, ReloadsOnlyWhatAnotherProcessWrote) {
  ScratchDir dir;
  HostList ours = Servers({"s"});
  SetHistory(&ours[0], {"<mine>"});
  RecordingMessages messages;
  // Nothing read or written yet: only noted.
  EXPECT_FALSE(ReloadHistoryFileIfChanged(&ours, &messages));
  ASSERT_EQ(0, SaveHistoryFile(ours, &messages));
  EXPECT_FALSE(ReloadHistoryFileIfChanged(&ours, &messages));  // our own save
  EXPECT_EQ(Ids{"<mine>"}, HistoryIds(ours[0]));
  // Another writer replaces the file (a rename, as every save does).
  {
    Image other(kHeader + kRecord);
    other.I32(0, 256);
    other.I32(4, 1);
    other.Put(kHeader, "PHRoZWlycz4=\n");  // <theirs>
    other.Put(kHeader + 1024, "cw==\n");   // s
    WriteFileBytes("other.tmp", other.bytes);
    std::filesystem::rename("other.tmp", "tarnu.hist.pref");
  }
  EXPECT_TRUE(ReloadHistoryFileIfChanged(&ours, &messages));
  EXPECT_EQ(Ids{"<theirs>"}, HistoryIds(ours[0]));
  EXPECT_FALSE(ReloadHistoryFileIfChanged(&ours, &messages));
  // Removed by someone else: the histories empty.
  std::filesystem::remove("tarnu.hist.pref");
  EXPECT_TRUE(ReloadHistoryFileIfChanged(&ours, &messages));
  EXPECT_EQ(Ids{}, HistoryIds(ours[0]));
  EXPECT_EQ(Shown{}, messages.shown);
}

}  // namespace
}  // namespace tarnu
