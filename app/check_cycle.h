// One check of every host: survey, new-mail decision, forwarding, result
// rows, history file. It runs on the user-interface thread and reaches the
// windows only through CheckShell.
#ifndef TARNU_APP_CHECK_CYCLE_H_
#define TARNU_APP_CHECK_CYCLE_H_

#include "app/result_rows.h"
#include "app/tray_state.h"
#include "model/app_settings.h"
#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// What the check cycle touches in the program. The result window's title is
// the StatusLine; PumpMessages runs while the network waits; UserMessages
// shows message boxes and takes the quit request.
class CheckShell : public StatusLine,
                   public MessagePump,
                   public UserMessages,
                   public ResultListSink {
 public:
  // Greys (false) or enables (true) an item of the tray menu's first popup;
  // nothing when the popup is missing.
  virtual void EnableTrayItem(int command_id, bool enabled) = 0;
  virtual void SetTrayState(const TrayTip& tip, int picture) = 0;
  virtual void ClearResultList() = 0;
  virtual void ShowResultWindow() = 0;
};

class CheckCycle {
 public:
  CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags, CheckShell* shell);

  // The handler of command 32775.
  void RunCheck();

 private:
  HostList* hosts_;
  const AppSettings* settings_;
  CheckFlags* flags_;
  CheckShell* shell_;
};

}  // namespace tarnu

#endif  // TARNU_APP_CHECK_CYCLE_H_
