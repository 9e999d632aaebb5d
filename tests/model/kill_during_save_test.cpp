// A save killed at any moment (SIGKILL, nothing runs after it) leaves the
// previous file or the new one, whole, for each of the three files a check
// or an edit writes; and the history written where it changed loses
// nothing that was saved before.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>

#include "model/config_file.h"
#include "model/history_file.h"
#include "model/pending_forwards.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

// A slow disk where a test asks for one: every positioned write and every
// flush takes a while, so that kills at random moments strike mostly while
// a save writes, as they would on a slow disk.
namespace {
bool g_slow_disk = false;
void SlowDisk() {
  if (g_slow_disk) usleep(100);
}
}  // namespace
extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
  SlowDisk();
  return syscall(SYS_pwrite64, fd, data, size, offset);
}
extern "C" ssize_t pwrite64(int fd, const void* data, size_t size, off_t offset) {
  SlowDisk();
  return syscall(SYS_pwrite64, fd, data, size, offset);
}
extern "C" int fsync(int fd) {
  SlowDisk();
  return static_cast<int>(syscall(SYS_fsync, fd));
}

namespace tarnu {
namespace {

using testing::ReadFileBytes;
using testing::RecordingMessages;

constexpr int kKills = 30;

// A scratch current directory on a disk (not in memory).
class DiskDir {
 public:
  DiskDir() : previous_(std::filesystem::current_path()) {
    char name[] = "/var/tmp/tarnu-kill-XXXXXX";
    if (mkdtemp(name) == nullptr) return;
    path_ = name;
    std::filesystem::current_path(path_);
  }
  ~DiskDir() {
    std::error_code error;
    std::filesystem::current_path(previous_, error);
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  bool ok() const { return !path_.empty(); }

 private:
  std::filesystem::path previous_;
  std::string path_;
};

// Two versions of the hosts and what goes with them, large enough that a
// save takes a while.
HostList Version(int v) {
  HostList hosts(20);
  for (std::size_t h = 0; h < hosts.size(); ++h) {
    hosts[h].name = "host " + std::to_string(h) + " v" + std::to_string(v);
    hosts[h].server = "pop" + std::to_string(h) + ".example.jp";
    hosts[h].user = "user" + std::to_string(v);
    for (int m = 0; m < 30; ++m) {
      MailEntry mail;
      mail.message_id = "<" + std::to_string(m) + "." + std::to_string(v) + "@x>";
      hosts[h].history.mails.push_back(mail);
    }
  }
  return hosts;
}

PendingForwards Owed(int v) {
  PendingForwards owed(1000);
  for (std::size_t i = 0; i < owed.size(); ++i) {
    owed[i].server = "pop.example.jp";
    owed[i].key = "<" + std::to_string(i) + "." + std::to_string(v) + "@x>";
    owed[i].tries = v;
  }
  return owed;
}

// One version of what a file holds, built before the saving starts so that
// the saver spends its time writing.
struct Data {
  HostList hosts;
  PendingForwards owed;
};

Data Build(int v) { return Data{Version(v), Owed(v)}; }

int Save(const std::string& file, const Data& data) {
  RecordingMessages messages;
  if (file == "tarnu.pref") {
    AppSettings settings;
    return SaveConfigFile(&settings, data.hosts, &messages);
  }
  if (file == "tarnu.hist.pref") return SaveHistoryFile(data.hosts, &messages);
  return SavePendingForwards(data.owed);
}

TEST(KillDuringSave, TheFileIsAlwaysTheOldOrTheNewOne) {
  std::mt19937 random(20240101);
  const Data data[2] = {Build(0), Build(1)};
  for (const std::string file : {"tarnu.pref", "tarnu.hist.pref", "tarnu.pending"}) {
    SCOPED_TRACE(file);
    // On a disk, where a save's flush takes time, so that kills strike
    // inside saves too.
    DiskDir dir;
    ASSERT_TRUE(dir.ok());
    std::string versions[2];
    const auto start = std::chrono::steady_clock::now();
    for (int v = 0; v < 2; ++v) {
      ASSERT_EQ(0, Save(file, data[v]));
      versions[v] = ReadFileBytes(file);
    }
    ASSERT_NE(versions[0], versions[1]);
    // Kills fall anywhere within a few saves' time.
    const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now() - start) /
                          2;
    const long long spread = one_save.count() * 3 + 1;
    int killed_in_the_middle = 0;
    for (int kill_number = 0; kill_number < kKills; ++kill_number) {
      int ready[2];
      ASSERT_EQ(0, pipe(ready));
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // Saves the two versions in turn until killed, once it said it runs.
        close(ready[0]);
        if (write(ready[1], "r", 1) != 1) _exit(1);
        for (int v = 0;; v ^= 1) Save(file, data[v]);
      }
      close(ready[1]);
      char byte;
      ASSERT_EQ(1, read(ready[0], &byte, 1));
      close(ready[0]);
      std::this_thread::sleep_for(std::chrono::microseconds(random() % spread));
      kill(child, SIGKILL);
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status));
      bool exists = false;
      const std::string now = ReadFileBytes(file, &exists);
      ASSERT_TRUE(exists);
      ASSERT_TRUE(now == versions[0] || now == versions[1]) << "after kill " << kill_number;
      for (const std::string& name : testing::DirectoryListing()) {
        if (name != file) {
          ++killed_in_the_middle;
          std::remove(name.c_str());
        }
      }
    }
    // Loading the survivor gives no complaint.
    RecordingMessages messages;
    AppSettings settings;
    HostList hosts = Version(0);
    for (HostEntry& host : hosts) host.history.mails.clear();
    PendingForwards owed;
    const std::string& name = file;
    const int loaded = name == "tarnu.pref"        ? LoadConfigFile(&settings, &hosts, &messages)
                       : name == "tarnu.hist.pref" ? LoadHistoryFile(&hosts, &messages)
                                                   : LoadPendingForwards(&owed);
    EXPECT_EQ(0, loaded);
    EXPECT_EQ(std::vector<std::string>{}, messages.shown);
    // Some kills must have struck in the middle of a save (a temporary file
    // left behind), or the loop proved nothing.
    EXPECT_GT(killed_in_the_middle, 0);
  }
}

// The history's own path: a save writes only what changed (new records over
// gone ones, the rest appended, the count raised last) and writes the file
// whole when much changed. A child saves version after version until it is
// killed; whatever moment the kill strikes, the file loads without a word
// and each host has every key both the last finished save and the one under
// way wanted, and none that neither did.
std::set<std::string> HistoryKeys(int v, int h) {
  std::set<std::string> keys;
  // Every seventh version ten hosts lose their mail: many records killed, so
  // the next saves write the file whole.
  if (v % 7 == 6 && h >= 10) return keys;
  // Each version six older messages gone and six to eight new ones (in
  // their places, then appended), or four new and two places killed.
  for (int m = 6 * v; m < 6 * v + 30 + v % 3; ++m) {
    keys.insert("<" + std::to_string(m) + "." + std::to_string(h) + "@x>");
  }
  return keys;
}

HostList HistoryVersion(int v) {
  HostList hosts(20);
  for (int h = 0; h < 20; ++h) {
    HostEntry& host = hosts[static_cast<std::size_t>(h)];
    host.server = "pop" + std::to_string(h) + ".example.jp";
    for (const std::string& key : HistoryKeys(v, h)) {
      MailEntry mail;
      mail.message_id = key;
      host.history.mails.push_back(mail);
    }
  }
  return hosts;
}

TEST(KillDuringSave, HistoryWrittenWhereItChangedLosesNothingSavedBefore) {
  std::mt19937 random(20240607);
  DiskDir dir;
  ASSERT_TRUE(dir.ok());
  RecordingMessages messages;
  ASSERT_EQ(0, SaveHistoryFile(HistoryVersion(0), &messages));
  // Saves as the children make them: written where they changed, on the
  // slow disk.
  g_slow_disk = true;
  const auto start = std::chrono::steady_clock::now();
  for (int v = 1; v <= 4; ++v) ASSERT_EQ(0, SaveHistoryFile(HistoryVersion(v), &messages));
  const auto one_save = std::chrono::duration_cast<std::chrono::microseconds>(
                            std::chrono::steady_clock::now() - start) /
                        4;
  g_slow_disk = false;
  const long long spread = one_save.count() * 4 + 1;
  int between_versions = 0;
  for (int kill_number = 0; kill_number < kKills; ++kill_number) {
    // A whole version first, saved by this process, so that the child starts
    // from a file it knows.
    const int base = kill_number * 10;
    ASSERT_EQ(0, SaveHistoryFile(HistoryVersion(base), &messages));
    int announced[2];
    ASSERT_EQ(0, pipe(announced));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Tells each version before saving it.
      close(announced[0]);
      g_slow_disk = true;
      for (int v = base + 1;; ++v) {
        if (write(announced[1], &v, sizeof v) != sizeof v) _exit(1);
        RecordingMessages quiet;
        SaveHistoryFile(HistoryVersion(v), &quiet);
      }
    }
    close(announced[1]);
    int v = 0;
    ASSERT_EQ(static_cast<ssize_t>(sizeof v), read(announced[0], &v, sizeof v));
    std::this_thread::sleep_for(std::chrono::microseconds(random() % spread));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    for (int next = 0; read(announced[0], &next, sizeof next) == sizeof next;) v = next;
    close(announced[0]);
    for (const std::string& name : testing::DirectoryListing()) {
      if (name != "tarnu.hist.pref") std::remove(name.c_str());
    }
    HostList loaded = HistoryVersion(v);
    for (HostEntry& host : loaded) host.history.mails.clear();
    RecordingMessages load_messages;
    ASSERT_EQ(0, LoadHistoryFile(&loaded, &load_messages)) << "after kill " << kill_number;
    ASSERT_EQ(std::vector<std::string>{}, load_messages.shown) << "after kill " << kill_number;
    bool neither = false;
    for (int h = 0; h < 20; ++h) {
      SCOPED_TRACE("after kill " + std::to_string(kill_number) + " in version " +
                   std::to_string(v) + ", host " + std::to_string(h));
      const SurveyResult& history = loaded[static_cast<std::size_t>(h)].history;
      std::set<std::string> keys;
      if (history.stored_keys)
        keys.insert(history.stored_keys->begin(), history.stored_keys->end());
      const std::set<std::string> before = HistoryKeys(v - 1, h);
      const std::set<std::string> after = HistoryKeys(v, h);
      for (const std::string& key : before) {
        if (after.count(key) != 0) {
          ASSERT_EQ(1u, keys.count(key)) << "lost " << key;
        }
      }
      for (const std::string& key : keys) {
        ASSERT_TRUE(before.count(key) != 0 || after.count(key) != 0) << "stray " << key;
      }
      neither = neither || (keys != before && keys != after);
    }
    if (neither) ++between_versions;
  }
  // Some kills must have struck between a save's first write and its last,
  // or the loop proved nothing.
  EXPECT_GT(between_versions, 0);
}

}  // namespace
}  // namespace tarnu
