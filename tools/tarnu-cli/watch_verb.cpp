// tarnu-cli watch: the check at the settings' interval until stopped, the
// rows of new mail printed and, where a desktop notification service runs,
// one notification per check that found new mail.
#include <chrono>
#include <csignal>
#include <cstring>
#include <limits>
#include <string>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "model/config_file.h"
#include "model/config_sync.h"
#include "model/data_files.h"
#include "model/history_file.h"
#include "platform/file_io.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/console_check.h"
#include "tools/tarnu-cli/desktop_notify.h"
#include "tools/tarnu-cli/pref_edit.h"
#include "tools/tarnu-cli/syntax_text.h"
#include "tools/tarnu-cli/verbs.h"
#include "ui/form_check.h"

namespace tarnu::cli {
namespace {

// Set by SIGINT and SIGTERM. A check in progress runs to its end (its
// history save included); the watch ends after it or at once while it
// sleeps.
volatile std::sig_atomic_t stop_requested = 0;
// The notice for the terminal, made before any signal can come.
std::string stopping_notice;

extern "C" void RequestStop(int) {
  if (!stop_requested && !stopping_notice.empty()) {
#ifdef _WIN32
    std::fwrite(stopping_notice.data(), 1, stopping_notice.size(), stderr);
#else
    // write(2) is what a signal handler may call.
    ssize_t ignored = ::write(STDERR_FILENO, stopping_notice.data(), stopping_notice.size());
    (void)ignored;
#endif
  }
  stop_requested = 1;
}

// Set by SIGUSR1: the next check starts at once.
volatile std::sig_atomic_t check_now = 0;

extern "C" void RequestCheck(int) { check_now = 1; }

// Sleeps up to `minutes`, waking early when asked to stop or to check.
void SleepMinutes(int minutes) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::minutes(minutes);
  while (!stop_requested && !check_now && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  check_now = 0;
}

// tarnu.pref edited since the last look (tarnu-cli host add, tarnu.exe's
// dialogs): the file's hosts and settings are taken, each host keeping the
// history this watch has seen.
// A file that vanished holds nothing to take: the watch goes on as it was.
void FollowSettingsFile(SharedConfigFile* config, AppSettings* settings, HostList* hosts) {
  if (!config->ChangedOnDisk()) return;
  platform::File probe;
  if (probe.OpenForReading(DataFilePath(kConfigFileName)) != platform::OpenStatus::kOpened) return;
  probe.Close();
  SharedConfigFile fresh;
  AppSettings file_settings;
  HostList file_hosts;
  ConsoleMessages messages;
  if (fresh.Load(&file_settings, &file_hosts, &messages) != 0 || messages.shown() != 0) return;
  TakeFileSettings(*settings, hosts, &file_settings, &file_hosts);
  *settings = file_settings;
  *hosts = std::move(file_hosts);
  *config = std::move(fresh);
}

int RunWatch(const Call& call) {
  int fixed_interval = 0;
  if (const std::string* text = call.Value("interval")) {
    std::int64_t minutes = 0;
    if (!ParseInteger(*text, &minutes)) return RefuseOption("interval", IntegerMessage());
    if (minutes < 1 || minutes > 24 * 60) return RefuseOption("interval", RangeMessage(1, 24 * 60));
    fixed_interval = static_cast<int>(minutes);
  }

  AppSettings settings;
  HostList hosts;
  int code = kExitOk;
  if (!LoadForCheck(&settings, &hosts, &code)) return code;
  SharedConfigFile config;
  {
    // What the file held when the watch began, to notice later edits.
    AppSettings ignored_settings;
    HostList ignored_hosts;
    ConsoleMessages ignored;
    config.Load(&ignored_settings, &ignored_hosts, &ignored);
  }

  DesktopNotifier notifier;
  const bool notify = !call.Has("no-notify");
  if (notify && !notifier.available()) {
    ErrorLine(SyntaxText(Say::kNotificationsAbsent), TextKind::kUtf8);
  }
  stopping_notice = TerminalText(SyntaxText(Say::kStopping), TextKind::kUtf8) + "\n";
  std::signal(SIGINT, RequestStop);
  std::signal(SIGTERM, RequestStop);
#ifdef SIGUSR1
  std::signal(SIGUSR1, RequestCheck);
#endif

  const bool progress = ErrorIsTerminal();
  while (!stop_requested) {
    FollowSettingsFile(&config, &settings, &hosts);
    // A check run meanwhile by someone else is not waited for: the next
    // round comes soon enough.
    CheckReport report = RunConsoleCheck(&hosts, settings, progress, 0);
    if (!progress) {
      for (const std::string& failure : report.failures) ErrorLine(failure, TextKind::kUtf8);
    }
    if (report.new_count > 0) {
      WriteCheckRows(report, true);
      if (notify) notifier.Show(NewMailNotice(report.rows, report.new_count));
    }
    if (report.quit) return kExitFailed;
    const int interval = fixed_interval > 0      ? fixed_interval
                         : settings.interval > 0 ? settings.interval
                                                 : 10;
    SleepMinutes(interval);
  }
  return kExitOk;
}

}  // namespace

const VerbSpec kWatchVerb = {
    "watch",
    "[options]",
    "checks at the settings' interval until stopped; notifies new mail",
    "Each check prints the rows of its new mail (as check prints rows) and new: N,\n"
    "and shows a desktop notification where a notification service runs.\n"
    "Hosts failing go to standard error. Edits of tarnu.pref are taken before\n"
    "each check. SIGUSR1 starts the next check at once. SIGINT or SIGTERM ends\n"
    "the watch at once between checks, or after the check in progress (never in\n"
    "the middle of a save); exit 0.",
    {{"interval", "MINUTES", "minutes between checks, 1 to 1440 (default: the settings')"},
     {"no-notify", nullptr, "print only, no desktop notification"}},
    kDirOption | kEncodingOption,
    {},
    RunWatch};

}  // namespace tarnu::cli
