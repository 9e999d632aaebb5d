// The console front end: exit codes and the way every text reaches the
// terminal.
#ifndef TARNU_TOOLS_TARNU_CLI_CLI_H_
#define TARNU_TOOLS_TARNU_CLI_CLI_H_

#include <string>
#include <string_view>

namespace tarnu::cli {

// Exit codes, the same for every verb (the README lists them).
inline constexpr int kExitOk = 0;
// A value refused, a host that failed, a file that could not be read or
// saved: the reason is on standard error.
inline constexpr int kExitFailed = 1;
inline constexpr int kExitRefused = kExitFailed;
// The command line itself is wrong; the usage is on standard error.
inline constexpr int kExitUsage = 2;
// Another tarnu-cli or tarnu.exe kept the data folder's lock: nothing was
// changed, and trying again later will do.
inline constexpr int kExitBusy = 3;

// Where a text comes from, which decides how it is converted for the
// terminal.
enum class TextKind {
  kCp932,  // tarnu.pref's texts and the program's own messages
  kMail,   // mail text, decoded to UTF-8 (headers, excerpts, whole messages)
  kUtf8,   // the command line and tarnu-cli's own messages
};

// Any text as UTF-8, for what is not the terminal (desktop notifications).
// The one place that knows each kind's encoding.
std::string ToUtf8(std::string_view text, TextKind kind);

// --encoding cp932 writes code page 932 bytes instead of UTF-8.
void SetRawOutput(bool raw_cp932);
bool RawOutput();

// Every text printed on the terminal passes here: converted to the output
// encoding, with backslash, tab, CR and LF escaped so that one field stays
// one field and one line one line, and every other control character and
// DEL written "\xNN" so that no text can command the terminal.
std::string TerminalText(std::string_view text, TextKind kind);
// The same conversion for a whole message printed as it stands (retrieve):
// its line ends and tabs stay, only the other control characters and DEL
// are written "\xNN".
std::string TerminalBlock(std::string_view text, TextKind kind);

// Standard streams, bytes as they are.
std::string ReadAllInput();
void WriteOutput(std::string_view bytes);
void WriteError(std::string_view bytes);

// One line on standard error.
void ErrorLine(std::string_view text, TextKind kind);

// The refusal of one option's value: "--name: message" on standard error;
// returns kExitFailed. `message` is the dialogs' code page 932 text.
int RefuseOption(std::string_view option, std::string_view cp932_message);

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_CLI_H_
