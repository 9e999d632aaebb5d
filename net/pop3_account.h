// What a POP3 dialogue needs to reach one mailbox.
#ifndef TARNU_NET_POP3_ACCOUNT_H_
#define TARNU_NET_POP3_ACCOUNT_H_

#include <string>

#include "model/host_entry.h"
#include "model/host_extras.h"

namespace tarnu {

class CertificateTrust;

struct Pop3Account {
  bool apop = false;
  std::string user;
  std::string password;
  std::string server;
  int port = 110;
  int timeout = 60;  // seconds for every reply; -1 waits without limit
  ConnectionSecurity security = ConnectionSecurity::kNone;
  std::string accepted_fingerprint;  // raw SHA-256 of a certificate the user accepted
  std::string ca_file;               // more trusted roots (PEM), from the console only
  // Asked about a certificate that does not verify; null refuses it. Only
  // the check in progress sets it (AccountOf never does).
  CertificateTrust* trust = nullptr;
  // Protocol additions the survey uses when the server offers them.
  bool pipelining = true;  // RFC 2449 PIPELINING
  bool uidl = true;        // UIDL with the cache of known messages
};

// The account of a configured host: the one place that says which host
// fields a POP3 dialogue uses (the survey, and the detail window's retrieval
// of a whole message).
Pop3Account AccountOf(const HostEntry& host);

}  // namespace tarnu

#endif  // TARNU_NET_POP3_ACCOUNT_H_
