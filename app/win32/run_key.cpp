#include "app/win32/run_key.h"

#include <windows.h>

#include <cwchar>
#include <vector>

#include "app/sign_in_start.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

// char16_t and wchar_t hold the same UTF-16 units on Windows.
const wchar_t* Wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

HKEY OpenRunKey(REGSAM access) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kRunKeyPath), 0, nullptr, 0, access, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return nullptr;
  }
  return key;
}

}  // namespace

std::optional<std::wstring> ReadRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kRunKeyPath), 0, KEY_QUERY_VALUE, &key) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  std::optional<std::wstring> value;
  DWORD type = 0;
  DWORD bytes = 0;
  if (RegQueryValueExW(key, Wide(kRunValueName), nullptr, &type, nullptr, &bytes) ==
          ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    std::vector<wchar_t> text(bytes / sizeof(wchar_t) + 1, L'\0');
    DWORD size = static_cast<DWORD>((text.size() - 1) * sizeof(wchar_t));
    if (RegQueryValueExW(key, Wide(kRunValueName), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) == ERROR_SUCCESS) {
      // The stored text need not end in a NUL.
      value = std::wstring(text.data(), wcsnlen(text.data(), size / sizeof(wchar_t)));
    }
  }
  RegCloseKey(key);
  return value;
}

bool WriteRunValue(const std::wstring& command) {
  HKEY key = OpenRunKey(KEY_SET_VALUE);
  if (key == nullptr) return false;
  LONG done = RegSetValueExW(key, Wide(kRunValueName), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(command.c_str()),
                             static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return done == ERROR_SUCCESS;
}

bool RemoveRunValue() {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kRunKeyPath), 0, KEY_SET_VALUE, &key) !=
      ERROR_SUCCESS) {
    return true;
  }
  LONG done = RegDeleteValueW(key, Wide(kRunValueName));
  RegCloseKey(key);
  return done == ERROR_SUCCESS || done == ERROR_FILE_NOT_FOUND;
}

bool ApplySignInChoice(std::optional<bool> wanted, bool at_start) {
  const std::wstring program = Program().path;
  if (program.empty()) return false;
  std::optional<std::wstring> found = ReadRunValue();
  std::optional<std::u16string> current;
  if (found) current = U16(*found);
  switch (PlanRunKey(wanted, current, U16(program), at_start)) {
    case RunKeyAction::kWrite: {
      std::u16string command = SignInCommand(U16(program));
      return WriteRunValue(std::wstring(command.begin(), command.end()));
    }
    case RunKeyAction::kRemove:
      return RemoveRunValue();
    case RunKeyAction::kLeave:
      break;
  }
  return true;
}

bool StartsAtSignIn() {
  std::optional<std::wstring> found = ReadRunValue();
  return found && CommandStartsProgram(U16(*found), U16(Program().path));
}

}  // namespace tarnu::win32
