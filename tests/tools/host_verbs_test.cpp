// The console verbs that edit ./tarnu.pref, run as a separate process in a
// scratch directory. Expected texts are UTF-8 (u8 literals), as the verbs
// print them.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/tools/cli_process.h"

namespace tarnu {
namespace {

using testing::Cli;
using testing::CliRun;
using testing::FileExists;
using testing::Hex;
using testing::ReadFileBytes;
using testing::ScratchDir;
using testing::WriteFileBytes;

const std::vector<std::string> kAddBasic = {
    "host",           "add",    "--name", u8"テスト",   "--server",
    "pop.example.jp", "--user", "taro",   "--password", "secret"};

TEST(HostVerbs, NoFileListsNothing) {
  ScratchDir dir;
  CliRun run = Cli({"hosts"});
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.out);
  EXPECT_EQ("", run.err);
  EXPECT_FALSE(FileExists("tarnu.pref"));
}

TEST(HostVerbs, AddStoresCodePage932AndListsUtf8) {
  ScratchDir dir;
  CliRun add = Cli(kAddBasic);
  ASSERT_EQ(0, add.status) << add.err;
  EXPECT_EQ("", add.err);
  std::string file = ReadFileBytes("tarnu.pref");
  ASSERT_EQ(244u + 1564u, file.size());
  // The host name slot holds the base64 of the code page 932 bytes of
  // テスト (83 65 83 58 83 67).
  EXPECT_EQ(Hex(std::string("g2WDWINn\n\0", 10)), Hex(file.substr(244, 10)));
  CliRun list = Cli({"hosts"});
  EXPECT_EQ(0, list.status);
  EXPECT_EQ(std::string(u8"0\tテスト\tpop.example.jp\t110\ttaro\t1\t0\t0\n"), list.out);
  CliRun raw = Cli({"hosts", "--encoding", "cp932"});
  EXPECT_EQ("0\t\x83\x65\x83\x58\x83\x67\tpop.example.jp\t110\ttaro\t1\t0\t0\n", raw.out);
}

TEST(HostVerbs, AddWithEveryOptionThenSetAndRemove) {
  ScratchDir dir;
  ASSERT_EQ(0, Cli(kAddBasic).status);
  CliRun add = Cli({"host",          "add",        "--name",          "work",
                    "--server",      "192.0.2.7",  "--user",          "u\tv",
                    "--password",    "p",          "--port",          "995",
                    "--lines",       "0",          "--timeout",       "5",
                    "--apop",        "--no-check", "--forward",       "--notify",
                    "me@example.jp", "--smtp",     "smtp.example.jp", "--smtp-port",
                    "587",           "--prefix",   u8"転送)",         "--stop-if-from",
                    "spam"});
  ASSERT_EQ(0, add.status) << add.err;
  EXPECT_EQ(std::string(u8"0\tテスト\tpop.example.jp\t110\ttaro\t1\t0\t0\n"
                        "1\twork\t192.0.2.7\t995\tu\\tv\t0\t1\t1\n"),
            Cli({"hosts"}).out);
  // The record holds the forwarding values too (switch word 8 at 640).
  std::string file = ReadFileBytes("tarnu.pref");
  ASSERT_EQ(244u + 2 * 1564u, file.size());
  std::size_t r = 244 + 1564;
  EXPECT_EQ(Hex(std::string("\x08\x00\x00\x00", 4)), Hex(file.substr(r + 640, 4)));
  EXPECT_EQ(Hex(std::string("\x4B\x02\x00\x00", 4)), Hex(file.substr(r + 524, 4)));  // 587
  EXPECT_EQ(Hex(std::string("k12Rlyk=\n\0", 10)), Hex(file.substr(r + 540, 10)));

  CliRun set = Cli({"host", "set", "1", "--name", "office", "--check", "--no-apop"});
  ASSERT_EQ(0, set.status) << set.err;
  EXPECT_EQ(std::string(u8"0\tテスト\tpop.example.jp\t110\ttaro\t1\t0\t0\n"
                        "1\toffice\t192.0.2.7\t995\tu\\tv\t1\t0\t1\n"),
            Cli({"hosts"}).out);
  CliRun remove = Cli({"host", "remove", "0"});
  ASSERT_EQ(0, remove.status) << remove.err;
  EXPECT_EQ("0\toffice\t192.0.2.7\t995\tu\\tv\t1\t0\t1\n", Cli({"hosts"}).out);
  CliRun missing = Cli({"host", "remove", "1"});
  EXPECT_EQ(1, missing.status);
  EXPECT_NE(std::string::npos, missing.err.find("no host at index 1"));
}

// The secure connection options land in the record's reserved area (offset
// 1052); without them the area stays zero, byte for byte as before.
TEST(HostVerbs, SecureConnectionOptions) {
  ScratchDir dir;
  ASSERT_EQ(0, Cli(kAddBasic).status);
  const std::string zeros(512, '\0');
  EXPECT_EQ(Hex(zeros), Hex(ReadFileBytes("tarnu.pref").substr(244 + 1052, 512)));

  const std::string fingerprint =
      "00:11:22:33:44:55:66:77:88:99:aa:bb:cc:dd:ee:ff:00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:"
      "EE:FF";
  CliRun set =
      Cli({"host", "set", "0", "--tls", "ssl", "--smtp-tls", "starttls", "--smtp-user", "bob",
           "--smtp-password", "pw", "--smtp-auth-without-tls", "--accept-fingerprint", fingerprint,
           "--forward", "--notify", "a@b", "--smtp", "smtp.example.jp"});
  ASSERT_EQ(0, set.status) << set.err;
  std::string file = ReadFileBytes("tarnu.pref");
  const std::string area = file.substr(244 + 1052, 512);
  EXPECT_EQ(Hex(std::string("TNX1\x01\0\0\0\x01\0\0\0\x02\0\0\0\x01\0\0\0", 20)),
            Hex(area.substr(0, 20)));
  EXPECT_EQ(Hex(std::string("Ym9i\n\0", 6)), Hex(area.substr(20, 6)));  // base64 of "bob"
  EXPECT_EQ(Hex(std::string("\x00\x11\x22\x33", 4)), Hex(area.substr(224, 4)));
  EXPECT_EQ(Hex(std::string(32, '\0')), Hex(area.substr(256, 32)));  // no SMTP certificate
  // A security without a port moves the well-known ports along.
  EXPECT_EQ(Hex(std::string("\xE3\x03\0\0", 4)), Hex(file.substr(244 + 528, 4)));  // 995
  EXPECT_EQ(Hex(std::string("\x4B\x02\0\0", 4)), Hex(file.substr(244 + 524, 4)));  // 587

  // Back to the defaults: the area is zero again.
  CliRun back =
      Cli({"host", "set", "0", "--tls", "none", "--smtp-tls", "none", "--smtp-user", "",
           "--smtp-password", "", "--no-smtp-auth-without-tls", "--accept-fingerprint", ""});
  ASSERT_EQ(0, back.status) << back.err;
  file = ReadFileBytes("tarnu.pref");
  EXPECT_EQ(Hex(zeros), Hex(file.substr(244 + 1052, 512)));
  EXPECT_EQ(Hex(std::string("\x6E\0\0\0", 4)), Hex(file.substr(244 + 528, 4)));  // 110

  const std::string before = ReadFileBytes("tarnu.pref");
  // Each refusal names its option and leaves the file as it was.
  struct Case {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"--tls", "tls"}, u8"--tls: none、ssl、starttls のいずれかを指定してください\n"},
      {{"--smtp-tls", "yes"}, u8"--smtp-tls: none、ssl、starttls のいずれかを指定してください\n"},
      {{"--accept-fingerprint", "00:11"},
       u8"--accept-fingerprint: SHA-256 "
       u8"のフィンガープリントを16進数64桁で指定してください(コロン区切り可)\n"},
      {{"--accept-smtp-fingerprint", std::string(64, 'g')},
       u8"--accept-smtp-fingerprint: SHA-256 "
       u8"のフィンガープリントを16進数64桁で指定してください(コロン区切り可)\n"},
      {{"--smtp-user", "bob", "--smtp-password", std::string(73, 'p')},
       u8"--smtp-password: 72 文字以内で入力してください。\n"},
      {{"--smtp-password", "pw"}, u8"--smtp-user: SMTP認証のユーザ名を設定してください\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"host", "set", "0"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    CliRun run = Cli(args);
    EXPECT_EQ(1, run.status) << c.args[0];
    EXPECT_EQ(c.err, run.err);
    EXPECT_EQ(before, ReadFileBytes("tarnu.pref")) << c.args[0];
  }
}

// "-h" and "--help" as an option's value are values: a password "-h" is
// stored, not answered with the usage and exit 0. Where an option stands,
// they still ask for the help.
TEST(HostVerbs, HelpWordsAsValuesAreValues) {
  for (const std::string word : {"-h", "--help"}) {
    SCOPED_TRACE(word);
    ScratchDir dir;
    CliRun add =
        Cli({"host", "add", "--name", "n", "--server", "s", "--user", word, "--password", word});
    EXPECT_EQ(0, add.status) << add.out;
    EXPECT_EQ("", add.out);
    EXPECT_EQ("0\tn\ts\t110\t" + word + "\t1\t0\t0\n", Cli({"hosts"}).out);
    CliRun help = Cli({"host", "add", "--name", "m", word, "--user", "u"});
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.rfind("usage: tarnu-cli host add", 0)) << help.out;
    EXPECT_EQ("0\tn\ts\t110\t" + word + "\t1\t0\t0\n", Cli({"hosts"}).out);
  }
}

// Each refusal prints the dialog's message and leaves the file as it was.
TEST(HostVerbs, RefusalsPrintTheDialogsMessageAndChangeNothing) {
  ScratchDir dir;
  ASSERT_EQ(0, Cli(kAddBasic).status);
  const std::string before = ReadFileBytes("tarnu.pref");
  struct Case {
    std::vector<std::string> extra;  // after "host add" with the basic options
    std::string message;
  };
  std::vector<Case> cases = {
      {{"--port", "65536"}, u8"--port: 0 から 65535 までの整数を入力してください。\n"},
      {{"--lines", "two"}, u8"--lines: 整数を入力してください。\n"},
      {{"--user", std::string(37, 'u')}, u8"--user: 36 文字以内で入力してください。\n"},
      {{"--password", std::string(37, 'p')}, u8"--password: 36 文字以内で入力してください。\n"},
      // 31 characters of three UTF-8 bytes are 62 code page 932 bytes.
      {{"--name",
        [] {
          std::string s;
          for (int i = 0; i < 31; ++i) s += u8"あ";
          return s;
        }()},
       u8"--name: 60 文字以内で入力してください。\n"},
      {{"--name", "   "}, u8"--name: ホスト名を設定してください\n"},
      {{"--password", ""}, u8"--password: パスワードを設定してください\n"},
      {{"--forward", "--smtp", "smtp.example.jp"},
       u8"--notify: 転送先のメールアドレスを設定してください\n"},
      {{"--forward", "--notify", "a@b"},
       u8"--smtp: 転送時に使用するSMTPサーバを設定してください\n"},
      {{"--forward-if-subject", std::string(73, 'w')},
       u8"--forward-if-subject: 72 文字以内で入力してください。\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = kAddBasic;
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    SCOPED_TRACE(args[args.size() - 1]);
    CliRun run = Cli(args);
    EXPECT_EQ(1, run.status);
    EXPECT_EQ(c.message, run.err);
    EXPECT_EQ("", run.out);
    ASSERT_EQ(before, ReadFileBytes("tarnu.pref"));
  }
  CliRun set = Cli({"host", "set", "0", "--server", ""});
  EXPECT_EQ(1, set.status);
  EXPECT_EQ(std::string(u8"--server: POPサーバのアドレスを設定してください\n"), set.err);
  EXPECT_EQ(before, ReadFileBytes("tarnu.pref"));
  EXPECT_EQ(2, Cli({"host", "add", "--colour", "1"}).status);  // unknown option
  EXPECT_EQ(2, Cli({"host", "rename", "0"}).status);
  EXPECT_EQ(before, ReadFileBytes("tarnu.pref"));
}

TEST(SettingsVerbs, ShowAndSet) {
  ScratchDir dir;
  CliRun show = Cli({"settings", "show"});
  EXPECT_EQ(0, show.status);
  EXPECT_EQ(
      "version\t256\nhost-count\t0\nperiodic\t0\ninterval\t10\nreserved\t2\n"
      "no-check-at-start\t0\nno-history-at-start\t0\nauto-open\t0\nfont\t\nfont-height\t0\n"
      "font-weight\t0\nfont-charset\t0\ncolour\t0x00000000\nquote\t> \n"
      "no-position-restore\t0\nleft\t0\ntop\t0\nheight\t0\nwidth\t0\n",
      show.out);
  EXPECT_FALSE(FileExists("tarnu.pref"));  // showing writes nothing

  CliRun set = Cli({"settings",
                    "set",
                    "--periodic",
                    "1",
                    "--interval",
                    "3",
                    "--quote",
                    u8"＞",
                    "--auto-open",
                    "1",
                    "--no-history-at-start",
                    "1",
                    "--font",
                    u8"ＭＳ ゴシック",
                    "--font-height",
                    "-12",
                    "--font-charset",
                    "128",
                    "--colour",
                    "0xFF8040"});
  ASSERT_EQ(0, set.status) << set.err;
  std::string file = ReadFileBytes("tarnu.pref");
  ASSERT_EQ(244u, file.size());
  EXPECT_EQ(Hex(std::string("\x01\x00\x00\x00\x03\x00\x00\x00", 8)), Hex(file.substr(8, 8)));
  EXPECT_EQ(Hex(std::string("\x81\x84\x00", 3)), Hex(file.substr(96, 3)));  // ＞
  EXPECT_EQ(Hex(std::string("\x40\x80\xFF\x00", 4)), Hex(file.substr(92, 4)));
  show = Cli({"settings", "show"});
  EXPECT_NE(std::string::npos, show.out.find("periodic\t1\ninterval\t3\n"));
  EXPECT_NE(std::string::npos, show.out.find(u8"font\tＭＳ ゴシック\nfont-height\t-12\n"));
  EXPECT_NE(std::string::npos, show.out.find(u8"quote\t＞\n"));
  EXPECT_NE(std::string::npos, show.out.find("colour\t0x00FF8040\n"));
  EXPECT_NE(std::string::npos, show.out.find("no-history-at-start\t1\n"));

  // Refusals keep the file.
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string err;
  };
  for (const Case& c : std::vector<Case>{
           {{"--interval", "2"},
            1,
            u8"--interval: 3 から 2147483647 までの整数を入力してください。\n"},
           {{"--interval", ""}, 1, u8"--interval: 整数を入力してください。\n"},
           {{"--quote", std::string(31, 'q')}, 1, u8"--quote: 30 文字以内で入力してください。\n"},
           {{"--colour", "0x1000000"},
            1,
            u8"--colour: 0 から 16777215 までの整数を入力してください。\n"},
           {{"--font", std::string(32, 'f')}, 1, u8"--font: 31 文字以内で入力してください。\n"},
       }) {
    std::vector<std::string> args = {"settings", "set"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0]);
    CliRun run = Cli(args);
    EXPECT_EQ(c.status, run.status);
    EXPECT_EQ(c.err, run.err);
    EXPECT_EQ(file, ReadFileBytes("tarnu.pref"));
  }
  EXPECT_EQ(2, Cli({"settings", "set", "--periodic", "yes"}).status);
  EXPECT_EQ(file, ReadFileBytes("tarnu.pref"));
}

// The loader's messages go to standard error; a file that failed to load is
// kept as tarnu.pref.bak by the first process that writes over it, and a
// later process that loads tarnu's own file leaves the backup alone.
TEST(HostVerbs, DamagedFileIsKeptAcrossRuns) {
  ScratchDir dir;
  std::string damaged(244, '\0');
  damaged[0] = 0x01;  // version 1
  damaged[1] = 0x00;
  damaged += "the user's hosts";
  WriteFileBytes("tarnu.pref", damaged);
  CliRun list = Cli({"hosts"});
  EXPECT_EQ(0, list.status);
  EXPECT_EQ(std::string(u8"データファイルのバージョンが違います\n"), list.err);
  EXPECT_FALSE(FileExists("tarnu.pref.bak"));
  CliRun add = Cli(kAddBasic);
  EXPECT_EQ(0, add.status);
  EXPECT_EQ(std::string(u8"データファイルのバージョンが違います\n"), add.err);
  EXPECT_EQ(damaged, ReadFileBytes("tarnu.pref.bak"));
  CliRun again =
      Cli({"host", "add", "--name", "second", "--server", "s", "--user", "u", "--password", "p"});
  EXPECT_EQ(0, again.status);
  EXPECT_EQ("", again.err);
  EXPECT_EQ(damaged, ReadFileBytes("tarnu.pref.bak"));
  std::string hosts = Cli({"hosts"}).out;
  EXPECT_EQ(2, std::count(hosts.begin(), hosts.end(), '\n'));

  // A short record: the corrupt message, one line.
  std::string file = ReadFileBytes("tarnu.pref");
  WriteFileBytes("tarnu.pref", file.substr(0, file.size() - 1));
  CliRun corrupt = Cli({"hosts"});
  EXPECT_EQ(std::string(u8"データファイルが破損しています\n"), corrupt.err);
  EXPECT_EQ(std::string(u8"0\tテスト\tpop.example.jp\t110\ttaro\t1\t0\t0\n"), corrupt.out);
}

}  // namespace
}  // namespace tarnu
