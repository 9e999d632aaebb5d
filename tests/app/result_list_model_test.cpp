#include "app/result_list_model.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/screen_text.h"
#include "app/text_fit.h"

namespace tarnu {
namespace {

ResultListRow Row(const std::string& host, const std::string& subject) {
  ResultListRow row;
  row.state_picture = 1;
  row.small_picture = 0;
  row.columns = {host, subject, "From <a@b>", "1234", "body", ""};
  row.record = ResultRow();
  return row;
}

TEST(ResultListModel, KeepsTheRowAndItsScreenFormInListOrder) {
  ResultListModel model;
  model.InsertResultRow(0, Row("A", "a1"));
  model.InsertResultRow(1, Row("", "a2"));
  model.InsertResultRow(0, Row("B", "b1"));   // a later host goes in front
  model.InsertResultRow(99, Row("", "end"));  // past the end appends
  model.InsertResultRow(-5, Row("", "front"));
  std::vector<std::u16string> subjects;
  for (std::size_t i = 0; i < model.size(); ++i) {
    EXPECT_EQ(model.screen_row(i).columns[1], SettingsTextToScreen(model.row(i).columns[1]));
    subjects.push_back(model.screen_row(i).columns[1]);
  }
  EXPECT_EQ(subjects, (std::vector<std::u16string>{u"front", u"b1", u"a1", u"a2", u"end"}));
  model.Erase(1);
  model.Erase(99);  // nothing there
  EXPECT_EQ(model.size(), 4u);
  EXPECT_EQ(model.row(1).columns[1], "a1");
  model.Clear();
  EXPECT_EQ(model.size(), 0u);
}

// A host's block is kept as it came and gives the rows the sink's row by
// row insertion would; blocks and single rows mix.
TEST(ResultListModel, HostBlocksGiveTheRowsOneAtATimeWould) {
  auto block = [](const std::string& label, int messages, const std::string& error) {
    auto rows = std::make_shared<HostRows>();
    rows->label = label;
    rows->error = error;
    rows->forward = true;
    auto mails = std::make_shared<std::vector<MailEntry>>();
    for (int i = 0; i < messages; ++i) {
      MailEntry m;
      m.subject = label + std::to_string(i);
      m.body = "a\r\nb";
      m.size = 100 + i;
      m.forwarded = i % 2;
      mails->push_back(m);
      rows->fresh.push_back(i % 3 != 0);
    }
    rows->mails = mails;
    return std::shared_ptr<const HostRows>(rows);
  };
  // A sink that takes rows only one at a time, as the base class makes them.
  struct Single : ResultListSink {
    ResultListModel model;
    void InsertResultRow(int position, const ResultListRow& row) override {
      model.InsertResultRow(position, row);
    }
  } single;
  ResultListModel blocks;
  struct Step {
    int position;
    std::shared_ptr<const HostRows> rows;
  } steps[] = {{0, block("A", 3, "")},
               {0, block("B", 0, "")},
               {0, block("C", 0, "error")},
               {2, block("D", 2, "")},
               {99, block("E", 1, "")}};
  for (const Step& step : steps) {
    blocks.InsertHostRows(step.position, step.rows);
    single.InsertHostRows(step.position, step.rows);
  }
  ASSERT_EQ(blocks.size(), 8u);
  ASSERT_EQ(single.model.size(), 8u);
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const ResultListRow a = blocks.row(i), b = single.model.row(i);
    EXPECT_EQ(a.state_picture, b.state_picture) << i;
    EXPECT_EQ(a.small_picture, b.small_picture) << i;
    EXPECT_EQ(a.columns, b.columns) << i;
    ASSERT_EQ(a.record.has_value(), b.record.has_value()) << i;
    if (a.record) {
      EXPECT_EQ(a.record->number, b.record->number) << i;
    }
  }
  EXPECT_EQ(blocks.row(0).columns[0], "C");
  EXPECT_EQ(blocks.row(1).columns[0], "B");
  EXPECT_EQ(blocks.row(2).columns[0], "D");
  EXPECT_EQ(blocks.row(4).columns[0], "A");
  EXPECT_EQ(blocks.row(4).columns[4], "ab");
  EXPECT_EQ(blocks.row(7).columns[0], "E");
}

TEST(ResultListModel, ScreenFormOfEachColumn) {
  ResultListRow row;
  row.state_picture = 2;
  row.small_picture = 9;
  row.columns = {"\x83\x65\x83\x58\x83\x67",    // テスト, the host name
                 "\xE3\x81\x82\r\n folded",     // あ, a folded subject (UTF-8 mail text)
                 "Taro\r\n <taro@example.jp>",  // a folded sender
                 "4294967295",                  // size
                 "line oneline two",            // body, breaks already gone
                 "\x93\x5D\x91\x97\x8D\xCF"};   // 転送済
  ScreenRow screen = ScreenRowOf(row);
  EXPECT_EQ(screen.state_picture, 2);
  EXPECT_EQ(screen.small_picture, 9);
  const std::u16string expected[kResultColumns] = {
      u"\u30C6\u30B9\u30C8", u"\u3042 folded",    u"Taro <taro@example.jp>",
      u"4294967295",         u"line oneline two", u"\u8EE2\u9001\u6E08"};
  for (int i = 0; i < kResultColumns; ++i) EXPECT_EQ(screen.columns[i], expected[i]) << i;
  // The row itself keeps what the check stored.
  EXPECT_EQ(row.columns[1], "\xE3\x81\x82\r\n folded");
}

TEST(ResultListModel, ColumnTable) {
  const char* titles[] = {"メールサーバ", "題名", "送信者", "サイズ", "本文", "状態"};
  const int widths[] = {100, 150, 100, 50, 200, 100};
  for (int i = 0; i < kResultColumns; ++i) {
    EXPECT_STREQ(kResultColumnTable[i].title, titles[i]);
    EXPECT_EQ(kResultColumnTable[i].width, widths[i]);
  }
}

// UTF-16 cells are shortened by whole characters: a surrogate pair is never
// split, whatever the width.
TEST(ShortenText16, KeepsSurrogatePairsWhole) {
  auto width = [](std::u16string_view text) { return static_cast<int>(text.size()) * 6; };
  struct Case {
    std::u16string text;
    int width;
    std::u16string expect;
  };
  const std::vector<Case> cases = {
      {u"", 0, u""},
      {u"abcd", 24, u"abcd"},
      {u"abcdefg", 41, u"abc..."},
      {u"a\U0001F4E7bcd", 32, u"a..."},  // half the pair would fit the room of 14
      {u"a\U0001F4E7bcde", 40, u"a\U0001F4E7..."},
      {u"\u3042\u3044\u3046\u3048\u304A\u304B\u304D\u304F", 41, u"\u3042\u3044\u3046..."},
  };
  for (const Case& c : cases) {
    FittedText16 fitted = ShortenText(c.text, c.width, 0, width);
    EXPECT_EQ(fitted.text, c.expect) << c.width;
    EXPECT_EQ(fitted.shortened, c.expect != c.text);
  }
}

}  // namespace
}  // namespace tarnu
