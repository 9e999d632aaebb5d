// Fetching a whole message against a scripted peer.
#include "net/retrieve.h"

#include <gtest/gtest.h>

#include "codec/charset.h"

#include <string>
#include <vector>

#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::Escape;
using testing::Load;
using testing::LoginScript;
using testing::PeerAccount;
using testing::RecordingStatus;
using testing::Script;
using testing::operator+;
using testing::ScriptedPeer;

struct Retrieval {
  int code = 0;
  std::string header = "stale";
  std::string body = "stale";
  std::string error = "stale";
  std::string sent;
  std::vector<std::string> titles;
  std::string final_title;
  std::string log;
};

Retrieval RunRetrieve(const Script& script, int number, unsigned long expected, bool apop = false) {
  ScriptedPeer peer;
  Load(&peer, script);
  peer.Start();
  RecordingStatus status("D");
  Retrieval out;
  out.code = RetrieveMessage(&status, nullptr, number, expected, PeerAccount(peer, apop),
                             &out.header, &out.body, &out.error);
  out.sent = peer.Finish();
  out.titles = status.history;
  out.final_title = status.title;
  out.log = peer.Log();
  return out;
}

TEST(RetrieveMessage, WholeMessageDecodedWithProgress) {
  std::string message =
      "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=\r\n"
      "From: a@example.jp\r\n"
      "\r\n"
      "\x1b$BK\\J8$G$9!#\x1b(B\r\n"
      "..\r\n"
      "a..\r\n"
      "..b\r\n"
      ".\r\n";
  Retrieval out = RunRetrieve(LoginScript() + Script{{'E', "RETR 3\r\n"},
                                                     {'S', "+OK 60 octets\r\n"},
                                                     {'S', message},
                                                     {'E', "QUIT\r\n"}},
                              3, 20);
  EXPECT_EQ(out.code, 0) << out.error;
  EXPECT_EQ(out.error, "");
  EXPECT_EQ(Escape(MailTextToCp932(out.header)), Escape("Subject: テスト\r\nFrom: a@example.jp\r"));
  EXPECT_EQ(Escape(MailTextToCp932(out.body)), Escape("本文です。\r\n.\r\na..\r\n.b\r\n"));
  // No STAT: login, RETR, QUIT.
  EXPECT_EQ(out.sent, "USER alice\r\nPASS secret\r\nRETR 3\r\nQUIT\r\n") << out.log;
  ASSERT_GE(out.titles.size(), 6u);
  EXPECT_EQ(out.titles[1], "D(認証中...)");
  EXPECT_EQ(out.titles[2], "D(受信中...)");
  EXPECT_EQ(out.titles[3], "D(受信中...)[0/20]");
  // More than expected arrived: the count goes past the size, nothing is cut.
  EXPECT_EQ(out.titles[out.titles.size() - 2],
            "D(受信中...)[" + std::to_string(message.size()) + "/20]");
  EXPECT_EQ(out.final_title, "D");
}

TEST(RetrieveMessage, Failures) {
  const std::string cannot =
      "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定"
      "です";
  struct Case {
    const char* name;
    bool apop;
    Script script;
    std::string error;
    std::string sent;
  } cases[] = {
      {"message gone", false,
       LoginScript() + Script{{'E', "RETR 9\r\n"}, {'S', "-ERR no such message\r\n"}},
       cannot + "\r\n-ERR no such message\r\n", "USER alice\r\nPASS secret\r\nRETR 9\r\nQUIT\r\n"},
      {"APOP without timestamp",
       true,
       {{'S', "+OK plain greeting\r\n"}},
       "このサーバはAPOPに対応していません。\r\n",
       "QUIT\r\n"},
      {"cut during the message", false,
       LoginScript() + Script{{'E', "RETR 9\r\n"}, {'S', "+OK\r\nSubject: x\r\n\r\nbo"}, {'W', ""}},
       "サーバからの応答がありません", "USER alice\r\nPASS secret\r\nRETR 9\r\nQUIT\r\n"},
      {"silence during the message", false,
       LoginScript() +
           Script{{'E', "RETR 9\r\n"}, {'S', "+OK\r\nSubject: x\r\n\r\nbo"}, {'Z', "3000"}},
       "サーバからの応答がありません", "USER alice\r\nPASS secret\r\nRETR 9\r\nQUIT\r\n"},
      {"password refused",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "-ERR nope\r\n"}},
       "メールサーバがパスワードを受理しません\r\n-ERR nope\r\n",
       "USER alice\r\nPASS secret\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    Retrieval out = RunRetrieve(c.script, 9, 100, c.apop);
    EXPECT_EQ(out.code, -1) << c.name;
    EXPECT_EQ(Escape(out.error), Escape(c.error)) << c.name;
    EXPECT_EQ(MailTextToCp932(out.header), "") << c.name;
    EXPECT_EQ(MailTextToCp932(out.body), "") << c.name;
    EXPECT_EQ(Escape(out.sent), Escape(c.sent)) << c.name << "\n" << out.log;
    EXPECT_EQ(out.final_title, "D") << c.name;
  }
}

}  // namespace
}  // namespace tarnu
