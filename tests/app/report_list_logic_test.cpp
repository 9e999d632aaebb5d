#include "app/report_list_logic.h"

#include <gtest/gtest.h>

#include "app/tray_logic.h"

namespace tarnu {
namespace {

TEST(IsRowHighlighted, OnlyWithFocusOrShowSelectionAlways) {
  struct Case {
    bool selected, drop, focus, always, highlighted;
  } cases[] = {
      // selected rows
      {true, false, true, false, true},
      {true, false, false, false, false},  // focus elsewhere: drawn plain
      {true, false, false, true, true},    // unless the list always shows it
      {true, false, true, true, true},
      // unselected rows stay plain whatever the list
      {false, false, true, false, false},
      {false, false, true, true, false},
      {false, false, false, true, false},
      {false, false, false, false, false},
      // the drop target is always highlighted
      {false, true, false, false, true},
      {false, true, true, false, true},
      {true, true, false, false, true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsRowHighlighted(c.selected, c.drop, c.focus, c.always), c.highlighted)
        << c.selected << c.drop << c.focus << c.always;
  }
}

TEST(ChoosePictureBlend, CutWinsOverHighlight) {
  EXPECT_EQ(ChoosePictureBlend(false, false), PictureBlend::kTransparent);
  EXPECT_EQ(ChoosePictureBlend(false, true), PictureBlend::kHighlight50);
  EXPECT_EQ(ChoosePictureBlend(true, false), PictureBlend::kBackground50);
  EXPECT_EQ(ChoosePictureBlend(true, true), PictureBlend::kBackground50);
}

TEST(StatePictureIndex, ReadsBitsTwelveToFifteen) {
  constexpr unsigned kSelected = 0x2, kFocused = 0x1, kOverlay3 = 3u << 8;
  struct Case {
    unsigned state;
    int strip;
    int index;
  } cases[] = {
      {0, 3, -1},                               // no state picture
      {1u << 12, 3, 0},                         // green lamp
      {2u << 12 | kSelected | kFocused, 3, 1},  // other bits do not matter
      {3u << 12 | kOverlay3, 3, 2},
      {4u << 12, 3, -1},  // past the strip: nothing
      {15u << 12, 3, -1},
      {kOverlay3 | kSelected, 3, -1},  // overlay bits are not a state picture
      {2u << 12, 2, 1},
      {3u << 12, 2, -1},
      {0xFFFF0000u | 1u << 12, 3, 0},  // higher bits ignored
  };
  for (const Case& c : cases) {
    EXPECT_EQ(StatePictureIndex(c.state, c.strip), c.index) << std::hex << c.state;
  }
}

TEST(HighlightRight, ReachesTheClientEdgeOnlyWhenAsked) {
  EXPECT_EQ(HighlightRight(700, 900, true), 900);
  EXPECT_EQ(HighlightRight(700, 900, false), 700);
  EXPECT_EQ(HighlightRight(950, 900, true), 950);  // never pulled back in
  EXPECT_EQ(HighlightRight(700, 0, true), 700);    // before the first size message
}

int SixPerByte(std::string_view text) { return 6 * static_cast<int>(text.size()); }

TEST(LayoutRowTexts, PlacesCellsSideBySide) {
  std::vector<ColumnInfo> columns = {{100, CellAlign::kLeft},
                                     {150, CellAlign::kLeft},
                                     {50, CellAlign::kRight},
                                     {80, CellAlign::kCenter}};
  std::vector<std::string_view> texts = {"host", "subject", "1234", "mid"};
  // The label starts after the two pictures.
  std::vector<CellText> cells = LayoutRowTexts(36, 100, columns, texts, SixPerByte);
  ASSERT_EQ(cells.size(), 4u);
  EXPECT_EQ(cells[0].left, 38);
  EXPECT_EQ(cells[0].right, 98);
  EXPECT_EQ(cells[0].text, "host");
  EXPECT_EQ(cells[1].left, 106);
  EXPECT_EQ(cells[1].right, 244);
  EXPECT_EQ(cells[2].left, 256);
  EXPECT_EQ(cells[2].right, 294);
  EXPECT_EQ(cells[3].left, 306);
  EXPECT_EQ(cells[3].right, 374);
  // Texts that fit keep their column's alignment.
  EXPECT_EQ(cells[1].align, CellAlign::kLeft);
  EXPECT_EQ(cells[2].align, CellAlign::kRight);
  EXPECT_EQ(cells[2].text, "1234");  // 24 + 12 = 36 <= 50
  EXPECT_EQ(cells[3].align, CellAlign::kCenter);
}

TEST(LayoutRowTexts, ShortenedTextsAreLeftAligned) {
  std::vector<ColumnInfo> columns = {{100, CellAlign::kLeft},
                                     {50, CellAlign::kRight},
                                     {50, CellAlign::kCenter},
                                     {50, CellAlign::kRight}};
  std::vector<std::string_view> texts = {"a-long-host-name", "123456789", "centred-too-long",
                                         "12345"};
  std::vector<CellText> cells = LayoutRowTexts(0, 64, columns, texts, SixPerByte);
  ASSERT_EQ(cells.size(), 4u);
  // Label: 64 wide, margin 4: room 64 - 18 - 4 = 42 -> 7 characters.
  EXPECT_EQ(cells[0].text, "a-long-...");
  // Cells: 50 wide, margin 12: room 50 - 18 - 12 = 20 -> 3 characters.
  EXPECT_EQ(cells[1].text, "123...");
  EXPECT_EQ(cells[1].align, CellAlign::kLeft);
  EXPECT_EQ(cells[2].text, "cen...");
  EXPECT_EQ(cells[2].align, CellAlign::kLeft);
  EXPECT_EQ(cells[3].text, "12345");  // 30 + 12 = 42 fits
  EXPECT_EQ(cells[3].align, CellAlign::kRight);
}

TEST(LayoutRowTexts, MissingTextsAreEmptyCells) {
  std::vector<ColumnInfo> columns = {{100, CellAlign::kLeft}, {40, CellAlign::kRight}};
  std::vector<std::string_view> texts = {"only the first"};
  std::vector<CellText> cells = LayoutRowTexts(0, 100, columns, texts, SixPerByte);
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[1].text, "");
  EXPECT_EQ(cells[1].align, CellAlign::kRight);
  EXPECT_TRUE(LayoutRowTexts(0, 100, {}, texts, SixPerByte).empty());
}

}  // namespace
}  // namespace tarnu
