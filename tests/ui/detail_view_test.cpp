#include "ui/detail_view.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/screen_text.h"

namespace tarnu {
namespace {

TEST(DetailView, QuotedCopy) {
  struct Case {
    const char* what;
    std::u16string text;
    std::size_t start, end;
    std::u16string quote;
    std::u16string copied;
  };
  const std::u16string body = u"line one\r\nline two\r\n";
  const std::vector<Case> cases = {
      {"whole text: every line quoted, one more after the last break", body, 0, 0, u"> ",
       u"> line one\r\n> line two\r\n> "},
      {"selection inside a line: quoted once", body, 5, 8, u"> ", u"> one"},
      {"selection across a break", body, 5, 14, u"> ", u"> one\r\n> line"},
      {"right to left gives the same", body, 14, 5, u"> ", u"> one\r\n> line"},
      {"empty quote copies as it is", body, 0, 0, u"", body},
      {"empty body copies nothing", u"", 0, 0, u"> ", u""},
      {"empty selection in an empty body", u"", 3, 3, u"> ", u""},
      {"a caret without selection takes the whole text", u"ab", 1, 1, u"|", u"|ab"},
      {"an end past the text is cut to it", u"ab", 1, 9, u"|", u"|b"},
      {"Japanese quote", u"\u3042\n\u3044", 0, 0, u"\u300B", u"\u300B\u3042\n\u300B\u3044"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(QuotedCopy(c.text, c.start, c.end, c.quote), c.copied) << c.what;
  }
}

TEST(DetailView, BodyLinesEndInCrLfForTheEdit) {
  EXPECT_EQ(BodyForScreen("a\r\nb\nc\rd\r\n"), u"a\r\nb\r\nc\r\nd\r\n");
  EXPECT_EQ(BodyForScreen(""), u"");
}

TEST(DetailView, Texts) {
  ResultRow row;
  row.mail.subject = "\xE3\x81\x82 folded\r\n subject";  // あ, mail text is UTF-8
  row.mail.from = "Taro <taro@example.jp>";
  row.mail.to = "me@example.jp,\r\n\tyou@example.jp";
  row.mail.cc = "";
  row.mail.body = "first\nsecond";
  row.mail.size = -1;  // shown as the unsigned 32-bit value
  DetailTexts texts = LoadDetailTexts(row);
  EXPECT_EQ(texts.subject, u"\u3042 folded subject");
  EXPECT_EQ(texts.from, u"Taro <taro@example.jp>");
  EXPECT_EQ(texts.to, u"me@example.jp,\tyou@example.jp");
  EXPECT_EQ(texts.cc, u"");
  EXPECT_EQ(texts.body, u"first\r\nsecond");
  EXPECT_EQ(texts.size, SettingsTextToScreen("本文 (全文取得時のサイズ: 4294967295バイト)"));
  EXPECT_EQ(SizeLabel(1234), SettingsTextToScreen("本文 (全文取得時のサイズ: 1234バイト)"));
}

TEST(DetailView, LayoutFollowsTheFrame) {
  const Box body = {10, 120, 400, 170};
  const Box button = {0, 0, 75, 23};
  const Box wide = {0, 0, 90, 23};
  DetailLayout l = LayOutDetail(441, 368, body, wide, button, button, 10, 40);
  EXPECT_EQ(l.body.left, 10);
  EXPECT_EQ(l.body.top, 120);
  EXPECT_EQ(l.body.width, 441 - 10 - 10);
  EXPECT_EQ(l.body.height, 368 - 40 - 120);
  EXPECT_EQ(l.close.left, 441 - 10 - 75);
  EXPECT_EQ(l.close.top, 368 - 10 - 23);
  EXPECT_EQ(l.full_text.left, 441 - 20 - 2 * 75);
  EXPECT_EQ(l.copy.left, 441 - 30 - 2 * 75 - 90);
  EXPECT_EQ(l.copy.width, 90);
  EXPECT_EQ(l.copy.top, l.close.top);
  // Smaller than the fixed parts: nothing turns negative.
  l = LayOutDetail(15, 100, body, wide, button, button, 10, 40);
  EXPECT_EQ(l.body.width, 0);
  EXPECT_EQ(l.body.height, 0);
}

}  // namespace
}  // namespace tarnu
