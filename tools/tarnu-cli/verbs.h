// The verbs of tarnu-cli and their options, declared as tables: the
// parser, the help texts and the usage errors all come from them.
//
// To add an option: put an OptionSpec row into the verb's table (or into a
// shared group such as kAccountOptions), then read it in the handler with
// call.Has("name"), call.Value("name") or call.Cp932Value("name", &text).
#ifndef TARNU_TOOLS_TARNU_CLI_VERBS_H_
#define TARNU_TOOLS_TARNU_CLI_VERBS_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu::cli {

struct OptionSpec {
  const char* name;        // without the leading "--"
  const char* value_name;  // "N", "TEXT"...; nullptr for a flag
  const char* help;        // one line for --help
  bool required = false;   // a usage error when missing
};

// Options many verbs share, handled before the verb runs.
enum CommonOptions : unsigned {
  kNoCommon = 0,
  kDirOption = 1,       // --dir DIR: the folder of tarnu.pref and tarnu.hist.pref
  kEncodingOption = 2,  // --encoding cp932|utf-8: the output's encoding
  kInputOption = 4,     // --input-encoding NAME: the command line's encoding
};

class Call;

struct VerbSpec {
  const char* name;      // "check", or two words: "host add"
  const char* synopsis;  // what follows the name in the usage line
  const char* summary;   // one line for the list of verbs
  const char* details;   // more lines for --help; may be empty
  std::vector<OptionSpec> options;
  unsigned common = kNoCommon;
  // The positional arguments: their names ("INDEX"), all required.
  std::vector<const char*> positional;
  int (*run)(const Call& call);
  // A --password left out is asked for when standard input is a terminal
  // (always so for a required --password).
  bool asks_password = false;
};

// One run of a verb: its options and arguments, values as UTF-8.
class Call {
 public:
  explicit Call(const VerbSpec& verb) : verb_(&verb) {}

  const VerbSpec& verb() const { return *verb_; }
  bool Has(std::string_view flag) const;
  // The value (UTF-8), or nullptr when the option was not given.
  const std::string* Value(std::string_view name) const;
  // The value in code page 932. False (with the refusal printed, naming the
  // option and the character) for a character code page 932 cannot hold;
  // true with `cp932` untouched when the option was not given.
  bool Cp932Value(std::string_view name, std::string* cp932) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  friend int RunVerbLine(const std::vector<std::string>& args);
  const VerbSpec* verb_;
  std::map<std::string, std::string, std::less<>> values_;
  std::vector<std::string> flags_;
  std::vector<std::string> positional_;
};

// The verbs, in the order the help lists them.
const std::vector<const VerbSpec*>& AllVerbs();

// Each group's verbs, defined beside their handlers.
extern const VerbSpec kCheckVerb;
extern const VerbSpec kWatchVerb;
extern const VerbSpec kHostsVerb;
extern const VerbSpec kHostAddVerb;
extern const VerbSpec kHostSetVerb;
extern const VerbSpec kHostRemoveVerb;
extern const VerbSpec kSettingsShowVerb;
extern const VerbSpec kSettingsSetVerb;
extern const VerbSpec kSurveyVerb;
extern const VerbSpec kRetrieveVerb;
extern const std::vector<VerbSpec> kCodecVerbs;

// The whole command line after the program name, arguments already UTF-8
// (Windows) or still in the input encoding (elsewhere): help, version,
// usage errors and the verb's own exit code.
int RunVerbLine(const std::vector<std::string>& args);

// The usage error of `verb` (or of the program when nullptr): the problem,
// the usage line and where to read more, on standard error. Returns
// kExitUsage.
int UsageError(const VerbSpec* verb, const std::string& problem_utf8);

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_VERBS_H_
