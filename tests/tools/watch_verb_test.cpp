// tarnu-cli watch as a separate process against a real Dovecot, with a fake
// desktop notification service on a private D-Bus session
// (tests/support/fake_notifications.py under dbus-run-session).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/command_oracle.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/shell.h"
#include "tests/tools/cli_process.h"

namespace tarnu {
namespace {

using testing::Cli;
using testing::CliProcess;
using testing::CliRun;
using testing::CliSetup;
using testing::FileExists;
using testing::Hex;
using testing::ReadFileBytes;
using testing::ShellQuote;

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& done, int seconds) {
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (Clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return lines;
}

// A loopback port that accepts connections and never answers (`listen`), or
// that refuses them.
class LoopbackPort {
 public:
  explicit LoopbackPort(bool listen) : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    if (listen) ::listen(socket_, 4);
    socklen_t length = sizeof address;
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = std::to_string(ntohs(address.sin_port));
  }
  ~LoopbackPort() { ::close(socket_); }
  const std::string& port() const { return port_; }

 private:
  int socket_;
  std::string port_;
};

// watch inside a private session bus whose notification service logs every
// notification to "notices" and the watch's process id to "watch.pid".
CliSetup WithNotifications() {
  CliSetup setup;
  setup.wrapper = {"dbus-run-session",
                   "--",
                   "/usr/bin/python3",
                   testing::SupportDir() + "/fake_notifications.py",
                   "notices",
                   "watch.pid",
                   "--"};
  return setup;
}

pid_t WatchPid() {
  pid_t pid = 0;
  WaitFor([&] { return FileExists("watch.pid"); }, 20);
  std::ifstream("watch.pid") >> pid;
  return pid;
}

class WatchVerb : public ::testing::Test {
 protected:
  void Deliver(const std::string& user, const std::string& name, const std::string& message) {
    const std::string tmp = dovecot_.Maildir(user) + "/tmp/" + name;
    std::ofstream(tmp, std::ios::binary) << message;
    std::rename(tmp.c_str(), (dovecot_.Maildir(user) + "/new/" + name).c_str());
    int status = 0;
    testing::RunCommand(
        ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " + ShellQuote(dovecot_.dir()),
        &status);
    ASSERT_EQ(status, 0);
  }

  testing::DovecotServer dovecot_;
};

TEST_F(WatchVerb, EachCheckWithNewMailRaisesOneNotification) {
  ASSERT_TRUE(dovecot_.Start({{"alice", "secret", ""}, {"bob", "secret", ""}})) << dovecot_.error();
  Deliver("alice", "1700000001.M1P1.watch",
          "From: a@example.jp\nSubject: first & <one>\nMessage-ID: <w1@example.jp>\n\nbody\n");
  Deliver("alice", "1700000002.M2P1.watch",
          "From: b@example.jp\nSubject: =?ISO-2022-JP?B?GyRCRnxLXDhsGyhC?=\n"
          "Message-ID: <w2@example.jp>\n\nbody\n");
  testing::ScratchDir scratch;
  ASSERT_EQ(Cli({"host", "add", "--name", "main", "--server", "127.0.0.1", "--port",
                 std::to_string(dovecot_.port()), "--user", "alice", "--password", "secret"})
                .status,
            0);

  // The first check runs at once and finds both messages new.
  CliProcess watch({"watch"}, WithNotifications());
  pid_t pid = WatchPid();
  ASSERT_GT(pid, 0) << watch.ErrorSoFar();
  ASSERT_TRUE(
      WaitFor([&] { return watch.OutputSoFar().find("new: 2\n") != std::string::npos; }, 30))
      << watch.ErrorSoFar();
  // A host added meanwhile is taken before the next check (SIGUSR1: now);
  // the first host's history stays, so only the new host's mail is new.
  ASSERT_EQ(Cli({"host", "add", "--name", "second", "--server", "127.0.0.1", "--port",
                 std::to_string(dovecot_.port()), "--user", "bob", "--password", "secret"})
                .status,
            0);
  Deliver("bob", "1700000003.M3P1.watch",
          "From: c@example.jp\nSubject: third\nMessage-ID: <w3@example.jp>\n\nbody\n");
  ASSERT_EQ(::kill(pid, SIGUSR1), 0);
  ASSERT_TRUE(
      WaitFor([&] { return watch.OutputSoFar().find("new: 1\n") != std::string::npos; }, 30))
      << watch.ErrorSoFar();
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  CliRun run = watch.Wait(30);
  EXPECT_EQ(run.status, 0) << run.err;
  std::vector<std::string> rows = Lines(run.out);
  ASSERT_EQ(rows.size(), 5u) << run.out;
  EXPECT_EQ(rows[0].rfind("1\t0\tmain\tfirst & <one>\ta@example.jp\t", 0), 0u) << rows[0];
  EXPECT_EQ(rows[1].rfind(u8"4\t0\t\t日本語\tb@example.jp\t", 0), 0u) << rows[1];
  EXPECT_EQ(rows[2], "new: 2");
  EXPECT_EQ(rows[3].rfind("1\t0\tsecond\tthird\tc@example.jp\t", 0), 0u) << rows[3];
  EXPECT_EQ(rows[4], "new: 1");
  std::vector<std::string> notices = Lines(ReadFileBytes("notices"));
  ASSERT_EQ(notices.size(), 2u) << ReadFileBytes("notices");
  EXPECT_EQ(notices[0],
            u8R"({"app": "tarnu", "icon": "mail-unread", "summary": "tarnu: new mail: 2", )"
            u8R"("body": "a@example.jp: first &amp; &lt;one&gt;\nb@example.jp: 日本語", )"
            u8R"("category": "email.arrived"})");
  EXPECT_NE(notices[1].find(R"("summary": "tarnu: new mail: 1", "body": "c@example.jp: third")"),
            std::string::npos);

  // Watching again: the history knows both, so nothing is new and nothing
  // is notified; a stop while it sleeps ends it at once.
  std::remove("watch.pid");
  CliProcess again({"watch", "--interval", "60"}, WithNotifications());
  pid = WatchPid();
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(WaitFor([] { return FileExists("tarnu.hist.pref"); }, 30));
  std::this_thread::sleep_for(std::chrono::seconds(2));  // the check ends, the sleep begins
  const auto stop = Clock::now();
  ASSERT_EQ(::kill(pid, SIGINT), 0);
  run = again.Wait(30);
  EXPECT_LT(Clock::now() - stop, std::chrono::seconds(10));  // not the 60 minutes
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(Lines(ReadFileBytes("notices")).size(), 2u);
}

// A stop during a check waits for the check to end and its history to be
// saved; the failing host is reported on standard error.
TEST(WatchVerbStop, AStopDuringACheckLetsItFinish) {
  // A POP3 host that accepts the connection and never greets.
  LoopbackPort silent(true);
  testing::ScratchDir scratch;
  ASSERT_EQ(Cli({"host", "add", "--name", "silent", "--server", "127.0.0.1", "--port",
                 silent.port(), "--user", "u", "--password", "p", "--timeout", "3"})
                .status,
            0);

  CliProcess watch({"watch", "--no-notify"});
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  const auto stop = Clock::now();
  ASSERT_EQ(::kill(watch.pid(), SIGTERM), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_FALSE(FileExists("tarnu.hist.pref"));  // the check still waits
  CliRun run = watch.Wait(30);
  EXPECT_GT(Clock::now() - stop, std::chrono::seconds(1));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.signal, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("stopping (a check in progress is finished first)\n"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("silent: failed: "), std::string::npos) << run.err;
  EXPECT_TRUE(FileExists("tarnu.hist.pref"));
  EXPECT_FALSE(FileExists("tarnu.hist.pref.tmp"));
}

// A failing host's line, in either output encoding, in either language:
// the text is converted once, from what tarnu holds to what is printed.
TEST(WatchVerbStop, FailureLinesInEveryEncoding) {
  // A port nothing listens on: the connection is refused at once.
  LoopbackPort closed(false);
  testing::ScratchDir scratch;
  ASSERT_EQ(Cli({"host", "add", "--name", u8"誤り", "--server", "127.0.0.1", "--port",
                 closed.port(), "--user", "u", "--password", "p"})
                .status,
            0);
  struct Case {
    const char* encoding;
    const char* locale;
    std::string watch_line;  // UTF-8; converted with iconv for cp932
    std::string progress;    // the end of check's progress line
  };
  for (const Case& c : std::vector<Case>{
           {"utf-8", "C", u8"誤り: failed: 接続時エラー 111 (接続を拒否されました)\n",
            u8"[1/1] 誤り: 接続時エラー 111 (接続を拒否されました)"},
           {"cp932", "C", u8"誤り: failed: 接続時エラー 111 (接続を拒否されました)\n",
            u8"[1/1] 誤り: 接続時エラー 111 (接続を拒否されました)"},
           {"cp932", "ja_JP.UTF-8", u8"誤り: 失敗: 接続時エラー 111 (接続を拒否されました)\n",
            u8"[1/1] 誤り: 接続時エラー 111 (接続を拒否されました)"},
       }) {
    SCOPED_TRACE(std::string(c.encoding) + " " + c.locale);
    auto printed = [&](const std::string& utf8) {
      std::string bytes = utf8;
      if (std::string(c.encoding) == "cp932") {
        EXPECT_TRUE(testing::PipeThrough("iconv -f UTF-8 -t CP932", utf8, &bytes));
      }
      return bytes;
    };
    CliSetup setup;
    setup.env["LC_ALL"] = c.locale;
    CliProcess watch({"watch", "--no-notify", "--encoding", c.encoding}, setup);
    ASSERT_TRUE(WaitFor([&] { return watch.ErrorSoFar().find('\n') != std::string::npos; }, 30));
    ::kill(watch.pid(), SIGTERM);
    CliRun run = watch.Wait(30);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(Hex(run.err.substr(0, run.err.find('\n') + 1)), Hex(printed(c.watch_line)));
    // check on a terminal ends its progress line with the same outcome.
    setup.error_on_terminal = true;
    run = Cli({"check", "--encoding", c.encoding}, setup);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(printed(c.progress) + "\033[K\r\n"), std::string::npos) << Hex(run.err);
  }
}

}  // namespace
}  // namespace tarnu
