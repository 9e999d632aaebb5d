#include "app/win32/report_list.h"

#include <commctrl.h>

#include <vector>

#include "app/report_list_logic.h"
#include "app/win32/gdi.h"

namespace tarnu::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1015;
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

void ReportList::Attach(HWND list, const ReportRows* rows) {
  Detach();
  list_ = list;
  rows_ = rows;
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
  if (list_ == nullptr || rows_ == nullptr || static_cast<int>(draw.itemID) < 0) return;
  const int index = static_cast<int>(draw.itemID);
  const UINT state = ListView_GetItemState(list_, index, 0xFFFF);
  const bool has_focus = GetFocus() == list_;
  const bool always = (GetWindowLongPtrW(list_, GWL_STYLE) & LVS_SHOWSELALWAYS) != 0;
  const bool highlighted = IsRowHighlighted((state & LVIS_SELECTED) != 0,
                                            (state & LVIS_DROPHILITED) != 0, has_focus, always);
  RECT bounds, label, icon;
  ListView_GetItemRect(list_, index, &bounds, LVIR_BOUNDS);
  ListView_GetItemRect(list_, index, &label, LVIR_LABEL);
  ListView_GetItemRect(list_, index, &icon, LVIR_ICON);
  RECT area = label;
  area.right = HighlightRight(bounds.right, client_width_, fill_to_client);

  HDC dc = draw.hDC;
  ScopedDcState saved(dc);  // font, colours and mode come back at the end
  if (HFONT font = reinterpret_cast<HFONT>(SendMessageW(list_, WM_GETFONT, 0, 0))) {
    SelectObject(dc, font);
  }
  SetBkMode(dc, TRANSPARENT);
  if (highlighted) {
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    FillRect(dc, &area, GetSysColorBrush(COLOR_HIGHLIGHT));
  } else {
    SetTextColor(dc, text_colour_);
    ScopedBrush brush(CreateSolidBrush(text_background_));
    FillRect(dc, &area, brush.get());
  }
  DrawPictures(dc, index, state, highlighted, bounds, icon);

  std::vector<ColumnInfo> columns;
  std::vector<std::u16string_view> texts;
  HWND header = ListView_GetHeader(list_);
  const int column_count = header ? Header_GetItemCount(header) : 0;
  for (int c = 0; c < column_count; ++c) {
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH;
    if (!ListView_GetColumn(list_, c, &column)) break;
    columns.push_back({column.cx, AlignOfFormat(column.fmt)});
    texts.push_back(rows_->Cell(index, c));
  }
  auto measure = [dc](std::u16string_view text) {
    SIZE size = {};
    GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()),
                          static_cast<int>(text.size()), &size);
    return static_cast<int>(size.cx);
  };
  for (const CellText16& cell : LayoutRowTexts(label.left, label.right, columns, texts, measure)) {
    if (cell.text.empty()) continue;
    RECT rect = {cell.left, bounds.top, cell.right, bounds.bottom};
    DrawTextW(dc, reinterpret_cast<const wchar_t*>(cell.text.c_str()),
              static_cast<int>(cell.text.size()), &rect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DrawTextAlign(cell.align));
  }
  if ((state & LVIS_FOCUSED) && has_focus) DrawFocusRect(dc, &area);
}

void ReportList::DrawPictures(HDC dc, int index, UINT state, bool highlighted, const RECT& bounds,
                              const RECT& icon) const {
  const int row_height = bounds.bottom - bounds.top;
  HIMAGELIST states = ListView_GetImageList(list_, LVSIL_STATE);
  if (states != nullptr) {
    const int picture = StatePictureIndex(state, ImageList_GetImageCount(states));
    if (picture >= 0) {
      int cx = 0, cy = 0;
      ImageList_GetIconSize(states, &cx, &cy);
      ImageList_Draw(states, picture, dc, bounds.left, bounds.top + (row_height - cy) / 2,
                     ILD_TRANSPARENT);
    }
  }
  HIMAGELIST pictures = ListView_GetImageList(list_, LVSIL_SMALL);
  const int small = rows_->SmallPicture(index);
  if (pictures == nullptr || icon.left >= icon.right - 1 || small < 0 ||
      small >= ImageList_GetImageCount(pictures)) {
    return;
  }
  UINT blend = ILD_TRANSPARENT;
  COLORREF blend_colour = CLR_NONE;
  switch (ChoosePictureBlend((state & LVIS_CUT) != 0, highlighted)) {
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
  ImageList_DrawEx(pictures, small, dc, icon.left, icon.top + (row_height - 16) / 2, 16, 16,
                   CLR_DEFAULT, blend_colour, blend | (state & LVIS_OVERLAYMASK));
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
