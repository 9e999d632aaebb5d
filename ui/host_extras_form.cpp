#include "ui/host_extras_form.h"

#include "ui/control_ids.h"

namespace tarnu {
namespace {

ConnectionSecurity SecurityAt(int position) {
  switch (position) {
    case 1:
      return ConnectionSecurity::kTls;
    case 2:
      return ConnectionSecurity::kStartTls;
    default:
      return ConnectionSecurity::kNone;
  }
}

}  // namespace

HostExtrasForm LoadHostExtrasForm(const HostExtras& extras) {
  HostExtrasForm form;
  form.pop3_security = static_cast<int>(extras.pop3_security);
  form.smtp_security = static_cast<int>(extras.smtp_security);
  form.smtp_user = extras.smtp_user;
  form.smtp_password = extras.smtp_password;
  form.auth_without_tls = extras.HasOption(kExtraSmtpAuthWithoutTls);
  form.pipelining = !extras.HasOption(kExtraNoPipelining);
  form.uidl = !extras.HasOption(kExtraNoUidl);
  form.pop3_fingerprint = extras.pop3_fingerprint;
  form.smtp_fingerprint = extras.smtp_fingerprint;
  return form;
}

FormCheck Validate(const HostExtrasForm& form) {
  FormCheck failure;
  if (form.pop3_security < 0 || form.pop3_security > 2) {
    return FormCheck::Failed(RangeMessage(0, 2), IDC_POP3_SECURITY);
  }
  if (form.smtp_security < 0 || form.smtp_security > 2) {
    return FormCheck::Failed(RangeMessage(0, 2), IDC_SMTP_SECURITY);
  }
  if (!CheckLength(form.smtp_user, kExtrasTextCapacity, IDC_SMTP_USER, &failure) ||
      !CheckLength(form.smtp_password, kExtrasTextCapacity, IDC_SMTP_PASSWORD, &failure)) {
    return failure;
  }
  // A password without a user name would be kept but never used.
  if (form.smtp_user.empty() && !form.smtp_password.empty()) {
    return FormCheck::Failed("SMTP認証のユーザ名を設定してください", IDC_SMTP_USER);
  }
  return FormCheck::Passed();
}

bool StoreHostExtrasForm(const HostExtrasForm& form, HostExtras* extras) {
  if (!Validate(form).ok) return false;
  extras->pop3_security = SecurityAt(form.pop3_security);
  extras->smtp_security = SecurityAt(form.smtp_security);
  extras->smtp_user = form.smtp_user;
  extras->smtp_password = form.smtp_password;
  extras->SetOption(kExtraSmtpAuthWithoutTls, form.auth_without_tls);
  extras->SetOption(kExtraNoPipelining, !form.pipelining);
  extras->SetOption(kExtraNoUidl, !form.uidl);
  extras->pop3_fingerprint = form.pop3_fingerprint;
  extras->smtp_fingerprint = form.smtp_fingerprint;
  return true;
}

bool ParseSecurityName(const std::string& name, int* position) {
  if (name == "none") {
    *position = 0;
  } else if (name == "ssl") {
    *position = 1;
  } else if (name == "starttls") {
    *position = 2;
  } else {
    return false;
  }
  return true;
}

}  // namespace tarnu
