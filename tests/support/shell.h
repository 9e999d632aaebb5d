// Running helper programs (Python oracles, the server scripts) from tests.
#ifndef TARNU_TESTS_SUPPORT_SHELL_H_
#define TARNU_TESTS_SUPPORT_SHELL_H_

#include <string>

namespace tarnu::testing {

// Runs `command` with /bin/sh; returns its standard output and puts its exit
// status (-1 when it did not exit normally) in `status`.
std::string RunCommand(const std::string& command, int* status);

// `text` quoted for the shell.
std::string ShellQuote(const std::string& text);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_SHELL_H_
