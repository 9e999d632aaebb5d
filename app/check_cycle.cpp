#include "app/check_cycle.h"

#include <new>
#include <utility>

#include "app/forward_rule.h"
#include "app/resource_ids.h"

namespace tarnu {

CheckCycle::CheckCycle(HostList* hosts, const AppSettings* settings, CheckFlags* flags,
                       CheckShell* shell, CheckServices services)
    : hosts_(hosts),
      settings_(settings),
      flags_(flags),
      shell_(shell),
      services_(std::move(services)) {}

void CheckCycle::RunCheck() {
  if (running_) {
    ++dropped_checks_;
    return;
  }
  running_ = true;
  report_ = CheckReport();
  shell_->EnableTrayItem(IDM_CHECK, false);
  shell_->ClearResultList();
  const std::string title = shell_->GetTitle();
  shell_->SetTrayState(TrayTip{TipChange::kText, "メール確認中"}, kPictureUnchanged);
  flags_->checking = true;
  shell_->SetTitle(title + "(確認中)");

  int new_count = 0;
  if (!hosts_->empty()) {
    // The list is measured again for every host: it lives in the program and
    // may be edited while a survey waits.
    for (std::size_t i = 0; i < hosts_->size(); ++i) CheckHost(i, &new_count);
    try {
      services_.save_history(*hosts_, shell_);
    } catch (const std::bad_alloc&) {
      shell_->ShowMessage("メモリが不足しています");
      shell_->RequestQuit(-1);
    }
  }

  shell_->SetTitle(title);
  flags_->checking = false;
  shell_->EnableTrayItem(IDM_CHECK, true);
  if (new_count >= 1) {
    shell_->SetTrayState(TrayTip{TipChange::kReset, ""}, kPictureUnchanged);
    flags_->new_mail = true;
    if (settings_->auto_open != 0) shell_->ShowResultWindow();
  } else {
    flags_->new_mail = false;
    shell_->SetTrayState(TrayTip{TipChange::kReset, ""}, kPictureDefault);
  }
  last_new_count_ = new_count;
  running_ = false;
  report_.new_count = new_count;
  shell_->CheckFinished(report_);
}

void CheckCycle::CheckHost(std::size_t index, int* new_count) {
  try {
    HostEntry copy = (*hosts_)[index];
    if (!copy.check) return;

    services_.survey(shell_, AccountOf(copy), copy.lines, &copy.current, shell_, shell_);
    copy.current.label = copy.name;

    if (copy.forward) {
      const HistoryIndex seen(copy.history);
      for (MailEntry& mail : copy.current.mails) {
        if (!seen.IsNewMail(mail)) continue;
        if (MatchForwardRule(copy.rule, mail)) {
          mail.forwarded = services_.forward(copy, &mail, shell_) == 0 ? 1 : 0;
        } else {
          mail.state = "転送条件外";
        }
      }
    }

    AddResultRows(copy, copy.current, copy.history, new_count, shell_);
    NoteCheckedHost(copy.current, copy.history, &report_);
    ReplaceHistory(&copy.history, copy.current);
    copy.current.Clear();
    // The entry is stored back only while its place still exists.
    if (index < hosts_->size()) (*hosts_)[index] = std::move(copy);
  } catch (const std::bad_alloc&) {
    shell_->ShowMessage("メモリが不足しています");
    shell_->RequestQuit(-1);
  }
}

}  // namespace tarnu
