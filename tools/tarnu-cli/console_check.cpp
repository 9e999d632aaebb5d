#include "tools/tarnu-cli/console_check.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "app/check_cycle.h"
#include "app/result_list_model.h"
#include "app/result_rows.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/syntax_text.h"

namespace tarnu::cli {
namespace {

// One line on standard error that shows the host in progress and is
// rewritten as the survey goes on, then replaced by the host's outcome.
class ProgressLine {
 public:
  explicit ProgressLine(bool on) : on_(on) {}

  // `utf8` is converted for the terminal here, once.
  void Show(const std::string& utf8) {
    if (!on_) return;
    const std::string shown = TerminalText(utf8, TextKind::kUtf8);
#ifdef _WIN32
    std::string text = "\r" + shown;
    if (shown.size() < shown_) text += std::string(shown_ - shown.size(), ' ');
    shown_ = shown.size();
    WriteError(text);
#else
    WriteError("\r" + shown + "\033[K");
#endif
  }
  void Finish(const std::string& utf8) {
    Show(utf8);
    if (on_) WriteError("\n");
    shown_ = 0;
  }

 private:
  bool on_;
  std::size_t shown_ = 0;
};

// The program's windows for a terminal: message boxes go to standard error,
// the rows are kept for printing, the tray is silent and the result
// window's title feeds the progress line.
class ConsoleShell : public CheckShell {
 public:
  explicit ConsoleShell(ProgressLine* progress) : progress_(progress) {}

  std::string GetTitle() override { return title_; }
  void SetTitle(const std::string& title) override {
    title_ = title.substr(0, 255);
    if (checking_title_.empty()) {
      // The first change: the cycle's checking title.
      if (title_.size() > kBaseTitle.size()) checking_title_ = title_;
      return;
    }
    // What a host's survey adds to the checking title is its progress; the
    // titles set between hosts and at the end are not.
    if (!host_label_.empty() && title_.size() > checking_title_.size() &&
        title_.compare(0, checking_title_.size(), checking_title_) == 0) {
      progress_->Show(host_label_ + " " +
                      ToUtf8(title_.substr(checking_title_.size()), TextKind::kCp932));
    }
  }
  void PumpMessages() override {}
  void ShowMessage(const std::string& text, MessageIcon) override {
    ErrorLine(text, TextKind::kCp932);
  }
  void RequestQuit(int) override { quit_ = true; }
  void InsertResultRow(int position, const ResultListRow& row) override {
    list_.InsertResultRow(position, row);
  }
  void InsertHostRows(int position, std::shared_ptr<const HostRows> rows) override {
    list_.InsertHostRows(position, std::move(rows));
  }
  void EnableTrayItem(int, bool) override {}
  void SetTrayState(const TrayTip&, int) override {}
  void ClearResultList() override { list_.Clear(); }
  void ShowResultWindow() override {}

  void SetHostLabel(std::string label) { host_label_ = std::move(label); }
  ResultListModel TakeList() { return std::move(list_); }
  bool quit() const { return quit_; }

 private:
  const std::string kBaseTitle = "問い合わせ結果一覧";
  ProgressLine* progress_;
  std::string title_ = kBaseTitle;
  std::string checking_title_;
  std::string host_label_;
  ResultListModel list_;
  bool quit_ = false;
};

}  // namespace

bool ErrorIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stderr)) != 0;
#else
  return isatty(STDERR_FILENO) != 0;
#endif
}

CheckReport RunConsoleCheck(HostList* hosts, const AppSettings& settings, bool progress,
                            int busy_wait_ms, const std::string& ca_file) {
  CheckReport report;
  ProgressLine line(progress);
  ConsoleShell shell(&line);

  // The hosts the cycle will survey, in its order, for the progress line.
  std::vector<std::size_t> checked;
  for (std::size_t i = 0; i < hosts->size(); ++i) {
    if ((*hosts)[i].check) checked.push_back(i);
  }
  report.checked_hosts = static_cast<int>(checked.size());
  std::size_t next = 0;

  CheckServices services = RealCheckServices(busy_wait_ms);
  auto survey = services.survey;
  services.survey = [&](StatusLine* status, const Pop3Account& account, int lines,
                        SurveyResult* result, MessagePump* pump, UserMessages* messages,
                        UidlUse* uidl) {
    // Lines are made in UTF-8 and converted for the terminal once, as they
    // are printed.
    const std::string name =
        next < checked.size() ? ToUtf8((*hosts)[checked[next]].name, TextKind::kCp932) : "";
    const std::string label =
        "[" + std::to_string(next + 1) + "/" + std::to_string(checked.size()) + "] " + name;
    ++next;
    shell.SetHostLabel(label);
    line.Show(label);
    int code = survey(status, account, lines, result, pump, messages, uidl);
    shell.SetHostLabel(std::string());
    if (code != 0) {
      ++report.failed_hosts;
      const std::string error = ToUtf8(result->error, TextKind::kCp932);
      report.failures.push_back(SyntaxText(Say::kHostFailed, name, error));
      line.Finish(label + ": " + error);
    } else {
      line.Finish(label + ": " +
                  SyntaxText(Say::kMessageCount, std::to_string(result->mails.size())));
    }
    return code;
  };

  CheckFlags flags;
  CheckCycle cycle(hosts, &settings, &flags, &shell, services);
  cycle.set_ca_file(ca_file);
  cycle.RunCheck();
  report.rows = shell.TakeList();
  report.new_count = cycle.last_new_count();
  report.quit = shell.quit();
  report.busy = cycle.busy_checks() != 0;
  report.history_not_saved = cycle.last_save_failed();
  return report;
}

void WriteCheckRows(const CheckReport& report, bool only_new) {
  // Written a part at a time: the text of a large mailbox is never held
  // whole.
  std::string out;
  for (std::size_t i = 0; i < report.rows.size(); ++i) {
    const ResultListRow row = report.rows.shown(i);
    if (only_new && !ShowsNewMail(row)) continue;
    out += std::to_string(row.state_picture) + "\t" + std::to_string(row.small_picture);
    for (int c = 0; c < kResultColumns; ++c) {
      out += '\t';
      out += TerminalText(row.columns[c], IsMailTextColumn(c) ? TextKind::kMail : TextKind::kCp932);
    }
    out += '\n';
    if (out.size() >= 65536) {
      WriteOutput(out);
      out.clear();
    }
  }
  out += "new: " + std::to_string(report.new_count) + "\n";
  WriteOutput(out);
}

}  // namespace tarnu::cli
