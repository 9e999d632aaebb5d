#include "tests/codec/filter_process.h"

#include <cstdio>
#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace tarnu::testing {

bool ToolAvailable(const std::string& path) {
#ifdef _WIN32
  (void)path;
  return false;
#else
  return access(path.c_str(), X_OK) == 0;
#endif
}

std::string RunFilter(const std::string& command, const std::string& input, int* exit_code) {
  std::string output;
  if (exit_code != nullptr) *exit_code = -1;
#ifdef _WIN32
  (void)command;
  (void)input;
#else
  char path[] = "/tmp/tarnu-filter-XXXXXX";
  int fd = mkstemp(path);
  if (fd < 0) return output;
  std::size_t written = 0;
  while (written < input.size()) {
    ssize_t n = write(fd, input.data() + written, input.size() - written);
    if (n <= 0) break;
    written += static_cast<std::size_t>(n);
  }
  close(fd);
  std::string full = command + " < '" + path + "'";
  FILE* pipe = popen(full.c_str(), "r");
  if (pipe != nullptr) {
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
    int status = pclose(pipe);
    if (exit_code != nullptr && WIFEXITED(status)) *exit_code = WEXITSTATUS(status);
  }
  unlink(path);
#endif
  return output;
}

}  // namespace tarnu::testing
