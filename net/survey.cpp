// The mailbox survey: LIST and TOP for every message (RFC 1939 sections 5
// and 7), one MailEntry each.
#include "net/survey.h"

#include <new>
#include <string>

#include "codec/header_decode.h"
#include "codec/header_fields.h"
#include "codec/mime_body.h"
#include "net/mailbox.h"
#include "net/message_identity.h"
#include "net/pop3_session.h"

namespace tarnu {
namespace {

constexpr char kTextReceiving[] = "受信中...";
constexpr char kTextOutOfMemory[] = "メモリが足りません";

// A found value loses its leading white space (not the full-width space);
// trailing white space stays. Shown values are unfolded; the Message-ID is
// kept as it stands, since the history knows messages by its bytes.
void TakeValue(const char* name, const std::string& block, bool unfold, std::string* field) {
  std::string value;
  if (FindHeaderValue(name, block, &value, 1023) != 0 || value.empty()) return;
  if (unfold) value = UnfoldHeaderValue(value);
  std::size_t first = value.find_first_not_of(" \t\r\n\v\f");
  if (first == std::string::npos) return;
  field->assign(value, first, std::string::npos);
}

// A message whose header no empty line ends: its body starts at the first
// line that is no header line.
void SeparateBody(std::string* header, std::string* body) {
  const std::size_t end = HeaderBlockEnd(*header);
  if (end >= header->size()) return;
  // The block lacks the LF of its last line; the empty line follows it.
  *body = header->substr(end) + (body->empty() ? "\n" : "\n\r\n") + *body;
  header->resize(end);
  if (header->size() >= 2 && header->compare(header->size() - 2, 2, "\r\n") == 0) {
    header->pop_back();
  }
}

// Lines of a multi-line reply's body, counted as the server sent them.
int CountLines(const std::string& body) {
  int count = 0;
  for (char c : body) count += c == '\n';
  if (!body.empty() && body.back() != '\n') ++count;
  return count;
}

}  // namespace

int ExcerptFetchLines(int lines, int attempt) {
  // A few lines of part headers and boundaries, and room for base64 and
  // quoted-printable, which spread a line of text over several; the second
  // try makes room for a long HTML head. Never more than 1000 lines.
  const long first = 40L + 10L * lines;
  const long wanted = attempt == 0 ? first : 400L + 40L * lines;
  return static_cast<int>(wanted < 1000 ? wanted : 1000);
}

namespace {

// TOP for message `n`; false after the failure path ran (result set).
int Top(Pop3Session* session, int n, int lines, std::string* reply, std::string* header,
        std::string* body, SurveyResult* result) {
  int state =
      session->Command("TOP " + std::to_string(n) + " " + std::to_string(lines) + "\r\n", reply);
  if (state < 0) return MailboxFailed(*session, result);
  if (state == 0) return FailMailbox(session, result, kTextCannotServe);
  int got = session->channel().ReadMultiline(nullptr, 0, header, body, session->timeout());
  if (got == kReadNoMemory) return FailMailbox(session, result, kTextNoMemory);
  if (got < 0) return FailMailbox(session, result, kTextNoAnswer);
  return 0;
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

    if (Top(&session, n, lines, &reply, &header, &body, result) < 0) return -1;
    try {
      SeparateBody(&header, &body);
      // The first lines of a multipart or encoded body are not the first
      // lines of its text: fetch more, a bounded number of lines, and once
      // more only when the server cut the text short of the excerpt.
      if (lines > 0 && BodyNeedsDecoding(header)) {
        for (int attempt = 0; attempt < 2; ++attempt) {
          const int fetch = ExcerptFetchLines(lines, attempt);
          if (fetch <= lines) break;
          if (Top(&session, n, fetch, &reply, &header, &body, result) < 0) return -1;
          SeparateBody(&header, &body);
          bool whole = false;
          entry.body = MessageBodyExcerpt(header, body, lines, &whole);
          if (whole || CountLines(body) < fetch) break;
        }
      }
      const ContentInfo content = ReadContentInfo(header);
      std::string decoded;
      DecodeHeaderText(header, &decoded, content.charset);
      entry.body = MessageBodyExcerpt(header, body, lines);
      TakeValue("Message-ID:", decoded, false, &entry.message_id);
      TakeValue("subject:", decoded, true, &entry.subject);
      TakeValue("cc:", decoded, true, &entry.cc);
      TakeValue("from:", decoded, true, &entry.from);
      TakeValue("to:", decoded, true, &entry.to);
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
