#include "model/mail_entry.h"

#include <gtest/gtest.h>

#include <random>

namespace tarnu {
namespace {

MailEntry Mail(const std::string& id) {
  MailEntry m;
  m.message_id = id;
  return m;
}

SurveyResult History(std::initializer_list<const char*> ids) {
  SurveyResult r;
  for (const char* id : ids) r.mails.push_back(Mail(id));
  return r;
}

TEST(IsNewMail, ComparesMessageIdExactly) {
  SurveyResult history = History({"<a@x>", "<b@x>"});
  HistoryIndex index(history);
  struct Case {
    const char* id;
    bool is_new;
  } cases[] = {
      {"<a@x>", false}, {"<A@x>", true},  // no case folding
      {" <a@x>", true},                   // no trimming
      {"<a@x> ", true}, {"<c@x>", true}, {"", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsNewMail(Mail(c.id), history), c.is_new) << c.id;
    EXPECT_EQ(index.IsNewMail(Mail(c.id)), c.is_new) << c.id;
  }
}

TEST(IsNewMail, EmptyHistoryMakesEverythingNew) {
  SurveyResult empty;
  EXPECT_TRUE(IsNewMail(Mail(""), empty));
  EXPECT_TRUE(HistoryIndex(empty).IsNewMail(Mail("<a@x>")));
}

TEST(IsNewMail, EmptyMessageIdIsSeenOnceHistoryHoldsOne) {
  SurveyResult history = History({""});
  EXPECT_FALSE(IsNewMail(Mail(""), history));
  EXPECT_FALSE(HistoryIndex(history).IsNewMail(Mail("")));
}

TEST(IsNewMail, OnlyTheMessageIdTakesPart) {
  SurveyResult history = History({"<a@x>"});
  MailEntry other = Mail("<a@x>");
  other.subject = "different";
  other.size = 99;
  EXPECT_FALSE(IsNewMail(other, history));
}

TEST(ReplaceHistory, KeepsMessagesWhenCurrentIsEmpty) {
  SurveyResult history = History({"<a@x>"});
  history.label = "old";
  SurveyResult failed;
  failed.mail_count = 2;
  failed.mailbox_size = 10;
  failed.label = "host";
  failed.error = "サーバからの応答がありません";
  ReplaceHistory(&history, failed);
  EXPECT_EQ(history.mail_count, 2);
  EXPECT_EQ(history.mailbox_size, 10);
  EXPECT_EQ(history.label, "host");
  EXPECT_EQ(history.error, failed.error);
  ASSERT_EQ(history.mails.size(), 1u);
  EXPECT_EQ(history.mails[0].message_id, "<a@x>");
}

TEST(ReplaceHistory, ReplacesMessagesWhenCurrentHasAny) {
  SurveyResult history = History({"<a@x>", "<b@x>"});
  SurveyResult current = History({"<c@x>"});
  ReplaceHistory(&history, current);
  // Kept as the keys alone.
  EXPECT_EQ(HistoryKeys(history), std::vector<std::string>{"<c@x>"});
  EXPECT_TRUE(history.mails.empty());
  EXPECT_TRUE(history.error.empty());
}

TEST(SurveyResultCopy, EmptySourceEmptiesTarget) {
  SurveyResult target = History({"<a@x>"});
  target = SurveyResult();
  EXPECT_TRUE(target.mails.empty());
}

TEST(MailEntry, ResetClearsEveryField) {
  MailEntry m;
  m.from = m.subject = m.cc = m.body = m.to = m.message_id = m.state = "x";
  m.forwarded = 1;
  m.size = 5;
  m.Reset();
  EXPECT_TRUE(m.from.empty() && m.subject.empty() && m.cc.empty() && m.body.empty() &&
              m.to.empty() && m.message_id.empty() && m.state.empty());
  EXPECT_EQ(m.forwarded, 0);
  EXPECT_EQ(m.size, 0);
}

// The hashed index answers exactly as the linear lookup does, over random
// histories with duplicate, empty and case-differing Message-IDs.
TEST(HistoryIndex, AgreesWithIsNewMail) {
  std::mt19937 random(7);
  const char* pool[] = {"", "<a@x>", "<A@x>", "<b@x>", " <b@x>", "<c@y>", "<d@y>", "<e@z>"};
  for (int round = 0; round < 200; ++round) {
    SurveyResult history;
    for (int i = random() % 6; i > 0; --i) history.mails.push_back(Mail(pool[random() % 8]));
    HistoryIndex index(history);
    for (const char* id : pool) {
      EXPECT_EQ(index.IsNewMail(Mail(id)), IsNewMail(Mail(id), history)) << id;
    }
  }
}

}  // namespace
}  // namespace tarnu
