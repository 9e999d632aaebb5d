// tarnu-cli's own messages about the command line, in Japanese when the
// user's locale is Japanese and in English otherwise. The texts are UTF-8.
#ifndef TARNU_TOOLS_TARNU_CLI_SYNTAX_TEXT_H_
#define TARNU_TOOLS_TARNU_CLI_SYNTAX_TEXT_H_

#include <string>
#include <string_view>

namespace tarnu::cli {

enum class Say {
  kNoVerb,               // (no argument)
  kUnknownVerb,          // %1 the verb
  kUnknownAction,        // %1 the verb, %2 the action, %3 the actions
  kUnknownOption,        // %1 the option
  kNeedsValue,           // %1 the option
  kTakesNoValue,         // %1 the option
  kUnexpected,           // %1 the argument
  kMissing,              // %1 what is missing (INDEX)
  kRequired,             // %1 the option
  kOneOf,                // %1 the option, %2 the choices
  kNoSuchFolder,         // %1 the option, %2 the folder
  kNotValidText,         // %1 the option, %2 the encoding
  kUnknownEncoding,      // %1 the option, %2 the encoding
  kNotInCodePage932,     // %1 the option, %2 the character, %3 U+XXXX
  kNoHostAtIndex,        // %1 the index
  kSeeHelp,              // %1 the verb
  kNoSettingsFile,       // %1 the file
  kNoHostToCheck,        // (no argument)
  kMessageCount,         // %1 the number of messages
  kNewMailSummary,       // %1 the number of new messages
  kMoreNewMail,          // %1 the number not listed
  kHostFailed,           // %1 the host, %2 the error
  kBusy,                 // %1 the lock file
  kCheckRunning,         // %1 the lock file
  kLockFailed,           // %1 the lock file
  kStopping,             // (no argument)
  kPasswordTwice,        // (no argument)
  kNoPasswordInput,      // (no argument)
  kPasswordPrompt,       // (no argument)
  kNotificationsAbsent,  // (no argument)
};

// Japanese when LC_ALL, LC_MESSAGES or LANG (the first one set) names a
// Japanese locale; on Windows when the user interface language is Japanese.
bool JapaneseLocale();

// The text with %1, %2, %3 replaced.
std::string SyntaxText(Say what, std::string_view arg1 = {}, std::string_view arg2 = {},
                       std::string_view arg3 = {});

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_SYNTAX_TEXT_H_
