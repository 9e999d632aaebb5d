// tarnu-cli check: one check cycle over tarnu.pref and tarnu.hist.pref, as
// the program's check command runs it after start-up, with the rows of the
// result list printed instead of shown.
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "model/config_file.h"
#include "model/data_files.h"
#include "model/history_file.h"
#include "platform/file_io.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/console_check.h"
#include "tools/tarnu-cli/pref_edit.h"
#include "tools/tarnu-cli/syntax_text.h"
#include "tools/tarnu-cli/verbs.h"

namespace tarnu::cli {

bool LoadForCheck(AppSettings* settings, HostList* hosts, int* exit_code, bool* unreadable) {
  const std::string path = DataFilePath(kConfigFileName);
  platform::File probe;
  if (probe.OpenForReading(path) == platform::OpenStatus::kMissing) {
    ErrorLine(SyntaxText(Say::kNoSettingsFile, path), TextKind::kUtf8);
    *exit_code = kExitFailed;
    return false;
  }
  probe.Close();
  {
    SettingsFile file;
    if (int code = file.Open(false); code != kExitOk) {
      *exit_code = code;
      return false;
    }
    *settings = file.settings;
    *hosts = std::move(file.hosts);
    if (unreadable != nullptr) *unreadable = file.messages.shown() != 0;
  }
  ConsoleMessages messages;
  if (settings->no_history_at_start != 1) LoadHistoryFile(hosts, &messages);
  if (messages.quit_requested()) {
    *exit_code = kExitFailed;
    return false;
  }
  if (unreadable != nullptr && messages.shown() != 0) *unreadable = true;
  return true;
}

namespace {

// A check that finds another one running waits this long for it.
constexpr int kCheckBusyWaitMs = 5000;

int RunCheck(const Call& call) {
  AppSettings settings;
  HostList hosts;
  int code = kExitOk;
  bool unreadable = false;
  if (!LoadForCheck(&settings, &hosts, &code, &unreadable)) return code;
  const bool progress = ErrorIsTerminal();
  const std::string* ca_file = call.Value("ca-file");
  CheckReport report = RunConsoleCheck(&hosts, settings, progress, kCheckBusyWaitMs,
                                       ca_file != nullptr ? *ca_file : std::string());
  if (report.busy) {
    ErrorLine(SyntaxText(Say::kCheckRunning, DataFilePath(kCheckLockFileName)), TextKind::kUtf8);
    return kExitBusy;
  }
  if (report.checked_hosts == 0) ErrorLine(SyntaxText(Say::kNoHostToCheck), TextKind::kUtf8);
  WriteCheckRows(report, false);
  // A file that could not be read or saved fails the check (a damaged
  // history makes seen mail new again): the message said why.
  return report.failed_hosts == 0 && !report.quit && !report.history_not_saved && !unreadable
             ? kExitOk
             : kExitFailed;
}

}  // namespace

const VerbSpec kCheckVerb = {
    "check",
    "[options]",
    "checks every host of tarnu.pref once and prints the result list",
    "One line per row of the result list: state picture, small picture, host,\n"
    "subject, from, size, body, state (tab-separated), then new: N. New mail is\n"
    "forwarded as the host says and tarnu.hist.pref is written, as tarnu.exe does.\n"
    "Exit 0 when every host answered, 1 when one failed (its row is printed), when\n"
    "there is no tarnu.pref, or when it or the history could not be read or saved.\n"
    "Progress goes to standard error when it is a terminal.",
    {{"ca-file", "FILE", "a PEM file of further trusted CA certificates for TLS"}},
    kDirOption | kEncodingOption,
    {},
    RunCheck};

}  // namespace tarnu::cli
