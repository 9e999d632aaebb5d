// POP3 login and mailbox status (RFC 1939 sections 4, 5 and 7; the digest
// from RFC 1321).
#include "net/pop3_session.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "net/md5.h"
#include "net/net_error_text.h"
#include "net/secure_channel.h"

namespace tarnu {
namespace {

constexpr char kTextConnect[] = "接続時エラー ";
constexpr char kTextSend[] = "送信エラー ";
constexpr char kTextReceive[] = "受信エラー ";
constexpr char kTextNotReady[] = "メールサーバが応答状態にありません\r\n";
constexpr char kTextNoApop[] = "このサーバはAPOPに対応していません。\r\n";
constexpr char kTextApopRefused[] = "メールサーバが認証しません\r\n";
constexpr char kTextUserRefused[] = "メールサーバがユーザ名を受理しません\r\n";
constexpr char kTextPassRefused[] = "メールサーバがパスワードを受理しません\r\n";
// Our own: a line break inside an argument would end the command early and
// smuggle the rest in as a command of its own.
constexpr char kTextLineBreak[] =
    "ユーザ名またはパスワードに改行文字が含まれているため、メールサーバに送信できません";
constexpr char kTextNoStls[] = "このメールサーバはSTLS(TLSへの切り替え)に応じません\r\n";
constexpr char kTextAuthenticating[] = "認証中...";
constexpr char kTextConnecting[] = "へ接続中...";

bool IsPositive(const std::string& reply) { return reply.compare(0, 3, "+OK") == 0; }

bool HasLineBreak(const std::string& text) {
  return text.find_first_of("\r\n") != std::string::npos;
}

}  // namespace

std::string ApopTimestamp(std::string_view greeting) {
  std::size_t open = greeting.find('<');
  if (open == std::string_view::npos) return std::string();
  // The closing bracket is looked for after the opening one: a ">" earlier
  // in the banner text must not stretch the timestamp to the line end.
  std::size_t close = greeting.find('>', open + 1);
  if (close == std::string_view::npos) return std::string();
  return std::string(greeting.substr(open, close - open + 1));
}

std::string ApopCommand(const std::string& user, std::string_view timestamp,
                        const std::string& password) {
  Md5Context context;
  std::memset(&context, 0, sizeof context);
  Md5Init(&context);
  Md5Update(&context, reinterpret_cast<const unsigned char*>(timestamp.data()), timestamp.size());
  Md5Update(&context, reinterpret_cast<const unsigned char*>(password.data()), password.size());
  unsigned char digest[16];
  Md5Final(digest, &context);
  static const char kHex[] = "0123456789abcdef";
  std::string command = "APOP " + user + " ";
  for (unsigned char b : digest) {
    command += kHex[b >> 4];
    command += kHex[b & 0x0F];
  }
  command += "\r\n";
  return command;
}

Pop3Session::Pop3Session(StatusLine* status, MessagePump* pump) : status_(status), channel_(pump) {}

void Pop3Session::ShowProgress(const std::string& suffix) {
  if (status_ != nullptr) status_->SetTitle(title_ + suffix);
}

void Pop3Session::Quit() {
  if (channel_.is_open()) {
    channel_.Send("QUIT\r\n");
    channel_.Close();
  }
  if (status_ != nullptr) status_->SetTitle(title_);
}

int Pop3Session::Fail(std::string text) {
  error_ = std::move(text);
  Quit();
  return -1;
}

bool Pop3Session::ReadReply(std::string* reply) {
  int n = channel_.ReadLine(reply, timeout_);
  // A line longer than the buffer: its first part is the reply, the rest is
  // read and dropped so that the next reply is not taken from it.
  if (n == kLineCapacity - 1 && reply->back() != '\n') {
    std::string rest;
    do {
      n = channel_.ReadLine(&rest, timeout_);
    } while (n == kLineCapacity - 1 && rest.back() != '\n');
  }
  if (n == kReadTimeout) {
    Fail(kTextNoAnswer);
    return false;
  }
  if (n < 0) {
    Fail(NetErrorText(kTextReceive, channel_.last_error()));
    return false;
  }
  return true;
}

int Pop3Session::Command(std::string_view command, std::string* reply) {
  reply->clear();
  channel_.DiscardUnread();
  if (channel_.Send(command) < 0) {
    Fail(NetErrorText(kTextSend, channel_.last_error()));
    return -1;
  }
  return ReadStatus(reply);
}

bool Pop3Session::SendCommands(std::string_view commands) {
  // A batch cut short would leave the server answering half a command.
  while (!commands.empty()) {
    const int n = channel_.Send(commands);
    if (n <= 0) {
      Fail(kTextSend + std::to_string(channel_.last_error()));
      return false;
    }
    commands.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

int Pop3Session::ReadStatus(std::string* reply) {
  if (!ReadReply(reply)) return -1;
  return IsPositive(*reply) ? 1 : 0;
}

bool Pop3Session::Refuse(std::string text) {
  Fail(std::move(text));
  return false;
}

bool Pop3Session::Expect(std::string_view command, const char* refusal) {
  std::string reply;
  int state = Command(command, &reply);
  if (state < 0) return false;
  if (state == 0) return Refuse(refusal + reply);
  return true;
}

bool Pop3Session::Login(const Pop3Account& account, bool pump_before_connect) {
  timeout_ = account.timeout;
  error_.clear();
  if (status_ != nullptr) title_ = status_->GetTitle();
  ShowProgress("(" + account.server + ":" + std::to_string(account.port) + kTextConnecting + ")");
  if (pump_before_connect) channel_.PumpMessages();

  if (HasLineBreak(account.user) || HasLineBreak(account.password)) return Refuse(kTextLineBreak);
  std::string timestamp;
  if (!Connect(account) || !Greet(account, &timestamp)) return false;
  if (account.security == ConnectionSecurity::kStartTls && !StartTls(account)) return false;
  ShowProgress(std::string("(") + kTextAuthenticating + ")");
  return account.apop ? LoginWithApop(account, timestamp) : LoginWithUserPass(account);
}

bool Pop3Session::Connect(const Pop3Account& account) {
  if (!channel_.Connect(account.server, account.port, account.timeout)) {
    return Refuse(NetErrorText(kTextConnect, channel_.last_error()));
  }
  return account.security != ConnectionSecurity::kTls || Secure(account);
}

bool Pop3Session::StartTls(const Pop3Account& account) {
  // A refusal ends the dialogue: going on in plain text would hand the
  // password to whoever made the server refuse.
  return Expect("STLS\r\n", kTextNoStls) && Secure(account);
}

bool Pop3Session::Secure(const Pop3Account& account) {
  SecureTarget target;
  target.server = account.server;
  target.port = account.port;
  target.timeout = account.timeout;
  target.ca_file = account.ca_file;
  target.accepted_fingerprint = account.accepted_fingerprint;
  target.trust = account.trust;
  target.connect_text = kTextConnect;
  std::string error;
  if (SecureChannel(&channel_, target, &error)) return true;
  return Refuse(std::move(error));
}

bool Pop3Session::Greet(const Pop3Account& account, std::string* timestamp) {
  std::string line;
  if (!ReadReply(&line)) return false;
  if (!IsPositive(line)) return Refuse(kTextNotReady + line);
  *timestamp = ApopTimestamp(line);
  // Checked before anything is sent: without a timestamp there is no digest.
  if (account.apop && timestamp->empty()) return Refuse(kTextNoApop);
  return true;
}

bool Pop3Session::LoginWithApop(const Pop3Account& account, const std::string& timestamp) {
  return Expect(ApopCommand(account.user, timestamp, account.password), kTextApopRefused);
}

bool Pop3Session::LoginWithUserPass(const Pop3Account& account) {
  return Expect("USER " + account.user + "\r\n", kTextUserRefused) &&
         Expect("PASS " + account.password + "\r\n", kTextPassRefused);
}

bool Pop3Session::Stat(int* count, int* size) {
  channel_.PumpMessages();
  std::string reply;
  int state = Command("STAT\r\n", &reply);
  if (state < 0) return false;
  // "+OK count size": a reply without both numbers cannot be surveyed.
  std::size_t pos = reply.find_first_of(" \t\r\n");
  *count = 0;
  *size = 0;
  if (state == 0 || pos == std::string::npos || !ScanInt(reply, &pos, count) ||
      !ScanInt(reply, &pos, size) || *count < 0) {
    return Refuse(std::string(kTextCannotServe) + "\r\n" + reply);
  }
  return true;
}

}  // namespace tarnu
