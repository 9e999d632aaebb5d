// What every modal dialog of the program shares: the binding of the dialog
// procedure to its object, the out-of-memory path, the help topic for F1
// and the frame's help button, byte limits of edits enforced while typing,
// the refusal of a value (message and focus), control text in both kinds of
// text, and scaling by the dialog's dpi.
#ifndef TARNU_APP_WIN32_DIALOG_H_
#define TARNU_APP_WIN32_DIALOG_H_

#include <windows.h>

#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "ui/form_check.h"

namespace tarnu::win32 {

class Dialog {
 public:
  Dialog() = default;
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;
  virtual ~Dialog() = default;

  // Runs the dialog from template `template_id` modally; IDOK, IDCANCEL, or
  // -1 when it could not be created.
  INT_PTR RunModal(HWND owner, int template_id);

  HWND hwnd() const { return window_; }

 protected:
  // WM_INITDIALOG; true lets the dialog manager set the focus.
  virtual bool OnInit() { return true; }
  // WM_COMMAND from a control or menu; true when handled. IDOK and IDCANCEL
  // end the dialog unless handled here.
  virtual bool OnCommand(int id, int code) {
    (void)id;
    (void)code;
    return false;
  }
  // Any other message; true when handled (the result in DWLP_MSGRESULT).
  virtual bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    (void)message;
    (void)wparam;
    (void)lparam;
    return false;
  }
  virtual void OnDpiChanged(UINT old_dpi, UINT new_dpi) {
    (void)old_dpi;
    (void)new_dpi;
  }
  // The page of tarnu.chm for F1 and the frame's help button.
  virtual const char* HelpTopic() const = 0;

  // For the messages whose answer is the dialog procedure's own return
  // value (WM_CTLCOLOR...), instead of DWLP_MSGRESULT.
  void ReturnDirectly(INT_PTR value) {
    direct_result_ = value;
    has_direct_result_ = true;
  }

  void End(int result) { EndDialog(window_, result); }
  HWND Item(int id) const { return GetDlgItem(window_, id); }

  // Settings text (code page 932) in and out of a control.
  std::string Text(int id) const;
  void SetText(int id, std::string_view text);
  // Any UTF-16 text, for mail text converted by the core.
  std::u16string WideText(int id) const;
  void SetWideText(int id, const std::u16string& text);

  bool Checked(int id) const { return IsDlgButtonChecked(window_, id) == BST_CHECKED; }
  void SetChecked(int id, bool on) {
    CheckDlgButton(window_, id, on ? BST_CHECKED : BST_UNCHECKED);
  }
  void Enable(int id, bool on) { EnableWindow(Item(id), on ? TRUE : FALSE); }

  // From now on the edit takes at most `limit` bytes of code page 932 text:
  // a keystroke or a paste that would make it longer is undone with a beep.
  // Call after the edit got its first text.
  void LimitBytes(int id, std::size_t limit);

  // Shows a failed check's message and puts the focus on its control, with
  // its text selected.
  void Refuse(const FormCheck& failure);
  void ShowMessage(std::string_view text);

  UINT dpi() const { return dpi_; }
  int Scale(int pixels_at_96) const;

 private:
  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Dispatch(UINT message, WPARAM wparam, LPARAM lparam);
  void KeepWithinLimit(int id);

  HWND window_ = nullptr;
  UINT dpi_ = 96;
  struct Limited {
    std::size_t limit = 0;
    std::u16string accepted;  // the last text within the limit
    DWORD selection = 0;      // and its selection
  };
  std::map<int, Limited> limited_;
  bool restoring_ = false;
  INT_PTR direct_result_ = 0;
  bool has_direct_result_ = false;
};

// Wide-character strings of the Win32 API and the core's UTF-16.
inline const wchar_t* WidePointer(const std::u16string& text) {
  static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
std::u16string FromWide(std::wstring_view text);

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_DIALOG_H_
