#include "app/forward_rule.h"

#include <gtest/gtest.h>

#include "platform/text_convert.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

// The tables hold code page 932 texts, so they keep the results they always
// gave; the mail's text reaches MatchListItem as UTF-8.
bool Match(const char* cp932_text, const char* list) {
  return MatchListItem(platform::Cp932ToUtf8(cp932_text), list);
}

TEST(MatchListItem, ItemsAndTrimming) {
  struct Case {
    const char* text;
    const char* list;
    bool match;
  } cases[] = {
      {"anything", "", false},
      {"anything", ",,, ,\t,", false},
      {"", "a", false},
      {"xbx", "a,,b", true},
      {"xbx", " a , b ", true},
      {"xbx", "a,b,", true},
      {"xax", "a,b,", true},
      {"xcx", "a,b,", false},
      {"a b", " a b ", true},  // inner space is part of the item
      {"ab", " a b ", false},
      {"x", "\t\r\n\v\fx\f\v\n\r\t", true},
      // The full-width space (81 40) is not trimmed.
      {"a",
       "\x81\x40"
       "a",
       false},
      {"\x81\x40"
       "a",
       "\x81\x40"
       "a",
       true},
      {"Re: Report", " re: ", true},
      {"Report", " re: ", false},
      {"これはテストです", "報告,テスト", true},
      {"これはテストです", "報告,試験", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Match(c.text, c.list), c.match) << Hex(c.text) << " / " << Hex(c.list);
  }
}

TEST(MatchListItem, LetterCaseIgnoredThroughCodePage932) {
  struct Case {
    const char* text;
    const char* list;
    bool match;
  } cases[] = {
      {"URGENT report", "urgent", true},
      {"urgent", "URGENT", true},
      {"ＵＲＧＥＮＴ", "ｕｒｇｅｎｔ", true},  // full-width Latin
      {"ｕｒｇｅｎｔ", "ＵＲＧＥＮＴ", true},
      {"αβγ", "ΑΒΓ", true},               // Greek
      {"ПРИВЕТ", "привет", true},         // Cyrillic
      {"ёж", "ЁЖ", true},                 // Cyrillic yo sits apart in the code page
      {"ＵＲＧＥＮＴ", "urgent", false},  // full-width is not half-width
      {"urgent", "ｕｒｇｅｎｔ", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Match(c.text, c.list), c.match) << Hex(c.text) << " / " << Hex(c.list);
  }
}

TEST(MatchListItem, NeverMatchesInsideADoubleByteCharacter) {
  struct Case {
    const char* text;
    const char* list;
    bool match;
  } cases[] = {
      // "ア" is 83 41: its trail byte looks like "A".
      {"\x83\x41", "a", false},
      {"\x83\x41", "A", false},
      // "ャ" is 83 61: its trail byte looks like "a" and must not be upper-cased.
      {"\x83\x61", "a", false},
      {"\x83\x61", "A", false},
      // "ソ" is 83 5C: its trail byte looks like a backslash.
      {"\x83\x5C", "\\", false},
      // "ｱ" before a real "A": the half-width katakana is one byte.
      {"\xB1"
       "A",
       "a", true},
      {"\x83\x41"
       "A",
       "a", true},
      // An item that is a lone lead byte would end inside a character.
      {"\x83\x41", "\x83", false},
      // Two characters whose bytes straddle: "ア" "ア" holds 41 83 in the middle.
      {"\x83\x41\x83\x41", "A\x83", false},
      {"\x83\x41\x83\x41", "\x83\x41", true},
      // "アAA" holds "AA" right after the character, overlapping the place
      // where its trail byte and the first A would have matched.
      {"\x83\x41\x41\x41", "AA", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Match(c.text, c.list), c.match) << Hex(c.text) << " / " << Hex(c.list);
  }
}

// Each switch must read its own list and its own field: the bit order differs
// from the list order, so every combination of switches is tried against
// every combination of matching words.
TEST(MatchForwardRule, EverySwitchCombination) {
  ForwardRule rule;
  rule.subject_forward = "s-fwd";
  rule.subject_stop = "s-stop";
  rule.from_forward = "f-fwd";
  rule.from_stop = "f-stop";
  int forwarded = 0;
  for (int switches = 0; switches < 16; ++switches) {
    for (int words = 0; words < 16; ++words) {
      const bool subject_fwd = words & 1, subject_stop = words & 2, from_fwd = words & 4,
                 from_stop = words & 8;
      MailEntry mail;
      mail.subject =
          std::string("subject") + (subject_fwd ? " S-FWD" : "") + (subject_stop ? " S-STOP" : "");
      mail.from = std::string("from") + (from_fwd ? " F-FWD" : "") + (from_stop ? " F-STOP" : "");
      rule.switches = switches;

      bool expected;
      if (switches == 0) {
        expected = true;
      } else if (((switches & 4) && subject_stop) || ((switches & 8) && from_stop)) {
        expected = false;
      } else if ((switches & 3) == 0) {
        expected = true;
      } else {
        expected = ((switches & 1) && subject_fwd) || ((switches & 2) && from_fwd);
      }
      EXPECT_EQ(MatchForwardRule(rule, mail), expected)
          << "switches " << switches << " subject '" << mail.subject << "' from '" << mail.from
          << "'";
      forwarded += expected;
    }
  }
  EXPECT_GT(forwarded, 0);
  EXPECT_LT(forwarded, 256);
}

TEST(MatchForwardRule, ListsAreKeptWhileTheirSwitchIsOff) {
  ForwardRule rule;
  rule.subject_stop = "spam";
  rule.from_forward = "boss";
  MailEntry mail;
  mail.subject = "spam";
  mail.from = "someone";
  rule.switches = 0;
  EXPECT_TRUE(MatchForwardRule(rule, mail));  // all off forwards everything
  rule.switches = kForwardIfFrom;
  EXPECT_FALSE(MatchForwardRule(rule, mail));
  rule.switches = kStopIfSubject;
  EXPECT_FALSE(MatchForwardRule(rule, mail));
  mail.subject = "ham";
  EXPECT_TRUE(MatchForwardRule(rule, mail));  // only stop switches: unmatched passes
}

TEST(MatchForwardRule, StopWinsOverForward) {
  ForwardRule rule;
  rule.switches = kForwardIfSubject | kStopIfSubject;
  rule.subject_forward = "report";
  rule.subject_stop = " re: ";
  MailEntry mail;
  mail.subject = "Re: Report";
  EXPECT_FALSE(MatchForwardRule(rule, mail));
  mail.subject = "Report";
  EXPECT_TRUE(MatchForwardRule(rule, mail));
}

}  // namespace
}  // namespace tarnu
