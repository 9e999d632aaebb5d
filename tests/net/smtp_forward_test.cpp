#include "net/smtp_forward.h"

#include <gtest/gtest.h>

#include "platform/text_convert.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <regex>

#include "platform/host_name.h"
#include "tests/support/command_oracle.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/smtp_server.h"

namespace tarnu {
namespace {

using testing::Escape;
using testing::Hex;
using testing::PipeThrough;

TEST(FormatHelo, ComputerNameAndDomain) {
  const std::string mixed = "MyPC-07";
  const std::string empty;
  const std::string broken = "pc\r\nRSET";
  struct Case {
    const char* address;
    const std::string* name;
    const char* helo;
  } cases[] = {
      {"alice@example.com", &mixed, "HELO mypc-07.example.com\r\n"},
      {"alice@example.com", nullptr, "HELO example.com\r\n"},
      {"example.com", &mixed, "HELO mypc-07.example.com\r\n"},  // no at sign
      {"a@b@c", nullptr, "HELO b@c\r\n"},                       // after the first
      {"<alice@example.com>", nullptr, "HELO example.com\r\n"},
      {" alice@example.com\t", nullptr, "HELO example.com\r\n"},
      {"alice@example.com", &empty, "HELO example.com\r\n"},
      {"alice@example.com", &broken, "HELO example.com\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatHelo(c.address, c.name), c.helo) << c.address;
}

#ifndef _WIN32
// Python's email.utils.formatdate is the oracle for the Date value.
TEST(FormatMailDate, AgreesWithPythonInManyZones) {
  const std::vector<std::string> zones = {
      "UTC",           "Asia/Tokyo",         "America/St_Johns",
      "Asia/Kolkata",  "Pacific/Kiritimati", "Pacific/Pago_Pago",
      "Europe/London", "America/Los_Angeles"};
  const std::vector<long long> times = {
      0,           // Thu, 01 Jan 1970
      1704067199,  // 2023-12-31 23:59:59 UTC: another day or year in most zones
      1711846800,  // 2024-03-31 01:00:00 UTC: London switches to summer time
      1709251200,  // 2024-03-01 00:00:00 UTC, after a 29 February
      static_cast<long long>(std::time(nullptr)),
  };
  std::string script =
      "import email.utils, os, time\n"
      "for line in open(0):\n"
      "  zone, t = line.split()\n"
      "  os.environ['TZ'] = zone\n"
      "  time.tzset()\n"
      "  print(email.utils.formatdate(int(t), localtime=True))\n";
  std::string input;
  for (const std::string& zone : zones) {
    for (long long t : times) input += zone + " " + std::to_string(t) + "\n";
  }
  std::string expected;
  ASSERT_TRUE(
      PipeThrough("/usr/bin/python3 -c " + std::string("\"") + script + "\"", input, &expected));

  const char* saved = std::getenv("TZ");
  const std::string saved_tz = saved ? saved : "";
  std::string ours;
  for (const std::string& zone : zones) {
    ::setenv("TZ", zone.c_str(), 1);
    ::tzset();
    for (long long t : times) ours += FormatMailDate(static_cast<std::time_t>(t)) + "\n";
  }
  if (saved) {
    ::setenv("TZ", saved_tz.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
  EXPECT_EQ(ours, expected);
  EXPECT_EQ(std::count(expected.begin(), expected.end(), '\n'), 40);
}
#endif

TEST(FormatForwardedBody, TransparencyAndLineEnds) {
  const std::string head = "\r\n** This mail was forwarded by tarnu. **\r\n";
  struct Case {
    const char* body;
    const char* data;
  } cases[] = {
      {"", ""},
      {"plain\r\n", "plain\r\n"},
      // Only a line that starts with a dot gets a second one.
      {".hidden\r\n", "..hidden\r\n"},
      {"ends with a dot.\r\n", "ends with a dot.\r\n"},
      {".\r\n", "..\r\n"},
      {"a\r\n.\r\nb", "a\r\n..\r\nb"},
      {"..two\r\n", "...two\r\n"},
      {"mid.dle.\r\n. x\r\n", "mid.dle.\r\n.. x\r\n"},
      // Stray CR or LF never reaches the server on its own.
      {"a\nb\rc\r\r\nd", "a\r\nb\r\nc\r\n\r\nd"},
      {"a\n.\nb", "a\r\n..\r\nb"},
      {"a\r.\rb", "a\r\n..\r\nb"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(FormatForwardedBody(c.body)), Hex(head + c.data)) << Hex(c.body);
  }
}

#ifndef _WIN32
TEST(FormatForwardedBody, JapaneseBodyIsIso2022JpByIconv) {
  // The body is mail text, UTF-8; an emoji has no place in ISO-2022-JP and
  // becomes the geta mark.
  const std::string body =
      platform::Cp932ToUtf8("日本語の本文です。\r\n.で始まる行\r\nｶﾀｶﾅ") + "\xF0\x9F\x98\x80\r\n";
  const std::string data = FormatForwardedBody(body);
  for (unsigned char c : data) ASSERT_LT(c, 0x80) << Hex(data);
  std::string back;
  ASSERT_TRUE(PipeThrough("iconv -f ISO-2022-JP -t CP932", data, &back));
  // The server takes the doubled dot away again; half-width kana come back
  // full-width.
  EXPECT_EQ(Hex(back), Hex("\r\n** This mail was forwarded by tarnu. **\r\n"
                           "日本語の本文です。\r\n..で始まる行\r\nカタカナ〓\r\n"));
}
#endif

HostEntry ForwardingHost(int smtp_port) {
  HostEntry host;
  host.name = "host";
  host.forward = true;
  host.smtp_server = "127.0.0.1";
  host.smtp_port = smtp_port;
  host.notify_address = "notify@example.com";
  host.timeout = 5;
  return host;
}

TEST(ForwardMail, NothingHappensWhenTheHostDoesNotForward) {
  HostEntry host = ForwardingHost(1);
  host.forward = false;
  MailEntry entry;
  entry.state = "untouched";
  testing::CountingPump pump;
  EXPECT_EQ(ForwardMail(host, &entry, &pump), 0);
  EXPECT_EQ(entry.state, "untouched");
  EXPECT_EQ(pump.calls, 0);
}

class ForwardMailToServer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    if (!server.Start(&error)) GTEST_SKIP() << error;
  }
  testing::SmtpServer server;
};

std::string HeaderValue(const std::string& mail, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::size_t at = ("\r\n" + mail).find(key);
  if (at == std::string::npos) return "(missing)";
  const std::size_t start = at + key.size() - 2;
  return mail.substr(start, mail.find("\r\n", start) - start);
}

// Decodes an encoded-word header value to UTF-8 with Python's email package.
std::string DecodedByPython(const std::string& value) {
  std::string out;
  PipeThrough(
      "/usr/bin/python3 -c 'import sys,email.header; v=sys.stdin.buffer.read().decode(\"ascii\"); "
      "sys.stdout.write(str(email.header.make_header(email.header.decode_header(v))))'",
      value, &out);
  return out;
}

TEST_F(ForwardMailToServer, StoredMailHasEnvelopeHeaderAndBody) {
  HostEntry host = ForwardingHost(server.port());
  host.subject_prefix = "転送)";
  MailEntry entry;
  // Mail text is UTF-8.
  entry.subject = platform::Cp932ToUtf8("テスト件名");
  entry.from = platform::Cp932ToUtf8("送信者 <sender@example.com>");
  entry.to = "alice@example.com";
  entry.cc = platform::Cp932ToUtf8("ボブ <bob@example.com>");
  entry.body = platform::Cp932ToUtf8("本文一行目\r\n.dot line\r\nline ending in a dot.\r\n");
  entry.state = "old state";
  testing::CountingPump pump;
  ASSERT_EQ(ForwardMail(host, &entry, &pump), 0) << Hex(entry.state);
  EXPECT_EQ(entry.state, "");
  EXPECT_GE(pump.calls, 1);

  const std::vector<std::string> mails = server.Mails();
  ASSERT_EQ(mails.size(), 1u);
  const std::string& mail = mails[0];
  EXPECT_EQ(HeaderValue(mail, "X-Envelope-From"), "notify@example.com");
  EXPECT_EQ(HeaderValue(mail, "X-Envelope-To"), "notify@example.com");
  std::string name;
  ASSERT_TRUE(platform::GetComputerName(&name));
  for (char& c : name) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  EXPECT_EQ(HeaderValue(mail, "X-Helo"), name + ".example.com");

  // The header lines in their order, then the empty line.
  const std::size_t end_of_header = mail.find("\r\n\r\n");
  ASSERT_NE(end_of_header, std::string::npos);
  std::vector<std::string> names;
  for (std::size_t at = 0; at < end_of_header;) {
    const std::size_t colon = mail.find(':', at);
    names.push_back(mail.substr(at, colon - at));
    at = mail.find("\r\n", at) + 2;
  }
  const std::vector<std::string> expected_names = {"X-Envelope-From",
                                                   "X-Envelope-To",
                                                   "X-Helo",
                                                   "Subject",
                                                   "From",
                                                   "To",
                                                   "Cc",
                                                   "X-Mailer",
                                                   "MIME-Version",
                                                   "Date",
                                                   "Content-Type",
                                                   "Content-Transfer-Encoding"};
  EXPECT_EQ(names, expected_names);
  EXPECT_EQ(HeaderValue(mail, "X-Mailer"), "tarnu");
  EXPECT_EQ(HeaderValue(mail, "MIME-Version"), "1.0");
  EXPECT_EQ(HeaderValue(mail, "Content-Type"), "text/plain; charset=ISO-2022-JP");
  EXPECT_EQ(HeaderValue(mail, "Content-Transfer-Encoding"), "7bit");
  EXPECT_TRUE(
      std::regex_match(HeaderValue(mail, "Date"),
                       std::regex("(Mon|Tue|Wed|Thu|Fri|Sat|Sun), [0-3][0-9] "
                                  "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [0-9]{4} "
                                  "[0-2][0-9]:[0-5][0-9]:[0-6][0-9] [+-][0-9]{4}")))
      << HeaderValue(mail, "Date");

  // The prefix goes out as stored (code page 932 bytes), before the word.
  const std::string subject = HeaderValue(mail, "Subject");
  ASSERT_EQ(Hex(subject.substr(0, 5)), Hex("転送)"));
  EXPECT_EQ(DecodedByPython(subject.substr(5)), u8"テスト件名");
  EXPECT_EQ(DecodedByPython(HeaderValue(mail, "From")), u8"送信者 <sender@example.com>");
  EXPECT_EQ(HeaderValue(mail, "To"), "alice@example.com");
  EXPECT_EQ(DecodedByPython(HeaderValue(mail, "Cc")), u8"ボブ <bob@example.com>");

  // The body as the server took it (its doubled dots undone), through nkf.
  const std::string body = mail.substr(end_of_header + 4);
  for (unsigned char c : body) ASSERT_LT(c, 0x80);
  std::string utf8;
  ASSERT_TRUE(PipeThrough("nkf -J -w", body, &utf8));
  EXPECT_EQ(utf8,
            u8"** This mail was forwarded by tarnu. **\r\n本文一行目\r\n.dot line\r\n"
            u8"line ending in a dot.\r\n\r\n");
}

TEST_F(ForwardMailToServer, EmptyFieldsGiveOnlyTheFixedHeaderLines) {
  HostEntry host = ForwardingHost(server.port());
  host.notify_address = "example.org";  // no at sign: the whole address is the domain
  MailEntry entry;
  ASSERT_EQ(ForwardMail(host, &entry, nullptr), 0) << Hex(entry.state);
  const std::vector<std::string> mails = server.Mails();
  ASSERT_EQ(mails.size(), 1u);
  const std::string& mail = mails[0];
  EXPECT_EQ(HeaderValue(mail, "Subject"), "(missing)");
  EXPECT_EQ(HeaderValue(mail, "From"), "(missing)");
  EXPECT_EQ(HeaderValue(mail, "To"), "(missing)");
  EXPECT_EQ(HeaderValue(mail, "Cc"), "(missing)");
  EXPECT_EQ(HeaderValue(mail, "X-Mailer"), "tarnu");
  EXPECT_NE(HeaderValue(mail, "X-Helo").find(".example.org"), std::string::npos);
  // An empty body: the forwarding line, then the end of the data.
  EXPECT_EQ(mail.substr(mail.find("\r\n\r\n") + 4),
            "** This mail was forwarded by tarnu. **\r\n\r\n");
}

TEST_F(ForwardMailToServer, LineBreaksInAHeaderValueStayInsideTheHeader) {
  HostEntry host = ForwardingHost(server.port());
  MailEntry entry;
  // A decoded subject can hold anything, even what looks like the end of
  // the data followed by commands.
  entry.subject = "one\r\n two\r\nBcc: x@example.com\r\n.\r\nRSET\r\n";
  entry.body = "body\r\n";
  ASSERT_EQ(ForwardMail(host, &entry, nullptr), 0) << Hex(entry.state);
  const std::vector<std::string> mails = server.Mails();
  ASSERT_EQ(mails.size(), 1u);
  EXPECT_NE(mails[0].find("\r\nSubject: Fwd)one\r\n two\r\n Bcc: x@example.com\r\n .\r\n RSET\r\n"
                          "X-Mailer:"),
            std::string::npos)
      << Hex(mails[0]);
  EXPECT_EQ(HeaderValue(mails[0], "Bcc"), "(missing)");
}

TEST_F(ForwardMailToServer, LineBreakInAddressOrServerSendsNothing) {
  const char* text =
      "転送先のメールアドレスまたはSMTPサーバ名に改行が含まれているため転送できません";
  for (int which = 0; which < 3; ++which) {
    HostEntry host = ForwardingHost(server.port());
    if (which == 0) host.notify_address = "a@example.com\r\nRCPT TO:<victim@example.net>";
    if (which == 1) host.notify_address = "a@example.com\n";
    if (which == 2) host.smtp_server = "127.0.0.1\r";
    MailEntry entry;
    testing::CountingPump pump;
    EXPECT_EQ(ForwardMail(host, &entry, &pump), -1);
    EXPECT_EQ(Hex(entry.state), Hex(text));
  }
  EXPECT_TRUE(server.Mails().empty());
}

TEST_F(ForwardMailToServer, ConnectFailureGivesTheErrorNumber) {
  HostEntry host = ForwardingHost(server.port());
  server.Stop();
  MailEntry entry;
  EXPECT_EQ(ForwardMail(host, &entry, nullptr), -1);
  const std::string prefix = "転送時接続エラー ";
  ASSERT_EQ(Hex(entry.state.substr(0, prefix.size())), Hex(prefix));
  EXPECT_NE(std::atoi(entry.state.c_str() + prefix.size()), 0) << entry.state;
}

// ---- the dialogue against a scripted peer: every refusal, odd replies ----

std::string HeloLine() {
  std::string name;
  return FormatHelo("notify@example.com", platform::GetComputerName(&name) ? &name : nullptr);
}

// The peer's script up to (and including) the reply to the step before
// `refused_step`, then `reply` to that step.
enum Step { kGreeting, kHelo, kMail, kRcpt, kData, kEndOfData };

void ScriptUpTo(testing::ScriptedPeer* peer, Step refused_step, const std::string& reply) {
  const std::string replies[] = {"220 ready\r\n",        "250 hello\r\n",    "250 sender ok\r\n",
                                 "250 recipient ok\r\n", "354 go ahead\r\n", "250 queued\r\n"};
  const std::string commands[] = {"",
                                  HeloLine(),
                                  "MAIL FROM:<notify@example.com>\r\n",
                                  "RCPT TO:<notify@example.com>\r\n",
                                  "DATA\r\n",
                                  ""};
  for (int step = kGreeting; step <= refused_step; ++step) {
    if (step == kEndOfData) {
      peer->ExpectUntil("\r\n.\r\n");
    } else if (step != kGreeting) {
      peer->Expect(commands[step]);
    }
    peer->Send(step == refused_step ? reply : replies[step]);
  }
}

TEST(ForwardMailDialogue, RefusalAtEachStep) {
  const std::string not_ready = "転送時メールサーバが応答状態にありません\r\n";
  struct Case {
    Step step;
    std::string reply;
    std::string state;
    int result;
  } cases[] = {
      {kGreeting, "421 busy\r\n", not_ready + "421 busy\r\n", -1},
      {kGreeting, "22 short\r\n", not_ready + "22 short\r\n", -1},
      {kHelo, "501 who are you\r\n", not_ready + "501 who are you\r\n", -1},
      {kMail, "553 sender refused\r\n",
       "転送時サーバが送信者を受け付けません\r\n553 sender refused\r\n", -1},
      {kRcpt, "550 no such user\r\n",
       "転送時サーバが送信先を受け付けません\r\n550 no such user\r\n", -1},
      {kRcpt, "251 will forward\r\n", "", 0},  // 251 is accepted like 250
      {kRcpt, "252 cannot verify\r\n",
       "転送時サーバが送信先を受け付けません\r\n252 cannot verify\r\n", -1},
      {kData, "554 no data\r\n", "転送時サーバがデータを受け付けません\r\n554 no data\r\n", -1},
      {kData, "250 wrong code\r\n", "転送時サーバがデータを受け付けません\r\n250 wrong code\r\n",
       -1},
      {kEndOfData, "552 too big\r\n", "サーバがメールを受け付けません\r\n552 too big\r\n", -1},
      {kEndOfData, "250 queued\r\n", "", 0},
  };
  for (const Case& c : cases) {
    testing::ScriptedPeer peer;
    ScriptUpTo(&peer, c.step, c.reply);
    if (c.step == kRcpt && c.result == 0) {
      peer.Expect("DATA\r\n").Send("354 go\r\n").ExpectUntil("\r\n.\r\n").Send("250 ok\r\n");
    }
    peer.Expect("QUIT\r\n");
    peer.Start();
    HostEntry host = ForwardingHost(peer.port());
    host.timeout = 2;
    MailEntry entry;
    entry.subject = "s";
    entry.state = "before";
    EXPECT_EQ(ForwardMail(host, &entry, nullptr), c.result) << c.reply;
    EXPECT_EQ(Hex(entry.state), Hex(c.state)) << c.reply;
    const std::string sent = peer.Finish();
    EXPECT_TRUE(peer.problems().empty()) << c.reply << "\n" << peer.Log();
    // QUIT is the last thing sent, whatever happened.
    ASSERT_GE(sent.size(), 6u);
    EXPECT_EQ(sent.substr(sent.size() - 6), "QUIT\r\n") << c.reply;
  }
}

TEST(ForwardMailDialogue, WholeTranscript) {
  testing::ScriptedPeer peer;
  ScriptUpTo(&peer, kEndOfData, "250 queued\r\n");
  peer.Expect("QUIT\r\n");
  peer.Start();
  HostEntry host = ForwardingHost(peer.port());
  host.subject_prefix = "[fw] ";
  MailEntry entry;
  entry.subject = "Hello";
  entry.from = "a@example.com";
  entry.body = ".x\r\ny.\r\n";
  ASSERT_EQ(ForwardMail(host, &entry, nullptr), 0);
  const std::string sent = peer.Finish();
  const std::string head = HeloLine() +
                           "MAIL FROM:<notify@example.com>\r\n"
                           "RCPT TO:<notify@example.com>\r\n"
                           "DATA\r\n"
                           "Subject: [fw] Hello\r\n"
                           "From: a@example.com\r\n"
                           "X-Mailer: tarnu\r\n"
                           "MIME-Version: 1.0\r\n"
                           "Date: ";
  ASSERT_EQ(Escape(sent.substr(0, head.size())), Escape(head));
  const std::size_t after_date = sent.find("\r\n", head.size()) + 2;
  EXPECT_EQ(Escape(sent.substr(after_date)),
            Escape("Content-Type: text/plain; charset=ISO-2022-JP\r\n"
                   "Content-Transfer-Encoding: 7bit\r\n"
                   "\r\n"
                   "** This mail was forwarded by tarnu. **\r\n"
                   "..x\r\n"
                   "y.\r\n"
                   "\r\n.\r\n"
                   "QUIT\r\n"));
}

TEST(ForwardMailDialogue, MultiLineGreetingLeavesItsSecondLineForHelo) {
  testing::ScriptedPeer peer;
  peer.Send("220-mail.example.com ESMTP\r\n220 welcome\r\n")
      .Expect(HeloLine())
      .Send("250 hello\r\n")
      .Expect("QUIT\r\n");
  peer.Start();
  MailEntry entry;
  EXPECT_EQ(ForwardMail(ForwardingHost(peer.port()), &entry, nullptr), -1);
  EXPECT_EQ(Hex(entry.state), Hex("転送時メールサーバが応答状態にありません\r\n220 welcome\r\n"));
  EXPECT_EQ(peer.Finish(), HeloLine() + "QUIT\r\n");
}

TEST(ForwardMailDialogue, SilentServer) {
  testing::ScriptedPeer peer;
  peer.Send("220 ready\r\n").Expect(HeloLine()).Silence(3000);
  peer.Start();
  HostEntry host = ForwardingHost(peer.port());
  host.timeout = 1;
  MailEntry entry;
  testing::CountingPump pump;
  EXPECT_EQ(ForwardMail(host, &entry, &pump), -1);
  EXPECT_EQ(Hex(entry.state), Hex("転送時サーバからの応答がありません"));
  EXPECT_GE(pump.calls, 1);
  EXPECT_EQ(peer.Finish(), HeloLine() + "QUIT\r\n");
}

TEST(ForwardMailDialogue, ConnectionClosedByTheServer) {
  testing::ScriptedPeer peer;
  peer.Send("220 ready\r\n").Expect(HeloLine()).ShutdownWrite();
  peer.Start();
  MailEntry entry;
  EXPECT_EQ(ForwardMail(ForwardingHost(peer.port()), &entry, nullptr), -1);
  // An orderly close has no error number of its own: the words say it.
  EXPECT_EQ(Hex(entry.state), Hex("転送時受信エラー 0 サーバが接続を切断しました"));
  // The QUIT still goes out on the half-closed connection.
  EXPECT_EQ(peer.Finish(), HeloLine() + "QUIT\r\n");
}

TEST(ForwardMailDialogue, ConnectionResetByTheServer) {
  testing::ScriptedPeer peer;
  peer.Send("220 ready\r\n").Expect(HeloLine()).Reset();
  peer.Start();
  MailEntry entry;
  EXPECT_EQ(ForwardMail(ForwardingHost(peer.port()), &entry, nullptr), -1);
  const std::string prefix = "転送時受信エラー ";
  ASSERT_EQ(Hex(entry.state.substr(0, prefix.size())), Hex(prefix)) << entry.state;
#ifndef _WIN32
  // The platform's reason (ECONNRESET); Wine reports the reset without one.
  EXPECT_NE(std::atoi(entry.state.c_str() + prefix.size()), 0) << entry.state;
#endif
  peer.Finish();
}

}  // namespace
}  // namespace tarnu

namespace tarnu {
namespace {

// Once the final dot is out, only a reply tells whether the server took the
// mail: without one the mail may have been taken and must not be sent
// again; a refusal, or a failure before the dot, means it was not taken.
TEST(ForwardMailDialogue, WhetherTheMailMayHaveBeenTaken) {
  enum After { kSilence, kClose, kReset, kRefusal, kCloseBeforeDot };
  struct Case {
    const char* what;
    After after;
    int result;
  } cases[] = {
      {"silence after the dot", kSilence, kForwardUncertain},
      {"closed after the dot", kClose, kForwardUncertain},
      {"reset after the dot", kReset, kForwardUncertain},
      {"refused after the dot", kRefusal, kForwardFailed},
      {"closed before any data", kCloseBeforeDot, kForwardFailed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    testing::ScriptedPeer peer;
    if (c.after == kCloseBeforeDot) {
      ScriptUpTo(&peer, kData, "354 go ahead\r\n");
      peer.ExpectPrefix("Subject: ").Reset();
    } else {
      ScriptUpTo(&peer, kRcpt, "250 recipient ok\r\n");
      peer.Expect("DATA\r\n").Send("354 go ahead\r\n").ExpectUntil("\r\n.\r\n");
      if (c.after == kSilence) peer.Silence(2500);
      if (c.after == kClose) peer.ShutdownWrite();
      if (c.after == kReset) peer.Reset();
      if (c.after == kRefusal) peer.Send("451 try later\r\n");
    }
    peer.Start();
    HostEntry host = ForwardingHost(peer.port());
    host.timeout = 1;
    MailEntry entry;
    entry.subject = "s";
    // Before the dot: more than the socket buffers hold, so that the reset
    // stops the sending.
    entry.body = std::string(c.after == kCloseBeforeDot ? 8 << 20 : 100, 'b');
    EXPECT_EQ(ForwardMail(host, &entry, nullptr), c.result);
    EXPECT_FALSE(entry.state.empty());
    peer.Finish();
  }
}

}  // namespace
}  // namespace tarnu
