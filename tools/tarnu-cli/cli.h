// The console front end: shared helpers of the verbs.
#ifndef TARNU_TOOLS_TARNU_CLI_CLI_H_
#define TARNU_TOOLS_TARNU_CLI_CLI_H_

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarnu::cli {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// A verb: its name, its usage line and its handler. Handlers get the
// arguments after the verb and return the exit code.
struct Verb {
  const char* name;
  const char* usage;
  int (*run)(const std::vector<std::string>& args);
};

// Standard streams in binary mode, bytes in and bytes out.
std::string ReadAllInput();
void WriteOutput(std::string_view bytes);
void WriteError(std::string_view bytes);

// Where a field's text comes from: tarnu and its settings (code page 932),
// or mail (UTF-8).
enum class TextSource { kCp932, kMail };

// A field for the fixed output format: backslash, tab, CR and LF escaped;
// UTF-8, or code page 932 with `raw_cp932` (mail text then has the geta mark
// for what code page 932 cannot hold).
std::string FormatField(std::string_view text, bool raw_cp932,
                        TextSource source = TextSource::kCp932);

// Whole mail text (a retrieved message) in the output encoding, unescaped.
std::string MailOutput(std::string_view utf8, bool raw_cp932);

// Options of the form --name value and --flag. `value_options` lists the
// names that take a value; everything else must be in `flag_options`.
// Returns false (with `error` set) on an unknown option or a missing value.
struct ParsedOptions {
  std::map<std::string, std::string> values;
  std::vector<std::string> flags;
  std::vector<std::string> positional;
  bool Has(const std::string& flag) const;
  const std::string* Get(const std::string& name) const;
};
bool ParseOptions(const std::vector<std::string>& args,
                  const std::vector<std::string>& value_options,
                  const std::vector<std::string>& flag_options, ParsedOptions* parsed,
                  std::string* error);

// Prints the usage of `verb` (or of every verb) to standard error; returns
// kExitUsage.
int UsageError(const char* verb, std::string_view problem);

// The verbs of each group, defined in their own files.
extern const std::vector<Verb>& AllVerbs();

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_CLI_H_
