#include "model/file_protection.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <new>
#include <random>
#include <utility>

namespace tarnu {
namespace {

enum class Damage { kDamaged, kOversized };

// Full paths of the files whose last load failed and that no save has
// replaced since. Keyed by full path so that a change of the current
// directory never moves the mark to another file.
std::map<std::string, Damage>& PendingBackups() {
  static std::map<std::string, Damage> pending;
  return pending;
}

void Note(const std::string& name, bool clean, Damage damage) {
  try {
    std::string path = platform::FullPath(name);
    if (clean) {
      PendingBackups().erase(path);
    } else {
      PendingBackups()[path] = damage;
    }
  } catch (const std::bad_alloc&) {
    // Out of memory the program is already asked to end; nothing to keep.
  }
}

// Hard to guess and never repeated within the process.
std::string UniquePart() {
  static std::atomic<std::uint32_t> counter{0};
  static const std::uint64_t seed = [] {
    std::random_device device;
    return (std::uint64_t{device()} << 32) ^ device();
  }();
  std::uint64_t mix = seed ^ static_cast<std::uint64_t>(
                                 std::chrono::steady_clock::now().time_since_epoch().count());
  mix ^= std::uint64_t{++counter} * 0x9E3779B97F4A7C15ull;
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  for (int i = 0; i < 12; ++i) {
    text += kHex[mix & 0xF];
    mix >>= 4;
  }
  return text + "-" + std::to_string(counter.load());
}

}  // namespace

void NoteLoadResult(const std::string& name, bool clean) { Note(name, clean, Damage::kDamaged); }

void NoteOversizedFile(const std::string& name) { Note(name, false, Damage::kOversized); }

bool BackupPending(const std::string& name) {
  try {
    return PendingBackups().count(platform::FullPath(name)) != 0;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::string CreateUniqueFile(const std::string& target, const char* suffix, platform::File* file) {
  // A name already taken (by another saver, or planted) is passed over.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string name = target + "." + UniquePart() + suffix;
    switch (file->CreateExclusive(name)) {
      case platform::File::CreateStatus::kCreated:
        return name;
      case platform::File::CreateStatus::kExists:
        continue;
      case platform::File::CreateStatus::kFailed:
        return std::string();
    }
  }
  return std::string();
}

SafeFileWriter::SafeFileWriter(std::string name) : name_(std::move(name)), target_(name_) {}

SafeFileWriter::~SafeFileWriter() {
  if (!committed_) Abandon();
}

void SafeFileWriter::Abandon() {
  file_.Close();
  if (created_) platform::RemoveFile(temp_name_);
  created_ = false;
}

bool SafeFileWriter::Create() {
  try {
    Abandon();
    if (!platform::ResolveWriteTarget(name_, &target_)) return false;
    // A folder or pipe under the name is the user's, not a file of ours.
    if (platform::KindOf(target_) == platform::PathKind::kOther) return false;
    temp_name_ = CreateUniqueFile(target_, ".tmp", &file_);
    created_ = !temp_name_.empty();
    return created_;
  } catch (const std::bad_alloc&) {
    return false;
  }
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

bool SafeFileWriter::KeepBackup(bool oversized) {
  const std::string backup = name_ + ".bak";
  // A second name for the old file costs nothing, however large it is; it
  // goes in under a name of its own and then over the old backup, so a
  // planted link at the backup's name is replaced, never written through.
  std::string staged;
  for (int attempt = 0; attempt < 16 && staged.empty(); ++attempt) {
    std::string name = backup + "." + UniquePart() + ".tmp";
    if (platform::LinkFile(target_, name)) staged = name;
    if (platform::KindOf(name) == platform::PathKind::kMissing) break;  // no links here
  }
  if (staged.empty() && oversized && platform::MoveFileOver(target_, backup)) {
    // Nothing in the bytes beyond the header's count is tarnu's; the file
    // moves aside whole rather than being copied.
    moved_aside_ = true;
    return true;
  }
  if (staged.empty()) {
    platform::File copy;
    staged = CreateUniqueFile(backup, ".tmp", &copy);
    if (staged.empty()) return false;
    copy.Close();
    if (platform::CopyFileBytes(target_, staged) == platform::CopyStatus::kFailed) {
      platform::RemoveFile(staged);
      return false;
    }
  }
  if (!platform::MoveFileOver(staged, backup)) {
    platform::RemoveFile(staged);
    return false;
  }
  return true;
}

bool SafeFileWriter::CommitOrThrow() {
  if (!created_) return false;
  if (!file_.Flush()) return false;
  // The file keeps its identity, size and time through the rename.
  stamped_ = file_.Stamp(&stamp_);
  if (!file_.Close()) return false;
  std::string path = platform::FullPath(name_);
  auto pending = PendingBackups().find(path);
  const bool keep_backup = pending != PendingBackups().end() &&
                           platform::KindOf(target_) == platform::PathKind::kRegular;
  if (keep_backup) {
    // Without the backup the old file must not be replaced.
    if (!KeepBackup(pending->second == Damage::kOversized)) return false;
  }
  if (!platform::MoveFileOver(temp_name_, target_)) {
    // The old file goes back where it was.
    if (moved_aside_) platform::MoveFileOver(name_ + ".bak", target_);
    moved_aside_ = false;
    return false;
  }
  committed_ = true;
  created_ = false;
  // What lies there now is tarnu's own complete file.
  PendingBackups().erase(path);
  return true;
}

}  // namespace tarnu
