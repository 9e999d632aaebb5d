// What tarnu-cli lets reach the terminal, and where it takes a password
// from: control characters from mail and servers are written as "\xNN";
// the password can stay out of the process list.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/dovecot_server.h"
#include "tests/support/fault_proxy.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/shell.h"
#include "tests/tools/cli_process.h"

namespace tarnu {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::CliSetup;
using testing::Escape;

// ESC, BEL, BS and DEL raw in the header and the body, and ESC inside an
// encoded word ("=?UTF-8?B?...?=" of ESC "[2J" "clear").
const std::string kHostileMessage =
    "Message-ID: <hostile@example.jp>\n"
    "From: evil\x1b]0;owned\x07 <e@example.jp>\n"
    "Subject: =?UTF-8?B?G1sySmNsZWFy?= and\x08\x7f\n"
    "\n"
    "body\x1b[31m red\n";

// No byte the terminal would take as a command: only tab and line feed
// among the controls.
bool HasRawControls(const std::string& text) {
  for (unsigned char c : text) {
    if ((c < 0x20 && c != '\t' && c != '\n') || c == 0x7F) return true;
  }
  return false;
}

class TerminalSafety : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new testing::DovecotServer;
    ASSERT_TRUE(server_->Start({{"alice", "secret", ""}})) << server_->error();
    const std::string name = "1700000001.M1P1.hostile";
    const std::string tmp = server_->Maildir("alice") + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << kHostileMessage;
    std::rename(tmp.c_str(), (server_->Maildir("alice") + "/new/" + name).c_str());
    int status = 0;
    testing::RunCommand(testing::ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " +
                            testing::ShellQuote(server_->dir()),
                        &status);
    ASSERT_EQ(0, status);
  }
  static void TearDownTestSuite() { delete server_; }

  static std::vector<std::string> Survey(int port, std::vector<std::string> password) {
    std::vector<std::string> args = {"survey", "--server",           "127.0.0.1",
                                     "--port", std::to_string(port), "--user",
                                     "alice",  "--timeout",          "3"};
    args.insert(args.end(), password.begin(), password.end());
    return args;
  }

  static testing::DovecotServer* server_;
};
testing::DovecotServer* TerminalSafety::server_ = nullptr;

TEST_F(TerminalSafety, ControlCharactersFromMailAreWrittenAsEscapes) {
  CliRun run = Cli(Survey(server_->port(), {"--password", "secret"}));
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_FALSE(HasRawControls(run.out)) << Escape(run.out);
  // Field by field: the survey's line for the message.
  const std::string line = run.out.substr(run.out.find("\n1\t") + 1);
  EXPECT_NE(std::string::npos, line.find("evil\\x1B]0;owned\\x07 <e@example.jp>")) << line;
  EXPECT_NE(std::string::npos, line.find("\\x1B[2Jclear and\\x08\\x7F")) << line;
  EXPECT_NE(std::string::npos, line.find("body\\x1B[31m red\\r\\n")) << line;

  // The whole message keeps its line ends and loses nothing but the
  // controls' power.
  run = Cli({"retrieve", "--server", "127.0.0.1", "--port", std::to_string(server_->port()),
             "--user", "alice", "--password", "secret", "--number", "1"});
  ASSERT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("body\\x1B[31m red\r\n")) << Escape(run.out);
  for (unsigned char c : run.out) {
    EXPECT_FALSE((c < 0x20 && c != '\t' && c != '\r' && c != '\n') || c == 0x7F) << int{c};
  }
}

TEST_F(TerminalSafety, ControlCharactersInAServerReplyAreWrittenAsEscapes) {
  testing::FaultProxy::Plan plan;
  plan.fault = testing::FaultProxy::Fault::kInject;
  plan.bytes = "-ERR \x1b[2J\x1b]2;gotcha\x07\r\n";
  testing::FaultProxy proxy(server_->port(), plan);
  ASSERT_TRUE(proxy.Start());
  CliRun run = Cli(Survey(proxy.port(), {"--password", "secret"}));
  EXPECT_EQ(1, run.status);
  EXPECT_FALSE(HasRawControls(run.out)) << Escape(run.out);
  EXPECT_FALSE(HasRawControls(run.err)) << Escape(run.err);
  EXPECT_NE(std::string::npos, run.out.find("-ERR \\x1B[2J\\x1B]2;gotcha\\x07\\r\\n")) << run.out;
}

TEST_F(TerminalSafety, PasswordFromStandardInput) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::string input;
    int status;
    const char* in_error;  // part of standard error
  } cases[] = {
      {"the first line", {"--password-stdin"}, "secret\nsomething else\n", 0, ""},
      {"a CR LF line end", {"--password-stdin"}, "secret\r\n", 0, ""},
      {"no line end", {"--password-stdin"}, "secret", 0, ""},
      {"a wrong one", {"--password-stdin"}, "wrong\n", 1, ""},
      {"nothing to read", {"--password-stdin"}, "", 1, "nothing to read"},
      {"both ways at once",
       {"--password", "secret", "--password-stdin"},
       "secret\n",
       2,
       "do not go together"},
      {"neither, and no terminal to ask on", {}, "secret\n", 2, "--password"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CliSetup setup;
    setup.input = c.input;
    CliRun run = Cli(Survey(server_->port(), c.options), setup);
    EXPECT_EQ(c.status, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find(c.in_error)) << run.err;
    if (c.status == 0) {
      EXPECT_EQ(0u, run.out.find("count: 1\n")) << run.out;
    }
  }
}

// What a terminal shows while tarnu-cli runs on it with `args`, answering
// "secret" to the password question; `status` gets the wait status.
std::string RunOnTerminal(const std::vector<std::string>& args, bool* answered, int* status) {
  const char* cli = std::getenv("TARNU_CLI");
  *answered = false;
  *status = -1;
  if (cli == nullptr) return "TARNU_CLI is not set";
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) return "no pseudo-terminal";
  if (child == 0) {
    setenv("LC_ALL", "C", 1);
    std::vector<char*> argv = {const_cast<char*>(cli)};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(cli, argv.data());
    _exit(127);
  }
  // Everything the terminal shows, until the program ends.
  std::string shown;
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < give_up) {
    pollfd p = {terminal, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buffer[4096];
      ssize_t n = read(terminal, buffer, sizeof buffer);
      if (n <= 0) break;
      shown.append(buffer, static_cast<std::size_t>(n));
    }
    if (!*answered && shown.find("Password: ") != std::string::npos) {
      if (write(terminal, "secret\n", 7) != 7) break;
      *answered = true;
    }
  }
  if (waitpid(child, status, WNOHANG) != child) {
    kill(child, SIGKILL);  // it never ended: the test fails
    waitpid(child, status, 0);
  }
  close(terminal);
  return shown;
}

// Without --password on a terminal, the password is asked for and what is
// typed is not shown; the answer is the one used (survey) or stored (host
// add, then a check logs in with it).
TEST_F(TerminalSafety, PasswordIsAskedForOnATerminalWithoutEcho) {
  const std::string port = std::to_string(server_->port());
  struct Case {
    std::vector<std::string> args;
    std::string shown;  // a part of what the terminal shows
  };
  const std::vector<Case> cases = {
      {Survey(server_->port(), {}), "count: 1"},
      {{"host", "add", "--name", "n", "--server", "127.0.0.1", "--port", port, "--user", "alice"},
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    testing::ScratchDir scratch;
    bool answered = false;
    int status = 0;
    const std::string shown = RunOnTerminal(c.args, &answered, &status);
    EXPECT_TRUE(answered) << Escape(shown);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << Escape(shown);
    EXPECT_NE(std::string::npos, shown.find(c.shown)) << Escape(shown);
    EXPECT_EQ(std::string::npos, shown.find("secret")) << Escape(shown);
    if (c.args[0] == "host") {
      // The stored password is the answer: the check logs in with it.
      CliRun check = Cli({"check"});
      EXPECT_EQ(0, check.status) << check.err;
      EXPECT_NE(std::string::npos, check.out.find("new: 1\n")) << check.out;
    }
  }
}

}  // namespace
}  // namespace tarnu
