#include "model/config_sync.h"

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "model/config_file.h"
#include "model/data_files.h"
#include "platform/file_io.h"
#include "platform/file_lock.h"

namespace tarnu {
namespace {

// Stands in for the user's message boxes where nothing is to be shown, and
// counts what would have been shown.
class CountingMessages : public UserMessages {
 public:
  explicit CountingMessages(UserMessages* forward) : forward_(forward) {}
  void ShowMessage(const std::string& text, MessageIcon icon) override {
    ++shown;
    if (forward_ != nullptr) forward_->ShowMessage(text, icon);
  }
  void RequestQuit(int exit_code) override {
    quit = true;
    if (forward_ != nullptr) forward_->RequestQuit(exit_code);
  }
  int shown = 0;
  bool quit = false;

 private:
  UserMessages* forward_;
};

// The file's bytes as they are now (a missing file is empty and absent).
// A file too large to be tarnu's is only read as far as any valid one
// could reach: what lies beyond cannot make it tarnu's again.
bool ReadFileNow(std::string* bytes) {
  constexpr std::size_t kLimit = 64u << 20;
  bytes->clear();
  platform::File file;
  if (file.OpenForReading(DataFilePath(kConfigFileName)) != platform::OpenStatus::kOpened) {
    return false;
  }
  char buffer[65536];
  std::size_t got = 0;
  while (bytes->size() < kLimit && file.Read(buffer, sizeof buffer, &got) && got > 0) {
    bytes->append(buffer, got);
  }
  return true;
}

}  // namespace

SaveConflict DecideSave(bool changed_on_disk, bool edited_here) {
  if (!changed_on_disk) return SaveConflict::kNone;
  return edited_here ? SaveConflict::kAsk : SaveConflict::kTakeFile;
}

void TakeFileSettings(const AppSettings& own, HostList* own_hosts, AppSettings* file_settings,
                      HostList* file_hosts) {
  file_settings->left = own.left;
  file_settings->top = own.top;
  file_settings->height = own.height;
  file_settings->width = own.width;
  std::vector<bool> used(own_hosts->size(), false);
  for (HostEntry& host : *file_hosts) {
    for (std::size_t i = 0; i < own_hosts->size(); ++i) {
      HostEntry& mine = (*own_hosts)[i];
      if (used[i] || mine.server != host.server || mine.user != host.user ||
          mine.pop3_port != host.pop3_port) {
        continue;
      }
      used[i] = true;
      host.identity = mine.identity;
      host.history = std::move(mine.history);
      host.current = std::move(mine.current);
      break;
    }
  }
}

int SharedConfigFile::Load(AppSettings* settings, HostList* hosts, UserMessages* messages) {
  platform::FileLock lock;
  // Start-up goes on without the lock rather than wait forever; the saves
  // are whole-file replacements, so what is read is one whole file.
  lock.Lock(DataFilePath(kLockFileName), kLockWaitMs);
  int result = LoadConfigFile(settings, hosts, messages);
  present_ = ReadFileNow(&bytes_);
  return result;
}

bool SharedConfigFile::ChangedOnDisk() const {
  std::string now;
  const bool present = ReadFileNow(&now);
  return present != present_ || now != bytes_;
}

int SharedConfigFile::Save(AppSettings* settings, HostList* hosts, UserMessages* messages,
                           bool edited, const std::function<ConflictChoice()>& ask) {
  platform::FileLock lock;
  if (lock.Lock(DataFilePath(kLockFileName), kLockWaitMs) == platform::LockResult::kBusy) {
    messages->ShowMessage(kSettingsBusyText);
    unsaved_edits_ = unsaved_edits_ || edited;
    return -1;
  }
  // (A folder that cannot hold the lock file is written without it.)
  edited = edited || unsaved_edits_;
  std::string now;
  const bool present = ReadFileNow(&now);
  // A file that vanished holds nothing to take: this process's values are
  // written back rather than an empty host list.
  const bool changed = present && (!present_ || now != bytes_);
  bool take = false;
  switch (DecideSave(changed, edited)) {
    case SaveConflict::kNone:
      break;
    case SaveConflict::kTakeFile:
      take = true;
      break;
    case SaveConflict::kAsk:
      take = ask && ask() == ConflictChoice::kTakeFile;
      break;
  }
  if (take) {
    AppSettings file_settings;
    HostList file_hosts;
    CountingMessages quiet(nullptr);
    // A file that does not load whole is not taken: this process's values
    // are written and the damaged file is kept as its backup.
    if (LoadConfigFile(&file_settings, &file_hosts, &quiet) == 0 && quiet.shown == 0 &&
        !quiet.quit) {
      TakeFileSettings(*settings, hosts, &file_settings, &file_hosts);
      *settings = file_settings;
      *hosts = std::move(file_hosts);
    }
  }
  CountingMessages counted(messages);
  int result = SaveConfigFile(settings, *hosts, &counted);
  const bool saved = result == 0 && counted.shown == 0;
  unsaved_edits_ = !saved && edited;
  // After a failed save the file is still someone else's: the next save
  // must find it changed again.
  if (saved || take) present_ = ReadFileNow(&bytes_);
  return saved ? 0 : (result != 0 ? result : -1);
}

}  // namespace tarnu
