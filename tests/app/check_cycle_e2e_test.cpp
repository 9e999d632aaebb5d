// One check cycle end to end: a real Dovecot holding new and seen messages,
// a real SMTP server storing what it accepts, the history file in a scratch
// directory. Python, nkf and the history loader are the oracles.
#include <gtest/gtest.h>

#include <cstdio>

#include "codec/charset.h"

#include <filesystem>
#include <fstream>

#include "app/check_cycle.h"
#include "model/data_files.h"
#include "model/history_file.h"
#include "tests/app/recording_shell.h"
#include "tests/support/command_oracle.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/shell.h"
#include "tests/support/smtp_server.h"

namespace tarnu {
namespace {

using testing::Hex;
using testing::PipeThrough;
using testing::RecordingShell;

std::string Jis(const std::string& utf8) {
  std::string out;
  PipeThrough("iconv -f UTF-8 -t ISO-2022-JP", utf8, &out);
  return out;
}

std::string JisWord(const std::string& utf8) {
  std::string out;
  PipeThrough(
      "/usr/bin/python3 -c 'import sys,base64; t=sys.stdin.buffer.read().decode(); "
      "sys.stdout.write(\"=?ISO-2022-JP?B?\"+base64.b64encode(t.encode(\"iso-2022-jp\"))"
      ".decode()+\"?=\")'",
      utf8, &out);
  return out;
}

std::string DecodedByPython(const std::string& value) {
  std::string out;
  PipeThrough(
      "/usr/bin/python3 -c 'import sys,email.header; v=sys.stdin.buffer.read().decode(\"ascii\"); "
      "sys.stdout.write(str(email.header.make_header(email.header.decode_header(v))))'",
      value, &out);
  return out;
}

std::string HeaderValue(const std::string& mail, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::size_t at = ("\r\n" + mail).find(key);
  if (at == std::string::npos) return "(missing)";
  const std::size_t start = at + key.size() - 2;
  return mail.substr(start, mail.find("\r\n", start) - start);
}

// Six messages for alice; 1 and 5 were seen at the last check.
std::vector<std::string> AliceMessages() {
  auto message = [](const std::string& id, const std::string& header, const std::string& body) {
    return "Message-ID: <" + id + "@example.jp>\n" + header +
           "Date: Mon, 01 Jan 2024 09:00:00 +0900\n"
           "MIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=ISO-2022-JP\n"
           "\n" +
           body;
  };
  return {
      message("m1", "From: old@example.jp\nSubject: old report\n", "seen before\n"),
      message("m2",
              "From: " + JisWord(u8"山田") +
                  " <yamada@example.jp>\nTo: alice@example.com\nCc: " + JisWord(u8"佐藤") +
                  " <sato@example.jp>\nSubject: " + JisWord(u8"至急の件") + "\n",
              Jis(u8"本文です。\n.で始まる行\n点で終わる行.\n四行目は取りません\n")),
      message("m3", "From: ads@example.jp\nSubject: spam report\n", "buy now\n"),
      message("m4", "From: boss@example.jp\nTo: alice@example.com\nSubject: weekly report\n",
              ".\n..\nx.\n"),
      message("m5", "From: old@example.jp\nSubject: another old report\n", "seen\n"),
      message("m6", "From: friend@example.jp\nSubject: hello\n", "hi\n"),
  };
}

class CheckCycleEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dovecot.Start({{"alice", "secret", ""}, {"bob", "secret", ""}})) << dovecot.error();
    const std::vector<std::string> messages = AliceMessages();
    for (std::size_t i = 0; i < messages.size(); ++i) {
      const std::string name =
          std::to_string(1700000001 + i) + ".M" + std::to_string(i) + "P1.tarnu-check";
      const std::string tmp = dovecot.Maildir("alice") + "/tmp/" + name;
      std::ofstream(tmp, std::ios::binary) << messages[i];
      std::rename(tmp.c_str(), (dovecot.Maildir("alice") + "/new/" + name).c_str());
    }
    int status = 0;
    testing::RunCommand(testing::ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " +
                            testing::ShellQuote(dovecot.dir()),
                        &status);
    ASSERT_EQ(status, 0);
    std::string error;
    ASSERT_TRUE(smtp.Start(&error)) << error;

    HostEntry a;
    a.name = "メイン";
    a.server = "127.0.0.1";
    a.pop3_port = dovecot.port();
    a.user = "alice";
    a.password = "secret";
    a.lines = 3;
    a.timeout = 10;
    a.forward = true;
    a.smtp_server = "127.0.0.1";
    a.smtp_port = smtp.port();
    a.notify_address = "notify@example.com";
    a.rule.switches = kForwardIfSubject | kStopIfSubject;
    a.rule.subject_forward = "report, 至急";
    a.rule.subject_stop = "SPAM";
    for (const char* id : {"<m1@example.jp>", "<m5@example.jp>"}) {
      MailEntry seen;
      seen.message_id = id;
      a.history.mails.push_back(seen);
    }
    HostEntry b = a;
    b.name = "誤り";
    b.server = "localhost";  // its own history key
    b.user = "bob";
    b.password = "wrong";
    b.history.mails.clear();
    HostEntry c = a;
    c.name = "停止中";
    c.server = "unused.invalid";
    c.check = false;
    hosts = {a, b, c};
  }

  testing::DovecotServer dovecot;
  testing::SmtpServer smtp;
  testing::ScratchDir scratch;
  HostList hosts;
  AppSettings settings;
  CheckFlags flags;
  RecordingShell shell;
};

TEST_F(CheckCycleEndToEnd, FirstCycleForwardsTheNewMessagesThatPassSecondForwardsNothing) {
  CheckCycle cycle(&hosts, &settings, &flags, &shell);
  cycle.RunCheck();

  // Rows: the host surveyed last comes first; the host with checking off has none.
  const std::vector<ResultListRow>& rows = shell.list.rows();
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[0].columns[0], "誤り");
  EXPECT_EQ(rows[0].state_picture, 2);
  EXPECT_NE(rows[0].columns[5], "");
  const char* subjects[] = {"old report",    "至急の件",           "spam report",
                            "weekly report", "another old report", "hello"};
  const int pictures[] = {1, 2, 3, 2, 1, 3};
  const char* states[] = {"", "転送済", "転送条件外", "転送済", "", "転送条件外"};
  for (int i = 0; i < 6; ++i) {
    const ResultListRow& row = rows[i + 1];
    EXPECT_EQ(row.columns[0], i == 0 ? "メイン" : "") << i;
    EXPECT_EQ(Hex(MailTextToCp932(row.columns[1])), Hex(subjects[i])) << i;
    EXPECT_EQ(row.small_picture, pictures[i]) << i;
    EXPECT_EQ(Hex(row.columns[5]), Hex(states[i])) << i;
    ASSERT_TRUE(row.record.has_value());
    EXPECT_EQ(row.record->number, i + 1);
  }
  EXPECT_EQ(Hex(MailTextToCp932(rows[2].columns[4])), Hex("本文です。.で始まる行点で終わる行."));
  EXPECT_EQ(cycle.last_new_count(), 4);
  EXPECT_TRUE(flags.new_mail);
  EXPECT_FALSE(flags.checking);
  EXPECT_EQ(shell.title, "問い合わせ結果一覧");

  // Exactly the two messages that passed reached the SMTP server.
  const std::vector<std::string> mails = smtp.Mails();
  ASSERT_EQ(mails.size(), 2u);
  const std::string& first = mails[0];
  EXPECT_EQ(HeaderValue(first, "X-Envelope-To"), "notify@example.com");
  const std::string subject = HeaderValue(first, "Subject");
  ASSERT_EQ(subject.substr(0, 4), "Fwd)");
  EXPECT_EQ(DecodedByPython(subject.substr(4)), u8"至急の件");
  EXPECT_EQ(DecodedByPython(HeaderValue(first, "From")), u8"山田 <yamada@example.jp>");
  EXPECT_EQ(HeaderValue(first, "To"), "alice@example.com");
  EXPECT_EQ(DecodedByPython(HeaderValue(first, "Cc")), u8"佐藤 <sato@example.jp>");
  EXPECT_EQ(HeaderValue(first, "Content-Type"), "text/plain; charset=ISO-2022-JP");
  std::string body;
  ASSERT_TRUE(PipeThrough("nkf -J -w", first.substr(first.find("\r\n\r\n") + 4), &body));
  EXPECT_EQ(body,
            u8"** This mail was forwarded by tarnu. **\r\n本文です。\r\n.で始まる行\r\n"
            u8"点で終わる行.\r\n\r\n");
  const std::string& second = mails[1];
  EXPECT_EQ(HeaderValue(second, "Subject"), "Fwd)weekly report");
  // Dot lines survive the round trip through the server's transparency.
  EXPECT_EQ(second.substr(second.find("\r\n\r\n") + 4),
            "** This mail was forwarded by tarnu. **\r\n.\r\n..\r\nx.\r\n\r\n");

  // The history file holds every Message-ID now on alice's server; bob's
  // failed survey left his history empty.
  HostList reloaded(2);
  reloaded[0].server = "127.0.0.1";
  reloaded[1].server = "localhost";
  testing::RecordingMessages messages;
  ASSERT_EQ(LoadHistoryFile(&reloaded, &messages), 0);
  EXPECT_EQ(HistoryKeys(reloaded[0].history),
            (std::vector<std::string>{"<m1@example.jp>", "<m2@example.jp>", "<m3@example.jp>",
                                      "<m4@example.jp>", "<m5@example.jp>", "<m6@example.jp>"}));
  EXPECT_TRUE(HistoryKeys(reloaded[1].history).empty());

  // The second cycle finds nothing new, forwards nothing and clears the flag.
  cycle.RunCheck();
  EXPECT_EQ(smtp.Mails().size(), 2u);
  EXPECT_FALSE(flags.new_mail);
  EXPECT_EQ(cycle.last_new_count(), 0);
  ASSERT_EQ(shell.list.size(), 7u);
  for (int i = 1; i < 7; ++i) EXPECT_EQ(shell.list.row(i).small_picture, 1) << i;
  // The states the first cycle left stay with the messages in the history,
  // but the second survey brings fresh entries.
  EXPECT_EQ(shell.list.row(2).columns[5], "");

  // Nothing was deleted or marked seen on the server.
  const std::vector<testing::DovecotServer::MailFile> files = dovecot.ListMail("alice");
  ASSERT_EQ(files.size(), 6u);
  for (const auto& f : files) EXPECT_EQ(f.flags.find('S'), std::string::npos) << f.name;
}

// The same mailbox checked with every protocol setting, twice each (the
// second time UIDL takes every message from the cache): the rows, the
// messages forwarded and the history file come out as the plain check makes
// them.
TEST_F(CheckCycleEndToEnd, EveryProtocolSettingGivesTheSameRowsForwardsAndHistory) {
  struct Setting {
    const char* name;
    bool pipelining;
    bool uidl;
  } settings_table[] = {
      {"plain", false, false},
      {"pipelining", true, false},
      {"uidl", false, true},
      {"both", true, true},
  };
  struct Outcome {
    std::vector<std::string> rows[2];
    std::string history[2];
    std::size_t forwarded = 0;
    bool cache_written = false;
    std::string tops[2];  // TOP commands of each check, as the server counted them
  };
  std::size_t sessions = 0;
  auto row_text = [](const ResultListRow& row) {
    std::string text = std::to_string(row.state_picture) + "|" + std::to_string(row.small_picture);
    for (const std::string& column : row.columns) text += "|" + Hex(column);
    if (row.record.has_value()) {
      const MailEntry& m = row.record->mail;
      text += "|" + std::to_string(row.record->number) + "|" + Hex(m.from) + "|" + Hex(m.subject) +
              "|" + Hex(m.cc) + "|" + Hex(m.to) + "|" + Hex(m.body) + "|" + Hex(m.message_id) +
              "|" + std::to_string(m.size) + "|" + std::to_string(m.forwarded) + "|" + Hex(m.state);
    }
    return text;
  };
  const HostList initial = hosts;
  std::vector<Outcome> outcomes;
  for (const Setting& setting : settings_table) {
    // A data folder of its own for each setting.
    const std::string folder = (scratch.path() / setting.name).string();
    std::filesystem::create_directory(folder);
    SetDataDirectory(folder);
    hosts = initial;
    for (HostEntry& host : hosts) {
      host.extras.SetOption(kExtraNoPipelining, !setting.pipelining);
      host.extras.SetOption(kExtraNoUidl, !setting.uidl);
    }
    const std::size_t mails_before = smtp.Mails().size();
    Outcome out;
    CheckCycle cycle(&hosts, &settings, &flags, &shell);
    for (int round = 0; round < 2; ++round) {
      cycle.RunCheck();
      for (const ResultListRow& row : shell.list.rows()) out.rows[round].push_back(row_text(row));
      out.history[round] = testing::ReadFileBytes(folder + "/tarnu.hist.pref");
      const std::vector<std::string> ended = dovecot.WaitForSessions(++sessions);
      ASSERT_EQ(ended.size(), sessions);
      const std::size_t top = ended.back().find("top=");
      ASSERT_NE(top, std::string::npos) << ended.back();
      out.tops[round] = ended.back().substr(top, ended.back().find('/', top) - top);
    }
    out.forwarded = smtp.Mails().size() - mails_before;
    out.cache_written = testing::FileExists(folder + "/tarnu.uidl");
    outcomes.push_back(out);
  }
  SetDataDirectory("");
  ASSERT_EQ(outcomes[0].rows[0].size(), 7u);
  EXPECT_EQ(outcomes[0].forwarded, 2u);
  for (std::size_t i = 0; i < outcomes.size(); ++i) {
    const char* name = settings_table[i].name;
    EXPECT_EQ(outcomes[i].cache_written, settings_table[i].uidl) << name;
    EXPECT_EQ(outcomes[i].forwarded, outcomes[0].forwarded) << name;
    // With the cache warm not one message is fetched again.
    EXPECT_EQ(outcomes[i].tops[0], "top=6") << name;
    EXPECT_EQ(outcomes[i].tops[1], settings_table[i].uidl ? "top=0" : "top=6") << name;
    for (int round = 0; round < 2; ++round) {
      EXPECT_EQ(outcomes[i].rows[round], outcomes[0].rows[round]) << name << " round " << round;
      EXPECT_EQ(outcomes[i].history[round], outcomes[0].history[round])
          << name << " round " << round;
    }
  }
}

}  // namespace
}  // namespace tarnu
