// The POP3 verbs: survey one mailbox, retrieve one whole message.
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

#include "model/mail_entry.h"
#include "net/pop3_account.h"
#include "net/retrieve.h"
#include "net/survey.h"
#include "platform/text_convert.h"
#include "platform/ui_hooks.h"
#include "tools/tarnu-cli/cli.h"

namespace tarnu::cli {
namespace {

// The progress title on standard error, one line each time it changes.
// Counters ("...[n/total]") that follow each other are thinned to ten lines
// a second; the last count is always shown before whatever comes next.
class StderrStatus : public StatusLine {
 public:
  explicit StderrStatus(bool raw_cp932) : raw_(raw_cp932) {}
  ~StderrStatus() override { Print(held_); }
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
    WriteError((raw_ ? title : platform::Cp932ToUtf8(title)) + "\n");
  }

  bool raw_;
  std::string title_;
  std::string held_;
  std::chrono::steady_clock::time_point last_print_;
};

bool ParseNumber(const std::string& text, int low, int* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > INT_MAX) return false;
  *value = static_cast<int>(v);
  return true;
}

const std::vector<std::string> kAccountOptions = {
    "server", "port", "user", "password", "lines", "timeout", "encoding", "number", "size"};

// The account from the options; false (usage printed) when one is missing or
// malformed.
bool ReadAccount(const char* verb, const ParsedOptions& options, bool raw, Pop3Account* account,
                 int* status) {
  for (const char* required : {"server", "user", "password"}) {
    if (options.Get(required) == nullptr) {
      *status = UsageError(verb, std::string("--") + required + " is required");
      return false;
    }
  }
  // Values arrive as UTF-8 and go out as code page 932, unless raw.
  auto text = [&](const char* name) {
    return raw ? *options.Get(name) : platform::Utf8ToCp932(*options.Get(name));
  };
  account->server = text("server");
  account->user = text("user");
  account->password = text("password");
  account->apop = options.Has("apop");
  account->pipelining = !options.Has("no-pipelining");
  if (const std::string* port = options.Get("port")) {
    if (!ParseNumber(*port, 1, &account->port) || account->port > 65535) {
      *status = UsageError(verb, "--port takes a number from 1 to 65535");
      return false;
    }
  }
  if (const std::string* timeout = options.Get("timeout")) {
    if (!ParseNumber(*timeout, -1, &account->timeout)) {
      *status = UsageError(verb, "--timeout takes seconds (-1: no limit)");
      return false;
    }
  }
  return true;
}

bool Parse(const char* verb, const std::vector<std::string>& args, ParsedOptions* options,
           bool* raw, int* status) {
  std::string problem;
  if (!ParseOptions(args, kAccountOptions, {"apop", "no-pipelining"}, options, &problem)) {
    *status = UsageError(verb, problem);
    return false;
  }
  if (!options->positional.empty()) {
    *status = UsageError(verb, "unexpected argument " + options->positional.front());
    return false;
  }
  const std::string* encoding = options->Get("encoding");
  if (encoding != nullptr && *encoding != "cp932" && *encoding != "utf-8") {
    *status = UsageError(verb, "--encoding is cp932 or utf-8");
    return false;
  }
  *raw = encoding != nullptr && *encoding == "cp932";
  return true;
}

}  // namespace

int SurveyVerb(const std::vector<std::string>& args) {
  ParsedOptions options;
  bool raw = false;
  int status = kExitOk;
  Pop3Account account;
  if (!Parse("survey", args, &options, &raw, &status) ||
      !ReadAccount("survey", options, raw, &account, &status)) {
    return status;
  }
  int lines = 2;
  if (const std::string* text = options.Get("lines")) {
    if (!ParseNumber(*text, 0, &lines)) return UsageError("survey", "--lines takes a number");
  }

  StderrStatus progress(raw);
  NullMessagePump pump;
  SurveyResult result;
  // Without a window there is no message box: a survey that runs out of
  // memory simply fails.
  int code = SurveyMailbox(&progress, account, lines, &result, &pump, nullptr);

  std::string out = "count: " + std::to_string(result.mail_count) + "\n";
  out += "size: " + std::to_string(result.mailbox_size) + "\n";
  if (code != 0) out += "error: " + FormatField(result.error, raw) + "\n";
  for (std::size_t i = 0; i < result.mails.size(); ++i) {
    const MailEntry& m = result.mails[i];
    out += std::to_string(i + 1) + "\t" + std::to_string(m.size) + "\t" + FormatField(m.from, raw) +
           "\t" + FormatField(m.subject, raw) + "\t" + FormatField(m.message_id, raw) + "\t" +
           FormatField(m.body, raw) + "\n";
  }
  WriteOutput(out);
  return code == 0 ? kExitOk : kExitRefused;
}

int RetrieveVerb(const std::vector<std::string>& args) {
  ParsedOptions options;
  bool raw = false;
  int status = kExitOk;
  Pop3Account account;
  if (!Parse("retrieve", args, &options, &raw, &status) ||
      !ReadAccount("retrieve", options, raw, &account, &status)) {
    return status;
  }
  int number = 0;
  const std::string* number_text = options.Get("number");
  if (number_text == nullptr || !ParseNumber(*number_text, 1, &number)) {
    return UsageError("retrieve", "--number takes the message number (1 or more)");
  }
  int size = 0;
  if (const std::string* text = options.Get("size")) {
    if (!ParseNumber(*text, 0, &size)) return UsageError("retrieve", "--size takes octets");
  }

  StderrStatus progress(raw);
  NullMessagePump pump;
  std::string header, body, error;
  if (RetrieveMessage(&progress, &pump, number, static_cast<unsigned long>(size), account, &header,
                      &body, &error) != 0) {
    WriteOutput("error: " + FormatField(error, raw) + "\n");
    return kExitRefused;
  }
  // The header block ends with the CR of its last line: complete that line,
  // then the empty line, then the body, all with the message's CR LF.
  std::string text = header;
  if (!text.empty()) text += (text.back() == '\r') ? "\n" : "\r\n";
  text += "\r\n" + body;
  WriteOutput(raw ? text : platform::Cp932ToUtf8(text));
  return kExitOk;
}

}  // namespace tarnu::cli
