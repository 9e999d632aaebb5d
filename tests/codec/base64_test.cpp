#include "codec/base64.h"

#include <random>

#include <gtest/gtest.h>

#include "tests/codec/alloc_failure.h"
#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

std::string Decode(std::string_view text) {
  std::string out = "left over";
  std::size_t n = DecodeBase64(text, &out);
  EXPECT_EQ(n, out.size());
  EXPECT_LE(n, text.size() / 4 * 3) << text;
  return out;
}

std::string Encode(std::string_view data) {
  std::string out;
  EXPECT_EQ(EncodeBase64(data, &out), 0);
  return out;
}

std::string RandomBytes(std::mt19937* rng, std::size_t n) {
  std::uniform_int_distribution<int> byte(0, 255);
  std::string s;
  for (std::size_t i = 0; i < n; ++i) s += static_cast<char>(byte(*rng));
  return s;
}

// ------------------------------------------------------------- DecodeBase64

TEST(DecodeBase64, GroupsPaddingAndBrokenText) {
  struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"empty", "", ""},
      {"one group", "QUJD", "ABC"},
      {"one padding", "QUI=", "AB"},
      {"two paddings", "QQ==", "A"},
      {"what follows the padding is ignored", "QQ==QUJD", "A"},
      {"... even a broken group", "QQ==Q", "A"},
      {"white space anywhere", " Q U\r\nJ\tD ", "ABC"},
      {"72-column lines", "QUJD\nQUJD\n", "ABCABC"},
      {"three characters: nothing", "QQ=", ""},
      {"no padding at all: nothing", "YQ", ""},
      {"a broken last group discards the groups before", "QUJDQQ", ""},
      {"a lone = after a full group is a broken group", "QUJD=", ""},
      {"padding in the first place ends it", "=QUJ", ""},
      {"... and in the second place", "QUJDQ=JD", "ABC"},
      {"more padding than needed", "QUJD====", "ABC"},
      {"unused low bits are ignored", "QR==", "A"},
      {"0xFF ends the text", "QUJD\xFFQUJD", "ABC"},
      {"0xFF inside a group: nothing", "QU\xFFJD", ""},
      {"outside the alphabet counts as -1", "!!!!", "\xFF\xFF\xFF"},
      {"bytes from 0x80 up count as -1",
       "\x80"
       "AAA",
       std::string("\xFC\x00\x00", 3)},
      {"URL-safe letters are not in the alphabet", "-_-_", "\xFF\xFF\xFF"},
      {"NUL decodes", "AAAA", std::string(3, '\0')},
  };
  for (const auto& c : cases) EXPECT_EQ(Hex(Decode(c.in)), Hex(c.out)) << c.name;
}

// ------------------------------------------------------------- EncodeBase64

TEST(EncodeBase64, LineBreaksAndPadding) {
  struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"empty adds nothing", "", ""},
      {"one byte", "a", "YQ==\n"},
      {"two bytes", "ab", "YWI=\n"},
      {"0xFF is data here", "\xFF", "/w==\n"},
      {"54 bytes: one full line", std::string(54, '\0'), std::string(72, 'A') + "\n"},
      {"three letters", "aaa", "YWFh\n"},
      {"55 bytes: a second line", std::string(55, '\0'), std::string(72, 'A') + "\nAA==\n"},
      {"52 bytes: padding ends the full line, one LF", std::string(52, '\0'),
       std::string(70, 'A') + "==\n"},
      {"53 bytes", std::string(53, '\0'), std::string(71, 'A') + "=\n"},
      {"108 bytes: two full lines", std::string(108, '\0'),
       std::string(72, 'A') + "\n" + std::string(72, 'A') + "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Encode(c.in), c.out) << c.name;
}

TEST(EncodeBase64, AppendsToWhatIsThere) {
  std::string out = "head:";
  EXPECT_EQ(EncodeBase64("a", &out), 0);
  EXPECT_EQ(out, "head:YQ==\n");
  EXPECT_EQ(EncodeBase64("", &out), 0);
  EXPECT_EQ(out, "head:YQ==\n");
}

TEST(EncodeBase64, ReturnsOneWhenMemoryRunsOut) {
  const std::string data(500, 'x');
  const std::string full = "head:" + Encode(data);
  bool succeeded = false;
  for (long n = 0; n < 20 && !succeeded; ++n) {
    std::string out = "head:";
    testing::FailAllocationAfter(n);
    int rc = EncodeBase64(data, &out);
    bool failed = testing::StopFailingAllocations();
    if (failed) {
      EXPECT_EQ(rc, 1) << n;
      EXPECT_EQ(full.compare(0, out.size(), out), 0) << "not a prefix, n=" << n;
      EXPECT_EQ(out.compare(0, 5, "head:"), 0);
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(out, full);
      succeeded = true;
    }
  }
  EXPECT_TRUE(succeeded);
}

// ------------------------------------------------------------------ oracles

// coreutils base64 -w 72 writes the very same format: 72-column lines, each
// ending in LF, nothing for empty input.
TEST(Base64Oracle, AgreesWithCoreutilsBothWays) {
  const char tool[] = "/usr/bin/base64";
  if (!testing::ToolAvailable(tool)) GTEST_SKIP() << "no base64";
  std::mt19937 rng(20240601);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 200; ++n) lengths.push_back(n);
  for (std::size_t n : {215u, 216u, 217u, 1000u, 4096u, 65537u}) lengths.push_back(n);
  int agree = 0;
  for (std::size_t n : lengths) {
    std::string data = RandomBytes(&rng, n);
    std::string theirs = testing::RunFilter(std::string(tool) + " -w 72", data);
    EXPECT_EQ(Encode(data), theirs) << "length " << n;
    EXPECT_EQ(Decode(theirs), data) << "length " << n;
    int rc = -1;
    EXPECT_EQ(testing::RunFilter(std::string(tool) + " -d", Encode(data), &rc), data);
    EXPECT_EQ(rc, 0);
    if (Encode(data) == theirs && Decode(theirs) == data) ++agree;
  }
  std::cout << "base64: " << agree << " of " << lengths.size()
            << " random texts agree with coreutils both ways\n";
}

// Python's decoder is lenient in its own way; on canonical text without line
// breaks the two decoders must agree.
TEST(Base64Oracle, DecodesWhatPythonEncodes) {
  const char tool[] = "/usr/bin/python3";
  if (!testing::ToolAvailable(tool)) GTEST_SKIP() << "no python3";
  std::mt19937 rng(7);
  std::string hex_lines;
  std::vector<std::string> data;
  for (int i = 0; i < 300; ++i) {
    data.push_back(RandomBytes(&rng, static_cast<std::size_t>(i)));
    static const char digits[] = "0123456789abcdef";
    for (unsigned char c : data.back()) {
      hex_lines += digits[c >> 4];
      hex_lines += digits[c & 15];
    }
    hex_lines += '\n';
  }
  std::string theirs =
      testing::RunFilter(std::string(tool) +
                             " -c 'import sys,base64\n"
                             "for l in sys.stdin.read().split(\"\\n\")[:-1]:"
                             " print(base64.b64encode(bytes.fromhex(l)).decode())'",
                         hex_lines);
  std::size_t start = 0;
  for (const std::string& d : data) {
    std::size_t end = theirs.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(Decode(theirs.substr(start, end - start)), d);
    start = end + 1;
  }
}

}  // namespace
}  // namespace tarnu
