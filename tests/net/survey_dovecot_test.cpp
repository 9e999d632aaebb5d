// The survey and the full retrieval against a real Dovecot holding the
// messages of tests/support/mkmail.py's "fixtures" set.
#include <gtest/gtest.h>

#include <cstdio>

#include "codec/charset.h"

#include <string>
#include <vector>

#include "model/uidl_cache.h"
#include "net/retrieve.h"
#include "net/survey.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::DovecotServer;
using testing::Escape;
using testing::RecordingMessages;
using testing::RecordingStatus;

class DovecotMailbox : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.Start({{"alice", "secret", "fixtures"}, {"bob", "secret", ""}}))
        << server_.error();
    before_ = server_.ListMail("alice");
    ASSERT_EQ(before_.size(), 5u);
  }

  Pop3Account Account(const char* user, bool apop) {
    Pop3Account a;
    a.apop = apop;
    a.user = user;
    a.password = "secret";
    a.server = "127.0.0.1";
    a.port = server_.port();
    a.timeout = 5;
    return a;
  }

  SurveyResult Survey(const char* user, bool apop, int lines) {
    RecordingStatus status("T");
    CountingPump pump;
    RecordingMessages messages;
    SurveyResult result;
    EXPECT_EQ(SurveyMailbox(&status, Account(user, apop), lines, &result, &pump, &messages), 0)
        << result.error;
    EXPECT_EQ(status.title, "T");
    EXPECT_TRUE(messages.shown.empty());
    return result;
  }

  // After `sessions` POP3 sessions have ended: none deleted a message, every
  // message is still there with unchanged contents, `seen` lists the
  // (1-based) messages that carry the seen flag and no other flag appears.
  void ExpectMailboxUntouched(std::size_t sessions, const std::vector<int>& seen) {
    std::vector<std::string> ended = server_.WaitForSessions(sessions);
    ASSERT_EQ(ended.size(), sessions);
    for (const std::string& line : ended) {
      EXPECT_NE(line.find("Logged out"), std::string::npos) << line;
      EXPECT_NE(line.find(" del=0/"), std::string::npos) << line;
    }
    std::vector<DovecotServer::MailFile> after = server_.ListMail("alice");
    ASSERT_EQ(after.size(), before_.size());
    for (std::size_t i = 0; i < after.size(); ++i) {
      EXPECT_EQ(after[i].name, before_[i].name);
      EXPECT_EQ(after[i].contents, before_[i].contents) << after[i].name;
      bool is_seen = false;
      for (int n : seen) is_seen = is_seen || static_cast<std::size_t>(n) == i + 1;
      EXPECT_EQ(after[i].flags, is_seen ? "S" : "") << after[i].name;
    }
  }

  DovecotServer server_;
  std::vector<DovecotServer::MailFile> before_;
};

const std::string kLongSubject = [] {
  std::string s = "L";
  for (int i = 0; i < 110; ++i) s += "0123456789";
  return s;
}();

TEST_F(DovecotMailbox, SurveyWithUserPass) {
  SurveyResult result = Survey("alice", false, 2);
  EXPECT_EQ(result.error, "");
  EXPECT_EQ(result.label, "127.0.0.1");
  EXPECT_EQ(result.mail_count, 5);
  EXPECT_EQ(result.mailbox_size, 2540);
  ASSERT_EQ(result.mails.size(), 5u);
  const std::vector<MailEntry>& m = result.mails;

  // ISO-2022-JP encoded words and body; Delivered-To stands before To.
  EXPECT_EQ(MailTextToCp932(m[0].from), "佐藤 <sato@example.jp>");
  EXPECT_EQ(MailTextToCp932(m[0].subject), "テスト 1");
  EXPECT_EQ(MailTextToCp932(m[0].to), "alice@example.com");
  EXPECT_EQ(MailTextToCp932(m[0].cc), "");
  EXPECT_EQ(m[0].message_id, "<jis-1@example.jp>");
  EXPECT_EQ(Escape(MailTextToCp932(m[0].body)), Escape("これはテストです。\r\n二行目です。\r\n"));
  EXPECT_EQ(m[0].size, 449);

  // EUC-JP body; a subject folded over two encoded words is unfolded, the
  // white space between the words dropped.
  EXPECT_EQ(MailTextToCp932(m[1].from), "Suzuki <suzuki@example.jp>");
  EXPECT_EQ(Escape(MailTextToCp932(m[1].subject)), Escape("日本語の件名"));
  EXPECT_EQ(MailTextToCp932(m[1].cc), "田中 <tanaka@example.jp>");
  EXPECT_EQ(m[1].message_id, "<euc-2@example.jp>");
  EXPECT_EQ(Escape(MailTextToCp932(m[1].body)), Escape("EUC-JPの本文です。\r\n二行目。\r\n"));
  EXPECT_EQ(m[1].size, 410);

  // No Message-ID; Reply-To, Bcc and a "from:" inside the Subject are not
  // taken for To, Cc and From; dots at line starts unstuffed.
  EXPECT_EQ(m[2].message_id, "");
  EXPECT_EQ(MailTextToCp932(m[2].to), "alice@example.com");
  EXPECT_EQ(MailTextToCp932(m[2].cc), "carol@example.org");
  EXPECT_EQ(MailTextToCp932(m[2].from), "Dot Person <dots@example.org>");
  EXPECT_EQ(MailTextToCp932(m[2].subject), "Re: from: nobody");
  EXPECT_EQ(Escape(MailTextToCp932(m[2].body)), Escape(".starts with a dot\r\n..two dots\r\n"));
  EXPECT_EQ(m[2].size, 258);

  // A subject cut to 1021 bytes (1020 after its leading blank); a folded Cc
  // as the last header line kept whole, unfolded.
  EXPECT_EQ(MailTextToCp932(m[3].subject), kLongSubject.substr(0, 1020));
  EXPECT_EQ(Escape(MailTextToCp932(m[3].cc)), Escape("first@example.net,  second@example.net"));
  EXPECT_EQ(MailTextToCp932(m[3].body), "short body\r\n");
  EXPECT_EQ(m[3].size, 1253);

  // Shift_JIS body left as it is; the Subject on the last header line has no
  // stray CR.
  EXPECT_EQ(MailTextToCp932(m[4].subject), "plain");
  EXPECT_EQ(Escape(MailTextToCp932(m[4].body)), Escape("シフトJISの本文\r\nline 2\r\n"));
  EXPECT_EQ(m[4].size, 170);

  ExpectMailboxUntouched(1, {});
}

TEST_F(DovecotMailbox, SurveyWithApopFindsTheSame) {
  SurveyResult plain = Survey("alice", false, 2);
  SurveyResult apop = Survey("alice", true, 2);
  ASSERT_EQ(apop.mails.size(), plain.mails.size());
  for (std::size_t i = 0; i < apop.mails.size(); ++i) {
    EXPECT_EQ(apop.mails[i].from, plain.mails[i].from);
    EXPECT_EQ(apop.mails[i].subject, plain.mails[i].subject);
    EXPECT_EQ(apop.mails[i].message_id, plain.mails[i].message_id);
    EXPECT_EQ(apop.mails[i].body, plain.mails[i].body);
    EXPECT_EQ(apop.mails[i].size, plain.mails[i].size);
  }
  EXPECT_EQ(apop.mailbox_size, 2540);
  ExpectMailboxUntouched(2, {});
}

TEST_F(DovecotMailbox, ZeroAndManyLines) {
  SurveyResult none = Survey("alice", false, 0);
  ASSERT_EQ(none.mails.size(), 5u);
  for (const MailEntry& m : none.mails) EXPECT_EQ(m.body, "");
  EXPECT_EQ(MailTextToCp932(none.mails[0].subject), "テスト 1");

  SurveyResult all = Survey("alice", false, 100);
  ASSERT_EQ(all.mails.size(), 5u);
  EXPECT_EQ(Escape(all.mails[2].body),
            Escape(".starts with a dot\r\n..two dots\r\na..\r\n.\r\nlast line\r\n"));
  ExpectMailboxUntouched(2, {});
}

TEST_F(DovecotMailbox, EmptyMailbox) {
  for (bool apop : {false, true}) {
    SurveyResult result = Survey("bob", apop, 2);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(result.mail_count, 0);
    EXPECT_EQ(result.mailbox_size, 0);
    EXPECT_TRUE(result.mails.empty());
  }
}

TEST_F(DovecotMailbox, RetrieveWholeMessages) {
  for (bool apop : {false, true}) {
    RecordingStatus status("D");
    std::string header, body, error;
    EXPECT_EQ(
        RetrieveMessage(&status, nullptr, 3, 258, Account("alice", apop), &header, &body, &error),
        0)
        << error;
    EXPECT_EQ(Escape(body),
              Escape(".starts with a dot\r\n..two dots\r\na..\r\n.\r\nlast line\r\n"));
    EXPECT_EQ(header.substr(0, 30), "Reply-To: replies@example.org\r");
    EXPECT_EQ(header.back(), '\r');
    EXPECT_EQ(status.title, "D");
    // Received: the 258 octets, three stuffed dots and the terminating line.
    EXPECT_EQ(status.history[status.history.size() - 2], "D(受信中...)[264/258]");
  }
  RecordingStatus status("D");
  std::string header, body, error;
  ASSERT_EQ(
      RetrieveMessage(&status, nullptr, 1, 449, Account("alice", false), &header, &body, &error), 0)
      << error;
  header = MailTextToCp932(header);
  EXPECT_NE(header.find("Subject: テスト 1\r\n"), std::string::npos) << Escape(header);
  EXPECT_NE(header.find("From: 佐藤 <sato@example.jp>\r\n"), std::string::npos);
  EXPECT_EQ(Escape(MailTextToCp932(body)),
            Escape("これはテストです。\r\n二行目です。\r\n三行目は一覧に出ません。\r\n"));

  // RETR is the one command after which Dovecot marks a message seen; nothing
  // is deleted and no message is changed.
  ExpectMailboxUntouched(3, {1, 3});
}

TEST_F(DovecotMailbox, RetrieveAMessageThatIsNotThere) {
  std::string header, body, error;
  EXPECT_EQ(
      RetrieveMessage(nullptr, nullptr, 99, 10, Account("alice", false), &header, &body, &error),
      -1);
  EXPECT_EQ(error,
            "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が"
            "不安定です\r\n-ERR There's no message 99.\r\n");
}

// The same mailbox surveyed with every protocol setting: the fixtures with
// their awkward headers, a mailbox large enough for many pipelined windows,
// multipart mail that needs more lines fetched, and the real-mail corpus.
// UIDL is asked twice, with the cache empty and then knowing every message;
// each gives the entries of the plain survey.
TEST(DovecotBothWays, EverySettingGivesThePlainSurveysEntries) {
  testing::DovecotServer server;
  ASSERT_TRUE(server.Start({{"alice", "secret", "fixtures"},
                            {"carol", "secret", "bulk 400 2048"},
                            {"dave", "secret", "mime 150 2048"},
                            {"erin", "secret", "dir " + testing::SupportDir() + "/../data/mail"}}))
      << server.error();
  testing::ScratchDir dir;
  for (const char* user : {"alice", "carol", "dave", "erin"}) {
    auto survey = [&](bool pipelining, UidlUse* uidl) {
      Pop3Account a;
      a.user = user;
      a.password = "secret";
      a.server = "127.0.0.1";
      a.port = server.port();
      a.timeout = 5;
      a.pipelining = pipelining;
      a.uidl = uidl != nullptr;
      SurveyResult result;
      RecordingMessages messages;
      EXPECT_EQ(SurveyMailbox(nullptr, a, 3, &result, nullptr, &messages, uidl), 0) << result.error;
      return result;
    };
    const SurveyResult plain = survey(false, nullptr);
    ASSERT_GE(plain.mails.size(), 5u);
    for (bool pipelining : {false, true}) {
      for (int uidl_round = -1; uidl_round < 2; ++uidl_round) {
        const std::string where = std::string(user) + (pipelining ? " pipelined" : " plain") +
                                  " uidl round " + std::to_string(uidl_round);
        UidlCache cache("tarnu.uidl", kSurveyFieldsVersion);
        UidlUse uidl;
        if (uidl_round == 0) std::remove("tarnu.uidl");
        if (uidl_round >= 0) {
          cache.Load();
          cache.Select(UidlMailbox{"127.0.0.1", server.port(), user, 3});
          uidl.cache = &cache;
        }
        const SurveyResult got = survey(pipelining, uidl_round >= 0 ? &uidl : nullptr);
        EXPECT_EQ(got.mail_count, plain.mail_count) << where;
        EXPECT_EQ(got.mailbox_size, plain.mailbox_size) << where;
        ASSERT_EQ(got.mails.size(), plain.mails.size()) << where;
        for (std::size_t i = 0; i < got.mails.size(); ++i) {
          const MailEntry& w = plain.mails[i];
          const MailEntry& g = got.mails[i];
          ASSERT_EQ(Escape(g.from + "|" + g.subject + "|" + g.cc + "|" + g.to + "|" + g.body + "|" +
                           g.message_id + "|" + g.history_key + "|" + std::to_string(g.size)),
                    Escape(w.from + "|" + w.subject + "|" + w.cc + "|" + w.to + "|" + w.body + "|" +
                           w.message_id + "|" + w.history_key + "|" + std::to_string(w.size)))
              << where << " message " << i + 1;
        }
        if (uidl_round < 0) continue;
        ASSERT_TRUE(uidl.listed) << where;
        std::size_t fetched = 0;
        for (bool f : uidl.fetched) fetched += f ? 1 : 0;
        EXPECT_EQ(fetched, uidl_round == 0 ? got.mails.size() : 0u) << where;
        ASSERT_TRUE(cache.Store(got.mails, uidl.uids, uidl.fetched, uidl.base_keys)) << where;
      }
    }
  }
}

}  // namespace
}  // namespace tarnu
