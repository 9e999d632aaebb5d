#include "codec/header_encode.h"

#include <vector>

#include <gtest/gtest.h>

#include "codec/charset.h"

#include "codec/header_decode.h"
#include "tests/codec/alloc_failure.h"
#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

std::string Encode(const std::string& text) {
  std::string out = "left over";
  EXPECT_EQ(EncodeHeaderText(text, &out), 0);
  return out;
}

bool IsSevenBit(const std::string& s) {
  for (unsigned char c : s) {
    if (c >= 0x80) return false;
  }
  return true;
}

// Expected words were made with Python's ISO-2022-JP codec and base64.
TEST(EncodeHeaderText, RunsBecomeOneWordEach) {
  struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"empty", "", ""},
      {"pure ASCII unchanged", "Re: [list] hello\tworld", "Re: [list] hello\tworld"},
      {"one word only", "\x83\x65\x83\x58\x83\x67", "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?="},
      {"no space added beside a word", "Re:\x83\x65\x83\x58\x83\x67!",
       "Re:=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=!"},
      {"two words keep their space", "\x83\x65\x83\x58\x83\x67 \x83\x65\x83\x58\x83\x67",
       "=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?="},
      {"half-width katakana widened", "\xB6\xDE\xB2\xC4\xDE", "=?ISO-2022-JP?B?GyRCJSwlJCVJGyhC?="},
      {"half-width and double-byte form one run", "\x83\x65\xB1",
       "=?ISO-2022-JP?B?GyRCJUYlIhsoQg==?="},
      {"lead byte before ASCII: dropped, run closed", "\x82\xA0\x82 b",
       "=?ISO-2022-JP?B?GyRCJCIbKEI=?= b"},
      {"lead byte at the end dropped", "a\x82", "a"},
      {"unmappable pair: trail comes out alone", "\xF0\x40", "=?ISO-2022-JP?B?QA==?="},
      {"0xFF ends the text", "\x83\x65\xFF\x83\x58", "=?ISO-2022-JP?B?GyRCJUYbKEI=?="},
      {"non-characters are left out",
       "a\x80"
       "b\xA0"
       "c\xFD\xFE",
       "abc"},
      {"... and end a run", "\x83\x65\x80\x83\x65",
       "=?ISO-2022-JP?B?GyRCJUYbKEI=?==?ISO-2022-JP?B?GyRCJUYbKEI=?="},
      {"control bytes are plain", "a\r\nb", "a\r\nb"},
  };
  for (const auto& c : cases) EXPECT_EQ(Encode(c.in), c.out) << c.name;
}

TEST(EncodeHeaderText, LongRunStaysOnOneLine) {
  std::string kanji;
  for (int i = 0; i < 15; ++i) kanji += "\x8A\xBF\x8E\x9A";  // 漢字
  std::string out = Encode(kanji);
  EXPECT_EQ(
      out,
      "=?ISO-2022-JP?B?GyRCNEE7ejRBO3o0QTt6NEE7ejRBO3o0QTt6NEE7ejRBO3o0QTt6NEE7ejRBO3o0QTt6NEE7"
      "ejRBO3o0QTt6GyhC?=");
  EXPECT_EQ(out.size() - 18, 88u);
}

// Decoding what was encoded gives the text back (half-width katakana come
// back full-width); the result is always 7-bit.
TEST(EncodeHeaderText, RoundTripsThroughDecodeHeaderText) {
  const std::string texts[] = {
      "Re: 会議のお知らせ（第３回）",
      "山田 太郎 <taro@example.jp>",
      "【重要】パスワード変更",
      "ﾃｽﾄ",
  };
  // A reader drops the space between two adjacent encoded words (RFC 2047
  // 6.2), so "山田 太郎", sent as two words, reads back as one.
  const std::string back[] = {texts[0], "山田太郎 <taro@example.jp>", texts[2], "テスト"};
  for (int i = 0; i < 4; ++i) {
    std::string encoded = Encode(texts[i]);
    EXPECT_TRUE(IsSevenBit(encoded)) << encoded;
    std::string decoded;
    EXPECT_EQ(DecodeHeaderText(encoded, &decoded), 0);
    EXPECT_EQ(Hex(MailTextToCp932(decoded)), Hex(back[i]));
  }
}

// Python's own reading of our words (base64, then its ISO-2022-JP codec)
// must give the original characters.
TEST(EncodeHeaderTextOracle, PythonReadsOurWords) {
  const char tool[] = "/usr/bin/python3";
  if (!testing::ToolAvailable(tool)) GTEST_SKIP() << "no python3";
  const std::string texts[] = {
      "Re: 会議のお知らせ（第３回）",
      "山田 太郎 <taro@example.jp>",
      "【重要】パスワード変更のお願い、至急ご確認ください。",
      "〒100-0001　東京都千代田区千代田１－１",
  };
  std::string input;
  for (const std::string& t : texts) input += Encode(t) + "\n";
  std::string theirs = testing::RunFilter(
      std::string(tool) +
          " -c 'import sys,re,base64\n"
          "w=re.compile(r\"=\\?ISO-2022-JP\\?B\\?([A-Za-z0-9+/=]*)\\?=\")\n"
          "for l in sys.stdin.read().split(\"\\n\")[:-1]:\n"
          " t=w.sub(lambda m: base64.b64decode(m.group(1)).decode(\"iso2022_jp\"), l)\n"
          " sys.stdout.buffer.write(t.encode(\"cp932\")+b\"\\n\")'",
      input);
  std::string expected;
  for (const std::string& t : texts) expected += t + "\n";
  EXPECT_EQ(Hex(theirs), Hex(expected));
}

// Under memory exhaustion a run (or a byte) is left out and the rest goes
// on: whatever comes out is the full result with some pieces missing, and
// the call never throws.
TEST(EncodeHeaderText, LeavesPiecesOutWhenMemoryRunsOut) {
  const std::string text = "Re: \x83\x65\x83\x58\x83\x67 and \x8A\xBF\x8E\x9A, ok";
  const std::string full = Encode(text);
  int failures = 0;
  for (long n = 0; n < 100; ++n) {
    std::string out;
    testing::FailAllocationAfter(n);
    int status = EncodeHeaderText(text, &out);
    if (!testing::StopFailingAllocations()) {
      EXPECT_EQ(out, full);
      break;
    }
    ++failures;
    EXPECT_EQ(status, 0);
    // Each word of `out` is a whole word of `full`, in order.
    std::size_t at = 0;
    for (std::size_t i = 0; i < out.size();) {
      std::size_t len = 1;
      if (out.compare(i, 2, "=?") == 0) len = out.find("?=", i + 16) + 2 - i;
      std::size_t found = full.find(out.substr(i, len), at);
      ASSERT_NE(found, std::string::npos) << "n=" << n << " " << out;
      at = found + len;
      i += len;
    }
  }
  EXPECT_GT(failures, 2);
}

}  // namespace
}  // namespace tarnu
