// Two tarnu-cli processes at once over one data folder, again and again:
// nothing in the files is lost or damaged, and no mail is forwarded twice.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/history_file.h"
#include "platform/text_convert.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/shell.h"
#include "tests/support/smtp_server.h"

namespace tarnu {
namespace {

using testing::ReadFileBytes;
using testing::ShellQuote;

struct CliProcess {
  pid_t pid = -1;
  std::string out_file;
  std::string err_file;
};

// Starts tarnu-cli with `args`, its output going to files of its own.
CliProcess Start(const std::vector<std::string>& args, const std::string& name) {
  CliProcess run;
  run.out_file = name + ".out";
  run.err_file = name + ".err";
  const char* cli = std::getenv("TARNU_CLI");
  if (cli == nullptr) {
    ADD_FAILURE() << "TARNU_CLI is not set";
    return run;
  }
  run.pid = fork();
  if (run.pid == 0) {
    int out = open(run.out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(run.err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(out, 1);
    dup2(err, 2);
    setenv("LC_ALL", "C", 1);  // its own messages in English
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(cli));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(cli, argv.data());
    _exit(127);
  }
  return run;
}

int Wait(const CliProcess& run) {
  int status = 0;
  if (run.pid <= 0 || waitpid(run.pid, &status, 0) != run.pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void Deliver(const testing::DovecotServer& dovecot, int n) {
  const std::string name = std::to_string(1700000000 + n) + ".M" + std::to_string(n) + "P1.c";
  const std::string tmp = dovecot.Maildir("alice") + "/tmp/" + name;
  std::ofstream(tmp, std::ios::binary)
      << "Message-ID: <m" << n << "@example.jp>\nFrom: a@example.jp\nSubject: mail " << n
      << "\n\nbody\n";
  std::rename(tmp.c_str(), (dovecot.Maildir("alice") + "/new/" + name).c_str());
  int status = 0;
  testing::RunCommand(
      ShellQuote(testing::SupportDir() + "/dovecot.sh") + " own " + ShellQuote(dovecot.dir()),
      &status);
  EXPECT_EQ(0, status);
}

TEST(Concurrency, TwoChecksAtOnceForwardEveryMailOnceAndKeepTheHistoryWhole) {
  testing::DovecotServer dovecot;
  ASSERT_TRUE(dovecot.Start({{"alice", "secret", ""}})) << dovecot.error();
  testing::SmtpServer smtp;
  std::string error;
  ASSERT_TRUE(smtp.Start(&error)) << error;
  testing::ScratchDir dir;
  CliProcess add = Start({"host",
                          "add",
                          "--name",
                          "a",
                          "--server",
                          "127.0.0.1",
                          "--port",
                          std::to_string(dovecot.port()),
                          "--user",
                          "alice",
                          "--password",
                          "secret",
                          "--timeout",
                          "5",
                          "--forward",
                          "--notify",
                          "n@example.com",
                          "--smtp",
                          "127.0.0.1",
                          "--smtp-port",
                          std::to_string(smtp.port())},
                         "add");
  ASSERT_EQ(0, Wait(add)) << ReadFileBytes("add.err");
  constexpr int kRounds = 25;
  for (int round = 1; round <= kRounds; ++round) {
    SCOPED_TRACE(round);
    Deliver(dovecot, round);
    CliProcess first = Start({"check"}, "first");
    CliProcess second = Start({"check"}, "second");
    const int a = Wait(first);
    const int b = Wait(second);
    for (const CliProcess* run : {&first, &second}) {
      const std::string err = ReadFileBytes(run->err_file);
      // Either it checked, or it gave way to the other one and said so.
      EXPECT_TRUE(err.empty() || err.find("another check is running") != std::string::npos) << err;
    }
    // At least one checked; the other checked after it or gave way (3).
    EXPECT_TRUE((a == 0 && (b == 0 || b == 3)) || (b == 0 && a == 3)) << a << " " << b;
    // The history loads whole and holds every message delivered so far.
    HostList hosts(1);
    hosts[0].server = "127.0.0.1";
    testing::RecordingMessages messages;
    ASSERT_EQ(0, LoadHistoryFile(&hosts, &messages));
    EXPECT_EQ(std::vector<std::string>{}, messages.shown);
    EXPECT_EQ(static_cast<std::size_t>(round), HistoryKeys(hosts[0].history).size());
    EXPECT_EQ(static_cast<std::size_t>(round), smtp.Mails().size());
  }
}

// A check whose history, or whose list of forwards still owed, cannot be
// saved must not pass for a success: the next check would report the same
// mail as new again, or never retry a forward that failed.
TEST(CheckFiles, CheckFailsWhenItsFilesCannotBeSaved) {
  testing::DovecotServer dovecot;
  ASSERT_TRUE(dovecot.Start({{"alice", "secret", ""}})) << dovecot.error();
  Deliver(dovecot, 1);
  struct Case {
    const char* file;
    const char* message;
  } cases[] = {
      {"tarnu.hist.pref", "履歴ファイルが作成できません"},
      {"tarnu.pending", "転送待ちファイル tarnu.pending が作成できません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    testing::ScratchDir dir;
    CliProcess add = Start({"host", "add", "--name", "a", "--server", "127.0.0.1", "--port",
                            std::to_string(dovecot.port()), "--user", "alice", "--password",
                            "secret", "--timeout", "5"},
                           "add");
    ASSERT_EQ(0, Wait(add)) << ReadFileBytes("add.err");
    CliProcess saved = Start({"check"}, "saved");
    EXPECT_EQ(0, Wait(saved)) << ReadFileBytes("saved.err");
    // A folder where the file should be: it can be neither read, replaced
    // nor removed.
    std::filesystem::remove(c.file);
    std::filesystem::create_directory(c.file);
    CliProcess failed = Start({"check"}, "failed");
    EXPECT_EQ(1, Wait(failed));
    const std::string err = ReadFileBytes("failed.err");
    EXPECT_NE(std::string::npos, err.find(platform::Cp932ToUtf8(c.message))) << err;
  }
}

}  // namespace
}  // namespace tarnu
