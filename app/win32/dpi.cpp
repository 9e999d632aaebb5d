#include "app/win32/dpi.h"

namespace tarnu::win32 {

UINT WindowDpi(HWND hwnd) {
  // GetDpiForWindow exists from Windows 10 1607 on; older systems have one
  // dpi for the whole desktop.
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static GetDpiForWindowFn for_window = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (for_window != nullptr && hwnd != nullptr) {
    UINT dpi = for_window(hwnd);
    if (dpi != 0) return dpi;
  }
  HDC screen = GetDC(nullptr);
  int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

}  // namespace tarnu::win32
