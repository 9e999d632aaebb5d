// A report-view list control that draws its own rows: the selection
// highlight spans the whole row (out to the client edge), each row shows a
// state picture and a small picture, and cell texts that do not fit end in
// "...". The control keeps the items, columns and image lists.
#ifndef TARNU_APP_WIN32_REPORT_LIST_H_
#define TARNU_APP_WIN32_REPORT_LIST_H_

#include <windows.h>

#include <string_view>

namespace tarnu::win32 {

// Where a report list's rows come from when it draws them: the row's cell
// texts and its small picture, by the row's index. The control itself keeps
// only the items' states (selection, focus, state picture).
class ReportRows {
 public:
  virtual ~ReportRows() = default;
  virtual std::u16string_view Cell(int row, int column) const = 0;
  // The small picture's index, or -1 for none.
  virtual int SmallPicture(int row) const = 0;
};

// WM_MEASUREITEM of an owner-drawn report list in `dialog`: the dialog
// font's line with a little air, and never less than a picture. It comes
// while the list is created, before the dialog knows its object.
void MeasureReportRow(HWND dialog, MEASUREITEMSTRUCT* measure);

class ReportList {
 public:
  ReportList() = default;
  ReportList(const ReportList&) = delete;
  ReportList& operator=(const ReportList&) = delete;
  ~ReportList() { Detach(); }

  // Takes over an existing list-view control and switches it to report view
  // with owner-drawn rows of fixed height; it draws the rows of `rows`.
  void Attach(HWND list, const ReportRows* rows);
  void Detach();
  HWND hwnd() const { return list_; }

  // The parent's WM_DRAWITEM for this control.
  void DrawItem(const DRAWITEMSTRUCT& item);

  bool full_row_selection = true;
  bool fill_to_client = true;

 private:
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR self);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool IsReportView() const;
  void InvalidateFullRow(int index);
  void DrawPictures(HDC dc, int index, UINT state, bool highlighted, const RECT& bounds,
                    const RECT& icon) const;
  void RepaintForFocusChange(HWND other);

  HWND list_ = nullptr;
  const ReportRows* rows_ = nullptr;
  int client_width_ = 0;
  COLORREF text_colour_ = GetSysColor(COLOR_WINDOWTEXT);
  COLORREF text_background_ = GetSysColor(COLOR_WINDOW);
  COLORREF background_ = GetSysColor(COLOR_WINDOW);
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_REPORT_LIST_H_
