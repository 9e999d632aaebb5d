#include "app/win32/host_extras_dialog.h"

#include "app/resource_ids.h"
#include "app/screen_text.h"
#include "ui/control_ids.h"

namespace tarnu::win32 {
namespace {

// The combo boxes' items, in ConnectionSecurity's order.
constexpr const char* kPop3Choices[] = {"なし", "SSL/TLS (POP3S、通常はポート995)",
                                        "STLS (接続後にTLSへ切り替え)"};
constexpr const char* kSmtpChoices[] = {"なし", "SSL/TLS (SMTPS、通常はポート465)",
                                        "STARTTLS (通常はポート587)"};

void FillChoices(HWND combo, const char* const (&choices)[3], int selected) {
  for (const char* choice : choices) {
    std::u16string text = SettingsTextToScreen(choice);
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(WidePointer(text)));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::string FingerprintText(const std::string& raw) {
  return raw.empty() ? std::string("(なし)") : FormatFingerprint(raw);
}

}  // namespace

bool HostExtrasDialog::Run(HWND owner) { return RunModal(owner, IDD_HOST_EXTRAS) == IDOK; }

bool HostExtrasDialog::OnInit() {
  FillChoices(Item(IDC_POP3_SECURITY), kPop3Choices, form_.pop3_security);
  FillChoices(Item(IDC_SMTP_SECURITY), kSmtpChoices, form_.smtp_security);
  SetText(IDC_SMTP_USER, form_.smtp_user);
  SetText(IDC_SMTP_PASSWORD, form_.smtp_password);
  LimitBytes(IDC_SMTP_USER, kExtrasTextCapacity);
  LimitBytes(IDC_SMTP_PASSWORD, kExtrasTextCapacity);
  SetChecked(IDC_SMTP_AUTH_WITHOUT_TLS, form_.auth_without_tls);
  SetChecked(IDC_PIPELINING, form_.pipelining);
  SetChecked(IDC_UIDL, form_.uidl);
  ShowFingerprints();
  UpdateAuthentication();
  return true;
}

void HostExtrasDialog::ShowFingerprints() {
  SetText(IDC_POP3_FINGERPRINT, FingerprintText(form_.pop3_fingerprint));
  SetText(IDC_SMTP_FINGERPRINT, FingerprintText(form_.smtp_fingerprint));
  Enable(IDC_CLEAR_POP3_FINGERPRINT, !form_.pop3_fingerprint.empty());
  Enable(IDC_CLEAR_SMTP_FINGERPRINT, !form_.smtp_fingerprint.empty());
}

// Authenticating without TLS is a choice only where there is something to
// authenticate and no TLS.
void HostExtrasDialog::UpdateAuthentication() {
  const bool plain = SendMessageW(Item(IDC_SMTP_SECURITY), CB_GETCURSEL, 0, 0) == 0;
  Enable(IDC_SMTP_AUTH_WITHOUT_TLS, plain && !Text(IDC_SMTP_USER).empty());
}

void HostExtrasDialog::ReadControls() {
  form_.pop3_security = static_cast<int>(SendMessageW(Item(IDC_POP3_SECURITY), CB_GETCURSEL, 0, 0));
  form_.smtp_security = static_cast<int>(SendMessageW(Item(IDC_SMTP_SECURITY), CB_GETCURSEL, 0, 0));
  form_.smtp_user = Text(IDC_SMTP_USER);
  form_.smtp_password = Text(IDC_SMTP_PASSWORD);
  form_.auth_without_tls = Checked(IDC_SMTP_AUTH_WITHOUT_TLS);
  form_.pipelining = Checked(IDC_PIPELINING);
  form_.uidl = Checked(IDC_UIDL);
}

bool HostExtrasDialog::OnCommand(int id, int code) {
  switch (id) {
    case IDC_CLEAR_POP3_FINGERPRINT:
    case IDC_CLEAR_SMTP_FINGERPRINT:
      if (code == BN_CLICKED) {
        (id == IDC_CLEAR_POP3_FINGERPRINT ? form_.pop3_fingerprint : form_.smtp_fingerprint)
            .clear();
        ShowFingerprints();
      }
      return true;
    case IDC_SMTP_SECURITY:
      if (code == CBN_SELCHANGE) UpdateAuthentication();
      return true;
    case IDC_SMTP_USER:
      if (code == EN_CHANGE) UpdateAuthentication();
      return true;
    case IDOK: {
      ReadControls();
      FormCheck check = Validate(form_);
      if (!check.ok) {
        Refuse(check);
      } else {
        End(IDOK);
      }
      return true;
    }
    default:
      return false;
  }
}

}  // namespace tarnu::win32
