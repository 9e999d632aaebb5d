// One watched POP3 account with its login, check and forwarding settings.
#ifndef TARNU_MODEL_HOST_ENTRY_H_
#define TARNU_MODEL_HOST_ENTRY_H_

#include <cstdint>
#include <string>
#include <vector>

#include "model/host_extras.h"
#include "model/mail_entry.h"

namespace tarnu {

// Switch bits of ForwardRule::switches. The bit order differs from the order
// of the lists; both are fixed by the settings file.
enum ForwardSwitch : std::int32_t {
  kForwardIfSubject = 1,  // list 1
  kForwardIfFrom = 2,     // list 3
  kStopIfSubject = 4,     // list 2
  kStopIfFrom = 8,        // list 4
};

struct ForwardRule {
  std::int32_t switches = 0;
  std::string subject_forward;  // list 1: subject words that forward
  std::string subject_stop;     // list 2: subject words that stop forwarding
  std::string from_forward;     // list 3: From words that forward
  std::string from_stop;        // list 4: From words that stop forwarding
};

// A number no other entry made in this run carries. A copy keeps it, so the
// copies a dialog or a check works on can be matched with the entry they
// came from after the list was edited, reordered or shortened meanwhile.
std::uint64_t NewHostIdentity();

struct HostEntry {
  std::uint64_t identity = NewHostIdentity();  // never stored in a file
  SurveyResult current;                        // what the check in progress found
  SurveyResult history;                        // what the last check that found any mail found
  ForwardRule rule;
  std::string name;    // "ホスト名"
  std::string server;  // POP3 server; also the key of the history records
  std::string password;
  std::string user;
  std::string smtp_server;
  std::string subject_prefix = "Fwd)";
  std::int32_t smtp_port = 25;
  bool apop = false;
  bool forward = false;  // notify new mail to notify_address
  std::string notify_address;
  std::int32_t pop3_port = 110;
  bool check = true;          // visited by the check cycle
  std::int32_t lines = 2;     // body lines asked for with TOP
  std::int32_t timeout = 60;  // seconds; -1 waits without limit
  HostExtras extras;          // secure connections and protocol switches
};

// Ordered as the user added the hosts; positions count from 0.
using HostList = std::vector<HostEntry>;

// The position of the entry with `identity`, or -1 when the list has none.
int FindHost(const HostList& hosts, std::uint64_t identity);

}  // namespace tarnu

#endif  // TARNU_MODEL_HOST_ENTRY_H_
