// A save killed at any moment (SIGKILL, nothing runs after it) leaves the
// previous file or the new one, whole, for each of the three files a check
// or an edit writes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <thread>

#include "model/config_file.h"
#include "model/history_file.h"
#include "model/pending_forwards.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

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

}  // namespace
}  // namespace tarnu
