#include "model/history_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "model/record_fields.h"
#include "tests/support/scratch_dir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef _WIN32
// The file calls of this test program go through these: a child process
// armed by CrashAtWrite is killed right before its n-th write or flush, as
// a crash at that moment would leave the file.
namespace {
long g_crash_at = 0;
long g_file_calls = 0;
void CountFileCall() {
  if (g_crash_at > 0 && ++g_file_calls >= g_crash_at) raise(SIGKILL);
}
void CrashAtWrite(long n) {
  g_file_calls = 0;
  g_crash_at = n;
}
}  // namespace
extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  CountFileCall();
  return syscall(SYS_pwrite64, fd, data, size, offset);
}
extern "C" ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  CountFileCall();
  return syscall(SYS_pwrite64, fd, data, size, offset);
}
extern "C" int fsync(int fd) {
  CountFileCall();
  return static_cast<int>(syscall(SYS_fsync, fd));
}
#endif

namespace tarnu {
namespace {

using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

constexpr char kFile[] = "tarnu.hist.pref";

using Pair = std::pair<std::string, std::string>;  // server, key

// The records a loader finds: the header's count of them, each decoded.
std::vector<Pair> ReadRecords(const std::string& bytes) {
  std::vector<Pair> out;
  if (bytes.size() < kHistoryHeaderSize) return out;
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::int32_t count = GetInt32(data + 4);
  for (std::int32_t i = 0; i < count; ++i) {
    const std::size_t at = kHistoryHeaderSize + static_cast<std::size_t>(i) * kHistoryRecordSize;
    if (at + kHistoryRecordSize > bytes.size()) break;
    out.emplace_back(GetTextSlot(data + at + kHistorySlotSize, kHistorySlotSize),
                     GetTextSlot(data + at, kHistorySlotSize));
  }
  return out;
}

// The records a host list would take: killed ones name no host.
std::set<Pair> Live(const std::vector<Pair>& records) {
  std::set<Pair> out;
  for (const Pair& p : records) {
    if (p.first != kKilledRecordServer) out.insert(p);
  }
  return out;
}

std::vector<HistoryRecord> Records(const std::vector<Pair>& pairs) {
  std::vector<HistoryRecord> out;
  for (const Pair& p : pairs) out.push_back(HistoryRecord{p.first, p.second});
  return out;
}

std::vector<Pair> Mailbox(const std::string& server, int first, int last) {
  std::vector<Pair> out;
  for (int n = first; n <= last; ++n) out.emplace_back(server, "<" + std::to_string(n) + "@x>");
  return out;
}

// The image a loader would note for the file as it stands.
HistoryImage ImageOfFile() {
  HistoryImage image;
  for (const Pair& p : ReadRecords(ReadFileBytes(kFile))) image.Note(p.first, p.second);
  image.Complete();
  return image;
}

// How many records differ between two versions of the file.
int ChangedRecords(std::string before, std::string after) {
  const std::size_t size = std::max(before.size(), after.size());
  before.resize(size);
  after.resize(size);
  int changed = 0;
  for (std::size_t at = kHistoryHeaderSize; at < size; at += kHistoryRecordSize) {
    if (before.compare(at, kHistoryRecordSize, after, at, kHistoryRecordSize) != 0) ++changed;
  }
  return changed;
}

std::vector<Pair> Join(std::vector<Pair> a, const std::vector<Pair>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(HistoryWriter, EachSaveWritesWhatChangedAndNoMore) {
  struct Step {
    const char* name;
    std::vector<Pair> records;
    HistoryWrite how;
    int changed;  // records that differ afterwards
  } steps[] = {
      {"first save", Join(Mailbox("a", 1, 100), Mailbox("b", 1, 100)), HistoryWrite::kWhole, 200},
      {"the same records in another order", Join(Mailbox("b", 1, 100), Mailbox("a", 1, 100)),
       HistoryWrite::kUnchanged, 0},
      {"3 new for a: appended", Join(Mailbox("a", 1, 103), Mailbox("b", 1, 100)),
       HistoryWrite::kInPlace, 3},
      {"4 gone and 4 new for a: the same places", Join(Mailbox("a", 5, 107), Mailbox("b", 1, 100)),
       HistoryWrite::kInPlace, 4},
      {"10 gone from b: killed", Join(Mailbox("a", 5, 107), Mailbox("b", 11, 100)),
       HistoryWrite::kInPlace, 10},
      {"2 new for c take killed places",
       Join(Mailbox("a", 5, 107), Join(Mailbox("b", 11, 100), Mailbox("c", 1, 2))),
       HistoryWrite::kInPlace, 2},
      {"b's host removed: more killed than a quarter, written whole",
       Join(Mailbox("a", 5, 107), Mailbox("c", 1, 2)), HistoryWrite::kWhole, -1},
  };
  ScratchDir dir;
  HistoryImage image;
  for (const Step& step : steps) {
    const std::string before = ReadFileBytes(kFile);
    ASSERT_EQ(WriteHistoryRecords(kFile, Records(step.records), &image), step.how) << step.name;
    const std::string after = ReadFileBytes(kFile);
    const std::vector<Pair> found = ReadRecords(after);
    EXPECT_EQ(Live(found), std::set<Pair>(step.records.begin(), step.records.end())) << step.name;
    EXPECT_EQ(after.size(), kHistoryHeaderSize + found.size() * kHistoryRecordSize) << step.name;
    if (step.changed >= 0) {
      EXPECT_EQ(ChangedRecords(before, after), step.changed) << step.name;
    }
    if (step.how == HistoryWrite::kWhole) {
      // A whole file holds the records in the order given, none killed.
      EXPECT_EQ(found, step.records) << step.name;
    }
    // The image a fresh load makes leads to the same decisions.
    HistoryImage loaded = ImageOfFile();
    EXPECT_EQ(WriteHistoryRecords(kFile, Records(step.records), &loaded), HistoryWrite::kUnchanged)
        << step.name;
  }
}

TEST(HistoryWriter, AFileThatIsNotWhatTheImageSaysIsWrittenWhole) {
  ScratchDir dir;
  const std::vector<Pair> records = Mailbox("a", 1, 10);
  HistoryImage image;
  ASSERT_EQ(WriteHistoryRecords(kFile, Records(records), &image), HistoryWrite::kWhole);
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"another process added a record", ReadFileBytes(kFile) + std::string(2048, 'x')},
      {"cut short", ReadFileBytes(kFile).substr(0, 72 + 5 * 2048)},
      {"gone", ""},
  };
  for (const Case& c : cases) {
    HistoryImage stale = image;
    WriteFileBytes(kFile, c.bytes);
    EXPECT_EQ(WriteHistoryRecords(kFile, Records(Mailbox("a", 1, 11)), &stale),
              HistoryWrite::kWhole)
        << c.name;
    EXPECT_EQ(ReadRecords(ReadFileBytes(kFile)), Mailbox("a", 1, 11)) << c.name;
  }
  HistoryImage unknown;
  EXPECT_EQ(WriteHistoryRecords(kFile, Records(Mailbox("a", 1, 11)), &unknown),
            HistoryWrite::kWhole);
}

#ifndef _WIN32
// A save killed at every one of its writes in turn (a child process armed to
// be killed right before its n-th write or flush, for n = 1, 2, ... until a
// save runs through): the file loads every time, every record the save before
// and the save under way both wanted is there, and nothing is there that
// neither wanted.
TEST(HistoryWriter, KilledAtEveryWriteOfASaveLosesNothingSavedBefore) {
  ScratchDir dir;
  // Before: a 1-120, b 1-20, with b 1-10 already killed by an earlier save.
  // The save under way: 5 of a gone and 5 new (their places), 3 of c (killed
  // places), 9 more of b (the last killed places, then appended).
  const std::vector<Pair> first = Join(Mailbox("a", 1, 120), Mailbox("b", 1, 20));
  const std::vector<Pair> before = Join(Mailbox("a", 1, 120), Mailbox("b", 11, 20));
  const std::vector<Pair> after =
      Join(Join(Mailbox("a", 6, 125), Mailbox("b", 11, 29)), Mailbox("c", 1, 3));
  const std::set<Pair> was(before.begin(), before.end());
  const std::set<Pair> will(after.begin(), after.end());
  bool ran_through = false;
  for (long n = 1; !ran_through && n < 1000; ++n) {
    std::remove(kFile);
    HistoryImage image;
    ASSERT_EQ(WriteHistoryRecords(kFile, Records(first), &image), HistoryWrite::kWhole);
    ASSERT_EQ(WriteHistoryRecords(kFile, Records(before), &image), HistoryWrite::kInPlace);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      CrashAtWrite(n);
      _exit(WriteHistoryRecords(kFile, Records(after), &image) == HistoryWrite::kInPlace ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
      ASSERT_EQ(WEXITSTATUS(status), 0) << n;
      ran_through = true;
    } else {
      ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << n;
    }
    const std::string bytes = ReadFileBytes(kFile);
    ASSERT_GE(bytes.size(), kHistoryHeaderSize) << n;
    const std::int32_t counted = GetInt32(reinterpret_cast<const unsigned char*>(bytes.data()) + 4);
    ASSERT_EQ(bytes.size() >= kHistoryHeaderSize + counted * kHistoryRecordSize, true)
        << "killed before write " << n << ": the header counts records that are not there";
    const std::set<Pair> loaded = Live(ReadRecords(bytes));
    for (const Pair& p : was) {
      if (will.count(p) != 0) {
        ASSERT_EQ(loaded.count(p), 1u)
            << "killed before write " << n << ": lost " << p.first << " " << p.second;
      }
    }
    for (const Pair& p : loaded) {
      ASSERT_TRUE(was.count(p) != 0 || will.count(p) != 0 || p.second == kKilledRecordServer)
          << "killed before write " << n << ": stray " << p.first << " " << p.second;
    }
    if (ran_through) {
      EXPECT_EQ(loaded, will);
    }
  }
  EXPECT_TRUE(ran_through);
}
#endif

}  // namespace
}  // namespace tarnu
