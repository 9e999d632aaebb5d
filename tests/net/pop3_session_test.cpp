#include "net/pop3_session.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "net/mailbox.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::Escape;
using testing::Load;
using testing::RecordingStatus;
using testing::Script;
using testing::ScriptedPeer;

struct Outcome {
  int count = 0;
  SurveyResult result;
  std::string sent;  // every byte the client sent
  bool connected = false;
  std::vector<std::string> titles;
  std::string final_title;
  int pumps = 0;
  std::string log;
};

// Opens the mailbox against the scripted peer and closes it again when that
// worked, as the survey does around its per-message steps.
Outcome OpenAndClose(const Script& script, bool apop, std::string user = "alice",
                     std::string password = "secret", int timeout = 1) {
  ScriptedPeer peer;
  Load(&peer, script);
  peer.Start();
  Pop3Account account;
  account.apop = apop;
  account.user = std::move(user);
  account.password = std::move(password);
  account.server = "127.0.0.1";
  account.port = peer.port();
  account.timeout = timeout;
  RecordingStatus status("T");
  CountingPump pump;
  Pop3Session session(&status, &pump);
  Outcome out;
  out.result.mails.resize(1);  // a leftover the failure path must discard
  out.count = OpenMailbox(account, &out.result, &session);
  if (out.count >= 0) CloseMailbox(&session);
  out.sent = peer.Finish();
  out.connected = peer.connected();
  out.titles = status.history;
  out.final_title = status.title;
  out.pumps = pump.calls;
  out.log = peer.Log();
  for (const std::string& p : peer.problems()) out.log += "PROBLEM " + p + "\n";
  return out;
}

const std::string kCannotServe =
    "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定で"
    "す";
const std::string kRfcGreeting = "+OK POP3 server ready <1896.697170952@dbc.mtview.ca.us>\r\n";

TEST(OpenMailbox, UserPassDialogue) {
  Outcome out = OpenAndClose({{'S', "+OK ready\r\n"},
                              {'E', "USER alice\r\n"},
                              {'S', "+OK\r\n"},
                              {'E', "PASS secret\r\n"},
                              {'S', "+OK logged in\r\n"},
                              {'E', "STAT\r\n"},
                              {'S', "+OK 2 300\r\n"},
                              {'E', "QUIT\r\n"},
                              {'S', "+OK bye\r\n"}},
                             false);
  EXPECT_EQ(out.count, 2);
  EXPECT_EQ(out.result.mailbox_size, 300);
  EXPECT_EQ(out.result.label, "127.0.0.1");
  EXPECT_EQ(out.result.error, "");
  EXPECT_EQ(Escape(out.sent), Escape("USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n")) << out.log;
  ASSERT_EQ(out.titles.size(), 3u);
  EXPECT_EQ(out.titles[0].substr(0, 12), "T(127.0.0.1:");
  EXPECT_EQ(out.titles[0].substr(out.titles[0].size() - 12), "へ接続中...)");
  EXPECT_EQ(out.titles[1], "T(認証中...)");
  EXPECT_EQ(out.final_title, "T");
  EXPECT_GE(out.pumps, 2);  // before connecting and before STAT
}

TEST(OpenMailbox, ApopDigestOfRfc1939Example) {
  Outcome out = OpenAndClose({{'S', kRfcGreeting},
                              {'E', "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"},
                              {'S', "+OK maildrop has 1 message (369 octets)\r\n"},
                              {'E', "STAT\r\n"},
                              {'S', "+OK 1 369\r\n"}},
                             true, "mrose", "tanstaaf");
  EXPECT_EQ(out.count, 1);
  EXPECT_EQ(out.result.mailbox_size, 369);
  EXPECT_EQ(out.sent, "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\nSTAT\r\nQUIT\r\n") << out.log;
}

TEST(OpenMailbox, ApopTimestampAfterAnEarlierClosingBracket) {
  // The ">" of the banner text must not cut the timestamp short or stretch it
  // to the line end: the digest is that of the bracketed timestamp alone.
  Outcome out = OpenAndClose({{'S', "+OK ready -> here <1896.697170952@dbc.mtview.ca.us> now\r\n"},
                              {'E', "APOP mrose c4c9334bac560ecc979e58001b3e22fb\r\n"},
                              {'S', "+OK\r\n"},
                              {'E', "STAT\r\n"},
                              {'S', "+OK 0 0\r\n"}},
                             true, "mrose", "tanstaaf");
  EXPECT_EQ(out.count, 0);
  EXPECT_EQ(out.result.error, "") << out.log;
}

TEST(ApopTimestamp, Table) {
  struct Case {
    const char* greeting;
    const char* timestamp;
  } cases[] = {
      {"+OK <a@b>\r\n", "<a@b>"},     {"+OK x <1.2@h> y <3@h>\r\n", "<1.2@h>"},
      {"+OK a>b <1@h>\r\n", "<1@h>"}, {"+OK <unclosed\r\n", ""},
      {"+OK none\r\n", ""},           {"+OK > only\r\n", ""},
      {"+OK <>\r\n", "<>"},
  };
  for (const Case& c : cases) EXPECT_EQ(ApopTimestamp(c.greeting), c.timestamp) << c.greeting;
}

TEST(OpenMailbox, ReplyThatBeginsWithPlusOkAndMoreLettersIsPositive) {
  Outcome out = OpenAndClose({{'S', "+OKAY\r\n"},
                              {'E', "USER alice\r\n"},
                              {'S', "+OKfine\r\n"},
                              {'E', "PASS secret\r\n"},
                              {'S', "+OK\r\n"},
                              {'E', "STAT\r\n"},
                              {'S', "+OK 0 0\r\n"}},
                             false);
  EXPECT_EQ(out.count, 0);
  EXPECT_EQ(out.result.error, "") << out.log;
}

TEST(OpenMailbox, WholeDialogueInOneByteSegments) {
  Outcome out = OpenAndClose({{'P', "+OK ready\r\n"},
                              {'E', "USER alice\r\n"},
                              {'P', "+OK\r\n"},
                              {'E', "PASS secret\r\n"},
                              {'P', "+OK\r\n"},
                              {'E', "STAT\r\n"},
                              {'P', "+OK 7 1234\r\n"}},
                             false);
  EXPECT_EQ(out.count, 7);
  EXPECT_EQ(out.result.mailbox_size, 1234);
  EXPECT_EQ(out.sent, "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n") << out.log;
}

TEST(OpenMailbox, OverlongGreetingDoesNotShiftTheReplies) {
  std::string greeting = "+OK " + std::string(1494, 'g') + "\r\n";  // 1500 bytes
  Outcome out = OpenAndClose({{'S', greeting},
                              {'E', "USER alice\r\n"},
                              {'S', "+OK\r\n"},
                              {'E', "PASS secret\r\n"},
                              {'S', "+OK\r\n"},
                              {'E', "STAT\r\n"},
                              {'S', "+OK 3 30\r\n"}},
                             false);
  EXPECT_EQ(out.count, 3);
  EXPECT_EQ(out.result.error, "") << out.log;
  EXPECT_EQ(out.sent, "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
}

// Replies whose length lies around the 1023 bytes a reply line holds: a
// line of exactly 1023 bytes, CR LF included, is whole and nothing after it
// may be taken for its rest.
TEST(OpenMailbox, RepliesAroundTheLineCapacityLogIn) {
  for (std::size_t length : {1021, 1022, 1023, 1024, 1025, 2046, 2047}) {
    SCOPED_TRACE(length);
    const std::string greeting = "+OK " + std::string(length - 6, 'g') + "\r\n";
    const std::string user_reply = "+OK " + std::string(length - 6, 'u') + "\r\n";
    ASSERT_EQ(length, greeting.size());
    Outcome out = OpenAndClose({{'S', greeting},
                                {'E', "USER alice\r\n"},
                                {'S', user_reply},
                                {'E', "PASS secret\r\n"},
                                {'S', "+OK\r\n"},
                                {'E', "STAT\r\n"},
                                {'S', "+OK 2 20\r\n"}},
                               false);
    EXPECT_EQ(out.count, 2);
    EXPECT_EQ(out.result.error, "") << out.log;
    EXPECT_EQ(out.sent, "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n");
  }
}

// Every refusal and every channel failure of the login: the exact error
// text, what the client sent (QUIT whenever it was connected), the leftover
// list discarded and the title restored.
TEST(OpenMailbox, Failures) {
  std::string long_refusal = "-ERR " + std::string(1493, 'r') + "\r\n";  // 1500 bytes
  struct Case {
    const char* name;
    bool apop;
    Script script;
    std::string error;
    std::string sent;
  } cases[] = {
      {"negative greeting",
       false,
       {{'S', "-ERR not now\r\n"}},
       "メールサーバが応答状態にありません\r\n-ERR not now\r\n",
       "QUIT\r\n"},
      {"greeting in small letters is negative",
       false,
       {{'S', "+ok ready\r\n"}},
       "メールサーバが応答状態にありません\r\n+ok ready\r\n",
       "QUIT\r\n"},
      {"user refused",
       false,
       {{'S', "+OK\r\n"}, {'E', "USER alice\r\n"}, {'S', "-ERR who?\r\n"}},
       "メールサーバがユーザ名を受理しません\r\n-ERR who?\r\n",
       "USER alice\r\nQUIT\r\n"},
      {"password refused",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "-ERR [AUTH] no\r\n"}},
       "メールサーバがパスワードを受理しません\r\n-ERR [AUTH] no\r\n",
       "USER alice\r\nPASS secret\r\nQUIT\r\n"},
      {"STAT refused",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n"},
        {'E', "STAT\r\n"},
        {'S', "-ERR locked\r\n"}},
       kCannotServe + "\r\n-ERR locked\r\n",
       "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n"},
      {"STAT without numbers",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n"},
        {'E', "STAT\r\n"},
        {'S', "+OK\r\n"}},
       kCannotServe + "\r\n+OK\r\n",
       "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n"},
      {"STAT with a negative count",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n"},
        {'E', "STAT\r\n"},
        {'S', "+OK -1 0\r\n"}},
       kCannotServe + "\r\n+OK -1 0\r\n",
       "USER alice\r\nPASS secret\r\nSTAT\r\nQUIT\r\n"},
      {"APOP refused",
       true,
       {{'S', kRfcGreeting},
        {'E', "APOP alice 3f18b52881e44c0cc6067f46e0ced7bc\r\n"},
        {'S', "-ERR bad digest\r\n"}},
       "メールサーバが認証しません\r\n-ERR bad digest\r\n",
       "APOP alice 3f18b52881e44c0cc6067f46e0ced7bc\r\nQUIT\r\n"},
      {"APOP on, greeting without timestamp",
       true,
       {{'S', "+OK hello\r\n"}},
       "このサーバはAPOPに対応していません。\r\n",
       "QUIT\r\n"},
      {"APOP on, timestamp never closed",
       true,
       {{'S', "+OK <1.2@host\r\n"}},
       "このサーバはAPOPに対応していません。\r\n",
       "QUIT\r\n"},
      {"APOP on, only a closing bracket",
       true,
       {{'S', "+OK a> b\r\n"}},
       "このサーバはAPOPに対応していません。\r\n",
       "QUIT\r\n"},
      {"silent server", false, {{'Z', "3000"}}, "サーバからの応答がありません", "QUIT\r\n"},
      {"no answer to USER",
       false,
       {{'S', "+OK\r\n"}, {'E', "USER alice\r\n"}, {'Z', "3000"}},
       "サーバからの応答がありません",
       "USER alice\r\nQUIT\r\n"},
      {"cut in the middle of the greeting",
       false,
       {{'S', "+OK rea"}, {'W', ""}},
       "受信エラー 0 サーバが接続を切断しました",
       "QUIT\r\n"},
      {"cut in the middle of the PASS reply",
       false,
       {{'S', "+OK\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+O"},
        {'W', ""}},
       "受信エラー 0 サーバが接続を切断しました",
       "USER alice\r\nPASS secret\r\nQUIT\r\n"},
      {"overlong refusal is cut to the line buffer",
       false,
       {{'S', "+OK\r\n"}, {'E', "USER alice\r\n"}, {'S', long_refusal}},
       "メールサーバがユーザ名を受理しません\r\n" + long_refusal.substr(0, 1023),
       "USER alice\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    Outcome out = OpenAndClose(c.script, c.apop);
    EXPECT_EQ(out.count, -1) << c.name;
    EXPECT_EQ(Escape(out.result.error), Escape(c.error)) << c.name;
    EXPECT_EQ(Escape(out.sent), Escape(c.sent)) << c.name << "\n" << out.log;
    EXPECT_TRUE(out.result.mails.empty()) << c.name;
    EXPECT_EQ(out.final_title, "T") << c.name;
  }
}

// A server that answers with more lines than asked for: the extra line is
// never taken as the answer to the next command.
TEST(OpenMailbox, StrayReplyLinesAnswerNothing) {
  struct Case {
    const char* name;
    Script script;
  } cases[] = {
      {"after the greeting",
       {{'S', "+OK ready\r\n-ERR stray\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n"}}},
      {"after USER",
       {{'S', "+OK ready\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n-ERR stray\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n"}}},
      {"after PASS",
       {{'S', "+OK ready\r\n"},
        {'E', "USER alice\r\n"},
        {'S', "+OK\r\n"},
        {'E', "PASS secret\r\n"},
        {'S', "+OK\r\n-ERR stray\r\n"}}},
  };
  for (const Case& c : cases) {
    Script script = c.script;
    script.insert(script.end(), {{'E', "STAT\r\n"}, {'S', "+OK 4 40\r\n"}});
    Outcome out = OpenAndClose(script, false);
    EXPECT_EQ(out.count, 4) << c.name << "\n" << out.log;
    EXPECT_EQ(out.result.error, "") << c.name;
  }
}

TEST(OpenMailbox, ResetAfterUserIsAReceiveError) {
  Outcome out =
      OpenAndClose({{'S', "+OK\r\n"}, {'E', "USER alice\r\n"}, {'Z', "100"}, {'R', ""}}, false);
  EXPECT_EQ(out.count, -1);
#ifndef _WIN32
  EXPECT_EQ(out.result.error, "受信エラー " + std::to_string(ECONNRESET));
#endif
  EXPECT_EQ(out.sent, "USER alice\r\n");
}

TEST(OpenMailbox, LineBreakInUserOrPasswordIsNeverSent) {
  struct Case {
    const char* user;
    const char* password;
  } cases[] = {
      {"alice\r\nDELE 1", "secret"},
      {"alice", "secret\nDELE 1"},
      {"al\rice", "secret"},
      {"alice", "\r\n"},
  };
  for (const Case& c : cases) {
    for (bool apop : {false, true}) {
      Outcome out = OpenAndClose({{'S', kRfcGreeting}}, apop, c.user, c.password);
      EXPECT_EQ(out.count, -1);
      EXPECT_EQ(
          out.result.error,
          "ユーザ名またはパスワードに改行文字が含まれているため、メールサーバに送信できません");
      EXPECT_FALSE(out.connected) << Escape(c.user) << " " << Escape(c.password);
      EXPECT_EQ(out.sent, "");
      EXPECT_EQ(out.final_title, "T");
    }
  }
}

TEST(OpenMailbox, RefusedConnectionSendsNothing) {
  int port;
  {
    ScriptedPeer gone;
    port = gone.port();
  }
  Pop3Account account;
  account.server = "127.0.0.1";
  account.port = port;
  account.timeout = 1;
  RecordingStatus status("T");
  Pop3Session session(&status, nullptr);
  SurveyResult result;
  EXPECT_EQ(OpenMailbox(account, &result, &session), -1);
#ifndef _WIN32
  EXPECT_EQ(result.error, "接続時エラー " + std::to_string(ECONNREFUSED));
#endif
  EXPECT_EQ(result.label, "127.0.0.1");
  EXPECT_EQ(status.title, "T");
}

#ifndef _WIN32
// A listener whose accept queue is full drops new SYNs, so a connect to it
// hangs until the client gives up.
class FullListener {
 public:
  FullListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 0);
    socklen_t length = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    for (int& s : fillers_) {
      s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
  }
  ~FullListener() {
    for (int s : fillers_) ::close(s);
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  int listener_;
  int fillers_[3];
  int port_;
};

TEST(OpenMailbox, HangingConnectIsGivenUpWithTheConnectText) {
  FullListener listener;
  Pop3Account account;
  account.server = "127.0.0.1";
  account.port = listener.port();
  account.timeout = 2;
  RecordingStatus status("T");
  CountingPump pump;
  Pop3Session session(&status, &pump);
  SurveyResult result;
  EXPECT_EQ(OpenMailbox(account, &result, &session), -1);
  EXPECT_EQ(result.error, "接続時エラー " + std::to_string(ETIMEDOUT));
  EXPECT_EQ(status.title, "T");
  // Once before connecting, then between the one-second slices of the wait.
  EXPECT_GE(pump.calls, 2);
}
#endif

TEST(ScanInt, ReadsLikePercentD) {
  struct Case {
    const char* text;
    bool ok;
    int value;
    std::size_t end;
  } cases[] = {
      {" 12 34", true, 12, 3},
      {"-5", true, -5, 2},
      {"+7x", true, 7, 2},
      {"x", false, 0, 0},
      {"", false, 0, 0},
      {" - 3", false, 0, 0},
      {"99999999999", true, 2147483647, 11},
      {"-99999999999", true, -2147483647 - 1, 12},
  };
  for (const Case& c : cases) {
    std::size_t pos = 0;
    int value = 0;
    EXPECT_EQ(ScanInt(c.text, &pos, &value), c.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(value, c.value) << c.text;
      EXPECT_EQ(pos, c.end) << c.text;
    }
  }
}

}  // namespace
}  // namespace tarnu
