// The codec filters of tarnu-cli, run as a user runs them: bytes through
// standard input and output, exit codes.
#include <cstdlib>

#include <gtest/gtest.h>

#include "tests/codec/filter_process.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

class CodecVerbs : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* cli = std::getenv("TARNU_CLI");
    if (cli == nullptr || !testing::ToolAvailable(cli)) GTEST_SKIP() << "no tarnu-cli";
    cli_ = cli;
  }
  std::string Run(const std::string& verb, const std::string& input, int* exit_code) {
    return testing::RunFilter("'" + cli_ + "' " + verb, input, exit_code);
  }
  std::string cli_;
};

TEST_F(CodecVerbs, FiltersPassBytesThrough) {
  struct {
    const char* verb;
    std::string in;
    std::string out;
    int exit_code;
  } cases[] = {
      // Code page 932 out; the space between adjacent words is dropped.
      {"decode-header",
       "Subject: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?= =?iso-2022-jp?B?GyRCJWEhPCVrGyhC?=\r\n",
       "Subject: \x83\x65\x83\x58\x83\x67\x83\x81\x81\x5B\x83\x8B\r\n", 0},
      {"decode-header", "Subject: =?x?X?y?=\r\nFrom: a\r\n", "Subject: =?x?X?y?=\r\nFrom: a\r\n",
       1},
      // An emoji code page 932 lacks: the geta mark, or UTF-8 when asked.
      {"decode-header", "Subject: =?utf-8?b?8J+YgA==?=\r\n", "Subject: \x81\xAC\r\n", 0},
      {"decode-header --encoding utf-8", "Subject: =?utf-8?b?8J+YgA==?=\r\n",
       "Subject: \xF0\x9F\x98\x80\r\n", 0},
      {"encode-header", "Re: \x83\x65\x83\x58\x83\x67",
       "Re: =?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=", 0},
      {"to-sjis", "\x1B$B\x30\x21\x1B(B\r\n", "\x88\x9F\r\n", 0},
      {"to-sjis", "\xB4\xC1\r\n", "\x8A\xBF\r\n", 0},
      {"to-jis", "\x88\x9F\r\n", "\x1B$B\x30\x21\x1B(B\r\n", 0},
      {"detect-code", "", "0\n", 0},
      {"detect-code", "\xA4\xA2", "1\n", 0},
      {"detect-code", "\x82\xA0", "2\n", 0},
      {"detect-code", "\x1B$B", "4\n", 0},
      {"base64-encode", std::string(55, '\0'), std::string(72, 'A') + "\nAA==\n", 0},
      {"base64-decode", "AP8NCg==\n", std::string("\0\xFF\r\n", 4), 0},
  };
  for (const auto& c : cases) {
    int exit_code = -1;
    EXPECT_EQ(Hex(Run(c.verb, c.in, &exit_code)), Hex(c.out)) << c.verb << " " << Hex(c.in);
    EXPECT_EQ(exit_code, c.exit_code) << c.verb << " " << Hex(c.in);
  }
}

TEST_F(CodecVerbs, Base64RoundTripsEveryByte) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  int exit_code = -1;
  std::string encoded = Run("base64-encode", bytes, &exit_code);
  EXPECT_EQ(exit_code, 0);
  EXPECT_EQ(Hex(Run("base64-decode", encoded, &exit_code)), Hex(bytes));
  EXPECT_EQ(exit_code, 0);
}

TEST_F(CodecVerbs, ArgumentsAreUsageErrors) {
  for (const char* verb : {"decode-header", "encode-header", "to-sjis", "to-jis", "detect-code",
                           "base64-encode", "base64-decode"}) {
    int exit_code = -1;
    std::string out = Run(std::string(verb) + " extra 2>&1", "", &exit_code);
    EXPECT_EQ(exit_code, 2) << verb;
    EXPECT_NE(out.find("usage:"), std::string::npos) << out;
    EXPECT_NE(out.find(std::string("tarnu-cli ") + verb), std::string::npos) << out;
  }
}

}  // namespace
}  // namespace tarnu
