#include "app/win32/tray_icon.h"

#include <shellapi.h>

#include <cwchar>

#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

void CopyTip(const std::string& tip, NOTIFYICONDATAW* record) {
  std::wstring wide = WideFromCp932(tip);
  std::size_t room = sizeof(record->szTip) / sizeof(record->szTip[0]) - 1;
  if (wide.size() > room) wide.resize(room);
  std::wmemcpy(record->szTip, wide.c_str(), wide.size() + 1);
}

}  // namespace

NOTIFYICONDATAW TrayIcon::Record(UINT flags) const {
  NOTIFYICONDATAW record = {};
  record.cbSize = sizeof(record);
  record.hWnd = owner_;
  record.uID = kTrayIconId;
  record.uFlags = flags;
  record.uCallbackMessage = kTrayCallbackMessage;
  return record;
}

bool TrayIcon::Add(HWND owner, HICON icon, const std::string& tip) {
  owner_ = owner;
  NOTIFYICONDATAW record = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  record.hIcon = icon;
  CopyTip(tip, &record);
  return Shell_NotifyIconW(NIM_ADD, &record) != FALSE;
}

bool TrayIcon::Modify(HICON icon, const std::string* tip) {
  UINT flags = 0;
  if (icon != nullptr) flags |= NIF_ICON;
  if (tip != nullptr) flags |= NIF_TIP;
  NOTIFYICONDATAW record = Record(flags);
  record.hIcon = icon;
  if (tip != nullptr) CopyTip(*tip, &record);
  return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

bool TrayIcon::ShowBalloon(const std::wstring& title, const std::wstring& text) {
  if (owner_ == nullptr) return false;
  NOTIFYICONDATAW record = Record(NIF_INFO);
  auto copy = [](const std::wstring& from, wchar_t* to, std::size_t room) {
    std::size_t n = from.size() < room - 1 ? from.size() : room - 1;
    std::wmemcpy(to, from.data(), n);
    to[n] = L'\0';
  };
  copy(title, record.szInfoTitle, sizeof(record.szInfoTitle) / sizeof(wchar_t));
  copy(text, record.szInfo, sizeof(record.szInfo) / sizeof(wchar_t));
  record.uTimeout = 10000;  // read only by Windows before Vista
  record.dwInfoFlags = NIIF_INFO;
  return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

void TrayIcon::Remove() {
  if (owner_ == nullptr) return;
  NOTIFYICONDATAW record = Record(NIF_MESSAGE | NIF_ICON | NIF_TIP);
  Shell_NotifyIconW(NIM_DELETE, &record);
}

}  // namespace tarnu::win32
