// An exclusive lock held on a small file beside tarnu's data files, so that
// only one process at a time rewrites them. The operating system drops the
// lock with the process (flock on POSIX, LockFileEx on Windows), so a killed
// process never leaves a stale lock behind; the lock file itself stays.
#ifndef TARNU_PLATFORM_FILE_LOCK_H_
#define TARNU_PLATFORM_FILE_LOCK_H_

#include <string>

namespace tarnu::platform {

enum class LockResult {
  kLocked,  // this object holds the lock
  kBusy,    // another holder kept it for the whole wait
  kFailed,  // the lock file could not be opened or created
};

class FileLock {
 public:
  FileLock() = default;
  ~FileLock();  // releases
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens `path` (creating it; never through a symbolic link) and takes the
  // lock, trying again for up to `wait_ms` milliseconds (0: one try). Locks
  // are per open file: a second FileLock in the same process on the same path
  // is refused like another process.
  LockResult Lock(const std::string& path, int wait_ms);
  void Unlock();
  bool locked() const { return locked_; }

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
  bool locked_ = false;
};

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_FILE_LOCK_H_
