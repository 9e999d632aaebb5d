// tarnu-cli check as a separate process: a tarnu.pref made with
// "tarnu-cli host add", a real Dovecot and a real SMTP server.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/command_oracle.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/shell.h"
#include "tests/support/smtp_server.h"
#include "tests/tools/cli_process.h"

namespace tarnu {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::FileExists;
using testing::ShellQuote;

// Messages as a delivery agent leaves them (LF line ends); Dovecot's LIST
// counts each LF as CR LF.
const std::vector<std::string> kMessages = {
    "From: a@example.jp\nSubject: first\nMessage-ID: <c1@example.jp>\n\n"
    "line one\nline two\nline three\n",
    "From: b@example.jp\nSubject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\n"
    "Message-ID: <c2@example.jp>\n\nshort\n",
};

std::string ListSize(const std::string& message) {
  std::size_t lf = 0;
  for (char c : message) lf += c == '\n';
  return std::to_string(message.size() + lf);
}

TEST(CheckVerb, RunsTheCycleOverTheFilesInTheCurrentDirectory) {
  testing::DovecotServer dovecot;
  ASSERT_TRUE(dovecot.Start({{"alice", "secret", ""}, {"bob", "secret", ""}})) << dovecot.error();
  for (std::size_t i = 0; i < kMessages.size(); ++i) {
    const std::string name = std::to_string(1700000001 + i) + ".M" + std::to_string(i) + "P1.cli";
    const std::string tmp = dovecot.Maildir("alice") + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << kMessages[i];
    std::rename(tmp.c_str(), (dovecot.Maildir("alice") + "/new/" + name).c_str());
  }
  int status = 0;
  testing::RunCommand(
      ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " + ShellQuote(dovecot.dir()),
      &status);
  ASSERT_EQ(status, 0);
  testing::SmtpServer smtp;
  std::string error;
  ASSERT_TRUE(smtp.Start(&error)) << error;
  testing::ScratchDir scratch;

  const std::string port = std::to_string(dovecot.port());
  CliRun add =
      Cli({"host", "add", "--name", u8"メイン", "--server", "127.0.0.1", "--port", port, "--user",
           "alice", "--password", "secret", "--forward", "--notify", "n@example.com", "--smtp",
           "127.0.0.1", "--smtp-port", std::to_string(smtp.port())});
  ASSERT_EQ(add.status, 0) << add.err;
  add = Cli({"host", "add", "--name", u8"誤り", "--server", "localhost", "--port", port, "--user",
             "bob", "--password", "wrong", "--timeout", "10"});
  ASSERT_EQ(add.status, 0) << add.err;
  add = Cli({"host", "add", "--name", u8"停止中", "--server", "127.0.0.2", "--user", "x",
             "--password", "y", "--no-check"});
  ASSERT_EQ(add.status, 0) << add.err;

  // The host with the wrong password fails: its row is printed, the exit
  // code says so, and standard error (not a terminal) carries no progress.
  CliRun run = Cli({"check"});
  ASSERT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.err, "");
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < run.out.size();) {
    const std::size_t end = run.out.find('\n', at);
    lines.push_back(run.out.substr(at, end - at));
    at = end == std::string::npos ? run.out.size() : end + 1;
  }
  ASSERT_EQ(lines.size(), 4u) << run.out;
  const std::string failed_row = u8"2\t9\t誤り\t\t\t\t\t";
  EXPECT_EQ(lines[0].substr(0, failed_row.size()), failed_row);
  EXPECT_GT(lines[0].size(), failed_row.size());
  EXPECT_EQ(lines[1], u8"1\t2\tメイン\tfirst\ta@example.jp\t" + ListSize(kMessages[0]) +
                          u8"\tline oneline two\t転送済");
  EXPECT_EQ(lines[2],
            u8"4\t2\t\t日本語\tb@example.jp\t" + ListSize(kMessages[1]) + u8"\tshort\t転送済");
  EXPECT_EQ(lines[3], "new: 2");
  EXPECT_EQ(smtp.Mails().size(), 2u);
  EXPECT_TRUE(FileExists("tarnu.hist.pref"));

  // On a terminal, standard error shows each host's progress and outcome.
  testing::CliSetup terminal;
  terminal.error_on_terminal = true;
  CliRun shown = Cli({"check"}, terminal);
  EXPECT_EQ(shown.status, 1);
  EXPECT_NE(shown.err.find(u8"[1/2] メイン: 2 messages"), std::string::npos) << shown.err;
  EXPECT_NE(shown.err.find(u8"[2/2] 誤り: メールサーバがパスワードを受理しません"),
            std::string::npos)
      << shown.err;
  // The progress is what the survey adds to the window's title, not the
  // title itself, and the terminal is left on a new line.
  EXPECT_NE(shown.err.find(u8"\r[1/2] メイン (127.0.0.1:" + port + u8"へ接続中...)\033[K"),
            std::string::npos)
      << shown.err;
  EXPECT_EQ(shown.err.find(u8"問い合わせ結果一覧"), std::string::npos) << shown.err;
  EXPECT_EQ(shown.err.substr(shown.err.size() - 2), "\r\n") << shown.err;

  // The raw code page 932 output is the UTF-8 output converted.
  CliRun again = Cli({"check", "--encoding", "cp932"});
  ASSERT_EQ(again.status, 1) << again.err;
  std::string expected;
  ASSERT_TRUE(testing::PipeThrough("iconv -f UTF-8 -t CP932",
                                   lines[0] + "\n" + u8"1\t1\tメイン\tfirst\ta@example.jp\t" +
                                       ListSize(kMessages[0]) + "\tline oneline two\t\n" +
                                       u8"4\t1\t\t日本語\tb@example.jp\t" + ListSize(kMessages[1]) +
                                       "\tshort\t\nnew: 0\n",
                                   &expected));
  EXPECT_EQ(again.out, expected);
  EXPECT_EQ(smtp.Mails().size(), 2u);  // nothing forwarded the second time
}

TEST(CheckVerb, UsageErrors) {
  testing::ScratchDir scratch;
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"check", "extra"},
                                             {"check", "--encoding", "latin1"},
                                             {"check", "--encoding"},
                                             {"check", "--verbose"}}) {
    CliRun run = Cli(args);
    EXPECT_EQ(run.status, 2) << args.back();
    EXPECT_NE(run.err.find("usage"), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_FALSE(FileExists("tarnu.hist.pref"));
}

// A check that could not read what it keeps says so and fails, so that a
// cron job notices: no tarnu.pref, a damaged one, a history it cannot read
// (all its mail would be new again). A history left unread on purpose is no
// failure.
TEST(CheckVerb, FilesThatCannotBeReadFailTheCheck) {
  struct Case {
    const char* what;
    std::vector<std::string> settings;  // "settings set" options; none: no tarnu.pref
    std::string pref;                   // written over tarnu.pref when not empty
    std::string history;                // written as tarnu.hist.pref when not empty
    int status;
    std::string out;
    std::string err;  // a part of standard error
  };
  const std::vector<Case> cases = {
      {"no tarnu.pref", {}, "", "", 1, "", "no settings file tarnu.pref"},
      {"no host, no history", {"--interval", "5"}, "", "", 0, "new: 0\n", "no host"},
      {"a damaged tarnu.pref",
       {"--interval", "5"},
       "garbage",
       "",
       1,
       "new: 0\n",
       u8"データファイルが破損しています\n"},
      {"a history of another version",
       {"--interval", "5"},
       "",
       std::string(72, '\0'),
       1,
       "new: 0\n",
       u8"履歴ファイルのバージョンが違います\n"},
      {"such a history left unread",
       {"--no-history-at-start", "1"},
       "",
       std::string(72, '\0'),
       0,
       "new: 0\n",
       "no host"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScratchDir scratch;
    if (!c.settings.empty()) {
      std::vector<std::string> set = {"settings", "set"};
      set.insert(set.end(), c.settings.begin(), c.settings.end());
      ASSERT_EQ(Cli(set).status, 0);
    }
    if (!c.pref.empty()) testing::WriteFileBytes("tarnu.pref", c.pref);
    if (!c.history.empty()) testing::WriteFileBytes("tarnu.hist.pref", c.history);
    CliRun run = Cli({"check"});
    EXPECT_EQ(run.status, c.status) << run.err;
    EXPECT_EQ(run.out, c.out);
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    if (c.settings.empty()) {
      EXPECT_FALSE(FileExists("tarnu.hist.pref"));
    }
  }
}

}  // namespace
}  // namespace tarnu
