// Whole checks against the real Dovecot and SMTP server with a fault proxy
// in between: every step of both dialogues cut, reset, stalled, dripped or
// fed garbage. Each case is checked for the text the user sees, the time it
// took, the history file and the forwards still owed; then a check without
// faults shows that nothing was lost and nothing repeated.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>

#include "app/check_cycle.h"
#include "model/history_file.h"
#include "model/pending_forwards.h"
#include "tests/app/recording_shell.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/shell.h"
#include "tests/support/smtp_server.h"

namespace tarnu {
namespace {

using testing::Escape;
using testing::FaultProxy;
using Fault = FaultProxy::Fault;
using Direction = FaultProxy::Direction;
using Keys = std::vector<std::string>;

constexpr int kTimeout = 2;

// Three messages; the first was seen at the last check, the second has no
// Message-ID. The subject says which.
std::vector<std::string> Messages() {
  return {
      "Message-ID: <seen@example.jp>\nFrom: a@example.jp\nSubject: seen\n\nold\n",
      "From: b@example.jp\nSubject: no id\nDate: Tue, 2 Jan 2024 10:00:00 +0900\n\nbody b\n",
      "Message-ID: <new@example.jp>\nFrom: c@example.jp\nSubject: new\n\nbody c\n",
  };
}

class FaultCheck : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dovecot_ = new testing::DovecotServer;
    ASSERT_TRUE(dovecot_->Start({{"alice", "secret", ""}, {"bob", "secret", ""}}))
        << dovecot_->error();
    const std::vector<std::string> messages = Messages();
    for (std::size_t i = 0; i < messages.size(); ++i) Deliver("alice", i, messages[i]);
    smtp_ = new testing::SmtpServer;
    std::string error;
    ASSERT_TRUE(smtp_->Start(&error)) << error;
  }
  static void TearDownTestSuite() {
    delete dovecot_;
    delete smtp_;
  }

  static void Deliver(const std::string& user, std::size_t i, const std::string& message) {
    const std::string name = std::to_string(1700000001 + i) + ".M" + std::to_string(i) + "P1.x";
    const std::string tmp = dovecot_->Maildir(user) + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << message;
    std::rename(tmp.c_str(), (dovecot_->Maildir(user) + "/new/" + name).c_str());
    int status = 0;
    testing::RunCommand(testing::ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " +
                            testing::ShellQuote(dovecot_->dir()),
                        &status);
    ASSERT_EQ(status, 0);
  }

  HostEntry Host(int pop3_port, int smtp_port) const {
    HostEntry host;
    host.name = "alice";
    host.server = "127.0.0.1";
    host.pop3_port = pop3_port;
    host.user = "alice";
    host.password = "secret";
    host.timeout = kTimeout;
    host.forward = true;
    host.smtp_server = "127.0.0.1";
    host.smtp_port = smtp_port;
    host.notify_address = "notify@example.com";
    // The faults are placed on the plain dialogue's steps.
    host.extras.SetOption(kExtraNoPipelining, true);
    host.extras.SetOption(kExtraNoUidl, true);
    return host;
  }

  // One check of `host` over the data files of the current directory, as a
  // new process would run it; returns its rows.
  std::vector<ResultListRow> Check(const HostEntry& host, double* seconds = nullptr) {
    HostList hosts = {host};
    testing::RecordingMessages messages;
    LoadHistoryFile(&hosts, &messages);
    testing::RecordingShell shell;
    AppSettings settings;
    CheckFlags flags;
    CheckCycle cycle(&hosts, &settings, &flags, &shell);
    const auto start = std::chrono::steady_clock::now();
    cycle.RunCheck();
    if (seconds != nullptr) {
      *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    EXPECT_FALSE(cycle.last_save_failed());
    return shell.list.rows();
  }

  static Keys StoredKeys() {
    HostList hosts(1);
    hosts[0].server = "127.0.0.1";
    testing::RecordingMessages messages;
    LoadHistoryFile(&hosts, &messages);
    return tarnu::HistoryKeys(hosts[0].history);
  }

  // The history as the last check left it: only the first message seen.
  void SeedHistory() {
    HostList hosts = {Host(0, 0)};
    MailEntry seen;
    seen.message_id = "<seen@example.jp>";
    hosts[0].history.mails = {seen};
    testing::RecordingMessages messages;
    ASSERT_EQ(0, SaveHistoryFile(hosts, &messages));
  }

  static testing::DovecotServer* dovecot_;
  static testing::SmtpServer* smtp_;
};

testing::DovecotServer* FaultCheck::dovecot_ = nullptr;
testing::SmtpServer* FaultCheck::smtp_ = nullptr;

FaultProxy::Plan Plan(Fault fault, Direction direction, std::string marker, std::size_t skip,
                      std::string bytes = "", int drip_ms = 1500) {
  FaultProxy::Plan plan;
  plan.fault = fault;
  plan.direction = direction;
  plan.marker = std::move(marker);
  plan.skip = skip;
  plan.bytes = std::move(bytes);
  plan.drip_ms = drip_ms;
  return plan;
}

const char kNoAnswer[] = "サーバからの応答がありません";
const char kClosed[] = "受信エラー 0 (サーバが接続を切断しました)";
const char kReset[] = "受信エラー 104 (接続がリセットされました)";
const char kNotReady[] = "メールサーバが応答状態にありません\r\n";
const char kCannotServe[] =
    "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定で"
    "す";

// A fault in the POP3 dialogue fails the host: one row with the text, the
// history as it was, nothing forwarded, nothing owed. The next check finds
// the two new messages and forwards them, once.
TEST_F(FaultCheck, Pop3DialogueAtEveryStep) {
  const std::string garbage = "\x1b[31m*garbage* \x07\r\n";
  const std::string huge(10 << 20, 'x');
  struct Case {
    const char* what;
    FaultProxy::Plan plan;
    std::string text;  // the row's state column
    double at_most;    // seconds
  } cases[] = {
      {"greeting cut", Plan(Fault::kCut, Direction::kToClient, "", 0), kClosed, 2},
      {"greeting reset", Plan(Fault::kReset, Direction::kToClient, "", 0), kReset, 2},
      {"greeting stalled", Plan(Fault::kStall, Direction::kToClient, "", 0), kNoAnswer, 4},
      // A byte every 1.5 s: never silent for the timeout, yet the line
      // must be whole within it.
      {"greeting dripped", Plan(Fault::kDrip, Direction::kToClient, "", 0), kNoAnswer, 5},
      {"garbage before the greeting", Plan(Fault::kInject, Direction::kToClient, "", 0, garbage),
       std::string(kNotReady) + garbage, 2},
      {"USER cut on its way", Plan(Fault::kCut, Direction::kToServer, "USER", 2), kClosed, 2},
      {"PASS reply cut", Plan(Fault::kCut, Direction::kToClient, "PASS", 1), kClosed, 2},
      {"PASS reply stalled", Plan(Fault::kStall, Direction::kToClient, "PASS", 0), kNoAnswer, 4},
      {"STAT reply reset", Plan(Fault::kReset, Direction::kToClient, "STAT", 4), kReset, 2},
      {"STAT reply dripped", Plan(Fault::kDrip, Direction::kToClient, "STAT", 0), kNoAnswer, 5},
      {"LIST 2 reply cut", Plan(Fault::kCut, Direction::kToClient, "LIST 2", 3), kClosed, 2},
      {"TOP 2 reply cut in the header", Plan(Fault::kCut, Direction::kToClient, "TOP 2", 30),
       kNoAnswer, 2},
      {"TOP 3 reply stalled in the body", Plan(Fault::kStall, Direction::kToClient, "TOP 3", 60),
       kNoAnswer, 4},
      {"TOP 3 reply dripped", Plan(Fault::kDrip, Direction::kToClient, "TOP 3", 5), kNoAnswer, 5},
      {"TOP 2 reply in 1-byte pieces", Plan(Fault::kDrip, Direction::kToClient, "TOP 2", 0, "", 1),
       "", 6},
      {"a 10 MB line for the TOP reply",
       Plan(Fault::kInject, Direction::kToClient, "TOP 1", 0, huge), kCannotServe, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    SeedHistory();
    const int mails_before = static_cast<int>(smtp_->Mails().size());
    FaultProxy proxy(dovecot_->port(), c.plan);
    ASSERT_TRUE(proxy.Start());
    double seconds = 0;
    std::vector<ResultListRow> rows = Check(Host(proxy.port(), smtp_->port()), &seconds);
    EXPECT_TRUE(proxy.fired());
    EXPECT_LE(seconds, c.at_most);
    proxy.Stop();
    if (c.text.empty()) {  // the fault harms nothing
      EXPECT_EQ(3u, rows.size());
      EXPECT_EQ(2, static_cast<int>(smtp_->Mails().size()) - mails_before);
      continue;
    }
    EXPECT_EQ(1u, rows.size());
    if (rows.empty()) continue;
    EXPECT_EQ(Escape(c.text), Escape(rows[0].columns[5]));
    EXPECT_EQ(Keys{"<seen@example.jp>"}, StoredKeys());
    EXPECT_EQ(mails_before, static_cast<int>(smtp_->Mails().size()));
    PendingForwards owed;
    LoadPendingForwards(&owed);
    EXPECT_TRUE(owed.empty());

    rows = Check(Host(dovecot_->port(), smtp_->port()));
    EXPECT_EQ(3u, rows.size());
    EXPECT_EQ(2, static_cast<int>(smtp_->Mails().size()) - mails_before);
    EXPECT_EQ(3u, StoredKeys().size());
  }
}

const char kFwdNoAnswer[] = "転送時サーバからの応答がありません";
const char kFwdClosed[] = "転送時受信エラー 0 (サーバが接続を切断しました)";

// A fault in the forward of the first new message: the survey is whole, the
// history takes all three messages, the row shows why the forward failed
// and the forward is owed. The next check sends what is owed, once; a mail
// whose end went out without an answer is never sent again.
TEST_F(FaultCheck, SmtpDialogueAtEveryStep) {
  const std::string garbage = "\x1b]0;title\x07 junk\r\n";
  struct Case {
    const char* what;
    FaultProxy::Plan plan;
    std::string text;  // the state column of the first new message's row
    bool may_have_been_taken;
    double at_most;
  } cases[] = {
      {"greeting cut", Plan(Fault::kCut, Direction::kToClient, "", 0), kFwdClosed, false, 2},
      {"greeting stalled", Plan(Fault::kStall, Direction::kToClient, "", 0), kFwdNoAnswer, false,
       4},
      {"garbage before the greeting", Plan(Fault::kInject, Direction::kToClient, "", 0, garbage),
       "転送時メールサーバが応答状態にありません\r\n" + garbage, false, 2},
      {"HELO reply reset", Plan(Fault::kReset, Direction::kToClient, "HELO", 2),
       "転送時受信エラー 104 (接続がリセットされました)", false, 2},
      {"MAIL reply cut", Plan(Fault::kCut, Direction::kToClient, "MAIL FROM", 0), kFwdClosed, false,
       2},
      {"RCPT reply stalled", Plan(Fault::kStall, Direction::kToClient, "RCPT TO", 1), kFwdNoAnswer,
       false, 4},
      {"DATA cut on its way", Plan(Fault::kCut, Direction::kToServer, "DATA\r\n", 0), kFwdClosed,
       false, 2},
      {"reply to the end of the mail cut", Plan(Fault::kCut, Direction::kToClient, "\r\n.\r\n", 0),
       kFwdClosed, true, 2},
      {"reply to the end of the mail stalled",
       Plan(Fault::kStall, Direction::kToClient, "\r\n.\r\n", 0), kFwdNoAnswer, true, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir dir;
    SeedHistory();
    const int mails_before = static_cast<int>(smtp_->Mails().size());
    FaultProxy proxy(smtp_->port(), c.plan);
    ASSERT_TRUE(proxy.Start());
    double seconds = 0;
    std::vector<ResultListRow> rows = Check(Host(dovecot_->port(), proxy.port()), &seconds);
    EXPECT_TRUE(proxy.fired());
    EXPECT_LE(seconds, c.at_most);
    proxy.Stop();
    EXPECT_EQ(3u, rows.size());
    if (rows.size() != 3u) continue;
    EXPECT_EQ("no id", rows[1].columns[1]);
    EXPECT_EQ(Escape(c.text), Escape(rows[1].columns[5]));
    EXPECT_EQ("転送済", rows[2].columns[5]);
    EXPECT_EQ(3u, StoredKeys().size());
    // Owed: the failed one; remembered until the history holds it: the one
    // the server took.
    PendingForwards owed;
    LoadPendingForwards(&owed);
    EXPECT_EQ(2u, owed.size());
    for (const PendingForward& entry : owed) {
      const bool failed = entry.key != "<new@example.jp>";
      EXPECT_EQ(failed ? c.may_have_been_taken : true, entry.sent) << entry.key;
      EXPECT_EQ(1, entry.tries);
    }
    // The server stored the mail when its end went through.
    const int taken_now = c.may_have_been_taken ? 2 : 1;
    EXPECT_EQ(taken_now, static_cast<int>(smtp_->Mails().size()) - mails_before);

    rows = Check(Host(dovecot_->port(), smtp_->port()));
    EXPECT_EQ(3u, rows.size());
    const int taken_in_all = c.may_have_been_taken ? taken_now : 2;
    EXPECT_EQ(taken_in_all, static_cast<int>(smtp_->Mails().size()) - mails_before);
    if (!c.may_have_been_taken && rows.size() == 3u) {
      EXPECT_EQ("転送済", rows[1].columns[5]);
    }
    LoadPendingForwards(&owed);
    EXPECT_TRUE(owed.empty());
    // A third check sends nothing more.
    Check(Host(dovecot_->port(), smtp_->port()));
    EXPECT_EQ(taken_in_all, static_cast<int>(smtp_->Mails().size()) - mails_before);
  }
}

// Messages without a Message-ID are each judged new or seen on their own,
// and a raw 0xFF byte in a header line before the Message-ID neither hides
// the Message-ID nor cuts the header short.
TEST_F(FaultCheck, MessagesWithoutAnIdAndRawHighBytes) {
  testing::ScratchDir dir;
  const std::string no_id = "From: x@example.jp\nDate: Wed, 3 Jan 2024 08:00:00 +0900\nSubject: ";
  Deliver("bob", 10, no_id + "first\n\nb\n");
  Deliver("bob", 11,
          "Subject: caf\xff latte\nMessage-ID: <ff@example.jp>\nFrom: y@example.jp\n\nc\n");
  Deliver("bob", 12, no_id + "second\n\nd\n");
  HostEntry host = Host(dovecot_->port(), smtp_->port());
  host.user = "bob";
  const int mails_before = static_cast<int>(smtp_->Mails().size());
  auto new_pictures = [](const std::vector<ResultListRow>& rows) {
    int fresh = 0;
    for (const ResultListRow& row : rows) fresh += row.small_picture == 2 ? 1 : 0;
    return fresh;
  };
  std::vector<ResultListRow> rows = Check(host);
  ASSERT_EQ(3u, rows.size());
  EXPECT_EQ(3, new_pictures(rows));
  EXPECT_EQ(3, static_cast<int>(smtp_->Mails().size()) - mails_before);
  const Keys keys = StoredKeys();
  ASSERT_EQ(3u, keys.size());
  EXPECT_EQ("<ff@example.jp>", keys[1]);
  EXPECT_NE(keys[0], keys[2]);

  rows = Check(host);
  EXPECT_EQ(0, new_pictures(rows));
  EXPECT_EQ(3, static_cast<int>(smtp_->Mails().size()) - mails_before);

  // A third message without an ID arrives: it alone is new and forwarded.
  Deliver("bob", 13, no_id + "third\n\ne\n");
  rows = Check(host);
  ASSERT_EQ(4u, rows.size());
  EXPECT_EQ(1, new_pictures(rows));
  EXPECT_EQ(2, rows[3].small_picture);
  EXPECT_EQ("third", rows[3].columns[1]);
  EXPECT_EQ(4, static_cast<int>(smtp_->Mails().size()) - mails_before);
}

}  // namespace
}  // namespace tarnu
