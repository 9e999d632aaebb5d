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

enum class OpenStatus {
  kOpened,
  kMissing,  // no such file: nothing was lost
  kFailed,   // the file may exist but could not be opened (locked, not a file...)
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

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // INVALID_HANDLE_VALUE is kept as nullptr
#else
  int fd_ = -1;
#endif
};

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
