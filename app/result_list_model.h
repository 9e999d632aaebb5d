// The rows of the result list kept in memory, in list order: what the
// console front end prints and what tests inspect.
#ifndef TARNU_APP_RESULT_LIST_MODEL_H_
#define TARNU_APP_RESULT_LIST_MODEL_H_

#include <cstddef>
#include <memory>
#include <vector>

#include "app/result_rows.h"

namespace tarnu {

class ResultListModel : public ResultListSink {
 public:
  // Inserts before `position`; a position past the end appends, as the list
  // control does.
  void InsertResultRow(int position, const ResultListRow& row) override;
  void Clear() { rows_.clear(); }

  std::size_t size() const { return rows_.size(); }
  const ResultListRow& row(std::size_t index) const { return *rows_[index]; }
  // A copy of every row, in list order.
  std::vector<ResultListRow> rows() const;

 private:
  // Rows are held by pointer: a host's rows go in front of the earlier
  // hosts' rows, so every insertion shifts those, and shifting pointers
  // keeps a cycle over thousands of messages cheap (as in the list control).
  std::vector<std::unique_ptr<ResultListRow>> rows_;
};

}  // namespace tarnu

#endif  // TARNU_APP_RESULT_LIST_MODEL_H_
