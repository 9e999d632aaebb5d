#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/support/scratch_dir.h"

namespace tarnu::platform {
namespace {

using testing::ScratchDir;

TEST(FileLock, OneHolderAtATime) {
  ScratchDir dir;
  FileLock first;
  ASSERT_EQ(LockResult::kLocked, first.Lock("tarnu.lock", 0));
  FileLock second;
  EXPECT_EQ(LockResult::kBusy, second.Lock("tarnu.lock", 0));
  EXPECT_EQ(LockResult::kBusy, second.Lock("tarnu.lock", 120));
  EXPECT_FALSE(second.locked());
  first.Unlock();
  EXPECT_EQ(LockResult::kLocked, second.Lock("tarnu.lock", 0));
}

TEST(FileLock, WaitsForTheHolderToLetGo) {
  ScratchDir dir;
  FileLock first;
  ASSERT_EQ(LockResult::kLocked, first.Lock("tarnu.lock", 0));
  std::thread release([&first] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    first.Unlock();
  });
  FileLock second;
  EXPECT_EQ(LockResult::kLocked, second.Lock("tarnu.lock", 5000));
  release.join();
}

TEST(FileLock, ReleasedWithTheObject) {
  ScratchDir dir;
  {
    FileLock scoped;
    ASSERT_EQ(LockResult::kLocked, scoped.Lock("tarnu.lock", 0));
  }
  FileLock next;
  EXPECT_EQ(LockResult::kLocked, next.Lock("tarnu.lock", 0));
}

TEST(FileLock, RefusesPlacesItCannotUse) {
  ScratchDir dir;
  FileLock lock;
  EXPECT_EQ(LockResult::kFailed, lock.Lock("no-such-folder/tarnu.lock", 0));
#ifndef _WIN32
  // A planted link must not make tarnu create or open its target.
  std::filesystem::create_symlink("elsewhere", "tarnu.lock");
  EXPECT_EQ(LockResult::kFailed, lock.Lock("tarnu.lock", 0));
  EXPECT_FALSE(std::filesystem::exists("elsewhere"));
#endif
}

}  // namespace
}  // namespace tarnu::platform
