#include "app/win32/wide_text.h"

#include <vector>

#include "app/tray_logic.h"

namespace tarnu::win32 {
namespace {

constexpr UINT kCodePage932 = 932;
ProgramInfo g_program;

}  // namespace

std::wstring WideFromCp932(std::string_view text) {
  if (text.empty()) return std::wstring();
  int length = static_cast<int>(text.size());
  int wide = MultiByteToWideChar(kCodePage932, 0, text.data(), length, nullptr, 0);
  if (wide <= 0) return std::wstring();
  std::wstring out(static_cast<std::size_t>(wide), L'\0');
  MultiByteToWideChar(kCodePage932, 0, text.data(), length, out.data(), wide);
  return out;
}

std::string Cp932FromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  int length = static_cast<int>(text.size());
  int bytes = WideCharToMultiByte(kCodePage932, 0, text.data(), length, nullptr, 0, "?", nullptr);
  if (bytes <= 0) return std::string();
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(kCodePage932, 0, text.data(), length, out.data(), bytes, "?", nullptr);
  return out;
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
  g_program.path = full;
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
