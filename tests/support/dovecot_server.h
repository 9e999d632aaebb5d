// A real Dovecot POP3 server for one test program, started and stopped by
// the test (Linux, as root). It wraps tests/support/dovecot.sh and
// tests/support/mkmail.py, which shell scripts and benchmarks use directly.
//
//   DovecotServer server;
//   ASSERT_TRUE(server.Start({{"alice", "secret", "fixtures"}, {"bob", "secret", ""}}))
//       << server.error();
//   ... POP3 against 127.0.0.1:server.port() ...
//   server.Stop();  // or let the destructor do it
//
// A missing or failing Dovecot makes Start return false: the tests that need
// it fail rather than skip.
#ifndef TARNU_TESTS_SUPPORT_DOVECOT_SERVER_H_
#define TARNU_TESTS_SUPPORT_DOVECOT_SERVER_H_

#include <string>
#include <vector>

namespace tarnu::testing {

// The source tree's tests/support directory (from TARNU_SOURCE_DIR, which
// CTest sets, else the tree this was built from).
std::string SupportDir();

class DovecotServer {
 public:
  struct Account {
    std::string user;
    std::string password;
    // What mkmail.py writes into the Maildir: "fixtures", "bulk N SIZE", or
    // "" for an empty mailbox.
    std::string messages;
  };

  // One message file as it lies in the Maildir.
  struct MailFile {
    std::string folder;  // "new" or "cur"
    std::string name;    // without the ":2,FLAGS" part
    std::string flags;   // the Maildir flags, e.g. "S" once seen
    std::string contents;
  };

  DovecotServer() = default;
  ~DovecotServer();
  DovecotServer(const DovecotServer&) = delete;
  DovecotServer& operator=(const DovecotServer&) = delete;

  // Makes a fresh scratch directory, the accounts and their messages, and
  // starts the server on a free loopback port. False (with error()) when
  // anything fails.
  bool Start(const std::vector<Account>& accounts);
  // Before Start: serve TLS with this certificate and key (PEM files): STLS
  // on port() and POP3S on pop3s_port().
  void UseTls(std::string cert, std::string key) {
    tls_cert_ = std::move(cert);
    tls_key_ = std::move(key);
  }
  // Stops the server and removes the scratch directory.
  void Stop();

  int port() const { return port_; }
  int pop3s_port() const { return pop3s_port_; }
  const std::string& dir() const { return dir_; }
  const std::string& error() const { return error_; }
  std::string Maildir(const std::string& user) const;
  // The message files of `user`, sorted by name.
  std::vector<MailFile> ListMail(const std::string& user) const;
  // Waits (at most `timeout_ms`) until the log shows `count` POP3 sessions
  // that ended, and returns their closing lines ("... Logged out top=2/60,
  // retr=0/0, del=0/5, size=2540"). A client does not wait for the answer to
  // its QUIT, so the server may still be finishing a session (and setting
  // flags) when the client returns.
  std::vector<std::string> WaitForSessions(std::size_t count, int timeout_ms = 5000) const;

 private:
  std::string dir_;
  std::string error_;
  int port_ = 0;
  int pop3s_port_ = 0;
  bool running_ = false;
  std::string tls_cert_;
  std::string tls_key_;
};

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_DOVECOT_SERVER_H_
