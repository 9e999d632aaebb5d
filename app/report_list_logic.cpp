#include "app/report_list_logic.h"

namespace tarnu {
namespace {

template <typename Char, typename Measure>
std::vector<BasicCellText<Char>> LayOut(int label_left, int label_right,
                                        const std::vector<ColumnInfo>& columns,
                                        const std::vector<std::basic_string_view<Char>>& texts,
                                        const Measure& measure) {
  constexpr int kLabelMargin = 4, kLabelPadding = 2;
  constexpr int kCellMargin = 12, kCellPadding = 6;
  std::vector<BasicCellText<Char>> cells;
  if (columns.empty() || texts.empty()) return cells;
  cells.reserve(columns.size());

  BasicCellText<Char> first;
  first.left = label_left + kLabelPadding;
  first.right = label_right - kLabelPadding;
  first.text = ShortenText(texts[0], label_right - label_left, kLabelMargin, measure).text;
  cells.push_back(std::move(first));

  int cell_right = label_right;
  for (std::size_t i = 1; i < columns.size(); ++i) {
    int cell_left = cell_right;
    cell_right += columns[i].width;
    std::basic_string_view<Char> source =
        i < texts.size() ? texts[i] : std::basic_string_view<Char>();
    auto fitted = ShortenText(source, columns[i].width, kCellMargin, measure);
    BasicCellText<Char> cell;
    cell.left = cell_left + kCellPadding;
    cell.right = cell_right - kCellPadding;
    cell.align = fitted.shortened ? CellAlign::kLeft : columns[i].align;
    cell.text = std::move(fitted.text);
    cells.push_back(std::move(cell));
  }
  return cells;
}

}  // namespace

bool IsRowHighlighted(bool selected, bool drop_highlighted, bool list_has_focus,
                      bool show_selection_always) {
  return (selected && (list_has_focus || show_selection_always)) || drop_highlighted;
}

PictureBlend ChoosePictureBlend(bool cut, bool highlighted) {
  if (cut) return PictureBlend::kBackground50;
  if (highlighted) return PictureBlend::kHighlight50;
  return PictureBlend::kTransparent;
}

int StatePictureIndex(unsigned state_word, int strip_count) {
  int number = static_cast<int>((state_word >> 12) & 0xF);
  if (number == 0 || number > strip_count) return -1;
  return number - 1;
}

int HighlightRight(int bounds_right, int client_width, bool fill_to_client) {
  if (fill_to_client && client_width > bounds_right) return client_width;
  return bounds_right;
}

std::vector<CellText> LayoutRowTexts(int label_left, int label_right,
                                     const std::vector<ColumnInfo>& columns,
                                     const std::vector<std::string_view>& texts,
                                     const TextWidth& measure) {
  return LayOut(label_left, label_right, columns, texts, measure);
}

std::vector<CellText16> LayoutRowTexts(int label_left, int label_right,
                                       const std::vector<ColumnInfo>& columns,
                                       const std::vector<std::u16string_view>& texts,
                                       const TextWidth16& measure) {
  return LayOut(label_left, label_right, columns, texts, measure);
}

}  // namespace tarnu
