#include "app/win32/settings_dialog.h"

#include <commdlg.h>

#include "app/resource_ids.h"
#include "app/win32/font.h"
#include "ui/control_ids.h"

namespace tarnu::win32 {
namespace {

constexpr int kPeriodicControls[] = {IDC_INTERVAL_LABEL, IDC_INTERVAL, IDC_INTERVAL_UNIT,
                                     IDC_NO_CHECK_AT_START};

}  // namespace

bool SettingsDialog::Run(HWND owner) { return RunModal(owner, IDD_SETTINGS) == IDOK; }

bool SettingsDialog::OnInit() {
  Fill();
  LimitBytes(IDC_QUOTE, kQuoteLimit);
  UpdatePeriodic();
  return true;
}

void SettingsDialog::Fill() {
  SetChecked(IDC_PERIODIC_CHECK, form_.periodic_check);
  SetText(IDC_INTERVAL, form_.interval);
  SetChecked(IDC_NO_CHECK_AT_START, form_.no_check_at_start);
  SetText(IDC_QUOTE, form_.quote);
  SetText(IDC_FONT_NAME, FontNameText(form_.font));
  SetChecked(IDC_AUTO_OPEN, form_.auto_open);
  SetChecked(IDC_NO_POSITION_RESTORE, form_.no_position_restore);
  SetChecked(IDC_NO_HISTORY_AT_START, form_.no_history_at_start);
}

void SettingsDialog::ReadControls() {
  form_.periodic_check = Checked(IDC_PERIODIC_CHECK);
  form_.interval = Text(IDC_INTERVAL);
  form_.no_check_at_start = Checked(IDC_NO_CHECK_AT_START);
  form_.quote = Text(IDC_QUOTE);
  form_.auto_open = Checked(IDC_AUTO_OPEN);
  form_.no_position_restore = Checked(IDC_NO_POSITION_RESTORE);
  form_.no_history_at_start = Checked(IDC_NO_HISTORY_AT_START);
}

void SettingsDialog::UpdatePeriodic() {
  const bool on = Checked(IDC_PERIODIC_CHECK);
  for (int id : kPeriodicControls) Enable(id, on);
}

void SettingsDialog::ChooseDisplayFont() {
  // The typed values first, checked as on OK; a refusal is shown, and the
  // font selection opens all the same.
  ReadControls();
  FormCheck check = Validate(form_);
  if (!check.ok) Refuse(check);
  LOGFONTW font = ToLogFontW(form_.font);
  CHOOSEFONTW choose = {};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = hwnd();
  choose.lpLogFont = &font;
  // No vertical ("@") faces: the body is an edit of horizontal lines, where
  // they show every character turned on its side.
  choose.Flags = CF_SCREENFONTS | CF_EFFECTS | CF_INITTOLOGFONTSTRUCT | CF_NOVERTFONTS;
  choose.rgbColors = form_.font_colour;
  if (!ChooseFontW(&choose)) return;
  form_.font = FromLogFontW(font);
  form_.font_colour = choose.rgbColors;
  Fill();
  UpdatePeriodic();
}

bool SettingsDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDC_PERIODIC_CHECK:
      if (code == BN_CLICKED) UpdatePeriodic();
      return true;
    case IDC_CHOOSE_FONT:
      if (code == BN_CLICKED) ChooseDisplayFont();
      return true;
    case IDOK: {
      ReadControls();
      FormCheck check = Validate(form_);
      if (check.ok) {
        End(IDOK);
      } else {
        Refuse(check);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace tarnu::win32
