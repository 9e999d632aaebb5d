// Mail text into UTF-8: the charsets against Python's codecs, the guesses,
// the letter case of the forwarding words and the way back to code page 932
// and ISO-2022-JP.
#include "codec/charset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codec/cp932_text.h"
#include "codec/japanese_code.h"
#include "codec/jis_sjis.h"
#include "codec/utf8_text.h"
#include "platform/text_convert.h"
#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

// Python encodes each text in each charset; DecodeMailText must give the
// text back. One line per case: charset, tab, hex of the encoded bytes,
// tab, the text in UTF-8.
TEST(DecodeMailText, CharsetsAgainstPython) {
  const char tool[] = "/usr/bin/python3";
  if (!testing::ToolAvailable(tool)) GTEST_SKIP() << "no python3";
  const std::string script =
      // UTF-8 whatever the execution character set.
      u8"import sys\n"
      u8"cases = [('utf-8', '日本語 😀 ümlaut'), ('iso-8859-1', 'Grüße, café'),\n"
      u8" ('iso-8859-2', 'Zażółć gęślą'), ('iso-8859-5', 'Привет'), ('iso-8859-7', 'Καλημέρα'),\n"
      u8" ('iso-8859-15', 'prix 5 €'), ('windows-1251', 'Привет мир'),\n"
      u8" ('windows-1252', '“quoted” – dash'), ('koi8-r', 'Привет'), ('koi8-u', 'Привіт'),\n"
      u8" ('gb2312', '你好世界'), ('gbk', '你好 鏡'), ('gb18030', '你好 😀'), ('big5', "
      u8"'繁體中文'),\n"
      u8" ('euc-kr', '안녕하세요'), ('ks_c_5601-1987', '한국어'), ('shift_jis', 'テスト①'),\n"
      u8" ('euc-jp', '日本語ｶﾀｶﾅ'), ('iso-2022-jp', '件名です'), ('utf-7', 'A≢Α.')]\n"
      u8"py = {'ks_c_5601-1987': 'cp949', 'shift_jis': 'cp932', 'iso-8859-1': 'cp1252',\n"
      u8"      'gb2312': 'gb18030', 'gbk': 'gb18030', 'euc-kr': 'cp949', 'big5': 'cp950'}\n"
      u8"for c, t in cases:\n"
      u8" sys.stdout.write(c + '\\t' + t.encode(py.get(c, c)).hex() + '\\t' + t + '\\n')\n";
  const std::string out = testing::RunFilter(std::string(tool) + " -", script);
  int checked = 0;
  for (std::size_t start = 0; start < out.size();) {
    const std::size_t end = out.find('\n', start);
    const std::string line = out.substr(start, end - start);
    start = end + 1;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    const std::string charset = line.substr(0, tab1);
    const std::string hex = line.substr(tab1 + 1, tab2 - tab1 - 1);
    std::string bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
      bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    EXPECT_EQ(DecodeMailText(charset, bytes), line.substr(tab2 + 1)) << charset;
    ++checked;
  }
  EXPECT_EQ(checked, 20);
}

TEST(DecodeMailText, LabelsAndGuesses) {
  const std::string kNihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本
  struct {
    const char* what;
    std::string charset;
    std::string bytes;
    std::string utf8;
  } cases[] = {
      {"quoted label, any case", "\"UTF-8\"", kNihon, kNihon},
      {"RFC 2231 language", "utf-8*ja", kNihon, kNihon},
      {"alias of Shift_JIS", "Windows-31J", "\x93\xFA\x96\x7B", kNihon},
      {"ASCII text whatever the label", "x-nonsense", "plain", "plain"},
      {"no label: UTF-8", "", kNihon, kNihon},
      {"no label: ISO-2022-JP", "", "\x1B$BF|K\\\x1B(B", kNihon},
      {"no label: Shift_JIS", "", "\x93\xFA\x96\x7B", kNihon},
      {"no label: EUC-JP", "", "\xC6\xFC\xCB\xDC", kNihon},
      {"us-ascii with 8-bit bytes: guessed", "us-ascii", kNihon, kNihon},
      {"unknown label: guessed", "x-unknown", "\x93\xFA\x96\x7B", kNihon},
      {"broken UTF-8: one U+FFFD", "utf-8", "a\xE6\x97z", "a\xEF\xBF\xBDz"},
      {"EUC-JP half-width katakana", "euc-jp", "\x8E\xB6", "\xEF\xBD\xB6"},
      // Bytes code page 932 has no character for: one U+FFFD each, on Windows
      // (which reads some of them as private-use characters) too.
      {"stray Shift_JIS bytes", "shift_jis",
       "\x80\xA0\xFD\xFE\xFF"
       "a",
       "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"
       "a"},
      {"a lead byte without its trail byte", "shift_jis", "\x93 a\x93",
       "\xEF\xBF\xBD a\xEF\xBF\xBD"},
      {"NUL stays a byte", "shift_jis", std::string("\x93\xFA\0\x96\x7B", 5),
       std::string("\xE6\x97\xA5\0\xE6\x9C\xAC", 7)},
  };
  for (const auto& c : cases)
    EXPECT_EQ(Hex(DecodeMailText(c.charset, c.bytes)), Hex(c.utf8)) << c.what;
  // The message's own charset reads raw bytes that are not UTF-8.
  EXPECT_EQ(DecodeMailText("", "caf\xE9", "iso-8859-1"), "caf\xC3\xA9");
}

// What the Japanese bodies gave before mail text became UTF-8 is what they
// give now, converted: the body conversion and DecodeMailText agree on every
// double-byte code of EUC-JP and ISO-2022-JP.
TEST(DecodeMailText, JapaneseBodiesAsTheBodyConversionGives) {
  for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
    std::string euc, jis = "\x1B$B";
    for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
      euc += {static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
      jis += {static_cast<char>(j1), static_cast<char>(j2)};
    }
    jis += "\x1B(B";
    std::string old_euc = euc, old_jis = jis;
    ToShiftJis(&old_euc);
    ToShiftJis(&old_jis);
    EXPECT_EQ(DecodeMailText("euc-jp", euc), platform::Cp932ToUtf8(old_euc)) << j1;
    EXPECT_EQ(DecodeMailText("iso-2022-jp", jis), platform::Cp932ToUtf8(old_jis)) << j1;
  }
}

// Every character code page 932 holds folds in UTF-8 exactly as it folds in
// code page 932, so the forwarding words match as they always did.
TEST(UpperCaseUtf8, FoldsWhatCodePage932FoldsAndNoMore) {
  int characters = 0;
  for (int lead = 0x20; lead <= 0xFC; ++lead) {
    const bool double_byte = IsSjisLeadByte(static_cast<unsigned char>(lead));
    for (int trail = double_byte ? 0x40 : 0; trail <= (double_byte ? 0xFC : 0); ++trail) {
      std::string cp932(1, static_cast<char>(lead));
      if (double_byte) cp932 += static_cast<char>(trail);
      const std::string utf8 = platform::Cp932ToUtf8(cp932);
      if (utf8.find(kReplacementCharacter) != std::string::npos || lead == 0x7F) continue;
      EXPECT_EQ(Hex(UpperCaseUtf8(utf8)), Hex(platform::Cp932ToUtf8(UpperCaseCp932(cp932))))
          << Hex(cp932);
      ++characters;
    }
  }
  EXPECT_GT(characters, 7000);
  // Beyond code page 932: Latin-1, Latin Extended-A, final sigma.
  EXPECT_EQ(UpperCaseUtf8("\xC3\xA9t\xC3\xA9 \xC5\x82\xC3\xB3"
                          "d\xC5\xBA \xCF\x82"),
            "\xC3\x89T\xC3\x89 \xC5\x81\xC3\x93"
            "D\xC5\xB9 \xCE\xA3");
}

TEST(MailTextForJis, WhatIso2022JpCannotHoldBecomesTheGetaMark) {
  struct {
    const char* what;
    std::string utf8;
    std::string cp932;
  } cases[] = {
      {"JIS X 0208 kept", "\xE6\x97\xA5", "\x93\xFA"},
      {"emoji", "a\xF0\x9F\x98\x80", "a\x81\xAC"},
      {"Hangul", "\xEA\xB0\x80", "\x81\xAC"},
      {"NEC row 13 kept (circled one)", "\xE2\x91\xA0", "\x87\x40"},
      {"IBM extension (U+9AD9)", "\xE9\xAB\x99", "\x81\xAC"},
      {"user-defined area", "\xEE\x80\x80", "\x81\xAC"},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(MailTextForJis(c.utf8)), Hex(c.cp932)) << c.what;
}

TEST(Utf8Text, ValidityAndPrefixes) {
  EXPECT_TRUE(IsUtf8("plain \xE6\x97\xA5 \xF0\x9F\x98\x80"));
  EXPECT_FALSE(IsUtf8("\xC0\xAF"));
  EXPECT_EQ(Utf8Prefix("a\xE6\x97\xA5", 3), "a");
  EXPECT_EQ(Utf8Prefix("a\xE6\x97\xA5", 4), "a\xE6\x97\xA5");
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"\U0001F600"), "\xF0\x9F\x98\x80");
}

}  // namespace
}  // namespace tarnu
