#include "codec/header_decode.h"

#include <gtest/gtest.h>

#include "codec/charset.h"

#include "tests/codec/alloc_failure.h"
#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

// テスト and メール as Shift_JIS.
const std::string kTesuto = "\x83\x65\x83\x58\x83\x67";
const std::string kMeeru = "\x83\x81\x81\x5B\x83\x8B";
// The same as encoded words.
const std::string kTesutoWord = "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=";
const std::string kMeeruWord = "=?iso-2022-jp?B?GyRCJWEhPCVrGyhC?=";

// ------------------------------------------------------------ LookupCharset

TEST(LookupCharset, TableOrderAndAsciiCase) {
  struct {
    std::string name;
    int code;
  } cases[] = {
      {"iso-2022-jp", kCharsetIso2022Jp},
      {"ISO-2022-JP", kCharsetIso2022Jp},
      {"Iso-2022-Jp", kCharsetIso2022Jp},
      {"us-ascii", 1},
      {"ISO-8859-1", 2},
      {"iso-8859-9", 10},
      {"iso-8859-10", kCharsetNotFound},
      {"iso-2022-jp-2", kCharsetNotFound},
      {"iso-2022-jp ", kCharsetNotFound},
      {"utf-8", kCharsetNotFound},
      {"", kCharsetNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(LookupCharset(c.name), c.code) << c.name;
}

// ------------------------------------------------------------- DecodeQuoted

TEST(DecodeQuoted, HexPairsAndBrokenSequences) {
  struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"hex pair, underscore kept", "a=41_b", "aA_b"},
      {"lower-case hex digits", "=4a=4A", "JJ"},
      {"decoded 0xFF and NUL are data", "=FF=00", std::string("\xFF\0", 2)},
      {"= at the end is dropped", "ab=", "ab"},
      {"= and one digit at the end are dropped", "ab=4", "ab"},
      {"= and a non-digit are both dropped", "=G1x", "1x"},
      {"= digit non-digit: all three dropped", "=4Gx", "x"},
      {"== drops both", "==41", "41"},
      {"soft line break loses the CR", "a=\r\nb", "a\nb"},
      {"0xFF ends the text", "a\xFF=41", "a"},
      {"0xFF cuts a sequence short",
       "=4\xFF"
       "1",
       ""},
      {"high bytes are copied", "\x83\x65", "\x83\x65"},
  };
  for (const auto& c : cases) {
    std::string out = "left over";
    std::size_t n = DecodeQuoted(c.in, &out);
    EXPECT_EQ(Hex(out), Hex(c.out)) << c.name;
    EXPECT_EQ(n, out.size());
    EXPECT_LE(n, c.in.size());
  }
}

// --------------------------------------------------------- DecodeHeaderText

struct HeaderCase {
  const char* name;
  std::string in;
  std::string out;
  int status;
};

// The decoder gives UTF-8; these cases hold what code page 932 can show, so
// they are compared as code page 932, the bytes they always gave.
void Check(const HeaderCase& c) {
  std::string out = "left over";
  int status = DecodeHeaderText(c.in, &out);
  EXPECT_EQ(Hex(MailTextToCp932(out)), Hex(c.out)) << c.name;
  EXPECT_EQ(status, c.status) << c.name;
}

// Cases compared as UTF-8.
void CheckUtf8(const HeaderCase& c, std::string_view fallback = {}) {
  std::string out = "left over";
  int status = DecodeHeaderText(c.in, &out, fallback);
  EXPECT_EQ(Hex(out), Hex(c.out)) << c.name;
  EXPECT_EQ(status, c.status) << c.name;
}

TEST(DecodeHeaderText, WellFormedWords) {
  const HeaderCase cases[] = {
      {"upper-case charset", "Subject: " + kTesutoWord, "Subject: " + kTesuto, 0},
      {"lower-case charset", "Subject: =?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=", "Subject: " + kTesuto,
       0},
      // White space between adjacent words is no text (RFC 2047 6.2).
      {"space between two words is dropped", kTesutoWord + " " + kMeeruWord, kTesuto + kMeeru, 0},
      {"folding between two words is dropped",
       "Subject: " + kTesutoWord + "\r\n\t" + kMeeruWord + "\r\n",
       "Subject: " + kTesuto + kMeeru + "\r\n", 0},
      {"line structure stays", "Subject: " + kTesutoWord + "\r\nX: " + kMeeruWord + "\r\n",
       "Subject: " + kTesuto + "\r\nX: " + kMeeru + "\r\n", 0},
      {"text between words stays", kTesutoWord + " x " + kMeeruWord, kTesuto + " x " + kMeeru, 0},
      // An underscore is a space in a Q word (RFC 2047 4.2).
      {"Q word, underscore is a space", "=?us-ascii?Q?a=41_b=5F?=", "aA b_", 0},
      {"Q word with iso-2022-jp", "=?iso-2022-jp?Q?=1B$B0!=1B(B?=", "\x88\x9F", 0},
      {"15 significant characters give nothing", "x =?iso-2022-jp?B?GyRCJUYlOSVIGyh?= y", "x  y",
       0},
      {"padding then more text", "=?us-ascii?B?QQ==QUJD?=", "A", 0},
      {"unknown charset: guessed", "=?x-unknown?B?GyRCJUYlOSVIGyhC?=", kTesuto, 0},
      {"empty charset name: guessed",
       "=?"
       "?B?GyRCJUYlOSVIGyhC?=",
       kTesuto, 0},
      {"empty encoded text",
       "a=?us-ascii?B?"
       "?=b",
       "ab", 0},
      {"? inside the encoded text", "=?us-ascii?Q?a?b?=", "a?b", 0},
      {"each word starts in one-byte mode", "=?iso-2022-jp?B?GyRC?==?iso-2022-jp?B?MCE=?=", "0!",
       0},
      {"= not followed by ? is copied", "=41 a=b", "=41 a=b", 0},
      {"= as the last byte", "a=", "a=", 0},
      {"no word at all", "From: a@b\r\nTo: c@d\r\n", "From: a@b\r\nTo: c@d\r\n", 0},
      {"empty", "", "", 0},
  };
  for (const HeaderCase& c : cases) Check(c);
}

// A malformed word is copied as it stands and the scan goes on behind its
// "=?", so the header lines after a stray "=?" survive and later words are
// still decoded; the status still reports the malformed word. (Stopping at
// the word, as a plain scanner would, loses From, To and Message-ID behind a
// stray "=?" in a Subject.)
TEST(DecodeHeaderText, MalformedWordsAreCopiedAndTheScanGoesOn) {
  const HeaderCase cases[] = {
      {"unknown encoding letter", "=?us-ascii?X?a?= b", "=?us-ascii?X?a?= b", 1},
      {"no ? behind the letter", "=?us-ascii?Ba?= b", "=?us-ascii?Ba?= b", 1},
      {"ends in a lone ?", "=?x?B?abc?", "=?x?B?abc?", 1},
      {"ends after =?", "a=?", "a=?", 1},
      {"ends in the charset", "a=?iso-2022", "a=?iso-2022", 1},
      {"ends after the letter", "=?us-ascii?B", "=?us-ascii?B", 1},
      {"a later word is still decoded", "=?x?X?y?= =?us-ascii?Q?ok?=", "=?x?X?y?= ok", 1},
      {"a stray =? before the next header line",
       "Subject: 50% =?\r\nFrom: " + kTesutoWord + " <a@b>\r\nMessage-ID: <1@b>\r\n",
       "Subject: 50% =?\r\nFrom: " + kTesuto + " <a@b>\r\nMessage-ID: <1@b>\r\n", 1},
      {"the charset ran into a word", "Subject: =?abc" + kTesutoWord + "\r\n",
       "Subject: =?abc" + kTesuto + "\r\n", 1},
      {"=? right before a word", "=?" + kMeeruWord, "=?" + kMeeru, 1},
      {"words before it stay decoded", kTesutoWord + " =?bad", kTesuto + " =?bad", 1},
  };
  for (const HeaderCase& c : cases) Check(c);
}

// What today's mail needs beyond code page 932 and the original scanner.
TEST(DecodeHeaderText, Utf8AndTodaysMail) {
  const std::string kNihon = "\xE6\x97\xA5\xE6\x9C\xAC";  // 日本 in UTF-8
  const HeaderCase cases[] = {
      {"lower-case b", "Subject: =?utf-8?b?5pel5pys?=\r\nFrom: a\r\n",
       "Subject: " + kNihon + "\r\nFrom: a\r\n", 0},
      {"lower-case q", "=?iso-2022-jp?q?=1B$B0!=1B(B?=", "\xE4\xBA\x9C", 0},
      {"folded adjacent words joined", "=?utf-8?B?5pel?=\r\n =?utf-8?B?5pys?=", kNihon, 0},
      {"UTF-8 character split between two words",
       "=?utf-8?Q?=E6=97?= =?UTF-8?Q?=A5?=", "\xE6\x97\xA5", 0},
      {"JIS pair split between two words",
       "=?iso-2022-jp?B?GyRCRg==?= =?iso-2022-jp?B?fEtcGyhC?=", kNihon, 0},
      {"two charsets side by side",
       "=?iso-8859-1?Q?caf=E9?= =?utf-8?Q?=E2=82=AC?=", "caf\xC3\xA9\xE2\x82\xAC", 0},
      {"RFC 2231 language in the charset", "=?utf-8*ja?B?5pel5pys?=", kNihon, 0},
      {"unknown charset, UTF-8 payload", "=?x-foo?Q?=E6=97=A5=E6=9C=AC?=", kNihon, 0},
      {"unknown charset, Shift_JIS payload", "=?x-foo?Q?=93=FA=96{?=", kNihon, 0},
      {"raw UTF-8 value", "Subject: " + kNihon + "\r\n", "Subject: " + kNihon + "\r\n", 0},
      {"raw Shift_JIS value", "Subject: \x93\xFA\x96\x7B\r\n", "Subject: " + kNihon + "\r\n", 0},
      {"raw ISO-2022-JP value", "Subject: \x1B$BF|K\\\x1B(B\r\n", "Subject: " + kNihon + "\r\n", 0},
      {"each line guessed on its own", "Subject: " + kNihon + "\r\nFrom: \x93\xFA\x96\x7B\r\n",
       "Subject: " + kNihon + "\r\nFrom: " + kNihon + "\r\n", 0},
      // 0xFF is an ordinary byte: the header goes on behind it.
      {"0xFF in a value",
       "Subject: a\xFF"
       "b\r\nMessage-ID: <1@b>\r\n",
       "Subject: a\xEF\xBF\xBD"
       "b\r\nMessage-ID: <1@b>\r\n",
       0},
      {"0xFF inside a word's text", "=?us-ascii?B?QUJD\xFF?=", "ABC", 0},
      {"a decoded line break cannot start a header line",
       "=?utf-8?Q?a=0D=0AFrom:_x?=", "a  From: x", 0},
  };
  for (const HeaderCase& c : cases) CheckUtf8(c);
  // Raw 8-bit text that is not UTF-8 is read in the message's own charset.
  CheckUtf8({"fallback charset", "Subject: caf\xE9\r\n", "Subject: caf\xC3\xA9\r\n", 0},
            "iso-8859-1");
}

TEST(DecodeHeaderText, StopsWithStatusOneWhenMemoryRunsOut) {
  std::string text;
  for (int i = 0; i < 5; ++i) {
    text += "Subject: " + kTesutoWord + " x " + kMeeruWord + "\r\nFrom: =?us-ascii?Q?a=41?=\r\n";
  }
  std::string full;
  ASSERT_EQ(DecodeHeaderText(text, &full), 0);
  int failures = 0;
  for (long n = 0; n < 200; ++n) {
    std::string out;
    testing::FailAllocationAfter(n);
    int status = DecodeHeaderText(text, &out);
    if (!testing::StopFailingAllocations()) {
      EXPECT_EQ(status, 0);
      EXPECT_EQ(out, full);
      break;
    }
    ++failures;
    EXPECT_EQ(status, 1) << n;
    EXPECT_EQ(full.compare(0, out.size(), out), 0) << "not a prefix at n=" << n << ": " << Hex(out);
  }
  EXPECT_GT(failures, 3);
}

// A scan over a block full of stray "=?" and no "?=" anywhere: every byte
// comes through once.
TEST(DecodeHeaderText, ManyStrayOpeningsCopyEverythingOnce) {
  std::string text;
  for (int i = 0; i < 20000; ++i) text += "=?x?B?a";
  std::string out;
  EXPECT_EQ(DecodeHeaderText(text, &out), 1);
  EXPECT_TRUE(out == text) << out.size() << " bytes out of " << text.size();
}

// Python's ISO-2022-JP codec and base64 make the encoded words; the decoder
// must give back the Shift_JIS text Python makes of the same characters.
TEST(DecodeHeaderTextOracle, DecodesWordsPythonEncodes) {
  const char tool[] = "/usr/bin/python3";
  if (!testing::ToolAvailable(tool)) GTEST_SKIP() << "no python3";
  const std::string texts[] = {
      "会議のお知らせ（第３回）",
      "Re: 【重要】パスワード変更のお願い",
      "山田太郎",
      "ｶﾀｶﾅ混じり",  // half-width katakana go out as ESC ( I in Python
      "〒100-0001　東京都千代田区",
      "ＡＢＣ ａｂｃ １２３ ＋×÷ ※",
  };
  std::string input;
  for (const std::string& t : texts) input += t + "\n";
  // One line per text: the encoded word, a tab, the text in code page 932,
  // both through Python's own codecs.
  std::string out = testing::RunFilter(
      std::string(tool) +
          " -c 'import sys,base64\n"
          "for l in sys.stdin.buffer.read().split(b\"\\n\")[:-1]:\n"
          " t=l.decode(\"cp932\")\n"
          " j=t.encode(\"iso2022_jp_ext\")\n"
          " sys.stdout.buffer.write(b\"=?ISO-2022-JP?B?\"+base64.b64encode(j)+b\"?=\\t\"+"
          "t.encode(\"cp932\")+b\"\\n\")'",
      input);
  std::size_t start = 0;
  int checked = 0;
  for (const std::string& t : texts) {
    std::size_t tab = out.find('\t', start);
    std::size_t end = out.find('\n', tab);
    ASSERT_NE(end, std::string::npos) << Hex(out);
    std::string word = out.substr(start, tab - start);
    std::string expected = out.substr(tab + 1, end - tab - 1);
    ASSERT_EQ(expected, t);
    std::string decoded;
    EXPECT_EQ(DecodeHeaderText("Subject: " + word, &decoded), 0);
    EXPECT_EQ(Hex(MailTextToCp932(decoded)), Hex("Subject: " + expected)) << word;
    ++checked;
    start = end + 1;
  }
  EXPECT_EQ(checked, 6);
}

}  // namespace
}  // namespace tarnu
