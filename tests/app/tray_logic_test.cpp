#include "app/tray_logic.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

TEST(ApplicationName, TakesTheBaseNameWithoutExtension) {
  struct Case {
    const char* path;
    const char* name;
  } cases[] = {
      {"C:\\Program Files\\tarnu\\tarnu.exe", "tarnu"},
      {"tarnu.exe", "tarnu"},
      {"tarnu", "tarnu"},
      {"Z:/home/user/tarnu.exe", "tarnu"},
      {"C:\\a.b\\tarnu", "tarnu"},        // a dot in a directory is no extension
      {"C:\\x\\my.tool.exe", "my.tool"},  // only the last extension goes
      {"C:\\x\\.exe", ".exe"},            // never an empty name from a dot file
      {"", ""},
      // Double-byte names whose trail byte is 0x5C, the backslash: the
      // separator search must not stop inside a character.
      {"C:\\tools\\表示.exe", "表示"},       // 表 = 95 5C
      {"C:\\ソフト\\ソフト.exe", "ソフト"},  // ソ = 83 5C
      {"D:\\能\\予定表.exe", "予定表"},      // 能 = 94 5C, 予 = 97 5C
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ApplicationName(c.path), c.name) << Hex(c.path);
  }
}

TEST(FormatTrayTip, ShowsNameAndStateText) {
  EXPECT_EQ(FormatTrayTip("tarnu", {TipChange::kReset, ""}), "tarnu");
  EXPECT_EQ(FormatTrayTip("tarnu", {TipChange::kText, "メール確認中"}),
            "tarnu(\x83\x81\x81\x5B\x83\x8B\x8A\x6D\x94\x46\x92\x86)");
  EXPECT_EQ(FormatTrayTip("tarnu", {TipChange::kNone, "ignored"}), "");
  // The text given with kReset plays no part.
  EXPECT_EQ(FormatTrayTip("tarnu", {TipChange::kReset, "x"}), "tarnu");
}

TEST(FormatTrayTip, LongNamesAreCutToFitTheField) {
  const std::string checking = "メール確認中";  // 12 bytes
  std::string long_ascii(70, 'a');
  std::string tip = FormatTrayTip(long_ascii, {TipChange::kText, checking});
  // The state text survives whole; the name gives way.
  EXPECT_EQ(tip, std::string(49, 'a') + "(" + checking + ")");
  EXPECT_EQ(tip.size(), kTrayTipBytes - 1);
  EXPECT_EQ(FormatTrayTip(long_ascii, {TipChange::kReset, ""}), std::string(63, 'a'));

  // 40 double-byte characters: 63 bytes would split the 32nd in two.
  std::string kanji;
  for (int i = 0; i < 40; ++i) kanji += "表";
  EXPECT_EQ(FormatTrayTip(kanji, {TipChange::kReset, ""}), kanji.substr(0, 62));
  // 63 - 14 = 49 bytes of room: 24 characters, not 24.5.
  EXPECT_EQ(FormatTrayTip(kanji, {TipChange::kText, checking}),
            kanji.substr(0, 48) + "(" + checking + ")");

  // A state text that cannot fit even alone is cut too, the name dropped.
  std::string long_text(100, 'x');
  EXPECT_EQ(FormatTrayTip("tarnu", {TipChange::kText, long_text}),
            "(" + std::string(61, 'x') + ")");
}

// Every byte position where a character of `text` starts.
bool EndsOnCharacterBoundary(const std::string& whole, std::size_t cut) {
  std::size_t i = 0;
  while (i < cut) i += Cp932CharLength(whole, i);
  return i == cut;
}

TEST(FormatTrayTip, AlwaysFitsAndNeverSplitsACharacter) {
  std::mt19937 rng(1234);
  const char* pieces[] = {"a", "表", "ソ", "\xB1" /* half-width kana */, "\x81\x40"};
  for (int round = 0; round < 2000; ++round) {
    std::string name, text;
    int name_chars = static_cast<int>(rng() % 50), text_chars = static_cast<int>(rng() % 40);
    for (int i = 0; i < name_chars; ++i) name += pieces[rng() % 5];
    for (int i = 0; i < text_chars; ++i) text += pieces[rng() % 5];
    for (TipChange change : {TipChange::kReset, TipChange::kText}) {
      std::string tip = FormatTrayTip(name, {change, text});
      ASSERT_LE(tip.size(), kTrayTipBytes - 1) << Hex(name) << " / " << Hex(text);
      if (change == TipChange::kReset) {
        ASSERT_EQ(name.compare(0, tip.size(), tip), 0);
        ASSERT_TRUE(EndsOnCharacterBoundary(name, tip.size())) << Hex(tip);
        continue;
      }
      // "<name prefix>(<text prefix>)": find the parenthesis we added. The
      // name part is a prefix of the name on a character boundary.
      ASSERT_EQ(tip.back(), ')');
      bool found = false;
      for (std::size_t n = 0; n <= name.size() && n < tip.size(); ++n) {
        if (tip[n] != '(' || name.compare(0, n, tip, 0, n) != 0) continue;
        std::string text_part = tip.substr(n + 1, tip.size() - n - 2);
        if (text.compare(0, text_part.size(), text_part) != 0) continue;
        ASSERT_TRUE(EndsOnCharacterBoundary(name, n));
        ASSERT_TRUE(EndsOnCharacterBoundary(text, text_part.size()));
        // Whatever fits is kept: nothing is cut when the whole would fit.
        if (name.size() + text.size() + 2 <= kTrayTipBytes - 1) {
          ASSERT_EQ(tip, name + "(" + text + ")");
        }
        found = true;
        break;
      }
      ASSERT_TRUE(found) << Hex(tip);
    }
  }
}

TEST(ChooseTrayPicture, AnimatesWhileCheckingAndBlinksOnNewMail) {
  std::int32_t counter = 0;
  CheckFlags checking{true, false};
  std::vector<int> seen;
  for (int i = 0; i < 5; ++i) seen.push_back(ChooseTrayPicture(checking, &counter));
  EXPECT_EQ(seen, (std::vector<int>{142, 143, 144, 142, 143}));
  EXPECT_EQ(counter, 5);

  // The counter runs on across states: 5 mod 2 = 1 gives the second picture.
  CheckFlags new_mail{false, true};
  seen.clear();
  for (int i = 0; i < 3; ++i) seen.push_back(ChooseTrayPicture(new_mail, &counter));
  EXPECT_EQ(seen, (std::vector<int>{146, 145, 146}));

  // Checking wins over new mail.
  CheckFlags both{true, true};
  EXPECT_EQ(ChooseTrayPicture(both, &counter), 142 + 8 % 3);

  // Idle: the default icon, counter untouched.
  CheckFlags idle;
  std::int32_t before = counter;
  EXPECT_EQ(ChooseTrayPicture(idle, &counter), 128);
  EXPECT_EQ(counter, before);
}

TEST(ChooseTrayPicture, CounterWrapsWithoutLeavingThePictures) {
  for (std::int32_t start : {INT_MAX, INT_MIN, -1, -2}) {
    for (bool checking : {true, false}) {
      std::int32_t counter = start;
      CheckFlags flags{checking, !checking};
      for (int i = 0; i < 4; ++i) {
        int picture = ChooseTrayPicture(flags, &counter);
        if (checking) {
          EXPECT_TRUE(picture >= 142 && picture <= 144) << start << " " << picture;
        } else {
          EXPECT_TRUE(picture == 145 || picture == 146) << start << " " << picture;
        }
      }
    }
  }
}

TEST(Cp932Prefix, CutsOnlyBetweenCharacters) {
  const std::string text = "a表\xB1ソ";  // 61 95 5C B1 83 5C
  struct Case {
    std::size_t max;
    std::size_t expect;
  } cases[] = {{0, 0}, {1, 1}, {2, 1}, {3, 3}, {4, 4}, {5, 4}, {6, 6}, {99, 6}};
  for (const Case& c : cases) {
    EXPECT_EQ(Cp932Prefix(text, c.max).size(), c.expect) << c.max;
  }
  // A lead byte at the very end is a character of its own.
  EXPECT_EQ(Cp932Prefix("ab\x81", 3), "ab\x81");
}

}  // namespace
}  // namespace tarnu
