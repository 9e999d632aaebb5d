#include "model/config_sync.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "model/config_file.h"
#include "model/data_files.h"
#include "platform/file_lock.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

namespace tarnu {
namespace {

using testing::FileExists;
using testing::ReadFileBytes;
using testing::RecordingMessages;
using testing::ScratchDir;
using testing::WriteFileBytes;

HostEntry Host(const std::string& name, const std::string& server) {
  HostEntry host;
  host.name = name;
  host.server = server;
  host.user = "user";
  host.password = "secret";
  return host;
}

std::vector<std::string> Names(const HostList& hosts) {
  std::vector<std::string> names;
  for (const HostEntry& host : hosts) names.push_back(host.name);
  return names;
}

// What another process (tarnu-cli) does to the file meanwhile.
enum class Elsewhere { kNothing, kAddsHost, kDamages, kDeletes };

void ChangeElsewhere(Elsewhere change) {
  RecordingMessages messages;
  AppSettings settings;
  HostList hosts;
  switch (change) {
    case Elsewhere::kNothing:
      break;
    case Elsewhere::kAddsHost:
      LoadConfigFile(&settings, &hosts, &messages);
      hosts.push_back(Host("added elsewhere", "pop.b.example"));
      settings.interval = 30;
      settings.left = 999;  // the window position is tarnu.exe's own
      SaveConfigFile(&settings, hosts, &messages);
      break;
    case Elsewhere::kDamages:
      WriteFileBytes(kConfigFileName, std::string("\x01\x00\x00\x00 not tarnu's", 16));
      break;
    case Elsewhere::kDeletes:
      std::remove(kConfigFileName);
      break;
  }
}

TEST(ConfigSync, DecideSave) {
  EXPECT_EQ(DecideSave(false, false), SaveConflict::kNone);
  EXPECT_EQ(DecideSave(false, true), SaveConflict::kNone);
  EXPECT_EQ(DecideSave(true, false), SaveConflict::kTakeFile);
  EXPECT_EQ(DecideSave(true, true), SaveConflict::kAsk);
}

// tarnu.exe loads hosts A with interval 10, moves its window, maybe edits
// the interval in a dialog, and saves after another process did something.
TEST(ConfigSync, SaveAfterChangesElsewhere) {
  struct Case {
    const char* what;
    Elsewhere elsewhere;
    bool edited;  // the dialog set the interval to 5
    std::optional<ConflictChoice> answer;
    bool asked;
    std::vector<std::string> hosts;  // in the file afterwards
    int interval;
  };
  const std::string mine = "mine";
  const std::string added = "added elsewhere";
  const std::vector<Case> cases = {
      {"nothing elsewhere", Elsewhere::kNothing, false, {}, false, {mine}, 10},
      {"nothing elsewhere, edited",
       Elsewhere::kNothing,
       true,
       ConflictChoice::kTakeFile,
       false,
       {mine},
       5},
      {"a host added at exit", Elsewhere::kAddsHost, false, {}, false, {mine, added}, 30},
      {"a host added, dialog kept",
       Elsewhere::kAddsHost,
       true,
       ConflictChoice::kKeepMine,
       true,
       {mine},
       5},
      {"a host added, file taken",
       Elsewhere::kAddsHost,
       true,
       ConflictChoice::kTakeFile,
       true,
       {mine, added},
       30},
      {"a host added, nobody to ask", Elsewhere::kAddsHost, true, {}, false, {mine}, 5},
      {"damaged elsewhere", Elsewhere::kDamages, false, {}, false, {mine}, 10},
      {"deleted elsewhere", Elsewhere::kDeletes, false, {}, false, {mine}, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    {
      AppSettings settings;
      HostList hosts = {Host(mine, "pop.a.example")};
      RecordingMessages messages;
      SaveConfigFile(&settings, hosts, &messages);
    }
    SharedConfigFile file;
    AppSettings settings;
    HostList hosts;
    RecordingMessages messages;
    ASSERT_EQ(file.Load(&settings, &hosts, &messages), 0);
    hosts[0].history.mails.resize(3);  // seen by a check
    const std::uint64_t identity = hosts[0].identity;
    settings.left = 10;
    settings.top = 20;
    settings.width = 300;
    settings.height = 400;
    if (c.edited) settings.interval = 5;

    ChangeElsewhere(c.elsewhere);
    EXPECT_EQ(file.ChangedOnDisk(), c.elsewhere != Elsewhere::kNothing);
    bool asked = false;
    std::function<ConflictChoice()> ask;
    if (c.answer) {
      ask = [&] {
        asked = true;
        return *c.answer;
      };
    }
    EXPECT_EQ(file.Save(&settings, &hosts, &messages, c.edited, ask), 0);
    EXPECT_EQ(asked, c.asked);
    EXPECT_TRUE(messages.shown.empty()) << messages.shown[0];
    EXPECT_FALSE(file.ChangedOnDisk());

    // The file, as the next start-up reads it, and the memory agree.
    AppSettings stored;
    HostList stored_hosts;
    ASSERT_EQ(LoadConfigFile(&stored, &stored_hosts, &messages), 0);
    EXPECT_EQ(Names(stored_hosts), c.hosts);
    EXPECT_EQ(Names(hosts), c.hosts);
    EXPECT_EQ(stored.interval, c.interval);
    EXPECT_EQ(settings.interval, c.interval);
    EXPECT_EQ(stored.left, 10);
    EXPECT_EQ(stored.width, 300);
    // The host's history and identity stay with it in memory.
    EXPECT_EQ(hosts[0].history.mails.size(), 3u);
    EXPECT_EQ(hosts[0].identity, identity);
    EXPECT_EQ(FileExists(std::string(kConfigFileName) + ".bak"),
              c.elsewhere == Elsewhere::kDamages);
  }
}

// Another writer keeping the lock: nothing is written, the user is told,
// and the unsaved dialog edits still count at the next save.
TEST(ConfigSync, BusyLockWritesNothingAndKeepsTheEditsPending) {
  ScratchDir dir;
  SharedConfigFile file;
  AppSettings settings;
  HostList hosts = {Host("mine", "pop.a.example")};
  RecordingMessages messages;
  file.Load(&settings, &hosts, &messages);
  ASSERT_EQ(file.Save(&settings, &hosts, &messages, false), 0);
  const std::string before = ReadFileBytes(kConfigFileName);

  platform::FileLock other;
  ASSERT_EQ(other.Lock(kLockFileName, 0), platform::LockResult::kLocked);
  settings.interval = 5;
  EXPECT_EQ(file.Save(&settings, &hosts, &messages, true), -1);
  EXPECT_EQ(messages.shown, std::vector<std::string>{kSettingsBusyText});
  EXPECT_EQ(ReadFileBytes(kConfigFileName), before);
  ChangeElsewhere(Elsewhere::kAddsHost);
  other.Unlock();

  bool asked = false;
  EXPECT_EQ(file.Save(&settings, &hosts, &messages, false,
                      [&] {
                        asked = true;
                        return ConflictChoice::kKeepMine;
                      }),
            0);
  EXPECT_TRUE(asked);
  EXPECT_EQ(Names(hosts), std::vector<std::string>{"mine"});
}

}  // namespace
}  // namespace tarnu
