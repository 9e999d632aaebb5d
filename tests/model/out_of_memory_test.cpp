// The loaders when memory runs out. This program replaces the global
// operator new so that, while armed, every allocation from a given size on
// fails; it is a program of its own so no other test runs under it.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "model/config_file.h"
#include "model/history_file.h"
#include "tests/model/file_test_util.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"

namespace {
std::atomic<std::size_t> fail_from{std::numeric_limits<std::size_t>::max()};
}  // namespace

void* operator new(std::size_t size) {
  if (size >= fail_from.load()) throw std::bad_alloc();
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace tarnu {
namespace {

using testing::FileExists;
using testing::Image;
using testing::ReadFileBytes;
using testing::RecordingMessages;
using testing::ScratchDir;
using testing::WriteFileBytes;
using Shown = std::vector<std::string>;

// Fails allocations of at least `size` bytes for its lifetime.
class FailLargeAllocations {
 public:
  explicit FailLargeAllocations(std::size_t size) { fail_from = size; }
  ~FailLargeAllocations() { fail_from = std::numeric_limits<std::size_t>::max(); }
};

std::string TwoHostFile() {
  Image f(244 + 2 * 1564);
  f.I32(0, 256);
  f.I32(4, 2);
  f.I32(12, 20);
  for (int i = 0; i < 2; ++i) {
    std::size_t r = 244 + i * 1564;
    f.Put(r, "Yg==\n");  // "b"
    f.I32(r + 308, 1);
  }
  return f.bytes;
}

// Each host that cannot be appended is reported and the load goes on; the
// file then counts as not read whole, so its first replacement keeps it.
TEST(OutOfMemory, SettingsLoaderReportsEachHostAndGoesOn) {
  ScratchDir dir;
  WriteFileBytes("tarnu.pref", TwoHostFile());
  AppSettings settings;
  HostList hosts;
  RecordingMessages messages;
  int result;
  {
    FailLargeAllocations fail(sizeof(HostEntry));
    result = LoadConfigFile(&settings, &hosts, &messages);
  }
  EXPECT_EQ(0, result);
  EXPECT_EQ((Shown{"メモリが足りません", "メモリが足りません"}), messages.shown);
  EXPECT_EQ((std::vector<int>{-1, -1}), messages.quits);
  EXPECT_TRUE(hosts.empty());
  EXPECT_EQ(20, settings.interval);
  ASSERT_EQ(0, SaveConfigFile(&settings, hosts, &messages));
  EXPECT_EQ(TwoHostFile(), ReadFileBytes("tarnu.pref.bak"));
}

TEST(OutOfMemory, HistoryLoaderStopsWithTheMessageAndTheQuit) {
  ScratchDir dir;
  Image f(72 + 2048);
  f.I32(0, 256);
  f.I32(4, 1);
  f.Put(72, "PDE+\n");         // "<1>"
  f.Put(72 + 1024, "cw==\n");  // "s"
  WriteFileBytes("tarnu.hist.pref", f.bytes);
  HostList hosts(1);
  hosts[0].server = "s";
  RecordingMessages messages;
  int result;
  {
    FailLargeAllocations fail(1024);
    result = LoadHistoryFile(&hosts, &messages);
  }
  EXPECT_EQ(-1, result);
  EXPECT_EQ(Shown{"メモリが足りません"}, messages.shown);
  EXPECT_EQ(std::vector<int>{-1}, messages.quits);
  EXPECT_TRUE(hosts[0].history.mails.empty());
  ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  EXPECT_EQ(f.bytes, ReadFileBytes("tarnu.hist.pref.bak"));
}

}  // namespace
}  // namespace tarnu
