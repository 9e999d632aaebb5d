// Runs an outside program as a filter (the oracles iconv, nkf, base64 and
// python3, and tarnu-cli itself): bytes in on standard input, bytes out.
#ifndef TARNU_TESTS_CODEC_FILTER_PROCESS_H_
#define TARNU_TESTS_CODEC_FILTER_PROCESS_H_

#include <string>

namespace tarnu::testing {

// True when `path` names an executable this platform can run through the
// shell (never under Windows, where the Linux tools are not reachable).
bool ToolAvailable(const std::string& path);

// Runs `command` through the shell with `input` on its standard input and
// returns its standard output. `exit_code` (optional) gets its exit status;
// standard error is passed through.
std::string RunFilter(const std::string& command, const std::string& input,
                      int* exit_code = nullptr);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_CODEC_FILTER_PROCESS_H_
