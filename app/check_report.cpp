#include "app/check_report.h"

namespace tarnu {

void NoteCheckedHost(const SurveyResult& current, const HistoryIndex& seen, CheckReport* report) {
  ++report->hosts_checked;
  if (!current.error.empty()) ++report->failed_hosts;
  report->message_count += static_cast<int>(current.mails.size());
  if (report->first_new.size() >= kNotedNewMail) return;
  for (const MailEntry& mail : current.mails) {
    if (report->first_new.size() >= kNotedNewMail) break;
    if (seen.IsNewMail(mail)) report->first_new.push_back({mail.from, mail.subject});
  }
}

TrayTip AfterCheckTip(const CheckReport& report) {
  if (report.hosts_checked == 0) return TrayTip{TipChange::kReset, ""};
  std::string text = "新着 " + std::to_string(report.new_count) + " 通/全 " +
                     std::to_string(report.message_count) + " 通";
  if (report.failed_hosts > 0) text += "/エラー " + std::to_string(report.failed_hosts) + " 件";
  return TrayTip{TipChange::kText, text};
}

}  // namespace tarnu
