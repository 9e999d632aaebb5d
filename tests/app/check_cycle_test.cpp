#include "app/check_cycle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <new>

#include "model/history_file.h"
#include "net/smtp_forward.h"
#include "tests/app/recording_shell.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "ui/host_list_form.h"

namespace tarnu {
namespace {

using testing::Hex;
using testing::RecordingMessages;
using testing::RecordingShell;

MailEntry Mail(const std::string& id, const std::string& subject = "") {
  MailEntry m;
  m.message_id = id;
  m.subject = subject;
  return m;
}

HostEntry Host(const std::string& name) {
  HostEntry h;
  h.name = name;
  h.server = name + ".example";
  h.user = "user-" + name;
  h.password = "pass-" + name;
  return h;
}

// Mailboxes and an SMTP server in memory, standing in for the network in
// the cycle's own tests (the real servers are in check_cycle_e2e_test).
struct FakeNet {
  struct Mailbox {
    std::vector<MailEntry> mails;
    std::string error;
  };
  std::map<std::string, Mailbox> boxes;  // by server address
  std::vector<Pop3Account> surveys;
  std::vector<int> survey_lines;
  std::vector<std::string> forwarded;                   // Message-IDs handed to the forwarder
  std::map<std::string, std::string> forward_failures;  // Message-ID -> text
  std::vector<HostList> saves;
  RecordingShell* shell = nullptr;
  std::function<void(const Pop3Account&, SurveyResult*)> during_survey;
  // Servers whose certificate does not verify: its fingerprint, by address.
  std::map<std::string, std::string> certificates;

  // As the secure dialogue does: a certificate that does not verify passes
  // when accepted earlier or now.
  bool CertificatePasses(const std::string& server, int port, const std::string& accepted,
                         CertificateTrust* trust) {
    auto it = certificates.find(server);
    if (it == certificates.end() || it->second == accepted) return true;
    CertificateQuestion question;
    question.server = server;
    question.port = port;
    question.reasons = "reasons\r\n";
    question.fingerprint = it->second;
    return trust != nullptr && trust->TrustCertificate(question);
  }

  CheckServices Services() {
    CheckServices s;
    s.survey = [this](StatusLine* status, const Pop3Account& account, int lines,
                      SurveyResult* result, MessagePump* pump, UserMessages* messages,
                      UidlUse* uidl) {
      EXPECT_EQ(uidl, nullptr);  // no cache without open_uidl_cache
      EXPECT_EQ(status, static_cast<StatusLine*>(shell));
      EXPECT_EQ(pump, static_cast<MessagePump*>(shell));
      EXPECT_EQ(messages, static_cast<UserMessages*>(shell));
      surveys.push_back(account);
      survey_lines.push_back(lines);
      shell->log.push_back("survey " + account.server);
      result->label = account.server;
      if (during_survey) during_survey(account, result);
      if (!CertificatePasses(account.server, account.port, account.accepted_fingerprint,
                             account.trust)) {
        result->error = "refused";
        return -1;
      }
      const Mailbox& box = boxes[account.server];
      if (!box.error.empty()) {
        result->error = box.error;
        return -1;
      }
      for (const MailEntry& m : box.mails) result->mails.push_back(m);
      result->mail_count = static_cast<std::int32_t>(box.mails.size());
      result->mailbox_size = 100 * result->mail_count;
      return 0;
    };
    s.forward = [this](const HostEntry& host, MailEntry* entry, MessagePump*,
                       const SecureOptions& secure) {
      EXPECT_TRUE(host.forward);
      if (!CertificatePasses(host.smtp_server, host.smtp_port, host.extras.smtp_fingerprint,
                             secure.trust)) {
        entry->state = "refused";
        return -1;
      }
      forwarded.push_back(entry->message_id);
      auto it = forward_failures.find(entry->message_id);
      if (it != forward_failures.end()) {
        entry->state = it->second;
        return -1;
      }
      entry->state.clear();
      return 0;
    };
    s.save_history = [this](const HostList& hosts, UserMessages*) {
      saves.push_back(hosts);
      shell->log.push_back("save-history");
      return 0;
    };
    return s;
  }
};

class CheckCycleTest : public ::testing::Test {
 protected:
  CheckCycleTest() { net.shell = &shell; }
  CheckCycle Cycle() { return CheckCycle(&hosts, &settings, &flags, &shell, net.Services()); }
  std::vector<std::string> Subjects() const {
    std::vector<std::string> out;
    for (const ResultListRow& row : shell.list.rows()) out.push_back(row.columns[1]);
    return out;
  }

  HostList hosts;
  AppSettings settings;
  CheckFlags flags;
  RecordingShell shell;
  FakeNet net;
};

TEST_F(CheckCycleTest, StepsInOrderForACycleWithNewMail) {
  hosts.push_back(Host("A"));
  net.boxes["A.example"].mails = {Mail("<1>", "one")};
  settings.auto_open = 1;
  bool checking_during_survey = false;
  net.during_survey = [&](const Pop3Account&, SurveyResult*) {
    checking_during_survey = flags.checking;
  };
  CheckCycle cycle = Cycle();
  cycle.RunCheck();

  const std::vector<std::string> expected = {
      "tray-item 32775 off",
      "clear",
      "get-title",
      "tray tip メール確認中 picture -1",
      "title 問い合わせ結果一覧(確認中)",
      "survey A.example",
      "row 0 A",
      "save-history",
      "title 問い合わせ結果一覧",
      "tray-item 32775 on",
      "tray tip-reset picture -1",
      "show",
  };
  EXPECT_EQ(shell.log, expected);
  EXPECT_TRUE(checking_during_survey);
  EXPECT_FALSE(flags.checking);
  EXPECT_TRUE(flags.new_mail);
  EXPECT_FALSE(cycle.running());
}

TEST_F(CheckCycleTest, NoNewMailClearsTheFlagAndRestoresTheDefaultPicture) {
  HostEntry a = Host("A");
  a.history.mails = {Mail("<1>")};
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<1>")};
  flags.new_mail = true;
  settings.auto_open = 1;
  Cycle().RunCheck();
  ASSERT_GE(shell.log.size(), 2u);
  EXPECT_EQ(shell.log.back(), "tray tip-reset picture 128");
  EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), "show"), 0);
  EXPECT_FALSE(flags.new_mail);
}

TEST_F(CheckCycleTest, AutoOpenOffLeavesTheWindowAlone) {
  hosts.push_back(Host("A"));
  net.boxes["A.example"].mails = {Mail("<1>")};
  Cycle().RunCheck();
  EXPECT_TRUE(flags.new_mail);
  EXPECT_EQ(shell.log.back(), "tray tip-reset picture -1");
}

TEST_F(CheckCycleTest, EmptyHostListWritesNoHistory) {
  flags.new_mail = true;
  Cycle().RunCheck();
  const std::vector<std::string> expected = {
      "tray-item 32775 off",
      "clear",
      "get-title",
      "tray tip メール確認中 picture -1",
      "title 問い合わせ結果一覧(確認中)",
      "title 問い合わせ結果一覧",
      "tray-item 32775 on",
      "tray tip-reset picture 128",
  };
  EXPECT_EQ(shell.log, expected);
  EXPECT_TRUE(net.saves.empty());
  EXPECT_FALSE(flags.new_mail);
}

TEST_F(CheckCycleTest, HostsWithCheckingOffAreSkippedButHistoryIsWritten) {
  HostEntry a = Host("A"), b = Host("B");
  a.check = false;
  a.history.mails = {Mail("<old>")};
  a.history.label = "A";
  b.check = false;
  hosts = {a, b};
  net.boxes["A.example"].mails = {Mail("<new>")};
  Cycle().RunCheck();
  EXPECT_TRUE(net.surveys.empty());
  EXPECT_TRUE(shell.list.size() == 0u);
  ASSERT_EQ(net.saves.size(), 1u);
  ASSERT_EQ(net.saves[0].size(), 2u);
  ASSERT_EQ(net.saves[0][0].history.mails.size(), 1u);
  EXPECT_EQ(net.saves[0][0].history.mails[0].message_id, "<old>");
}

TEST(CertificateQuestionText, NamesHostServerReasonsAndWhatYesMeans) {
  CertificateQuestion question;
  question.server = "pop.example.jp";
  question.port = 995;
  question.reasons = "・証明書の有効期限が切れています\r\nSHA-256: AB:CD";
  EXPECT_EQ(Hex(CertificateQuestionText("自宅", question)),
            Hex("「自宅」のサーバ pop.example.jp:995 の証明書を確認できません。\r\n"
                "・証明書の有効期限が切れています\r\nSHA-256: AB:CD\r\n\r\n"
                "この証明書を信頼して接続しますか?\r\n"
                "(「はい」を選ぶと、このホストではこの証明書を今後も受け入れます。証明書が変われば"
                "再び確認します)"));
}

// A certificate that does not verify is put to the user once a run; "no"
// holds for the rest of the run, "yes" is kept with the host (POP3 and SMTP
// apart) and the settings are to be written.
TEST_F(CheckCycleTest, CertificateQuestionsAndTheAcceptedFingerprints) {
  const std::string pop3_fp(32, 'p');
  const std::string smtp_fp(32, 's');
  HostEntry a = Host("A");
  a.forward = true;
  a.smtp_server = "smtp.example";
  a.pop3_port = 995;
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<1>"), Mail("<2>")};
  net.certificates["A.example"] = pop3_fp;
  net.certificates["smtp.example"] = smtp_fp;

  CheckCycle cycle = Cycle();
  cycle.RunCheck();  // declined
  cycle.RunCheck();  // not asked again
  ASSERT_EQ(shell.questions.size(), 1u);
  EXPECT_NE(shell.questions[0].find("A.example:995"), std::string::npos) << shell.questions[0];
  EXPECT_EQ(shell.list.row(0).columns[5], "refused");
  EXPECT_TRUE(hosts[0].extras.pop3_fingerprint.empty());
  EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), "hosts-changed"), 0);

  shell.trust_answer = true;
  shell.questions.clear();
  Cycle().RunCheck();  // a new run asks again: POP3, then SMTP for the first mail only
  EXPECT_EQ(shell.questions.size(), 2u);
  EXPECT_EQ(hosts[0].extras.pop3_fingerprint, pop3_fp);
  EXPECT_EQ(hosts[0].extras.smtp_fingerprint, smtp_fp);
  EXPECT_EQ(net.forwarded, (std::vector<std::string>{"<1>", "<2>"}));
  EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), "hosts-changed"), 1);

  shell.questions.clear();
  net.boxes["A.example"].mails.push_back(Mail("<3>"));
  Cycle().RunCheck();  // both certificates are known now
  EXPECT_TRUE(shell.questions.empty());
  EXPECT_EQ(net.forwarded.back(), "<3>");
  EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), "hosts-changed"), 1);
}

TEST_F(CheckCycleTest, SurveyGetsTheHostsFieldsAndLabelBecomesTheHostName) {
  HostEntry a = Host("A");
  a.apop = true;
  a.pop3_port = 1110;
  a.timeout = 9;
  a.lines = 5;
  a.extras.pop3_security = ConnectionSecurity::kStartTls;
  a.extras.pop3_fingerprint = std::string(32, 'f');
  a.extras.smtp_security = ConnectionSecurity::kTls;
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<1>")};
  CheckCycle cycle = Cycle();
  cycle.set_ca_file("roots.pem");
  cycle.RunCheck();
  ASSERT_EQ(net.surveys.size(), 1u);
  const Pop3Account& account = net.surveys[0];
  EXPECT_TRUE(account.apop);
  EXPECT_EQ(account.user, "user-A");
  EXPECT_EQ(account.password, "pass-A");
  EXPECT_EQ(account.server, "A.example");
  EXPECT_EQ(account.port, 1110);
  EXPECT_EQ(account.timeout, 9);
  EXPECT_EQ(account.security, ConnectionSecurity::kStartTls);
  EXPECT_EQ(account.accepted_fingerprint, std::string(32, 'f'));
  EXPECT_EQ(account.ca_file, "roots.pem");
  EXPECT_EQ(net.survey_lines[0], 5);
  ASSERT_EQ(shell.list.size(), 1u);
  EXPECT_EQ(shell.list.row(0).columns[0], "A");
  // The entry is stored back: history replaced, current result cleared.
  EXPECT_EQ(hosts[0].history.label, "A");
  ASSERT_EQ(HistoryKeys(hosts[0].history).size(), 1u);
  EXPECT_TRUE(hosts[0].current.mails.empty());
  EXPECT_EQ(hosts[0].current.label, "");
  EXPECT_EQ(hosts[0].current.mail_count, 0);
}

TEST_F(CheckCycleTest, OnlyNewMessagesThatPassTheConditionsAreForwarded) {
  HostEntry a = Host("A");
  a.forward = true;
  a.rule.switches = kStopIfSubject;
  a.rule.subject_stop = "spam";
  a.history.mails = {Mail("<seen>")};
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<seen>", "old news"), Mail("<ok>", "hello"),
                                  Mail("<spam>", "SPAM offer"), Mail("<fail>", "hi")};
  net.forward_failures["<fail>"] = "転送時サーバからの応答がありません";
  Cycle().RunCheck();

  EXPECT_EQ(net.forwarded, (std::vector<std::string>{"<ok>", "<fail>"}));
  const std::vector<ResultListRow>& rows = shell.list.rows();
  ASSERT_EQ(rows.size(), 4u);
  const int pictures[] = {1, 2, 3, 3};
  const char* states[] = {"", "転送済", "転送条件外", "転送時サーバからの応答がありません"};
  const std::uint8_t flags_set[] = {0, 1, 0, 0};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[i].small_picture, pictures[i]) << i;
    EXPECT_EQ(Hex(rows[i].columns[5]), Hex(states[i])) << i;
    EXPECT_EQ(rows[i].record->mail.forwarded, flags_set[i]) << i;
  }
  // The history now knows every message of the mailbox, by its key only:
  // what forwarding did lives on in the rows.
  ASSERT_EQ(HistoryKeys(hosts[0].history).size(), 4u);
  EXPECT_EQ(HistoryKeys(hosts[0].history),
            (std::vector<std::string>{"<seen>", "<ok>", "<spam>", "<fail>"}));
  EXPECT_TRUE(hosts[0].history.mails.empty());
  EXPECT_TRUE(flags.new_mail);
}

TEST_F(CheckCycleTest, NothingIsForwardedWhenTheHostDoesNotForward) {
  HostEntry a = Host("A");
  a.forward = false;
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<1>"), Mail("<2>")};
  Cycle().RunCheck();
  EXPECT_TRUE(net.forwarded.empty());
  ASSERT_EQ(shell.list.size(), 2u);
  EXPECT_EQ(shell.list.row(0).small_picture, 0);
  EXPECT_EQ(shell.list.row(0).columns[5], "");
  EXPECT_TRUE(flags.new_mail);
}

TEST_F(CheckCycleTest, FailedSurveyKeepsTheHistoryAndTheCycleGoesOn) {
  HostEntry a = Host("A"), b = Host("B");
  a.history.mails = {Mail("<a-old>")};
  hosts = {a, b};
  net.boxes["A.example"].error = "サーバからの応答がありません";
  net.boxes["B.example"].mails = {Mail("<b1>", "b1")};
  Cycle().RunCheck();

  const std::vector<ResultListRow>& rows = shell.list.rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].columns[0], "B");
  EXPECT_EQ(rows[1].columns[0], "A");
  EXPECT_EQ(rows[1].state_picture, 2);
  EXPECT_EQ(rows[1].columns[5], "サーバからの応答がありません");
  ASSERT_EQ(HistoryKeys(hosts[0].history).size(), 1u);
  EXPECT_EQ(hosts[0].history.mails[0].message_id, "<a-old>");
  EXPECT_EQ(hosts[0].history.error, "サーバからの応答がありません");
  ASSERT_EQ(HistoryKeys(hosts[1].history).size(), 1u);
}

TEST_F(CheckCycleTest, EmptyMailboxKeepsTheOldMessageIds) {
  HostEntry a = Host("A");
  a.history.mails = {Mail("<1>")};
  hosts.push_back(a);
  Cycle().RunCheck();
  ASSERT_EQ(shell.list.size(), 1u);
  EXPECT_EQ(shell.list.row(0).columns[5], "メッセージはありません");
  ASSERT_EQ(HistoryKeys(hosts[0].history).size(), 1u);
  // The message comes back: it is not new.
  net.boxes["A.example"].mails = {Mail("<1>")};
  Cycle().RunCheck();
  EXPECT_EQ(shell.list.row(0).small_picture, 1);
  EXPECT_FALSE(flags.new_mail);
}

TEST_F(CheckCycleTest, SecondCycleWithTheSameMessagesClearsTheNewMailFlag) {
  HostEntry a = Host("A");
  a.forward = true;
  hosts.push_back(a);
  net.boxes["A.example"].mails = {Mail("<1>"), Mail("<2>")};
  CheckCycle cycle = Cycle();
  cycle.RunCheck();
  EXPECT_TRUE(flags.new_mail);
  EXPECT_EQ(net.forwarded.size(), 2u);
  cycle.RunCheck();
  EXPECT_FALSE(flags.new_mail);
  EXPECT_EQ(net.forwarded.size(), 2u);  // nothing forwarded again
  ASSERT_EQ(shell.list.size(), 2u);
  EXPECT_EQ(shell.list.row(0).small_picture, 1);
  EXPECT_EQ(net.saves.size(), 2u);
}

TEST_F(CheckCycleTest, CheckCommandDuringACycleIsDropped) {
  hosts = {Host("A"), Host("B")};
  net.boxes["A.example"].mails = {Mail("<1>")};
  CheckCycle cycle = Cycle();
  // The network layer pumps messages while it waits; the check timer's
  // command arrives through that pump.
  net.during_survey = [&](const Pop3Account&, SurveyResult*) { cycle.RunCheck(); };
  cycle.RunCheck();
  EXPECT_EQ(net.surveys.size(), 2u);
  EXPECT_EQ(cycle.dropped_checks(), 2);
  EXPECT_EQ(net.saves.size(), 1u);
  EXPECT_EQ(std::count(shell.log.begin(), shell.log.end(), "clear"), 1);
  EXPECT_FALSE(cycle.running());
  // Once the cycle is over the command runs again.
  net.during_survey = nullptr;
  cycle.RunCheck();
  EXPECT_EQ(net.surveys.size(), 4u);
  EXPECT_EQ(cycle.dropped_checks(), 2);
}

TEST_F(CheckCycleTest, RunningOutOfMemoryLeavesTheEntryAndGoesOn) {
  HostEntry a = Host("A"), b = Host("B");
  a.history.mails = {Mail("<a-old>")};
  a.history.label = "before";
  hosts = {a, b};
  net.boxes["B.example"].mails = {Mail("<b1>")};
  net.during_survey = [](const Pop3Account& account, SurveyResult* result) {
    if (account.server == "A.example") {
      result->mails.push_back(Mail("<half-built>"));
      throw std::bad_alloc();
    }
  };
  Cycle().RunCheck();

  EXPECT_EQ(shell.messages, (std::vector<std::string>{"メモリが不足しています"}));
  EXPECT_EQ(shell.quits, (std::vector<int>{-1}));
  // Host A untouched.
  EXPECT_EQ(hosts[0].history.label, "before");
  ASSERT_EQ(HistoryKeys(hosts[0].history).size(), 1u);
  EXPECT_EQ(hosts[0].history.mails[0].message_id, "<a-old>");
  EXPECT_TRUE(hosts[0].current.mails.empty());
  // Host B checked, history written, the cycle ended normally.
  ASSERT_EQ(shell.list.size(), 1u);
  EXPECT_EQ(shell.list.row(0).columns[0], "B");
  EXPECT_EQ(HistoryKeys(hosts[1].history).size(), 1u);
  EXPECT_EQ(net.saves.size(), 1u);
  EXPECT_EQ(shell.title, "問い合わせ結果一覧");
  EXPECT_FALSE(flags.checking);
  EXPECT_TRUE(flags.new_mail);
}

TEST_F(CheckCycleTest, RunningOutOfMemoryWhileSavingEndsTheCycleCleanly) {
  hosts = {Host("A")};
  CheckServices services = net.Services();
  services.save_history = [](const HostList&, UserMessages*) -> int { throw std::bad_alloc(); };
  CheckCycle cycle(&hosts, &settings, &flags, &shell, services);
  cycle.RunCheck();
  EXPECT_EQ(shell.messages, (std::vector<std::string>{"メモリが不足しています"}));
  EXPECT_EQ(shell.quits, (std::vector<int>{-1}));
  EXPECT_EQ(shell.log.back(), "tray tip-reset picture 128");
  EXPECT_FALSE(cycle.running());
}

TEST_F(CheckCycleTest, HostListShrinkingDuringASurveyIsSafe) {
  hosts = {Host("A"), Host("B")};
  net.boxes["A.example"].mails = {Mail("<1>")};
  net.during_survey = [&](const Pop3Account& account, SurveyResult*) {
    if (account.server == "A.example") hosts.clear();  // e.g. a dialog's OK
  };
  Cycle().RunCheck();
  EXPECT_TRUE(hosts.empty());
  EXPECT_EQ(net.surveys.size(), 1u);
  EXPECT_EQ(shell.list.size(), 1u);
}

TEST_F(CheckCycleTest, EveryCycleEndsWithAReportOfWhatItFound) {
  HostEntry a = Host("A");
  HostEntry b = Host("B");
  HostEntry off = Host("Off");
  off.check = false;
  HostEntry broken = Host("Broken");
  hosts = {a, b, off, broken};
  auto from = [](const std::string& id) {
    MailEntry m = Mail(id, "subject " + id);
    m.from = "from " + id;
    return m;
  };
  net.boxes["A.example"].mails = {from("<a1>"), from("<a2>")};
  net.boxes["B.example"].mails = {from("<b1>"), from("<b2>"), from("<b3>")};
  net.boxes["Broken.example"].error = "接続時エラー 10061 (接続を拒否されました)";
  net.boxes["Off.example"].mails = {from("<never>")};
  CheckCycle cycle = Cycle();

  struct Expect {
    int new_count, messages;
    std::vector<std::string> named;  // Message-IDs the notification names
  };
  auto run = [&](const char* what, const Expect& want) {
    std::size_t before = shell.reports.size();
    cycle.RunCheck();
    ASSERT_EQ(shell.reports.size(), before + 1) << what << ": one report per cycle";
    const CheckReport& got = shell.reports.back();
    EXPECT_EQ(got.hosts_checked, 3) << what;
    EXPECT_EQ(got.failed_hosts, 1) << what;
    EXPECT_EQ(got.new_count, want.new_count) << what;
    EXPECT_EQ(got.message_count, want.messages) << what;
    std::vector<std::string> named;
    for (const NewMailNote& note : got.first_new) {
      EXPECT_EQ("from " + note.subject.substr(8), note.from) << what;
      named.push_back(note.subject.substr(8));
    }
    EXPECT_EQ(named, want.named) << what;
    EXPECT_EQ(shell.log.back().rfind("tray", 0), 0u) << what << ": after the last tray step";
  };
  run("first check", {5, 5, {"<a1>", "<a2>", "<b1>"}});
  run("nothing new", {0, 5, {}});
  net.boxes["B.example"].mails.push_back(from("<b4>"));
  run("one more on the second host", {1, 6, {"<b4>"}});
}

TEST(AfterCheckTip, CountsNewAndWaitingMailAndFailures) {
  struct Case {
    int hosts, failed, messages, fresh;
    TipChange change;
    const char* text;
  } cases[] = {
      {0, 0, 0, 0, TipChange::kReset, ""},
      {1, 0, 0, 0, TipChange::kText, "新着 0 通/全 0 通"},
      {2, 0, 15, 3, TipChange::kText, "新着 3 通/全 15 通"},
      {3, 2, 4, 0, TipChange::kText, "新着 0 通/全 4 通/エラー 2 件"},
  };
  for (const Case& c : cases) {
    CheckReport report;
    report.hosts_checked = c.hosts;
    report.failed_hosts = c.failed;
    report.message_count = c.messages;
    report.new_count = c.fresh;
    TrayTip tip = AfterCheckTip(report);
    EXPECT_EQ(tip.change, c.change) << c.text;
    EXPECT_EQ(Hex(tip.text), Hex(c.text));
  }
}

// Forwards still owed, over a series of checks each run as a new process
// would: the histories come from what the last successful save wrote, the
// owed forwards from what the last check wrote.
struct OwedCycle {
  int outcome = 0;          // the forwarder's result, if it is called
  std::int64_t now = 1000;  // the clock
  bool on_server = true;    // the message is still in the mailbox
  bool survey_fails = false;
  bool forwarding = true;     // the host's forward switch
  bool history_saved = true;  // the history save succeeds
};

struct OwedCase {
  const char* what;
  std::vector<OwedCycle> cycles;
  std::vector<int> forwards;  // forwards of the message in each check
};

void RunOwedCase(const OwedCase& c) {
  SCOPED_TRACE(c.what);
  testing::RecordingShell shell;
  HostList hosts = {Host("A")};
  hosts[0].forward = true;
  std::vector<MailEntry> saved_history;
  PendingForwards stored;
  AppSettings settings;
  CheckFlags flags;
  for (std::size_t n = 0; n < c.cycles.size(); ++n) {
    SCOPED_TRACE(n);
    const OwedCycle& cycle = c.cycles[n];
    hosts[0].forward = cycle.forwarding;
    int forwards = 0;
    std::vector<std::string> states;
    CheckServices s;
    s.survey = [&](StatusLine*, const Pop3Account&, int, SurveyResult* result, MessagePump*,
                   UserMessages*, UidlUse*) {
      if (cycle.survey_fails) {
        result->error = "受信エラー 104";
        return -1;
      }
      result->mails = {Mail("<other>")};
      if (cycle.on_server) result->mails.push_back(Mail("<1>", "subject"));
      result->mail_count = static_cast<std::int32_t>(result->mails.size());
      return 0;
    };
    s.forward = [&](const HostEntry&, MailEntry* entry, MessagePump*, const SecureOptions&) {
      if (entry->message_id != "<1>") return 0;
      ++forwards;
      entry->state = cycle.outcome == 0 ? "" : "転送時サーバからの応答がありません";
      return cycle.outcome;
    };
    s.begin_check = [&](HostList* list, UserMessages*) {
      (*list)[0].history.mails = saved_history;
      return true;
    };
    s.load_pending = [&](PendingForwards* pending) { *pending = stored; };
    s.save_pending = [&](const PendingForwards& pending) {
      stored = pending;
      return 0;
    };
    s.save_history = [&](const HostList& list, UserMessages*) {
      if (!cycle.history_saved) return -1;
      saved_history = list[0].history.mails;
      return 0;
    };
    s.now = [&]() { return cycle.now; };
    CheckCycle check(&hosts, &settings, &flags, &shell, s);
    check.RunCheck();
    EXPECT_EQ(check.last_save_failed(), !cycle.history_saved);
    ASSERT_LT(n, c.forwards.size());
    EXPECT_EQ(forwards, c.forwards[n]);
    // A forward that failed in this check shows its text in the row.
    if (forwards != 0 && cycle.outcome != 0) {
      const ResultListRow& row = shell.list.row(1);
      ASSERT_TRUE(row.record.has_value());
      EXPECT_EQ(row.record->mail.message_id, "<1>");
      EXPECT_EQ(Hex(row.columns[5]), Hex("転送時サーバからの応答がありません"));
    }
  }
}

TEST(CheckCycleOwedForwards, RetriedUntilTakenNeverTwiceOnceTaken) {
  OwedCycle failed;
  failed.outcome = kForwardFailed;
  OwedCycle taken;
  OwedCycle uncertain;
  uncertain.outcome = kForwardUncertain;
  OwedCycle taken_history_lost;
  taken_history_lost.history_saved = false;
  OwedCycle gone;
  gone.on_server = false;
  OwedCycle survey_fails;
  survey_fails.survey_fails = true;
  OwedCycle not_forwarding;
  not_forwarding.forwarding = false;
  auto at = [](OwedCycle cycle, std::int64_t now) {
    cycle.now = now;
    return cycle;
  };
  const std::vector<OwedCase> cases = {
      {"failed, then taken", {failed, taken, taken}, {1, 1, 0}},
      {"failed twice, then taken", {failed, failed, taken, taken}, {1, 1, 1, 0}},
      {"taken at once", {taken, taken}, {1, 0}},
      {"no answer after the mail went out", {uncertain, taken, taken}, {1, 0, 0}},
      {"taken, history not saved", {taken_history_lost, taken, taken}, {1, 0, 0}},
      {"failed, history not saved",
       {at(failed, 0), at(failed, 1), at(taken, 2), at(taken, 3)},
       {1, 1, 1, 0}},
      {"ten tries at most",
       std::vector<OwedCycle>(12, failed),
       {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0}},
      {"a day at most",
       {at(failed, 1000), at(failed, 1000 + 86399), at(taken, 1000 + 86400)},
       {1, 1, 0}},
      // Gone, the message is forgotten by the history too: back, it is new.
      {"message gone from the server", {failed, gone, taken}, {1, 0, 1}},
      {"failed survey keeps what is owed", {failed, survey_fails, taken}, {1, 0, 1}},
      {"forwarding switched off", {failed, not_forwarding, taken}, {1, 0, 0}},
  };
  for (const OwedCase& c : cases) RunOwedCase(c);
}

TEST(CheckCycleOwedForwards, AMessageNoLongerPassingTheConditionsIsNotRetried) {
  HostList hosts = {Host("A")};
  hosts[0].forward = true;
  PendingForwards stored;
  PendingForward owed;
  owed.server = hosts[0].server;
  owed.port = hosts[0].pop3_port;
  owed.user = hosts[0].user;
  owed.key = "<1>";
  owed.first_failure = 1000;
  owed.tries = 1;
  PendingForward of_removed_host = owed;
  of_removed_host.server = "gone.example";
  stored = {owed, of_removed_host};
  hosts[0].history.mails = {Mail("<1>")};
  hosts[0].rule.switches = kStopIfSubject;
  hosts[0].rule.subject_stop = "stop";
  testing::RecordingShell shell;
  int forwards = 0;
  CheckServices s;
  s.survey = [](StatusLine*, const Pop3Account&, int, SurveyResult* result, MessagePump*,
                UserMessages*, UidlUse*) {
    result->mails = {Mail("<1>", "please stop")};
    return 0;
  };
  s.forward = [&](const HostEntry&, MailEntry*, MessagePump*, const SecureOptions&) {
    return ++forwards, 0;
  };
  s.save_history = [](const HostList&, UserMessages*) { return 0; };
  s.load_pending = [&](PendingForwards* pending) { *pending = stored; };
  s.save_pending = [&](const PendingForwards& pending) { return stored = pending, 0; };
  s.now = []() { return std::int64_t{1001}; };
  AppSettings settings;
  CheckFlags flags;
  CheckCycle(&hosts, &settings, &flags, &shell, s).RunCheck();
  EXPECT_EQ(0, forwards);
  EXPECT_TRUE(stored.empty());  // neither the refused one nor the removed host's
}

TEST(CheckCycleOwedForwards, AnotherCheckHoldingTheFolderMeansThisOneDoesNothing) {
  HostList hosts = {Host("A")};
  testing::RecordingShell shell;
  CheckServices s;
  s.survey = [](StatusLine*, const Pop3Account&, int, SurveyResult*, MessagePump*, UserMessages*,
                UidlUse*) {
    ADD_FAILURE() << "surveyed";
    return 0;
  };
  s.save_history = [](const HostList&, UserMessages*) {
    ADD_FAILURE() << "saved";
    return 0;
  };
  s.begin_check = [](HostList*, UserMessages*) { return false; };
  AppSettings settings;
  CheckFlags flags;
  CheckCycle cycle(&hosts, &settings, &flags, &shell, s);
  cycle.RunCheck();
  EXPECT_EQ(1, cycle.busy_checks());
  EXPECT_EQ(1, cycle.dropped_checks());
  EXPECT_FALSE(cycle.running());
  EXPECT_EQ(std::vector<std::string>{}, shell.log);
}

// The host list dialog's OK can come while a survey waits (the network pumps
// window messages). Whatever it did to the list, each host's messages end
// up in that host's history alone, the dialog's edits stay, and every host
// that was in the list when the check began is surveyed at most once.
TEST_F(CheckCycleTest, HostListDialogOkDuringASurvey) {
  struct Case {
    const char* what;
    std::function<void(HostListForm*)> edit;  // done while A is surveyed
    std::vector<std::string> surveyed;
    std::vector<std::string> names_after;  // and each one's history below
    std::vector<std::vector<std::string>> histories_after;
  };
  auto rename_a = [](HostListForm* form) {
    HostForm f = LoadHostForm(form->entries()[0]);
    f.name = "A2";
    f.server = "A2.example";
    ASSERT_TRUE(form->Edit(0, f));
  };
  auto add_c = [](HostListForm* form) {
    HostForm f = LoadHostForm(Host("C"));
    RecordingMessages messages;
    ASSERT_TRUE(form->Add(f, &messages));
  };
  const std::vector<Case> cases = {
      {"nothing changed", [](HostListForm*) {}, {"A", "B"}, {"A", "B"}, {{"<a>"}, {"<b>"}}},
      {"A deleted", [](HostListForm* f) { f->Remove(0); }, {"A", "B"}, {"B"}, {{"<b>"}}},
      {"B deleted", [](HostListForm* f) { f->Remove(1); }, {"A"}, {"A"}, {{"<a>"}}},
      {"A moved behind B",
       [](HostListForm* f) {
         HostForm a = LoadHostForm(f->entries()[0]);
         f->Remove(0);
         RecordingMessages messages;
         f->Add(a, &messages);  // a new entry with A's settings
       },
       {"A", "B"},
       {"B", "A"},
       {{"<b>"}, {}}},
      {"A renamed and moved to another server",
       rename_a,
       {"A", "B"},
       {"A2", "B"},
       {{"<a>"}, {"<b>"}}},
      {"C added", add_c, {"A", "B"}, {"A", "B", "C"}, {{"<a>"}, {"<b>"}, {}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    hosts = {Host("A"), Host("B")};
    net = FakeNet();
    net.shell = &shell;
    net.boxes["A.example"].mails = {Mail("<a>")};
    net.boxes["B.example"].mails = {Mail("<b>")};
    net.during_survey = [&](const Pop3Account& account, SurveyResult*) {
      if (account.server != "A.example") return;
      HostListForm form(hosts);
      c.edit(&form);
      RecordingMessages messages;
      ASSERT_TRUE(form.Commit(&hosts, &messages));
    };
    Cycle().RunCheck();
    std::vector<std::string> surveyed;
    for (const Pop3Account& a : net.surveys) surveyed.push_back(a.server.substr(0, 1));
    EXPECT_EQ(surveyed, c.surveyed);
    std::vector<std::string> names;
    std::vector<std::vector<std::string>> histories;
    for (const HostEntry& h : hosts) {
      names.push_back(h.name);
      histories.emplace_back();
      histories.back() = HistoryKeys(h.history);
      EXPECT_TRUE(h.current.mails.empty());
    }
    EXPECT_EQ(names, c.names_after);
    EXPECT_EQ(histories, c.histories_after);
    ASSERT_EQ(net.saves.size(), 1u);
    EXPECT_EQ(net.saves[0].size(), hosts.size());  // the history file sees the edited list
  }
}

// Accounts on one server share what the history file holds for its address:
// an outage, in which no check replaces their histories, leaves them one
// copy of those records in memory and one in the file, however many
// accounts there are.
TEST(CheckCycleSharedServer, AnOutageKeepsOneCopyOfTheSharedRecords) {
  testing::ScratchDir dir;
  RecordingMessages messages;
  constexpr std::size_t kStored = 500;
  {
    HostList one(1);
    one[0].server = "pop.shared.example";
    for (std::size_t i = 0; i < kStored; ++i) {
      one[0].history.mails.push_back(Mail("<" + std::to_string(i) + "@shared.example>"));
    }
    ASSERT_EQ(0, SaveHistoryFile(one, &messages));
  }
  const auto file_size = [] { return testing::ReadFileBytes("tarnu.hist.pref").size(); };
  const std::size_t saved_size = file_size();
  ASSERT_EQ(72 + kStored * 2048, saved_size);
  HostList hosts;
  for (int i = 0; i < 20; ++i) {
    HostEntry host = Host("h" + std::to_string(i));
    host.server = "pop.shared.example";
    hosts.push_back(host);
  }
  ASSERT_EQ(0, LoadHistoryFile(&hosts, &messages));
  CheckServices s;
  int surveys = 0;
  s.survey = [&](StatusLine*, const Pop3Account&, int, SurveyResult* result, MessagePump*,
                 UserMessages*, UidlUse*) {
    ++surveys;
    result->error = "サーバからの応答がありません";
    return -1;
  };
  s.save_history = [](const HostList& list, UserMessages* shown) {
    return SaveHistoryFile(list, shown);
  };
  RecordingShell shell;
  AppSettings settings;
  CheckFlags flags;
  for (int cycle = 0; cycle < 2; ++cycle) {
    CheckCycle(&hosts, &settings, &flags, &shell, s).RunCheck();
    const std::vector<std::string>* shared = hosts[0].history.stored_keys.get();
    ASSERT_NE(nullptr, shared);
    EXPECT_EQ(kStored, shared->size());
    for (const HostEntry& host : hosts) EXPECT_EQ(shared, host.history.stored_keys.get());
    EXPECT_EQ(saved_size, file_size());
  }
  EXPECT_EQ(40, surveys);
  EXPECT_EQ(std::vector<std::string>{}, messages.shown);
}

}  // namespace
}  // namespace tarnu
