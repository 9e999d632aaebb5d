// Where tarnu-cli takes a password from besides --password, which every
// local user can read in the process list: the first line of standard input
// (--password-stdin), or a question on the terminal with the typing hidden.
#ifndef TARNU_TOOLS_TARNU_CLI_PASSWORD_INPUT_H_
#define TARNU_TOOLS_TARNU_CLI_PASSWORD_INPUT_H_

#include <string>

namespace tarnu::cli {

// The first line of standard input without its line end; false when
// nothing could be read (not even an empty line).
bool ReadPasswordLine(std::string* password);

// Whether standard input is a terminal a person types on.
bool InputIsTerminal();

// Shows `prompt` on standard error and reads a line from the terminal
// without showing what is typed. False when it cannot be read.
bool AskPassword(const std::string& prompt, std::string* password);

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_PASSWORD_INPUT_H_
