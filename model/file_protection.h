// Keeping the user's data files safe while tarnu rewrites them.
//
// A save writes "<name>.tmp" beside the file and renames it over the file only
// once it is complete, so a failed save leaves the previous file as it was.
// A file that failed to load (another version, damaged, unreadable) is copied
// to "<name>.bak" right before the first save that would replace it, so the
// hosts it held are never silently lost. "Failed to load" is remembered per
// file from the last load in this process until a save has replaced it; a
// later run that loads the same untouched file finds the damage again.
#ifndef TARNU_MODEL_FILE_PROTECTION_H_
#define TARNU_MODEL_FILE_PROTECTION_H_

#include <cstddef>
#include <string>

#include "platform/file_io.h"

namespace tarnu {

// Records how the last load of `name` (in the current directory) ended:
// `clean` when the file was missing or read completely as its format says.
void NoteLoadResult(const std::string& name, bool clean);

// True while a save over `name` still has to keep a backup first.
bool BackupPending(const std::string& name);

// Writes a replacement for `name` through a temporary file.
class SafeFileWriter {
 public:
  explicit SafeFileWriter(std::string name);
  // Without a successful Commit the temporary file is deleted.
  ~SafeFileWriter();
  SafeFileWriter(const SafeFileWriter&) = delete;
  SafeFileWriter& operator=(const SafeFileWriter&) = delete;

  // Creates "<name>.tmp", replacing a leftover one. The constructor may throw
  // std::bad_alloc; the methods do not.
  bool Create();
  // Writes all `size` bytes; false when anything less was written.
  bool Write(const void* data, std::size_t size);
  // Flushes and closes the temporary file, keeps the backup when one is
  // pending, and moves the temporary file over `name`. On failure `name` is
  // untouched (the backup may already be there).
  bool Commit();

 private:
  void Abandon();
  bool CommitOrThrow();

  std::string name_;
  std::string temp_name_;
  platform::File file_;
  bool created_ = false;
  bool committed_ = false;
};

}  // namespace tarnu

#endif  // TARNU_MODEL_FILE_PROTECTION_H_
