#include "app/cell_tip.h"

namespace tarnu {

int ColumnAt(int x, int label_left, int label_right, const std::vector<ColumnInfo>& columns) {
  if (columns.empty() || x < label_left) return -1;
  if (x < label_right) return 0;
  int right = label_right;
  for (std::size_t i = 1; i < columns.size(); ++i) {
    right += columns[i].width;
    if (x < right) return static_cast<int>(i);
  }
  return -1;
}

std::u16string CellTipText(int x, int label_left, int label_right,
                           const std::vector<ColumnInfo>& columns,
                           const std::vector<std::u16string_view>& texts,
                           const TextWidth16& measure) {
  const int column = ColumnAt(x, label_left, label_right, columns);
  if (column < 0 || static_cast<std::size_t>(column) >= texts.size()) return std::u16string();
  const std::vector<CellText16> cells =
      LayoutRowTexts(label_left, label_right, columns, texts, measure);
  const std::u16string_view whole = texts[static_cast<std::size_t>(column)];
  if (static_cast<std::size_t>(column) >= cells.size() ||
      cells[static_cast<std::size_t>(column)].text == whole) {
    return std::u16string();
  }
  return std::u16string(whole);
}

}  // namespace tarnu
