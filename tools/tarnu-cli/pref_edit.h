// tarnu.pref as the verbs read and change it. Every change is one
// read-modify-write under the data folder's lock ("tarnu.lock"), the lock
// tarnu.exe also takes around its own saves, so two writers never undo each
// other's edits.
#ifndef TARNU_TOOLS_TARNU_CLI_PREF_EDIT_H_
#define TARNU_TOOLS_TARNU_CLI_PREF_EDIT_H_

#include "model/app_settings.h"
#include "model/host_entry.h"
#include "platform/file_lock.h"
#include "platform/ui_hooks.h"

namespace tarnu::cli {

// How long an edit waits for another writer before it gives up.
inline constexpr int kLockWaitMs = 5000;

// Message boxes become one line each on standard error.
class ConsoleMessages : public UserMessages {
 public:
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  void RequestQuit(int exit_code) override;
  int shown() const { return shown_; }
  bool quit_requested() const { return quit_requested_; }

 private:
  int shown_ = 0;
  bool quit_requested_ = false;
};

class SettingsFile {
 public:
  // Takes the lock (an edit must have it; a reading verb goes on without it
  // when the folder cannot hold a lock file) and loads the file as the
  // program does at start-up. Returns kExitOk or the exit code, with the
  // reason printed.
  int Open(bool for_editing);
  // Writes the file back; the exit code. The lock is released by the
  // destructor.
  int Save();

  AppSettings settings;
  HostList hosts;
  ConsoleMessages messages;

 private:
  platform::FileLock lock_;
};

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_PREF_EDIT_H_
