// The survey and retrieve verbs of tarnu-cli, run as a separate process
// against a real Dovecot. Expected texts are UTF-8 (u8 literals), as the
// verbs print them by default.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/dovecot_server.h"
#include "tests/support/scripted_peer.h"
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
      u8"2\t410\tSuzuki <suzuki@example.jp>\t日本語の\\r\\n 件名\t<euc-2@example.jp>\t"
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
