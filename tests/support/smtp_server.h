// A real SMTP server for tests: aiosmtpd on a free loopback port, storing
// every accepted mail byte for byte (with X-Envelope-From, X-Envelope-To and
// X-Helo lines in front) into a scratch Maildir.
#ifndef TARNU_TESTS_SUPPORT_SMTP_SERVER_H_
#define TARNU_TESTS_SUPPORT_SMTP_SERVER_H_

#include <string>
#include <vector>

namespace tarnu::testing {

class SmtpServer {
 public:
  // A server with TLS and SMTP AUTH (tests/support/smtp_tls_server.py).
  struct Secure {
    std::string mode;  // "plain", "starttls" or "smtps"
    std::string cert;  // PEM files of the server's certificate and key
    std::string key;
    std::string user;              // "login:password" AUTH accepts; empty: no AUTH
    bool auth_plain_text = false;  // offer AUTH without TLS too
    bool no_plain = false;         // offer AUTH LOGIN only
  };

  SmtpServer() = default;
  ~SmtpServer();
  SmtpServer(const SmtpServer&) = delete;
  SmtpServer& operator=(const SmtpServer&) = delete;

  // Starts the server and waits for its greeting. False (with `error`) when
  // it cannot run here (no aiosmtpd, or not a POSIX system).
  bool Start(std::string* error);
  bool Start(const Secure& secure, std::string* error);
  void Stop();

  int port() const { return port_; }
  // The stored mails in the order they were accepted.
  std::vector<std::string> Mails() const;
  // Every AUTH attempt the server received, one line each:
  // "MECHANISM LOGIN PASSWORD secure|plain".
  std::string AuthLog() const;

 private:
  std::string dir_;
  int pid_ = -1;
  int port_ = 0;
};

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_SMTP_SERVER_H_
