// tarnu.pref shared between a long-running tarnu.exe (or tarnu-cli watch)
// and the processes that edit it meanwhile (tarnu-cli host add, a second
// user of the folder). The long-running process keeps the file in memory;
// before it writes the file back it looks whether the file changed on disk
// since it last read or wrote it, and then takes the file's hosts and
// settings instead of silently undoing those edits.
#ifndef TARNU_MODEL_CONFIG_SYNC_H_
#define TARNU_MODEL_CONFIG_SYNC_H_

#include <functional>
#include <string>

#include "model/app_settings.h"
#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// The question for the user whose dialog edits meet edits made elsewhere:
// yes keeps the dialog's values, no takes the file's.
inline constexpr char kSettingsChangedQuestion[] =
    "設定ファイルがほかのプログラムによって変更されています。\n\n"
    "はい: この画面の設定で上書きします\n"
    "いいえ: ファイルの設定を読み込みます（この画面の変更は失われます）";
// A save that found another writer holding the data folder's lock.
inline constexpr char kSettingsBusyText[] =
    "ほかのプログラムが設定ファイルを変更中のため、設定を保存できません";

enum class SaveConflict {
  kNone,      // the file is as this process left it: write
  kTakeFile,  // changed elsewhere, nothing edited here: take the file's values
  kAsk,       // changed elsewhere and edited here: the user decides
};

// What a save does, given whether the file changed on disk since this
// process last read or wrote it and whether the user changed settings in a
// dialog since then.
SaveConflict DecideSave(bool changed_on_disk, bool edited_here);

// The file's hosts and settings, keeping this process's result window
// position (`own`'s left, top, height and width). The hosts' current results,
// histories and run identities, which the file does not hold, follow their
// hosts (same server, user and port) from `own_hosts`.
void TakeFileSettings(const AppSettings& own, HostList* own_hosts, AppSettings* file_settings,
                      HostList* file_hosts);

enum class ConflictChoice { kKeepMine, kTakeFile };

// The settings file of a process that keeps it in memory: loaded once,
// saved many times, each time under the data folder's lock ("tarnu.lock").
class SharedConfigFile {
 public:
  // LoadConfigFile under the lock; remembers the file as it was read.
  int Load(AppSettings* settings, HostList* hosts, UserMessages* messages);

  // Writes `settings` and `hosts`, first deciding with DecideSave. `edited`:
  // the user changed settings in a dialog since the last load or save;
  // `ask` is then called when the file changed meanwhile (without `ask`,
  // this process's values are kept). When the file's values are taken,
  // `settings` and `hosts` become them before the save. Returns 0 when the
  // file was written, else -1 (SaveConfigFile's messages shown); a lock held
  // elsewhere beyond the wait shows kSettingsBusyText and writes nothing.
  int Save(AppSettings* settings, HostList* hosts, UserMessages* messages, bool edited,
           const std::function<ConflictChoice()>& ask = nullptr);

  // Whether the file on disk differs from what this process last read or
  // wrote (for callers that want to reload before they act).
  bool ChangedOnDisk() const;

  // How long a save waits for another writer.
  static constexpr int kLockWaitMs = 5000;

 private:
  bool present_ = false;  // the file existed when last read or written
  std::string bytes_;     // its bytes then
  bool unsaved_edits_ = false;
};

}  // namespace tarnu

#endif  // TARNU_MODEL_CONFIG_SYNC_H_
