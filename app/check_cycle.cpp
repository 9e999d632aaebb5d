#include "app/check_cycle.h"

#include <cstdint>
#include <ctime>
#include <new>
#include <utility>
#include <vector>

#include "app/forward_rule.h"
#include "app/resource_ids.h"
#include "net/smtp_forward.h"

namespace tarnu {
namespace {

// Asks the user about a certificate of one host once a run, and puts the
// one accepted where the dialogue in progress keeps its fingerprint (Into),
// so that the rest of the check takes it too.
class HostTrust : public CertificateTrust {
 public:
  HostTrust(CheckShell* shell, const std::string& host_name, std::set<std::string>* declined)
      : shell_(shell), host_name_(host_name), declined_(declined) {}
  void Into(std::string* slot) { slot_ = slot; }
  bool TrustCertificate(const CertificateQuestion& question) override {
    if (slot_ == nullptr || declined_->count(question.fingerprint) != 0) return false;
    if (!shell_->ConfirmCertificate(CertificateQuestionText(host_name_, question))) {
      declined_->insert(question.fingerprint);
      return false;
    }
    *slot_ = question.fingerprint;
    accepted_.insert(slot_);
    return true;
  }
  bool Accepted(const std::string* slot) const { return accepted_.count(slot) != 0; }

 private:
  CheckShell* shell_;
  const std::string& host_name_;
  std::set<std::string>* declined_;
  std::string* slot_ = nullptr;
  std::set<const std::string*> accepted_;
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
  // Another process checking the same data folder would write the same
  // files; this check gives way.
  if (services_.begin_check && !services_.begin_check(hosts_, shell_)) {
    ++dropped_checks_;
    ++busy_checks_;
    running_ = false;
    return;
  }
  pending_.clear();
  if (services_.load_pending) services_.load_pending(&pending_);
  report_ = CheckReport();
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
    cache_.reset();
    cache_opened_ = false;
    try {
      // What is owed is written first: a history saved without it would
      // count a failed forward's message as seen and lose it. When it
      // cannot be written the history is saved all the same (not saving it
      // would send the forwards that went out again), and the user is told.
      bool pending_failed = false;
      if (services_.save_pending) {
        ForgetPendingOfRemovedHosts();
        pending_failed = services_.save_pending(pending_) != 0;
        if (pending_failed) shell_->ShowMessage("転送待ちファイル tarnu.pending が作成できません");
      }
      last_save_failed_ = services_.save_history(*hosts_, shell_) != 0;
      last_save_failed_ = last_save_failed_ || pending_failed;
    } catch (const std::bad_alloc&) {
      last_save_failed_ = true;
      shell_->ShowMessage("メモリが不足しています");
      shell_->RequestQuit(-1);
    }
  }
  if (services_.end_check) services_.end_check();

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

int CheckCycle::FindEntry(std::size_t position, std::uint64_t identity) const {
  if (position < hosts_->size() && (*hosts_)[position].identity == identity) {
    return static_cast<int>(position);
  }
  return FindHost(*hosts_, identity);
}

namespace {

// A copy of `host` with an empty history; `host` is left as it was, also when
// memory runs out.
HostEntry CopyWithoutHistory(HostEntry& host) {
  SurveyResult history = std::move(host.history);
  struct Restore {
    HostEntry& host;
    SurveyResult& history;
    ~Restore() { host.history = std::move(history); }
  } restore{host, history};
  HostEntry copy = host;
  return copy;
}

}  // namespace

UidlCache* CheckCycle::CacheFor() {
  if (!cache_opened_) {
    cache_opened_ = true;
    if (services_.open_uidl_cache) cache_ = services_.open_uidl_cache();
    if (cache_ != nullptr) {
      cache_->Load();
      // Mailboxes of hosts no longer there (or fetching another number of
      // lines) are dropped from the cache when it is next rewritten.
      std::vector<UidlMailbox> current;
      for (const HostEntry& entry : *hosts_) {
        if (!entry.extras.HasOption(kExtraNoUidl)) {
          current.push_back(UidlMailbox{entry.server, entry.pop3_port, entry.user, entry.lines});
        }
      }
      cache_->KeepOnly(std::move(current));
    }
  }
  return cache_.get();
}

void CheckCycle::CheckHost(std::size_t position, std::uint64_t identity, int* new_count) {
  try {
    int index = FindEntry(position, identity);
    if (index < 0) return;  // deleted meanwhile
    HostEntry& live = (*hosts_)[static_cast<std::size_t>(index)];
    if (!live.check) return;
    // The working copy without the history, of which the new-mail decisions
    // need only the keys; they are copied now, since the list may be edited
    // while the survey and the forwarding wait for servers.
    const HistoryIndex seen = HistoryIndex::Copy(live.history);
    HostEntry copy = CopyWithoutHistory(live);

    HostTrust trust(shell_, copy.name, &declined_);
    trust.Into(&copy.extras.pop3_fingerprint);
    Pop3Account account = AccountOf(copy);
    account.ca_file = ca_file_;
    account.trust = &trust;
    UidlUse uidl;
    uidl.cache = account.uidl ? CacheFor() : nullptr;
    if (uidl.cache != nullptr) {
      uidl.cache->Select(UidlMailbox{copy.server, copy.pop3_port, copy.user, copy.lines});
    }
    services_.survey(shell_, account, copy.lines, &copy.current, shell_, shell_,
                     uidl.cache != nullptr ? &uidl : nullptr);
    copy.current.label = copy.name;
    // The cache learns what this survey fetched; a failed one teaches
    // nothing.
    if (uidl.listed && copy.current.error.empty()) {
      uidl.cache->Store(copy.current.mails, uidl.uids, uidl.fetched, uidl.base_keys);
    }
    SecureOptions secure;
    secure.ca_file = ca_file_;
    secure.trust = &trust;

    trust.Into(&copy.extras.smtp_fingerprint);
    ForwardHost(&copy, seen, services_.now ? services_.now() : std::time(nullptr), secure);
    NoteCheckedHost(copy.current, seen, &report_);

    // Only the history goes back, and only into the entry the copy came
    // from: its settings may have been edited during the survey, and a
    // deleted entry takes nothing. It takes the keys before the rows take
    // the messages themselves. A certificate the user accepted during the
    // check goes back with it.
    index = FindEntry(position, identity);
    if (index >= 0) {
      HostEntry& entry = (*hosts_)[static_cast<std::size_t>(index)];
      ReplaceHistory(&entry.history, copy.current);
      const bool pop3_accepted = trust.Accepted(&copy.extras.pop3_fingerprint);
      const bool smtp_accepted = trust.Accepted(&copy.extras.smtp_fingerprint);
      if (pop3_accepted) entry.extras.pop3_fingerprint = copy.extras.pop3_fingerprint;
      if (smtp_accepted) entry.extras.smtp_fingerprint = copy.extras.smtp_fingerprint;
      if (pop3_accepted || smtp_accepted) shell_->HostsChanged();
    }
    AddResultRows(copy, &copy.current, seen, new_count, shell_);
  } catch (const std::bad_alloc&) {
    shell_->ShowMessage("メモリが不足しています");
    shell_->RequestQuit(-1);
  }
}

namespace {

bool StillOwed(const PendingForward& owed, std::int64_t now) {
  return owed.tries < kForwardTries && now - owed.first_failure < kForwardRetrySeconds;
}

}  // namespace

void CheckCycle::ForwardHost(HostEntry* copy, const HistoryIndex& seen, std::int64_t now,
                             const SecureOptions& secure) {
  // After a failed survey nothing can be judged: what is owed stays owed.
  if (!copy->current.error.empty()) return;
  PendingForwards kept;  // what this host owes after this check
  if (copy->forward) {
    for (MailEntry& mail : copy->current.mails) {
      const std::string& key = HistoryKey(mail);
      const PendingForward* owed = FindPending(&pending_, *copy, key);
      PendingForward entry;
      if (owed != nullptr) {
        entry = *owed;
      } else {
        entry.server = copy->server;
        entry.port = copy->pop3_port;
        entry.user = copy->user;
        entry.key = key;
        entry.first_failure = now;
      }
      if (seen.IsNewMail(mail)) {
        if (owed != nullptr && owed->sent) {
          // Taken by the server in a check whose history was not saved.
          mail.forwarded = 1;
          kept.push_back(std::move(entry));
          continue;
        }
        if (!MatchForwardRule(copy->rule, mail)) {
          mail.state = "転送条件外";
          continue;
        }
      } else if (owed == nullptr || owed->sent || !StillOwed(*owed, now) ||
                 !MatchForwardRule(copy->rule, mail)) {
        // Seen and owing nothing, or no longer to be forwarded.
        continue;
      }
      const int result = services_.forward(*copy, &mail, shell_, secure);
      mail.forwarded = result == 0 ? 1 : 0;
      ++entry.tries;
      // A mail the server took, or may have taken, is never sent again;
      // it is remembered until the history holds its message.
      entry.sent = result == 0 || result == kForwardUncertain;
      const bool is_new = seen.IsNewMail(mail);
      if ((entry.sent && is_new) || (!entry.sent && StillOwed(entry, now))) {
        kept.push_back(std::move(entry));
      }
    }
  }
  // This host's entries are replaced: messages gone from the server, sent
  // ones now in the history and exhausted ones are forgotten.
  PendingForwards others;
  for (PendingForward& entry : pending_) {
    if (!entry.Belongs(*copy)) others.push_back(std::move(entry));
  }
  for (PendingForward& entry : kept) others.push_back(std::move(entry));
  pending_ = std::move(others);
}

void CheckCycle::ForgetPendingOfRemovedHosts() {
  PendingForwards kept;
  for (PendingForward& entry : pending_) {
    for (const HostEntry& host : *hosts_) {
      if (entry.Belongs(host)) {
        kept.push_back(std::move(entry));
        break;
      }
    }
  }
  pending_ = std::move(kept);
}

}  // namespace tarnu
