#include "app/win32/report_list.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/report_list_logic.h"
#include "app/win32/wide_text.h"

namespace tarnu::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1015;
constexpr int kLabelChars = 260;  // the first column's text is read up to this
constexpr int kCellChars = 1024;  // no cell shows more than this

std::wstring ItemText(HWND list, int index, int column, int limit) {
  std::wstring buffer(static_cast<std::size_t>(limit) + 1, L'\0');
  LVITEMW item = {};
  item.iSubItem = column;
  item.pszText = buffer.data();
  item.cchTextMax = limit + 1;
  LRESULT length = SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                reinterpret_cast<LPARAM>(&item));
  buffer.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  return buffer;
}

CellAlign AlignOfFormat(int format) {
  switch (format & LVCFMT_JUSTIFYMASK) {
    case LVCFMT_RIGHT:
      return CellAlign::kRight;
    case LVCFMT_CENTER:
      return CellAlign::kCenter;
    default:
      return CellAlign::kLeft;
  }
}

UINT DrawTextAlign(CellAlign align) {
  switch (align) {
    case CellAlign::kRight:
      return DT_RIGHT;
    case CellAlign::kCenter:
      return DT_CENTER;
    case CellAlign::kLeft:
      break;
  }
  return DT_LEFT;
}

}  // namespace

void MeasureReportRow(HWND dialog, MEASUREITEMSTRUCT* measure) {
  constexpr int kPictureSize = 16;
  TEXTMETRICW metrics = {};
  HDC dc = GetDC(dialog);
  HFONT font = reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0));
  HGDIOBJ old = font ? SelectObject(dc, font) : nullptr;
  GetTextMetricsW(dc, &metrics);
  if (old) SelectObject(dc, old);
  ReleaseDC(dialog, dc);
  int text = metrics.tmHeight + metrics.tmExternalLeading + 4;
  measure->itemHeight = static_cast<UINT>(text > kPictureSize + 2 ? text : kPictureSize + 2);
}

void ReportList::Attach(HWND list) {
  Detach();
  list_ = list;
  LONG_PTR style = GetWindowLongPtrW(list_, GWL_STYLE);
  style = (style & ~static_cast<LONG_PTR>(LVS_TYPEMASK)) | LVS_REPORT | LVS_OWNERDRAWFIXED;
  SetWindowLongPtrW(list_, GWL_STYLE, style);
  RECT client;
  GetClientRect(list_, &client);
  client_width_ = client.right;
  SetWindowSubclass(list_, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

void ReportList::Detach() {
  if (list_ == nullptr) return;
  RemoveWindowSubclass(list_, SubclassProc, kSubclassId);
  list_ = nullptr;
}

bool ReportList::IsReportView() const {
  return (GetWindowLongPtrW(list_, GWL_STYLE) & LVS_TYPEMASK) == LVS_REPORT;
}

void ReportList::DrawItem(const DRAWITEMSTRUCT& draw) {
  if (list_ == nullptr || static_cast<int>(draw.itemID) < 0) return;
  const int index = static_cast<int>(draw.itemID);
  HDC dc = draw.hDC;

  wchar_t label_buffer[kLabelChars + 1] = {};
  LVITEMW item = {};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_STATE;
  item.iItem = index;
  item.pszText = label_buffer;
  item.cchTextMax = kLabelChars + 1;
  item.stateMask = 0xFFFF;
  if (!ListView_GetItem(list_, &item)) return;

  const bool has_focus = GetFocus() == list_;
  const bool always = (GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHOWSELALWAYS) != 0;
  const bool highlighted = IsRowHighlighted(
      (item.state & LVIS_SELECTED) != 0, (item.state & LVIS_DROPHILITED) != 0, has_focus, always);

  RECT bounds, label, icon;
  ListView_GetItemRect(list_, index, &bounds, LVIR_BOUNDS);
  ListView_GetItemRect(list_, index, &label, LVIR_LABEL);
  ListView_GetItemRect(list_, index, &icon, LVIR_ICON);
  RECT area = label;
  area.right = HighlightRight(bounds.right, client_width_, fill_to_client);

  HFONT font = reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0));
  HGDIOBJ old_font = font ? SelectObject(dc, font) : nullptr;
  COLORREF old_text = GetTextColor(dc);
  COLORREF old_background = GetBkColor(dc);
  int old_mode = SetBkMode(dc, TRANSPARENT);

  if (highlighted) {
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    SetBkColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    FillRect(dc, &area, GetSysColorBrush(COLOR_HIGHLIGHT));
  } else {
    SetTextColor(dc, text_colour_);
    SetBkColor(dc, text_background_);
    HBRUSH brush = CreateSolidBrush(text_background_);
    FillRect(dc, &area, brush);
    DeleteObject(brush);
  }

  UINT blend = ILD_TRANSPARENT;
  COLORREF blend_colour = CLR_NONE;
  switch (ChoosePictureBlend((item.state & LVIS_CUT) != 0, highlighted)) {
    case PictureBlend::kBackground50:
      blend = ILD_BLEND50;
      blend_colour = background_;
      break;
    case PictureBlend::kHighlight50:
      blend = ILD_BLEND50;
      blend_colour = GetSysColor(COLOR_HIGHLIGHT);
      break;
    case PictureBlend::kTransparent:
      break;
  }

  const int row_height = bounds.bottom - bounds.top;
  HIMAGELIST states = ListView_GetImageList(list_, LVSIL_STATE);
  if (states != nullptr) {
    int picture = StatePictureIndex(item.state, ImageList_GetImageCount(states));
    if (picture >= 0) {
      int cx = 0, cy = 0;
      ImageList_GetIconSize(states, &cx, &cy);
      ImageList_Draw(states, picture, dc, bounds.left, bounds.top + (row_height - cy) / 2,
                     ILD_TRANSPARENT);
    }
  }
  HIMAGELIST pictures = ListView_GetImageList(list_, LVSIL_SMALL);
  if (pictures != nullptr && icon.left < icon.right - 1 && item.iImage >= 0 &&
      item.iImage < ImageList_GetImageCount(pictures)) {
    UINT overlay = (item.state & LVIS_OVERLAYMASK);
    ImageList_DrawEx(pictures, item.iImage, dc, icon.left, icon.top + (row_height - 16) / 2, 16, 16,
                     CLR_DEFAULT, blend_colour, blend | overlay);
  }

  // The texts of every column, shortened where they do not fit.
  std::vector<ColumnInfo> columns;
  std::vector<std::string> texts;
  HWND header = ListView_GetHeader(list_);
  int column_count = header ? Header_GetItemCount(header) : 0;
  for (int c = 0; c < column_count; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    if (!ListView_GetColumn(list_, c, &column)) break;
    columns.push_back({column.cx, AlignOfFormat(column.fmt)});
    texts.push_back(
        Cp932FromWide(c == 0 ? std::wstring(label_buffer) : ItemText(list_, index, c, kCellChars)));
  }
  std::vector<std::string_view> views(texts.begin(), texts.end());
  auto measure = [dc](std::string_view text) {
    std::wstring wide = WideFromCp932(text);
    SIZE size = {};
    GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
    return static_cast<int>(size.cx);
  };
  for (const CellText& cell : LayoutRowTexts(label.left, label.right, columns, views, measure)) {
    if (cell.text.empty()) continue;
    RECT rect = {cell.left, bounds.top, cell.right, bounds.bottom};
    std::wstring wide = WideFromCp932(cell.text);
    DrawTextW(dc, wide.c_str(), static_cast<int>(wide.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DrawTextAlign(cell.align));
  }

  if ((item.state & LVIS_FOCUSED) && has_focus) DrawFocusRect(dc, &area);

  SetBkMode(dc, old_mode);
  SetBkColor(dc, old_background);
  SetTextColor(dc, old_text);
  if (old_font) SelectObject(dc, old_font);
}

void ReportList::InvalidateFullRow(int index) {
  RECT row;
  if (!ListView_GetItemRect(list_, index, &row, LVIR_BOUNDS)) return;
  RECT client;
  GetClientRect(list_, &client);
  row.left = client.left;
  if (client.right > row.right) row.right = client.right;
  InvalidateRect(list_, &row, FALSE);
}

void ReportList::RepaintForFocusChange(HWND other) {
  if (other != nullptr && IsChild(list_, other)) return;
  if (!full_row_selection || !IsReportView()) return;
  int focused = ListView_GetNextItem(list_, -1, LVNI_FOCUSED);
  if (focused >= 0) InvalidateFullRow(focused);
  if ((GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHOWSELALWAYS) == 0) {
    for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED); i >= 0;
         i = ListView_GetNextItem(list_, i, LVNI_SELECTED)) {
      InvalidateFullRow(i);
    }
  }
  UpdateWindow(list_);
}

LRESULT ReportList::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
      LRESULT result = DefSubclassProc(list_, message, wparam, lparam);
      RepaintForFocusChange(reinterpret_cast<HWND>(wparam));
      return result;
    }
    case WM_PAINT:
      // Highlights that reach past the last column: redraw that strip too.
      if (fill_to_client && IsReportView() && ListView_GetItemCount(list_) > 0) {
        RECT first;
        if (ListView_GetItemRect(list_, 0, &first, LVIR_BOUNDS) && first.right < client_width_) {
          RECT client;
          GetClientRect(list_, &client);
          RECT strip = {first.right - 1, client.top, client_width_, client.bottom};
          InvalidateRect(list_, &strip, FALSE);
        }
      }
      break;
    case WM_SIZE:
      client_width_ = LOWORD(lparam);
      break;
    case LVM_SETTEXTCOLOR:
      text_colour_ = static_cast<COLORREF>(lparam);
      break;
    case LVM_SETTEXTBKCOLOR:
      text_background_ = static_cast<COLORREF>(lparam);
      break;
    case LVM_SETBKCOLOR:
      background_ = static_cast<COLORREF>(lparam);
      break;
    case WM_NCDESTROY: {
      HWND list = list_;
      Detach();
      return DefSubclassProc(list, message, wparam, lparam);
    }
    default:
      break;
  }
  return DefSubclassProc(list_, message, wparam, lparam);
}

LRESULT CALLBACK ReportList::SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR, DWORD_PTR self) {
  auto* list = reinterpret_cast<ReportList*>(self);
  if (list == nullptr || list->list_ != hwnd) return DefSubclassProc(hwnd, message, wparam, lparam);
  return list->OnMessage(message, wparam, lparam);
}

}  // namespace tarnu::win32
