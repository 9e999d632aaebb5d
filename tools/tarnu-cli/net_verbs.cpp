// The POP3 verbs: survey one mailbox, retrieve one whole message.
#include <chrono>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "model/mail_entry.h"
#include "net/pop3_account.h"
#include "net/retrieve.h"
#include "net/survey.h"
#include "platform/ui_hooks.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/verbs.h"
#include "ui/form_check.h"
#include "ui/host_extras_form.h"

namespace tarnu::cli {
namespace {

// The progress title on standard error, one line each time it changes.
// Counters ("...[n/total]") that follow each other are thinned to ten lines
// a second; the last count is always shown before whatever comes next.
class StderrStatus : public StatusLine {
 public:
  // The last count held back, before the results are printed.
  void Flush() {
    Print(held_);
    held_.clear();
  }
  std::string GetTitle() override { return title_; }
  void SetTitle(const std::string& title) override {
    std::string stem = CounterStem(title);
    bool next_count = !stem.empty() && stem == CounterStem(title_);
    title_ = title;
    auto now = std::chrono::steady_clock::now();
    if (next_count && now - last_print_ < std::chrono::milliseconds(100)) {
      held_ = title;
      return;
    }
    if (!next_count) Print(held_);
    held_.clear();
    Print(title);
    last_print_ = now;
  }

 private:
  // The title without its trailing "[...]" counter; empty when it has none.
  static std::string CounterStem(const std::string& title) {
    if (title.empty() || title.back() != ']') return std::string();
    std::size_t open = title.rfind('[');
    return open == std::string::npos ? std::string() : title.substr(0, open);
  }
  void Print(const std::string& title) {
    if (title.empty()) return;
    ErrorLine(title, TextKind::kCp932);
  }

  std::string title_;
  std::string held_;
  std::chrono::steady_clock::time_point last_print_;
};

// A number with the dialogs' checks and messages, within what a connection
// can use: a port of 0 or a timeout of 0 reach nothing.
bool ReadNumber(const Call& call, const char* name, std::int32_t low, int* value, int* exit_code) {
  const std::string* text = call.Value(name);
  if (text == nullptr) return true;
  std::int64_t parsed = 0;
  const std::int32_t top =
      std::string_view(name) == "port" ? 65535 : std::numeric_limits<std::int32_t>::max();
  if (!ParseInteger(*text, &parsed)) {
    *exit_code = RefuseOption(name, IntegerMessage());
    return false;
  }
  if (parsed < low || parsed > top) {
    *exit_code = RefuseOption(name, RangeMessage(low, top));
    return false;
  }
  *value = static_cast<int>(parsed);
  return true;
}

const std::vector<OptionSpec> kAccountOptions = {
    {"server", "HOST", "the POP3 server", true},
    {"port", "N", "its port, 1 to 65535 (default 110)"},
    {"user", "TEXT", "the user name", true},
    {"password", "TEXT",
     "the password (other users can see it in the process list: leave it out to be asked)", true},
    {"password-stdin", nullptr, "read the password from the first line of standard input"},
    {"apop", nullptr, "log in with APOP instead of USER and PASS"},
    {"timeout", "SECONDS", "how long a silent server is waited for, 1 or more (default 60)"},
    {"tls", "none|ssl|starttls",
     "TLS: ssl from the first byte (default port 995), starttls by STLS (default none)"},
    {"ca-file", "FILE", "a PEM file of further trusted CA certificates (a private CA)"},
    {"accept-fingerprint", "SHA256",
     "trust the server's certificate with this SHA-256 though it does not verify"},
};

std::vector<OptionSpec> With(std::vector<OptionSpec> options, const std::vector<OptionSpec>& more) {
  options.insert(options.end(), more.begin(), more.end());
  return options;
}

// The account from the options; false with the refusal printed.
bool ReadAccount(const Call& call, Pop3Account* account, int* exit_code) {
  *exit_code = kExitFailed;
  if (!call.Cp932Value("server", &account->server) || !call.Cp932Value("user", &account->user) ||
      !call.Cp932Value("password", &account->password)) {
    return false;
  }
  account->apop = call.Has("apop");
  if (const std::string* tls = call.Value("tls")) {
    int position = 0;
    if (!ParseSecurityName(*tls, &position)) {
      RefuseOption("tls", "none、ssl、starttls のいずれかを指定してください");
      return false;
    }
    // The positions are ConnectionSecurity's values; POP3S has its own port.
    account->security = static_cast<ConnectionSecurity>(position);
    if (account->security == ConnectionSecurity::kTls) account->port = 995;
  }
  if (const std::string* ca_file = call.Value("ca-file")) account->ca_file = *ca_file;
  if (const std::string* fingerprint = call.Value("accept-fingerprint")) {
    if (!ParseFingerprint(*fingerprint, &account->accepted_fingerprint)) {
      RefuseOption("accept-fingerprint",
                   "SHA-256 のフィンガープリントを16進数64桁で指定してください(コロン区切り可)");
      return false;
    }
  }
  return ReadNumber(call, "port", 1, &account->port, exit_code) &&
         ReadNumber(call, "timeout", 1, &account->timeout, exit_code);
}

// A failure's text on standard error too, where a person looks for it; the
// "error:" line stays for the scripts that read standard output.
void ReportFailure(const std::string& error) {
  WriteError(TerminalText("tarnu-cli: ", TextKind::kUtf8) + TerminalText(error, TextKind::kCp932) +
             "\n");
}

int RunSurvey(const Call& call) {
  Pop3Account account;
  int lines = 2;
  int code = kExitOk;
  if (!ReadAccount(call, &account, &code) || !ReadNumber(call, "lines", 0, &lines, &code)) {
    return code;
  }
  account.pipelining = !call.Has("no-pipelining");
  StderrStatus progress;
  NullMessagePump pump;
  SurveyResult result;
  // Without a window there is no message box: a survey that runs out of
  // memory simply fails.
  code = SurveyMailbox(&progress, account, lines, &result, &pump, nullptr);
  progress.Flush();

  std::string out = "count: " + std::to_string(result.mail_count) + "\n";
  out += "size: " + std::to_string(result.mailbox_size) + "\n";
  if (code != 0) out += "error: " + TerminalText(result.error, TextKind::kCp932) + "\n";
  for (std::size_t i = 0; i < result.mails.size(); ++i) {
    const MailEntry& m = result.mails[i];
    out += std::to_string(i + 1) + "\t" + std::to_string(m.size) + "\t" +
           TerminalText(m.from, TextKind::kMail) + "\t" + TerminalText(m.subject, TextKind::kMail) +
           "\t" + TerminalText(m.message_id, TextKind::kMail) + "\t" +
           TerminalText(m.body, TextKind::kMail) + "\n";
    // A part at a time: the text of a large mailbox is never held whole.
    if (out.size() >= 65536) {
      WriteOutput(out);
      out.clear();
    }
  }
  WriteOutput(out);
  if (code != 0) ReportFailure(result.error);
  return code == 0 ? kExitOk : kExitFailed;
}

int RunRetrieve(const Call& call) {
  Pop3Account account;
  int number = 0;
  int size = 0;
  int code = kExitOk;
  if (!ReadAccount(call, &account, &code) || !ReadNumber(call, "number", 1, &number, &code) ||
      !ReadNumber(call, "size", 0, &size, &code)) {
    return code;
  }
  StderrStatus progress;
  NullMessagePump pump;
  std::string header, body, error;
  code = RetrieveMessage(&progress, &pump, number, static_cast<unsigned long>(size), account,
                         &header, &body, &error);
  progress.Flush();
  if (code != 0) {
    WriteOutput("error: " + TerminalText(error, TextKind::kCp932) + "\n");
    ReportFailure(error);
    return kExitFailed;
  }
  // The header block ends with the CR of its last line: complete that line,
  // then the empty line, then the body, all with the message's CR LF.
  std::string text = header;
  if (!text.empty()) text += (text.back() == '\r') ? "\n" : "\r\n";
  text += "\r\n" + body;
  WriteOutput(TerminalBlock(text, TextKind::kMail));
  return kExitOk;
}

}  // namespace

const VerbSpec kSurveyVerb = {
    "survey",
    "--server HOST --user TEXT --password TEXT [options]",
    "surveys one mailbox without tarnu.pref: LIST and TOP of every message",
    "Prints count: N, size: S, error: TEXT (only after a failure), then one line per\n"
    "message: number, size, from, subject, message-id, body. Progress goes to\n"
    "standard error.",
    With(kAccountOptions, {{"lines", "N", "body lines fetched for each message (default 2)"},
                           {"no-pipelining", nullptr,
                            "one command at a time even when the server offers pipelining"}}),
    kEncodingOption | kInputOption,
    {},
    RunSurvey};

const VerbSpec kRetrieveVerb = {
    "retrieve",
    "--server HOST --user TEXT --password TEXT --number N [options]",
    "prints one whole message (RETR), as the detail window fetches it",
    "",
    With(kAccountOptions, {{"number", "N", "the message's number, 1 or more", true},
                           {"size", "OCTETS", "its size from LIST, for the progress count"}}),
    kEncodingOption | kInputOption,
    {},
    RunRetrieve};

}  // namespace tarnu::cli
