#include "codec/header_decode.h"

#include <gtest/gtest.h>

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

void Check(const HeaderCase& c) {
  std::string out = "left over";
  int status = DecodeHeaderText(c.in, &out);
  EXPECT_EQ(Hex(out), Hex(c.out)) << c.name;
  EXPECT_EQ(status, c.status) << c.name;
}

TEST(DecodeHeaderText, WellFormedWords) {
  const HeaderCase cases[] = {
      {"upper-case charset", "Subject: " + kTesutoWord, "Subject: " + kTesuto, 0},
      {"lower-case charset", "Subject: =?iso-2022-jp?B?GyRCJUYlOSVIGyhC?=", "Subject: " + kTesuto,
       0},
      {"space between two words stays", kTesutoWord + " " + kMeeruWord, kTesuto + " " + kMeeru, 0},
      {"line structure stays", "Subject: " + kTesutoWord + "\r\n\t" + kMeeruWord + "\r\n",
       "Subject: " + kTesuto + "\r\n\t" + kMeeru + "\r\n", 0},
      {"Q word, underscore stays", "=?us-ascii?Q?a=41_b?=", "aA_b", 0},
      {"Q word with iso-2022-jp", "=?iso-2022-jp?Q?=1B$B0!=1B(B?=", "\x88\x9F", 0},
      {"15 significant characters give nothing", "x =?iso-2022-jp?B?GyRCJUYlOSVIGyh?= y", "x  y",
       0},
      {"padding then more text", "=?us-ascii?B?QQ==QUJD?=", "A", 0},
      {"other charsets stay unconverted", "=?iso-8859-1?Q?caf=E9?=", "caf\xE9", 0},
      {"unknown charset: payload as it is",
       "=?x-unknown?B?GyRCJUYlOSVIGyhC?=", "\x1B$B%F%9%H\x1B(B", 0},
      {"empty charset name",
       "=?"
       "?B?GyRCJUYlOSVIGyhC?=",
       "\x1B$B%F%9%H\x1B(B", 0},
      {"empty encoded text",
       "a=?us-ascii?B?"
       "?=b",
       "ab", 0},
      {"? inside the encoded text", "=?us-ascii?Q?a?b?=", "a?b", 0},
      {"each word starts in one-byte mode", "=?iso-2022-jp?B?GyRC?==?iso-2022-jp?B?MCE=?=", "0!",
       0},
      {"= not followed by ? is copied", "=41 a=b", "=41 a=b", 0},
      {"= as the last byte", "a=", "a=", 0},
      {"0xFF ends the scan",
       "a" + kTesutoWord +
           "\xFF"
           "=?x?B?",
       "a" + kTesuto, 0},
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
      {"lower-case b", "Subject: =?iso-2022-jp?b?GyRCJUYlOSVIGyhC?=\r\nFrom: a\r\n",
       "Subject: =?iso-2022-jp?b?GyRCJUYlOSVIGyhC?=\r\nFrom: a\r\n", 1},
      {"lower-case q", "=?us-ascii?q?a?=", "=?us-ascii?q?a?=", 1},
      {"unknown encoding letter", "=?us-ascii?X?a?= b", "=?us-ascii?X?a?= b", 1},
      {"no ? behind the letter", "=?us-ascii?Ba?= b", "=?us-ascii?Ba?= b", 1},
      {"ends in a lone ?", "=?x?B?abc?", "=?x?B?abc?", 1},
      {"ends after =?", "a=?", "a=?", 1},
      {"ends in the charset", "a=?iso-2022", "a=?iso-2022", 1},
      {"ends after the letter", "=?us-ascii?B", "=?us-ascii?B", 1},
      {"0xFF before the closing ?=", "=?us-ascii?B?QUJD\xFF?=", "=?us-ascii?B?QUJD", 1},
      {"a later word is still decoded", "=?x?b?y?= =?us-ascii?Q?ok?=", "=?x?b?y?= ok", 1},
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
    EXPECT_EQ(Hex(decoded), Hex("Subject: " + expected)) << word;
    ++checked;
    start = end + 1;
  }
  EXPECT_EQ(checked, 6);
}

}  // namespace
}  // namespace tarnu
