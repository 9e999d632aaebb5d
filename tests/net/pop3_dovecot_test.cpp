// Login and STAT against a real Dovecot.
#include <gtest/gtest.h>

#include "net/mailbox.h"
#include "tests/support/dovecot_server.h"
#include "tests/support/recording_hooks.h"

namespace tarnu {
namespace {

using testing::DovecotServer;
using testing::RecordingStatus;

class DovecotLogin : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new DovecotServer;
    ASSERT_TRUE(server_->Start({{"alice", "secret", "fixtures"}, {"bob", "pa ss!word", ""}}))
        << server_->error();
  }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(server_->port(), 0) << server_->error(); }

  Pop3Account Account(const char* user, const char* password, bool apop) {
    Pop3Account a;
    a.apop = apop;
    a.user = user;
    a.password = password;
    a.server = "127.0.0.1";
    a.port = server_->port();
    a.timeout = 5;
    return a;
  }

  static DovecotServer* server_;
};
DovecotServer* DovecotLogin::server_ = nullptr;

TEST_F(DovecotLogin, UserPassAndApopReachTheSameMailbox) {
  for (bool apop : {false, true}) {
    RecordingStatus status("T");
    Pop3Session session(&status, nullptr);
    SurveyResult result;
    EXPECT_EQ(OpenMailbox(Account("alice", "secret", apop), &result, &session), 5) << apop;
    // LIST sizes count CR LF line ends: the five files plus one CR a line.
    EXPECT_EQ(result.mailbox_size, 2540);
    EXPECT_EQ(result.error, "");
    CloseMailbox(&session);
    EXPECT_EQ(status.title, "T");
  }
}

TEST_F(DovecotLogin, EmptyMailboxAndAPasswordWithABlank) {
  for (bool apop : {false, true}) {
    Pop3Session session(nullptr, nullptr);
    SurveyResult result;
    EXPECT_EQ(OpenMailbox(Account("bob", "pa ss!word", apop), &result, &session), 0) << apop;
    EXPECT_EQ(result.mailbox_size, 0);
    CloseMailbox(&session);
  }
}

TEST_F(DovecotLogin, WrongPasswordIsRefusedWithTheServersLine) {
  Pop3Session session(nullptr, nullptr);
  SurveyResult result;
  EXPECT_EQ(OpenMailbox(Account("alice", "wrong", false), &result, &session), -1);
  EXPECT_EQ(result.error,
            "メールサーバがパスワードを受理しません\r\n-ERR [AUTH] Authentication failed.\r\n");

  Pop3Session apop_session(nullptr, nullptr);
  SurveyResult apop_result;
  EXPECT_EQ(OpenMailbox(Account("alice", "wrong", true), &apop_result, &apop_session), -1);
  EXPECT_EQ(apop_result.error,
            "メールサーバが認証しません\r\n-ERR [AUTH] Authentication failed.\r\n");
}

}  // namespace
}  // namespace tarnu
