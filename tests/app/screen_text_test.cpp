#include "app/screen_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/utf8_text.h"
#include "platform/text_convert.h"

namespace tarnu {
namespace {

TEST(Utf16, FromUtf8) {
  struct Case {
    const char* what;
    std::string utf8;
    std::u16string utf16;
  };
  const std::vector<Case> cases = {
      {"empty", "", u""},
      {"ascii", "abc", u"abc"},
      {"two bytes", "\xC3\xA9", u"\u00E9"},
      {"three bytes", "\xE3\x81\x82", u"\u3042"},
      {"four bytes: a surrogate pair", "\xF0\x9F\x93\xA7", u"\U0001F4E7"},
      {"lone continuation byte", "a\x80z", u"a\uFFFDz"},
      {"cut sequence at the end", "a\xE3\x81", u"a\uFFFD"},
      {"cut sequence before ascii", "\xE3\x81z", u"\uFFFDz"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD\uFFFD"},
      // One U+FFFD per maximal start of a sequence, as Python's decoder does.
      {"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
      {"surrogate encoded", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"past U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"0xFF", "\xFF", u"\uFFFD"},
  };
  for (const Case& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.what;
}

TEST(Utf16, ToUtf8RoundTripsAndReplacesLoneSurrogates) {
  for (std::u16string text : {u"", u"abc", u"\u00E9\u3042", u"\U0001F4E7x"}) {
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(text)), text);
  }
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{char16_t(0xDC00), u'a'}),
            "\xEF\xBF\xBD"
            "a");
}

TEST(ScreenText, SettingsTextIsCodePage932BothWays) {
  const std::string host = "\x83\x65\x83\x58\x83\x67";  // テスト
  EXPECT_EQ(SettingsTextToScreen(host), u"\u30C6\u30B9\u30C8");
  EXPECT_EQ(SettingsTextFromScreen(u"\u30C6\u30B9\u30C8"), host);
  // What code page 932 lacks cannot be stored.
  EXPECT_EQ(SettingsTextFromScreen(u"a\u00E9"), "a?");
}

TEST(ScreenText, OneLineUnfoldsFoldedValues) {
  struct Case {
    std::u16string value;
    std::u16string shown;
  };
  const std::vector<Case> cases = {
      {u"plain", u"plain"},
      {u"folded\r\n over", u"folded over"},
      {u"folded\r\n\tover tab", u"folded\tover tab"},
      {u"bare\nLF", u"bare LF"},
      {u"bare\rCR", u"bare CR"},
      {u"two\r\n\r\n folds", u"two  folds"},
      {u"\r\n", u" "},
  };
  for (const Case& c : cases) EXPECT_EQ(OneLine(c.value), c.shown);
}

}  // namespace
}  // namespace tarnu
