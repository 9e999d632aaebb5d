// The rows of the result list, in list order: the one store of them for
// both front ends. The console front end prints the rows; the Windows list
// draws each row by its index from here, in the screen form it is converted
// to once, when it is first drawn.
#ifndef TARNU_APP_RESULT_LIST_MODEL_H_
#define TARNU_APP_RESULT_LIST_MODEL_H_

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "app/result_rows.h"

namespace tarnu {

// The columns of the result list, in order.
struct ResultColumn {
  const char* title;  // code page 932
  int width;          // pixels at 96 dpi
};
inline constexpr ResultColumn kResultColumnTable[kResultColumns] = {
    {"メールサーバ", 100},  // the host name, on the host's first row
    {"題名", 150},          // subject, one line
    {"送信者", 100},        // From, one line
    {"サイズ", 50},         // octets
    {"本文", 200},          // the body excerpt without line breaks
    {"状態", 100},          // forwarding state or the survey's error
};

// A row as the screen shows it.
struct ScreenRow {
  int state_picture = 0;
  int small_picture = 0;
  std::array<std::u16string, kResultColumns> columns;
};

// Each column through the conversion its kind of text needs: mail text for
// subject, sender and body (a folded subject or sender on one line), the
// program's own text for the rest.
ScreenRow ScreenRowOf(const ResultListRow& row);

class ResultListModel : public ResultListSink {
 public:
  // Inserts before `position`; a position past the end appends, as the list
  // control does.
  void InsertResultRow(int position, const ResultListRow& row) override;
  // A host's rows kept as the block they came in: its messages once, and a
  // few bytes a row.
  void InsertHostRows(int position, std::shared_ptr<const HostRows> rows) override;
  void Erase(std::size_t index);
  void Clear() { rows_.clear(); }

  std::size_t size() const { return rows_.size(); }
  // The row as the list shows it, made when asked for.
  ResultListRow row(std::size_t index) const;
  // The same without the record behind it: pictures and column texts.
  ResultListRow shown(std::size_t index) const;
  // Made when first asked for (only the rows on the screen ever are).
  const ScreenRow& screen_row(std::size_t index) const;
  // A copy of every row, in list order.
  std::vector<ResultListRow> rows() const;

 private:
  struct Entry {
    // Row `index` of a host's block, or a row of its own.
    std::shared_ptr<const HostRows> host;
    std::size_t index = 0;
    std::unique_ptr<ResultListRow> own;
    mutable std::unique_ptr<ScreenRow> screen;
  };
  // A host's rows go in front of the earlier hosts' rows: each block shifts
  // those once.
  std::vector<Entry> rows_;
};

}  // namespace tarnu

#endif  // TARNU_APP_RESULT_LIST_MODEL_H_
