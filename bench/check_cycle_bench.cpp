// What a check cycle costs beyond its surveys: the new-mail decisions, the
// forwarding decisions, the result rows, the history replacement, the copies
// of the host entries and the history file, for H hosts of N messages each.
//
// The surveys are played from results built beforehand; the time spent
// handing them over is measured apart and taken off, so what is left is the
// cycle's own work. With --pop3-port the surveys are real (SurveyMailbox
// against a server holding the messages) and their own time is reported
// beside the rest.
//
// usage: check_cycle_bench [--hosts H] [--messages N] [--new K] [--runs R]
//                          [--pop3-port P --user U --password W]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/check_cycle.h"
#include "app/result_list_model.h"
#include "model/history_file.h"
#include "net/survey.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace tarnu;

class QuietShell : public CheckShell {
 public:
  std::string GetTitle() override { return title; }
  void SetTitle(const std::string& t) override { title = t; }
  void PumpMessages() override {}
  void ShowMessage(const std::string& text, MessageIcon) override {
    std::fprintf(stderr, "message: %s\n", text.c_str());
  }
  void RequestQuit(int) override {}
  void InsertResultRow(int position, const ResultListRow& row) override {
    const auto start = Clock::now();
    list.InsertResultRow(position, row);
    sink_seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  void InsertHostRows(int position, std::shared_ptr<const HostRows> rows) override {
    const auto start = Clock::now();
    list.InsertHostRows(position, std::move(rows));
    sink_seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  void EnableTrayItem(int, bool) override {}
  void SetTrayState(const TrayTip&, int) override {}
  void ClearResultList() override {
    const auto start = Clock::now();
    list.Clear();
    sink_seconds += std::chrono::duration<double>(Clock::now() - start).count();
  }
  void ShowResultWindow() override {}
  std::string title = "問い合わせ結果一覧";
  ResultListModel list;
  double sink_seconds = 0;
};

MailEntry MakeMail(int host, int number) {
  MailEntry m;
  char id[64];
  std::snprintf(id, sizeof id, "<%08d.%d.bench@mail.example.com>", number, host);
  m.message_id = id;
  m.subject = "【お知らせ】定例会議の議事録について 第" + std::to_string(number) + "回";
  m.from = "山田 太郎 <taro.yamada@example.co.jp>";
  m.to = "alice@example.com";
  m.cc = "team@example.com";
  m.body = "お疲れさまです。山田です。\r\n本日の会議の議事録を添付いたします。\r\n";
  m.size = 2048 + number;
  return m;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int hosts_count = 3, messages = 1000, fresh = 100, runs = 20, pop3_port = 0;
  std::string user = "alice", password = "secret";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const char* value = argv[i + 1];
    if (name == "--hosts") hosts_count = std::atoi(value);
    if (name == "--messages") messages = std::atoi(value);
    if (name == "--new") fresh = std::atoi(value);
    if (name == "--runs") runs = std::atoi(value);
    if (name == "--pop3-port") pop3_port = std::atoi(value);
    if (name == "--user") user = value;
    if (name == "--password") password = value;
  }

  // Against a real server the history knows none of its messages.
  if (pop3_port) fresh = messages;

  // The history file is written into a scratch directory.
  const std::filesystem::path scratch =
      std::filesystem::temp_directory_path() /
      ("tarnu-bench-" + std::to_string(Clock::now().time_since_epoch().count()));
  std::filesystem::create_directories(scratch);
  std::filesystem::current_path(scratch);

  // Each host's mailbox and a history that already knows all but `fresh` of
  // its messages; forwarding is on with a condition that no message meets,
  // so every new message goes through the decision but none leaves.
  std::vector<SurveyResult> boxes(hosts_count);
  HostList initial;
  for (int h = 0; h < hosts_count; ++h) {
    HostEntry host;
    host.name = "host" + std::to_string(h);
    host.server = pop3_port ? "127.0.0.1" : "pop" + std::to_string(h) + ".example.com";
    host.pop3_port = pop3_port ? pop3_port : 110;
    host.user = user;
    host.password = password;
    host.forward = true;
    host.notify_address = "notify@example.com";
    host.smtp_server = "127.0.0.1";
    host.rule.switches = kForwardIfSubject | kStopIfFrom;
    host.rule.subject_forward = "urgent,至急, ｕｒｇｅｎｔ ";
    host.rule.from_stop = "spam@,広告";
    for (int n = 1; n <= messages; ++n) boxes[h].mails.push_back(MakeMail(h, n));
    boxes[h].mail_count = messages;
    for (int n = fresh; n < messages; ++n) host.history.mails.push_back(boxes[h].mails[n]);
    initial.push_back(host);
  }

  double survey_seconds = 0;
  CheckServices services = RealCheckServices();
  CheckServices played = services;
  played.open_uidl_cache = nullptr;
  played.survey = [&](StatusLine*, const Pop3Account& account, int, SurveyResult* result,
                      MessagePump*, UserMessages*, UidlUse*) {
    const auto start = Clock::now();
    int index = 0;
    for (; index < hosts_count; ++index) {
      if ("pop" + std::to_string(index) + ".example.com" == account.server) break;
    }
    *result = boxes[static_cast<std::size_t>(index) % boxes.size()];
    result->label = account.server;
    survey_seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return 0;
  };
  double save_seconds = 0;
  played.save_history = [&](const HostList& hosts, UserMessages* messages_out) {
    const auto start = Clock::now();
    const int rc = SaveHistoryFile(hosts, messages_out);
    save_seconds += std::chrono::duration<double>(Clock::now() - start).count();
    return rc;
  };
  if (pop3_port) {
    played.survey = [&](StatusLine* status, const Pop3Account& account, int lines,
                        SurveyResult* result, MessagePump* pump, UserMessages* messages_out,
                        UidlUse*) {
      const auto start = Clock::now();
      const int rc = SurveyMailbox(status, account, lines, result, pump, messages_out);
      survey_seconds += std::chrono::duration<double>(Clock::now() - start).count();
      return rc;
    };
  }

  std::vector<double> totals, surveys, rest, sinks, saves, core;
  QuietShell shell;
  AppSettings settings;
  int new_count = 0;
  for (int r = 0; r < runs; ++r) {
    HostList hosts = initial;
    CheckFlags flags;
    CheckCycle cycle(&hosts, &settings, &flags, &shell, played);
    survey_seconds = 0;
    save_seconds = 0;
    shell.sink_seconds = 0;
    const auto start = Clock::now();
    cycle.RunCheck();
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    totals.push_back(total * 1000);
    surveys.push_back(survey_seconds * 1000);
    rest.push_back((total - survey_seconds) * 1000);
    sinks.push_back(shell.sink_seconds * 1000);
    saves.push_back(save_seconds * 1000);
    core.push_back((total - survey_seconds - shell.sink_seconds - save_seconds) * 1000);
    new_count = cycle.last_new_count();
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(scratch);

  std::printf(
      "hosts %d, messages %d each, unknown to the history %d each, rows %zu, new counted %d, runs "
      "%d\n",
      hosts_count, messages, fresh, shell.list.size(), new_count, runs);
  std::printf("%-28s %10s %10s\n", "", "min ms", "median ms");
  std::printf("%-28s %10.3f %10.3f\n", "whole cycle",
              *std::min_element(totals.begin(), totals.end()), Median(totals));
  std::printf("%-28s %10.3f %10.3f\n", pop3_port ? "surveys (real)" : "surveys (played back)",
              *std::min_element(surveys.begin(), surveys.end()), Median(surveys));
  std::printf("%-28s %10.3f %10.3f\n", "beyond the surveys",
              *std::min_element(rest.begin(), rest.end()), Median(rest));
  std::printf("%-28s %10.3f %10.3f\n", "  of which: rows into list",
              *std::min_element(sinks.begin(), sinks.end()), Median(sinks));
  std::printf("%-28s %10.3f %10.3f\n", "  of which: history file",
              *std::min_element(saves.begin(), saves.end()), Median(saves));
  std::printf("%-28s %10.3f %10.3f\n", "  of which: the rest",
              *std::min_element(core.begin(), core.end()), Median(core));
  return 0;
}
