// Fetching one whole message with RETR (RFC 1939 section 5).
#include "net/retrieve.h"

#include <new>

#include "codec/header_decode.h"
#include "codec/header_fields.h"
#include "codec/mime_body.h"
#include "net/pop3_session.h"

namespace tarnu {
namespace {

constexpr char kTextReceiving[] = "(受信中...)";

}  // namespace

int RetrieveMessage(StatusLine* status, MessagePump* pump, int number, unsigned long expected_size,
                    const Pop3Account& account, std::string* header, std::string* body,
                    std::string* error) {
  header->clear();
  body->clear();
  error->clear();
  Pop3Session session(status, pump);
  auto failed = [&]() {
    header->clear();
    body->clear();
    *error = session.error();
    return -1;
  };

  // The detail window does not pump before connecting; no STAT is sent.
  if (!session.Login(account, false)) return failed();
  session.ShowProgress(kTextReceiving);

  std::string reply;
  int state = session.Command("RETR " + std::to_string(number) + "\r\n", &reply);
  if (state < 0) return failed();
  if (state == 0) {
    session.Fail(std::string(kTextCannotServe) + "\r\n" + reply);
    return failed();
  }

  std::string raw_header;
  std::string raw_body;
  // Progress titles build on the title now shown: "...(受信中...)[n/size]".
  int got = session.channel().ReadMultiline(status, expected_size, &raw_header, &raw_body,
                                            session.timeout());
  if (got == kReadNoMemory) {
    session.Fail(kTextNoMemory);
    return failed();
  }
  if (got < 0) {
    session.Fail(kTextNoAnswer);
    return failed();
  }

  try {
    // The text a reader shows, not the MIME structure.
    DecodeHeaderText(raw_header, header, ReadContentInfo(raw_header).charset);
    *body = MessageBodyText(raw_header, raw_body);
  } catch (const std::bad_alloc&) {
    session.Fail(kTextNoMemory);
    return failed();
  }
  session.Quit();
  return 0;
}

}  // namespace tarnu
