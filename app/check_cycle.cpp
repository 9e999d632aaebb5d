#include "app/check_cycle.h"

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

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
    HostEntry& live = (*hosts_)[static_cast<std::size_t>(index)];
    if (!live.check) return;
    // The working copy without the history, of which the new-mail decisions
    // need only the keys; they are copied now, since the list may be edited
    // while the survey and the forwarding wait for servers.
    const HistoryIndex seen = HistoryIndex::Copy(live.history);
    HostEntry copy = CopyWithoutHistory(live);

    const Pop3Account account = AccountOf(copy);
    UidlUse uidl;
    uidl.cache = account.uidl ? CacheFor() : nullptr;
    if (uidl.cache != nullptr)
      uidl.cache->Select(UidlMailbox{copy.server, copy.pop3_port, copy.user, copy.lines});
    services_.survey(shell_, account, copy.lines, &copy.current, shell_, shell_,
                     uidl.cache != nullptr ? &uidl : nullptr);
    copy.current.label = copy.name;
    // The cache learns what this survey fetched; a failed one teaches
    // nothing.
    if (uidl.listed && copy.current.error.empty()) {
      uidl.cache->Store(copy.current.mails, uidl.uids, uidl.fetched);
    }

    if (copy.forward) {
      for (MailEntry& mail : copy.current.mails) {
        if (!seen.IsNewMail(mail)) continue;
        if (MatchForwardRule(copy.rule, mail)) {
          mail.forwarded = services_.forward(copy, &mail, shell_) == 0 ? 1 : 0;
        } else {
          mail.state = "転送条件外";
        }
      }
    }

    // Only the history goes back, and only into the entry the copy came
    // from: its settings may have been edited during the survey, and a
    // deleted entry takes nothing. It takes the keys before the rows take
    // the messages themselves.
    index = FindEntry(position, identity);
    if (index >= 0) {
      ReplaceHistory(&(*hosts_)[static_cast<std::size_t>(index)].history, copy.current);
    }
    AddResultRows(copy, &copy.current, seen, new_count, shell_);
  } catch (const std::bad_alloc&) {
    shell_->ShowMessage("メモリが不足しています");
    shell_->RequestQuit(-1);
  }
}

}  // namespace tarnu
