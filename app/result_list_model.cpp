#include "app/result_list_model.h"

#include <algorithm>
#include <iterator>
#include <utility>

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
  Entry entry;
  entry.own = std::make_unique<ResultListRow>(row);
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
}

void ResultListModel::InsertHostRows(int position, std::shared_ptr<const HostRows> rows) {
  const std::size_t at =
      position < 0 ? 0 : std::min(static_cast<std::size_t>(position), rows_.size());
  std::vector<Entry> block(rows->size());
  for (std::size_t i = 0; i < block.size(); ++i) {
    block[i].host = rows;
    block[i].index = i;
  }
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at),
               std::make_move_iterator(block.begin()), std::make_move_iterator(block.end()));
}

ResultListRow ResultListModel::row(std::size_t index) const {
  const Entry& entry = rows_[index];
  return entry.own ? *entry.own : entry.host->Row(entry.index);
}

ResultListRow ResultListModel::shown(std::size_t index) const {
  const Entry& entry = rows_[index];
  if (!entry.own) return entry.host->Row(entry.index, false);
  ResultListRow row;
  row.state_picture = entry.own->state_picture;
  row.small_picture = entry.own->small_picture;
  row.columns = entry.own->columns;
  return row;
}

const ScreenRow& ResultListModel::screen_row(std::size_t index) const {
  const Entry& entry = rows_[index];
  if (!entry.screen) entry.screen = std::make_unique<ScreenRow>(ScreenRowOf(shown(index)));
  return *entry.screen;
}

void ResultListModel::Erase(std::size_t index) {
  if (index < rows_.size()) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(index));
}

std::vector<ResultListRow> ResultListModel::rows() const {
  std::vector<ResultListRow> copy;
  copy.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) copy.push_back(row(i));
  return copy;
}

}  // namespace tarnu
