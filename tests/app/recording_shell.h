// A CheckShell for tests: keeps the rows as the list would and logs every
// call in order, so a test can assert the steps of a cycle.
#ifndef TARNU_TESTS_APP_RECORDING_SHELL_H_
#define TARNU_TESTS_APP_RECORDING_SHELL_H_

#include <functional>
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "app/result_list_model.h"

namespace tarnu::testing {

class RecordingShell : public CheckShell {
 public:
  std::string GetTitle() override {
    log.push_back("get-title");
    return title.substr(0, 256);
  }
  void SetTitle(const std::string& t) override {
    title = t;
    log.push_back("title " + t);
  }
  void PumpMessages() override {
    ++pumps;
    if (on_pump) on_pump();
  }
  void ShowMessage(const std::string& text, MessageIcon) override {
    messages.push_back(text);
    log.push_back("message " + text);
  }
  void RequestQuit(int exit_code) override {
    quits.push_back(exit_code);
    log.push_back("quit " + std::to_string(exit_code));
  }
  void InsertResultRow(int position, const ResultListRow& row) override {
    list.InsertResultRow(position, row);
    log.push_back("row " + std::to_string(position) + " " + row.columns[0]);
  }
  void EnableTrayItem(int command_id, bool enabled) override {
    log.push_back("tray-item " + std::to_string(command_id) + (enabled ? " on" : " off"));
  }
  void SetTrayState(const TrayTip& tip, int picture) override {
    std::string entry = "tray";
    if (tip.change == TipChange::kReset) entry += " tip-reset";
    if (tip.change == TipChange::kText) entry += " tip " + tip.text;
    entry += " picture " + std::to_string(picture);
    log.push_back(entry);
  }
  void ClearResultList() override {
    list.Clear();
    log.push_back("clear");
  }
  void ShowResultWindow() override { log.push_back("show"); }
  bool ConfirmCertificate(const std::string& question) override {
    questions.push_back(question);
    log.push_back("confirm-certificate");
    return trust_answer;
  }
  void HostsChanged() override { log.push_back("hosts-changed"); }
  void CheckFinished(const CheckReport& report) override { reports.push_back(report); }

  std::string title = "問い合わせ結果一覧";
  std::vector<std::string> log;
  std::vector<std::string> messages;
  std::vector<int> quits;
  std::vector<CheckReport> reports;
  ResultListModel list;
  int pumps = 0;
  std::function<void()> on_pump;
  std::vector<std::string> questions;  // certificate questions asked
  bool trust_answer = false;
};

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_APP_RECORDING_SHELL_H_
