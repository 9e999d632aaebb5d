#include "codec/cp932_text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::Hex;

#ifndef _WIN32
// Python's own tables say which code page 932 characters are small letters of
// the full-width Latin, Greek and Cyrillic blocks and what their capitals are.
std::map<unsigned, unsigned> OracleCapitals() {
  const char* script =
      "import unicodedata\n"
      "for lead in list(range(0x81,0xA0))+list(range(0xE0,0xFD)):\n"
      "  for trail in range(0x40,0xFD):\n"
      "    b=bytes([lead,trail])\n"
      "    try: c=b.decode('cp932')\n"
      "    except UnicodeDecodeError: continue\n"
      "    n=unicodedata.name(c,'')\n"
      "    if not (n.startswith('FULLWIDTH LATIN SMALL') or n.startswith('GREEK SMALL')\n"
      "            or n.startswith('CYRILLIC SMALL')): continue\n"
      "    u=c.upper().encode('cp932')\n"
      "    if u!=b: print('%04x %04x'%(lead*256+trail,int.from_bytes(u,'big')))\n";
  std::string command = "/usr/bin/python3 - <<'PY'\n" + std::string(script) + "PY\n";
  std::map<unsigned, unsigned> capitals;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return capitals;
  unsigned small = 0, capital = 0;
  while (std::fscanf(pipe, "%x %x", &small, &capital) == 2) capitals[small] = capital;
  pclose(pipe);
  return capitals;
}

std::string Pair(unsigned code) {
  return std::string{static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

TEST(UpperCaseCp932, AgreesWithPythonOnEveryDoubleByteCode) {
  const std::map<unsigned, unsigned> capitals = OracleCapitals();
  // 26 Latin, 24 Greek and 33 Cyrillic small letters.
  ASSERT_EQ(capitals.size(), 83u);
  int checked = 0;
  for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
    if (lead >= 0xA0 && lead < 0xE0) continue;
    for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
      const unsigned code = lead << 8 | trail;
      auto it = capitals.find(code);
      const std::string expected = Pair(it == capitals.end() ? code : it->second);
      ASSERT_EQ(Hex(UpperCaseCp932(Pair(code))), Hex(expected)) << std::hex << code;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 60 * 189);
}

#endif  // Python runs on the build machine only.

TEST(UpperCaseCp932, SingleBytes) {
  std::string all;
  for (int b = 0; b < 0x100; ++b) {
    if (!((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC))) all += static_cast<char>(b);
  }
  std::string expected = all;
  for (char& c : expected) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
  }
  EXPECT_EQ(Hex(UpperCaseCp932(all)), Hex(expected));
}

TEST(UpperCaseCp932, TrailBytesThatLookLikeLettersStay) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      // "ャ" is 83 61 and "ア" 83 41: the trail byte 0x61 must not become 0x41.
      {"\x83\x61", "\x83\x61"},
      {"a\x83\x61z", "A\x83\x61Z"},
      // "ｂ" (82 82) folds to "Ｂ" (82 61); the byte after it is a new character.
      {"\x82\x82\x61", "\x82\x61\x41"},
      // A lead byte at the very end stands alone.
      {"ab\x83", "AB\x83"},
      // Half-width katakana are single bytes and followed by a letter.
      {"\xB1x", "\xB1X"},
  };
  for (const Case& c : cases) EXPECT_EQ(Hex(UpperCaseCp932(c.in)), Hex(c.out)) << Hex(c.in);
}

TEST(Cp932Boundaries, MarksCharacterStarts) {
  const std::string text = "a\x83\x41\xB1\x82\x60z\x83";
  const std::vector<bool> starts = Cp932Boundaries(text);
  const std::vector<bool> expected = {true, true, false, true, true, false, true, true, true};
  EXPECT_EQ(starts, expected);
}

}  // namespace
}  // namespace tarnu
