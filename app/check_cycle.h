// One check of every host: survey, new-mail decision, forwarding, result
// rows, history file. It runs on the user-interface thread and reaches the
// windows only through CheckShell.
#ifndef TARNU_APP_CHECK_CYCLE_H_
#define TARNU_APP_CHECK_CYCLE_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>

#include "app/check_report.h"
#include "app/result_rows.h"
#include "app/tray_state.h"
#include "model/app_settings.h"
#include "model/host_entry.h"
#include "model/pending_forwards.h"
#include "model/uidl_cache.h"
#include "net/pop3_account.h"
#include "net/secure_channel.h"
#include "net/survey.h"
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
  // A server's certificate did not verify: true when the user, shown
  // `question`, trusts it for the host from now on. Without a user to ask
  // (the console) the answer is no.
  virtual bool ConfirmCertificate(const std::string& question) {
    (void)question;
    return false;
  }
  // The check changed the host list (a certificate accepted): the settings
  // file is to be written.
  virtual void HostsChanged() {}
  // After the last step of every cycle: what it found (tray tip counts, the
  // notification on new mail).
  virtual void CheckFinished(const CheckReport& /*report*/) {}
};

// The question put to the user about a certificate of host `host_name`.
std::string CertificateQuestionText(const std::string& host_name,
                                    const CertificateQuestion& question);

// The steps of a cycle that reach servers and files. The program uses
// SurveyMailbox, ForwardMail, the data files and their locks; tests put peers
// of their own in their place. The ones marked optional may stay empty.
struct CheckServices {
  std::function<int(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
                    MessagePump* pump, UserMessages* messages, UidlUse* uidl)>
      survey;
  // 0 when the server took the mail, kForwardFailed when it did not,
  // kForwardUncertain when it may have (net/smtp_forward.h).
  std::function<int(const HostEntry& host, MailEntry* entry, MessagePump* pump,
                    const SecureOptions& secure)>
      forward;
  std::function<int(const HostList& hosts, UserMessages* messages)> save_history;
  // Optional. Runs before anything else: takes the data folder for this
  // check (false: another check holds it, and this one does nothing) and
  // brings the histories up to date with the file.
  std::function<bool(HostList* hosts, UserMessages* messages)> begin_check;
  // Optional. Runs last; gives the data folder back.
  std::function<void()> end_check;
  // Optional. The forwards still owed, read after begin_check and written
  // before the history.
  std::function<void(PendingForwards* pending)> load_pending;
  std::function<int(const PendingForwards& pending)> save_pending;
  // Optional. The time in seconds since 1970 (the system clock when empty).
  std::function<std::int64_t()> now;
  // The cache of known messages for hosts that use UIDL; none: every
  // message is fetched.
  std::function<std::unique_ptr<UidlCache>()> open_uidl_cache;
};

// The lock file a check holds from its start to its end, so that one check
// at a time runs over a data folder.
inline constexpr char kCheckLockFileName[] = "tarnu.check.lock";

// The services of the program itself. A check waits up to `wait_ms` for
// another check over the same data folder to end (0: it does not wait).
CheckServices RealCheckServices(int wait_ms = 0);

class CheckCycle {
 public:
  CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags, CheckShell* shell);
  CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags, CheckShell* shell,
             CheckServices services);

  // The handler of command 32775. A check command that arrives while a cycle
  // runs (the network waits pump window messages, and the check timer may
  // fire) is dropped: it returns at once and is counted in dropped_checks().
  // So is one that finds another process checking the same data folder
  // (counted in busy_checks() too). The next timer tick or menu pick starts
  // the next cycle.
  void RunCheck();

  // A CA file (PEM) of further trusted roots for every secure connection.
  void set_ca_file(std::string ca_file) { ca_file_ = std::move(ca_file); }

  bool running() const { return running_; }
  int dropped_checks() const { return dropped_checks_; }
  int busy_checks() const { return busy_checks_; }
  // The new messages the last finished cycle counted.
  int last_new_count() const { return last_new_count_; }
  const CheckReport& last_report() const { return report_; }
  // The last finished cycle could not save the history or the forwards it
  // still owes.
  bool last_save_failed() const { return last_save_failed_; }

 private:
  // The entry that was at `position` when the cycle began: still there, or
  // found by its identity; -1 when it was deleted.
  int FindEntry(std::size_t position, std::uint64_t identity) const;
  void CheckHost(std::size_t position, std::uint64_t identity, int* new_count);
  // The cache for a host that uses UIDL, read at its first use in a cycle;
  // null when there is none.
  UidlCache* CacheFor();
  // Forwards the new messages of `copy` and retries the forwards it still
  // owes, judged against its history from before this check (`seen`).
  void ForwardHost(HostEntry* copy, const HistoryIndex& seen, std::int64_t now,
                   const SecureOptions& secure);
  void ForgetPendingOfRemovedHosts();

  HostList* hosts_;
  const AppSettings* settings_;
  CheckFlags* flags_;
  CheckShell* shell_;
  CheckServices services_;
  std::string ca_file_;
  // Certificates the user declined this run: not asked about again.
  std::set<std::string> declined_;
  PendingForwards pending_;
  std::unique_ptr<UidlCache> cache_;  // during a cycle
  bool cache_opened_ = false;
  bool running_ = false;
  int dropped_checks_ = 0;
  int busy_checks_ = 0;
  int last_new_count_ = 0;
  CheckReport report_;
  bool last_save_failed_ = false;
};

}  // namespace tarnu

#endif  // TARNU_APP_CHECK_CYCLE_H_
