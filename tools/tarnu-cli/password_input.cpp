#include "tools/tarnu-cli/password_input.h"

#include <cstdio>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

#include "tools/tarnu-cli/cli.h"

namespace tarnu::cli {
namespace {

// Longer than any password a host record holds; the rest of a longer line
// is read and dropped.
constexpr std::size_t kLongestLine = 4096;

bool ReadLine(std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = std::getc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line->size() < kLongestLine) *line += static_cast<char>(c);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  return any;
}

}  // namespace

bool ReadPasswordLine(std::string* password) { return ReadLine(password); }

bool InputIsTerminal() {
#ifdef _WIN32
  return _isatty(_fileno(stdin)) != 0;
#else
  return isatty(STDIN_FILENO) != 0;
#endif
}

bool AskPassword(const std::string& prompt, std::string* password) {
  // The typing is hidden before the question is shown, so that nothing
  // typed in answer is ever echoed.
#ifdef _WIN32
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  const bool console = GetConsoleMode(input, &mode) != 0;
  if (console) SetConsoleMode(input, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  WriteError(prompt);
  const bool read = ReadLine(password);
  if (console) SetConsoleMode(input, mode);
#else
  termios saved;
  const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal) {
    termios hidden = saved;
    hidden.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    hidden.c_lflag |= ECHONL;
    tcsetattr(STDIN_FILENO, TCSANOW, &hidden);
  }
  WriteError(prompt);
  const bool read = ReadLine(password);
  if (terminal) tcsetattr(STDIN_FILENO, TCSANOW, &saved);
#endif
#ifdef _WIN32
  WriteError("\n");
#endif
  return read;
}

}  // namespace tarnu::cli
