// POP3 over TLS against real Dovecot servers holding certificates of a
// private test CA: POP3S and STLS with USER/PASS and APOP, and every reason
// a certificate is refused, each without the login ever reaching the server.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "model/host_extras.h"
#include "net/survey.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/test_ca.h"

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::DovecotServer;
using testing::Escape;
using testing::RecordingStatus;
using testing::TestCa;

const std::string kRefused = "サーバ証明書を確認できないため、接続を中止しました\r\n";
const std::string kUntrusted = "・証明書の発行者が信頼されていません\r\n";
const std::string kExpired = "・証明書の有効期限が切れています\r\n";
const std::string kChanged = "・以前に受け入れた証明書と異なります\r\n";

// A certificate name's fingerprint as raw bytes, from openssl's colon form.
std::string RawFingerprint(const TestCa& ca, const std::string& name) {
  std::string raw;
  EXPECT_TRUE(ParseFingerprint(ca.Fingerprint(name), &raw)) << name;
  return raw;
}

std::string LogOf(const DovecotServer& server) {
  std::ifstream in(server.dir() + "/dovecot.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The server's log from byte `from` on, once the login process has logged
// `count` ended connections there (at most five seconds later).
std::string LogAfter(const DovecotServer& server, std::size_t from, std::size_t count) {
  std::string part;
  for (int i = 0; i < 500; ++i) {
    std::string log = LogOf(server);
    part = from < log.size() ? log.substr(from) : std::string();
    std::size_t ended = 0;
    for (std::size_t at = part.find("pop3-login: Info: Disconnected"); at != std::string::npos;
         at = part.find("pop3-login: Info: Disconnected", at + 1)) {
      ++ended;
    }
    if (ended >= count) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return part;
}

class Pop3Tls : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ca_ = new TestCa;
    ASSERT_TRUE(ca_->Make()) << ca_->error();
    for (const char* name : {"localhost", "expired", "self", "self2"}) {
      auto* server = new DovecotServer;
      server->UseTls(ca_->cert(name), ca_->key(name));
      ASSERT_TRUE(server->Start({{"alice", "secret", "fixtures"}})) << server->error();
      servers_.push_back(server);
    }
  }
  static void TearDownTestSuite() {
    for (DovecotServer* server : servers_) delete server;
    servers_.clear();
    delete ca_;
    ca_ = nullptr;
  }

  // The server holding certificate `name`.
  static const DovecotServer& Server(const std::string& name) {
    static const char* const kNames[] = {"localhost", "expired", "self", "self2"};
    for (std::size_t i = 0; i < servers_.size(); ++i) {
      if (name == kNames[i]) return *servers_[i];
    }
    return *servers_.front();
  }

  static Pop3Account Account(const std::string& cert, ConnectionSecurity security, bool apop) {
    const DovecotServer& server = Server(cert);
    Pop3Account a;
    a.apop = apop;
    a.user = "alice";
    a.password = "secret";
    a.server = "localhost";
    a.port = security == ConnectionSecurity::kTls ? server.pop3s_port() : server.port();
    a.timeout = 5;
    a.security = security;
    a.ca_file = ca_->ca();
    return a;
  }

  static TestCa* ca_;
  static std::vector<DovecotServer*> servers_;
};
TestCa* Pop3Tls::ca_ = nullptr;
std::vector<DovecotServer*> Pop3Tls::servers_;

TEST_F(Pop3Tls, SurveyThroughPop3sAndStlsFindsWhatThePlainSurveyFinds) {
  SurveyResult plain;
  ASSERT_EQ(SurveyMailbox(nullptr, Account("localhost", ConnectionSecurity::kNone, false), 2,
                          &plain, nullptr, nullptr),
            0)
      << plain.error;
  ASSERT_EQ(plain.mails.size(), 5u);
  int logins = 0;
  for (ConnectionSecurity security : {ConnectionSecurity::kTls, ConnectionSecurity::kStartTls}) {
    for (bool apop : {false, true}) {
      RecordingStatus status("T");
      CountingPump pump;
      SurveyResult result;
      EXPECT_EQ(
          SurveyMailbox(&status, Account("localhost", security, apop), 2, &result, &pump, nullptr),
          0)
          << result.error;
      ++logins;
      EXPECT_EQ(result.mailbox_size, plain.mailbox_size);
      ASSERT_EQ(result.mails.size(), plain.mails.size());
      for (std::size_t i = 0; i < plain.mails.size(); ++i) {
        EXPECT_EQ(result.mails[i].subject, plain.mails[i].subject);
        EXPECT_EQ(result.mails[i].body, plain.mails[i].body);
        EXPECT_EQ(result.mails[i].size, plain.mails[i].size);
      }
      EXPECT_EQ(status.title, "T");
    }
  }
  // Dovecot marks a login that came through TLS: all four did.
  std::string log = LogOf(Server("localhost"));
  std::size_t tls_logins = 0;
  for (std::size_t at = log.find("Login: user=<alice>"); at != std::string::npos;
       at = log.find("Login: user=<alice>", at + 1)) {
    std::size_t end = log.find('\n', at);
    if (log.substr(at, end - at).find(", TLS") != std::string::npos) ++tls_logins;
  }
  EXPECT_EQ(tls_logins, 4u) << log;
  EXPECT_NE(log.find("method=APOP"), std::string::npos);
}

// Every refusal: its text with the certificate's fingerprint (openssl's
// reading of the same file as the oracle), through POP3S and STLS, and the
// server never saw a login.
TEST_F(Pop3Tls, CertificatesThatDoNotVerifyAreRefused) {
  struct Case {
    const char* name;
    std::string cert;  // the server's
    std::string host;  // connected to
    bool ca_file;
    std::string accepted;  // certificate whose fingerprint the user accepted
    std::string reasons;
  } cases[] = {
      {"wrong name", "localhost", "127.0.0.1", true, "",
       "・証明書は 127.0.0.1 のものではありません\r\n"},
      {"expired", "expired", "localhost", true, "", kExpired},
      {"self-signed", "self", "localhost", true, "", kUntrusted},
      {"issuer unknown without the CA file", "localhost", "localhost", false, "", kUntrusted},
      {"changed since accepted", "self2", "localhost", true, "self", kChanged + kUntrusted},
      {"another host's acceptance", "expired", "localhost", true, "self", kChanged + kExpired},
  };
  std::vector<std::size_t> log_sizes;
  for (const DovecotServer* server : servers_) log_sizes.push_back(LogOf(*server).size());
  for (const Case& c : cases) {
    for (ConnectionSecurity security : {ConnectionSecurity::kTls, ConnectionSecurity::kStartTls}) {
      Pop3Account account = Account(c.cert, security, false);
      account.server = c.host;
      if (!c.ca_file) account.ca_file.clear();
      if (!c.accepted.empty()) account.accepted_fingerprint = RawFingerprint(*ca_, c.accepted);
      RecordingStatus status("T");
      SurveyResult result;
      EXPECT_EQ(SurveyMailbox(&status, account, 2, &result, nullptr, nullptr), -1) << c.name;
      EXPECT_EQ(Escape(result.error),
                Escape(kRefused + c.reasons + "SHA-256: " + ca_->Fingerprint(c.cert)))
          << c.name << " " << static_cast<int>(security);
      EXPECT_TRUE(result.mails.empty());
      EXPECT_EQ(status.title, "T");
    }
  }
  // Each server saw its connections end before any login (two per row).
  const std::size_t ended[] = {4, 4, 2, 2};
  for (std::size_t i = 0; i < servers_.size(); ++i) {
    std::string part = LogAfter(*servers_[i], log_sizes[i], ended[i]);
    EXPECT_EQ(part.find("user=<alice>"), std::string::npos) << part;
    EXPECT_NE(part.find("pop3-login: Info: Disconnected"), std::string::npos) << i;
  }
}

TEST_F(Pop3Tls, ServerWithoutTlsRefusesStlsAndNothingElseIsSent) {
  DovecotServer plain;
  ASSERT_TRUE(plain.Start({{"alice", "secret", "fixtures"}})) << plain.error();
  Pop3Account account = Account("localhost", ConnectionSecurity::kStartTls, false);
  account.port = plain.port();
  SurveyResult result;
  EXPECT_EQ(SurveyMailbox(nullptr, account, 0, &result, nullptr, nullptr), -1);
  EXPECT_EQ(result.error.rfind("このメールサーバはSTLS(TLSへの切り替え)に応じません\r\n-ERR", 0),
            0u)
      << result.error;
  std::string log = LogAfter(plain, 0, 1);
  EXPECT_NE(log.find("pop3-login: Info: Disconnected"), std::string::npos) << log;
  EXPECT_EQ(log.find("user=<alice>"), std::string::npos) << log;
}

}  // namespace
}  // namespace tarnu
