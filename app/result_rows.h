// The rows of the result list: what each row shows and the record behind it.
#ifndef TARNU_APP_RESULT_ROWS_H_
#define TARNU_APP_RESULT_ROWS_H_

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "codec/cp932_text.h"  // StripLineBreaks
#include "model/host_entry.h"
#include "model/mail_entry.h"
#include "net/pop3_account.h"

namespace tarnu {

// The record behind a message row: the message and what the detail window
// needs to fetch it again.
struct ResultRow {
  std::int32_t number = 0;  // position in the host's result, from 1
  MailEntry mail;
  // The host's, as the survey used it; one for all the host's rows.
  std::shared_ptr<const Pop3Account> account;
};

inline constexpr int kResultColumns = 6;

// The columns that hold text from mail (subject, sender, body: UTF-8); the
// others hold tarnu's own texts and the host name (code page 932).
inline constexpr bool IsMailTextColumn(int column) {
  return column == 1 || column == 2 || column == 4;
}

struct ResultListRow {
  int state_picture = 0;  // 1 green lamp, 2 yellow lamp, 4 none
  int small_picture = 0;  // 0-3; 9 none
  std::array<std::string, kResultColumns> columns;
  std::optional<ResultRow> record;  // none for a host without messages
};

// One host's rows as AddResultRows makes them: the messages are held once,
// for all the rows, and each row is made from them when it is asked for.
struct HostRows {
  std::string label;  // the host column of the first row
  std::string error;  // the survey's error text
  bool forward = false;
  // The host's messages in message order (row i shows message i); none for
  // a host whose only row tells why there is no message.
  std::shared_ptr<const std::vector<MailEntry>> mails;
  std::vector<bool> fresh;  // new at this check, by message
  std::shared_ptr<const Pop3Account> account;

  std::size_t size() const { return mails && !mails->empty() ? mails->size() : 1; }
  // Row `index` of the host, as the list shows it; without the record
  // behind it unless `with_record`.
  ResultListRow Row(std::size_t index, bool with_record = true) const;
};

// Where AddResultRows puts its rows: the result list window, or a model.
class ResultListSink {
 public:
  virtual ~ResultListSink() = default;
  virtual void InsertResultRow(int position, const ResultListRow& row) = 0;
  // All the rows of one host, in order, before `position`. This one makes
  // each row and inserts them one at a time; a sink that can keep the block
  // as it is does so.
  virtual void InsertHostRows(int position, std::shared_ptr<const HostRows> rows);
};

// Whether the row is a message the check found new (its small picture is the
// closed envelope or a forwarding state).
bool ShowsNewMail(const ResultListRow& row);

// Adds the rows of one host (its messages at positions 0, 1, ... so the host
// comes before the hosts added earlier) and counts its new messages into
// `new_count`. `current` is the host's survey, `history` the one of the
// previous check.
void AddResultRows(const HostEntry& host, const SurveyResult& current, const SurveyResult& history,
                   int* new_count, ResultListSink* list);

// The same for the check cycle: new is decided against `seen`, and the
// messages are moved out of `current` into the rows rather than copied.
// May throw std::bad_alloc.
void AddResultRows(const HostEntry& host, SurveyResult* current, const HistoryIndex& seen,
                   int* new_count, ResultListSink* list);

}  // namespace tarnu

#endif  // TARNU_APP_RESULT_ROWS_H_
