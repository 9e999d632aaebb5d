// Japanese literals are written in UTF-8 and must reach the program as code
// page 932 bytes; every message text relies on this.
#include <string>

#include <gtest/gtest.h>

TEST(Literal, JapaneseTextCompilesToShiftJis) {
  // テスト, and ソ whose trail byte is a backslash.
  EXPECT_EQ(std::string("テスト"), std::string("\x83\x65\x83\x58\x83\x67"));
  EXPECT_EQ(std::string("ソ表"), std::string("\x83\x5C\x95\x5C"));
  EXPECT_EQ(sizeof("メモリが足りません") - 1, 18u);
}

TEST(Literal, HalfwidthKatakanaAndFullwidthSpace) {
  EXPECT_EQ(std::string("ｷｬﾝｾﾙ"), std::string("\xB7\xAC\xDD\xBE\xD9"));
  EXPECT_EQ(std::string("　"), std::string("\x81\x40"));
}
