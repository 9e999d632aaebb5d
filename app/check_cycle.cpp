#include "app/check_cycle.h"

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "app/forward_rule.h"
#include "app/resource_ids.h"

namespace tarnu {
namespace {

// Asks the user about a certificate of one host once a run, and remembers
// the one accepted so that the check can keep it with the host.
class HostTrust : public CertificateTrust {
 public:
  HostTrust(CheckShell* shell, const std::string& host_name, std::set<std::string>* declined)
      : shell_(shell), host_name_(host_name), declined_(declined) {}
  bool TrustCertificate(const CertificateQuestion& question) override {
    if (declined_->count(question.fingerprint) != 0) return false;
    if (!shell_->ConfirmCertificate(CertificateQuestionText(host_name_, question))) {
      declined_->insert(question.fingerprint);
      return false;
    }
    accepted_ = question.fingerprint;
    return true;
  }
  // Takes the accepted fingerprint into `slot`; true when there was one.
  bool Keep(std::string* slot) {
    if (accepted_.empty()) return false;
    *slot = accepted_;
    accepted_.clear();
    return true;
  }

 private:
  CheckShell* shell_;
  const std::string& host_name_;
  std::set<std::string>* declined_;
  std::string accepted_;
};

}  // namespace

std::string CertificateQuestionText(const std::string& host_name,
                                    const CertificateQuestion& question) {
  return "「" + host_name + "」のサーバ " + question.server + ":" + std::to_string(question.port) +
         " の証明書を確認できません。\r\n" + question.reasons +
         "\r\n\r\nこの証明書を信頼して接続しますか?\r\n"
         "(「はい」を選ぶと、このホストではこの証明書を今後も受け入れます。証明書が変われば再び"
         "確認します)";
}

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
  shell_->EnableTrayItem(IDM_CHECK, false);
  shell_->ClearResultList();
  const std::string title = shell_->GetTitle();
  shell_->SetTrayState(TrayTip{TipChange::kText, "メール確認中"}, kPictureUnchanged);
  flags_->checking = true;
  shell_->SetTitle(title + "(確認中)");

  int new_count = 0;
  if (!hosts_->empty()) {
    // The hosts as they stand now, by identity: the host list dialog may
    // edit, reorder or delete entries while a survey waits.
    std::vector<std::uint64_t> order;
    order.reserve(hosts_->size());
    for (const HostEntry& host : *hosts_) order.push_back(host.identity);
    for (std::size_t i = 0; i < order.size(); ++i) CheckHost(i, order[i], &new_count);
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
}

int CheckCycle::FindEntry(std::size_t position, std::uint64_t identity) const {
  if (position < hosts_->size() && (*hosts_)[position].identity == identity) {
    return static_cast<int>(position);
  }
  return FindHost(*hosts_, identity);
}

void CheckCycle::CheckHost(std::size_t position, std::uint64_t identity, int* new_count) {
  try {
    int index = FindEntry(position, identity);
    if (index < 0) return;  // deleted meanwhile
    HostEntry copy = (*hosts_)[static_cast<std::size_t>(index)];
    if (!copy.check) return;

    HostTrust trust(shell_, copy.name, &declined_);
    Pop3Account account = AccountOf(copy);
    account.ca_file = ca_file_;
    account.trust = &trust;
    services_.survey(shell_, account, copy.lines, &copy.current, shell_, shell_);
    const bool pop3_accepted = trust.Keep(&copy.extras.pop3_fingerprint);
    bool smtp_accepted = false;
    copy.current.label = copy.name;
    SecureOptions secure;
    secure.ca_file = ca_file_;
    secure.trust = &trust;

    if (copy.forward) {
      const HistoryIndex seen(copy.history);
      for (MailEntry& mail : copy.current.mails) {
        if (!seen.IsNewMail(mail)) continue;
        if (MatchForwardRule(copy.rule, mail)) {
          mail.forwarded = services_.forward(copy, &mail, shell_, secure) == 0 ? 1 : 0;
          // Later forwards of this check take the certificate accepted now.
          smtp_accepted = trust.Keep(&copy.extras.smtp_fingerprint) || smtp_accepted;
        } else {
          mail.state = "転送条件外";
        }
      }
    }

    AddResultRows(copy, copy.current, copy.history, new_count, shell_);
    // Only the history goes back, and only into the entry the copy came
    // from: its settings may have been edited during the survey, and a
    // deleted entry takes nothing. A certificate the user accepted during
    // the check goes back with it.
    index = FindEntry(position, identity);
    if (index >= 0) {
      HostEntry& entry = (*hosts_)[static_cast<std::size_t>(index)];
      ReplaceHistory(&entry.history, copy.current);
      if (pop3_accepted) entry.extras.pop3_fingerprint = copy.extras.pop3_fingerprint;
      if (smtp_accepted) entry.extras.smtp_fingerprint = copy.extras.smtp_fingerprint;
      if (pop3_accepted || smtp_accepted) shell_->HostsChanged();
    }
  } catch (const std::bad_alloc&) {
    shell_->ShowMessage("メモリが不足しています");
    shell_->RequestQuit(-1);
  }
}

}  // namespace tarnu
