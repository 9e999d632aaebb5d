#include "tests/support/command_oracle.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tarnu::testing {

bool PipeThrough(const std::string& command, const std::string& input, std::string* output) {
  output->clear();
#ifdef _WIN32
  (void)command;
  (void)input;
  return false;
#else
  char path[] = "/tmp/tarnu-oracle-XXXXXX";
  const int fd = ::mkstemp(path);
  if (fd < 0) return false;
  ::close(fd);
  {
    std::ofstream file(path, std::ios::binary);
    file.write(input.data(), static_cast<std::streamsize>(input.size()));
  }
  const std::string line = "(" + command + ") < '" + path + "'";
  FILE* pipe = ::popen(line.c_str(), "r");
  if (pipe == nullptr) {
    std::remove(path);
    return false;
  }
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output->append(buffer, n);
  const int status = ::pclose(pipe);
  std::remove(path);
  return status == 0;
#endif
}

}  // namespace tarnu::testing
