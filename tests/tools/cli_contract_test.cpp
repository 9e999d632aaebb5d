// tarnu-cli's contract with people and scripts, run as a separate process:
// help and version on standard output with exit 0, usage errors on standard
// error with exit 2, refusals naming their option with exit 1, the busy lock
// with exit 3, the command line's text decoded from the locale, --dir.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "model/data_files.h"
#include "platform/file_lock.h"
#include "tarnu_version.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
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
using testing::ScratchDir;

const std::vector<std::string> kAccount = {"--server", "pop.example.jp", "--user",
                                           "taro",     "--password",     "secret"};

std::vector<std::string> HostAdd(std::vector<std::string> more) {
  std::vector<std::string> args = {"host", "add", "--name", "n"};
  args.insert(args.end(), kAccount.begin(), kAccount.end());
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

// What a run must give: the exit code, and for each stream either its exact
// text, or (starting with "...") a part it must contain, or nothing at all
// when empty.
struct Contract {
  std::vector<std::string> args;
  int status;
  std::string out;
  std::string err;
  CliSetup setup = {};
};

CliSetup Env(std::map<std::string, std::string> env) {
  CliSetup setup;
  setup.env = std::move(env);
  return setup;
}

void ExpectStream(const std::string& actual, const std::string& wanted, const char* stream) {
  if (wanted.rfind("...", 0) == 0) {
    EXPECT_NE(actual.find(wanted.substr(3)), std::string::npos) << stream << ":\n" << actual;
  } else {
    EXPECT_EQ(actual, wanted) << stream;
  }
}

TEST(CliContract, HelpVersionUsageAndRefusals) {
  ScratchDir dir;
  const std::string japanese = "ja_JP.UTF-8";
  const std::vector<Contract> contracts = {
      // Help and version: standard output, exit 0, nothing on standard error.
      {{"--help"}, 0, "...usage: tarnu-cli VERB [options]", ""},
      {{"-h"}, 0, "...\nexit codes:\n  0  done", ""},
      {{"help"}, 0, "...\nverbs:\n  check ", ""},
      {{"--version"}, 0, "tarnu-cli version " TARNU_VERSION_TEXT "\n", ""},
      {{"help", "host", "add"}, 0, "...usage: tarnu-cli host add --name TEXT", ""},
      {{"host", "--help"}, 0, "...usage: tarnu-cli host remove INDEX", ""},
      {{"survey", "-h"}, 0, "...  --apop ", ""},
      {{"check", "--dir", "/nonexistent", "--help"}, 0, "...usage: tarnu-cli check", ""},
      // Usage errors: standard error, exit 2, nothing on standard output.
      {{},
       2,
       "",
       "tarnu-cli: no verb given\nusage: tarnu-cli VERB [options]\n"
       "tarnu-cli VERB --help shows every option\n"},
      {{"frobnicate"}, 2, "", "...tarnu-cli: unknown verb frobnicate\n"},
      {{"check", "--verbose"},
       2,
       "",
       "tarnu-cli: --verbose: unknown option\nusage: tarnu-cli check [options]\n"
       "tarnu-cli check --help shows every option\n"},
      {{"hosts", "extra"}, 2, "", "...unexpected argument extra\n"},
      {{"host", "set"}, 2, "", "...INDEX expected\n"},
      {{"host"}, 2, "", "...add, set, remove expected\n"},
      {{"host", "rename", "0"}, 2, "", "...host: unknown action rename (add, set, remove)\n"},
      {HostAdd({"--apop=1"}), 2, "", "...--apop takes no value\n"},
      {HostAdd({"--port"}), 2, "", "...--port needs a value\n"},
      {{"check", "--encoding", "latin1"}, 2, "", "...--encoding takes cp932, utf-8\n"},
      {{"settings", "set", "--periodic", "yes"}, 2, "", "...--periodic takes 1, 0\n"},
      {{"check", "--dir", "/nonexistent"}, 2, "", "...--dir: no such folder: /nonexistent\n"},
      {{"survey", "--user", "u"}, 2, "", "...--server is required\n"},
      {{"host", "add", "--input-encoding", "klingon"},
       2,
       "",
       "...--input-encoding: unknown encoding klingon\n"},
      // The same in Japanese under a Japanese locale; LC_ALL decides first.
      {{"check", "--verbose"},
       2,
       "",
       u8"...tarnu-cli: --verbose: 不明なオプションです\n",
       Env({{"LANG", japanese}})},
      {{"check", "--verbose"},
       2,
       "",
       "...tarnu-cli: --verbose: unknown option\n",
       Env({{"LANG", japanese}, {"LC_ALL", "C"}})},
      {{"host", "set"}, 2, "", u8"...INDEX を指定してください\n", Env({{"LC_MESSAGES", "ja_JP"}})},
      // Refusals: the option, then the dialogs' text; exit 1.
      {HostAdd({"--port", "65536"}), 1, "",
       u8"--port: 0 から 65535 までの整数を入力してください。\n"},
      {HostAdd({"--timeout", "x"}), 1, "", u8"--timeout: 整数を入力してください。\n"},
      {HostAdd({"--name", u8"😀"}), 1, "",
       u8"--name: \"😀\" (U+1F600) has no place in code page 932 (Shift_JIS)\n"},
      {HostAdd({"--user", u8"Ω€"}), 1, "",
       u8"--user: 「€」(U+20AC) はコードページ 932 (Shift_JIS) で表せない文字です\n",
       Env({{"LANG", japanese}})},
      {{"host", "remove", "3"}, 1, "", "no host at index 3\n"},
      {{"host", "remove", "3"}, 1, "", u8"3 番のホストはありません\n", Env({{"LANG", japanese}})},
      {{"check"}, 1, "", "...no settings file tarnu.pref"},
  };
  for (const Contract& c : contracts) {
    std::string line;
    for (const std::string& arg : c.args) line += arg + " ";
    SCOPED_TRACE("tarnu-cli " + line);
    CliRun run = Cli(c.args, c.setup);
    EXPECT_EQ(run.status, c.status);
    ExpectStream(run.out, c.out, "stdout");
    ExpectStream(run.err, c.err, "stderr");
  }
  // None of them wrote a file.
  EXPECT_FALSE(FileExists("tarnu.pref"));
}

// Every verb answers --help with its own usage.
TEST(CliContract, EveryVerbHasItsHelp) {
  for (const char* verb :
       {"check", "watch", "hosts", "host add", "host set", "host remove", "settings show",
        "settings set", "survey", "retrieve", "decode-header", "encode-header", "to-sjis", "to-jis",
        "detect-code", "base64-encode", "base64-decode"}) {
    std::vector<std::string> args;
    std::string name = verb;
    std::size_t space = name.find(' ');
    args.push_back(name.substr(0, space));
    if (space != std::string::npos) args.push_back(name.substr(space + 1));
    args.push_back("--help");
    CliRun run = Cli(args);
    SCOPED_TRACE(verb);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out.rfind("usage: tarnu-cli " + name, 0), 0u) << run.out;
    EXPECT_NE(run.out.find("  --help"), std::string::npos);
    EXPECT_EQ(run.err, "");
  }
}

// The name's bytes as tarnu.pref holds them, read back raw.
std::string StoredName(const CliRun& list) {
  std::size_t tab = list.out.find('\t');
  return list.out.substr(tab + 1, list.out.find('\t', tab + 1) - tab - 1);
}

TEST(CliContract, ArgumentsAreDecodedFromTheLocalesEncoding) {
  // テスト〜 in each encoding; the wave dash is the one character whose
  // Unicode name differs between the JIS tables and code page 932.
  const std::string cp932 = "\x83\x65\x83\x58\x83\x67\x81\x60";
  const std::string utf8 = u8"テスト〜";
  const std::string euc = "\xA5\xC6\xA5\xB9\xA5\xC8\xA1\xC1";
  struct Case {
    std::vector<std::pair<std::string, std::string>> env;
    std::string name;  // the argument's bytes
    std::vector<std::string> more;
    int status;
    std::string err;
  };
  const std::vector<Case> cases = {
      {{{"LANG", "ja_JP.UTF-8"}}, utf8, {}, 0, ""},
      {{}, utf8, {}, 0, ""},  // no locale: UTF-8
      {{{"LANG", "ja_JP.eucJP"}}, euc, {}, 0, ""},
      {{{"LC_ALL", "ja_JP.EUC-JP"}, {"LANG", "ja_JP.UTF-8"}}, euc, {}, 0, ""},
      {{{"LANG", "ja_JP.SJIS"}}, cp932, {}, 0, ""},
      {{}, euc, {"--input-encoding", "euc-jp"}, 0, ""},
      {{{"LANG", "ja_JP.eucJP"}}, cp932, {"--input-encoding", "shift_jis"}, 0, ""},
      {{}, euc, {}, 1, "--name: the value is not UTF-8 text (see --input-encoding)\n"},
      {{{"LANG", "ja_JP.eucJP"}},
       "\xA5",
       {},
       1,
       u8"--name: 値が EUC-JP の文字列ではありません (--input-encoding を参照)\n"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    CliSetup setup;
    for (const auto& [name, value] : c.env) setup.env[name] = value;
    std::vector<std::string> args = {"host", "add", "--name", c.name};
    args.insert(args.end(), kAccount.begin(), kAccount.end());
    args.insert(args.end(), c.more.begin(), c.more.end());
    SCOPED_TRACE(Hex(c.name) + (c.env.empty() ? "" : " " + c.env[0].second));
    CliRun add = Cli(args, setup);
    EXPECT_EQ(add.status, c.status);
    EXPECT_EQ(add.err, c.err);
    if (c.status == 0) {
      EXPECT_EQ(Hex(StoredName(Cli({"hosts", "--encoding", "cp932"}))), Hex(cp932));
    } else {
      EXPECT_FALSE(FileExists("tarnu.pref"));
    }
  }
}

TEST(CliContract, DirNamesTheFolderOfTheFiles) {
  ScratchDir dir;
  std::filesystem::create_directory("data");
  std::vector<std::string> add = HostAdd({"--dir", "data"});
  ASSERT_EQ(Cli(add).status, 0);
  EXPECT_FALSE(FileExists("tarnu.pref"));
  EXPECT_TRUE(FileExists("data/tarnu.pref"));
  EXPECT_EQ(Cli({"hosts", "--dir", "data/"}).out, "0\tn\tpop.example.jp\t110\ttaro\t1\t0\t0\n");
  EXPECT_EQ(Cli({"hosts"}).out, "");
  EXPECT_NE(Cli({"settings", "show", "--dir", "data"}).out.find("host-count\t1\n"),
            std::string::npos);
}

// Two editors at once: each waits for the other's read-modify-write, so
// every host lands (without the lock, one add regularly undid the other).
TEST(CliContract, ConcurrentAddsAllLand) {
  ScratchDir dir;
  constexpr int kRounds = 15;
  for (int round = 0; round < kRounds; ++round) {
    CliProcess first(HostAdd({"--name", "a" + std::to_string(round)}));
    CliProcess second(HostAdd({"--name", "b" + std::to_string(round)}));
    CliRun one = first.Wait();
    CliRun two = second.Wait();
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_EQ(two.status, 0) << two.err;
  }
  CliRun list = Cli({"hosts"});
  std::size_t lines = 0;
  for (char c : list.out) lines += c == '\n';
  EXPECT_EQ(lines, 2u * kRounds);
  for (int round = 0; round < kRounds; ++round) {
    for (const char* side : {"a", "b"}) {
      const std::string name = "\t" + std::string(side) + std::to_string(round) + "\t";
      EXPECT_NE(list.out.find(name), std::string::npos) << name;
    }
  }
}

// An edit waits for a writer that holds the lock, and gives up (exit 3,
// nothing changed) when the writer keeps it.
TEST(CliContract, EditsWaitForTheLockThenGiveUp) {
  ScratchDir dir;
  platform::FileLock held;
  ASSERT_EQ(held.Lock(kLockFileName, 0), platform::LockResult::kLocked);
  CliProcess waiting(HostAdd({}));
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_FALSE(FileExists("tarnu.pref"));  // still waiting
  held.Unlock();
  CliRun added = waiting.Wait();
  EXPECT_EQ(added.status, 0) << added.err;
  EXPECT_TRUE(FileExists("tarnu.pref"));

  const std::string before = ReadFileBytes("tarnu.pref");
  ASSERT_EQ(held.Lock(kLockFileName, 0), platform::LockResult::kLocked);
  CliRun busy = Cli({"host", "remove", "0"});
  EXPECT_EQ(busy.status, 3);
  EXPECT_NE(busy.err.find("(tarnu.lock is locked); nothing was changed"), std::string::npos)
      << busy.err;
  EXPECT_EQ(ReadFileBytes("tarnu.pref"), before);
  // Reading verbs wait the same way and then read.
  CliProcess reading({"hosts"});
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  held.Unlock();
  EXPECT_EQ(reading.Wait().out, "0\tn\tpop.example.jp\t110\ttaro\t1\t0\t0\n");
}

}  // namespace
}  // namespace tarnu
