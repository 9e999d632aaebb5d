// The verbs that list and edit tarnu.pref: hosts, host add|set|remove,
// settings show|set. Edits pass the same checks as the settings dialogs; a
// refused value prints the dialog's message after the option's name and
// leaves the file untouched.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "model/host_list.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/pref_edit.h"
#include "tools/tarnu-cli/syntax_text.h"
#include "tools/tarnu-cli/verbs.h"
#include "ui/control_ids.h"
#include "ui/forward_rule_form.h"
#include "ui/host_extras_form.h"
#include "ui/host_form.h"
#include "ui/settings_form.h"

namespace tarnu::cli {
namespace {

// The option that sets each control the checks may name.
const char* OptionOfControl(int control_id) {
  switch (control_id) {
    case IDC_HOST_NAME:
      return "name";
    case IDC_SERVER:
      return "server";
    case IDC_POP3_PORT:
      return "port";
    case IDC_USER:
      return "user";
    case IDC_PASSWORD:
      return "password";
    case IDC_LINES:
      return "lines";
    case IDC_TIMEOUT:
      return "timeout";
    case IDC_NOTIFY_ADDRESS:
      return "notify";
    case IDC_SMTP_SERVER:
      return "smtp";
    case IDC_SMTP_PORT:
      return "smtp-port";
    case IDC_SUBJECT_PREFIX:
      return "prefix";
    case IDC_FORWARD_IF_SUBJECT_LIST:
      return "forward-if-subject";
    case IDC_STOP_IF_SUBJECT_LIST:
      return "stop-if-subject";
    case IDC_FORWARD_IF_FROM_LIST:
      return "forward-if-from";
    case IDC_STOP_IF_FROM_LIST:
      return "stop-if-from";
    case IDC_INTERVAL:
      return "interval";
    case IDC_QUOTE:
      return "quote";
    case IDC_POP3_SECURITY:
      return "tls";
    case IDC_SMTP_SECURITY:
      return "smtp-tls";
    case IDC_SMTP_USER:
      return "smtp-user";
    case IDC_SMTP_PASSWORD:
      return "smtp-password";
    default:
      return nullptr;
  }
}

int RefuseCheck(const FormCheck& check) {
  const char* option = OptionOfControl(check.control_id);
  if (option != nullptr) return RefuseOption(option, check.message);
  ErrorLine(check.message, TextKind::kCp932);
  return kExitFailed;
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

int RunHosts(const Call&) {
  SettingsFile file;
  if (int code = file.Open(false); code != kExitOk) return code;
  std::string out;
  for (std::size_t i = 0; i < file.hosts.size(); ++i) {
    const HostEntry& h = file.hosts[i];
    out += std::to_string(i) + "\t" + TerminalText(h.name, TextKind::kCp932) + "\t" +
           TerminalText(h.server, TextKind::kCp932) + "\t" + std::to_string(h.pop3_port) + "\t" +
           TerminalText(h.user, TextKind::kCp932) + "\t" + (h.check ? "1" : "0") + "\t" +
           (h.apop ? "1" : "0") + "\t" + (h.forward ? "1" : "0") + "\n";
  }
  WriteOutput(out);
  return kExitOk;
}

// ---- host add | set | remove ---------------------------------------------

const std::vector<OptionSpec> kHostOptions = {
    {"name", "TEXT", "the host's name in the list (at most 60 bytes)"},
    {"server", "HOST", "the POP3 server's address (at most 60 bytes)"},
    {"user", "TEXT", "the user name (at most 36 bytes)"},
    {"password", "TEXT", "the password (at most 36 bytes; seen by others in the process list)"},
    {"password-stdin", nullptr, "read the password from the first line of standard input"},
    {"port", "N", "the POP3 port, 0 to 65535 (new hosts: 110)"},
    {"lines", "N", "body lines fetched for each message (new hosts: 2)"},
    {"timeout", "SECONDS", "how long a silent server is waited for (new hosts: 60)"},
    {"apop", nullptr, "log in with APOP"},
    {"no-apop", nullptr, "log in with USER and PASS (new hosts)"},
    {"check", nullptr, "check this host (new hosts)"},
    {"no-check", nullptr, "leave this host out of checks"},
    {"forward", nullptr, "forward new mail as a notification through SMTP"},
    {"no-forward", nullptr, "do not forward (new hosts)"},
    {"notify", "ADDRESS", "where the notification goes"},
    {"smtp", "HOST", "the SMTP server that sends it"},
    {"smtp-port", "N", "its port, 0 to 65535 (new hosts: 25)"},
    {"prefix", "TEXT", "the notification's subject prefix (new hosts: Fwd))"},
    {"forward-if-subject", "WORDS", "forward only mail whose subject holds a word (empty: off)"},
    {"stop-if-subject", "WORDS", "do not forward mail whose subject holds a word (empty: off)"},
    {"forward-if-from", "WORDS", "forward only mail whose From holds a word (empty: off)"},
    {"stop-if-from", "WORDS", "do not forward mail whose From holds a word (empty: off)"},
    {"tls", "none|ssl|starttls",
     "POP3 over TLS: ssl from the first byte (port 995), starttls by STLS"},
    {"smtp-tls", "none|ssl|starttls",
     "SMTP over TLS: ssl from the first byte (port 465), starttls "
     "by STARTTLS (port 587)"},
    {"smtp-user", "TEXT", "SMTP AUTH user name, at most 72 bytes (empty: no AUTH)"},
    {"smtp-password", "TEXT", "SMTP AUTH password, at most 72 bytes"},
    {"smtp-auth-without-tls", nullptr, "allow SMTP AUTH on a connection without TLS"},
    {"no-smtp-auth-without-tls", nullptr, "SMTP AUTH only inside TLS (new hosts)"},
    {"accept-fingerprint", "SHA256",
     "trust the POP3 server's certificate with this SHA-256 (64 hex digits, colons allowed; "
     "empty: forget it)"},
    {"accept-smtp-fingerprint", "SHA256", "the same for the SMTP server's certificate"},
    {"pipelining", nullptr, "pipeline commands when the server offers it (new hosts)"},
    {"no-pipelining", nullptr, "send one command at a time"},
    {"uidl", nullptr,
     "skip known messages by their unique ids when the server offers them "
     "(new hosts)"},
    {"no-uidl", nullptr, "fetch every message at every check"},
};

// The secure connection settings into the form's extras; false with the
// refusal printed. A security chosen without a port moves a well-known port
// to the one that security uses.
bool ApplyExtrasOptions(const Call& call, HostForm* form) {
  HostExtrasForm extras = LoadHostExtrasForm(form->extras);
  auto security = [&](const char* name, int* position) {
    const std::string* v = call.Value(name);
    if (v == nullptr || ParseSecurityName(*v, position)) return true;
    RefuseOption(name, "none、ssl、starttls のいずれかを指定してください");
    return false;
  };
  auto fingerprint = [&](const char* name, std::string* raw) {
    const std::string* v = call.Value(name);
    if (v == nullptr) return true;
    if (v->empty()) {
      raw->clear();
      return true;
    }
    if (ParseFingerprint(*v, raw)) return true;
    RefuseOption(name,
                 "SHA-256 のフィンガープリントを16進数64桁で指定してください(コロン区切り可)");
    return false;
  };
  if (!security("tls", &extras.pop3_security) || !security("smtp-tls", &extras.smtp_security) ||
      !fingerprint("accept-fingerprint", &extras.pop3_fingerprint) ||
      !fingerprint("accept-smtp-fingerprint", &extras.smtp_fingerprint) ||
      !call.Cp932Value("smtp-user", &extras.smtp_user) ||
      !call.Cp932Value("smtp-password", &extras.smtp_password)) {
    return false;
  }
  if (call.Has("smtp-auth-without-tls")) extras.auth_without_tls = true;
  if (call.Has("no-smtp-auth-without-tls")) extras.auth_without_tls = false;
  FormCheck check = Validate(extras);
  if (!check.ok) {
    RefuseCheck(check);
    return false;
  }
  StoreHostExtrasForm(extras, &form->extras);
  const ConnectionSecurity pop3 = form->extras.pop3_security;
  if (call.Value("tls") != nullptr && call.Value("port") == nullptr &&
      (form->pop3_port == "110" || form->pop3_port == "995")) {
    form->pop3_port = pop3 == ConnectionSecurity::kTls ? "995" : "110";
  }
  const ConnectionSecurity smtp = form->extras.smtp_security;
  if (call.Value("smtp-tls") != nullptr && call.Value("smtp-port") == nullptr) {
    const std::string& port = form->smtp_port;
    if (smtp == ConnectionSecurity::kTls && (port == "25" || port == "587")) {
      form->smtp_port = "465";
    } else if (smtp == ConnectionSecurity::kStartTls && (port == "25" || port == "465")) {
      form->smtp_port = "587";
    } else if (smtp == ConnectionSecurity::kNone && port == "465") {
      form->smtp_port = "25";
    }
  }
  return true;
}

// Applies the options to the forms: texts converted to code page 932,
// numbers as typed. A word list sets its switch when not empty and clears
// it when empty. False when a text cannot be converted (refusal printed).
bool ApplyHostOptions(const Call& call, HostForm* form, ForwardRuleForm* rule) {
  bool ok = call.Cp932Value("name", &form->name) && call.Cp932Value("server", &form->server) &&
            call.Cp932Value("user", &form->user) && call.Cp932Value("password", &form->password) &&
            call.Cp932Value("notify", &form->notify_address) &&
            call.Cp932Value("smtp", &form->smtp_server) &&
            call.Cp932Value("prefix", &form->subject_prefix);
  auto words = [&](const char* name, std::string* list, bool* on) {
    if (call.Value(name) == nullptr) return true;
    if (!call.Cp932Value(name, list)) return false;
    *on = !list->empty();
    return true;
  };
  ok = ok && words("forward-if-subject", &rule->subject_forward, &rule->forward_if_subject) &&
       words("stop-if-subject", &rule->subject_stop, &rule->stop_if_subject) &&
       words("forward-if-from", &rule->from_forward, &rule->forward_if_from) &&
       words("stop-if-from", &rule->from_stop, &rule->stop_if_from);
  if (!ok) return false;
  // Numbers are ASCII digits or refused by the checks anyway.
  if (const std::string* v = call.Value("port")) form->pop3_port = *v;
  if (const std::string* v = call.Value("lines")) form->lines = *v;
  if (const std::string* v = call.Value("timeout")) form->timeout = *v;
  if (const std::string* v = call.Value("smtp-port")) form->smtp_port = *v;
  if (call.Has("apop")) form->apop = true;
  if (call.Has("no-apop")) form->apop = false;
  if (call.Has("check")) form->check = true;
  if (call.Has("no-check")) form->check = false;
  if (call.Has("forward")) form->forward = true;
  if (call.Has("no-forward")) form->forward = false;
  return true;
}

// The forwarding conditions dialog closes before the host settings dialog
// does, so its check comes first.
int CheckAndStore(const Call& call, HostEntry* entry) {
  HostForm form = LoadHostForm(*entry);
  ForwardRuleForm rule = LoadForwardRuleForm(entry->rule);
  if (!ApplyHostOptions(call, &form, &rule) || !ApplyExtrasOptions(call, &form)) {
    return kExitFailed;
  }
  FormCheck check = Validate(rule);
  if (!check.ok) return RefuseCheck(check);
  StoreForwardRuleForm(rule, &form.rule);
  check = Validate(form);
  if (!check.ok) return RefuseCheck(check);
  StoreHostForm(form, entry);
  // The protocol additions, on unless switched off.
  if (call.Has("pipelining")) entry->extras.SetOption(kExtraNoPipelining, false);
  if (call.Has("no-pipelining")) entry->extras.SetOption(kExtraNoPipelining, true);
  if (call.Has("uidl")) entry->extras.SetOption(kExtraNoUidl, false);
  if (call.Has("no-uidl")) entry->extras.SetOption(kExtraNoUidl, true);
  return kExitOk;
}

int RunHostAdd(const Call& call) {
  SettingsFile file;
  if (int code = file.Open(true); code != kExitOk) return code;
  HostEntry entry;
  if (int code = CheckAndStore(call, &entry); code != kExitOk) return code;
  if (!AppendHost(&file.hosts, entry, &file.messages)) return kExitFailed;
  return file.Save();
}

// Finds the host at the call's INDEX; prints why not.
bool FindHost(const Call& call, const SettingsFile& file, std::size_t* index) {
  if (ParseIndex(call.positional()[0], file.hosts.size(), index)) return true;
  ErrorLine(SyntaxText(Say::kNoHostAtIndex, call.positional()[0]), TextKind::kUtf8);
  return false;
}

int RunHostSet(const Call& call) {
  SettingsFile file;
  if (int code = file.Open(true); code != kExitOk) return code;
  std::size_t index = 0;
  if (!FindHost(call, file, &index)) return kExitFailed;
  HostEntry entry = file.hosts[index];
  if (int code = CheckAndStore(call, &entry); code != kExitOk) return code;
  file.hosts[index] = entry;
  return file.Save();
}

int RunHostRemove(const Call& call) {
  SettingsFile file;
  if (int code = file.Open(true); code != kExitOk) return code;
  std::size_t index = 0;
  if (!FindHost(call, file, &index)) return kExitFailed;
  RemoveHost(&file.hosts, index);
  return file.Save();
}

// ---- settings show | set -------------------------------------------------

std::string FieldText(const char* field, std::size_t size) {
  const void* nul = std::memchr(field, 0, size);
  return std::string(field, nul != nullptr ? static_cast<const char*>(nul) - field : size);
}

int RunSettingsShow(const Call&) {
  SettingsFile file;
  if (int code = file.Open(false); code != kExitOk) return code;
  const AppSettings& s = file.settings;
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
      {"font",
       TerminalText(FieldText(s.font.face_name, sizeof s.font.face_name), TextKind::kCp932)},
      {"font-height", std::to_string(s.font.height)},
      {"font-weight", std::to_string(s.font.weight)},
      {"font-charset", std::to_string(s.font.char_set)},
      {"colour", colour},
      {"quote", TerminalText(FieldText(s.quote, sizeof s.quote), TextKind::kCp932)},
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

const std::vector<OptionSpec> kSettingsOptions = {
    {"periodic", "1|0", "check the hosts periodically"},
    {"interval", "MINUTES", "how often, 3 or more"},
    {"no-check-at-start", "1|0", "no check right after tarnu.exe starts"},
    {"quote", "TEXT", "the quote mark of copied mail (at most 30 bytes)"},
    {"auto-open", "1|0", "open the result list when new mail arrives"},
    {"no-position-restore", "1|0", "do not restore the result list's position"},
    {"no-history-at-start", "1|0", "do not read the history at start-up"},
    {"font", "FACE", "the result list's font (at most 31 bytes)"},
    {"font-height", "N", "its height (LOGFONT lfHeight)"},
    {"font-weight", "N", "its weight, 0 to 1000"},
    {"font-charset", "N", "its character set, 0 to 255"},
    {"colour", "0xBBGGRR", "the text colour"},
};

// A switch: 1/on or 0/off; anything else is a usage error.
bool ParseSwitch(const Call& call, const char* name, bool* field, std::string* problem) {
  const std::string* v = call.Value(name);
  if (v == nullptr) return true;
  if (*v == "1" || *v == "on") {
    *field = true;
  } else if (*v == "0" || *v == "off") {
    *field = false;
  } else {
    *problem = SyntaxText(Say::kOneOf, std::string("--") + name, "1, 0");
    return false;
  }
  return true;
}

// A number of the font selection: checked with the dialogs' messages.
bool ParseNumber(const Call& call, const char* name, std::int64_t low, std::int64_t high,
                 std::int64_t* value, int* exit_code) {
  const std::string* v = call.Value(name);
  if (v == nullptr) return true;
  const std::string& text = *v;
  std::int64_t parsed = 0;
  bool ok;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
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
    *exit_code = RefuseOption(name, IntegerMessage());
    return false;
  }
  if (parsed < low || parsed > high) {
    *exit_code = RefuseOption(name, RangeMessage(low, high));
    return false;
  }
  *value = parsed;
  return true;
}

int RunSettingsSet(const Call& call) {
  SettingsFile file;
  if (int code = file.Open(true); code != kExitOk) return code;
  SettingsForm form = LoadSettingsForm(file.settings);
  std::string problem;
  if (!ParseSwitch(call, "periodic", &form.periodic_check, &problem) ||
      !ParseSwitch(call, "no-check-at-start", &form.no_check_at_start, &problem) ||
      !ParseSwitch(call, "auto-open", &form.auto_open, &problem) ||
      !ParseSwitch(call, "no-position-restore", &form.no_position_restore, &problem) ||
      !ParseSwitch(call, "no-history-at-start", &form.no_history_at_start, &problem)) {
    return UsageError(&call.verb(), problem);
  }
  if (const std::string* v = call.Value("interval")) form.interval = *v;
  if (!call.Cp932Value("quote", &form.quote)) return kExitFailed;
  FormCheck check = Validate(form);
  if (!check.ok) return RefuseCheck(check);

  // The font selection's values.
  constexpr std::int64_t kMin32 = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kMax32 = std::numeric_limits<std::int32_t>::max();
  std::int64_t height = form.font.height, weight = form.font.weight;
  std::int64_t charset = form.font.char_set, colour = form.font_colour;
  int code = kExitOk;
  if (!ParseNumber(call, "font-height", kMin32, kMax32, &height, &code) ||
      !ParseNumber(call, "font-weight", 0, 1000, &weight, &code) ||
      !ParseNumber(call, "font-charset", 0, 255, &charset, &code) ||
      !ParseNumber(call, "colour", 0, 0xFFFFFF, &colour, &code)) {
    return code;
  }
  std::string face;
  if (call.Value("font") != nullptr) {
    if (!call.Cp932Value("font", &face)) return kExitFailed;
    if (face.size() >= sizeof form.font.face_name) {
      return RefuseOption("font", LengthMessage(sizeof form.font.face_name - 1));
    }
    std::memset(form.font.face_name, 0, sizeof form.font.face_name);
    std::memcpy(form.font.face_name, face.data(), face.size());
  }
  form.font.height = static_cast<std::int32_t>(height);
  form.font.weight = static_cast<std::int32_t>(weight);
  form.font.char_set = static_cast<std::uint8_t>(charset);
  form.font_colour = static_cast<std::uint32_t>(colour);
  StoreSettingsForm(form, &file.settings);
  return file.Save();
}

}  // namespace

const VerbSpec kHostsVerb = {
    "hosts",
    "[options]",
    "lists the hosts of tarnu.pref",
    "One line per host: index, name, server, port, user, check, apop, forward\n"
    "(the last three 1 or 0), separated by tabs.",
    {},
    kDirOption | kEncodingOption,
    {},
    RunHosts};

const VerbSpec kHostAddVerb = {
    "host add",
    "--name TEXT --server HOST --user TEXT --password TEXT [options]",
    "adds a host at the end of tarnu.pref",
    "The values pass the checks of the host settings dialog; a refusal names the\n"
    "option and leaves the file as it was. Without --password or --password-stdin\n"
    "the password is asked for on the terminal.",
    kHostOptions,
    kDirOption | kEncodingOption | kInputOption,
    {},
    RunHostAdd,
    true};

const VerbSpec kHostSetVerb = {
    "host set",
    "INDEX [options]",
    "changes the host at INDEX (see tarnu-cli hosts)",
    "Options not given keep their values. The values pass the checks of the host\n"
    "settings dialog; a refusal names the option and leaves the file as it was.",
    kHostOptions,
    kDirOption | kEncodingOption | kInputOption,
    {"INDEX"},
    RunHostSet};

const VerbSpec kHostRemoveVerb = {"host remove",
                                  "INDEX [options]",
                                  "removes the host at INDEX",
                                  "",
                                  {},
                                  kDirOption | kEncodingOption,
                                  {"INDEX"},
                                  RunHostRemove};

const VerbSpec kSettingsShowVerb = {"settings show",
                                    "[options]",
                                    "prints the program settings of tarnu.pref",
                                    "One line per setting: its name, a tab, its value.",
                                    {},
                                    kDirOption | kEncodingOption,
                                    {},
                                    RunSettingsShow};

const VerbSpec kSettingsSetVerb = {
    "settings set",
    "[options]",
    "changes program settings in tarnu.pref",
    "The values pass the checks of the basic settings dialog; a refusal names the\n"
    "option and leaves the file as it was.",
    kSettingsOptions,
    kDirOption | kEncodingOption | kInputOption,
    {},
    RunSettingsSet};

}  // namespace tarnu::cli
