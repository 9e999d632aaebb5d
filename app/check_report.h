// What a finished check found, told to the program once the cycle ends: the
// tray tip's counts and the notification on new mail come from it.
#ifndef TARNU_APP_CHECK_REPORT_H_
#define TARNU_APP_CHECK_REPORT_H_

#include <cstddef>
#include <string>
#include <vector>

#include "app/tray_state.h"
#include "model/mail_entry.h"

namespace tarnu {

// A new message as a notification names it (mail text as the cycle holds it).
struct NewMailNote {
  std::string from;
  std::string subject;
};

// The notification names this many messages; the rest are counted.
inline constexpr std::size_t kNotedNewMail = 3;

struct CheckReport {
  int hosts_checked = 0;
  int failed_hosts = 0;                // hosts whose survey ended with an error text
  int message_count = 0;               // messages waiting on the hosts that answered
  int new_count = 0;                   // set by the cycle: the count the blinking goes by
  std::vector<NewMailNote> first_new;  // in the order they were checked
};

// Adds one surveyed host: `current` its survey, `seen` the previous
// check's history. New is what IsNewMail says, as for the list's pictures.
void NoteCheckedHost(const SurveyResult& current, const HistoryIndex& seen, CheckReport* report);

// The tray tip after a check: "新着 N 通/全 M 通", and the failed hosts when
// there are any; the bare application name when no host was checked.
TrayTip AfterCheckTip(const CheckReport& report);

}  // namespace tarnu

#endif  // TARNU_APP_CHECK_REPORT_H_
