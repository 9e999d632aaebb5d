#include "tools/tarnu-cli/verbs.h"

#include <algorithm>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

#include "model/data_files.h"
#include "tarnu_version.h"
#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/input_text.h"
#include "tools/tarnu-cli/password_input.h"
#include "tools/tarnu-cli/syntax_text.h"

namespace tarnu::cli {
namespace {

const OptionSpec kDirSpec = {"dir", "DIR",
                             "the folder of tarnu's files (default: the current one)"};
const OptionSpec kEncodingSpec = {"encoding", "cp932|utf-8",
                                  "the encoding printed (default: utf-8)"};
const OptionSpec kInputSpec = {"input-encoding", "NAME",
                               "the arguments' encoding (default: the locale's)"};
const OptionSpec kHelpSpec = {"help", nullptr, "this text"};

// Every option a verb takes, its own first.
std::vector<OptionSpec> OptionsOf(const VerbSpec& verb) {
  std::vector<OptionSpec> all = verb.options;
  if (verb.common & kDirOption) all.push_back(kDirSpec);
  if (verb.common & kEncodingOption) all.push_back(kEncodingSpec);
  if (verb.common & kInputOption) all.push_back(kInputSpec);
  all.push_back(kHelpSpec);
  return all;
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h"; }

std::string UsageLine(const VerbSpec& verb) {
  std::string line = "tarnu-cli " + std::string(verb.name);
  if (verb.synopsis[0] != '\0') line += " " + std::string(verb.synopsis);
  return line;
}

std::string VerbHelp(const VerbSpec& verb) {
  std::string text = "usage: " + UsageLine(verb) + "\n\n" + verb.summary + "\n";
  if (verb.details[0] != '\0') text += verb.details + std::string("\n");
  text += "\noptions:\n";
  for (const OptionSpec& option : OptionsOf(verb)) {
    std::string left = "  --" + std::string(option.name);
    if (option.value_name != nullptr) left += " " + std::string(option.value_name);
    left += "  ";
    if (left.size() < 30) left.resize(30, ' ');
    text += left + option.help + (option.required ? " (required)" : "") + "\n";
  }
  return text;
}

std::string ProgramHelp() {
  std::string text =
      "tarnu-cli " TARNU_VERSION_TEXT
      ": the console front end of tarnu, a POP3 mail watcher that never deletes\n"
      "or marks a message.\n\n"
      "usage: tarnu-cli VERB [options]       (tarnu-cli VERB --help: the verb's options)\n"
      "       tarnu-cli --version\n\nverbs:\n";
  for (const VerbSpec* verb : AllVerbs()) {
    std::string left = "  " + std::string(verb->name) + "  ";
    if (left.size() < 19) left.resize(19, ' ');
    text += left + verb->summary + "\n";
  }
  text +=
      "\nexit codes:\n"
      "  0  done (check: every host answered)\n"
      "  1  a value refused, a host that failed, a file that could not be read or saved\n"
      "     (the reason is on standard error)\n"
      "  2  the command line is wrong (the usage is on standard error)\n"
      "  3  another tarnu-cli or tarnu.exe was changing the files: nothing was changed,\n"
      "     try again\n\n"
      "tarnu.pref and tarnu.hist.pref are read and written in the current directory, or\n"
      "in --dir DIR. Text is printed as UTF-8 (--encoding cp932: code page 932); in a\n"
      "field a backslash is printed \\\\, a tab \\t, CR \\r and LF \\n.\n";
  return text;
}

std::vector<const VerbSpec*> VerbsNamed(const std::string& first) {
  std::vector<const VerbSpec*> found;
  for (const VerbSpec* verb : AllVerbs()) {
    std::string_view name = verb->name;
    if (name == first || (name.size() > first.size() && name.compare(0, first.size(), first) == 0 &&
                          name[first.size()] == ' ')) {
      found.push_back(verb);
    }
  }
  return found;
}

std::string ActionsOf(const std::vector<const VerbSpec*>& group, const std::string& first) {
  std::string actions;
  for (const VerbSpec* verb : group) {
    if (!actions.empty()) actions += ", ";
    actions += std::string(verb->name).substr(first.size() + 1);
  }
  return actions;
}

const OptionSpec* FindOption(const std::vector<OptionSpec>& options, std::string_view name) {
  for (const OptionSpec& option : options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// --help or -h where an option stands, not as the value of one ("--password
// -h" is a password), asks for the verb's help whatever else is wrong.
bool AsksForHelp(const std::vector<std::string>& args, const std::vector<OptionSpec>& options) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (IsHelp(arg)) return true;
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0 && arg.find('=') == std::string::npos) {
      const OptionSpec* option = FindOption(options, std::string_view(arg).substr(2));
      if (option != nullptr && option->value_name != nullptr) ++i;  // its value
    }
  }
  return false;
}

int GroupUsageError(const std::vector<const VerbSpec*>& group, const std::string& problem) {
  std::string text = TerminalText("tarnu-cli: " + problem, TextKind::kUtf8) + "\n";
  for (const VerbSpec* each : group) text += "usage: " + UsageLine(*each) + "\n";
  WriteError(text);
  return kExitUsage;
}

bool IsFolder(const std::string& path) {
#ifdef _WIN32
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

}  // namespace

bool Call::Has(std::string_view flag) const {
  return std::find(flags_.begin(), flags_.end(), flag) != flags_.end();
}

const std::string* Call::Value(std::string_view name) const {
  auto it = values_.find(name);
  return it == values_.end() ? nullptr : &it->second;
}

bool Call::Cp932Value(std::string_view name, std::string* cp932) const {
  const std::string* value = Value(name);
  if (value == nullptr) return true;
  std::string converted, character, code;
  if (!ToCodePage932(*value, &converted, &character, &code)) {
    ErrorLine(SyntaxText(Say::kNotInCodePage932, "--" + std::string(name), character, code),
              TextKind::kUtf8);
    return false;
  }
  *cp932 = std::move(converted);
  return true;
}

const std::vector<const VerbSpec*>& AllVerbs() {
  static const std::vector<const VerbSpec*> verbs = [] {
    std::vector<const VerbSpec*> all = {
        &kCheckVerb,      &kWatchVerb,        &kHostsVerb,       &kHostAddVerb, &kHostSetVerb,
        &kHostRemoveVerb, &kSettingsShowVerb, &kSettingsSetVerb, &kSurveyVerb,  &kRetrieveVerb,
    };
    for (const VerbSpec& verb : kCodecVerbs) all.push_back(&verb);
    return all;
  }();
  return verbs;
}

int UsageError(const VerbSpec* verb, const std::string& problem_utf8) {
  std::string text = TerminalText("tarnu-cli: " + problem_utf8, TextKind::kUtf8) + "\n";
  if (verb != nullptr) {
    text += "usage: " + UsageLine(*verb) + "\n" +
            TerminalText(SyntaxText(Say::kSeeHelp, verb->name), TextKind::kUtf8) + "\n";
  } else {
    text += "usage: tarnu-cli VERB [options]\n" +
            TerminalText(SyntaxText(Say::kSeeHelp, "VERB"), TextKind::kUtf8) + "\n";
  }
  WriteError(text);
  return kExitUsage;
}

int RunVerbLine(const std::vector<std::string>& args) {
  if (args.empty()) return UsageError(nullptr, SyntaxText(Say::kNoVerb));
  const std::string& first = args[0];
  if (first == "--version") {
    WriteOutput("tarnu-cli version " TARNU_VERSION_TEXT "\n");
    return kExitOk;
  }
  std::vector<std::string> rest(args.begin() + 1, args.end());
  bool help = IsHelp(first) || first == "help";
  if (help) {
    if (rest.empty() || IsHelp(rest[0])) {
      WriteOutput(ProgramHelp());
      return kExitOk;
    }
    // "help host add": the help of what follows.
    std::vector<std::string> topic = rest;
    topic.push_back("--help");
    return RunVerbLine(topic);
  }

  std::vector<const VerbSpec*> group = VerbsNamed(first);
  if (group.empty()) return UsageError(nullptr, SyntaxText(Say::kUnknownVerb, first));
  const VerbSpec* verb = nullptr;
  if (group.size() == 1 && first == group[0]->name) {
    verb = group[0];
  } else {
    if (rest.empty()) {
      return GroupUsageError(group, SyntaxText(Say::kMissing, ActionsOf(group, first)));
    }
    if (IsHelp(rest[0])) {
      std::string text;
      for (const VerbSpec* each : group) {
        text += VerbHelp(*each) + (each != group.back() ? "\n" : "");
      }
      WriteOutput(text);
      return kExitOk;
    }
    for (const VerbSpec* each : group) {
      if (first + " " + rest[0] == each->name) verb = each;
    }
    if (verb == nullptr) {
      return GroupUsageError(
          group, SyntaxText(Say::kUnknownAction, first, rest[0], ActionsOf(group, first)));
    }
    rest.erase(rest.begin());
  }
  // The options as typed.
  const std::vector<OptionSpec> options = OptionsOf(*verb);
  if (AsksForHelp(rest, options)) {
    WriteOutput(VerbHelp(*verb));
    return kExitOk;
  }
  Call call(*verb);
  for (std::size_t i = 0; i < rest.size(); ++i) {
    const std::string& arg = rest[i];
    if (arg.size() <= 2 || arg.compare(0, 2, "--") != 0) {
      call.positional_.push_back(arg);
      continue;
    }
    const std::size_t equals = arg.find('=');
    const std::string name =
        arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
    const OptionSpec* option = FindOption(options, name);
    if (option == nullptr) {
      return UsageError(verb, SyntaxText(Say::kUnknownOption, "--" + name));
    }
    if (option->value_name == nullptr) {
      if (equals != std::string::npos) {
        return UsageError(verb, SyntaxText(Say::kTakesNoValue, "--" + name));
      }
      call.flags_.push_back(name);
    } else if (equals != std::string::npos) {
      call.values_[name] = arg.substr(equals + 1);
    } else if (i + 1 < rest.size()) {
      call.values_[name] = rest[++i];
    } else {
      return UsageError(verb, SyntaxText(Say::kNeedsValue, "--" + name));
    }
  }
  if (call.positional_.size() > verb->positional.size()) {
    return UsageError(verb,
                      SyntaxText(Say::kUnexpected, call.positional_[verb->positional.size()]));
  }
  if (call.positional_.size() < verb->positional.size()) {
    return UsageError(verb, SyntaxText(Say::kMissing, verb->positional[call.positional_.size()]));
  }
  // A password typed on the command line stands in the process list for
  // every local user to read; it can come from standard input or be asked
  // for instead.
  if (const OptionSpec* password = FindOption(options, "password")) {
    const bool from_input = call.Has("password-stdin");
    if (from_input && call.Value("password") != nullptr) {
      return UsageError(verb, SyntaxText(Say::kPasswordTwice));
    }
    std::string typed;
    if (from_input) {
      if (!ReadPasswordLine(&typed)) {
        ErrorLine(SyntaxText(Say::kNoPasswordInput), TextKind::kUtf8);
        return kExitFailed;
      }
      call.values_["password"] = typed;
    } else if ((password->required || verb->asks_password) && call.Value("password") == nullptr &&
               InputIsTerminal()) {
      if (!AskPassword(SyntaxText(Say::kPasswordPrompt), &typed)) return kExitFailed;
      call.values_["password"] = typed;
    }
  }
  for (const OptionSpec& option : options) {
    if (option.required && call.Value(option.name) == nullptr) {
      return UsageError(verb, SyntaxText(Say::kRequired, "--" + std::string(option.name)));
    }
  }

  // The output's encoding, before anything is printed in it.
  if (const std::string* encoding = call.Value("encoding")) {
    if (*encoding != "cp932" && *encoding != "utf-8" && *encoding != "utf8") {
      return UsageError(verb, SyntaxText(Say::kOneOf, "--encoding", "cp932, utf-8"));
    }
    SetRawOutput(*encoding == "cp932");
  }

  // The folder, as the file functions want its name: the bytes as typed
  // (POSIX), the ANSI code page (Windows).
  if (const std::string* dir = call.Value("dir")) {
    std::string path = *dir;
#ifdef _WIN32
    if (!Utf8ToAnsiPath(*dir, &path)) path.clear();
#endif
    if (path.empty() || !IsFolder(path)) {
      return UsageError(verb, SyntaxText(Say::kNoSuchFolder, "--dir", *dir));
    }
    SetDataDirectory(path);
  }

  // Every other value as UTF-8.
  InputEncoding input;
  if (!ChooseInputEncoding(call.Value("input-encoding"), &input)) {
    return UsageError(
        verb, SyntaxText(Say::kUnknownEncoding, "--input-encoding", *call.Value("input-encoding")));
  }
  for (auto& [name, value] : call.values_) {
    if (name == "dir" || name == "encoding" || name == "input-encoding") continue;
    std::string utf8;
    if (!DecodeArgument(value, input, &utf8)) {
      ErrorLine(SyntaxText(Say::kNotValidText, "--" + name, input.name), TextKind::kUtf8);
      return kExitFailed;
    }
    value = std::move(utf8);
  }
  for (std::size_t i = 0; i < call.positional_.size(); ++i) {
    std::string& value = call.positional_[i];
    std::string utf8;
    if (!DecodeArgument(value, input, &utf8)) {
      ErrorLine(SyntaxText(Say::kNotValidText, verb->positional[i], input.name), TextKind::kUtf8);
      return kExitFailed;
    }
    value = std::move(utf8);
  }
  return verb->run(call);
}

}  // namespace tarnu::cli
