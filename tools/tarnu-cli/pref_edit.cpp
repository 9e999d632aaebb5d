#include "tools/tarnu-cli/pref_edit.h"

#include "model/config_file.h"
#include "model/data_files.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/syntax_text.h"

namespace tarnu::cli {

void ConsoleMessages::ShowMessage(const std::string& text, MessageIcon) {
  ErrorLine(text, TextKind::kCp932);
  ++shown_;
}

void ConsoleMessages::RequestQuit(int) { quit_requested_ = true; }

int SettingsFile::Open(bool for_editing) {
  const std::string lock_path = DataFilePath(kLockFileName);
  switch (lock_.Lock(lock_path, kLockWaitMs)) {
    case platform::LockResult::kLocked:
      break;
    case platform::LockResult::kBusy:
      ErrorLine(SyntaxText(Say::kBusy, lock_path), TextKind::kUtf8);
      return kExitBusy;
    case platform::LockResult::kFailed:
      if (for_editing) {
        ErrorLine(SyntaxText(Say::kLockFailed, lock_path), TextKind::kUtf8);
        return kExitFailed;
      }
      break;
  }
  LoadConfigFile(&settings, &hosts, &messages);
  return messages.quit_requested() ? kExitFailed : kExitOk;
}

int SettingsFile::Save() {
  const int before = messages.shown();
  const int result = SaveConfigFile(&settings, hosts, &messages);
  // A save that could not even create its file still returns 0: the
  // message tells.
  return result == 0 && messages.shown() == before ? kExitOk : kExitFailed;
}

}  // namespace tarnu::cli
