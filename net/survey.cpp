// The mailbox survey: LIST and TOP for every message (RFC 1939 sections 5
// and 7), one MailEntry each.
#include "net/survey.h"

#include <new>
#include <string>

#include "codec/header_decode.h"
#include "codec/japanese_code.h"
#include "net/mailbox.h"
#include "net/message_identity.h"
#include "net/pop3_session.h"

namespace tarnu {
namespace {

constexpr char kTextReceiving[] = "受信中...";
constexpr char kTextOutOfMemory[] = "メモリが足りません";

// A found value loses its leading white space (not the full-width space);
// trailing white space stays.
void TakeValue(const char* name, const std::string& block, std::string* field) {
  std::string value;
  if (FindHeaderValue(name, block, &value, 1023) != 0 || value.empty()) return;
  std::size_t first = value.find_first_not_of(" \t\r\n\v\f");
  if (first == std::string::npos) return;
  field->assign(value, first, std::string::npos);
}

}  // namespace

int SurveyMailbox(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
                  MessagePump* pump, UserMessages* messages) {
  Pop3Session session(status, pump);
  const int total = OpenMailbox(account, result, &session);
  if (total < 0) return -1;

  std::string reply;
  std::string header;
  std::string body;
  MailEntry entry;
  KeyCounter keys;
  for (int n = 1; n <= total; ++n) {
    session.ShowProgress(std::string("(") + kTextReceiving + ")[" + std::to_string(n) + "/" +
                         std::to_string(total) + "]");
    session.channel().PumpMessages();

    int state = session.Command("LIST " + std::to_string(n) + "\r\n", &reply);
    if (state < 0) return MailboxFailed(session, result);
    if (state == 0)
      return FailMailbox(&session, result, std::string(kTextCannotServe) + "\r\n" + reply);
    // "+OK n size"; the number is not compared with n, and a size that
    // cannot be read counts as 0.
    std::size_t pos = 3;
    int number = 0;
    int size = 0;
    if (ScanInt(reply, &pos, &number) && ScanInt(reply, &pos, &size)) entry.size = size;

    state =
        session.Command("TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n", &reply);
    if (state < 0) return MailboxFailed(session, result);
    if (state == 0) return FailMailbox(&session, result, kTextCannotServe);

    int got = session.channel().ReadMultiline(nullptr, 0, &header, &body, session.timeout());
    if (got == kReadNoMemory) return FailMailbox(&session, result, kTextNoMemory);
    if (got < 0) return FailMailbox(&session, result, kTextNoAnswer);

    try {
      std::string decoded;
      DecodeHeaderText(header, &decoded);
      ToShiftJis(&body);
      entry.body = body;
      TakeValue("Message-ID:", decoded, &entry.message_id);
      TakeValue("subject:", decoded, &entry.subject);
      TakeValue("cc:", decoded, &entry.cc);
      TakeValue("from:", decoded, &entry.from);
      TakeValue("to:", decoded, &entry.to);
      std::string key = keys.Unique(MessageHistoryKey(entry.message_id, header, entry.size));
      if (key != entry.message_id) entry.history_key = std::move(key);
    } catch (const std::bad_alloc&) {
      return FailMailbox(&session, result, kTextNoMemory);
    }

    try {
      result->mails.push_back(entry);
    } catch (const std::bad_alloc&) {
      // Not a survey failure: the program is asked to end, the survey goes on.
      if (messages != nullptr) {
        messages->ShowMessage(kTextOutOfMemory);
        messages->RequestQuit(-1);
      }
    }
    ++result->mail_count;
    entry.Reset();
  }

  CloseMailbox(&session);
  return 0;
}

}  // namespace tarnu
