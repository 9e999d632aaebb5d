// Keeping the user's data files safe while tarnu rewrites them.
//
// A save writes a temporary file beside the file and renames it over the file
// only once it is complete, so a failed save leaves the previous file as it
// was. The temporary file has a name of its own ("<name>.<unique>.tmp") and is
// created only where nothing stands yet, so two savers never share one and
// nothing planted under a temporary name (a symbolic link, say) is ever
// written through. When the file is a symbolic link, the file it leads to is
// replaced and the link stays.
//
// A file that failed to load (another version, damaged, unreadable) is kept as
// "<name>.bak" right before the first save that would replace it, so the
// hosts it held are never silently lost. The backup is a second name for the
// old file where the file system allows it, a moved file when the old file
// is larger than its own header says a file can be (nothing of it is
// tarnu's), and a copy otherwise; a backup that fails leaves no partial file
// and stops the save. "Failed to load" is remembered per file from the last
// load in this process until a save has replaced it; a later run that loads
// the same untouched file finds the damage again.
//
// A save that is killed may leave its temporary file behind; nothing ever
// reads it.
#ifndef TARNU_MODEL_FILE_PROTECTION_H_
#define TARNU_MODEL_FILE_PROTECTION_H_

#include <cstddef>
#include <string>

#include "platform/file_io.h"

namespace tarnu {

// Records how the last load of `name` (in the current directory) ended:
// `clean` when the file was missing or read completely as its format says.
void NoteLoadResult(const std::string& name, bool clean);
// Records that the last load of `name` found bytes after everything its
// header accounts for: a damaged file larger than any valid one.
void NoteOversizedFile(const std::string& name);

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

  // Creates the temporary file beside the file a save replaces. False when
  // nothing can be created there, or when something other than a regular
  // file (a folder, a pipe) stands at `name`: that is never replaced. The
  // constructor may throw std::bad_alloc; the methods do not.
  bool Create();
  // Writes all `size` bytes; false when anything less was written.
  bool Write(const void* data, std::size_t size);
  // Flushes and closes the temporary file, keeps the backup when one is
  // pending, and moves the temporary file over the file. On failure the file
  // is untouched (the backup may already be there).
  bool Commit();

  // The file the save replaces: `name`, or what a symbolic link `name` leads
  // to (valid after Create).
  const std::string& target() const { return target_; }
  // Which file the committed save left there, and its state (valid after a
  // successful Commit; `stamped()` false when the platform cannot tell).
  const platform::FileStamp& stamp() const { return stamp_; }
  bool stamped() const { return stamped_; }

 private:
  void Abandon();
  bool CommitOrThrow();
  bool KeepBackup(bool oversized);

  std::string name_;
  std::string target_;
  std::string temp_name_;
  platform::File file_;
  bool created_ = false;
  bool committed_ = false;
  bool moved_aside_ = false;  // the old file was moved to the backup's name
  platform::FileStamp stamp_;
  bool stamped_ = false;
};

// Creates a file with a name of its own beside `target` ("<target>.<unique>
// <suffix>"), only where nothing stands yet. Returns its name, or an empty
// text when none could be created. May throw std::bad_alloc.
std::string CreateUniqueFile(const std::string& target, const char* suffix, platform::File* file);

}  // namespace tarnu

#endif  // TARNU_MODEL_FILE_PROTECTION_H_
