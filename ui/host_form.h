// The values of the host settings dialog ("接続先ホストの設定") and their
// check.
#ifndef TARNU_UI_HOST_FORM_H_
#define TARNU_UI_HOST_FORM_H_

#include <cstddef>
#include <string>

#include "model/host_entry.h"
#include "ui/form_check.h"

namespace tarnu {

inline constexpr std::size_t kHostTextLimit = 60;  // names, addresses, prefix
// User name and password are typed into 40-byte edits, but their file slots
// hold 36 bytes; a longer value is refused rather than cut.
inline constexpr std::size_t kLoginTypingLimit = 40;
inline constexpr std::size_t kLoginLimit = 36;

struct HostForm {
  std::string name;
  std::string server;
  std::string pop3_port;  // the numbers as typed
  std::string user;
  std::string password;
  std::string lines;
  std::string timeout;
  bool check = true;
  bool apop = false;
  bool forward = false;
  std::string notify_address;
  std::string smtp_server;
  std::string smtp_port;
  std::string subject_prefix;
  ForwardRule rule;   // edited by its own dialog
  HostExtras extras;  // edited by its own dialog (secure connections)
};

HostForm LoadHostForm(const HostEntry& entry);

// The dialog's OK: first every control's format in the dialog's order, then
// the required fields; the first failure decides.
FormCheck Validate(const HostForm& form);

// Stores the edited values into `entry`, whose current result and history
// stay. A form that does not pass Validate changes nothing (false).
bool StoreHostForm(const HostForm& form, HostEntry* entry);

}  // namespace tarnu

#endif  // TARNU_UI_HOST_FORM_H_
