// The POP3 dialogue shared by the mailbox survey and the full retrieval
// (RFC 1939; APOP in its section 7): connect, greeting, login, STAT, QUIT,
// and the failure path that ends every dialogue the same way.
#ifndef TARNU_NET_POP3_SESSION_H_
#define TARNU_NET_POP3_SESSION_H_

#include <string>
#include <string_view>

#include "codec/integer_text.h"  // ScanInt for the replies

#include "net/line_channel.h"
#include "net/pop3_account.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// Failure texts shared by the POP3 dialogues.
inline constexpr char kTextNoAnswer[] = "サーバからの応答がありません";
inline constexpr char kTextNoMemory[] = "メモリが不足しています";
inline constexpr char kTextCannotServe[] =
    "このメールサーバは本アプリの要求にこたえる能力がありません。またはメールサーバの状態が不安定で"
    "す";

// One POP3 connection with its progress title. Every step that fails runs the
// failure path (Fail) itself, so a caller only reads error().
class Pop3Session {
 public:
  // `status` and `pump` may be null.
  Pop3Session(StatusLine* status, MessagePump* pump);
  Pop3Session(const Pop3Session&) = delete;
  Pop3Session& operator=(const Pop3Session&) = delete;

  // Remembers the status title, shows "(server:portへ接続中...)", connects
  // (with TLS from the first byte for ConnectionSecurity::kTls), checks the
  // greeting, takes the APOP timestamp (from this first greeting), switches
  // to TLS with STLS for kStartTls, shows "(認証中...)" and logs in with
  // APOP or USER/PASS. Nothing of the login is sent before the channel is
  // as secure as the account asks. `pump_before_connect`: the survey keeps
  // the interface alive once before connecting, the retrieval does not.
  // A user name or password holding CR or LF is refused before anything is
  // sent. Returns true when logged in; false after the failure path.
  bool Login(const Pop3Account& account, bool pump_before_connect);

  // STAT: the number of messages (>= 0) and the mailbox size. A refusal, or
  // a reply without both numbers, fails with the "cannot serve" text and the
  // reply line. False after the failure path.
  bool Stat(int* count, int* size);

  // Sends one command and reads the first line of its reply into `reply`
  // (the rest of an overlong line is read and dropped, so the next reply
  // starts where it should). Bytes still unread from earlier replies are
  // dropped first: they never answer this command. Returns 1 for a positive
  // reply ("+OK"), 0 for a negative one, -1 after a send or receive failure
  // (failure path run).
  int Command(std::string_view command, std::string* reply);

  // For pipelined commands (RFC 2449): sends `commands` (whole lines)
  // without dropping anything unread, since replies to earlier commands may
  // still be on their way. False after the failure path.
  bool SendCommands(std::string_view commands);

  // Reads the first line of the next reply, as Command does after its send.
  // Returns 1 for "+OK", 0 for anything else, -1 after the failure path.
  int ReadStatus(std::string* reply);

  // Sets the title to the remembered title followed by `suffix`.
  void ShowProgress(const std::string& suffix);

  // Ends the dialogue: "QUIT" when connected (its reply is not read), close,
  // and the remembered title back.
  void Quit();

  // The failure path: keeps `text` as the error, then Quit(). Returns -1.
  int Fail(std::string text);

  LineChannel& channel() { return channel_; }
  int timeout() const { return timeout_; }
  const std::string& error() const { return error_; }
  const std::string& remembered_title() const { return title_; }

 private:
  // The login steps, in the order Login runs them. Each returns false after
  // the failure path with its own text.
  bool Connect(const Pop3Account& account);
  bool Greet(const Pop3Account& account, std::string* timestamp);
  // STLS after the greeting (RFC 2595), refused unless the server agrees.
  bool StartTls(const Pop3Account& account);
  bool Secure(const Pop3Account& account);
  bool LoginWithApop(const Pop3Account& account, const std::string& timestamp);
  bool LoginWithUserPass(const Pop3Account& account);

  // Sends `command` and requires a positive reply; a negative one fails with
  // `refusal` followed by the reply line.
  bool Expect(std::string_view command, const char* refusal);
  // Reads one reply line (see Command); false after the failure path.
  bool ReadReply(std::string* reply);
  bool Refuse(std::string text);

  StatusLine* status_;
  LineChannel channel_;
  std::string title_;
  std::string error_;
  int timeout_ = 60;
};

// Text from the first "<" of a greeting through the first ">" after it, the
// APOP timestamp; empty when the greeting has none.
std::string ApopTimestamp(std::string_view greeting);

// The APOP command for `user`: "APOP user " then MD5(timestamp + password) as
// 32 lower-case hex digits, then CR LF.
std::string ApopCommand(const std::string& user, std::string_view timestamp,
                        const std::string& password);

}  // namespace tarnu

#endif  // TARNU_NET_POP3_SESSION_H_
