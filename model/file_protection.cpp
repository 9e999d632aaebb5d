#include "model/file_protection.h"

#include <new>
#include <set>
#include <utility>

namespace tarnu {
namespace {

// Full paths of the files whose last load failed and that no save has
// replaced since. Keyed by full path so that a change of the current
// directory never moves the mark to another file.
std::set<std::string>& PendingBackups() {
  static std::set<std::string> pending;
  return pending;
}

}  // namespace

void NoteLoadResult(const std::string& name, bool clean) {
  try {
    std::string path = platform::FullPath(name);
    if (clean) {
      PendingBackups().erase(path);
    } else {
      PendingBackups().insert(path);
    }
  } catch (const std::bad_alloc&) {
    // Out of memory the program is already asked to end; nothing to keep.
  }
}

bool BackupPending(const std::string& name) {
  try {
    return PendingBackups().count(platform::FullPath(name)) != 0;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

SafeFileWriter::SafeFileWriter(std::string name)
    : name_(std::move(name)), temp_name_(name_ + ".tmp") {}

SafeFileWriter::~SafeFileWriter() {
  if (!committed_) Abandon();
}

void SafeFileWriter::Abandon() {
  file_.Close();
  if (created_) platform::RemoveFile(temp_name_);
  created_ = false;
}

bool SafeFileWriter::Create() {
  created_ = file_.CreateForWriting(temp_name_);
  return created_;
}

bool SafeFileWriter::Write(const void* data, std::size_t size) {
  std::size_t written = 0;
  return file_.Write(data, size, &written) && written == size;
}

bool SafeFileWriter::Commit() {
  try {
    return CommitOrThrow();
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool SafeFileWriter::CommitOrThrow() {
  if (!created_) return false;
  if (!file_.Flush() || !file_.Close()) return false;
  std::string path = platform::FullPath(name_);
  bool keep_backup = PendingBackups().count(path) != 0;
  if (keep_backup) {
    // Without the backup the old file must not be replaced.
    if (platform::CopyFileBytes(name_, name_ + ".bak") == platform::CopyStatus::kFailed) {
      return false;
    }
  }
  if (!platform::MoveFileOver(temp_name_, name_)) return false;
  committed_ = true;
  created_ = false;
  // What lies there now is tarnu's own complete file.
  if (keep_backup) PendingBackups().erase(path);
  return true;
}

}  // namespace tarnu
