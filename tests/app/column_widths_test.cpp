#include "app/column_widths.h"

#include <gtest/gtest.h>

namespace tarnu {
namespace {

using Widths = std::vector<int>;
const Widths kBuiltIn = {100, 150, 100, 50, 200, 100};

TEST(ColumnWidthsOnScreen, StoredOrBuiltInScaledToTheDpi) {
  struct Case {
    Widths stored;
    int dpi;
    Widths shown;
  } cases[] = {
      {{}, 96, kBuiltIn},
      {{}, 144, {150, 225, 150, 75, 300, 150}},
      {{}, 120, {125, 188, 125, 63, 250, 125}},  // halves round up
      {{90, 160, 100, 0, 210, 120}, 96, {90, 160, 100, 0, 210, 120}},
      {{90, 160, 100, 0, 210, 120}, 192, {180, 320, 200, 0, 420, 240}},
      {{90, 160, 100}, 96, kBuiltIn},  // not one per column
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColumnWidthsOnScreen(c.stored, c.dpi), c.shown) << c.dpi;
  }
}

TEST(ColumnWidthsToStore, OnlyWhatTheUserChangedAt96Dpi) {
  struct Case {
    Widths on_screen;
    int dpi;
    Widths stored;
    std::optional<Widths> to_store;
  } cases[] = {
      {kBuiltIn, 96, {}, std::nullopt},                        // never touched: no tarnu.ini for it
      {{125, 188, 125, 63, 250, 125}, 120, {}, std::nullopt},  // built-in, scaled
      {{90, 160, 100, 0, 210, 120}, 96, {90, 160, 100, 0, 210, 120}, std::nullopt},
      {{101, 150, 100, 50, 200, 100}, 96, {}, Widths{101, 150, 100, 50, 200, 100}},
      {{180, 225, 150, 75, 300, 150}, 144, {}, Widths{120, 150, 100, 50, 200, 100}},
      {{152, 225, 150, 75, 300, 150}, 144, {}, Widths{101, 150, 100, 50, 200, 100}},
      {{1, 2, 3}, 96, {}, std::nullopt},  // not one per column
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ColumnWidthsToStore(c.on_screen, c.dpi, c.stored), c.to_store) << c.dpi;
  }
}

}  // namespace
}  // namespace tarnu
