#include "tests/support/shell.h"

#include <sys/wait.h>

#include <cstdio>

namespace tarnu::testing {

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) {
    *status = -1;
    return output;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  int raw = ::pclose(pipe);
  *status = (raw != -1 && WIFEXITED(raw)) ? WEXITSTATUS(raw) : -1;
  return output;
}

}  // namespace tarnu::testing
