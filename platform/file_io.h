// Whole-record file access for tarnu's two data files, opened by bare name in
// the current directory. On Windows a file is opened without sharing, so no
// other process can read or write it while tarnu holds it; elsewhere plain
// files are used.
#ifndef TARNU_PLATFORM_FILE_IO_H_
#define TARNU_PLATFORM_FILE_IO_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnu::platform {

// What tells one version of a file from another: which file it is (a save
// that replaces the file through a rename makes a new one), its size and its
// last write time.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  bool operator==(const FileStamp& other) const {
    return device == other.device && file == other.file && size == other.size &&
           modified == other.modified;
  }
  bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

enum class OpenStatus {
  kOpened,
  kMissing,   // no such file: nothing was lost
  kFailed,    // the file may exist but could not be opened (locked, no access...)
  kNotAFile,  // a directory, pipe or device stands where the file should be
};

// One open file. Closed by the destructor; not copyable.
class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing file for reading.
  OpenStatus OpenForReading(const std::string& name);
  // Creates a file for writing, replacing an existing one.
  bool CreateForWriting(const std::string& name);
  // Opens an existing file for reading and for writing in place (records
  // changed where they stand, or added at the end), without sharing.
  OpenStatus OpenForUpdate(const std::string& name);
  // Creates a new file for writing only when nothing stands at `name`: an
  // existing file, directory or symbolic link (even a dangling one) gives
  // kExists, so nothing planted there is ever written through.
  enum class CreateStatus { kCreated, kExists, kFailed };
  CreateStatus CreateExclusive(const std::string& name);

  bool IsOpen() const;

  // Reads until `size` bytes arrived or the file ended; `*count` is the number
  // that arrived. False only when a read call failed (`*count` bytes still
  // arrived before it).
  bool Read(void* buffer, std::size_t size, std::size_t* count);
  // Writes all `size` bytes; false when a write call failed or wrote nothing,
  // with `*count` the number actually written.
  bool Write(const void* data, std::size_t size, std::size_t* count);
  // The same at a position from the start of the file (the file grows when
  // a write reaches past its end); the current position is not used.
  bool ReadAt(std::uint64_t offset, void* buffer, std::size_t size, std::size_t* count);
  bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
  // The size of the open file in bytes.
  bool Size(std::uint64_t* size);
  // Pushes the written data to the disk.
  bool Flush();
  // Closes; false when the close reported an error (data may be lost).
  bool Close();
  // The identity of the open file and its state (see FileStamp); false when
  // the platform cannot tell.
  bool Stamp(FileStamp* stamp) const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // INVALID_HANDLE_VALUE is kept as nullptr
#else
  int fd_ = -1;
#endif
};

enum class PathKind { kMissing, kRegular, kOther };
// What stands at `name`, symbolic links followed.
PathKind KindOf(const std::string& name);

// The file a write to `name` should replace: `name` itself, or, when `name`
// is a symbolic link, the file it finally leads to (which may not exist
// yet), so that a save keeps the link and changes what it points at. False
// when the links cannot be followed (a loop, or too many).
bool ResolveWriteTarget(const std::string& name, std::string* target);

// A second name `to` for the file `from` (a hard link); `to` must not exist.
// False where the file system has no such links.
bool LinkFile(const std::string& from, const std::string& to);

// Renames `from` over `to`, replacing `to` if it exists.
bool MoveFileOver(const std::string& from, const std::string& to);

enum class CopyStatus { kCopied, kSourceMissing, kFailed };
// Copies the bytes of `from` into `to` (created or replaced) and flushes them.
CopyStatus CopyFileBytes(const std::string& from, const std::string& to);

// Deletes a file; false when it could not be deleted (missing included).
bool RemoveFile(const std::string& name);

// The absolute form of `name` relative to the current directory, for telling
// files apart when the current directory changes; `name` itself on failure.
// May throw std::bad_alloc.
std::string FullPath(const std::string& name);

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_FILE_IO_H_
