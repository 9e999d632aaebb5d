#include "app/text_fit.h"

#include <gtest/gtest.h>

#include <random>

#include "app/tray_logic.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

// A font of fixed advances: 6 pixels a single-byte character, 12 a
// double-byte one, so "..." is 18 wide.
int FixedWidth(std::string_view text) {
  int width = 0;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t n = Cp932CharLength(text, i);
    width += n == 2 ? 12 : 6;
    i += n;
  }
  return width;
}

TEST(ShortenText, KeepsWhatFitsAndCutsWhatDoesNot) {
  // Widths: 6 a single-byte character, 12 a double-byte one, 18 "...".
  struct Case {
    const char* text;
    int width;
    int margin;
    const char* expect;
  } cases[] = {
      {"", 0, 12, ""},            // empty stays empty, even without room
      {"1234", 36, 12, "1234"},   // 24 + 12 = 36: fits exactly
      {"1234", 35, 12, "..."},    // room for 35 - 18 - 12 = 5: no digit
      {"12345", 41, 12, "1..."},  // room 11: one digit
      {"abcdef", 36, 0, "abcdef"},
      {"abcdefg", 41, 0, "abc..."},  // room 23: three letters (18), not four (24)
      {"abcdefg", 2, 0, "..."},      // nothing fits: the ellipsis alone
      {"表示テスト", 60, 0, "表示テスト"},
      {"表示テスト", 59, 0, "表示テ..."},  // room 41: three characters of 12
      {"a表bc", 29, 0, "a..."},            // 30 wide; room 11
      {"abc表示", 40, 0, "abc..."},        // room 22: never "abc" plus a lead byte
      {"表", 11, 0, "..."},
  };
  for (const Case& c : cases) {
    FittedText fitted = ShortenText(c.text, c.width, c.margin, FixedWidth);
    EXPECT_EQ(fitted.text, c.expect) << Hex(c.text) << " in " << c.width;
    EXPECT_EQ(fitted.shortened, std::string(c.expect) != c.text) << Hex(c.text);
  }
}

// The rule stated the slow way: drop one character at a time from the end.
FittedText ShortenOneAtATime(std::string_view text, int width, int margin,
                             const TextWidth& measure) {
  if (text.empty() || measure(text) + margin <= width) return {std::string(text), false};
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < text.size(); i += Cp932CharLength(text, i)) starts.push_back(i);
  std::string rest(text);
  while (!starts.empty()) {
    rest.resize(starts.back());
    starts.pop_back();
    if (measure(rest) + measure("...") + margin <= width) break;
  }
  return {rest + "...", true};
}

TEST(ShortenText, AgreesWithDroppingOneCharacterAtATime) {
  std::mt19937 rng(77);
  // Proportional widths: every byte value its own advance, double-byte
  // characters by their pair, so cuts land in odd places.
  auto proportional = [](std::string_view text) {
    int width = 0;
    for (std::size_t i = 0; i < text.size();) {
      std::size_t n = Cp932CharLength(text, i);
      unsigned lead = static_cast<unsigned char>(text[i]);
      unsigned trail = n == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
      width += 3 + static_cast<int>((lead * 7 + trail * 3) % 11);
      i += n;
    }
    return width;
  };
  const char* pieces[] = {"a", "W", ".", "表", "ソ", "\xB1", "\x81\x40", "\xE0\x9F"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int chars = static_cast<int>(rng() % 30);
    for (int i = 0; i < chars; ++i) text += pieces[rng() % 8];
    if (rng() % 10 == 0) text += "\x81";  // a lone lead byte at the end
    int width = static_cast<int>(rng() % 200);
    int margin = (rng() % 2) ? 12 : 4;
    FittedText fast = ShortenText(text, width, margin, proportional);
    FittedText slow = ShortenOneAtATime(text, width, margin, proportional);
    ASSERT_EQ(fast.text, slow.text) << Hex(text) << " width " << width;
    ASSERT_EQ(fast.shortened, slow.shortened);
    if (fast.shortened) {
      // Never half a character before the ellipsis.
      std::string kept = fast.text.substr(0, fast.text.size() - 3);
      std::size_t i = 0;
      while (i < kept.size()) i += Cp932CharLength(text, i);
      ASSERT_EQ(i, kept.size()) << Hex(fast.text);
    }
  }
}

TEST(ShortenText, LongTextsCostAFewMeasurements) {
  std::string body;
  for (int i = 0; i < 10000; ++i) body += "表";
  int calls = 0;
  auto counting = [&calls](std::string_view text) {
    ++calls;
    return FixedWidth(text);
  };
  FittedText fitted = ShortenText(body, 200, 12, counting);
  // 200 - 18 - 12 = 170 pixels: 14 characters of 12.
  std::string want;
  for (int i = 0; i < 14; ++i) want += "表";
  EXPECT_EQ(fitted.text, want + "...");
  EXPECT_LE(calls, 20);
}

}  // namespace
}  // namespace tarnu
