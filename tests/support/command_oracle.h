// Runs an outside program (python3, nkf, iconv) as a test oracle.
#ifndef TARNU_TESTS_SUPPORT_COMMAND_ORACLE_H_
#define TARNU_TESTS_SUPPORT_COMMAND_ORACLE_H_

#include <string>

namespace tarnu::testing {

// Runs `command` through the shell with `input` on its standard input and
// returns its standard output; false when it could not run or failed.
bool PipeThrough(const std::string& command, const std::string& input, std::string* output);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_COMMAND_ORACLE_H_
