// SMTP client for notification mail (RFC 5321, with the message format of
// RFC 5322 and RFC 1468 for the ISO-2022-JP body; STARTTLS from RFC 3207,
// AUTH from RFC 4954 with PLAIN from RFC 4616). One connection carries one
// mail: greeting, HELO (or EHLO with STARTTLS and AUTH), MAIL, RCPT, DATA,
// header, body, end of data, QUIT. Every reply is read to its last line.
#include "net/smtp_forward.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <vector>

#include "codec/base64.h"
#include "codec/charset.h"
#include "codec/header_encode.h"
#include "codec/japanese_code.h"
#include "net/line_channel.h"
#include "net/net_error_text.h"
#include "platform/host_name.h"

namespace tarnu {
namespace {

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// The stored address without surrounding blanks and angle brackets.
std::string_view BareAddress(std::string_view address) {
  address = TrimBlanks(address);
  if (address.size() >= 2 && address.front() == '<' && address.back() == '>') {
    address = address.substr(1, address.size() - 2);
  }
  return address;
}

// A header value that cannot start a header line of its own nor end the
// data: every run of line-break bytes becomes CR LF followed by white space
// (a folded line), and breaks at the end are dropped.
std::string FoldedValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size();) {
    if (value[i] != '\r' && value[i] != '\n') {
      out += value[i++];
      continue;
    }
    while (i < value.size() && (value[i] == '\r' || value[i] == '\n')) ++i;
    if (i == value.size()) break;
    out += "\r\n";
    if (value[i] != ' ' && value[i] != '\t') out += ' ';
  }
  return out;
}

// A value of the mail (UTF-8) as ISO-2022-JP encoded words; a character
// ISO-2022-JP cannot hold becomes the geta mark.
std::string EncodedValue(std::string_view text) {
  std::string encoded;
  EncodeHeaderText(MailTextForJis(text), &encoded);
  return encoded;
}

class SmtpDialogue {
 public:
  SmtpDialogue(LineChannel* channel, int timeout, MailEntry* entry)
      : channel_(channel), timeout_(timeout), entry_(entry) {}

  // Sends all of `bytes`; on failure the state text says so.
  bool Send(std::string_view bytes) {
    while (!bytes.empty()) {
      const int sent = channel_->Send(bytes);
      if (sent <= 0) {
        entry_->state = NetErrorText("転送時送信エラー ", channel_->last_error());
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

  // Reads one reply to its last line (RFC 5321 4.2: "250-" lines continue,
  // "250 " ends) and accepts it when the last line's first three bytes are
  // `code` (or `other_code`); otherwise `refusal` followed by that line.
  // The lines read are kept in lines().
  bool Expect(const char* code, const char* other_code, const char* refusal) {
    lines_.clear();
    std::string line;
    for (;;) {
      if (!ReadLine(&line)) return false;
      lines_.push_back(line);
      // A reply that never ends is not a reply.
      if (line.size() < 4 || line[3] != '-' || lines_.size() >= kMaxReplyLines) break;
    }
    const bool ended = line.size() < 4 || line[3] != '-';
    const std::string_view head = std::string_view(line).substr(0, 3);
    if (ended && (head == code || (other_code != nullptr && head == other_code))) return true;
    entry_->state = refusal;
    entry_->state += line;
    return false;
  }

  // A command and its reply. What is left of earlier replies is dropped
  // first, so it cannot pass for this command's answer.
  bool SendAndExpect(const std::string& command, const char* code, const char* other_code,
                     const char* refusal) {
    channel_->DiscardUnread();
    return Send(command) && Expect(code, other_code, refusal);
  }

  bool Fail(std::string text) {
    entry_->state = std::move(text);
    return false;
  }

  const std::vector<std::string>& lines() const { return lines_; }
  LineChannel* channel() { return channel_; }

  // The next reply is the server's answer to the end of the mail.
  void AwaitFinalReply() { final_reply_ = true; }

  // A body of `size` bytes may take a timeout for every kBytesPerTimeout.
  void AllowFor(std::size_t size) {
    if (timeout_ >= 0) {
      channel_->ExtendDialogue(static_cast<long long>(timeout_) *
                               (1 + static_cast<long long>(size / kBytesPerTimeout)));
    }
  }
  bool uncertain() const { return uncertain_; }

 private:
  static constexpr std::size_t kMaxReplyLines = 256;

  // One line; the rest of an overlong line is read and dropped, so the next
  // line starts where it should.
  bool ReadLine(std::string* line) {
    int read = channel_->ReadLine(line, timeout_);
    if (read == kLineCapacity - 1 && line->back() != '\n') {
      std::string rest;
      do {
        read = channel_->ReadLine(&rest, timeout_);
      } while (read == kLineCapacity - 1 && rest.back() != '\n');
    }
    // Silence or a cut after the final dot leaves the server's decision
    // unknown.
    if (read < 0 && final_reply_) uncertain_ = true;
    if (read == kReadTimeout) return Fail("転送時サーバからの応答がありません");
    if (read < 0) return Fail(NetErrorText("転送時受信エラー ", channel_->last_error()));
    return true;
  }

  bool final_reply_ = false;
  bool uncertain_ = false;
  LineChannel* channel_;
  int timeout_;
  MailEntry* entry_;
  std::vector<std::string> lines_;
};

constexpr char kNotReady[] = "転送時メールサーバが応答状態にありません\r\n";
constexpr char kNoStartTls[] = "転送時サーバがSTARTTLS(TLSへの切り替え)に応じません\r\n";
constexpr char kNoAuth[] = "転送時サーバがSMTP認証(AUTH PLAIN/LOGIN)に対応していません";
constexpr char kAuthRefused[] = "転送時サーバが認証しません\r\n";
constexpr char kAuthNeedsTls[] =
    "転送時SMTP認証は暗号化した接続でのみ行います(暗号化しない認証はホストの設定で許可できます)";

// The credentials in base64 on one line.
std::string OneLineBase64(std::string_view data) {
  std::string encoded;
  EncodeBase64(data, &encoded);
  encoded.erase(std::remove(encoded.begin(), encoded.end(), '\n'), encoded.end());
  return encoded;
}

bool Secure(const HostEntry& host, const SecureOptions& secure, SmtpDialogue* smtp) {
  SecureTarget target;
  target.server = host.smtp_server;
  target.port = host.smtp_port;
  target.timeout = host.timeout;
  target.ca_file = secure.ca_file;
  target.accepted_fingerprint = host.extras.smtp_fingerprint;
  target.trust = secure.trust;
  target.connect_text = "転送時接続エラー ";
  target.prefix = "転送時";
  std::string error;
  if (SecureChannel(smtp->channel(), target, &error)) return true;
  return smtp->Fail(std::move(error));
}

// EHLO, with the extensions the server names.
bool Ehlo(const std::string& helo, SmtpDialogue* smtp, SmtpExtensions* extensions) {
  if (!smtp->SendAndExpect("EHLO" + helo.substr(4), "250", nullptr, kNotReady)) return false;
  *extensions = ParseEhloReply(smtp->lines());
  return true;
}

// AUTH PLAIN (RFC 4616) when offered, else AUTH LOGIN.
bool Authenticate(const HostEntry& host, const SmtpExtensions& extensions, SmtpDialogue* smtp) {
  const std::string& user = host.extras.smtp_user;
  const std::string& password = host.extras.smtp_password;
  if (extensions.auth_plain) {
    return smtp->SendAndExpect(
        "AUTH PLAIN " + OneLineBase64(std::string(1, '\0') + user + '\0' + password) + "\r\n",
        "235", nullptr, kAuthRefused);
  }
  if (extensions.auth_login) {
    return smtp->SendAndExpect("AUTH LOGIN\r\n", "334", nullptr, kAuthRefused) &&
           smtp->SendAndExpect(OneLineBase64(user) + "\r\n", "334", nullptr, kAuthRefused) &&
           smtp->SendAndExpect(OneLineBase64(password) + "\r\n", "235", nullptr, kAuthRefused);
  }
  return smtp->Fail(kNoAuth);
}

// Greeting to the last command before MAIL: HELO as always for a plain
// dialogue; EHLO where the server's extensions are needed (STARTTLS, then
// EHLO again inside TLS as RFC 3207 asks; AUTH).
bool Introduce(const HostEntry& host, const SecureOptions& secure, SmtpDialogue* smtp) {
  if (!smtp->Expect("220", nullptr, kNotReady)) return false;

  std::string name;
  const bool have_name = platform::GetComputerName(&name);
  const std::string helo = FormatHelo(host.notify_address, have_name ? &name : nullptr);
  const bool authenticate = !host.extras.smtp_user.empty();
  SmtpExtensions extensions;
  if (host.extras.smtp_security == ConnectionSecurity::kStartTls) {
    if (!Ehlo(helo, smtp, &extensions)) return false;
    // Not offered, or refused: never go on in plain text.
    if (!extensions.starttls) return smtp->Fail(kNoStartTls + smtp->lines().back());
    if (!smtp->SendAndExpect("STARTTLS\r\n", "220", nullptr, kNoStartTls) ||
        !Secure(host, secure, smtp) || !Ehlo(helo, smtp, &extensions)) {
      return false;
    }
  } else if (authenticate) {
    if (!Ehlo(helo, smtp, &extensions)) return false;
  } else {
    return smtp->SendAndExpect(helo, "250", nullptr, kNotReady);
  }
  return !authenticate || Authenticate(host, extensions, smtp);
}

bool Converse(const HostEntry& host, const SecureOptions& secure, MailEntry* entry,
              SmtpDialogue* smtp) {
  if (!Introduce(host, secure, smtp)) return false;
  const std::string path = "<" + std::string(BareAddress(host.notify_address)) + ">";
  if (!smtp->SendAndExpect("MAIL FROM:" + path + "\r\n", "250", nullptr,
                           "転送時サーバが送信者を受け付けません\r\n")) {
    return false;
  }
  if (!smtp->SendAndExpect("RCPT TO:" + path + "\r\n", "250", "251",
                           "転送時サーバが送信先を受け付けません\r\n")) {
    return false;
  }
  if (!smtp->SendAndExpect("DATA\r\n", "354", nullptr,
                           "転送時サーバがデータを受け付けません\r\n")) {
    return false;
  }

  std::vector<std::string> header;
  if (!entry->subject.empty()) {
    header.push_back("Subject: " + FoldedValue(host.subject_prefix + EncodedValue(entry->subject)));
  }
  if (!entry->from.empty()) header.push_back("From: " + FoldedValue(EncodedValue(entry->from)));
  if (!entry->to.empty()) header.push_back("To: " + FoldedValue(EncodedValue(entry->to)));
  if (!entry->cc.empty()) header.push_back("Cc: " + FoldedValue(EncodedValue(entry->cc)));
  header.push_back("X-Mailer: tarnu");
  header.push_back("MIME-Version: 1.0");
  header.push_back("Date: " + FormatMailDate(std::time(nullptr)));
  header.push_back("Content-Type: text/plain; charset=ISO-2022-JP");
  header.push_back("Content-Transfer-Encoding: 7bit");
  for (const std::string& line : header) {
    if (!smtp->Send(line + "\r\n")) return false;
  }

  std::string body;
  try {
    body = FormatForwardedBody(entry->body);
  } catch (const std::bad_alloc&) {
    entry->state = "メモリが足りません";
    return false;
  }
  smtp->AllowFor(body.size());
  if (!smtp->Send(body)) return false;
  if (!smtp->Send("\r\n.\r\n")) return false;
  smtp->AwaitFinalReply();
  return smtp->Expect("250", nullptr, "サーバがメールを受け付けません\r\n");
}

}  // namespace

std::string FormatHelo(std::string_view address, const std::string* computer_name) {
  std::string_view domain = BareAddress(address);
  const std::size_t at = domain.find('@');
  if (at != std::string_view::npos) domain.remove_prefix(at + 1);
  std::string helo = "HELO ";
  if (computer_name != nullptr && !computer_name->empty() && !HasLineBreak(*computer_name)) {
    for (char c : *computer_name) helo += (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    helo += '.';
  }
  helo += domain;
  helo += "\r\n";
  return helo;
}

std::string FormatMailDate(std::time_t when) {
  std::tm local{}, utc{};
#ifdef _WIN32
  localtime_s(&local, &when);
  gmtime_s(&utc, &when);
#else
  localtime_r(&when, &local);
  gmtime_r(&when, &utc);
#endif
  // The zone offset from the two broken-down times; they are at most a day
  // apart.
  int days = local.tm_yday - utc.tm_yday;
  if (local.tm_year != utc.tm_year) days = local.tm_year > utc.tm_year ? 1 : -1;
  int minutes = days * 1440 + (local.tm_hour - utc.tm_hour) * 60 + (local.tm_min - utc.tm_min);
  const char sign = minutes < 0 ? '-' : '+';
  if (minutes < 0) minutes = -minutes;
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                kDays[local.tm_wday % 7], local.tm_mday, kMonths[local.tm_mon % 12],
                local.tm_year + 1900, local.tm_hour, local.tm_min, local.tm_sec, sign, minutes / 60,
                minutes % 60);
  return text;
}

std::string FormatForwardedBody(std::string_view body) {
  // The body is mail text (UTF-8): into ISO-2022-JP, the geta mark for
  // what it cannot hold; a NUL ends it, as it always did.
  std::string text = "\r\n** This mail was forwarded by tarnu. **\r\n";
  text += body.substr(0, body.find('\0'));
  text = Iso2022JpFromShiftJis(MailTextForJis(text));
  // Every line ending becomes CR LF, so no stray CR or LF can be read as
  // the end of the data, and a dot is doubled at the start of a line only.
  std::string out;
  out.reserve(text.size() + text.size() / 16 + 4);
  bool line_start = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "\r\n";
      line_start = true;
      continue;
    }
    if (line_start && c == '.') out += '.';
    out += c;
    line_start = false;
  }
  return out;
}

SmtpExtensions ParseEhloReply(const std::vector<std::string>& lines) {
  SmtpExtensions found;
  // The first line greets; each further line names one extension.
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string text = lines[i].size() > 4 ? lines[i].substr(4) : std::string();
    for (char& c : text) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
      if (c == '=' || c == '\t' || c == '\r' || c == '\n') c = ' ';  // "AUTH=LOGIN", the old form
    }
    std::vector<std::string> words;
    std::size_t at = 0;
    while ((at = text.find_first_not_of(' ', at)) != std::string::npos) {
      std::size_t end = text.find(' ', at);
      words.push_back(text.substr(at, end - at));
      at = end;
    }
    if (words.empty()) continue;
    if (words[0] == "STARTTLS") found.starttls = true;
    if (words[0] != "AUTH") continue;
    for (std::size_t w = 1; w < words.size(); ++w) {
      if (words[w] == "PLAIN") found.auth_plain = true;
      if (words[w] == "LOGIN") found.auth_login = true;
    }
  }
  return found;
}

int ForwardMail(const HostEntry& host, MailEntry* entry, MessagePump* pump,
                const SecureOptions& secure) {
  if (!host.forward) return 0;
  // A line break would let a stored value add commands of its own.
  if (HasLineBreak(host.notify_address) || HasLineBreak(host.smtp_server)) {
    entry->state = "転送先のメールアドレスまたはSMTPサーバ名に改行が含まれているため転送できません";
    return kForwardFailed;
  }
  // The password never travels in plain text unless the user said so.
  if (!host.extras.smtp_user.empty() && host.extras.smtp_security == ConnectionSecurity::kNone &&
      !host.extras.HasOption(kExtraSmtpAuthWithoutTls)) {
    entry->state = kAuthNeedsTls;
    return kForwardFailed;
  }
  LineChannel channel(pump);
  channel.PumpMessages();
  if (!channel.Connect(host.smtp_server, host.smtp_port, host.timeout)) {
    entry->state = NetErrorText("転送時接続エラー ", channel.last_error());
    return kForwardFailed;
  }
  SmtpDialogue smtp(&channel, host.timeout, entry);
  bool accepted;
  try {
    accepted =
        (host.extras.smtp_security != ConnectionSecurity::kTls || Secure(host, secure, &smtp)) &&
        Converse(host, secure, entry, &smtp);
  } catch (const std::bad_alloc&) {
    entry->state = "メモリが足りません";
    accepted = false;
  }
  if (accepted) entry->state.clear();
  // A channel closed by a refused handshake takes no QUIT.
  if (channel.is_open()) channel.Send("QUIT\r\n");
  channel.Close();
  if (accepted) return 0;
  return smtp.uncertain() ? kForwardUncertain : kForwardFailed;
}

}  // namespace tarnu
