// The survey's dialogue against a scripted peer: what the client sends, the
// entries it builds and every failure text.
#include "net/survey.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "codec/charset.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::Escape;
using testing::Load;
using testing::LoginScript;
using testing::PeerAccount;
using testing::RecordingMessages;
using testing::RecordingStatus;
using testing::Script;
using testing::operator+;
using testing::ScriptedPeer;

const std::string kCannotServe =
    "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定で"
    "す";
const std::string kLogin = "USER alice\r\nPASS secret\r\n";

// One message's LIST and TOP exchange, `top` being the whole multi-line
// reply after the status line.
Script Message(int n, int size, const std::string& top, int lines = 2) {
  std::string number = std::to_string(n);
  return {{'E', "LIST " + number + "\r\n"},
          {'S', "+OK " + number + " " + std::to_string(size) + "\r\n"},
          {'E', "TOP " + number + " " + std::to_string(lines) + "\r\n"},
          {'S', "+OK\r\n" + top}};
}

std::string Sent(int n, int lines = 2) {
  return "LIST " + std::to_string(n) + "\r\nTOP " + std::to_string(n) + " " +
         std::to_string(lines) + "\r\n";
}

struct Survey {
  int result_code = 0;
  SurveyResult result;
  std::string sent;
  std::vector<std::string> titles;
  std::string final_title;
  std::string log;
};

Survey RunSurvey(const Script& script, int lines = 2, MessagePump* pump = nullptr,
                 RecordingStatus* status = nullptr) {
  ScriptedPeer peer;
  Load(&peer, script);
  peer.Start();
  RecordingStatus own_status("T");
  if (status == nullptr) status = &own_status;
  CountingPump own_pump;
  RecordingMessages messages;
  Survey out;
  out.result_code = SurveyMailbox(status, PeerAccount(peer), lines, &out.result,
                                  pump != nullptr ? pump : &own_pump, &messages);
  out.sent = peer.Finish();
  out.titles = status->history;
  out.final_title = status->title;
  out.log = peer.Log();
  return out;
}

const std::string kFirstTop =
    "From: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= <t@example.jp>\r\n"
    "Subject:\t  =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= one\r\n"
    "Delivered-To: d@example.com\r\n"
    "To: alice@example.com\r\n"
    "Message-ID: <one@example.jp>\r\n"
    "Cc: c@example.com\r\n"
    "\r\n"
    "\x1b$BK\\J8$G$9!#\x1b(B\r\n"
    "..dot line\r\n"
    ".\r\n";
const std::string kSecondTop =
    "Subject: second\r\n"
    "From: f@example.org\r\n"
    "\r\n"
    "plain\r\n"
    ".\r\n";

// A multipart message costs one more TOP, for enough lines to reach its text;
// a plain message costs exactly its LIST and TOP.
TEST(SurveyMailbox, MultipartBodyFetchedFurtherPlainBodyNot) {
  const std::string head =
      "Subject: =?utf-8?B?8J+YgCBtdWx0aQ==?=\r\n"
      "Content-Type: multipart/alternative; boundary=\"b\"\r\n"
      "\r\n";
  const std::string parts =
      "--b\r\n"
      "Content-Type: text/plain; charset=utf-8\r\n"
      "Content-Transfer-Encoding: base64\r\n"
      "\r\n"
      "5pel5pys6KqeCmxpbmUgMgpsaW5lIDMK\r\n"
      "--b\r\n"
      "Content-Type: text/html\r\n"
      "\r\n"
      "<p>html</p>\r\n"
      "--b--\r\n";
  // The first TOP stops after two body lines, the second has it all.
  const Script multipart = {
      {'E', "LIST 1\r\n"},   {'S', "+OK 1 300\r\n"},
      {'E', "TOP 1 2\r\n"},  {'S', "+OK\r\n" + head + "--b\r\nContent-Type: text/plain\r\n.\r\n"},
      {'E', "TOP 1 60\r\n"}, {'S', "+OK\r\n" + head + parts + ".\r\n"}};
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 2 400\r\n"}} +
                         multipart + Message(2, 100, kSecondTop) + Script{{'E', "QUIT\r\n"}});
  EXPECT_EQ(out.result.error, "");
  EXPECT_EQ(out.sent, kLogin + "STAT\r\nLIST 1\r\nTOP 1 2\r\nTOP 1 60\r\n" + Sent(2) + "QUIT\r\n")
      << out.log;
  ASSERT_EQ(out.result.mails.size(), 2u);
  EXPECT_EQ(out.result.mails[0].subject, "\xF0\x9F\x98\x80 multi");
  EXPECT_EQ(Escape(out.result.mails[0].body),
            Escape("\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\r\nline 2\r\n"));
  EXPECT_EQ(out.result.mails[1].body, "plain\r\n");
}

TEST(SurveyMailbox, TwoMessages) {
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 2 500\r\n"}} +
                         Message(1, 321, kFirstTop) + Message(2, 179, kSecondTop) +
                         Script{{'E', "QUIT\r\n"}});
  EXPECT_EQ(out.result_code, 0);
  EXPECT_EQ(out.result.error, "");
  EXPECT_EQ(out.sent, kLogin + "STAT\r\n" + Sent(1) + Sent(2) + "QUIT\r\n") << out.log;
  EXPECT_EQ(out.result.mail_count, 2);
  EXPECT_EQ(out.result.mailbox_size, 500);
  EXPECT_EQ(out.result.label, "127.0.0.1");
  ASSERT_EQ(out.result.mails.size(), 2u);

  const MailEntry& first = out.result.mails[0];
  EXPECT_EQ(MailTextToCp932(first.from), "テスト <t@example.jp>");
  EXPECT_EQ(MailTextToCp932(first.subject), "テスト one");  // leading blanks removed
  EXPECT_EQ(MailTextToCp932(first.to), "alice@example.com");
  EXPECT_EQ(MailTextToCp932(first.cc), "c@example.com");  // last field: no CR
  EXPECT_EQ(first.message_id, "<one@example.jp>");
  EXPECT_EQ(Escape(MailTextToCp932(first.body)), Escape("本文です。\r\n.dot line\r\n"));
  EXPECT_EQ(first.size, 321);
  EXPECT_EQ(first.forwarded, 0);
  EXPECT_EQ(first.state, "");

  const MailEntry& second = out.result.mails[1];
  EXPECT_EQ(MailTextToCp932(second.subject), "second");
  EXPECT_EQ(MailTextToCp932(second.from), "f@example.org");
  EXPECT_EQ(MailTextToCp932(second.to), "");
  EXPECT_EQ(second.message_id, "");
  EXPECT_EQ(MailTextToCp932(second.body), "plain\r\n");
  EXPECT_EQ(second.size, 179);

  ASSERT_EQ(out.titles.size(), 5u);
  EXPECT_EQ(out.titles[1], "T(認証中...)");
  EXPECT_EQ(out.titles[2], "T(受信中...)[1/2]");
  EXPECT_EQ(out.titles[3], "T(受信中...)[2/2]");
  EXPECT_EQ(out.final_title, "T");
}

// A header folded right after its colon: the value starts on the next line,
// and the line break in front of it is no part of it.
TEST(SurveyMailbox, HeaderFoldedRightAfterItsColon) {
  const std::string top =
      "Subject:\r\n =?ISO-2022-JP?B?SGVsbG8gd29ybGQ=?=\r\n"
      "From:\r\n\tf@example.org\r\n"
      "\r\n"
      ".\r\n";
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 1 90\r\n"}} +
                         Message(1, 90, top) + Script{{'E', "QUIT\r\n"}});
  ASSERT_EQ(out.result.mails.size(), 1u) << out.log;
  EXPECT_EQ(Escape(out.result.mails[0].subject), "Hello world");
  EXPECT_EQ(Escape(out.result.mails[0].from), "f@example.org");
}

// The history key of each message: the Message-ID where it fits, a key that
// fits for a longer one, and one of its own for each message without.
TEST(SurveyMailbox, EveryMessageGetsAHistoryKeyOfItsOwn) {
  const std::string long_id = "<" + std::string(900, 'l') + "@x>";
  const std::string no_id = "Subject: same\r\nDate: Mon, 1 Jan 2024 00:00:00 +0000\r\n\r\n.\r\n";
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 5 500\r\n"}} +
                         Message(1, 100, "Message-ID: <a@x>\r\n\r\n.\r\n") +
                         Message(2, 100, "Message-ID: " + long_id + "\r\n\r\n.\r\n") +
                         Message(3, 100, no_id) + Message(4, 100, no_id) + Message(5, 101, no_id) +
                         Script{{'E', "QUIT\r\n"}});
  ASSERT_EQ(out.result.mails.size(), 5u) << out.log;
  const std::vector<MailEntry>& m = out.result.mails;
  EXPECT_EQ(HistoryKey(m[0]), "<a@x>");
  EXPECT_EQ(m[0].history_key, "");  // nothing kept twice
  EXPECT_EQ(m[1].message_id, long_id);
  EXPECT_EQ(HistoryKey(m[1]).substr(0, 700), long_id.substr(0, 700));
  EXPECT_LE(HistoryKey(m[1]).size(), 756u);
  // Two alike messages without an ID are told apart by their place; a third
  // differs in size.
  EXPECT_EQ(HistoryKey(m[2]).substr(0, 6), "\x01noid:");
  EXPECT_EQ(HistoryKey(m[3]), HistoryKey(m[2]) + "#2");
  EXPECT_NE(HistoryKey(m[4]).substr(0, HistoryKey(m[2]).size()), HistoryKey(m[2]));
}

TEST(SurveyMailbox, EmptyMailboxSendsNoListOrTop) {
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 0 0\r\n"}});
  EXPECT_EQ(out.result_code, 0);
  EXPECT_EQ(out.sent, kLogin + "STAT\r\nQUIT\r\n") << out.log;
  EXPECT_TRUE(out.result.mails.empty());
  EXPECT_EQ(out.result.mail_count, 0);
  EXPECT_EQ(out.result.error, "");
}

TEST(SurveyMailbox, EmptyMessageAndZeroLines) {
  // A message whose TOP answer is only the terminating line is complete;
  // with 0 lines the body is empty.
  Survey out =
      RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 2 10\r\n"}} +
                    Message(1, 0, ".\r\n", 0) + Message(2, 10, "Subject: s\r\n\r\n.\r\n", 0),
                0);
  EXPECT_EQ(out.result_code, 0) << out.result.error;
  ASSERT_EQ(out.result.mails.size(), 2u);
  EXPECT_EQ(out.result.mails[0].subject, "");
  EXPECT_EQ(out.result.mails[1].subject, "s");
  EXPECT_EQ(out.result.mails[1].body, "");
  EXPECT_EQ(out.sent, kLogin + "STAT\r\n" + Sent(1, 0) + Sent(2, 0) + "QUIT\r\n") << out.log;
}

TEST(SurveyMailbox, UnreadableListSizeCountsAsZero) {
  Survey out = RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"},
                                                {'S', "+OK 1 10\r\n"},
                                                {'E', "LIST 1\r\n"},
                                                {'S', "+OK\r\n"},
                                                {'E', "TOP 1 2\r\n"},
                                                {'S', "+OK\r\nSubject: s\r\n\r\n.\r\n"}});
  EXPECT_EQ(out.result_code, 0) << out.result.error;
  ASSERT_EQ(out.result.mails.size(), 1u);
  EXPECT_EQ(out.result.mails[0].size, 0);
}

TEST(SurveyMailbox, OneByteSegmentsAllTheWay) {
  Script script = {{'P', "+OK ready\r\n"},
                   {'E', "USER alice\r\n"},
                   {'P', "+OK\r\n"},
                   {'E', "PASS secret\r\n"},
                   {'P', "+OK\r\n"},
                   {'E', "STAT\r\n"},
                   {'P', "+OK 1 40\r\n"},
                   {'E', "LIST 1\r\n"},
                   {'P', "+OK 1 40\r\n"},
                   {'E', "TOP 1 2\r\n"},
                   {'P', "+OK\r\n" + kSecondTop}};
  Survey out = RunSurvey(script);
  EXPECT_EQ(out.result_code, 0) << out.result.error;
  ASSERT_EQ(out.result.mails.size(), 1u);
  EXPECT_EQ(out.result.mails[0].subject, "second");
  EXPECT_EQ(out.result.mails[0].body, "plain\r\n");
}

// A failure at any message: the exact text, the list discarded, the count of
// messages done before it kept, QUIT sent.
TEST(SurveyMailbox, FailuresDiscardTheList) {
  const std::string ok_top = "Subject: s\r\n\r\nb\r\n.\r\n";
  Script two_done = LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 5 100\r\n"}} +
                    Message(1, 20, ok_top) + Message(2, 20, ok_top);
  struct Case {
    const char* name;
    Script script;
    std::string error;
    std::string sent;
  } cases[] = {
      {"LIST refused", two_done + Script{{'E', "LIST 3\r\n"}, {'S', "-ERR no such message\r\n"}},
       kCannotServe + "\r\n-ERR no such message\r\n", "LIST 3\r\nQUIT\r\n"},
      {"TOP refused",
       two_done + Script{{'E', "LIST 3\r\n"},
                         {'S', "+OK 3 20\r\n"},
                         {'E', "TOP 3 2\r\n"},
                         {'S', "-ERR no TOP here\r\n"}},
       kCannotServe, Sent(3) + "QUIT\r\n"},
      {"silence in the middle of TOP",
       two_done + Script{{'E', "LIST 3\r\n"},
                         {'S', "+OK 3 20\r\n"},
                         {'E', "TOP 3 2\r\n"},
                         {'S', "+OK\r\nSubject: s\r\n\r\nhalf a bo"},
                         {'Z', "3000"}},
       "サーバからの応答がありません", Sent(3) + "QUIT\r\n"},
      {"cut in the middle of TOP",
       two_done + Script{{'E', "LIST 3\r\n"},
                         {'S', "+OK 3 20\r\n"},
                         {'E', "TOP 3 2\r\n"},
                         {'S', "+OK\r\nSubject: s\r\n\r\nhalf a bo"},
                         {'W', ""}},
       "サーバからの応答がありません", Sent(3) + "QUIT\r\n"},
      {"no answer to LIST", two_done + Script{{'E', "LIST 3\r\n"}, {'Z', "3000"}},
       "サーバからの応答がありません", "LIST 3\r\nQUIT\r\n"},
      {"cut in the middle of the LIST line",
       two_done + Script{{'E', "LIST 3\r\n"}, {'S', "+OK 3"}, {'W', ""}},
       "受信エラー 0 サーバが接続を切断しました", "LIST 3\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    Survey out = RunSurvey(c.script);
    EXPECT_EQ(out.result_code, -1) << c.name;
    EXPECT_EQ(Escape(out.result.error), Escape(c.error)) << c.name;
    EXPECT_TRUE(out.result.mails.empty()) << c.name;
    EXPECT_EQ(out.result.mail_count, 2) << c.name;
    EXPECT_EQ(out.result.mailbox_size, 100) << c.name;
    EXPECT_EQ(Escape(out.sent), Escape(kLogin + "STAT\r\n" + Sent(1) + Sent(2) + c.sent))
        << c.name << "\n"
        << out.log;
    EXPECT_EQ(out.final_title, "T") << c.name;
  }
}

TEST(SurveyMailbox, LoginFailureLeavesOnlyTheErrorText) {
  Survey out = RunSurvey({{'S', "-ERR go away\r\n"}});
  EXPECT_EQ(out.result_code, -1);
  EXPECT_EQ(out.result.error, "メールサーバが応答状態にありません\r\n-ERR go away\r\n");
  EXPECT_EQ(out.result.label, "127.0.0.1");
  EXPECT_EQ(out.result.mail_count, 0);
  EXPECT_EQ(out.sent, "QUIT\r\n");
}

#ifndef _WIN32
// Holds up the client before each LIST so that the server's reset arrives
// first: the next command then fails to go out.
class StallingPump : public MessagePump {
 public:
  explicit StallingPump(RecordingStatus* status) : status_(status) {}
  void PumpMessages() override {
    if (status_->title.find("受信中") != std::string::npos) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
  }

 private:
  RecordingStatus* status_;
};

TEST(SurveyMailbox, SendAfterResetIsASendError) {
  RecordingStatus status("T");
  StallingPump pump(&status);
  Survey out =
      RunSurvey(LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 1 10\r\n"}, {'R', ""}}, 2,
                &pump, &status);
  EXPECT_EQ(out.result_code, -1);
  EXPECT_TRUE(out.result.error == "送信エラー " + std::to_string(ECONNRESET) ||
              out.result.error == "送信エラー " + std::to_string(EPIPE))
      << out.result.error;
  EXPECT_EQ(out.final_title, "T");
}
#endif

}  // namespace
}  // namespace tarnu
