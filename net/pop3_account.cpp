#include "net/pop3_account.h"

namespace tarnu {

Pop3Account AccountOf(const HostEntry& host) {
  Pop3Account account;
  account.apop = host.apop;
  account.user = host.user;
  account.password = host.password;
  account.server = host.server;
  account.port = host.pop3_port;
  account.timeout = host.timeout;
  account.security = host.extras.pop3_security;
  account.accepted_fingerprint = host.extras.pop3_fingerprint;
  account.pipelining = !host.extras.HasOption(kExtraNoPipelining);
  account.uidl = !host.extras.HasOption(kExtraNoUidl);
  return account;
}

}  // namespace tarnu
