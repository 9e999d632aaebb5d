// Starting tarnu at sign-in: a value of the user's Run key naming the
// program file. The shell writes and removes it; what to do is decided here.
#ifndef TARNU_APP_SIGN_IN_START_H_
#define TARNU_APP_SIGN_IN_START_H_

#include <optional>
#include <string>
#include <string_view>

namespace tarnu {

// Under HKEY_CURRENT_USER: no administrator rights needed.
inline constexpr char16_t kRunKeyPath[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kRunValueName[] = u"tarnu";

// The command the value holds: the program path in double quotes, so a path
// with spaces ("C:\Program Files\...") is not split into program and
// arguments.
std::u16string SignInCommand(std::u16string_view program_path);

// Whether `command` starts the program file `program_path`: the path with
// or without quotes, letters in any case, arguments after it allowed.
bool CommandStartsProgram(std::u16string_view command, std::u16string_view program_path);

enum class RunKeyAction { kLeave, kWrite, kRemove };

// `wanted` is the choice stored in tarnu.ini (none: never made), `current`
// the value found under the Run key. A choice made in the settings
// (`at_start` false) is carried out; at start only a "yes" is made good (a
// copy moved to another folder registers its new path), while a stored "no"
// never undoes a start registered since, by the installer for example.
RunKeyAction PlanRunKey(std::optional<bool> wanted, const std::optional<std::u16string>& current,
                        std::u16string_view program_path, bool at_start);

}  // namespace tarnu

#endif  // TARNU_APP_SIGN_IN_START_H_
