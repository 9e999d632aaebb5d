#include "app/sign_in_start.h"

namespace tarnu {
namespace {

char16_t AsciiLower(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

bool SamePath(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i] == u'/' ? u'\\' : AsciiLower(a[i]);
    char16_t y = b[i] == u'/' ? u'\\' : AsciiLower(b[i]);
    if (x != y) return false;
  }
  return true;
}

std::u16string_view TrimSpaces(std::u16string_view text) {
  while (!text.empty() && (text.front() == u' ' || text.front() == u'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == u' ' || text.back() == u'\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

std::u16string SignInCommand(std::u16string_view program_path) {
  std::u16string command;
  command.reserve(program_path.size() + 2);
  command += u'"';
  command.append(program_path);
  command += u'"';
  return command;
}

bool CommandStartsProgram(std::u16string_view command, std::u16string_view program_path) {
  command = TrimSpaces(command);
  std::u16string_view program;
  if (!command.empty() && command.front() == u'"') {
    std::size_t close = command.find(u'"', 1);
    if (close == std::u16string_view::npos) return false;
    program = command.substr(1, close - 1);
  } else {
    // Unquoted: the path runs to the first space, as Windows would read it
    // when no file of the longer name exists.
    program = command.substr(0, command.find(u' '));
  }
  return !program.empty() && SamePath(program, program_path);
}

RunKeyAction PlanRunKey(std::optional<bool> wanted, const std::optional<std::u16string>& current,
                        std::u16string_view program_path, bool at_start) {
  if (!wanted) return RunKeyAction::kLeave;
  if (*wanted) {
    return current && *current == SignInCommand(program_path) ? RunKeyAction::kLeave
                                                              : RunKeyAction::kWrite;
  }
  if (at_start || !current) return RunKeyAction::kLeave;
  // Another copy's registration is that copy's business.
  return CommandStartsProgram(*current, program_path) ? RunKeyAction::kRemove
                                                      : RunKeyAction::kLeave;
}

}  // namespace tarnu
