#include "tests/tools/cli_process.h"

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace tarnu::testing {
namespace {

std::string TempPath(const char* what) {
  std::string path = "/tmp/tarnu-cli-" + std::string(what) + ".XXXXXX";
  int fd = ::mkstemp(path.data());
  if (fd >= 0) ::close(fd);
  return path;
}

std::string ReadAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

}  // namespace

CliProcess::CliProcess(const std::vector<std::string>& args, const CliSetup& setup) {
  const char* cli = std::getenv("TARNU_CLI");
  if (cli == nullptr) return;
  out_path_ = TempPath("out");
  err_path_ = TempPath("err");
  in_path_ = TempPath("in");
  std::ofstream(in_path_, std::ios::binary) << setup.input;
  std::vector<std::string> argv_text = setup.wrapper;
  argv_text.push_back(cli);
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  int terminal_side = -1;
  if (setup.error_on_terminal &&
      ::openpty(&terminal_, &terminal_side, nullptr, nullptr, nullptr) != 0) {
    terminal_ = -1;
  }
  pid_ = ::fork();
  if (pid_ != 0) {
    if (terminal_side >= 0) ::close(terminal_side);
    return;
  }
  // The child: only async-signal-safe work would be strictly right after a
  // fork in a threaded program; the tests start their servers as separate
  // processes, so plain library calls are fine here.
  for (const char* name : {"LANG", "LANGUAGE", "LC_ALL", "LC_MESSAGES", "LC_CTYPE"}) {
    ::unsetenv(name);
  }
  for (const auto& [name, value] : setup.env) ::setenv(name.c_str(), value.c_str(), 1);
  int in = ::open(in_path_.c_str(), O_RDONLY);
  int out = ::open(out_path_.c_str(), O_WRONLY | O_TRUNC);
  int err = ::open(err_path_.c_str(), O_WRONLY | O_TRUNC);
  ::dup2(in, 0);
  ::dup2(out, 1);
  ::dup2(terminal_side >= 0 ? terminal_side : err, 2);
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);
  ::execvp(argv[0], argv.data());
  ::_exit(127);
}

CliProcess::~CliProcess() {
  if (terminal_ >= 0) ::close(terminal_);
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  for (const std::string& path : {out_path_, err_path_, in_path_}) {
    if (!path.empty()) std::remove(path.c_str());
  }
}

std::string CliProcess::ErrorSoFar() const { return ReadAll(err_path_); }
std::string CliProcess::OutputSoFar() const { return ReadAll(out_path_); }

CliRun CliProcess::Wait(int seconds) {
  CliRun run;
  if (pid_ <= 0) {
    run.err = "TARNU_CLI is not set";
    return run;
  }
  int status = 0;
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= end) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  pid_ = -1;
  if (terminal_ >= 0) {
    // What the terminal received; the read ends (EIO) once it is drained.
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(terminal_, buffer, sizeof buffer)) > 0) run.err.append(buffer, n);
    ::close(terminal_);
    terminal_ = -1;
  }
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  run.out = ReadAll(out_path_);
  run.err += ReadAll(err_path_);
  return run;
}

CliRun Cli(const std::vector<std::string>& args, const CliSetup& setup) {
  return CliProcess(args, setup).Wait();
}

}  // namespace tarnu::testing
