#include "app/win32/dialog.h"

#include <commctrl.h>

#include <new>

#include "app/screen_text.h"
#include "app/startup_logic.h"
#include "app/win32/dpi.h"
#include "app/win32/html_help.h"
#include "app/win32/report_list.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {

std::u16string FromWide(std::wstring_view text) {
  return std::u16string(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

INT_PTR Dialog::RunModal(HWND owner, int template_id) {
  return DialogBoxParamW(Program().instance, MAKEINTRESOURCEW(template_id), owner, Procedure,
                         reinterpret_cast<LPARAM>(this));
}

std::u16string Dialog::WideText(int id) const {
  HWND control = Item(id);
  if (control == nullptr) return std::u16string();
  int length = GetWindowTextLengthW(control);
  if (length <= 0) return std::u16string();
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  int got = GetWindowTextW(control, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return FromWide(text);
}

void Dialog::SetWideText(int id, const std::u16string& text) {
  SetDlgItemTextW(window_, id, WidePointer(text));
}

std::string Dialog::Text(int id) const { return SettingsTextFromScreen(WideText(id)); }

void Dialog::SetText(int id, std::string_view text) { SetWideText(id, SettingsTextToScreen(text)); }

void Dialog::LimitBytes(int id, std::size_t limit) {
  // Every character takes at least one byte, so the edit's own character
  // limit never refuses what the byte limit allows.
  SendDlgItemMessageW(window_, id, EM_LIMITTEXT, limit, 0);
  Limited& entry = limited_[id];
  entry.limit = limit;
  entry.accepted = WideText(id);
  entry.selection = static_cast<DWORD>(SendDlgItemMessageW(window_, id, EM_GETSEL, 0, 0));
}

void Dialog::KeepWithinLimit(int id) {
  auto found = limited_.find(id);
  if (found == limited_.end() || restoring_) return;
  Limited& entry = found->second;
  std::u16string text = WideText(id);
  if (SettingsTextFromScreen(text).size() <= entry.limit) {
    entry.accepted = std::move(text);
    entry.selection = static_cast<DWORD>(SendDlgItemMessageW(window_, id, EM_GETSEL, 0, 0));
    return;
  }
  restoring_ = true;
  SetWideText(id, entry.accepted);
  SendDlgItemMessageW(window_, id, EM_SETSEL, LOWORD(entry.selection), HIWORD(entry.selection));
  restoring_ = false;
  MessageBeep(MB_OK);
}

void Dialog::ShowMessage(std::string_view text) { ShowMessageBox(window_, text); }

void Dialog::Refuse(const FormCheck& failure) {
  ShowMessage(failure.message);
  HWND control = Item(failure.control_id);
  // A disabled control cannot take the focus; the one before it in the tab
  // order (the check box that enables it) shows where to look.
  if (control != nullptr && !IsWindowEnabled(control)) {
    control = GetNextDlgTabItem(window_, control, TRUE);
  }
  // WM_NEXTDLGCTL moves the focus the way Tab does: an edit's text comes
  // selected and the default button follows.
  if (control != nullptr)
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
}

int Dialog::Scale(int pixels_at_96) const { return DpiScale(pixels_at_96, dpi_); }

INT_PTR Dialog::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      const int code = HIWORD(wparam);
      if (code == EN_CHANGE) KeepWithinLimit(id);
      if (OnCommand(id, code)) return TRUE;
      if (id == IDOK || id == IDCANCEL) {
        End(id);
        return TRUE;
      }
      return FALSE;
    }
    case WM_HELP:
      ShowHelpTopic(window_, HelpTopic());
      return TRUE;
    case WM_DPICHANGED: {
      UINT old_dpi = dpi_;
      dpi_ = HIWORD(wparam);
      OnDpiChanged(old_dpi, dpi_);
      return OnMessage(message, wparam, lparam) ? TRUE : FALSE;
    }
    default: {
      has_direct_result_ = false;
      const bool handled = OnMessage(message, wparam, lparam);
      if (has_direct_result_) return direct_result_;
      return handled ? TRUE : FALSE;
    }
  }
}

INT_PTR CALLBACK Dialog::Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  Dialog* self;
  if (message == WM_MEASUREITEM &&
      reinterpret_cast<const MEASUREITEMSTRUCT*>(lparam)->CtlType == ODT_LISTVIEW) {
    MeasureReportRow(hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(lparam));
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
    return TRUE;
  }
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<Dialog*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->window_ = hwnd;
    self->dpi_ = WindowDpi(hwnd);
  } else {
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (self == nullptr || self->window_ != hwnd) return FALSE;
  }
  try {
    if (message == WM_INITDIALOG) {
      // Opened from the tray, the program is not the foreground one.
      SetForegroundWindow(hwnd);
      return self->OnInit() ? TRUE : FALSE;
    }
    return self->Dispatch(message, wparam, lparam);
  } catch (const std::bad_alloc&) {
    ShowMessageBox(hwnd, kOutOfMemoryText);
    PostQuitMessage(-1);
    EndDialog(hwnd, IDCANCEL);
    return TRUE;
  }
}

}  // namespace tarnu::win32
