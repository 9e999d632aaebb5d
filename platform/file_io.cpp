#include "platform/file_io.h"

#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace tarnu::platform {

#ifdef _WIN32

namespace {
HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }
// ReadFile and WriteFile take 32-bit counts.
constexpr std::size_t kMaxChunk = 1u << 30;
}  // namespace

File::~File() { Close(); }

OpenStatus File::OpenForReading(const std::string& name) {
  Close();
  DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return OpenStatus::kNotAFile;
  }
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenStatus::kMissing
                                                                          : OpenStatus::kFailed;
  }
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return OpenStatus::kNotAFile;
  }
  handle_ = h;
  return OpenStatus::kOpened;
}

bool File::CreateForWriting(const std::string& name) {
  Close();
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  handle_ = h;
  return true;
}

OpenStatus File::OpenForUpdate(const std::string& name) {
  Close();
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? OpenStatus::kMissing
                                                                          : OpenStatus::kFailed;
  }
  handle_ = h;
  return OpenStatus::kOpened;
}

File::CreateStatus File::CreateExclusive(const std::string& name) {
  Close();
  HANDLE h = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? CreateStatus::kExists
                                                                       : CreateStatus::kFailed;
  }
  handle_ = h;
  return CreateStatus::kCreated;
}

bool File::IsOpen() const { return handle_ != nullptr; }

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  if (handle_ == nullptr) return false;
  char* out = static_cast<char*>(buffer);
  while (*count < size) {
    std::size_t want = size - *count;
    if (want > kMaxChunk) want = kMaxChunk;
    const std::uint64_t at = offset + *count;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), out + *count, static_cast<DWORD>(want), &got, &where)) {
      return GetLastError() == ERROR_HANDLE_EOF;
    }
    if (got == 0) break;
    *count += got;
  }
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (handle_ == nullptr) return false;
  const char* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    std::size_t want = size - done;
    if (want > kMaxChunk) want = kMaxChunk;
    const std::uint64_t at = offset + done;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), in + done, static_cast<DWORD>(want), &put, &where) ||
        put == 0) {
      return false;
    }
    done += put;
  }
  return true;
}

bool File::Size(std::uint64_t* size) {
  LARGE_INTEGER value;
  if (handle_ == nullptr || !GetFileSizeEx(AsHandle(handle_), &value)) return false;
  *size = static_cast<std::uint64_t>(value.QuadPart);
  return true;
}

bool File::Stamp(FileStamp* stamp) const {
  BY_HANDLE_FILE_INFORMATION info;
  if (handle_ == nullptr || !GetFileInformationByHandle(AsHandle(handle_), &info)) return false;
  stamp->device = info.dwVolumeSerialNumber;
  stamp->file = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
  stamp->size = (std::uint64_t{info.nFileSizeHigh} << 32) | info.nFileSizeLow;
  stamp->modified =
      static_cast<std::int64_t>((std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32) |
                                info.ftLastWriteTime.dwLowDateTime);
  return true;
}

bool File::Read(void* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  if (handle_ == nullptr) return false;
  char* out = static_cast<char*>(buffer);
  while (*count < size) {
    std::size_t want = size - *count;
    if (want > kMaxChunk) want = kMaxChunk;
    DWORD got = 0;
    if (!ReadFile(AsHandle(handle_), out + *count, static_cast<DWORD>(want), &got, nullptr)) {
      return false;
    }
    if (got == 0) break;  // end of file
    *count += got;
  }
  return true;
}

bool File::Write(const void* data, std::size_t size, std::size_t* count) {
  *count = 0;
  if (handle_ == nullptr) return false;
  const char* in = static_cast<const char*>(data);
  while (*count < size) {
    std::size_t want = size - *count;
    if (want > kMaxChunk) want = kMaxChunk;
    DWORD put = 0;
    if (!WriteFile(AsHandle(handle_), in + *count, static_cast<DWORD>(want), &put, nullptr) ||
        put == 0) {
      return false;
    }
    *count += put;
  }
  return true;
}

bool File::Flush() { return handle_ != nullptr && FlushFileBuffers(AsHandle(handle_)) != 0; }

bool File::Close() {
  if (handle_ == nullptr) return true;
  bool ok = CloseHandle(AsHandle(handle_)) != 0;
  handle_ = nullptr;
  return ok;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

bool RemoveFile(const std::string& name) { return DeleteFileA(name.c_str()) != 0; }

PathKind KindOf(const std::string& name) {
  DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? PathKind::kMissing
                                                                          : PathKind::kOther;
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? PathKind::kOther : PathKind::kRegular;
}

bool ResolveWriteTarget(const std::string& name, std::string* target) {
  *target = name;
  DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return true;
  }
  // A link: the file it leads to, as the system resolves it.
  HANDLE h = CreateFileA(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  char buffer[MAX_PATH * 2];
  DWORD n = GetFinalPathNameByHandleA(h, buffer, sizeof buffer, FILE_NAME_NORMALIZED);
  CloseHandle(h);
  if (n == 0 || n >= sizeof buffer) return false;
  target->assign(buffer, n);
  return true;
}

bool LinkFile(const std::string& from, const std::string& to) {
  return CreateHardLinkA(to.c_str(), from.c_str(), nullptr) != 0;
}

std::string FullPath(const std::string& name) {
  char buffer[MAX_PATH * 2];
  DWORD n = GetFullPathNameA(name.c_str(), sizeof buffer, buffer, nullptr);
  if (n == 0 || n >= sizeof buffer) return name;
  return std::string(buffer, n);
}

#else  // POSIX

File::~File() { Close(); }

OpenStatus File::OpenForReading(const std::string& name) {
  Close();
  int fd;
  // Never wait on a pipe or device that stands where a file should be; like
  // Windows, only a plain file opens.
  do {
    fd = open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? OpenStatus::kMissing : OpenStatus::kFailed;
  struct stat info;
  if (fstat(fd, &info) != 0) {
    close(fd);
    return OpenStatus::kFailed;
  }
  if (!S_ISREG(info.st_mode)) {
    close(fd);
    return OpenStatus::kNotAFile;
  }
  fd_ = fd;
  return OpenStatus::kOpened;
}

bool File::CreateForWriting(const std::string& name) {
  Close();
  int fd;
  // The settings file holds the passwords: only the owner may read it.
  do {
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  fd_ = fd;
  return true;
}

OpenStatus File::OpenForUpdate(const std::string& name) {
  Close();
  int fd;
  do {
    fd = open(name.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == ENOENT ? OpenStatus::kMissing : OpenStatus::kFailed;
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return OpenStatus::kFailed;
  }
  fd_ = fd;
  return OpenStatus::kOpened;
}

File::CreateStatus File::CreateExclusive(const std::string& name) {
  Close();
  int fd;
  do {
    fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return errno == EEXIST ? CreateStatus::kExists : CreateStatus::kFailed;
  fd_ = fd;
  return CreateStatus::kCreated;
}

bool File::IsOpen() const { return fd_ >= 0; }

bool File::ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  if (fd_ < 0) return false;
  char* out = static_cast<char*>(buffer);
  while (*count < size) {
    ssize_t got = pread(fd_, out + *count, size - *count, static_cast<off_t>(offset + *count));
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;
    *count += static_cast<std::size_t>(got);
  }
  return true;
}

bool File::WriteAt(std::uint64_t offset, const void* data, std::size_t size) {
  if (fd_ < 0) return false;
  const char* in = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = pwrite(fd_, in + done, size - done, static_cast<off_t>(offset + done));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

bool File::Size(std::uint64_t* size) {
  struct stat info;
  if (fd_ < 0 || fstat(fd_, &info) != 0) return false;
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}

bool File::Stamp(FileStamp* stamp) const {
  struct stat info;
  if (fd_ < 0 || fstat(fd_, &info) != 0) return false;
  stamp->device = static_cast<std::uint64_t>(info.st_dev);
  stamp->file = static_cast<std::uint64_t>(info.st_ino);
  stamp->size = static_cast<std::uint64_t>(info.st_size);
  stamp->modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                    static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  return true;
}

bool File::Read(void* buffer, std::size_t size, std::size_t* count) {
  *count = 0;
  if (fd_ < 0) return false;
  char* out = static_cast<char*>(buffer);
  while (*count < size) {
    ssize_t got = read(fd_, out + *count, size - *count);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) break;  // end of file
    *count += static_cast<std::size_t>(got);
  }
  return true;
}

bool File::Write(const void* data, std::size_t size, std::size_t* count) {
  *count = 0;
  if (fd_ < 0) return false;
  const char* in = static_cast<const char*>(data);
  while (*count < size) {
    ssize_t put = write(fd_, in + *count, size - *count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    *count += static_cast<std::size_t>(put);
  }
  return true;
}

bool File::Flush() { return fd_ >= 0 && fsync(fd_) == 0; }

bool File::Close() {
  if (fd_ < 0) return true;
  int rc = close(fd_);
  fd_ = -1;
  return rc == 0;
}

bool MoveFileOver(const std::string& from, const std::string& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool RemoveFile(const std::string& name) { return unlink(name.c_str()) == 0; }

PathKind KindOf(const std::string& name) {
  struct stat info;
  if (stat(name.c_str(), &info) != 0)
    return errno == ENOENT ? PathKind::kMissing : PathKind::kOther;
  return S_ISREG(info.st_mode) ? PathKind::kRegular : PathKind::kOther;
}

bool ResolveWriteTarget(const std::string& name, std::string* target) {
  std::string path = name;
  // As many links as the system itself follows before it gives up.
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      *target = path;
      return true;
    }
    std::vector<char> link(static_cast<std::size_t>(info.st_size > 0 ? info.st_size : 255) + 2);
    ssize_t n = readlink(path.c_str(), link.data(), link.size());
    if (n <= 0 || static_cast<std::size_t>(n) >= link.size()) return false;
    std::string next(link.data(), static_cast<std::size_t>(n));
    if (next[0] != '/') {
      // Relative to the folder that holds the link.
      std::size_t slash = path.rfind('/');
      if (slash != std::string::npos) next = path.substr(0, slash + 1) + next;
    }
    path = next;
  }
  return false;
}

bool LinkFile(const std::string& from, const std::string& to) {
  return link(from.c_str(), to.c_str()) == 0;
}

std::string FullPath(const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  char buffer[4096];
  if (getcwd(buffer, sizeof buffer) == nullptr) return name;
  std::string path(buffer);
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}

#endif

CopyStatus CopyFileBytes(const std::string& from, const std::string& to) {
  File in;
  switch (in.OpenForReading(from)) {
    case OpenStatus::kMissing:
      return CopyStatus::kSourceMissing;
    case OpenStatus::kFailed:
    case OpenStatus::kNotAFile:
      return CopyStatus::kFailed;
    case OpenStatus::kOpened:
      break;
  }
  File out;
  if (!out.CreateForWriting(to)) return CopyStatus::kFailed;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    std::size_t got = 0;
    if (!in.Read(buffer.data(), buffer.size(), &got)) return CopyStatus::kFailed;
    std::size_t put = 0;
    if (got > 0 && !out.Write(buffer.data(), got, &put)) return CopyStatus::kFailed;
    if (got < buffer.size()) break;
  }
  if (!out.Flush() || !out.Close()) return CopyStatus::kFailed;
  return CopyStatus::kCopied;
}

}  // namespace tarnu::platform
