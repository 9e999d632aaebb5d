#include "app/result_list_model.h"

#include <algorithm>

namespace tarnu {

void ResultListModel::InsertResultRow(int position, const ResultListRow& row) {
  const std::size_t at =
      position < 0 ? 0 : std::min(static_cast<std::size_t>(position), rows_.size());
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(at),
               std::make_unique<ResultListRow>(row));
}

std::vector<ResultListRow> ResultListModel::rows() const {
  std::vector<ResultListRow> copy;
  copy.reserve(rows_.size());
  for (const auto& row : rows_) copy.push_back(*row);
  return copy;
}

}  // namespace tarnu
