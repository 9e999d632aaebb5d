#include "app/win32/result_window.h"

#include <commctrl.h>

#include <algorithm>
#include <new>

#include "app/column_widths.h"
#include "app/resource_ids.h"
#include "app/startup_logic.h"
#include "app/tray_logic.h"
#include "app/win32/detail_window.h"
#include "app/win32/dpi.h"
#include "app/win32/html_help.h"
#include "app/win32/pictures.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

constexpr COLORREF kStateMask = RGB(255, 255, 255);
constexpr COLORREF kSmallMask = RGB(255, 255, 0);

}  // namespace

bool ResultWindow::Create(HWND owner, AppSettings* settings, MessagePump* pump,
                          std::function<void()> on_list_focus) {
  owner_ = owner;
  settings_ = settings;
  pump_ = pump;
  on_list_focus_ = std::move(on_list_focus);
  CreateDialogParamW(Program().instance, MAKEINTRESOURCEW(IDD_RESULT), owner, DialogProc,
                     reinterpret_cast<LPARAM>(this));
  return window_ != nullptr;
}

void ResultWindow::Destroy() {
  if (window_ != nullptr) {
    Clear();
    DestroyWindow(window_);
    window_ = nullptr;
  }
  if (state_pictures_) ImageList_Destroy(state_pictures_);
  if (small_pictures_) ImageList_Destroy(small_pictures_);
  if (context_menu_) DestroyMenu(context_menu_);
  state_pictures_ = small_pictures_ = nullptr;
  context_menu_ = nullptr;
}

void ResultWindow::OnInit() {
  HINSTANCE instance = Program().instance;
  HWND list = GetDlgItem(window_, IDC_RESULT_LIST);
  dpi_ = WindowDpi(window_);

  LoadPictures(list);

  list_.Attach(list, this);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);

  const std::vector<int> widths = ColumnWidthsOnScreen(stored_columns_, static_cast<int>(dpi_));
  for (int i = 0; i < kResultColumns; ++i) {
    std::wstring title = WideFromCp932(kResultColumnTable[i].title);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = widths[static_cast<std::size_t>(i)];
    column.pszText = title.data();
    column.iSubItem = i;
    ListView_InsertColumn(list, i, &column);
  }

  context_menu_ = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_RESULT_MENU));

  if (std::optional<WindowRect> stored = StoredResultWindowRect(*settings_)) {
    RECT place = {stored->left, stored->top, stored->left + stored->width,
                  stored->top + stored->height};
    // A rectangle on a monitor that is gone would leave the window out of
    // reach; the template's place serves then.
    if (MonitorFromRect(&place, MONITOR_DEFAULTTONULL) != nullptr) {
      MoveWindow(window_, stored->left, stored->top, stored->width, stored->height, FALSE);
    }
  }
  KeepOnWorkArea();
  FitList();
}

void ResultWindow::KeepOnWorkArea() {
  RECT rect;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  // Minimised or maximised, Windows places the window itself.
  if (IsIconic(window_) || IsZoomed(window_) || !GetWindowRect(window_, &rect) ||
      !GetMonitorInfoW(MonitorFromWindow(window_, MONITOR_DEFAULTTONEAREST), &monitor)) {
    return;
  }
  const RECT& area = monitor.rcWork;
  WindowRect now{rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
  WindowRect fitted =
      FitIntoWorkArea(now, {area.left, area.top, area.right - area.left, area.bottom - area.top});
  if (fitted.left != now.left || fitted.top != now.top || fitted.width != now.width ||
      fitted.height != now.height) {
    SetWindowPos(window_, nullptr, fitted.left, fitted.top, fitted.width, fitted.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

std::optional<std::vector<int>> ResultWindow::ColumnsToStore() const {
  HWND list = list_.hwnd();
  if (list == nullptr) return std::nullopt;
  std::vector<int> widths;
  for (int i = 0; i < kResultColumns; ++i) widths.push_back(ListView_GetColumnWidth(list, i));
  return ColumnWidthsToStore(widths, static_cast<int>(dpi_), stored_columns_);
}

void ResultWindow::LoadPictures(HWND list) {
  HIMAGELIST old_state = state_pictures_;
  HIMAGELIST old_small = small_pictures_;
  state_pictures_ = LoadPictureStrip(IDB_STATE_PICTURES, kStateMask, dpi_);
  small_pictures_ = LoadPictureStrip(IDB_SMALL_PICTURES, kSmallMask, dpi_);
  ListView_SetImageList(list, state_pictures_, LVSIL_STATE);
  ListView_SetImageList(list, small_pictures_, LVSIL_SMALL);
  if (old_state) ImageList_Destroy(old_state);
  if (old_small) ImageList_Destroy(old_small);
}

void ResultWindow::FitList() {
  HWND list = list_.hwnd();
  if (list == nullptr) return;
  RECT client;
  GetClientRect(window_, &client);
  MoveWindow(list, 0, 0, client.right, client.bottom, TRUE);
}

void ResultWindow::RescaleColumns(UINT old_dpi, UINT new_dpi) {
  HWND list = list_.hwnd();
  if (list == nullptr || old_dpi == 0 || old_dpi == new_dpi) return;
  for (int i = 0; i < kResultColumns; ++i) {
    int width = ListView_GetColumnWidth(list, i);
    ListView_SetColumnWidth(list, i,
                            MulDiv(width, static_cast<int>(new_dpi), static_cast<int>(old_dpi)));
  }
}

void ResultWindow::Show() {
  if (window_ == nullptr) return;
  ShowWindow(window_, SW_SHOWNORMAL);
  // The screens may have changed since the window was placed.
  KeepOnWorkArea();
  BringWindowToTop(window_);
  SetForegroundWindow(window_);
  BringWindowToTop(window_);
}

void ResultWindow::InsertRows(int position, std::shared_ptr<const HostRows> rows) {
  HWND list = list_.hwnd();
  if (list == nullptr) return;
  const int at = position < 0 ? 0 : std::min(position, static_cast<int>(model_.size()));
  const int count = static_cast<int>(rows->size());
  model_.InsertHostRows(at, std::move(rows));
  for (int i = 0; i < count; ++i) {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
    item.iItem = at + i;
    item.pszText = LPSTR_TEXTCALLBACKW;
    item.iImage = I_IMAGECALLBACK;
    item.state = INDEXTOSTATEIMAGEMASK(
        static_cast<UINT>(model_.shown(static_cast<std::size_t>(at + i)).state_picture) & 0xF);
    item.stateMask = LVIS_STATEIMAGEMASK;
    if (ListView_InsertItem(list, &item) < 0) {
      // The rows the list did not take leave the model too.
      for (int j = i; j < count; ++j) model_.Erase(static_cast<std::size_t>(at + i));
      throw std::bad_alloc();
    }
  }
}

void ResultWindow::InsertRow(int position, const ResultListRow& row) {
  HWND list = list_.hwnd();
  if (list == nullptr) return;
  model_.InsertResultRow(position, row);
  const int at = position < 0 ? 0 : std::min(position, static_cast<int>(model_.size()) - 1);
  // The texts and the small picture stay in the model; the control keeps
  // the item's states.
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
  item.iItem = at;
  item.pszText = LPSTR_TEXTCALLBACKW;
  item.iImage = I_IMAGECALLBACK;
  item.state = INDEXTOSTATEIMAGEMASK(static_cast<UINT>(row.state_picture) & 0xF);
  item.stateMask = LVIS_STATEIMAGEMASK;
  if (ListView_InsertItem(list, &item) < 0) {
    model_.Erase(static_cast<std::size_t>(at));
    throw std::bad_alloc();
  }
}

void ResultWindow::Clear() {
  if (HWND list = list_.hwnd()) ListView_DeleteAllItems(list);
  model_.Clear();
}

std::u16string_view ResultWindow::Cell(int row, int column) const {
  if (row < 0 || static_cast<std::size_t>(row) >= model_.size() || column < 0 ||
      column >= kResultColumns) {
    return std::u16string_view();
  }
  return model_.screen_row(static_cast<std::size_t>(row)).columns[column];
}

int ResultWindow::SmallPicture(int row) const {
  if (row < 0 || static_cast<std::size_t>(row) >= model_.size()) return -1;
  return model_.screen_row(static_cast<std::size_t>(row)).small_picture;
}

// What other readers of the list (accessibility tools, tests) ask for.
void ResultWindow::GiveItemDisplay(NMLVDISPINFOW* info) const {
  LVITEMW& item = info->item;
  if ((item.mask & LVIF_IMAGE) != 0) item.iImage = SmallPicture(item.iItem);
  if ((item.mask & LVIF_TEXT) != 0 && item.pszText != nullptr && item.cchTextMax > 0) {
    std::u16string_view text = Cell(item.iItem, item.iSubItem);
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(item.cchTextMax - 1));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n), item.pszText);
    item.pszText[n] = L'\0';
  }
}

std::string ResultWindow::GetTitle() const {
  if (window_ == nullptr) return std::string();
  int length = GetWindowTextLengthW(window_);
  std::wstring title(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
  int got = GetWindowTextW(window_, title.data(), length + 1);
  title.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return std::string(Cp932Prefix(Cp932FromWide(title), 255));
}

void ResultWindow::SetTitle(const std::string& title) {
  if (window_ != nullptr) SetWindowTextW(window_, WideFromCp932(title).c_str());
}

RECT ResultWindow::StoredRect() const {
  RECT rect = {};
  if (window_ == nullptr) return rect;
  WINDOWPLACEMENT placement = {};
  placement.length = sizeof(placement);
  // A tool window's restored rectangle is in screen coordinates.
  if ((IsIconic(window_) || IsZoomed(window_)) && GetWindowPlacement(window_, &placement)) {
    return placement.rcNormalPosition;
  }
  GetWindowRect(window_, &rect);
  return rect;
}

void ResultWindow::ShowContextMenu(LPARAM) {
  HWND list = list_.hwnd();
  int index = ListView_GetNextItem(list, -1, LVNI_SELECTED);
  if (index < 0 || static_cast<std::size_t>(index) >= model_.size() || context_menu_ == nullptr) {
    return;
  }
  HMENU popup = GetSubMenu(context_menu_, 0);
  if (popup == nullptr) return;
  POINT cursor;
  GetCursorPos(&cursor);
  SetForegroundWindow(window_);
  const bool has_record = model_.row(static_cast<std::size_t>(index)).record.has_value();
  EnableMenuItem(popup, IDM_MAIL_DETAIL,
                 MF_BYCOMMAND | (has_record ? MF_ENABLED : MF_GRAYED | MF_DISABLED));
  TrackPopupMenu(popup, TPM_LEFTALIGN | TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, window_, nullptr);
  PostMessageW(window_, WM_NULL, 0, 0);
}

void ResultWindow::OpenSelectedMail() {
  int index = ListView_GetNextItem(list_.hwnd(), -1, LVNI_SELECTED);
  if (index < 0 || static_cast<std::size_t>(index) >= model_.size()) return;
  const std::optional<ResultRow> record = model_.row(static_cast<std::size_t>(index)).record;
  if (!record) return;
  // The window works on its own copy: a check that clears the list while it
  // is open does not touch it.
  DetailWindow detail(*record, settings_, pump_);
  detail.Run(window_);
}

INT_PTR ResultWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SIZE:
    case WM_MOVE:
      FitList();
      return FALSE;
    case WM_DRAWITEM:
      if (wparam == IDC_RESULT_LIST) {
        list_.DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
        SetWindowLongPtrW(window_, DWLP_MSGRESULT, TRUE);
        return TRUE;
      }
      return FALSE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lparam);
      if (header->idFrom != IDC_RESULT_LIST) return FALSE;
      if (header->code == NM_SETFOCUS && on_list_focus_) on_list_focus_();
      if (header->code == NM_DBLCLK) OpenSelectedMail();
      if (header->code == LVN_GETDISPINFOW) {
        GiveItemDisplay(reinterpret_cast<NMLVDISPINFOW*>(lparam));
      }
      return FALSE;
    }
    case WM_CONTEXTMENU:
      if (reinterpret_cast<HWND>(wparam) == list_.hwnd()) {
        ShowContextMenu(lparam);
        return TRUE;
      }
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wparam)) {
        case IDOK:
        case IDCANCEL:
          ShowWindow(window_, SW_HIDE);
          return TRUE;
        case IDM_MAIL_DETAIL:
          OpenSelectedMail();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_HELP:
      return ShowHelpTopic(window_, kHelpResultTopic) ? TRUE : FALSE;
    case WM_DPICHANGED: {
      // The columns and pictures are ours to scale; the frame takes the
      // rectangle Windows suggests, and the dialog manager goes on to scale
      // its fonts (the rows are measured again with them).
      UINT new_dpi = HIWORD(wparam);
      RescaleColumns(dpi_, new_dpi);
      dpi_ = new_dpi;
      if (HWND list = list_.hwnd()) LoadPictures(list);
      const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ResultWindow::DialogProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  ResultWindow* self;
  if (message == WM_MEASUREITEM && wparam == IDC_RESULT_LIST) {
    MeasureReportRow(hwnd, reinterpret_cast<MEASUREITEMSTRUCT*>(lparam));
    SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
    return TRUE;
  }
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<ResultWindow*>(lparam);
    SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
    self->window_ = hwnd;
    try {
      self->OnInit();
    } catch (const std::bad_alloc&) {
      ShowMessageBox(hwnd, kOutOfMemoryText);
      PostQuitMessage(-1);
    }
    // No focus while hidden: the list takes it when the window is first
    // activated, which is the moment the new-mail flag should go.
    return FALSE;
  }
  self = reinterpret_cast<ResultWindow*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  if (self == nullptr || self->window_ != hwnd) return FALSE;
  try {
    return self->OnMessage(message, wparam, lparam);
  } catch (const std::bad_alloc&) {
    ShowMessageBox(hwnd, kOutOfMemoryText);
    PostQuitMessage(-1);
    return FALSE;
  }
}

}  // namespace tarnu::win32
