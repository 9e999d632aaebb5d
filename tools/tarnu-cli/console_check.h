// One check cycle run from the terminal, as the program's check command runs
// it, with the rows of the result list kept for printing: shared by check
// and watch.
#ifndef TARNU_TOOLS_TARNU_CLI_CONSOLE_CHECK_H_
#define TARNU_TOOLS_TARNU_CLI_CONSOLE_CHECK_H_

#include <string>
#include <vector>

#include "app/result_list_model.h"
#include "app/result_rows.h"
#include "model/app_settings.h"
#include "model/host_entry.h"

namespace tarnu::cli {

struct CheckReport {
  ResultListModel rows;  // in list order
  int new_count = 0;
  int checked_hosts = 0;  // hosts with checking on
  int failed_hosts = 0;   // of those, the ones whose survey failed
  // "name: failed: error" of each, UTF-8 (ErrorLine converts it).
  std::vector<std::string> failures;
  bool quit = false;               // the cycle asked the program to end (memory)
  bool busy = false;               // another check held the files: nothing was done
  bool history_not_saved = false;  // the next check may find the same mail new again
};

// Runs the cycle over `hosts` (their histories are updated, the history file
// is saved). With `progress`, each host's progress and outcome go to
// standard error. A check already running over the same files is waited
// for up to `busy_wait_ms`, then this one gives way (report.busy).
// `ca_file`: further trusted roots for TLS (PEM), or empty.
CheckReport RunConsoleCheck(HostList* hosts, const AppSettings& settings, bool progress,
                            int busy_wait_ms, const std::string& ca_file = std::string());

// Writes one line per row (state picture, small picture, the six column
// texts), only the rows of new messages with `only_new`, then "new: N", to
// standard output.
void WriteCheckRows(const CheckReport& report, bool only_new);

// Loads tarnu.pref (under the data folder's lock, released before any check
// runs) and the history, as the program does at start-up. False, with the
// reason printed and `exit_code` set, when there is nothing to check: no
// settings file, or a load that must end the program. `unreadable` (when
// given) tells whether a loader found tarnu.pref or the history damaged or
// of another version (its message printed): the check can run, but what it
// knows is not what was stored.
bool LoadForCheck(AppSettings* settings, HostList* hosts, int* exit_code,
                  bool* unreadable = nullptr);

// Whether standard error is a terminal (progress is for people only).
bool ErrorIsTerminal();

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_CONSOLE_CHECK_H_
