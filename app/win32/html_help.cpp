#include "app/win32/html_help.h"

#include <string>

#include "app/startup_logic.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

using HtmlHelpWFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
constexpr UINT kDisplayTopic = 0;  // HH_DISPLAY_TOPIC

HtmlHelpWFn LoadViewer() {
  static HtmlHelpWFn viewer = [] {
    HMODULE module = LoadLibraryW(L"hhctrl.ocx");
    if (module == nullptr) return HtmlHelpWFn(nullptr);
    return reinterpret_cast<HtmlHelpWFn>(
        reinterpret_cast<void*>(GetProcAddress(module, "HtmlHelpW")));
  }();
  return viewer;
}

}  // namespace

bool ShowHelpTopic(HWND owner, const char* topic) {
  std::wstring chm = Program().directory + WideFromCp932(kHelpFile);
  if (GetFileAttributesW(chm.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
  HtmlHelpWFn viewer = LoadViewer();
  if (viewer == nullptr) return false;
  std::wstring target = chm + L"::/" + WideFromCp932(topic);
  return viewer(owner, target.c_str(), kDisplayTopic, 0) != nullptr;
}

}  // namespace tarnu::win32
