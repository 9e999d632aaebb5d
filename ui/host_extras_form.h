// The values of the secure connection dialog ("セキュリティと通信の設定"),
// opened from the host settings dialog, and their check: the host's
// HostExtras as the controls show them.
#ifndef TARNU_UI_HOST_EXTRAS_FORM_H_
#define TARNU_UI_HOST_EXTRAS_FORM_H_

#include <string>

#include "model/host_extras.h"
#include "ui/form_check.h"

namespace tarnu {

struct HostExtrasForm {
  // The combo boxes' positions: 0 none, 1 SSL/TLS, 2 STLS / STARTTLS.
  int pop3_security = 0;
  int smtp_security = 0;
  std::string smtp_user;  // empty: no SMTP authentication
  std::string smtp_password;
  bool auth_without_tls = false;
  // The protocol additions, on unless the user switched them off.
  bool pipelining = true;
  bool uidl = true;
  // Accepted certificates (raw SHA-256); the dialog shows and clears them.
  std::string pop3_fingerprint;
  std::string smtp_fingerprint;
};

HostExtrasForm LoadHostExtrasForm(const HostExtras& extras);

// The dialog's OK, in the order of its controls.
FormCheck Validate(const HostExtrasForm& form);

// Stores the values into `extras` (whose bytes unknown to this version
// stay). A form that does not pass Validate changes nothing (false).
bool StoreHostExtrasForm(const HostExtrasForm& form, HostExtras* extras);

// A security choice as the console names it: "none", "ssl" or "starttls".
bool ParseSecurityName(const std::string& name, int* position);

}  // namespace tarnu

#endif  // TARNU_UI_HOST_EXTRAS_FORM_H_
