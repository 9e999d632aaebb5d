// The result list's column widths across starts: kept in tarnu.ini in
// pixels at 96 dpi, shown scaled to the screen's dpi.
#ifndef TARNU_APP_COLUMN_WIDTHS_H_
#define TARNU_APP_COLUMN_WIDTHS_H_

#include <optional>
#include <vector>

namespace tarnu {

// The widths to show: the stored ones, or the list's built-in widths when
// none are stored (or not one per column), scaled from 96 dpi to `dpi`.
std::vector<int> ColumnWidthsOnScreen(const std::vector<int>& stored, int dpi);

// What to store at exit for the widths on the screen: none when nothing
// changed since start (so a user who never touched a column gets no
// tarnu.ini), else the widths at 96 dpi.
std::optional<std::vector<int>> ColumnWidthsToStore(const std::vector<int>& on_screen, int dpi,
                                                    const std::vector<int>& stored);

}  // namespace tarnu

#endif  // TARNU_APP_COLUMN_WIDTHS_H_
