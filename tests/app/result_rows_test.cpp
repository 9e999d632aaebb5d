#include "app/result_rows.h"

#include <gtest/gtest.h>

#include "app/result_list_model.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

MailEntry Mail(const std::string& id, const std::string& subject = "") {
  MailEntry m;
  m.message_id = id;
  m.subject = subject;
  return m;
}

HostEntry Host(const std::string& name) {
  HostEntry h;
  h.name = name;
  h.server = name + ".example";
  h.user = "u-" + name;
  h.password = "p-" + name;
  h.pop3_port = 1100;
  h.apop = true;
  h.timeout = 7;
  return h;
}

SurveyResult Result(const std::string& label, std::vector<MailEntry> mails) {
  SurveyResult r;
  r.label = label;
  r.mail_count = static_cast<std::int32_t>(mails.size());
  r.mails = std::move(mails);
  return r;
}

TEST(AddResultRows, LaterHostsComeFirstAndEachHostsMessagesInOrder) {
  ResultListModel list;
  int new_count = 0;
  HostEntry a = Host("A"), b = Host("B");
  SurveyResult ra = Result("A", {Mail("<a1>", "A1"), Mail("<a2>", "A2")});
  SurveyResult rb = Result("B", {Mail("<b1>", "B1"), Mail("<b2>", "B2")});
  ra.mails[1].size = 1234;
  AddResultRows(a, ra, SurveyResult(), &new_count, &list);
  AddResultRows(b, rb, SurveyResult(), &new_count, &list);

  ASSERT_EQ(list.size(), 4u);
  const char* subjects[] = {"B1", "B2", "A1", "A2"};
  const char* hosts[] = {"B", "", "A", ""};
  const int state_pictures[] = {1, 4, 1, 4};
  const int numbers[] = {1, 2, 1, 2};
  for (int i = 0; i < 4; ++i) {
    const ResultListRow row = list.row(i);
    EXPECT_EQ(row.columns[1], subjects[i]) << i;
    EXPECT_EQ(row.columns[0], hosts[i]) << i;
    EXPECT_EQ(row.state_picture, state_pictures[i]) << i;
    EXPECT_EQ(row.small_picture, 0) << i;
    ASSERT_TRUE(row.record.has_value()) << i;
    EXPECT_EQ(row.record->number, numbers[i]) << i;
    EXPECT_EQ(row.record->mail.subject, subjects[i]) << i;
  }
  EXPECT_EQ(list.row(3).columns[3], "1234");
  EXPECT_EQ(list.row(2).columns[3], "0");
  const ResultRow record = *list.row(0).record;
  // The detail window fetches the message again with the host's account.
  EXPECT_EQ(record.account->server, "B.example");
  EXPECT_EQ(record.account->user, "u-B");
  EXPECT_EQ(record.account->password, "p-B");
  EXPECT_EQ(record.account->port, 1100);
  EXPECT_TRUE(record.account->apop);
  EXPECT_EQ(record.account->timeout, 7);
  EXPECT_EQ(new_count, 4);
}

TEST(AddResultRows, HostWithoutMessagesGetsOneRowWithoutRecord) {
  struct Case {
    const char* error;
    int state_picture;
    const char* state;
  } cases[] = {
      {"", 1, "メッセージはありません"},
      {"サーバからの応答がありません", 2, "サーバからの応答がありません"},
  };
  for (const Case& c : cases) {
    ResultListModel list;
    list.InsertResultRow(0, ResultListRow());  // a row of an earlier host
    SurveyResult r = Result("host", {});
    r.error = c.error;
    int new_count = 5;
    SurveyResult history = Result("host", {Mail("<old>")});
    AddResultRows(Host("host"), r, history, &new_count, &list);
    ASSERT_EQ(list.size(), 2u);
    const ResultListRow row = list.row(0);
    EXPECT_EQ(row.state_picture, c.state_picture);
    EXPECT_EQ(row.small_picture, 9);
    EXPECT_EQ(row.columns[0], "host");
    for (int col = 1; col <= 4; ++col) EXPECT_EQ(row.columns[col], "") << col;
    EXPECT_EQ(Hex(row.columns[5]), Hex(c.state));
    EXPECT_FALSE(row.record.has_value());
    EXPECT_EQ(new_count, 5);
  }
}

TEST(AddResultRows, PicturesAndStateColumn) {
  struct Case {
    const char* name;
    bool seen;
    bool host_forwards;
    std::uint8_t forwarded;
    const char* state_text;
    const char* survey_error;
    int small_picture;
    const char* column;
  } cases[] = {
      {"seen before", true, true, 0, "", "", 1, ""},
      {"seen before keeps its state", true, false, 0, "転送条件外", "", 1, "転送条件外"},
      {"new, host does not forward", false, false, 0, "", "", 0, ""},
      {"new, forwarded", false, true, 1, "", "", 2, "転送済"},
      {"new, refused by conditions", false, true, 0, "転送条件外", "", 3, "転送条件外"},
      {"new, forwarding failed", false, true, 0, "転送時サーバからの応答がありません", "", 3,
       "転送時サーバからの応答がありません"},
      // The survey's error text sits between the forwarded mark and the state.
      {"forwarded with an error text", false, true, 1, "S", "E", 2, "転送済ES"},
      {"error text before the state", false, true, 0, "S", "E", 3, "ES"},
  };
  for (const Case& c : cases) {
    HostEntry host = Host("h");
    host.forward = c.host_forwards;
    MailEntry mail = Mail("<m>");
    mail.forwarded = c.forwarded;
    mail.state = c.state_text;
    SurveyResult current = Result("h", {mail});
    current.error = c.survey_error;
    SurveyResult history = Result("h", {Mail(c.seen ? "<m>" : "<other>")});
    ResultListModel list;
    int new_count = 0;
    AddResultRows(host, current, history, &new_count, &list);
    ASSERT_EQ(list.size(), 1u) << c.name;
    EXPECT_EQ(list.row(0).small_picture, c.small_picture) << c.name;
    EXPECT_EQ(Hex(list.row(0).columns[5]), Hex(c.column)) << c.name;
    EXPECT_EQ(new_count, c.seen ? 0 : 1) << c.name;
  }
}

TEST(AddResultRows, CountsNewMessagesAgainstTheHistoryOnly) {
  HostEntry host = Host("h");
  SurveyResult current = Result("h", {Mail("<1>"), Mail("<2>"), Mail("<3>")});
  SurveyResult history = Result("h", {Mail("<1>"), Mail("<3>")});
  ResultListModel list;
  int new_count = 2;
  AddResultRows(host, current, history, &new_count, &list);
  EXPECT_EQ(new_count, 3);
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list.row(0).small_picture, 1);
  EXPECT_EQ(list.row(1).small_picture, 0);
  EXPECT_EQ(list.row(2).small_picture, 1);
}

TEST(AddResultRows, ColumnTexts) {
  MailEntry mail = Mail("<m>", "件名");
  mail.from = "差出人 <a@b>";
  mail.body = "一行目\r\n二行目\r\nthird\nfourth\r";
  mail.size = -1;  // shown as the unsigned value, the same on every platform
  ResultListModel list;
  int new_count = 0;
  AddResultRows(Host("h"), Result("h", {mail}), SurveyResult(), &new_count, &list);
  ASSERT_EQ(list.size(), 1u);
  const ResultListRow row = list.row(0);
  EXPECT_EQ(row.columns[1], "件名");
  EXPECT_EQ(row.columns[2], "差出人 <a@b>");
  EXPECT_EQ(row.columns[3], "4294967295");
  EXPECT_EQ(Hex(row.columns[4]), Hex("一行目二行目thirdfourth"));
  EXPECT_EQ(row.record->mail.body, mail.body);  // the record keeps the whole body
}

TEST(StripLineBreaks, RemovesOnlyCrAndLf) {
  EXPECT_EQ(StripLineBreaks(""), "");
  EXPECT_EQ(StripLineBreaks("\r\n\r\n"), "");
  EXPECT_EQ(StripLineBreaks("a\r\nb\tc\n\rd\x0B"), "ab\tcd\x0B");
  // Line-break look-alike trail bytes do not exist (trail bytes start at 0x40),
  // so a plain byte scan is safe for code page 932.
  EXPECT_EQ(Hex(StripLineBreaks("\x83\x41\r\n\x83\x5C")), Hex("\x83\x41\x83\x5C"));
}

}  // namespace
}  // namespace tarnu
