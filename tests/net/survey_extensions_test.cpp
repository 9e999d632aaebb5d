// The survey's protocol additions against a scripted peer: pipelined LIST
// and TOP (RFC 2449) and known messages taken from the cache by UIDL, with
// the servers that misbehave at them. Each falls back to the plain survey
// with nothing lost.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/uidl_cache.h"
#include "net/survey.h"
#include "tests/codec/alloc_failure.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
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
using testing::ScratchDir;
using testing::Script;
using testing::ScriptedPeer;
using testing::operator+;

const std::string kCannotServe =
    "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定で"
    "す";
const std::string kFirstTop =
    "From: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= <t@example.jp>\r\n"
    "Subject: one\r\n"
    "Message-ID: <one@example.jp>\r\n"
    "\r\n"
    "..dot line\r\n"
    ".\r\n";
const std::string kSecondTop =
    "Subject: second\r\n"
    "From: f@example.org\r\n"
    "\r\n"
    "plain\r\n"
    ".\r\n";
const std::string kCaps = "+OK\r\nTOP\r\nUSER\r\npipelining\r\nUIDL\r\n.\r\n";

const Script kOpen = LoginScript() + Script{{'E', "STAT\r\n"}, {'S', "+OK 2 500\r\n"}};
// Both messages one command at a time, as without any addition.
const Script kPlain =
    Script{{'E', "LIST 1\r\n"},          {'S', "+OK 1 321\r\n"},        {'E', "TOP 1 2\r\n"},
           {'S', "+OK\r\n" + kFirstTop}, {'E', "LIST 2\r\n"},           {'S', "+OK 2 179\r\n"},
           {'E', "TOP 2 2\r\n"},         {'S', "+OK\r\n" + kSecondTop}, {'E', "QUIT\r\n"}};
const Script kBatch = {
    {'E', "LIST 1\r\n"}, {'E', "TOP 1 2\r\n"}, {'E', "LIST 2\r\n"}, {'E', "TOP 2 2\r\n"}};
const std::string kPlainSent = "LIST 1\r\nTOP 1 2\r\nLIST 2\r\nTOP 2 2\r\nQUIT\r\n";
const std::string kLogin = "USER alice\r\nPASS secret\r\nSTAT\r\n";

struct Outcome {
  int code = 0;
  SurveyResult result;
  std::string sent;
  std::string log;
  std::vector<std::string> problems;
};

// `largest`: when not 0, every allocation of the survey larger than this
// fails.
Outcome RunSurvey(const Script& script, bool pipelining, UidlUse* uidl = nullptr,
                  std::size_t largest = 0) {
  ScriptedPeer peer;
  peer.set_read_deadline_ms(2500);
  Load(&peer, script);
  peer.Start();
  Pop3Account account = PeerAccount(peer);
  account.pipelining = pipelining;
  account.uidl = uidl != nullptr;
  RecordingStatus status("T");
  CountingPump pump;
  RecordingMessages messages;
  Outcome out;
  testing::FailAllocationsLargerThan(largest);
  out.code = SurveyMailbox(&status, account, 2, &out.result, &pump, &messages, uidl);
  testing::FailAllocationsLargerThan(0);
  EXPECT_EQ(status.title, "T");
  out.sent = peer.Finish();
  out.log = peer.Log();
  out.problems = peer.problems();
  return out;
}

// What the plain survey makes of the two messages.
const SurveyResult& PlainResult() {
  static const SurveyResult result = RunSurvey(kOpen + kPlain, false).result;
  return result;
}

void ExpectSameEntries(const std::vector<MailEntry>& want, const std::vector<MailEntry>& got,
                       const std::string& where) {
  ASSERT_EQ(want.size(), got.size()) << where;
  for (std::size_t i = 0; i < want.size(); ++i) {
    EXPECT_EQ(want[i].from, got[i].from) << where << " " << i;
    EXPECT_EQ(want[i].subject, got[i].subject) << where << " " << i;
    EXPECT_EQ(want[i].cc, got[i].cc) << where << " " << i;
    EXPECT_EQ(want[i].to, got[i].to) << where << " " << i;
    EXPECT_EQ(Escape(want[i].body), Escape(got[i].body)) << where << " " << i;
    EXPECT_EQ(want[i].message_id, got[i].message_id) << where << " " << i;
    EXPECT_EQ(want[i].size, got[i].size) << where << " " << i;
  }
}

TEST(SurveyPipelining, PlainResultIsWhatTheMessagesSay) {
  const SurveyResult& plain = PlainResult();
  ASSERT_EQ(plain.mails.size(), 2u) << plain.error;
  EXPECT_EQ(plain.mails[0].subject, "one");
  EXPECT_EQ(plain.mails[0].body, ".dot line\r\n");
  EXPECT_EQ(plain.mails[1].size, 179);
}

TEST(SurveyPipelining, ServersThatOfferItOrNot) {
  struct Case {
    const char* name;
    Script script;
    std::string sent;  // after the login and STAT
  } cases[] = {
      // Every LIST and TOP goes out before the first reply is read: the peer
      // answers only once it has all four.
      {"offered: one window",
       Script{{'E', "CAPA\r\n"}, {'S', kCaps}} + kBatch +
           Script{{'S', "+OK 1 321\r\n+OK\r\n" + kFirstTop + "+OK 2 179\r\n+OK\r\n" + kSecondTop},
                  {'E', "QUIT\r\n"}},
       "CAPA\r\n" + kPlainSent},
      {"offered, replies in one-byte pieces",
       Script{{'E', "CAPA\r\n"}, {'S', kCaps}} + kBatch +
           Script{{'P', "+OK 1 321\r\n+OK\r\n" + kFirstTop + "+OK 2 179\r\n+OK\r\n" + kSecondTop},
                  {'E', "QUIT\r\n"}},
       "CAPA\r\n" + kPlainSent},
      {"capabilities without it",
       Script{{'E', "CAPA\r\n"}, {'S', "+OK\r\nTOP\r\nUIDL\r\n.\r\n"}} + kPlain,
       "CAPA\r\n" + kPlainSent},
      {"CAPA unknown", Script{{'E', "CAPA\r\n"}, {'S', "-ERR what?\r\n"}} + kPlain,
       "CAPA\r\n" + kPlainSent},
  };
  for (const Case& c : cases) {
    Outcome out = RunSurvey(kOpen + c.script, true);
    EXPECT_EQ(out.code, 0) << c.name << ": " << out.result.error;
    EXPECT_EQ(out.sent, kLogin + c.sent) << c.name << "\n" << out.log;
    EXPECT_TRUE(out.problems.empty()) << c.name << "\n" << out.log;
    EXPECT_EQ(out.result.mail_count, 2) << c.name;
    ExpectSameEntries(PlainResult().mails, out.result.mails, c.name);
  }
}

// A server that offers pipelining and then loses step is surveyed again from
// the start, one command at a time, on a new connection.
TEST(SurveyPipelining, OutOfStepFallsBackToThePlainSurvey) {
  const Script again = Script{{'N', ""}} + kOpen + kPlain;
  struct Case {
    const char* name;
    Script answer;  // to the first window
  } cases[] = {
      {"LIST answered for another message", {{'S', "+OK 2 321\r\n"}}},
      {"a header line where a reply belongs", {{'S', "Subject: one\r\n"}}},
      {"only the first command answered", {{'S', "+OK 1 321\r\n"}, {'Z', "2500"}}},
      {"nothing answered", {{'Z', "2500"}}},
  };
  for (const Case& c : cases) {
    Outcome out = RunSurvey(
        kOpen + Script{{'E', "CAPA\r\n"}, {'S', kCaps}} + kBatch + c.answer + again, true);
    EXPECT_EQ(out.code, 0) << c.name << ": " << out.result.error;
    EXPECT_TRUE(out.problems.empty()) << c.name << "\n" << out.log;
    EXPECT_EQ(out.sent, kLogin + "CAPA\r\nLIST 1\r\nTOP 1 2\r\nLIST 2\r\nTOP 2 2\r\nQUIT\r\n" +
                            kLogin + kPlainSent)
        << c.name << "\n"
        << out.log;
    EXPECT_EQ(out.result.mail_count, 2) << c.name;
    EXPECT_EQ(out.result.error, "") << c.name;
    ExpectSameEntries(PlainResult().mails, out.result.mails, c.name);
  }
}

TEST(SurveyPipelining, RefusalAtTheSecondMessageReportsWhatThePlainSurveyWould) {
  Outcome out =
      RunSurvey(kOpen + Script{{'E', "CAPA\r\n"}, {'S', kCaps}} + kBatch +
                    Script{{'S', "+OK 1 321\r\n+OK\r\n" + kFirstTop + "+OK 2 179\r\n-ERR no\r\n"},
                           {'E', "QUIT\r\n"}},
                true);
  EXPECT_EQ(out.code, -1);
  EXPECT_EQ(out.result.error, kCannotServe);
  EXPECT_EQ(out.result.mail_count, 1);
  EXPECT_TRUE(out.result.mails.empty());
  EXPECT_EQ(out.sent, kLogin + "CAPA\r\n" + kPlainSent) << out.log;
}

// ---- what a server can make the survey hold ----

// Replies far beyond what was asked for, each larger than any block the
// survey is allowed here: a TOP reply that ignores its line count is kept
// only in part and a listing longer than the mailbox can need is not used.
constexpr std::size_t kLargestBlock = std::size_t{4} << 20;

std::string Junk(const std::string& line) {
  std::string junk;
  while (junk.size() < (std::size_t{12} << 20)) junk += line;
  return junk;
}

TEST(SurveyPipelining, HugeRepliesAreNeverHeldWhole) {
  // The first message's reply without its terminating line, then 12 MiB.
  const std::string huge_top = "+OK\r\n" + kFirstTop.substr(0, kFirstTop.size() - 3) +
                               Junk(std::string(78, 'z') + "\r\n") + ".\r\n";
  const Script rest = {{'E', "LIST 2\r\n"},
                       {'S', "+OK 2 179\r\n"},
                       {'E', "TOP 2 2\r\n"},
                       {'S', "+OK\r\n" + kSecondTop},
                       {'E', "QUIT\r\n"}};
  struct Case {
    const char* name;
    bool pipelining;
    Script script;
    std::string sent;
  } cases[] = {
      {"a TOP reply that ignores its line count", false,
       Script{{'E', "LIST 1\r\n"}, {'S', "+OK 1 321\r\n"}, {'E', "TOP 1 2\r\n"}, {'S', huge_top}} +
           rest,
       kPlainSent},
      {"... pipelined", true,
       Script{{'E', "CAPA\r\n"}, {'S', kCaps}} + kBatch +
           Script{{'S', "+OK 1 321\r\n" + huge_top + "+OK 2 179\r\n+OK\r\n" + kSecondTop},
                  {'E', "QUIT\r\n"}},
       "CAPA\r\n" + kPlainSent},
      {"a CAPA listing of 12 MiB", true,
       Script{{'E', "CAPA\r\n"},
              {'S', "+OK\r\n" + Junk("X-JUNK\r\n") + "PIPELINING\r\n.\r\n"},
              {'E', "LIST 1\r\n"},
              {'S', "+OK 1 321\r\n"},
              {'E', "TOP 1 2\r\n"},
              {'S', "+OK\r\n" + kFirstTop}} +
           rest,
       "CAPA\r\n" + kPlainSent},
  };
  for (const Case& c : cases) {
    Outcome out = RunSurvey(kOpen + c.script, c.pipelining, nullptr, kLargestBlock);
    EXPECT_EQ(out.code, 0) << c.name << ": " << out.result.error;
    EXPECT_EQ(out.sent, kLogin + c.sent) << c.name;
    ASSERT_EQ(out.result.mails.size(), 2u) << c.name;
    const MailEntry& first = out.result.mails[0];
    EXPECT_EQ(first.subject, PlainResult().mails[0].subject) << c.name;
    EXPECT_EQ(first.from, PlainResult().mails[0].from) << c.name;
    EXPECT_EQ(first.message_id, PlainResult().mails[0].message_id) << c.name;
    EXPECT_EQ(first.body.substr(0, 9), ".dot line") << c.name;
    ExpectSameEntries({PlainResult().mails[1]}, {out.result.mails[1]}, c.name);
  }
}

// ---- UIDL and the cache ----

class SurveyUidl : public ::testing::Test {
 protected:
  void SetUp() override {
    // The cache knows message "u1" as something the server no longer says:
    // a row that shows it was taken from the cache, not fetched.
    UidlCache cache("tarnu.uidl", kSurveyFieldsVersion);
    cache.Load();
    cache.Select(kBox);
    MailEntry known;
    known.subject = "cached one";
    known.message_id = "<one@example.jp>";
    known.size = 321;
    const std::vector<std::string_view> ids = {"u1"};
    ASSERT_TRUE(cache.Store({known}, ids, {true}));
  }

  Outcome Survey(const Script& script, bool pipelining, std::size_t largest = 0) {
    UidlCache cache("tarnu.uidl", kSurveyFieldsVersion);
    cache.Load();
    cache.Select(kBox);
    uidl.cache = &cache;
    return RunSurvey(script, pipelining, &uidl, largest);
  }

  ScratchDir dir;
  UidlUse uidl;
  const UidlMailbox kBox{"127.0.0.1", 0, "alice", 2};
};

TEST_F(SurveyUidl, KnownMessagesAreNotFetched) {
  const Script listings = {{'S', "+OK\r\n1 u1\r\n2 u2\r\n.\r\n"},
                           {'S', "+OK\r\n1 321\r\n2 179\r\n.\r\n"}};
  struct Case {
    const char* name;
    bool pipelining;
    Script script;
    std::string sent;
  } cases[] = {
      {"one command at a time", false,
       Script{{'E', "UIDL\r\n"},
              listings[0],
              {'E', "LIST\r\n"},
              listings[1],
              {'E', "TOP 2 2\r\n"},
              {'S', "+OK\r\n" + kSecondTop},
              {'E', "QUIT\r\n"}},
       "UIDL\r\nLIST\r\nTOP 2 2\r\nQUIT\r\n"},
      {"pipelined", true,
       Script{{'E', "CAPA\r\n"},
              {'S', kCaps},
              {'E', "UIDL\r\n"},
              {'E', "LIST\r\n"},
              listings[0],
              listings[1],
              {'E', "TOP 2 2\r\n"},
              {'S', "+OK\r\n" + kSecondTop},
              {'E', "QUIT\r\n"}},
       "CAPA\r\nUIDL\r\nLIST\r\nTOP 2 2\r\nQUIT\r\n"},
  };
  for (const Case& c : cases) {
    Outcome out = Survey(kOpen + c.script, c.pipelining);
    EXPECT_EQ(out.code, 0) << c.name << ": " << out.result.error;
    EXPECT_EQ(out.sent, kLogin + c.sent) << c.name << "\n" << out.log;
    ASSERT_EQ(out.result.mails.size(), 2u) << c.name;
    EXPECT_EQ(out.result.mails[0].subject, "cached one") << c.name;
    EXPECT_EQ(out.result.mails[0].size, 321) << c.name;
    ExpectSameEntries({PlainResult().mails[1]}, {out.result.mails[1]}, c.name);
    EXPECT_TRUE(uidl.listed) << c.name;
    EXPECT_EQ(uidl.uids, (std::vector<std::string_view>{"u1", "u2"})) << c.name;
    EXPECT_EQ(uidl.fetched, (std::vector<bool>{false, true})) << c.name;
  }
}

// A listing the survey cannot trust is not used: every message is fetched
// as without UIDL, and nothing is offered to the cache. Pipelined, UIDL and
// LIST go out together and both answers are read before any message.
TEST_F(SurveyUidl, ListingsThatCannotBeTrustedAreNotUsed) {
  const std::string sizes = "+OK\r\n1 321\r\n2 179\r\n.\r\n";
  struct Case {
    const char* name;
    std::string uidl_answer;
    std::string list_answer;  // empty: LIST is not asked one command at a time
  } cases[] = {
      {"UIDL refused", "-ERR no\r\n", ""},
      {"UIDL cut short", "+OK\r\n1 u1\r\n.\r\n", sizes},
      {"an id given twice", "+OK\r\n1 u1\r\n2 u1\r\n.\r\n", sizes},
      {"numbers out of order", "+OK\r\n2 u2\r\n1 u1\r\n.\r\n", sizes},
      {"an id with a control byte", "+OK\r\n1 u1\r\n2 u\x01\r\n.\r\n", sizes},
      {"LIST refused", "+OK\r\n1 u1\r\n2 u2\r\n.\r\n", "-ERR no\r\n"},
      {"LIST cut short", "+OK\r\n1 u1\r\n2 u2\r\n.\r\n", "+OK\r\n1 321\r\n.\r\n"},
      // Neither is ever held whole.
      {"UIDL of 12 MiB", "+OK\r\n1 u1\r\n2 u2\r\n" + Junk("3 u3\r\n") + ".\r\n", sizes},
      {"LIST of 12 MiB", "+OK\r\n1 u1\r\n2 u2\r\n.\r\n",
       "+OK\r\n1 321\r\n2 179\r\n" + Junk("3 100\r\n") + ".\r\n"},
  };
  const std::string all_at_once =
      "+OK 1 321\r\n+OK\r\n" + kFirstTop + "+OK 2 179\r\n+OK\r\n" + kSecondTop;
  for (const Case& c : cases) {
    for (bool pipelining : {false, true}) {
      const std::string name = std::string(c.name) + (pipelining ? ", pipelined" : "");
      Script script = kOpen;
      std::string sent;
      if (!pipelining) {
        script = script + Script{{'E', "UIDL\r\n"}, {'S', c.uidl_answer}};
        sent = "UIDL\r\n";
        if (!c.list_answer.empty()) {
          script = script + Script{{'E', "LIST\r\n"}, {'S', c.list_answer}};
          sent += "LIST\r\n";
        }
        script = script + kPlain;
        sent += kPlainSent;
      } else {
        script =
            script +
            Script{{'E', "CAPA\r\n"},    {'S', kCaps},
                   {'E', "UIDL\r\n"},    {'E', "LIST\r\n"},
                   {'S', c.uidl_answer}, {'S', c.list_answer.empty() ? sizes : c.list_answer}} +
            kBatch + Script{{'S', all_at_once}, {'E', "QUIT\r\n"}};
        sent = "CAPA\r\nUIDL\r\nLIST\r\n" + kPlainSent;
      }
      Outcome out = Survey(script, pipelining, kLargestBlock);
      EXPECT_EQ(out.code, 0) << name << ": " << out.result.error;
      EXPECT_EQ(out.sent, kLogin + sent) << name << "\n" << out.log;
      EXPECT_TRUE(out.problems.empty()) << name << "\n" << out.log;
      ExpectSameEntries(PlainResult().mails, out.result.mails, name);
      EXPECT_FALSE(uidl.listed) << name;
      EXPECT_TRUE(uidl.fetched.empty()) << name;
    }
  }
}

TEST_F(SurveyUidl, AKnownIdWithAnotherSizeIsFetchedAgain) {
  Outcome out = Survey(kOpen + Script{{'E', "UIDL\r\n"},
                                      {'S', "+OK\r\n1 u1\r\n2 u2\r\n.\r\n"},
                                      {'E', "LIST\r\n"},
                                      {'S', "+OK\r\n1 322\r\n2 179\r\n.\r\n"},
                                      {'E', "TOP 1 2\r\n"},
                                      {'S', "+OK\r\n" + kFirstTop},
                                      {'E', "TOP 2 2\r\n"},
                                      {'S', "+OK\r\n" + kSecondTop},
                                      {'E', "QUIT\r\n"}},
                       false);
  EXPECT_EQ(out.code, 0) << out.result.error;
  ASSERT_EQ(out.result.mails.size(), 2u);
  EXPECT_EQ(out.result.mails[0].subject, "one");
  EXPECT_EQ(out.result.mails[0].size, 322);
  EXPECT_EQ(uidl.fetched, (std::vector<bool>{true, true}));
}

TEST(ParseListing, Table) {
  struct Case {
    const char* listing;
    int total;
    bool unique;
    bool ok;
  } cases[] = {
      {"1 a\r\n2 b\r\n", 2, true, true},
      {"", 0, true, true},
      {"1 a\r\n", 2, true, false},                // cut
      {"1 a\r\n2 b\r\n3 c\r\n", 2, true, false},  // one too many
      {"1 a\r\n2 a\r\n", 2, true, false},         // the same id twice
      {"1 a\r\n2 a\r\n", 2, false, true},         // sizes may repeat
      {"1 a\r\n3 b\r\n", 2, true, false},         // a number skipped
      {"1 \r\n2 b\r\n", 2, true, false},          // empty id
      {"1 a b\r\n2 c\r\n", 2, true, false},       // a blank inside an id
      {"1 a\r\n2 b", 2, true, false},             // the last line unended
      {"1a\r\n2 b\r\n", 2, true, false},          // no blank after the number
  };
  for (const Case& c : cases) {
    std::vector<std::string_view> values;
    EXPECT_EQ(ParseListing(c.listing, c.total, c.unique, &values), c.ok) << Escape(c.listing);
  }
  std::vector<std::string_view> values;
  ASSERT_TRUE(ParseListing("1 x\r\n2 " + std::string(70, 'y') + "\r\n", 2, true, &values));
  EXPECT_EQ(values[1].size(), 70u);
  EXPECT_FALSE(ParseListing("1 x\r\n2 " + std::string(71, 'y') + "\r\n", 2, true, &values));
}

}  // namespace
}  // namespace tarnu
