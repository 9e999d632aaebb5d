// The host list dialog ("接続先") and the host settings dialog
// ("接続先ホストの設定") it opens for one entry.
#ifndef TARNU_APP_WIN32_HOST_DIALOGS_H_
#define TARNU_APP_WIN32_HOST_DIALOGS_H_

#include <windows.h>
// commctrl.h needs windows.h first.
#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include "app/win32/dialog.h"
#include "app/win32/report_list.h"
#include "model/host_entry.h"
#include "platform/ui_hooks.h"
#include "ui/host_form.h"
#include "ui/host_list_form.h"

namespace tarnu::win32 {

class HostSettingsDialog : public Dialog {
 public:
  explicit HostSettingsDialog(HostForm form) : form_(std::move(form)) {}

  // True after OK; form() then holds values that passed the checks.
  bool Run(HWND owner);
  const HostForm& form() const { return form_; }

 protected:
  bool OnInit() override;
  // A button of the host's own settings is one more case here.
  bool OnCommand(int id, int code) override;
  const char* HelpTopic() const override { return "serversettei.htm"; }

  // The controls into form_, without checking them.
  void ReadControls();
  void UpdateForwarding();
  void EditRule();
  bool Accept();

  HostForm form_;
};

class HostListDialog : public Dialog, private ReportRows {
 public:
  HostListDialog(const HostList& hosts, UserMessages* messages)
      : form_(hosts), messages_(messages) {}
  ~HostListDialog() override;

  // True after OK; form() then holds the working list to commit.
  bool Run(HWND owner);
  const HostListForm& form() const { return form_; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnDpiChanged(UINT old_dpi, UINT new_dpi) override;
  const char* HelpTopic() const override { return "serversettei.htm"; }

  void Fill();
  int SelectedRow() const;
  // ReportRows: the rows as Fill() last converted them.
  std::u16string_view Cell(int row, int column) const override;
  int SmallPicture(int) const override { return -1; }
  void AddHost();
  void EditHost();
  void DeleteHost();

  HostListForm form_;
  UserMessages* messages_;
  ReportList list_;
  std::vector<std::array<std::u16string, 3>> cells_;
  HIMAGELIST pictures_ = nullptr;
};

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_HOST_DIALOGS_H_
