// The drawing decisions of the owner-drawn report list, apart from the
// drawing itself: which rows are highlighted, how pictures are blended,
// where the highlight ends and where each cell's text goes.
#ifndef TARNU_APP_REPORT_LIST_LOGIC_H_
#define TARNU_APP_REPORT_LIST_LOGIC_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/text_fit.h"

namespace tarnu {

// A row is highlighted when it is selected and the list either has the
// keyboard focus or always shows its selection, and whenever it is the drop
// target.
bool IsRowHighlighted(bool selected, bool drop_highlighted, bool list_has_focus,
                      bool show_selection_always);

enum class PictureBlend {
  kTransparent,   // drawn as it is
  kBackground50,  // a cut row: half background colour
  kHighlight50,   // a highlighted row: half highlight colour
};
PictureBlend ChoosePictureBlend(bool cut, bool highlighted);

// The state picture of a list item, from bits 12 to 15 of its state word:
// the index into the state image list, or -1 for none (0, or a number past
// the strip of `strip_count` pictures).
int StatePictureIndex(unsigned state_word, int strip_count);

// The right edge of a row's highlight: the row's own right edge, moved out
// to the client width when filling to the client width and that is further.
int HighlightRight(int bounds_right, int client_width, bool fill_to_client);

enum class CellAlign { kLeft, kRight, kCenter };

// One cell of a row as it is drawn: the text and where it goes.
template <typename Char>
struct BasicCellText {
  int left = 0;  // drawing rectangle, already narrowed by the cell padding
  int right = 0;
  std::basic_string<Char> text;
  CellAlign align = CellAlign::kLeft;
};
using CellText = BasicCellText<char>;
using CellText16 = BasicCellText<char16_t>;

struct ColumnInfo {
  int width = 0;
  CellAlign align = CellAlign::kLeft;  // from the column's format
};

// Lays out the texts of one row. `label_left`/`label_right` is the first
// column's label rectangle; `columns[0]` is the first column (its width is
// not used: the label rectangle stands for it), `texts[i]` the text of
// column i. The first column is shortened for the label width with a margin
// of 4 and drawn 2 pixels in from each side; every further column starts
// where the previous one ended, is shortened for its width with a margin of
// 12 and drawn 6 pixels in. A text that had to be shortened is always
// left-aligned; the first column is always left-aligned.
std::vector<CellText> LayoutRowTexts(int label_left, int label_right,
                                     const std::vector<ColumnInfo>& columns,
                                     const std::vector<std::string_view>& texts,
                                     const TextWidth& measure);
// The same for the UTF-16 texts the screen is given.
std::vector<CellText16> LayoutRowTexts(int label_left, int label_right,
                                       const std::vector<ColumnInfo>& columns,
                                       const std::vector<std::u16string_view>& texts,
                                       const TextWidth16& measure);

}  // namespace tarnu

#endif  // TARNU_APP_REPORT_LIST_LOGIC_H_
