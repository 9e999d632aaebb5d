// A save killed at any moment (SIGKILL, nothing runs after it) leaves the
// previous file or the new one, whole, for each of the three files a check
// or an edit writes.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
using testing::ScratchDir;

constexpr int kKills = 40;

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

int Save(const char* file, int v) {
  RecordingMessages messages;
  if (std::string(file) == "tarnu.pref") {
    AppSettings settings;
    return SaveConfigFile(&settings, Version(v), &messages);
  }
  if (std::string(file) == "tarnu.hist.pref") return SaveHistoryFile(Version(v), &messages);
  return SavePendingForwards(Owed(v));
}

TEST(KillDuringSave, TheFileIsAlwaysTheOldOrTheNewOne) {
  std::mt19937 random(20240101);
  for (const char* file : {"tarnu.pref", "tarnu.hist.pref", "tarnu.pending"}) {
    SCOPED_TRACE(file);
    ScratchDir dir;
    std::string versions[2];
    for (int v = 0; v < 2; ++v) {
      ASSERT_EQ(0, Save(file, v));
      versions[v] = ReadFileBytes(file);
    }
    ASSERT_NE(versions[0], versions[1]);
    int killed_in_the_middle = 0;
    for (int kill_number = 0; kill_number < kKills; ++kill_number) {
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        // Saves the two versions in turn until killed.
        for (int v = 0;; v ^= 1) Save(file, v);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
      kill(child, SIGKILL);
      int status = 0;
      waitpid(child, &status, 0);
      ASSERT_TRUE(WIFSIGNALED(status));
      bool exists = false;
      const std::string now = ReadFileBytes(file, &exists);
      ASSERT_TRUE(exists);
      ASSERT_TRUE(now == versions[0] || now == versions[1]) << "after kill " << kill_number;
      for (const std::string& name : testing::DirectoryListing()) {
        if (name != file) ++killed_in_the_middle;
      }
    }
    // Loading the survivor gives no complaint.
    RecordingMessages messages;
    AppSettings settings;
    HostList hosts = Version(0);
    for (HostEntry& host : hosts) host.history.mails.clear();
    PendingForwards owed;
    const std::string name = file;
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
