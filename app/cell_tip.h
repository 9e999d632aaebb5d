// The tip over a cell of the owner-drawn report list: the whole text of a
// cell the list shows shortened ("接続時エラー 1..." hides the number), so
// the pointer can read what the column is too narrow for.
#ifndef TARNU_APP_CELL_TIP_H_
#define TARNU_APP_CELL_TIP_H_

#include <string>
#include <string_view>
#include <vector>

#include "app/report_list_logic.h"

namespace tarnu {

// The column under `x` in a row laid out as LayoutRowTexts lays it out
// (the first column spans the label rectangle, each further one starts
// where the previous ended), or -1 left of the label or right of the last.
int ColumnAt(int x, int label_left, int label_right, const std::vector<ColumnInfo>& columns);

// The tip for the point `x` of a row: the cell's whole text when the list
// draws it shortened, else empty (no tip).
std::u16string CellTipText(int x, int label_left, int label_right,
                           const std::vector<ColumnInfo>& columns,
                           const std::vector<std::u16string_view>& texts,
                           const TextWidth16& measure);

}  // namespace tarnu

#endif  // TARNU_APP_CELL_TIP_H_
