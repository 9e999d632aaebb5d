// What a save does to the files around it: links, planted names, backups.
#include "model/file_protection.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/config_file.h"
#include "model/history_file.h"
#include "tests/model/file_test_util.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarnu {
namespace {

#ifndef _WIN32
namespace fs = std::filesystem;
using testing::DirectoryListing;
using testing::FileSizeLimit;
using testing::ReadFileBytes;
using testing::RecordingMessages;
using testing::ScratchDir;
using testing::WriteFileBytes;
using Names = std::vector<std::string>;

constexpr std::size_t kHistoryHeader = 72;

// A valid history file without records, then `extra` bytes of nothing.
std::string EmptyHistory() {
  testing::Image f(kHistoryHeader);
  f.I32(0, 256);
  f.Put(8, "tarnu mail history data");
  return f.bytes;
}

std::string SavedSettings() {
  ScratchDir elsewhere;
  AppSettings settings;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, HostList(1), &messages));
  return ReadFileBytes("tarnu.pref");
}

ino_t Inode(const std::string& name) {
  struct stat info;
  return stat(name.c_str(), &info) == 0 ? info.st_ino : 0;
}

// A folder on another file system than the scratch directories, so that no
// second name can be given across.
class OtherDevice {
 public:
  OtherDevice() {
    char name[] = "/var/tmp/tarnu-other-XXXXXX";
    path_ = mkdtemp(name) != nullptr ? name : "";
  }
  ~OtherDevice() {
    std::error_code error;
    if (!path_.empty()) fs::remove_all(path_, error);
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

TEST(SafeFileWriter, SymbolicLinksAreWrittenThroughAndStay) {
  struct Case {
    const char* what;
    const char* link_to;  // relative to the scratch directory
    bool target_exists;
  } cases[] = {
      {"link to a file", "real/tarnu.pref", true},
      {"link to a link", "second-link", true},
      {"dangling link", "real/not-yet.pref", false},
  };
  const std::string saved = SavedSettings();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    fs::create_directory("real");
    if (c.target_exists) WriteFileBytes("real/tarnu.pref", "old");
    ASSERT_EQ(0, symlink("real/tarnu.pref", "second-link"));
    ASSERT_EQ(0, symlink(c.link_to, "tarnu.pref"));
    AppSettings settings;
    RecordingMessages messages;
    ASSERT_EQ(0, SaveConfigFile(&settings, HostList(1), &messages));
    EXPECT_TRUE(fs::is_symlink("tarnu.pref"));
    EXPECT_EQ(c.link_to, fs::read_symlink("tarnu.pref").string());
    const std::string target =
        std::string(c.link_to) == "second-link" ? "real/tarnu.pref" : c.link_to;
    EXPECT_EQ(saved, ReadFileBytes(target));
    EXPECT_EQ((Names{"real", "second-link", "tarnu.pref"}), DirectoryListing());
    EXPECT_EQ(1u, std::distance(fs::directory_iterator("real"), fs::directory_iterator()));
  }
}

TEST(SafeFileWriter, LinkLoopIsNotWritten) {
  ScratchDir dir;
  ASSERT_EQ(0, symlink("b", "tarnu.pref"));
  ASSERT_EQ(0, symlink("tarnu.pref", "b"));
  AppSettings settings;
  RecordingMessages messages;
  EXPECT_EQ(0, SaveConfigFile(&settings, HostList(), &messages));
  EXPECT_EQ(std::vector<std::string>{"設定を保存できません"}, messages.shown);
  EXPECT_EQ((Names{"b", "tarnu.pref"}), DirectoryListing());
}

// Links planted under every name a save might use lead elsewhere; none of
// them is written through, and the backup becomes a file of its own.
TEST(SafeFileWriter, PlantedLinksAreNeverWrittenThrough) {
  ScratchDir dir;
  WriteFileBytes("victim", "precious");
  for (const char* name : {"tarnu.hist.pref.tmp", "tarnu.hist.pref.bak", "tarnu.hist.pref.bak.tmp",
                           "tarnu.lock.tmp"}) {
    ASSERT_EQ(0, symlink("victim", name));
  }
  WriteFileBytes("tarnu.hist.pref", "damaged");
  HostList hosts(1);
  RecordingMessages messages;
  LoadHistoryFile(&hosts, &messages);
  ASSERT_TRUE(BackupPending("tarnu.hist.pref"));
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ("precious", ReadFileBytes("victim"));
  EXPECT_FALSE(fs::is_symlink("tarnu.hist.pref.bak"));
  EXPECT_EQ("damaged", ReadFileBytes("tarnu.hist.pref.bak"));
  EXPECT_EQ(EmptyHistory(), ReadFileBytes("tarnu.hist.pref"));
  EXPECT_EQ((Names{"tarnu.hist.pref", "tarnu.hist.pref.bak", "tarnu.hist.pref.bak.tmp",
                   "tarnu.hist.pref.tmp", "tarnu.lock.tmp", "victim"}),
            DirectoryListing());
}

// A damaged file is kept under its backup name without copying its bytes:
// the backup is the old file itself, however large (here 2 GB, sparse).
TEST(SafeFileWriter, BackupOfALargeDamagedFileIsTheFileItself) {
  ScratchDir dir;
  WriteFileBytes("tarnu.hist.pref", EmptyHistory());
  ASSERT_EQ(0, truncate("tarnu.hist.pref", off_t{2} << 30));
  const ino_t old = Inode("tarnu.hist.pref");
  HostList hosts(1);
  RecordingMessages messages;
  ASSERT_EQ(0, LoadHistoryFile(&hosts, &messages));
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(old, Inode("tarnu.hist.pref.bak"));
  EXPECT_EQ(std::uintmax_t{2} << 30, fs::file_size("tarnu.hist.pref.bak"));
  EXPECT_EQ(EmptyHistory(), ReadFileBytes("tarnu.hist.pref"));
  EXPECT_EQ((Names{"tarnu.hist.pref", "tarnu.hist.pref.bak"}), DirectoryListing());
}

// Where no second name can be given (another file system), nor the file be
// moved there, the backup is a copy; a copy that fails leaves no partial
// backup and stops the save.
TEST(SafeFileWriter, BackupAcrossFileSystems) {
  struct Case {
    const char* what;
    std::string old_file;
    rlim_t limit;  // 0: none
    bool saved;
  } cases[] = {
      {"oversized: copied", EmptyHistory() + std::string(100000, 'x'), 0, true},
      {"damaged: copied", "damaged", 0, true},
      {"damaged: copy fails", std::string(100000, 'd'), 20000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScratchDir dir;
    OtherDevice other;
    ASSERT_FALSE(other.path().empty());
    const std::string target = other.path() + "/tarnu.hist.pref";
    WriteFileBytes(target, c.old_file);
    ASSERT_EQ(0, symlink(target.c_str(), "tarnu.hist.pref"));
    HostList hosts(1);
    RecordingMessages messages;
    LoadHistoryFile(&hosts, &messages);
    int result;
    {
      FileSizeLimit low(c.limit == 0 ? RLIM_INFINITY : c.limit);
      result = SaveHistoryFile(hosts, &messages);
    }
    EXPECT_EQ(c.saved ? 0 : -1, result);
    if (c.saved) {
      EXPECT_EQ(c.old_file, ReadFileBytes("tarnu.hist.pref.bak"));
      EXPECT_EQ(EmptyHistory(), ReadFileBytes(target));
      EXPECT_EQ((Names{"tarnu.hist.pref", "tarnu.hist.pref.bak"}), DirectoryListing());
    } else {
      EXPECT_EQ(c.old_file, ReadFileBytes(target));
      EXPECT_EQ(Names{"tarnu.hist.pref"}, DirectoryListing());
    }
    EXPECT_EQ(1u, std::distance(fs::directory_iterator(other.path()), fs::directory_iterator()));
  }
}
#endif  // _WIN32

}  // namespace
}  // namespace tarnu
