// The rows of the result list kept in memory, in list order: what the
// console front end prints and what tests inspect.
#ifndef TARNU_APP_RESULT_LIST_MODEL_H_
#define TARNU_APP_RESULT_LIST_MODEL_H_

#include <vector>

#include "app/result_rows.h"

namespace tarnu {

class ResultListModel : public ResultListSink {
 public:
  // Inserts before `position`; a position past the end appends, as the list
  // control does.
  void InsertResultRow(int position, const ResultListRow& row) override;
  void Clear() { rows_.clear(); }
  const std::vector<ResultListRow>& rows() const { return rows_; }

 private:
  std::vector<ResultListRow> rows_;
};

}  // namespace tarnu

#endif  // TARNU_APP_RESULT_LIST_MODEL_H_
