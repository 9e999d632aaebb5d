// The survey and retrieve verbs of tarnu-cli, run as a separate process
// against a real Dovecot. Expected texts are UTF-8 (u8 literals), as the
// verbs print them by default.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <cstdio>
#include <fstream>

#include "tests/support/command_oracle.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/shell.h"
#include "tests/tools/cli_process.h"

namespace tarnu {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::DovecotServer;
using testing::Escape;

class NetVerbs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new DovecotServer;
    ASSERT_TRUE(server_->Start({{"alice", "secret", "fixtures"}})) << server_->error();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(server_->port(), 0); }

  std::vector<std::string> Account(const char* password = "secret") {
    return {"--server", "127.0.0.1", "--port",     std::to_string(server_->port()),
            "--user",   "alice",     "--password", password};
  }
  std::vector<std::string> With(const char* verb, std::vector<std::string> extra,
                                const char* password = "secret") {
    std::vector<std::string> args = {verb};
    for (const std::string& a : Account(password)) args.push_back(a);
    for (const std::string& a : extra) args.push_back(a);
    return args;
  }

  static DovecotServer* server_;
};
DovecotServer* NetVerbs::server_ = nullptr;

TEST_F(NetVerbs, SurveyPrintsCountSizeAndOneLinePerMessage) {
  CliRun run = Cli(With("survey", {"--lines", "2"}));
  EXPECT_EQ(run.status, 0) << run.err;
  std::string subject4 = "L";
  for (int i = 0; i < 110; ++i) subject4 += "0123456789";
  subject4.resize(1020);
  std::string expected = std::string(
      u8"count: 5\n"
      u8"size: 2540\n"
      u8"1\t449\t佐藤 <sato@example.jp>\tテスト 1\t<jis-1@example.jp>\t"
      u8"これはテストです。\\r\\n二行目です。\\r\\n\n"
      u8"2\t410\tSuzuki <suzuki@example.jp>\t日本語の件名\t<euc-2@example.jp>\t"
      u8"EUC-JPの本文です。\\r\\n二行目。\\r\\n\n"
      u8"3\t258\tDot Person <dots@example.org>\tRe: from: nobody\t\t"
      u8".starts with a dot\\r\\n..two dots\\r\\n\n"
      u8"4\t1253\tlong@example.net\t");
  expected += subject4 + "\t<long-4@example.net>\tshort body\\r\\n\n";
  expected += std::string(
      u8"5\t170\tsjis@example.jp\tplain\t<sjis-5@example.jp>\t"
      u8"シフトJISの本文\\r\\nline 2\\r\\n\n");
  EXPECT_EQ(Escape(run.out), Escape(expected));
  // Progress goes to standard error, one title a line.
  std::string port = std::to_string(server_->port());
  EXPECT_NE(run.err.find(std::string(u8"(127.0.0.1:") + port + u8"へ接続中...)\n"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(std::string(u8"(認証中...)\n")), std::string::npos);
  EXPECT_NE(run.err.find(std::string(u8"(受信中...)[5/5]\n")), std::string::npos);
}

TEST_F(NetVerbs, SurveyWithApopInRawCodePage932) {
  CliRun run = Cli(With("survey", {"--apop", "--lines", "0", "--encoding", "cp932"}));
  EXPECT_EQ(run.status, 0) << run.err;
  // Message 1's subject "テスト 1" in Shift_JIS bytes, body empty.
  EXPECT_NE(run.out.find("1\t449\t\x8d\xb2\x93\xa1 <sato@example.jp>\t\x83\x65\x83\x58\x83\x67 1\t"
                         "<jis-1@example.jp>\t\n"),
            std::string::npos)
      << Escape(run.out);
}

TEST_F(NetVerbs, SurveyFailurePrintsTheErrorAndExitsOne) {
  CliRun run = Cli(With("survey", {}, "wrong"));
  EXPECT_EQ(run.status, 1);
  const std::string error =
      u8"メールサーバがパスワードを受理しません\\r\\n-ERR [AUTH] Authentication failed.\\r\\n";
  EXPECT_EQ(run.out, "count: 0\nsize: 0\nerror: " + error + "\n");
  // The person at the terminal sees it where errors go.
  EXPECT_NE(run.err.find("tarnu-cli: " + error + "\n"), std::string::npos) << run.err;
}

TEST_F(NetVerbs, RetrievePrintsHeaderEmptyLineAndBody) {
  CliRun run = Cli(With("retrieve", {"--number", "3", "--size", "258"}));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, 31), "Reply-To: replies@example.org\r\n");
  const std::string tail =
      "From: Dot Person <dots@example.org>\r\n"
      "Date: Mon, 01 Jan 2024 11:00:00 +0900\r\n"
      "\r\n"
      ".starts with a dot\r\n..two dots\r\na..\r\n.\r\nlast line\r\n";
  ASSERT_GE(run.out.size(), tail.size());
  EXPECT_EQ(Escape(run.out.substr(run.out.size() - tail.size())), Escape(tail));
  EXPECT_NE(run.err.find(std::string(u8"(受信中...)[264/258]")), std::string::npos) << run.err;
}

TEST_F(NetVerbs, RetrieveOfAMissingMessageFails) {
  CliRun run = Cli(With("retrieve", {"--number", "42"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, std::string(u8"error: このメールサーバは本アプリの要求にこたえる能力がありま"
                                 u8"せん。またはメールサーバの状態が不安定です\\r\\n-ERR There's "
                                 u8"no message 42.\\r\\n\n"));
}

// Mail text beyond code page 932: UTF-8 as it stands by default, the geta
// mark for each such character with --encoding cp932 (the rest as iconv
// converts it).
TEST(NetVerbsMailText, CharactersBeyondCodePage932InEachEncoding) {
  testing::DovecotServer dovecot;
  ASSERT_TRUE(dovecot.Start({{"alice", "secret", ""}})) << dovecot.error();
  const std::string name = "1700000001.M1P1.cli";
  const std::string tmp = dovecot.Maildir("alice") + "/tmp/" + name;
  // A multipart message: base64 UTF-8 subject and body with an emoji and
  // Korean, an HTML alternative after the text.
  std::ofstream(tmp, std::ios::binary)
      << "From: =?UTF-8?B?5bGx55SwIPCfjLg=?= <y@example.jp>\n"
         "Subject: =?utf-8?q?caf=C3=A9_=E2=98=95_=F0=9F=98=80?=\n"
         "Message-ID: <u1@example.jp>\nMIME-Version: 1.0\n"
         "Content-Type: multipart/alternative; boundary=\"b1\"\n\n"
         "--b1\nContent-Type: text/plain; charset=UTF-8\n"
         "Content-Transfer-Encoding: base64\n\n"
         "7ZWc6rWt7Ja0IPCfmIAg44GT44KT44Gr44Gh44GvCg==\n"
         "--b1\nContent-Type: text/html; charset=UTF-8\n\n<p>x</p>\n--b1--\n";
  std::rename(tmp.c_str(), (dovecot.Maildir("alice") + "/new/" + name).c_str());
  int status = 0;
  testing::RunCommand(testing::ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " +
                          testing::ShellQuote(dovecot.dir()),
                      &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> account = {
      "--server", "127.0.0.1", "--port",     std::to_string(dovecot.port()),
      "--user",   "alice",     "--password", "secret"};
  // UTF-8 in, what each encoding prints out: iconv for what code page 932
  // holds, 0x81 0xAC (the geta mark) for the rest.
  auto cp932 = [](const std::string& utf8) {
    std::string out;
    std::string piece;
    for (std::size_t i = 0; i < utf8.size();) {
      const unsigned char lead = static_cast<unsigned char>(utf8[i]);
      const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      std::string one = utf8.substr(i, length);
      std::string converted;
      if (testing::PipeThrough("iconv -f UTF-8 -t CP932 2>/dev/null", one, &converted)) {
        out += converted;
      } else {
        out += "\x81\xAC";
      }
      i += length;
    }
    return out;
  };
  const std::string from = u8"山田 🌸 <y@example.jp>";
  const std::string subject = u8"café ☕ 😀";
  const std::string body = u8"한국어 😀 こんにちは\\r\\n";
  struct Case {
    const char* encoding;  // nullptr: the default
    std::string row;
  };
  const std::vector<Case> cases = {
      {nullptr, "1\t" + from + "\t" + subject + "\t<u1@example.jp>\t" + body + "\n"},
      {"cp932",
       "1\t" + cp932(from) + "\t" + cp932(subject) + "\t<u1@example.jp>\t" + cp932(body) + "\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.encoding ? c.encoding : "default");
    std::vector<std::string> args = {"survey"};
    args.insert(args.end(), account.begin(), account.end());
    args.insert(args.end(), {"--lines", "1"});
    if (c.encoding) args.insert(args.end(), {"--encoding", c.encoding});
    CliRun run = Cli(args);
    EXPECT_EQ(run.status, 0) << run.err;
    // The row without its size column.
    const std::size_t start = run.out.find("\n1\t");
    ASSERT_NE(start, std::string::npos) << Escape(run.out);
    std::string row = run.out.substr(start + 1);
    const std::size_t size_end = row.find('\t', 2);
    row.erase(1, size_end - 1);
    EXPECT_EQ(Escape(row), Escape(c.row));

    std::vector<std::string> whole = {"retrieve"};
    whole.insert(whole.end(), account.begin(), account.end());
    whole.insert(whole.end(), {"--number", "1"});
    if (c.encoding) whole.insert(whole.end(), {"--encoding", c.encoding});
    CliRun retrieved = Cli(whole);
    EXPECT_EQ(retrieved.status, 0) << retrieved.err;
    const std::string subject_line = "Subject: " + (c.encoding ? cp932(subject) : subject) + "\r\n";
    EXPECT_NE(retrieved.out.find(subject_line), std::string::npos) << Escape(retrieved.out);
    const std::string text = u8"한국어 😀 こんにちは\r\n";
    EXPECT_NE(retrieved.out.find(c.encoding ? cp932(text) : text), std::string::npos)
        << Escape(retrieved.out);
  }
}

TEST(NetVerbsUsage, MissingOptionsAreUsageErrorsAndBadValuesRefusals) {
  struct Case {
    std::vector<std::string> args;  // after the verb and a full account
    int status;
    std::string err;  // the first line of standard error
  };
  const std::vector<Case> survey_cases = {
      {{"--bogus"}, 2, "tarnu-cli: --bogus: unknown option\n"},
      {{"--port", "x"}, 1, u8"--port: 整数を入力してください。\n"},
      {{"--port", "0"}, 1, u8"--port: 1 から 65535 までの整数を入力してください。\n"},
      {{"--timeout", "0"}, 1, u8"--timeout: 1 から 2147483647 までの整数を入力してください。\n"},
      {{"--lines", "-1"}, 1, u8"--lines: 0 から 2147483647 までの整数を入力してください。\n"},
      {{"--lines"}, 2, "tarnu-cli: --lines needs a value\n"},
  };
  const std::vector<std::string> account = {"--server", "s", "--user", "u", "--password", "p"};
  auto expect = [](const std::vector<std::string>& args, int status, const std::string& err) {
    CliRun run = Cli(args);
    SCOPED_TRACE(args.back());
    EXPECT_EQ(run.status, status);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.substr(0, run.err.find('\n') + 1), err);
  };
  for (const Case& c : survey_cases) {
    std::vector<std::string> args = {"survey"};
    args.insert(args.end(), account.begin(), account.end());
    args.insert(args.end(), c.args.begin(), c.args.end());
    expect(args, c.status, c.err);
  }
  expect({"survey", "--user", "u", "--password", "p"}, 2, "tarnu-cli: --server is required\n");
  std::vector<std::string> retrieve = {"retrieve"};
  retrieve.insert(retrieve.end(), account.begin(), account.end());
  expect(retrieve, 2, "tarnu-cli: --number is required\n");
  retrieve.insert(retrieve.end(), {"--number", "0"});
  expect(retrieve, 1, u8"--number: 1 から 2147483647 までの整数を入力してください。\n");
}

}  // namespace
}  // namespace tarnu
