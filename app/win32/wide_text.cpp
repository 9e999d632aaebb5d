#include "app/win32/wide_text.h"

#include <vector>

#include "app/tray_logic.h"
#include "codec/utf8_text.h"
#include "platform/text_convert.h"

namespace tarnu::win32 {
namespace {

ProgramInfo g_program;

}  // namespace

// The code page tables live behind platform/text_convert; here only UTF-8
// meets UTF-16.
std::wstring WideFromUtf8(std::string_view text) {
  const std::u16string utf16 = Utf8ToUtf16(text);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string Utf8FromWide(std::wstring_view text) {
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
}

std::wstring WideFromCp932(std::string_view text) {
  return WideFromUtf8(platform::Cp932ToUtf8(text));
}

std::string Cp932FromWide(std::wstring_view text) {
  return platform::Utf8ToCp932(Utf8FromWide(text));
}

void InitProgramInfo(HINSTANCE instance) {
  g_program.instance = instance;
  // Long paths: grow the buffer until the whole path fits.
  std::vector<wchar_t> path(MAX_PATH);
  for (;;) {
    DWORD got = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (got == 0) {
      path.assign(1, L'\0');
      break;
    }
    if (got < path.size()) break;
    path.resize(path.size() * 2);
  }
  std::wstring full(path.data());
  std::size_t slash = full.find_last_of(L"\\/");
  g_program.directory = slash == std::wstring::npos ? std::wstring() : full.substr(0, slash + 1);
  g_program.name = ApplicationName(Cp932FromWide(full));
  if (g_program.name.empty()) g_program.name = "tarnu";
  g_program.wide_name = WideFromCp932(g_program.name);
}

const ProgramInfo& Program() { return g_program; }

void ShowMessageBox(HWND owner, std::string_view text, MessageIcon icon) {
  UINT type = MB_OK | MB_SETFOREGROUND;
  switch (icon) {
    case MessageIcon::kExclamation:
      type |= MB_ICONEXCLAMATION;
      break;
    case MessageIcon::kStop:
      type |= MB_ICONSTOP;
      break;
    case MessageIcon::kInformation:
      type |= MB_ICONINFORMATION;
      break;
  }
  MessageBoxW(owner, WideFromCp932(text).c_str(), Program().wide_name.c_str(), type);
}

std::string LoadStringCp932(UINT id) {
  // With a zero length LoadStringW hands out a read-only pointer to the
  // resource itself, so no buffer can be too short.
  const wchar_t* text = nullptr;
  int length = LoadStringW(Program().instance, id, reinterpret_cast<LPWSTR>(&text), 0);
  if (length <= 0 || text == nullptr) return std::string();
  return Cp932FromWide(std::wstring_view(text, static_cast<std::size_t>(length)));
}

}  // namespace tarnu::win32
