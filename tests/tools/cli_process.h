// tarnu-cli run as a separate process, as a user or a script runs it: its
// arguments, environment and standard input set by the test, its exit code
// and both output streams kept apart. The locale variables are cleared
// unless the test sets them, so messages are English and arguments UTF-8.
#ifndef TARNU_TESTS_TOOLS_CLI_PROCESS_H_
#define TARNU_TESTS_TOOLS_CLI_PROCESS_H_

#include <sys/types.h>

#include <map>
#include <string>
#include <vector>

namespace tarnu::testing {

struct CliRun {
  int status = -1;  // the exit code; -1 when the process did not exit
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

struct CliSetup {
  std::map<std::string, std::string> env;  // set in the child's environment
  std::string input;                       // its standard input
  // A program that runs tarnu-cli (the arguments up to where tarnu-cli's
  // own path goes), such as a private D-Bus session.
  std::vector<std::string> wrapper;
  // Standard error on a terminal (a pseudo-terminal the test reads).
  bool error_on_terminal = false;
};

// A tarnu-cli process that runs while the test goes on.
class CliProcess {
 public:
  CliProcess(const std::vector<std::string>& args, const CliSetup& setup = {});
  ~CliProcess();  // kills and reaps a process still running
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  pid_t pid() const { return pid_; }
  // Its standard error so far.
  std::string ErrorSoFar() const;
  std::string OutputSoFar() const;
  // Waits for the end (at most `seconds`; then kills it).
  CliRun Wait(int seconds = 120);

 private:
  pid_t pid_ = -1;
  std::string out_path_;
  std::string err_path_;
  std::string in_path_;
  int terminal_ = -1;  // the pseudo-terminal's master side
};

// Runs tarnu-cli (the TARNU_CLI program) to its end.
CliRun Cli(const std::vector<std::string>& args, const CliSetup& setup = {});

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_TOOLS_CLI_PROCESS_H_
