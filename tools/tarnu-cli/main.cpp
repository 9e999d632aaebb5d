// tarnu-cli: the portable core driven from a terminal.
#include <cstdlib>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#endif

#include "tools/tarnu-cli/cli.h"
#include "tools/tarnu-cli/input_text.h"
#include "tools/tarnu-cli/verbs.h"

#ifdef _WIN32

namespace {

UINT console_output_cp = 0;

void RestoreConsole() {
  if (console_output_cp != 0) SetConsoleOutputCP(console_output_cp);
}

}  // namespace

// The arguments as the user typed them, in UTF-16: the narrow argv would have
// lost every character outside the ANSI code page.
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  // tarnu-cli writes UTF-8; a console shows it as such only on its UTF-8
  // code page, which is given back when the program ends. Standard error
  // counts too: with the rows sent to a file, progress and messages still
  // reach the console.
  DWORD mode;
  if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) ||
      GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
    console_output_cp = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(RestoreConsole);
  }
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::string utf8;
    if (!tarnu::cli::WideToUtf8(argv[i], &utf8)) {
      tarnu::cli::WriteError("tarnu-cli: argument " + std::to_string(i) + " is not Unicode text\n");
      return tarnu::cli::kExitFailed;
    }
    args.push_back(std::move(utf8));
  }
  return tarnu::cli::RunVerbLine(args);
}

#else

int main(int argc, char** argv) {
  return tarnu::cli::RunVerbLine(std::vector<std::string>(argv + 1, argv + argc));
}

#endif
