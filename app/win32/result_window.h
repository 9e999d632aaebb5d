// The result list window: a modeless tool window holding the report list of
// what the last check found, one row per message (or per host without
// messages). Created hidden at start-up, shown on demand, hidden by its
// close box, destroyed at exit.
#ifndef TARNU_APP_WIN32_RESULT_WINDOW_H_
#define TARNU_APP_WIN32_RESULT_WINDOW_H_

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/result_list_model.h"
#include "app/result_rows.h"
#include "app/win32/report_list.h"
#include "model/app_settings.h"
#include "platform/ui_hooks.h"

namespace tarnu::win32 {

class ResultWindow : private ReportRows {
 public:
  ResultWindow() = default;
  ResultWindow(const ResultWindow&) = delete;
  ResultWindow& operator=(const ResultWindow&) = delete;
  ~ResultWindow() { Destroy(); }

  // Creates the window from its template, owned by `owner`, hidden, and put
  // where `settings` stored it. `on_list_focus` runs whenever the list gets
  // the keyboard focus. The detail windows it opens read (and may set the
  // font of) `settings` and keep the program alive through `pump`. Returns
  // false when the window could not be made.
  bool Create(HWND owner, AppSettings* settings, MessagePump* pump,
              std::function<void()> on_list_focus);
  // Frees every row and the window.
  void Destroy();

  // Column widths in pixels at 96 dpi: those to start with (tarnu.ini's;
  // empty for the built-in ones), set before Create, and what to store at
  // exit (none when the user changed nothing).
  void set_stored_columns(std::vector<int> widths) { stored_columns_ = std::move(widths); }
  std::optional<std::vector<int>> ColumnsToStore() const;
  HWND hwnd() const { return window_; }

  // Shown in its normal state, on top and in the foreground.
  void Show();

  // The rows. InsertRow throws std::bad_alloc when the list cannot grow.
  void InsertRow(int position, const ResultListRow& row);
  // A host's rows in one block.
  void InsertRows(int position, std::shared_ptr<const HostRows> rows);
  void Clear();
  const ResultListModel& rows() const { return model_; }

  // The title, as the check cycle's progress line (code page 932; at most
  // 255 bytes read, as into a 256-byte buffer).
  std::string GetTitle() const;
  void SetTitle(const std::string& title);

  // The outer rectangle in screen coordinates as the user left it (the
  // restored rectangle while minimised or maximised).
  RECT StoredRect() const;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  void OnInit();
  void FitList();
  // The image lists at the window's dpi (again after a dpi change).
  void LoadPictures(HWND list);
  // Moves and shrinks the window into its monitor's work area.
  void KeepOnWorkArea();
  void ShowContextMenu(LPARAM where);
  void OpenSelectedMail();
  void RescaleColumns(UINT old_dpi, UINT new_dpi);
  void GiveItemDisplay(NMLVDISPINFOW* info) const;
  // ReportRows.
  std::u16string_view Cell(int row, int column) const override;
  int SmallPicture(int row) const override;

  HWND window_ = nullptr;
  HWND owner_ = nullptr;
  ReportList list_;
  HIMAGELIST state_pictures_ = nullptr;
  HIMAGELIST small_pictures_ = nullptr;
  HMENU context_menu_ = nullptr;
  ResultListModel model_;
  AppSettings* settings_ = nullptr;
  MessagePump* pump_ = nullptr;
  std::function<void()> on_list_focus_;
  UINT dpi_ = 96;
  std::vector<int> stored_columns_;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_RESULT_WINDOW_H_
