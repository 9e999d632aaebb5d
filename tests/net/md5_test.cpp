#include "net/md5.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include "tests/support/shell.h"
#endif

namespace tarnu {
namespace {

std::string Hex(const unsigned char* bytes, std::size_t n) {
  std::string out;
  char buf[3];
  for (std::size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02x", bytes[i]);
    out += buf;
  }
  return out;
}

// The digest of `input` fed to Md5Update in pieces of `piece` bytes (0: at
// once).
std::string Md5Hex(const std::string& input, std::size_t piece = 0) {
  Md5Context context;
  Md5Init(&context);
  const auto* p = reinterpret_cast<const unsigned char*>(input.data());
  if (piece == 0) piece = input.size() + 1;
  for (std::size_t i = 0; i < input.size(); i += piece) {
    Md5Update(&context, p + i, std::min(piece, input.size() - i));
  }
  if (input.empty()) Md5Update(&context, p, 0);
  unsigned char digest[16];
  Md5Final(digest, &context);
  return Hex(digest, sizeof digest);
}

TEST(Md5, Rfc1321TestSuite) {
  struct Case {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Md5Hex(c.input), c.digest) << c.input;
    // Any split of the input into updates gives the same digest.
    for (std::size_t piece : {1, 3, 63, 64, 65}) EXPECT_EQ(Md5Hex(c.input, piece), c.digest);
  }
}

// The lengths at which the padding changes shape: 55 fits the bit count in
// the same block, 56 and 63 need a second block, 64 is exactly one block.
TEST(Md5, PaddingBoundaries) {
  struct Case {
    std::size_t length;
    const char* digest;
  } cases[] = {
      {55, "ef1772b6dff9a122358552954ad0df65"}, {56, "3b0c8ac703f828b04c6c197006d17218"},
      {63, "b06521f39153d618550606be297466d5"}, {64, "014842d480b571495a4a0363793f7367"},
      {65, "c743a45e0d2e6a95cb859adae0248435"}, {1000, "cabe45dcc9ae5b66ba86600cca6b8ba8"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Md5Hex(std::string(c.length, 'a')), c.digest) << c.length;
    EXPECT_EQ(Md5Hex(std::string(c.length, 'a'), 7), c.digest) << c.length;
  }
}

TEST(Md5, ApopExampleOfRfc1939) {
  EXPECT_EQ(Md5Hex("<1896.697170952@dbc.mtview.ca.us>tanstaaf"),
            "c4c9334bac560ecc979e58001b3e22fb");
}

TEST(Md5, FinalLeavesOnlyZeroBytes) {
  Md5Context context;
  Md5Init(&context);
  const unsigned char data[] = "some input that fills part of the buffer";
  Md5Update(&context, data, sizeof data - 1);
  unsigned char digest[16];
  Md5Final(digest, &context);
  const auto* raw = reinterpret_cast<const unsigned char*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) ASSERT_EQ(raw[i], 0) << "byte " << i;
}

#ifndef _WIN32
// Python's hashlib as an oracle over every length up to 300 and random
// inputs (bytes of every value), each also fed in random pieces.
TEST(Md5, AgreesWithPythonHashlib) {
  std::mt19937 random(12345);
  std::vector<std::string> inputs;
  for (std::size_t n = 0; n <= 300; ++n) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>(random());
    inputs.push_back(s);
  }
  for (int i = 0; i < 200; ++i) {
    std::string s(random() % 5000, '\0');
    for (char& c : s) c = static_cast<char>(random());
    inputs.push_back(s);
  }
  char path[] = "/tmp/tarnu-md5.XXXXXX";
  int fd = ::mkstemp(path);
  ASSERT_GE(fd, 0);
  FILE* f = ::fdopen(fd, "w");
  for (const std::string& s : inputs) {
    for (unsigned char c : s) std::fprintf(f, "%02x", c);
    std::fputc('\n', f);
  }
  std::fclose(f);
  int status = 0;
  std::string out = testing::RunCommand(
      "/usr/bin/python3 -c 'import hashlib,sys\n"
      "for l in sys.stdin: print(hashlib.md5(bytes.fromhex(l.strip())).hexdigest())' < " +
          std::string(path),
      &status);
  std::remove(path);
  ASSERT_EQ(status, 0);
  std::size_t pos = 0;
  int agreed = 0;
  for (const std::string& s : inputs) {
    std::size_t lf = out.find('\n', pos);
    ASSERT_NE(lf, std::string::npos);
    std::string expected = out.substr(pos, lf - pos);
    pos = lf + 1;
    EXPECT_EQ(Md5Hex(s), expected) << "length " << s.size();
    EXPECT_EQ(Md5Hex(s, 1 + random() % 100), expected) << "length " << s.size();
    if (Md5Hex(s) == expected) ++agreed;
  }
  EXPECT_EQ(agreed, static_cast<int>(inputs.size()));
  std::printf("md5: %d of %zu inputs agree with hashlib\n", agreed, inputs.size());
}
#endif

}  // namespace
}  // namespace tarnu
