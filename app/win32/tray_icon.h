// The icon in the notification area: one icon of the main window, id 123456,
// whose mouse messages arrive as message 1124.
#ifndef TARNU_APP_WIN32_TRAY_ICON_H_
#define TARNU_APP_WIN32_TRAY_ICON_H_

#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <string>

namespace tarnu::win32 {

inline constexpr UINT kTrayIconId = 123456;
inline constexpr UINT kTrayCallbackMessage = WM_USER + 100;  // 1124

class TrayIcon {
 public:
  // Adds the icon with its picture and tip (code page 932, at most 63 bytes).
  bool Add(HWND owner, HICON icon, const std::string& tip);
  // Changes the picture and/or the tip; a null icon or tip is left as it is.
  // Returns the shell's answer: false when it no longer knows the icon.
  bool Modify(HICON icon, const std::string* tip);
  void Remove();
  // The shell's notification from the icon (a balloon; a toast on Windows
  // 10 and 11). A click on it arrives as the callback with
  // NIN_BALLOONUSERCLICK.
  bool ShowBalloon(const std::wstring& title, const std::wstring& text);

 private:
  NOTIFYICONDATAW Record(UINT flags) const;
  HWND owner_ = nullptr;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_TRAY_ICON_H_
