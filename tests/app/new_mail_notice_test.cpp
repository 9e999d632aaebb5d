#include "app/new_mail_notice.h"

#include <gtest/gtest.h>

namespace tarnu {
namespace {

std::string Utf8(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out;
}

TEST(SenderName, TheDisplayNameElseTheAddress) {
  struct Case {
    const char16_t* from;
    const char16_t* name;
  } cases[] = {
      {u"佐藤 花子 <hanako@example.jp>", u"佐藤 花子"},
      {u"\"Tanaka, Taro\" <tanaka@example.com>", u"Tanaka, Taro"},
      {u"<news@example.com>", u"news@example.com"},
      {u"\"\" <news@example.com>", u"news@example.com"},
      {u"plain@example.com", u"plain@example.com"},
      {u"  spaced@example.com  ", u"spaced@example.com"},
      {u"Odd <unclosed@example.com", u"Odd"},
      {u"<unclosed@example.com", u"unclosed@example.com"},
      {u"", u""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SenderName(c.from), c.name) << Utf8(c.from);
  }
}

CheckReport Report(int new_count, std::vector<NewMailNote> notes) {
  CheckReport report;
  report.hosts_checked = 1;
  report.new_count = new_count;
  report.message_count = new_count;
  report.first_new = std::move(notes);
  return report;
}

// Mail text is UTF-8, as the survey leaves it.
TEST(NewMailNoticeFor, CountSendersAndSubjectsOfTheFirstNewMail) {
  const std::string long_subject(80, 'x');
  struct Case {
    const char* what;
    CheckReport report;
    const char16_t* title;
    std::u16string text;
  } cases[] = {
      {"one message",
       Report(1, {{u8"佐藤 花子 <hanako@example.jp>", u8"来週の打ち合わせについて"}}),
       u"新着メール 1 通", u"佐藤 花子: 来週の打ち合わせについて"},
      {"more than are named",
       Report(5, {{"a@example.com", "one"}, {"b@example.com", "two"}, {"c@example.com", "three"}}),
       u"新着メール 5 通",
       u"a@example.com: one\nb@example.com: two\nc@example.com: three\nほか 2 通"},
      {"nothing to name", Report(2, {}), u"新着メール 2 通", u"ほか 2 通"},
      {"no sender, no subject", Report(1, {{"", ""}}), u"新着メール 1 通",
       u"(差出人なし): (件名なし)"},
      {"a folded subject is one line", Report(1, {{"x@example.com", "Re: part one\r\n part two"}}),
       u"新着メール 1 通", u"x@example.com: Re: part one part two"},
      {"a long line is cut", Report(1, {{"x@example.com", long_subject}}), u"新着メール 1 通",
       u"x@example.com: " + std::u16string(44, u'x') + u"\x2026"},
  };
  for (const Case& c : cases) {
    std::optional<NewMailNotice> notice = NewMailNoticeFor(c.report, true);
    ASSERT_TRUE(notice) << c.what;
    EXPECT_EQ(notice->title, c.title) << c.what;
    EXPECT_EQ(notice->text, c.text) << c.what << ": " << Utf8(notice->text);
    EXPECT_LE(notice->text.size(), kNoticeTextChars) << c.what;
  }
}

TEST(NewMailNoticeFor, NoneWhenSwitchedOffOrNothingIsNew) {
  EXPECT_FALSE(NewMailNoticeFor(Report(3, {{"a", "b"}}), false));
  EXPECT_FALSE(NewMailNoticeFor(Report(0, {}), true));
}

}  // namespace
}  // namespace tarnu
