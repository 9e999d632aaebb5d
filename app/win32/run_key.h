// The value "tarnu" under the user's Run key, which starts the program at
// sign-in.
#ifndef TARNU_APP_WIN32_RUN_KEY_H_
#define TARNU_APP_WIN32_RUN_KEY_H_

#include <optional>
#include <string>

namespace tarnu::win32 {

// The value's text; none when there is no such value (or it is no text).
std::optional<std::wstring> ReadRunValue();
bool WriteRunValue(const std::wstring& command);
// True also when there was nothing to remove.
bool RemoveRunValue();

// Carries out the start-at-sign-in choice for this program file (see
// PlanRunKey). Returns false when the key could not be changed.
bool ApplySignInChoice(std::optional<bool> wanted, bool at_start);

// Whether the Run key starts this program file now.
bool StartsAtSignIn();

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_RUN_KEY_H_
