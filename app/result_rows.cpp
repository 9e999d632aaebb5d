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

std::string StateColumn(const SurveyResult& current, const MailEntry& mail) {
  std::string state;
  if (mail.forwarded == 1) state = "転送済";
  state += current.error;
  state += mail.state;
  return state;
}

}  // namespace

std::string StripLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

bool ShowsNewMail(const ResultListRow& row) {
  return row.small_picture == kSmallNew || row.small_picture == kSmallForwarded ||
         row.small_picture == kSmallNotForwarded;
}

void ResultListSink::InsertResultRows(int position, std::vector<ResultListRow> rows) {
  for (std::size_t i = 0; i < rows.size(); ++i) {
    InsertResultRow(position + static_cast<int>(i), rows[i]);
  }
}

namespace {

// The host's rows; `take` moves each message out of `current`.
template <typename Mails>
void AddRows(const HostEntry& host, const SurveyResult& current, Mails&& mails,
             const HistoryIndex& seen, int* new_count, ResultListSink* list) {
  if (current.mails.empty()) {
    ResultListRow row;
    row.state_picture = current.error.empty() ? kStateGreen : kStateYellow;
    row.small_picture = kSmallNone;
    row.columns[0] = current.label;
    row.columns[5] = current.error.empty() ? std::string("メッセージはありません") : current.error;
    list->InsertResultRow(0, row);
    return;
  }
  const auto account = std::make_shared<const Pop3Account>(AccountOf(host));
  std::vector<ResultListRow> rows(current.mails.size());
  for (std::size_t position = 0; position < rows.size(); ++position) {
    ResultListRow& row = rows[position];
    const MailEntry& mail = current.mails[position];
    row.state_picture = position == 0 ? kStateGreen : kStateNone;
    if (position == 0) row.columns[0] = current.label;
    if (seen.IsNewMail(mail)) {
      ++*new_count;
      row.small_picture = kSmallNew;
      if (host.forward)
        row.small_picture = mail.forwarded == 1 ? kSmallForwarded : kSmallNotForwarded;
    } else {
      row.small_picture = kSmallSeen;
    }
    row.columns[1] = mail.subject;
    row.columns[2] = mail.from;
    row.columns[3] = FormatSize(mail.size);
    row.columns[4] = StripLineBreaks(mail.body);
    row.columns[5] = StateColumn(current, mail);
    row.record.emplace();
    row.record->number = static_cast<std::int32_t>(position + 1);
    row.record->mail = mails(position);
    row.record->account = account;
  }
  // One block: the host's rows go in front of the hosts added earlier.
  list->InsertResultRows(0, std::move(rows));
}

}  // namespace

void AddResultRows(const HostEntry& host, const SurveyResult& current, const SurveyResult& history,
                   int* new_count, ResultListSink* list) {
  const HistoryIndex seen(history);
  AddRows(
      host, current, [&](std::size_t i) -> const MailEntry& { return current.mails[i]; }, seen,
      new_count, list);
}

void AddResultRows(const HostEntry& host, SurveyResult* current, const HistoryIndex& seen,
                   int* new_count, ResultListSink* list) {
  AddRows(
      host, *current, [&](std::size_t i) { return std::move(current->mails[i]); }, seen, new_count,
      list);
}

}  // namespace tarnu
