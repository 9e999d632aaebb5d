#include "codec/japanese_code.h"

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

const char kNkf[] = "/usr/bin/nkf";

// The conversions on an exact-size heap buffer, so that AddressSanitizer
// catches a single byte written past the room the caller was told to give.
std::string ShiftJisOf(const std::string& text) {
  std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  ToShiftJis(buffer.get());
  std::string in_place(buffer.get());
  std::string on_string = text;
  ToShiftJis(&on_string);
  EXPECT_EQ(Hex(in_place), Hex(on_string));
  return in_place;
}

bool HasHalfwidthKanaByte(const std::string& text) {
  for (unsigned char c : text) {
    if (c >= 0xA1 && c <= 0xDF) return true;
  }
  return false;
}

// Room for the result: three times the length plus four, unless half-width
// katakana of a Shift_JIS text are widened.
std::size_t RoomFor(const std::string& text) {
  bool widens = DetectJapaneseCode(text) == kCodeShiftJis && HasHalfwidthKanaByte(text);
  return widens ? ToJisBufferSize(text.size()) : 3 * text.size() + 4;
}

std::string JisOf(const std::string& text) {
  std::size_t room = RoomFor(text);
  std::unique_ptr<char[]> buffer(new char[room]);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  ToJis(buffer.get());
  std::string in_place(buffer.get());
  EXPECT_LE(in_place.size() + 1, room);
  std::string on_string = text;
  ToJis(&on_string);
  EXPECT_EQ(Hex(in_place), Hex(on_string));
  return in_place;
}

bool IsSevenBit(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

struct Case {
  const char* name;
  std::string in;
  std::string out;
};

// ------------------------------------------------------- DetectJapaneseCode

TEST(DetectJapaneseCode, FirstDecisiveByteSettlesIt) {
  struct {
    const char* name;
    std::string text;
    int code;
  } cases[] = {
      {"empty", "", kCodePlain},
      {"ASCII", "hello\r\n", kCodePlain},
      {"ESC $", "a\x1B$B", kCodeIso2022Jp},
      {"ESC ( alone decides nothing", "a\x1B(Bb", kCodePlain},
      {"Shift_JIS lead", "\x82\xA0", kCodeShiftJis},
      {"0xA1-0xDF is taken for EUC-JP", "\xB1", kCodeEucJp},
      {"... even for Shift_JIS half-width katakana", "\xB6\xC5\x82\xA0", kCodeEucJp},
      {"EUC-JP pair", "\xA4\xA2", kCodeEucJp},
      {"0xE0 then a low byte", "\xE0\x40", kCodeShiftJis},
      {"0xE0 then a high byte decides nothing", "\xE0\xA1", kCodeEucJp},
      {"0xE0 then 0xA0, below the EUC-JP range", "\xE0\xA0\xB1", kCodeShiftJis},
      {"... and the next byte is looked at", "\xE0\xE0\x40", kCodeShiftJis},
      {"high byte at the end: the NUL is low", "ab\xFE", kCodeShiftJis},
      {"0x80 and 0xFF run on", "\x80\xFF\xFF", kCodeShiftJis},
      {"0xA0 then 0xA0", "\xA0\xA0", kCodeShiftJis},
      {"the first decisive byte wins", "\x82\xA0\x1B$B", kCodeShiftJis},
      {"ESC $ after plain bytes", "abc\x1B$", kCodeIso2022Jp},
      {"nothing after the NUL counts", std::string("abc\0\x82\xA0", 6), kCodePlain},
  };
  for (const auto& c : cases) EXPECT_EQ(DetectJapaneseCode(c.text), c.code) << c.name;
}

// --------------------------------------------------------------- ToShiftJis

TEST(ToShiftJis, IsoToShiftJis) {
  const Case cases[] = {
      {"escapes dropped: 3 bytes each", "\x1B$B\x30\x21\x1B(B", "\x88\x9F"},
      {"ASCII around",
       "a\x1B$B\x30\x21\x1B(B"
       "b",
       "a\x88\x9F"
       "b"},
      {"ESC $ @ and ESC ( J", "\x1B$@\x30\x21\x1B(Jx", "\x88\x9Fx"},
      {"SI ends two-byte mode and goes",
       "\x1B$B\x30\x21\x0F"
       "ab",
       "\x88\x9F"
       "ab"},
      // Katakana shifted in by SO or ESC ( I come out as half-width
      // katakana, not as the ASCII letters of their 7-bit codes.
      {"SO shifts katakana in", "\x1B$B\x30\x21\x0E\x31\x0F\x31",
       "\x88\x9F\xB1"
       "1"},
      {"ESC ( I katakana", "\x1B$B\x30\x21\x1B(I\x31\x32\x1B(B\x31",
       "\x88\x9F\xB1\xB2"
       "1"},
      // A pair that is no JIS code (a line break inside two-byte mode)
      // stays as it is instead of turning into two garbage bytes.
      {"CR LF inside two-byte mode kept", "\x1B$B\x30\x21\r\n\x1B(B", "\x88\x9F\r\n"},
      {"first byte before the NUL kept", "\x1B$B\x30", "\x30"},
      {"unknown ESC kept", "\x1BXa\x1B$B\x30\x21", "\x1BXa\x88\x9F"},
      {"ESC ( H is not known here", "\x1B$B\x1B(H", "\x1B(H"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(ShiftJisOf(c.in)), Hex(c.out)) << c.name;
}

TEST(ToShiftJis, EucToShiftJis) {
  const Case cases[] = {
      {"kanji", "\xB4\xC1\xBB\xFA", "\x8A\xBF\x8E\x9A"},
      {"ASCII between", "a\xB4\xC1 b", "a\x8A\xBF b"},
      {"last lone byte stays", "\xB4\xC1\xB4", "\x8A\xBF\xB4"},
      // The single shifts get their own treatment, so a half-width katakana
      // or a JIS X 0212 character never garbles its neighbours.
      {"0x8E: half-width katakana", "\xA4\xA2\x8E\xB1\x8E\xDE", "\x82\xA0\xB1\xDE"},
      {"0x8F: JIS X 0212 becomes the geta mark", "\xA4\xA2\x8F\xB0\xA1x",
       "\x82\xA0\x81\xAC"
       "x"},
      {"broken byte before CR LF stays, CR LF too", "\xA4\xA2\xA4\r\n", "\x82\xA0\xA4\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(ShiftJisOf(c.in)), Hex(c.out)) << c.name;
}

TEST(ToShiftJis, LeavesShiftJisAndPlainTextAlone) {
  const std::string texts[] = {"", "plain ASCII\r\n", "\x82\xA0\x88\x9F\xB1 ok", "\x80\xFE"};
  for (const std::string& t : texts) EXPECT_EQ(Hex(ShiftJisOf(t)), Hex(t));
}

TEST(ToShiftJis, StringIsTakenUpToItsNul) {
  std::string text("\xA4\xA2\0\xA4\xA2", 5);
  ToShiftJis(&text);
  EXPECT_EQ(Hex(text), Hex("\x82\xA0"));
}

// --------------------------------------------------------------------- ToJis

TEST(ToJis, ShiftJisToJis) {
  const Case cases[] = {
      {"ends in one-byte mode", "\x88\x9F", "\x1B$B\x30\x21\x1B(B"},
      {"ASCII between",
       "a\x88\x9F"
       "b",
       "a\x1B$B\x30\x21\x1B(B"
       "b"},
      {"NEC row 13 goes by the arithmetic", "\x87\x40", "\x1B$B\x2D\x21\x1B(B"},
      // Half-width katakana are widened as in headers: pairing them with the
      // next byte would garble both.
      {"half-width katakana widened",
       "\x82\xA0\xB6\xDE\xB1"
       "a",
       "\x1B$B\x24\x22\x25\x2C\x25\x22\x1B(B"
       "a"},
      {"lead byte before CR LF dropped", "\x82\xA0\x82\r\n", "\x1B$B\x24\x22\x1B(B\r\n"},
      {"lead byte at the end dropped", "\x82\xA0\x82", "\x1B$B\x24\x22\x1B(B"},
      {"user-defined character: geta mark", "\x82\xA0\xF0\x40", "\x1B$B\x24\x22\x22\x2E\x1B(B"},
      {"vendor character: geta mark", "\x82\xA0\xFA\xB1", "\x1B$B\x24\x22\x22\x2E\x1B(B"},
      {"non-characters dropped",
       "\x82\xA0\x80\xFD"
       "a",
       "\x1B$B\x24\x22\x1B(B"
       "a"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(JisOf(c.in)), Hex(c.out)) << c.name;
}

TEST(ToJis, EucToJis) {
  const Case cases[] = {
      {"top bits cleared", "\xB4\xC1", "\x1B$B\x34\x41\x1B(B"},
      {"ASCII between", "\xB4\xC1 \xB4\xC1", "\x1B$B\x34\x41\x1B(B \x1B$B\x34\x41\x1B(B"},
      {"0x8E katakana widened with the mark", "\xA4\xA2\x8E\xB6\x8E\xDE",
       "\x1B$B\x24\x22\x25\x2C\x1B(B"},
      {"0x8F: geta mark", "\xA4\xA2\x8F\xB0\xA1", "\x1B$B\x24\x22\x22\x2E\x1B(B"},
      {"broken byte dropped, CR LF kept", "\xA4\xA2\xA4\r\n", "\x1B$B\x24\x22\x1B(B\r\n"},
      {"last lone byte dropped", "\xA4\xA2\xA4", "\x1B$B\x24\x22\x1B(B"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(JisOf(c.in)), Hex(c.out)) << c.name;
}

TEST(ToJis, LeavesJisAndPlainTextAlone) {
  const std::string texts[] = {"", "plain\r\n", "\x1B$B\x30\x21\x1B(B", "a\x1B$B\x30\x21"};
  for (const std::string& t : texts) EXPECT_EQ(Hex(JisOf(t)), Hex(t));
}

// ---------------------------------------------------------- room and growth

// The worst case without half-width katakana alternates one ASCII byte and
// one two-byte character: each character costs 2 + 3, each ASCII byte 1 + 3,
// plus the closing escape and the NUL: exactly 3n + 3.
TEST(ToJis, WorstCaseFitsThreeTimesTheLengthPlusFour) {
  for (int m = 0; m < 50; ++m) {
    std::string sjis = "\x88\x9F";
    std::string euc = "\xB4\xC1";
    for (int i = 0; i < m; ++i) {
      sjis += "a\x88\x9F";
      euc += "a\xB4\xC1";
    }
    for (const std::string& text : {sjis, euc}) {
      std::string out = JisOf(text);
      EXPECT_EQ(out.size() + 1, 3 * text.size() + 3) << m;
      EXPECT_TRUE(IsSevenBit(out));
    }
    // A lone lead byte at the end used to cost ESC $ B, itself and ESC ( B:
    // one byte more than the room. It is dropped now.
    std::string broken = sjis + "a\x88";
    EXPECT_LE(JisOf(broken).size() + 1, 3 * broken.size() + 4);
  }
}

// Widening half-width katakana between ASCII bytes is the costliest case:
// 4.5 bytes per input byte, within ToJisBufferSize.
TEST(ToJis, WidenedKatakanaFitToJisBufferSize) {
  for (int m = 1; m < 50; ++m) {
    std::string text = "\x88\x9F";
    for (int i = 0; i < m; ++i) text += "a\xB1";
    std::string out = JisOf(text);
    EXPECT_EQ(2 * (out.size() + 1), 9 * text.size()) << m;
    EXPECT_GT(out.size() + 1, 3 * text.size() + 4);
    EXPECT_LE(out.size() + 1, ToJisBufferSize(text.size()));
  }
}

// Every short string over bytes that matter to the converters, and random
// longer ones: room is never exceeded (AddressSanitizer watches the exact
// buffers), ToShiftJis never grows, ToJis output is 7-bit.
TEST(JapaneseCode, NoTextOverrunsItsRoom) {
  const unsigned char alphabet[] = {0x61, 0x0D, 0x0E, 0x1B, 0x24, 0x28, 0x42,
                                    0x80, 0x82, 0x8E, 0x8F, 0x9F, 0xA0, 0xA4,
                                    0xB1, 0xDE, 0xE0, 0xF0, 0x40, 0xFD, 0xFF};
  const std::size_t k = sizeof alphabet;
  std::vector<std::string> texts;
  for (std::size_t length = 0; length <= 4; ++length) {
    std::size_t count = 1;
    for (std::size_t i = 0; i < length; ++i) count *= k;
    for (std::size_t n = 0; n < count; ++n) {
      std::string t;
      for (std::size_t i = 0, v = n; i < length; ++i, v /= k)
        t += static_cast<char>(alphabet[v % k]);
      texts.push_back(t);
    }
  }
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int i = 0; i < 5000; ++i) {
    std::string t;
    for (int j = 0, n = i % 64; j < n; ++j) t += static_cast<char>(byte(rng));
    texts.push_back(t);
  }
  int failures = 0;
  for (const std::string& t : texts) {
    std::string sjis = ShiftJisOf(t);
    std::string jis = JisOf(t);
    int code = DetectJapaneseCode(t);
    bool ok = sjis.size() <= t.size() &&
              (IsSevenBit(jis) || (code != kCodeShiftJis && code != kCodeEucJp));
    if (!ok && ++failures < 10) ADD_FAILURE() << Hex(t) << " -> " << Hex(sjis) << " / " << Hex(jis);
  }
  EXPECT_EQ(failures, 0);
}

// ------------------------------------------------------------------- oracles

// A few paragraphs of ordinary Japanese mail: kanji, kana, full-width and
// ASCII letters, symbols, CR LF line ends, a backslash trail byte (ソ, 表).
const char kBody[] =
    "今日は、東京本社で定例会議がありました。\r\n"
    "参加者は１２名（うち３名はオンライン）で、議題は次の３点です：\r\n"
    "・新しいメールサーバの導入について\r\n"
    "・「ｔａｒｎｕ」の試験運用と表示の確認\r\n"
    "・予算案（C:\\budget\\2024.xls 参照）の承認 ※要確認\r\n"
    "\r\n"
    "Best regards,\r\n"
    "ソフトウェア開発部　山田太郎 <taro@example.jp>\r\n"
    "〒100-0001 東京都千代田区千代田1-1 ☆★○●◎◇◆□■△▲▽▼\r\n";

// Half-width katakana, Shift_JIS; it opens with a full-width word so the
// text is taken for Shift_JIS.
const char kKanaBody[] =
    "カタカナと半角ｶﾀｶﾅ、ｶﾞｷﾞｸﾞｹﾞｺﾞ ﾊﾟﾋﾟﾌﾟﾍﾟﾎﾟ ﾊﾞﾋﾞﾌﾞ\r\n"
    "ｱｲｴｵ ｰ｡｢｣､･ ﾃｽﾄ ﾒｰﾙ ok\r\n";

std::string Nkf(const std::string& options, const std::string& input) {
  return testing::RunFilter(std::string(kNkf) + " -m0 " + options, input);
}

TEST(JapaneseCodeOracle, BodiesAgreeWithNkf) {
  if (!testing::ToolAvailable(kNkf)) GTEST_SKIP() << "no nkf";
  const std::string sjis = kBody;
  const std::string euc = Nkf("-S -e", sjis);
  const std::string jis = Nkf("-S -j", sjis);
  ASSERT_NE(euc, sjis);
  ASSERT_TRUE(IsSevenBit(jis));
  EXPECT_EQ(DetectJapaneseCode(sjis), kCodeShiftJis);
  EXPECT_EQ(DetectJapaneseCode(euc), kCodeEucJp);
  EXPECT_EQ(DetectJapaneseCode(jis), kCodeIso2022Jp);

  EXPECT_EQ(Hex(ShiftJisOf(euc)), Hex(Nkf("-E -s", euc)));
  EXPECT_EQ(Hex(ShiftJisOf(jis)), Hex(Nkf("-J -s", jis)));
  EXPECT_EQ(Hex(JisOf(sjis)), Hex(jis));
  EXPECT_EQ(Hex(JisOf(euc)), Hex(Nkf("-E -j", euc)));
  EXPECT_EQ(Hex(ShiftJisOf(sjis)), Hex(sjis));
  EXPECT_EQ(Hex(JisOf(jis)), Hex(jis));
  EXPECT_EQ(Hex(ShiftJisOf(euc)), Hex(sjis));
}

// nkf keeps half-width katakana with -x and widens them otherwise; ToShiftJis
// keeps them, ToJis widens them. Deliberate difference: nkf joins U and the
// voiced mark into VU, we do not (the text here has no such pair).
TEST(JapaneseCodeOracle, HalfwidthKatakanaAgreeWithNkf) {
  if (!testing::ToolAvailable(kNkf)) GTEST_SKIP() << "no nkf";
  const std::string sjis = kKanaBody;
  const std::string euc = Nkf("-S -x -e", sjis);   // with 0x8E single shifts
  const std::string jis7 = Nkf("-S -x -j", sjis);  // with ESC ( I
  ASSERT_NE(euc.find('\x8E'), std::string::npos);
  ASSERT_NE(jis7.find("\x1B(I"), std::string::npos);

  EXPECT_EQ(Hex(JisOf(sjis)), Hex(Nkf("-S -j", sjis)));
  EXPECT_EQ(Hex(JisOf(euc)), Hex(Nkf("-E -j", euc)));
  EXPECT_EQ(Hex(ShiftJisOf(euc)), Hex(Nkf("-E -x -s", euc)));
  EXPECT_EQ(Hex(ShiftJisOf(jis7)), Hex(Nkf("-J -x -s", jis7)));
  EXPECT_EQ(Hex(ShiftJisOf(euc)), Hex(sjis));
  EXPECT_EQ(Hex(ShiftJisOf(jis7)), Hex(sjis));
}

}  // namespace
}  // namespace tarnu
