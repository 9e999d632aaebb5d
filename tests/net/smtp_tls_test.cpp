// Forwarding through a real SMTP server (aiosmtpd) with STARTTLS, SMTPS and
// SMTP AUTH, its certificate from a private test CA: the notification
// arrives byte for byte as over plain SMTP, and every refusal keeps the
// password from the server.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "model/host_extras.h"
#include "net/smtp_forward.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/smtp_server.h"
#include "tests/support/test_ca.h"

namespace tarnu {
namespace {

using testing::Hex;
using testing::SmtpServer;
using testing::TestCa;

HostEntry Host(const SmtpServer& server, ConnectionSecurity security, const std::string& user,
               const std::string& password) {
  HostEntry host;
  host.name = "host";
  host.forward = true;
  host.smtp_server = "localhost";
  host.smtp_port = server.port();
  host.notify_address = "notify@example.com";
  host.timeout = 5;
  host.extras.smtp_security = security;
  host.extras.smtp_user = user;
  host.extras.smtp_password = password;
  return host;
}

MailEntry Entry() {
  MailEntry entry;
  entry.subject = "テスト件名";
  entry.from = "送信者 <sender@example.com>";
  entry.to = "alice@example.com";
  entry.body = "本文一行目\r\n.dot line\r\n";
  return entry;
}

// The stored mail without what differs from run to run or server to
// server: the Date value and the X-Auth line.
std::string Comparable(std::string mail) {
  mail = std::regex_replace(mail, std::regex("\r\nDate: [^\r]*\r\n"), "\r\nDate: -\r\n");
  return std::regex_replace(mail, std::regex("X-Auth: [^\r]*\r\n"), "");
}

class SmtpTls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ca_ = new TestCa;
    ASSERT_TRUE(ca_->Make()) << ca_->error();
  }
  static void TearDownTestSuite() {
    delete ca_;
    ca_ = nullptr;
  }

  // A server of `mode` with certificate `cert`, accepting bob:pw.
  static SmtpServer::Secure Server(const std::string& mode, const std::string& cert = "localhost") {
    SmtpServer::Secure secure;
    secure.mode = mode;
    if (mode != "plain") {
      secure.cert = ca_->cert(cert);
      secure.key = ca_->key(cert);
    }
    secure.user = "bob:pw";
    return secure;
  }

  static SecureOptions WithCa() {
    SecureOptions options;
    options.ca_file = ca_->ca();
    return options;
  }

  // What the plain dialogue delivers for Entry(), for comparison.
  static std::string PlainDelivery() {
    SmtpServer plain;
    std::string error;
    EXPECT_TRUE(plain.Start(&error)) << error;
    MailEntry entry = Entry();
    HostEntry host = Host(plain, ConnectionSecurity::kNone, "", "");
    host.smtp_server = "127.0.0.1";
    EXPECT_EQ(ForwardMail(host, &entry, nullptr), 0) << entry.state;
    std::vector<std::string> mails = plain.Mails();
    return mails.size() == 1 ? Comparable(mails[0]) : std::string();
  }

  static TestCa* ca_;
};
TestCa* SmtpTls::ca_ = nullptr;

TEST_F(SmtpTls, NotificationArrivesThroughEverySecureMode) {
  const std::string expected = PlainDelivery();
  ASSERT_FALSE(expected.empty());
  struct Case {
    const char* name;
    SmtpServer::Secure server;
    ConnectionSecurity security;
    std::string user;
    bool allow_plain_auth;
    std::string auth_log;  // what the server saw of AUTH
  } cases[] = {
      {"STARTTLS, AUTH PLAIN", Server("starttls"), ConnectionSecurity::kStartTls, "bob", false,
       "PLAIN bob pw secure\n"},
      {"SMTPS, AUTH PLAIN", Server("smtps"), ConnectionSecurity::kTls, "bob", false,
       "PLAIN bob pw secure\n"},
      {"STARTTLS without AUTH", Server("starttls"), ConnectionSecurity::kStartTls, "", false, ""},
      {"SMTPS without AUTH", Server("smtps"), ConnectionSecurity::kTls, "", false, ""},
      {"plain text AUTH, allowed by the user", Server("plain"), ConnectionSecurity::kNone, "bob",
       true, "PLAIN bob pw plain\n"},
  };
  cases[4].server.auth_plain_text = true;
  for (Case& c : cases) {
    SmtpServer server;
    std::string error;
    ASSERT_TRUE(server.Start(c.server, &error)) << error;
    HostEntry host = Host(server, c.security, c.user, c.user.empty() ? "" : "pw");
    host.extras.SetOption(kExtraSmtpAuthWithoutTls, c.allow_plain_auth);
    MailEntry entry = Entry();
    testing::CountingPump pump;
    EXPECT_EQ(ForwardMail(host, &entry, &pump, WithCa()), 0) << c.name << ": " << entry.state;
    EXPECT_EQ(entry.state, "") << c.name;
    std::vector<std::string> mails = server.Mails();
    ASSERT_EQ(mails.size(), 1u) << c.name;
    EXPECT_EQ(Hex(Comparable(mails[0])), Hex(expected)) << c.name;
    EXPECT_NE(mails[0].find("X-Auth: " + (c.user.empty() ? std::string("-") : c.user) + "\r\n"),
              std::string::npos)
        << c.name;
    EXPECT_EQ(server.AuthLog(), c.auth_log) << c.name;
  }
}

TEST_F(SmtpTls, AuthLoginWhenPlainIsNotOffered) {
  SmtpServer::Secure secure = Server("starttls");
  secure.no_plain = true;
  SmtpServer server;
  std::string error;
  ASSERT_TRUE(server.Start(secure, &error)) << error;
  MailEntry entry = Entry();
  EXPECT_EQ(ForwardMail(Host(server, ConnectionSecurity::kStartTls, "bob", "pw"), &entry, nullptr,
                        WithCa()),
            0)
      << entry.state;
  EXPECT_EQ(server.AuthLog(), "LOGIN bob pw secure\n");
  EXPECT_EQ(server.Mails().size(), 1u);
}

// Every refusal: its text, no mail, and the password never reached the
// server.
TEST_F(SmtpTls, Refusals) {
  const std::string refused = "転送時サーバ証明書を確認できないため、接続を中止しました\r\n";
  struct Case {
    const char* name;
    SmtpServer::Secure server;
    ConnectionSecurity security;
    std::string host;
    std::string password;
    bool allow_plain_auth;
    std::string state;  // a prefix of the state text
  } cases[] = {
      {"STARTTLS not offered", Server("plain"), ConnectionSecurity::kStartTls, "localhost", "pw",
       false, "転送時サーバがSTARTTLS(TLSへの切り替え)に応じません\r\n250 HELP\r\n"},
      {"no AUTH offered over plain text", Server("starttls"), ConnectionSecurity::kNone,
       "localhost", "pw", true, "転送時サーバがSMTP認証(AUTH PLAIN/LOGIN)に対応していません"},
      {"AUTH over plain text not allowed", Server("plain"), ConnectionSecurity::kNone, "localhost",
       "pw", false,
       "転送時SMTP認証は暗号化した接続でのみ行います(暗号化しない認証はホストの設定で許可できま"
       "す)"},
      {"self-signed certificate", Server("smtps", "self"), ConnectionSecurity::kTls, "localhost",
       "pw", false,
       refused + "・証明書の発行者が信頼されていません\r\nSHA-256: " + ca_->Fingerprint("self")},
      {"wrong name through STARTTLS", Server("starttls"), ConnectionSecurity::kStartTls,
       "127.0.0.1", "pw", false,
       refused + "・証明書は 127.0.0.1 のものではありません\r\nSHA-256: " +
           ca_->Fingerprint("localhost")},
      {"expired certificate", Server("smtps", "expired"), ConnectionSecurity::kTls, "localhost",
       "pw", false,
       refused + "・証明書の有効期限が切れています\r\nSHA-256: " + ca_->Fingerprint("expired")},
  };
  cases[0].server.auth_plain_text = true;
  for (Case& c : cases) {
    SmtpServer server;
    std::string error;
    ASSERT_TRUE(server.Start(c.server, &error)) << error;
    HostEntry host = Host(server, c.security, "bob", c.password);
    host.smtp_server = c.host;
    host.extras.SetOption(kExtraSmtpAuthWithoutTls, c.allow_plain_auth);
    MailEntry entry = Entry();
    EXPECT_EQ(ForwardMail(host, &entry, nullptr, WithCa()), -1) << c.name;
    EXPECT_EQ(Hex(entry.state.substr(0, c.state.size())), Hex(c.state)) << c.name;
    EXPECT_EQ(entry.state.size(), c.state.size()) << c.name;
    EXPECT_TRUE(server.Mails().empty()) << c.name;
    EXPECT_EQ(server.AuthLog(), "") << c.name;
  }
}

TEST_F(SmtpTls, WrongPasswordIsRefusedWithTheServersLine) {
  SmtpServer server;
  std::string error;
  ASSERT_TRUE(server.Start(Server("smtps"), &error)) << error;
  MailEntry entry = Entry();
  EXPECT_EQ(ForwardMail(Host(server, ConnectionSecurity::kTls, "bob", "wrong"), &entry, nullptr,
                        WithCa()),
            -1);
  EXPECT_EQ(entry.state,
            "転送時サーバが認証しません\r\n535 5.7.8 Authentication credentials invalid\r\n");
  EXPECT_TRUE(server.Mails().empty());
}

TEST_F(SmtpTls, AcceptedCertificateOfTheSmtpServer) {
  SmtpServer server;
  std::string error;
  ASSERT_TRUE(server.Start(Server("starttls", "self"), &error)) << error;
  HostEntry host = Host(server, ConnectionSecurity::kStartTls, "bob", "pw");
  ASSERT_TRUE(ParseFingerprint(ca_->Fingerprint("self"), &host.extras.smtp_fingerprint));
  MailEntry entry = Entry();
  EXPECT_EQ(ForwardMail(host, &entry, nullptr), 0) << entry.state;
  EXPECT_EQ(server.AuthLog(), "PLAIN bob pw secure\n");
}

}  // namespace
}  // namespace tarnu
