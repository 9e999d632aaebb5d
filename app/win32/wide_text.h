// Code page 932 text for the wide-character API, so Japanese shows right on
// every Windows locale, and the message boxes of the program.
#ifndef TARNU_APP_WIN32_WIDE_TEXT_H_
#define TARNU_APP_WIN32_WIDE_TEXT_H_

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/ui_hooks.h"

namespace tarnu::win32 {

std::wstring WideFromCp932(std::string_view text);
// Characters code page 932 lacks become '?'.
std::string Cp932FromWide(std::wstring_view text);

// UTF-8 and UTF-16, both ways; every text that comes from mail reaches the
// screen through MailTextToScreen (app/screen_text.h).
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The program instance and its name (the program file's base name) as code
// page 932 and as wide text; set once by InitProgramInfo.
struct ProgramInfo {
  HINSTANCE instance = nullptr;
  std::string name;
  std::wstring wide_name;
  std::wstring directory;  // where the program file lies, with a trailing backslash
};
void InitProgramInfo(HINSTANCE instance);
const ProgramInfo& Program();

// An OK box with the program name as caption; `owner` may be null.
void ShowMessageBox(HWND owner, std::string_view text,
                    MessageIcon icon = MessageIcon::kExclamation);

// A string resource as code page 932 text (empty when missing).
std::string LoadStringCp932(UINT id);

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_WIDE_TEXT_H_
