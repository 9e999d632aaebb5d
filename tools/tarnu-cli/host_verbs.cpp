// The verbs that list and edit ./tarnu.pref: hosts, host add|set|remove,
// settings show|set. Edits pass the same checks as the settings dialogs;
// a refused value prints the dialog's message and leaves the file untouched.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/config_file.h"
#include "model/host_list.h"
#include "platform/text_convert.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/host_verbs.h"
#include "ui/forward_rule_form.h"
#include "ui/host_form.h"
#include "ui/settings_form.h"

namespace tarnu::cli {
namespace {

// Message boxes become one line each on standard error.
class ConsoleMessages : public UserMessages {
 public:
  explicit ConsoleMessages(bool raw) : raw_(raw) {}
  void ShowMessage(const std::string& text, MessageIcon) override {
    WriteError(FormatField(text, raw_) + "\n");
    ++shown;
  }
  void RequestQuit(int) override { quit_requested = true; }
  int shown = 0;
  bool quit_requested = false;

 private:
  bool raw_;
};

bool RawOutput(const ParsedOptions& options, std::string* problem) {
  const std::string* encoding = options.Get("encoding");
  if (encoding == nullptr || *encoding == "utf-8") return false;
  if (*encoding == "cp932") return true;
  *problem = "unknown encoding " + *encoding;
  return false;
}

// Prints a refusal of the checks and returns the refusal exit code.
int Refuse(const std::string& message, bool raw) {
  WriteError(FormatField(message, raw) + "\n");
  return kExitRefused;
}

// Loads the settings file as the program does at start-up: whatever loaded
// is used, and the loader's messages go to standard error.
bool LoadForEditing(AppSettings* settings, HostList* hosts, ConsoleMessages* messages) {
  LoadConfigFile(settings, hosts, messages);
  return !messages->quit_requested;
}

int Save(AppSettings* settings, const HostList& hosts, ConsoleMessages* messages) {
  int before = messages->shown;
  int result = SaveConfigFile(settings, hosts, messages);
  // A save that could not even create its file still returns 0: the
  // message tells.
  return result == 0 && messages->shown == before ? kExitOk : kExitRefused;
}

bool ParseIndex(const std::string& text, std::size_t count, std::size_t* index) {
  std::int64_t value = 0;
  if (!ParseInteger(text, &value) || value < 0 || static_cast<std::uint64_t>(value) >= count) {
    return false;
  }
  *index = static_cast<std::size_t>(value);
  return true;
}

// ---- hosts ---------------------------------------------------------------

int RunHosts(const std::vector<std::string>& args) {
  ParsedOptions options;
  std::string problem;
  if (!ParseOptions(args, {"encoding"}, {}, &options, &problem))
    return UsageError("hosts", problem);
  bool raw = RawOutput(options, &problem);
  if (!problem.empty() || !options.positional.empty()) {
    return UsageError("hosts", problem.empty() ? "unexpected argument" : problem);
  }
  ConsoleMessages messages(raw);
  AppSettings settings;
  HostList hosts;
  if (!LoadForEditing(&settings, &hosts, &messages)) return kExitRefused;
  std::string out;
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    const HostEntry& h = hosts[i];
    out += std::to_string(i) + "\t" + FormatField(h.name, raw) + "\t" + FormatField(h.server, raw) +
           "\t" + std::to_string(h.pop3_port) + "\t" + FormatField(h.user, raw) + "\t" +
           (h.check ? "1" : "0") + "\t" + (h.apop ? "1" : "0") + "\t" + (h.forward ? "1" : "0") +
           "\n";
  }
  WriteOutput(out);
  return kExitOk;
}

// ---- host add | set | remove ---------------------------------------------

const std::vector<std::string> kHostValues = {"name",
                                              "server",
                                              "user",
                                              "password",
                                              "port",
                                              "lines",
                                              "timeout",
                                              "notify",
                                              "smtp",
                                              "smtp-port",
                                              "prefix",
                                              "forward-if-subject",
                                              "stop-if-subject",
                                              "forward-if-from",
                                              "stop-if-from",
                                              "encoding"};
const std::vector<std::string> kHostFlags = {"apop",    "no-apop",    "check",      "no-check",
                                             "forward", "no-forward", "pipelining", "no-pipelining",
                                             "uidl",    "no-uidl"};

// Applies the options to the form: texts converted from UTF-8, numbers as
// typed. The word lists set their switch when not empty and clear it when
// empty.
void ApplyHostOptions(const ParsedOptions& o, HostForm* form, ForwardRuleForm* rule) {
  auto text = [&](const char* name, std::string* field) {
    if (const std::string* v = o.Get(name)) *field = platform::Utf8ToCp932(*v);
  };
  auto number = [&](const char* name, std::string* field) {
    if (const std::string* v = o.Get(name)) *field = *v;
  };
  auto words = [&](const char* name, std::string* list, bool* on) {
    if (const std::string* v = o.Get(name)) {
      *list = platform::Utf8ToCp932(*v);
      *on = !list->empty();
    }
  };
  text("name", &form->name);
  text("server", &form->server);
  text("user", &form->user);
  text("password", &form->password);
  number("port", &form->pop3_port);
  number("lines", &form->lines);
  number("timeout", &form->timeout);
  text("notify", &form->notify_address);
  text("smtp", &form->smtp_server);
  number("smtp-port", &form->smtp_port);
  text("prefix", &form->subject_prefix);
  if (o.Has("apop")) form->apop = true;
  if (o.Has("no-apop")) form->apop = false;
  if (o.Has("check")) form->check = true;
  if (o.Has("no-check")) form->check = false;
  if (o.Has("forward")) form->forward = true;
  if (o.Has("no-forward")) form->forward = false;
  words("forward-if-subject", &rule->subject_forward, &rule->forward_if_subject);
  words("stop-if-subject", &rule->subject_stop, &rule->stop_if_subject);
  words("forward-if-from", &rule->from_forward, &rule->forward_if_from);
  words("stop-if-from", &rule->from_stop, &rule->stop_if_from);
}

// The forwarding conditions dialog closes before the host settings dialog
// does, so its check comes first.
bool CheckAndStore(const HostForm& form_in, const ForwardRuleForm& rule, bool raw, HostEntry* entry,
                   int* exit_code) {
  FormCheck check = Validate(rule);
  if (!check.ok) {
    *exit_code = Refuse(check.message, raw);
    return false;
  }
  HostForm form = form_in;
  StoreForwardRuleForm(rule, &form.rule);
  check = Validate(form);
  if (!check.ok) {
    *exit_code = Refuse(check.message, raw);
    return false;
  }
  StoreHostForm(form, entry);
  return true;
}

int RunHost(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError("host", "add, set or remove expected");
  const std::string& action = args[0];
  ParsedOptions options;
  std::string problem;
  std::vector<std::string> rest(args.begin() + 1, args.end());
  bool remove = action == "remove";
  if (!ParseOptions(rest, remove ? std::vector<std::string>{"encoding"} : kHostValues,
                    remove ? std::vector<std::string>{} : kHostFlags, &options, &problem)) {
    return UsageError("host", problem);
  }
  bool raw = RawOutput(options, &problem);
  if (!problem.empty()) return UsageError("host", problem);
  std::size_t wanted_positionals = action == "add" ? 0 : 1;
  if (action != "add" && action != "set" && !remove) {
    return UsageError("host", "unknown action " + action);
  }
  if (options.positional.size() != wanted_positionals) {
    return UsageError("host", wanted_positionals == 0 ? "unexpected argument" : "INDEX expected");
  }

  ConsoleMessages messages(raw);
  AppSettings settings;
  HostList hosts;
  if (!LoadForEditing(&settings, &hosts, &messages)) return kExitRefused;

  std::size_t index = 0;
  if (action != "add" && !ParseIndex(options.positional[0], hosts.size(), &index)) {
    WriteError("tarnu-cli: no host at index " + options.positional[0] + "\n");
    return kExitRefused;
  }
  if (remove) {
    RemoveHost(&hosts, index);
    return Save(&settings, hosts, &messages);
  }
  HostEntry entry = action == "add" ? HostEntry() : hosts[index];
  HostForm form = LoadHostForm(entry);
  ForwardRuleForm rule = LoadForwardRuleForm(entry.rule);
  ApplyHostOptions(options, &form, &rule);
  int exit_code = kExitOk;
  if (!CheckAndStore(form, rule, raw, &entry, &exit_code)) return exit_code;
  // The protocol additions, on unless switched off.
  if (options.Has("pipelining")) entry.extras.SetOption(kExtraNoPipelining, false);
  if (options.Has("no-pipelining")) entry.extras.SetOption(kExtraNoPipelining, true);
  if (options.Has("uidl")) entry.extras.SetOption(kExtraNoUidl, false);
  if (options.Has("no-uidl")) entry.extras.SetOption(kExtraNoUidl, true);
  if (action == "add") {
    if (!AppendHost(&hosts, entry, &messages)) return kExitRefused;
  } else {
    hosts[index] = entry;
  }
  return Save(&settings, hosts, &messages);
}

// ---- settings show | set -------------------------------------------------

std::string FieldText(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return std::string(field, nul != nullptr ? static_cast<const char*>(nul) - field : size);
}

int ShowSettings(const AppSettings& s, bool raw) {
  char colour[16];
  std::snprintf(colour, sizeof colour, "0x%08X", static_cast<unsigned>(s.font_colour));
  std::vector<std::pair<std::string, std::string>> lines = {
      {"version", std::to_string(s.version)},
      {"host-count", std::to_string(s.host_count)},
      {"periodic", std::to_string(s.periodic_check)},
      {"interval", std::to_string(s.interval)},
      {"reserved", std::to_string(s.reserved)},
      {"no-check-at-start", std::to_string(s.no_check_at_start)},
      {"no-history-at-start", std::to_string(s.no_history_at_start)},
      {"auto-open", std::to_string(s.auto_open)},
      {"font", FormatField(FieldText(s.font.face_name, sizeof s.font.face_name), raw)},
      {"font-height", std::to_string(s.font.height)},
      {"font-weight", std::to_string(s.font.weight)},
      {"font-charset", std::to_string(s.font.char_set)},
      {"colour", colour},
      {"quote", FormatField(FieldText(s.quote, sizeof s.quote), raw)},
      {"no-position-restore", std::to_string(s.no_position_restore)},
      {"left", std::to_string(s.left)},
      {"top", std::to_string(s.top)},
      {"height", std::to_string(s.height)},
      {"width", std::to_string(s.width)},
  };
  std::string out;
  for (const auto& line : lines) out += line.first + "\t" + line.second + "\n";
  WriteOutput(out);
  return kExitOk;
}

const std::vector<std::string> kSettingsValues = {"periodic",
                                                  "interval",
                                                  "no-check-at-start",
                                                  "quote",
                                                  "auto-open",
                                                  "no-position-restore",
                                                  "no-history-at-start",
                                                  "font",
                                                  "font-height",
                                                  "font-weight",
                                                  "font-charset",
                                                  "colour",
                                                  "encoding"};

bool ParseSwitch(const ParsedOptions& o, const char* name, bool* field, std::string* problem) {
  const std::string* v = o.Get(name);
  if (v == nullptr) return true;
  if (*v == "1" || *v == "on") {
    *field = true;
  } else if (*v == "0" || *v == "off") {
    *field = false;
  } else {
    *problem = std::string("--") + name + " takes 1 or 0";
    return false;
  }
  return true;
}

// A number outside the dialogs: checked with the same messages.
bool ParseNumber(const ParsedOptions& o, const char* name, std::int64_t low, std::int64_t high,
                 std::int64_t* value, std::string* refusal) {
  const std::string* v = o.Get(name);
  if (v == nullptr) return true;
  std::string text = *v;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) base = 16;
  std::int64_t parsed = 0;
  bool ok;
  if (base == 16) {
    parsed = 0;
    ok = text.size() <= 2 + 16;
    for (std::size_t i = 2; ok && i < text.size(); ++i) {
      char c = text[i];
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                         : -1;
      ok = digit >= 0 && parsed <= (std::numeric_limits<std::int64_t>::max() >> 4);
      parsed = parsed * 16 + digit;
    }
  } else {
    ok = ParseInteger(text, &parsed);
  }
  if (!ok) {
    *refusal = IntegerMessage();
    return false;
  }
  if (parsed < low || parsed > high) {
    *refusal = RangeMessage(low, high);
    return false;
  }
  *value = parsed;
  return true;
}

int SetSettings(const ParsedOptions& o, AppSettings* settings, HostList* hosts,
                ConsoleMessages* messages, bool raw) {
  SettingsForm form = LoadSettingsForm(*settings);
  std::string problem;
  if (!ParseSwitch(o, "periodic", &form.periodic_check, &problem) ||
      !ParseSwitch(o, "no-check-at-start", &form.no_check_at_start, &problem) ||
      !ParseSwitch(o, "auto-open", &form.auto_open, &problem) ||
      !ParseSwitch(o, "no-position-restore", &form.no_position_restore, &problem) ||
      !ParseSwitch(o, "no-history-at-start", &form.no_history_at_start, &problem)) {
    return UsageError("settings", problem);
  }
  if (const std::string* v = o.Get("interval")) form.interval = *v;
  if (const std::string* v = o.Get("quote")) form.quote = platform::Utf8ToCp932(*v);
  FormCheck check = Validate(form);
  if (!check.ok) return Refuse(check.message, raw);

  // The font selection's values.
  constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
  std::int64_t height = form.font.height, weight = form.font.weight;
  std::int64_t charset = form.font.char_set, colour = form.font_colour;
  std::string refusal;
  if (!ParseNumber(o, "font-height", kMin32, kMax32, &height, &refusal) ||
      !ParseNumber(o, "font-weight", 0, 1000, &weight, &refusal) ||
      !ParseNumber(o, "font-charset", 0, 255, &charset, &refusal) ||
      !ParseNumber(o, "colour", 0, 0xFFFFFF, &colour, &refusal)) {
    return Refuse(refusal, raw);
  }
  if (const std::string* v = o.Get("font")) {
    std::string face = platform::Utf8ToCp932(*v);
    if (face.size() >= sizeof form.font.face_name) {
      return Refuse(LengthMessage(sizeof form.font.face_name - 1), raw);
    }
    std::memset(form.font.face_name, 0, sizeof form.font.face_name);
    std::memcpy(form.font.face_name, face.data(), face.size());
  }
  form.font.height = static_cast<std::int32_t>(height);
  form.font.weight = static_cast<std::int32_t>(weight);
  form.font.char_set = static_cast<std::uint8_t>(charset);
  form.font_colour = static_cast<std::uint32_t>(colour);
  StoreSettingsForm(form, settings);
  return Save(settings, *hosts, messages);
}

int RunSettings(const std::vector<std::string>& args) {
  if (args.empty() || (args[0] != "show" && args[0] != "set")) {
    return UsageError("settings", "show or set expected");
  }
  bool show = args[0] == "show";
  ParsedOptions options;
  std::string problem;
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (!ParseOptions(rest, show ? std::vector<std::string>{"encoding"} : kSettingsValues, {},
                    &options, &problem)) {
    return UsageError("settings", problem);
  }
  bool raw = RawOutput(options, &problem);
  if (!problem.empty() || !options.positional.empty()) {
    return UsageError("settings", problem.empty() ? "unexpected argument" : problem);
  }
  ConsoleMessages messages(raw);
  AppSettings settings;
  HostList hosts;
  if (!LoadForEditing(&settings, &hosts, &messages)) return kExitRefused;
  if (show) return ShowSettings(settings, raw);
  return SetSettings(options, &settings, &hosts, &messages, raw);
}

}  // namespace

int HostsVerb(const std::vector<std::string>& args) { return RunHosts(args); }
int HostVerb(const std::vector<std::string>& args) { return RunHost(args); }
int SettingsVerb(const std::vector<std::string>& args) { return RunSettings(args); }

const char kHostsUsage[] = "[--encoding cp932]";
const char kHostUsage[] =
    "add --name N --server S --user U --password W [--port P] [--lines N] [--timeout T]"
    " [--apop] [--no-check] [--no-pipelining] [--no-uidl]"
    " [--forward --notify ADDR --smtp HOST [--smtp-port P]"
    " [--prefix TEXT]] [--forward-if-subject WORDS] [--stop-if-subject WORDS]"
    " [--forward-if-from WORDS] [--stop-if-from WORDS] [--encoding cp932]\n"
    "  tarnu-cli host set INDEX [the options of add, and --no-apop --check --no-forward]\n"
    "  tarnu-cli host remove INDEX";
const char kSettingsUsage[] =
    "show [--encoding cp932]\n"
    "  tarnu-cli settings set [--periodic 1|0] [--interval MINUTES] [--no-check-at-start 1|0]"
    " [--quote TEXT] [--auto-open 1|0] [--no-position-restore 1|0]"
    " [--no-history-at-start 1|0] [--font FACE] [--font-height N] [--font-weight N]"
    " [--font-charset N] [--colour 0xBBGGRR]";

}  // namespace tarnu::cli
