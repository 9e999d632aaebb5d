#include "app/column_widths.h"

#include <cstdint>

#include "app/result_list_model.h"

namespace tarnu {
namespace {

// a * b / c rounded to the nearest, as MulDiv does.
int Scale(int value, int to, int from) {
  if (from <= 0) return value;
  const std::int64_t product = static_cast<std::int64_t>(value) * to;
  const std::int64_t half = from / 2;
  return static_cast<int>(product >= 0 ? (product + half) / from : (product - half) / from);
}

std::vector<int> Defaults() {
  std::vector<int> widths;
  for (const ResultColumn& column : kResultColumnTable) widths.push_back(column.width);
  return widths;
}

}  // namespace

std::vector<int> ColumnWidthsOnScreen(const std::vector<int>& stored, int dpi) {
  std::vector<int> widths = stored.size() == kResultColumns ? stored : Defaults();
  for (int& width : widths) width = Scale(width, dpi, 96);
  return widths;
}

std::optional<std::vector<int>> ColumnWidthsToStore(const std::vector<int>& on_screen, int dpi,
                                                    const std::vector<int>& stored) {
  if (on_screen.size() != kResultColumns) return std::nullopt;
  // Unchanged on the screen means unchanged: no rounding drift from a
  // width that went to the screen and back.
  if (on_screen == ColumnWidthsOnScreen(stored, dpi)) return std::nullopt;
  std::vector<int> widths = on_screen;
  for (int& width : widths) {
    width = Scale(width, 96, dpi);
    if (width < 0) width = 0;
  }
  return widths;
}

}  // namespace tarnu
