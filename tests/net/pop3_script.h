// Compact server scripts for the POP3 tests: a table row can hold the whole
// server side of a dialogue.
#ifndef TARNU_TESTS_NET_POP3_SCRIPT_H_
#define TARNU_TESTS_NET_POP3_SCRIPT_H_

#include <string>
#include <utility>
#include <vector>

#include "net/pop3_account.h"
#include "tests/support/scripted_peer.h"

namespace tarnu::testing {

// A step: 'S' send, 'P' send in one-byte pieces, 'E' expect a line, 'Z' stay
// silent (milliseconds in the text), 'W' shut down writing, 'R' reset, 'N'
// wait for the client to close and take its next connection.
using Script = std::vector<std::pair<char, std::string>>;

inline void Load(ScriptedPeer* peer, const Script& script) {
  for (const auto& [kind, text] : script) {
    switch (kind) {
      case 'S':
        peer->Send(text);
        break;
      case 'P':
        peer->SendInPieces(text, 1);
        break;
      case 'E':
        peer->Expect(text);
        break;
      case 'Z':
        peer->Silence(std::stoi(text));
        break;
      case 'W':
        peer->ShutdownWrite();
        break;
      case 'R':
        peer->Reset();
        break;
      case 'N':
        peer->NextClient();
        break;
    }
  }
}

// The greeting and USER/PASS login that most scripts start with.
inline Script LoginScript() {
  return {{'S', "+OK ready\r\n"},
          {'E', "USER alice\r\n"},
          {'S', "+OK\r\n"},
          {'E', "PASS secret\r\n"},
          {'S', "+OK\r\n"}};
}

inline Script operator+(Script a, const Script& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Pop3Account PeerAccount(const ScriptedPeer& peer, bool apop = false, int timeout = 1) {
  Pop3Account account;
  account.apop = apop;
  account.user = "alice";
  account.password = "secret";
  account.server = "127.0.0.1";
  account.port = peer.port();
  account.timeout = timeout;
  // The plain dialogue; tests of the protocol additions switch them on.
  account.pipelining = false;
  account.uidl = false;
  return account;
}

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_NET_POP3_SCRIPT_H_
