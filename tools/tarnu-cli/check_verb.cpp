// tarnu-cli check: one check cycle over ./tarnu.pref and ./tarnu.hist.pref,
// as the program's check command runs it after start-up, with the rows of
// the result list printed instead of shown.
#include <cstdio>
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "app/result_list_model.h"
#include "model/config_file.h"
#include "model/history_file.h"
#include "tools/tarnu-cli/cli.h"

namespace tarnu::cli {
namespace {

// The program's windows for a terminal: message boxes go to standard error,
// the rows are kept for printing, the tray and the title are silent.
class ConsoleShell : public CheckShell {
 public:
  explicit ConsoleShell(bool raw_cp932) : raw_cp932_(raw_cp932) {}

  std::string GetTitle() override { return title_; }
  void SetTitle(const std::string& title) override { title_ = title.substr(0, 255); }
  void PumpMessages() override {}
  void ShowMessage(const std::string& text, MessageIcon) override {
    WriteError(FormatField(text, raw_cp932_) + "\n");
  }
  void RequestQuit(int exit_code) override {
    if (quit_code_ == 0) quit_code_ = exit_code;
  }
  void InsertResultRow(int position, const ResultListRow& row) override {
    list_.InsertResultRow(position, row);
  }
  void EnableTrayItem(int, bool) override {}
  void SetTrayState(const TrayTip&, int) override {}
  void ClearResultList() override { list_.Clear(); }
  void ShowResultWindow() override {}

  const ResultListModel& list() const { return list_; }
  int quit_code() const { return quit_code_; }

 private:
  bool raw_cp932_;
  std::string title_ = "問い合わせ結果一覧";
  ResultListModel list_;
  int quit_code_ = 0;
};

}  // namespace

int CheckVerb(const std::vector<std::string>& args) {
  ParsedOptions options;
  std::string problem;
  if (!ParseOptions(args, {"encoding", "ca-file"}, {}, &options, &problem))
    return UsageError("check", problem);
  if (!options.positional.empty()) {
    return UsageError("check", "unexpected argument " + options.positional[0]);
  }
  bool raw = false;
  if (const std::string* encoding = options.Get("encoding")) {
    if (*encoding == "cp932") {
      raw = true;
    } else if (*encoding != "utf-8" && *encoding != "utf8") {
      return UsageError("check", "unknown encoding " + *encoding);
    }
  }

  ConsoleShell shell(raw);
  AppSettings settings;
  HostList hosts;
  LoadConfigFile(&settings, &hosts, &shell);
  if (settings.no_history_at_start != 1) LoadHistoryFile(&hosts, &shell);
  CheckFlags flags;
  CheckCycle cycle(&hosts, &settings, &flags, &shell);
  if (const std::string* ca_file = options.Get("ca-file")) cycle.set_ca_file(*ca_file);
  cycle.RunCheck();

  std::string out;
  for (std::size_t i = 0; i < shell.list().size(); ++i) {
    const ResultListRow& row = shell.list().row(i);
    out += std::to_string(row.state_picture) + "\t" + std::to_string(row.small_picture);
    for (const std::string& column : row.columns) out += "\t" + FormatField(column, raw);
    out += "\n";
  }
  out += "new: " + std::to_string(cycle.last_new_count()) + "\n";
  WriteOutput(out);
  std::fflush(stdout);
  // A quit request (memory exhausted) ends the program with its code.
  return shell.quit_code() != 0 ? kExitRefused : kExitOk;
}

}  // namespace tarnu::cli
