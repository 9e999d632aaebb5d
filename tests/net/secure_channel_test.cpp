#include "net/secure_channel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "net/mailbox.h"
#include "net/smtp_forward.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::Escape;
using testing::Load;
using testing::PeerAccount;
using testing::Script;
using testing::ScriptedPeer;

const std::string kRefused = "サーバ証明書を確認できないため、接続を中止しました\r\n";
// SHA-256 of "abc" (FIPS 180-2), the stand-in certificate below.
const std::string kAbcFingerprint =
    "SHA-256: BA:78:16:BF:8F:01:CF:EA:41:41:40:DE:5D:AE:22:23:B0:03:61:A3:96:17:7A:9C:B4:10:FF:61:"
    "F2:00:15:AD";

platform::PeerCertificate Good() {
  platform::PeerCertificate peer;
  peer.der = "abc";
  peer.chain_trusted = true;
  peer.name_matches = true;
  return peer;
}

TEST(JudgeCertificate, Table) {
  std::string abc_raw;
  ASSERT_TRUE(ParseFingerprint(kAbcFingerprint.substr(9), &abc_raw));
  const std::string other_raw(32, '\x11');
  struct Case {
    const char* name;
    platform::PeerCertificate peer;
    std::string accepted;
    std::string text;  // empty: accepted
  };
  auto with = [](void (*change)(platform::PeerCertificate*)) {
    platform::PeerCertificate peer = Good();
    change(&peer);
    return peer;
  };
  Case cases[] = {
      {"verifies", Good(), "", ""},
      {"verifies, another certificate accepted earlier", Good(), other_raw, ""},
      {"untrusted but this one accepted",
       with([](platform::PeerCertificate* p) { p->chain_trusted = false; }), abc_raw, ""},
      {"expired and accepted", with([](platform::PeerCertificate* p) { p->expired = true; }),
       abc_raw, ""},
      {"not yet valid", with([](platform::PeerCertificate* p) { p->not_yet_valid = true; }), "",
       kRefused + "・証明書の有効期間がまだ始まっていません\r\n" + kAbcFingerprint},
      {"something else", with([](platform::PeerCertificate* p) {
         p->other_problem = true;
         p->detail = "unsupported certificate purpose";
       }),
       "",
       kRefused + "・証明書に問題があります (unsupported certificate purpose)\r\n" +
           kAbcFingerprint},
      {"every reason, in order, after a change", with([](platform::PeerCertificate* p) {
         p->chain_trusted = false;
         p->name_matches = false;
         p->expired = true;
       }),
       other_raw,
       kRefused +
           "・以前に受け入れた証明書と異なります\r\n・証明書の発行者が信頼されていません\r\n" +
           "・証明書は mail.example のものではありません\r\n・証明書の有効期限が切れています\r\n" +
           kAbcFingerprint},
      {"no certificate at all", platform::PeerCertificate(), "",
       kRefused + "・サーバが証明書を送りません\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Escape(JudgeCertificate(c.peer, "mail.example", c.accepted)), Escape(c.text))
        << c.name;
  }
}

// What a secure dialogue does when the server misbehaves before or during
// the handshake: what a real server will not do, played by a scripted peer.
TEST(SecurePop3, FaultsBeforeAndDuringTheHandshake) {
#ifdef _WIN32
  const int timed_out = WSAETIMEDOUT;
#else
  const int timed_out = ETIMEDOUT;
#endif
  const std::string stalled = "接続時エラー " + std::to_string(timed_out) + " (応答がありません)";
  const std::string greeting_then_stls = "+OK ready <1.2@host>\r\n";
  struct Case {
    const char* name;
    ConnectionSecurity security;
    Script script;
    std::string error;
    std::string sent_prefix;  // what the client sent starts with this
    bool nothing_more;        // and holds nothing else
  } cases[] = {
      {"STLS refused: no downgrade to plain text",
       ConnectionSecurity::kStartTls,
       {{'S', greeting_then_stls}, {'E', "STLS\r\n"}, {'S', "-ERR not here\r\n"}},
       "このメールサーバはSTLS(TLSへの切り替え)に応じません\r\n-ERR not here\r\n",
       "STLS\r\nQUIT\r\n",
       true},
      {"plain text after STLS's answer",
       ConnectionSecurity::kStartTls,
       {{'S', greeting_then_stls}, {'E', "STLS\r\n"}, {'S', "+OK go\r\n+OK logged in\r\n"}},
       "TLSを始める前にサーバが余計なデータを送ったため、接続を中止しました",
       "STLS\r\n",
       true},
      {"silent after STLS's answer",
       ConnectionSecurity::kStartTls,
       {{'S', greeting_then_stls}, {'E', "STLS\r\n"}, {'S', "+OK go\r\n"}, {'Z', "3000"}},
       stalled,
       "STLS\r\n\x16\x03",
       false},
      {"silent from the first byte",
       ConnectionSecurity::kTls,
       {{'Z', "3000"}},
       stalled,
       "\x16\x03",
       false},
      {"stalls inside the server's first record",
       ConnectionSecurity::kTls,
       {{'Z', "200"}, {'S', std::string("\x16\x03\x03\x00\x40", 5) + "0123456789"}, {'Z', "3000"}},
       stalled,
       "\x16\x03",
       false},
      {"closes during the handshake",
       ConnectionSecurity::kTls,
       {{'Z', "200"}, {'W', ""}},
       "TLSの接続中にサーバが接続を切りました",
       "\x16\x03",
       false},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer;
    Load(&peer, c.script);
    peer.Start();
    Pop3Account account = PeerAccount(peer, false, 1);
    account.security = c.security;
    CountingPump pump;
    Pop3Session session(nullptr, &pump);
    SurveyResult result;
    EXPECT_EQ(OpenMailbox(account, &result, &session), -1) << c.name;
    EXPECT_EQ(Escape(result.error), Escape(c.error)) << c.name;
    std::string sent = peer.Finish();
    EXPECT_EQ(Escape(sent.substr(0, c.sent_prefix.size())), Escape(c.sent_prefix)) << c.name;
    if (c.nothing_more) {
      EXPECT_EQ(Escape(sent), Escape(c.sent_prefix)) << c.name;
    }
    // Never a login, whatever came.
    EXPECT_EQ(sent.find("USER"), std::string::npos) << c.name;
    EXPECT_EQ(sent.find("PASS"), std::string::npos) << c.name;
    if (c.error == stalled) {
      EXPECT_GE(pump.calls, 1) << c.name;
    }
  }
}

TEST(SecurePop3, APlainServerOnTheTlsPortFailsTheHandshake) {
  ScriptedPeer peer;
  peer.Send("+OK plain POP3 here\r\n").Silence(1000);
  peer.Start();
  Pop3Account account = PeerAccount(peer, false, 2);
  account.security = ConnectionSecurity::kTls;
  Pop3Session session(nullptr, nullptr);
  SurveyResult result;
  EXPECT_EQ(OpenMailbox(account, &result, &session), -1);
  const std::string expected =
      "TLSで接続できません(サーバがTLS 1.2以上に対応していないか、暗号化の取り決めに失敗しまし"
      "た)\r\n";
  EXPECT_EQ(Escape(result.error), Escape(expected + "not a TLS answer: +OK plain POP3 here"));
  peer.Finish();
}

TEST(SecurePop3, UnreadableCaFileIsNamedBeforeAnythingIsSent) {
  ScriptedPeer peer;
  peer.Start();
  Pop3Account account = PeerAccount(peer, false, 2);
  account.security = ConnectionSecurity::kTls;
  account.ca_file = "no-such-folder/ca.pem";
  Pop3Session session(nullptr, nullptr);
  SurveyResult result;
  EXPECT_EQ(OpenMailbox(account, &result, &session), -1);
  EXPECT_EQ(Escape(result.error),
            Escape("CA証明書のファイル no-such-folder/ca.pem を読み込めません"));
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_TRUE(peer.connected());
}

// The SMTP side of a downgrade: a STARTTLS that is refused, or answered with
// plain text trailing behind its "220", ends the forward before AUTH or the
// mail; the password never goes out.
TEST(SecureSmtp, StartTlsRefusedOrFollowedByPlainText) {
  struct Case {
    const char* name;
    std::string reply;  // to STARTTLS
    std::string state;
    std::string sent_after_ehlo;
  } cases[] = {
      {"STARTTLS refused", "454 4.7.0 TLS not available\r\n",
       "転送時サーバがSTARTTLS(TLSへの切り替え)に応じません\r\n454 4.7.0 TLS not available\r\n",
       "STARTTLS\r\nQUIT\r\n"},
      {"plain text after STARTTLS's answer", "220 go ahead\r\n235 authenticated\r\n",
       "転送時TLSを始める前にサーバが余計なデータを送ったため、接続を中止しました", "STARTTLS\r\n"},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer;
    peer.Send("220 mail.example ESMTP\r\n")
        .ExpectPrefix("EHLO ")
        .Send("250-mail.example\r\n250-STARTTLS\r\n250 AUTH PLAIN LOGIN\r\n")
        .Expect("STARTTLS\r\n")
        .Send(c.reply);
    peer.Start();
    HostEntry host;
    host.forward = true;
    host.smtp_server = "127.0.0.1";
    host.smtp_port = peer.port();
    host.notify_address = "notify@example.com";
    host.timeout = 2;
    host.extras.smtp_security = ConnectionSecurity::kStartTls;
    host.extras.smtp_user = "bob";
    host.extras.smtp_password = "pw";
    MailEntry entry;
    entry.subject = "s";
    EXPECT_EQ(ForwardMail(host, &entry, nullptr), kForwardFailed) << c.name;
    EXPECT_EQ(Escape(entry.state), Escape(c.state)) << c.name;
    const std::string sent = peer.Finish();
    EXPECT_TRUE(peer.problems().empty()) << c.name << "\n" << peer.Log();
    const std::size_t ehlo_end = sent.find("\r\n");
    ASSERT_NE(ehlo_end, std::string::npos) << c.name;
    EXPECT_EQ(Escape(sent.substr(ehlo_end + 2)), Escape(c.sent_after_ehlo)) << c.name;
  }
}

}  // namespace
}  // namespace tarnu
