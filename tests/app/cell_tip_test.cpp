#include "app/cell_tip.h"

#include <gtest/gtest.h>

namespace tarnu {
namespace {

// Every character 7 pixels wide.
int Width(std::u16string_view text) { return static_cast<int>(text.size()) * 7; }

std::string Narrow(std::u16string_view text) { return std::string(text.begin(), text.end()); }

TEST(CellTipText, TheWholeTextOfTheShortenedCellUnderThePointer) {
  // Label 20..120 (column 0), then columns of 100, 50 and 100 pixels:
  // 120..220, 220..270, 270..370.
  const std::vector<ColumnInfo> columns = {{100, CellAlign::kLeft},
                                           {100, CellAlign::kLeft},
                                           {50, CellAlign::kRight},
                                           {100, CellAlign::kLeft}};
  const std::u16string host = u"mail.example.com";                // 112 px: shortened in 100
  const std::u16string subject = u"short";                        // fits
  const std::u16string size = u"123456";                          // 42 + 12 > 50: shortened
  const std::u16string state = u"error 10061 (refused by peer)";  // shortened
  const std::vector<std::u16string_view> texts = {host, subject, size, state};
  struct Case {
    int x;
    std::u16string tip;
  } cases[] = {
      {19, u""},                                            // left of the label
      {20, host},                                           // the first column
      {119, host}, {120, u""},                              // the subject fits: no tip
      {219, u""},  {220, size},                             // a right-aligned column cut short
      {269, size}, {270, state}, {369, state}, {370, u""},  // right of the last column
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CellTipText(c.x, 20, 120, columns, texts, Width), c.tip)
        << c.x << ": " << Narrow(CellTipText(c.x, 20, 120, columns, texts, Width));
  }
}

TEST(CellTipText, NoTipWithoutColumnsOrTexts) {
  EXPECT_EQ(CellTipText(50, 0, 100, {}, {}, Width), u"");
  const std::vector<ColumnInfo> one = {{100, CellAlign::kLeft}};
  EXPECT_EQ(CellTipText(50, 0, 100, one, {}, Width), u"");
  const std::u16string empty;
  EXPECT_EQ(CellTipText(50, 0, 100, one, {empty}, Width), u"");
}

}  // namespace
}  // namespace tarnu
