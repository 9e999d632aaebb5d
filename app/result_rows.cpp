#include "app/result_rows.h"

#include <cstdio>
#include <memory>
#include <utility>

namespace tarnu {
namespace {

// Picture numbers of the result list's image lists.
constexpr int kStateGreen = 1;
constexpr int kStateYellow = 2;
constexpr int kStateNone = 4;
constexpr int kSmallNew = 0;
constexpr int kSmallSeen = 1;
constexpr int kSmallForwarded = 2;
constexpr int kSmallNotForwarded = 3;
constexpr int kSmallNone = 9;

// The size column. The count is shown as the unsigned 32-bit value, so the
// text is the same on every platform whatever LIST reported.
std::string FormatSize(std::int32_t size) {
  char text[16];
  std::snprintf(text, sizeof text, "%lu",
                static_cast<unsigned long>(static_cast<std::uint32_t>(size)));
  return text;
}

}  // namespace

bool ShowsNewMail(const ResultListRow& row) {
  return row.small_picture == kSmallNew || row.small_picture == kSmallForwarded ||
         row.small_picture == kSmallNotForwarded;
}

ResultListRow HostRows::Row(std::size_t index, bool with_record) const {
  ResultListRow row;
  if (!mails || mails->empty()) {
    row.state_picture = error.empty() ? kStateGreen : kStateYellow;
    row.small_picture = kSmallNone;
    row.columns[0] = label;
    row.columns[5] = error.empty() ? std::string("メッセージはありません") : error;
    return row;
  }
  const MailEntry& mail = (*mails)[index];
  row.state_picture = index == 0 ? kStateGreen : kStateNone;
  if (index == 0) row.columns[0] = label;
  if (fresh[index]) {
    row.small_picture = kSmallNew;
    if (forward) row.small_picture = mail.forwarded == 1 ? kSmallForwarded : kSmallNotForwarded;
  } else {
    row.small_picture = kSmallSeen;
  }
  row.columns[1] = mail.subject;
  row.columns[2] = mail.from;
  row.columns[3] = FormatSize(mail.size);
  row.columns[4] = StripLineBreaks(mail.body);
  std::string state;
  if (mail.forwarded == 1) state = "転送済";
  state += error;
  state += mail.state;
  row.columns[5] = std::move(state);
  if (!with_record) return row;
  row.record.emplace();
  row.record->number = static_cast<std::int32_t>(index + 1);
  row.record->mail = mail;
  row.record->account = account;
  return row;
}

void ResultListSink::InsertHostRows(int position, std::shared_ptr<const HostRows> rows) {
  for (std::size_t i = 0; i < rows->size(); ++i) {
    InsertResultRow(position + static_cast<int>(i), rows->Row(i));
  }
}

namespace {

// The host's rows, with `mails` its messages (moved or copied out of
// `current`), in one block before the hosts added earlier.
void AddRows(const HostEntry& host, const SurveyResult& current, std::vector<MailEntry> mails,
             const HistoryIndex& seen, int* new_count, ResultListSink* list) {
  auto rows = std::make_shared<HostRows>();
  rows->label = current.label;
  rows->error = current.error;
  rows->forward = host.forward;
  rows->fresh.resize(mails.size());
  for (std::size_t i = 0; i < mails.size(); ++i) {
    rows->fresh[i] = seen.IsNewMail(mails[i]);
    if (rows->fresh[i]) ++*new_count;
  }
  rows->mails = std::make_shared<const std::vector<MailEntry>>(std::move(mails));
  rows->account = std::make_shared<const Pop3Account>(AccountOf(host));
  list->InsertHostRows(0, std::move(rows));
}

}  // namespace

void AddResultRows(const HostEntry& host, const SurveyResult& current, const SurveyResult& history,
                   int* new_count, ResultListSink* list) {
  AddRows(host, current, current.mails, HistoryIndex(history), new_count, list);
}

void AddResultRows(const HostEntry& host, SurveyResult* current, const HistoryIndex& seen,
                   int* new_count, ResultListSink* list) {
  AddRows(host, *current, std::move(current->mails), seen, new_count, list);
  current->mails.clear();
}

}  // namespace tarnu
