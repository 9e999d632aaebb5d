#include "codec/jis_sjis.h"

#include <map>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;
using testing::RunFilter;
using testing::ToolAvailable;

const char kIconv[] = "/usr/bin/iconv";
const char kNkf[] = "/usr/bin/nkf";

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string::size_type start = 0;
  while (start < text.size()) {
    std::string::size_type end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string Jis(const std::string& sjis) {
  std::string out;
  EXPECT_EQ(SjisToJis(sjis, &out), 0);
  return out;
}

std::string Sjis(const std::string& jis) {
  std::string out;
  EXPECT_EQ(JisToSjis(jis, &out), 0);
  return out;
}

struct Case {
  const char* name;
  std::string in;
  std::string out;
};

// ---------------------------------------------------------------- pair maps

TEST(JisPairToSjis, RejectsBytesOutsideTheJisRange) {
  unsigned char s1 = 0, s2 = 0;
  EXPECT_FALSE(JisPairToSjis(0x20, 0x21, &s1, &s2));
  EXPECT_FALSE(JisPairToSjis(0x21, 0x20, &s1, &s2));
  EXPECT_FALSE(JisPairToSjis(0x7F, 0x21, &s1, &s2));
  EXPECT_FALSE(JisPairToSjis(0x21, 0x7F, &s1, &s2));
  EXPECT_FALSE(JisPairToSjis(0xB0, 0xA1, &s1, &s2));
  EXPECT_TRUE(JisPairToSjis(0x7E, 0x7E, &s1, &s2));
  EXPECT_EQ(s1, 0xEF);
  EXPECT_EQ(s2, 0xFC);
}

TEST(SjisPairToJis, RejectsWhatIsNoShiftJisPair) {
  struct {
    unsigned char s1, s2;
  } invalid[] = {
      {0xF0, 0x40}, {0xFC, 0xFC},  // user-defined and vendor rows
      {0xC1, 0x40}, {0xDF, 0x9F},  // half-width katakana as lead bytes
      {0x81, 0x7F}, {0x81, 0x3F},  // not trail bytes
      {0x81, 0xFD}, {0x80, 0x40}, {0xA0, 0x40},
  };
  for (const auto& c : invalid) {
    unsigned char j1 = 0, j2 = 0;
    EXPECT_FALSE(SjisPairToJis(c.s1, c.s2, &j1, &j2)) << std::hex << int(c.s1) << " " << int(c.s2);
  }
  unsigned char j1 = 0, j2 = 0;
  EXPECT_TRUE(SjisPairToJis(0xEF, 0xFC, &j1, &j2));
  EXPECT_EQ(j1, 0x7E);
  EXPECT_EQ(j2, 0x7E);
}

TEST(SjisPairToJis, InvertsJisPairToSjisOnEveryPair) {
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      unsigned char s1, s2, b1, b2;
      ASSERT_TRUE(JisPairToSjis(j1, j2, &s1, &s2));
      ASSERT_TRUE(IsSjisLeadByte(s1) && IsSjisTrailByte(s2)) << j1 << " " << j2;
      ASSERT_TRUE(SjisPairToJis(s1, s2, &b1, &b2));
      ASSERT_EQ(b1 * 256 + b2, j1 * 256 + j2);
    }
  }
}

// ------------------------------------------------------------- iconv oracle

// Every JIS X 0208 pair on its own line, in its own ESC $ B ... ESC ( B.
std::string AllPairsAsJisLines() {
  std::string text;
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      text += "\x1B$B";
      text += static_cast<char>(j1);
      text += static_cast<char>(j2);
      text += "\x1B(B\n";
    }
  }
  return text;
}

// Unassigned cells of JIS X 0208 per row, from the standard's own layout:
// row 1 is full; rows 2-8 hold 53 symbols, 62 digits and Latin letters, 83
// hiragana, 86 katakana, 48 Greek, 66 Cyrillic and 32 box-drawing
// characters; rows 9-15 and 85-94 are empty (code page 932 keeps its NEC
// and user-defined characters there); level 1 kanji fill rows 16-47 up to
// cell 47-51, level 2 kanji rows 48-84 up to cell 84-06. 6879 characters.
std::map<int, int> UnassignedCellsPerRow() {
  std::map<int, int> rows = {{2, 94 - 53}, {3, 94 - 62}, {4, 94 - 83},  {5, 94 - 86}, {6, 94 - 48},
                             {7, 94 - 66}, {8, 94 - 32}, {47, 94 - 51}, {84, 94 - 6}};
  for (int row = 9; row <= 15; ++row) rows[row] = 94;
  for (int row = 85; row <= 94; ++row) rows[row] = 94;
  return rows;
}

std::string DescribeRows(const std::map<int, int>& per_row) {
  std::ostringstream s;
  for (const auto& [row, count] : per_row) s << " " << row << ":" << count;
  return s.str();
}

// Compares our conversion of every cell (one line each) with iconv's. A cell
// iconv cannot convert counts as refused: with -c it leaves out what it
// does not know, so the line is empty, or holds only the trail byte when
// that is 7-bit (iconv skipped the unknown lead byte and read the trail on
// its own, as SjisToJis does with a pair it cannot map). Returns the number of agreements; refusals
// are counted per row. `sjis_cells` is the Shift_JIS input, one cell per line, or null.
int CompareCells(const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
                 const std::string* sjis_cells, std::map<int, int>* refused_per_row,
                 std::vector<std::string>* mismatches) {
  std::vector<std::string> inputs = sjis_cells ? SplitLines(*sjis_cells) : theirs;
  int agree = 0;
  for (int i = 0; i < 94 * 94; ++i) {
    // glibc reads 0x5C and 0x7E as JIS-Roman yen sign and overline, which
    // it writes back behind ESC ( J.
    std::string trail(1, inputs[i].back());
    bool trail_alone =
        sjis_cells && (theirs[i] == trail || theirs[i] == "\x1B(J" + trail + "\x1B(B");
    if (theirs[i] == ours[i]) {
      ++agree;
    } else if (theirs[i].empty() || trail_alone) {
      ++(*refused_per_row)[i / 94 + 1];
    } else {
      mismatches->push_back(std::to_string(i / 94 + 1) + "-" + std::to_string(i % 94 + 1) +
                            " ours " + Hex(ours[i]) + " iconv " + Hex(theirs[i]));
    }
  }
  return agree;
}

// The arithmetic maps all 94 x 94 cells; iconv knows only the characters
// assigned in JIS X 0208. The two must agree on every assigned character,
// and iconv must refuse exactly the unassigned cells, which the arithmetic
// still maps (so JisToSjis passes code page 932's NEC row 13 through).
TEST(JisToSjisOracle, EveryAssignedPairAgreesWithIconv) {
  if (!ToolAvailable(kIconv)) GTEST_SKIP() << "no iconv";
  std::string jis = AllPairsAsJisLines();
  std::vector<std::string> theirs =
      SplitLines(RunFilter(std::string(kIconv) + " -c -f ISO-2022-JP -t SHIFT_JIS", jis));
  std::vector<std::string> ours = SplitLines(Sjis(jis));
  ASSERT_EQ(theirs.size(), 94u * 94u);
  ASSERT_EQ(ours.size(), 94u * 94u);
  std::map<int, int> refused;
  std::vector<std::string> mismatches;
  int agree = CompareCells(ours, theirs, nullptr, &refused, &mismatches);
  std::cout << "JisToSjis agrees with iconv on " << agree
            << " of 8836 cells; iconv refuses (row:cells)" << DescribeRows(refused) << "\n";
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " differ, first " << mismatches[0];
  EXPECT_EQ(agree, 6879);
  EXPECT_EQ(DescribeRows(refused), DescribeRows(UnassignedCellsPerRow()));
}

TEST(SjisToJisOracle, EveryAssignedPairAgreesWithIconv) {
  if (!ToolAvailable(kIconv)) GTEST_SKIP() << "no iconv";
  std::string sjis;
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      unsigned char s1, s2;
      JisPairToSjis(j1, j2, &s1, &s2);
      sjis += static_cast<char>(s1);
      sjis += static_cast<char>(s2);
      sjis += '\n';
    }
  }
  std::vector<std::string> theirs =
      SplitLines(RunFilter(std::string(kIconv) + " -c -f SHIFT_JIS -t ISO-2022-JP", sjis));
  std::vector<std::string> ours = SplitLines(Jis(sjis));
  ASSERT_EQ(theirs.size(), 94u * 94u);
  ASSERT_EQ(ours.size(), 94u * 94u);
  std::map<int, int> refused;
  std::vector<std::string> mismatches;
  int agree = CompareCells(ours, theirs, &sjis, &refused, &mismatches);
  std::cout << "SjisToJis agrees with iconv on " << agree
            << " of 8836 cells; iconv refuses (row:cells)" << DescribeRows(refused) << "\n";
  EXPECT_TRUE(mismatches.empty()) << mismatches.size() << " differ, first " << mismatches[0];
  EXPECT_EQ(agree, 6879);
  EXPECT_EQ(DescribeRows(refused), DescribeRows(UnassignedCellsPerRow()));
}

// The widening table against nkf, which widens half-width katakana the same
// way when it writes ISO-2022-JP, with one deliberate difference: nkf joins
// U and the voiced mark into VU (JIS 25 74), we keep U followed by the mark
// (JIS 25 26 21 2B).
TEST(HalfwidthKanaTableOracle, WideningAgreesWithNkf) {
  if (!ToolAvailable(kNkf)) GTEST_SKIP() << "no nkf";
  std::vector<std::string> lines;
  for (int k = 0xA1; k <= 0xDF; ++k) {
    lines.push_back(std::string(1, static_cast<char>(k)));
    lines.push_back(std::string(1, static_cast<char>(k)) + "\xDE");
    lines.push_back(std::string(1, static_cast<char>(k)) + "\xDF");
  }
  std::string input;
  for (const std::string& l : lines) input += l + "\n";
  std::vector<std::string> theirs = SplitLines(RunFilter(std::string(kNkf) + " -S -j", input));
  ASSERT_EQ(theirs.size(), lines.size());
  int agree = 0;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string ours = Jis(lines[i]);
    if (lines[i] == "\xB3\xDE") {
      EXPECT_EQ(theirs[i], "\x1B$B\x25\x74\x1B(B");
      EXPECT_EQ(ours, "\x1B$B\x25\x26\x21\x2B\x1B(B");
      continue;
    }
    EXPECT_EQ(ours, theirs[i]) << Hex(lines[i]);
    if (ours == theirs[i]) ++agree;
  }
  std::cout << "half-width katakana: " << agree << " of " << lines.size() - 1
            << " forms agree with nkf (VU differs on purpose)\n";
}

// ----------------------------------------------------------------- JisToSjis

TEST(JisToSjis, EscapesShiftsAndBrokenPairs) {
  const Case cases[] = {
      {"empty", "", ""},
      {"one kanji", "\x1B$B\x30\x21\x1B(B", "\x88\x9F"},
      {"ESC $ @ is two-byte too", "\x1B$@\x30\x21", "\x88\x9F"},
      {"ASCII around", "a\x1B$B\x30\x21\x1B(Bb",
       "a\x88\x9F"
       "b"},
      {"ESC ( J and ESC ( H end two-byte mode", "\x1B$B\x30\x21\x1B(Jab\x1B(Hc",
       "\x88\x9F"
       "abc"},
      {"ESC ( I katakana", "\x1B(I\x31\x1B(B", "\xB1"},
      {"SO and SI katakana", "\x0E\x31\x0F", "\xB1"},
      {"shift leaves space alone", "\x0E\x20\x31", " \xB1"},
      {"ESC $ B ends the katakana shift", "\x1B(I\x31\x1B$B\x30\x21\x1B(B\x31",
       "\xB1\x88\x9F"
       "1"},
      {"CR LF in two-byte mode is a broken pair, kept", "\x1B$B\r\n", "\r\n"},
      {"an odd byte pairs with the ESC behind it", "\x1B$B\x30\x1B(Babc",
       "\x30\x1B\x84\xC0\xE1\x82"
       "c"},
      {"pending byte at the end is kept", "\x1B$B\x30", "\x30"},
      {"SO in two-byte mode: the shifted byte pairs with a raw one", "\x1B$B\x0E\x31\x32",
       "\xB1\x32"},
      {"unknown ESC $ ( D copied, one-byte mode kept", "\x1B$(D\x30\x21", "\x1B$(D\x30\x21"},
      {"unknown ESC $ ( D in two-byte mode: ( D is a pair", "\x1B$B\x1B$(D", "\x1B$\x84\xC2"},
      {"ESC and another byte", "\x1BXa", "\x1BXa"},
      {"ESC ESC $ B", "\x1B\x1B$B\x30\x21", "\x1B\x88\x9F"},
      {"lone ESC at the end", "a\x1B", "a\x1B"},
      {"ESC $ at the end", "a\x1B$", "a\x1B$"},
      {"ESC ( at the end", "\x1B(", "\x1B("},
      {"0xFF ends the text", "\x1B$B\x30\x21\xFF\x30\x21", "\x88\x9F"},
      {"0xFF right after ESC", "\x1B\xFF$B", "\x1B"},
      {"0xFF completes no pair", "\x1B$B\x30\xFF\x21", "\x30"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(Sjis(c.in)), Hex(c.out)) << c.name;
}

TEST(JisToSjis, EmptiesTheOutputFirst) {
  std::string out = "old";
  JisToSjis("a", &out);
  EXPECT_EQ(out, "a");
}

// ----------------------------------------------------------------- SjisToJis

TEST(SjisToJis, RunsKatakanaAndBrokenBytes) {
  const Case cases[] = {
      {"empty", "", ""},
      {"ASCII stays 7-bit, no escapes", "Re: hello", "Re: hello"},
      {"a run gets one pair of escapes", "\x82\xA0\x82\xA2", "\x1B$B\x24\x22\x24\x24\x1B(B"},
      {"trail byte that is a backslash", "\x83\x5C", "\x1B$B\x25\x3D\x1B(B"},
      {"voiced half-width KA", "\xB6\xDE", "\x1B$B\x25\x2C\x1B(B"},
      {"half-width U with the mark stays two characters", "\xB3\xDE",
       "\x1B$B\x25\x26\x21\x2B\x1B(B"},
      {"semi-voiced HA", "\xCA\xDF", "\x1B$B\x25\x51\x1B(B"},
      {"NA has no voiced form", "\xC5\xDE", "\x1B$B\x25\x4A\x21\x2B\x1B(B"},
      {"A has no semi-voiced form", "\xB1\xDF", "\x1B$B\x25\x22\x21\x2C\x1B(B"},
      {"lone voiced mark", "\xDE", "\x1B$B\x21\x2B\x1B(B"},
      {"half-width between ASCII",
       "a\xB1"
       "b",
       "a\x1B$B\x25\x22\x1B(B"
       "b"},
      {"lead 0xF0 loses itself, trail becomes @", "\xF0\x40", "@"},
      {"... inside a run", "\x82\xA0\xF0\x40", "\x1B$B\x24\x22\x1B(B@"},
      {"lead before CR LF is dropped", "\x82\r\n", "\r\n"},
      {"lead at the very end is dropped", "a\x82", "a"},
      {"lead before a space", "\x82\x20\x82\xA0", " \x1B$B\x24\x22\x1B(B"},
      {"a lead byte takes any trail byte, ASCII letters too", "\x82\x61", "\x1B$B\x23\x42\x1B(B"},
      {"single bytes 0x80 and 0xA0 are copied", "\x82\xA0\x80\xA0", "\x1B$B\x24\x22\x1B(B\x80\xA0"},
      {"0xFF ends the text", "\x82\xA0\xFF\x82\xA0", "\x1B$B\x24\x22\x1B(B"},
      {"0xFF as the trail byte", "\x82\xFF\x82\xA0", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(Jis(c.in)), Hex(c.out)) << c.name;
}

TEST(SjisToJis, RoundTripsThroughJisToSjis) {
  // テスト ｶﾞｲﾄﾞ 漢字 with ASCII: the katakana come back full-width.
  std::string jis = Jis("テスト ｶﾞｲﾄﾞ 漢字 ok");
  EXPECT_EQ(Hex(Sjis(jis)), Hex("テスト ガイド 漢字 ok"));
}

}  // namespace
}  // namespace tarnu
