#include "platform/file_lock.h"

#include <chrono>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tarnu::platform {
namespace {

constexpr int kRetryMs = 50;

}  // namespace

FileLock::~FileLock() { Unlock(); }

#ifdef _WIN32

LockResult FileLock::Lock(const std::string& path, int wait_ms) {
  Unlock();
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LockResult::kFailed;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    OVERLAPPED at = {};
    if (LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) break;
    DWORD error = GetLastError();
    if ((error != ERROR_LOCK_VIOLATION && error != ERROR_IO_PENDING) ||
        std::chrono::steady_clock::now() >= deadline) {
      CloseHandle(h);
      return error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING ? LockResult::kBusy
                                                                        : LockResult::kFailed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
  handle_ = h;
  locked_ = true;
  return LockResult::kLocked;
}

void FileLock::Unlock() {
  if (handle_ == nullptr) return;
  OVERLAPPED at = {};
  UnlockFileEx(static_cast<HANDLE>(handle_), 0, 1, 0, &at);
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  locked_ = false;
}

#else

LockResult FileLock::Lock(const std::string& path, int wait_ms) {
  Unlock();
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return LockResult::kFailed;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  for (;;) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    bool busy = errno == EWOULDBLOCK || errno == EINTR;
    if (!busy || std::chrono::steady_clock::now() >= deadline) {
      close(fd);
      return busy ? LockResult::kBusy : LockResult::kFailed;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kRetryMs));
  }
  fd_ = fd;
  locked_ = true;
  return LockResult::kLocked;
}

void FileLock::Unlock() {
  if (fd_ < 0) return;
  close(fd_);  // drops the flock
  fd_ = -1;
  locked_ = false;
}

#endif

}  // namespace tarnu::platform
