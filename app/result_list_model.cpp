#include "app/result_list_model.h"

#include <algorithm>

#include "app/result_rows.h"
#include "app/screen_text.h"

namespace tarnu {

ScreenRow ScreenRowOf(const ResultListRow& row) {
  ScreenRow screen;
  screen.state_picture = row.state_picture;
  screen.small_picture = row.small_picture;
  for (int c = 0; c < kResultColumns; ++c) {
    screen.columns[c] = IsMailTextColumn(c) ? MailTextToScreen(row.columns[c])
                                            : SettingsTextToScreen(row.columns[c]);
  }
  // Subject and sender on one line; the body's line breaks are gone already.
  screen.columns[1] = OneLine(screen.columns[1]);
  screen.columns[2] = OneLine(screen.columns[2]);
  return screen;
}

void ResultListModel::InsertResultRow(int position, const ResultListRow& row) {
  const std::size_t at =
      position < 0 ? 0 : std::min(static_cast<std::size_t>(position), rows_.size());
  auto entry = std::make_unique<Entry>(Entry{row, ScreenRowOf(row)});
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

void ResultListModel::Erase(std::size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::vector<ResultListRow> ResultListModel::rows() const {
  std::vector<ResultListRow> copy;
  copy.reserve(rows_.size());
  for (const auto& entry : rows_) copy.push_back(entry->row);
  return copy;
}

}  // namespace tarnu
