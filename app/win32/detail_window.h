// The mail detail window ("受信メールの詳細"): one message of the result
// list, its whole text fetched on demand, and the quoted copy to the
// clipboard. It works on its own copy of the row's record.
#ifndef TARNU_APP_WIN32_DETAIL_WINDOW_H_
#define TARNU_APP_WIN32_DETAIL_WINDOW_H_

#include "app/result_rows.h"
#include "app/win32/dialog.h"
#include "app/win32/font.h"
#include "app/win32/gdi.h"
#include "model/app_settings.h"
#include "platform/ui_hooks.h"
#include "ui/detail_view.h"

namespace tarnu::win32 {

class DetailWindow : public Dialog {
 public:
  // `settings` gives the font, colour and quote string, and takes the
  // window's own font when none was chosen; `pump` keeps the program alive
  // while the whole text is fetched.
  DetailWindow(const ResultRow& row, AppSettings* settings, MessagePump* pump)
      : row_(row), settings_(settings), pump_(pump) {}

  void Run(HWND owner);

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnDpiChanged(UINT old_dpi, UINT new_dpi) override;
  const char* HelpTopic() const override { return "maildetail.htm"; }

  void Fill();
  void SetBodyFont();
  void LayOut();
  void FetchFullText();
  void CopyQuoted();

  ResultRow row_;
  AppSettings* settings_;
  MessagePump* pump_;
  DetailTexts texts_;
  ScopedFont body_font_;
  // The template's places, in client pixels, that the layout keeps.
  Box body_, copy_, full_text_, close_;
  bool laid_out_ = false;
  bool fetching_ = false;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_DETAIL_WINDOW_H_
