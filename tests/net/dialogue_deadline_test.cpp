// Every dialogue has an end. A server that is never silent for the timeout
// and brings every line in time, yet never finishes, is given up on when
// the dialogue's own time is up: six timeouts from the connection, and
// more for the work the dialogue has (each message of a survey, the size
// of a retrieved message or of a forwarded body).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "net/retrieve.h"
#include "net/smtp_forward.h"
#include "net/survey.h"
#include "tests/net/pop3_script.h"
#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

namespace tarnu {
namespace {

using testing::Escape;
using testing::LoginScript;
using testing::PeerAccount;
using testing::Script;
using testing::ScriptedPeer;
using testing::operator+;

const char kNoAnswer[] = "サーバからの応答がありません";

// `seconds` of a stream at 160 KB/s: 8 KiB every 50 ms, so that a reply's
// own time (one timeout for every 64 KiB) always lies ahead.
void Stream(ScriptedPeer* peer, const std::string& line, double seconds) {
  std::string bytes;
  while (bytes.size() < static_cast<std::size_t>(seconds * 160 * 1024)) bytes += line;
  peer->SendInPieces(bytes, 8 * 1024, 50);
}

struct Outcome {
  std::string text;  // the failure text; empty after success
  double seconds = 0;
};

struct Case {
  const char* what;
  std::function<void(ScriptedPeer*)> script;
  std::function<std::string(const ScriptedPeer&)> run;
  std::string text;
  double at_least, at_most;
};

TEST(DialogueDeadline, EveryDialogueEndsInItsTime) {
  const std::string line = std::string(78, 'x') + "\r\n";
  // The timeout is 1 s everywhere.
  const Case cases[] = {
      {"a survey whose TOP reply never ends: 6 + 4 for its one message",
       [&](ScriptedPeer* peer) {
         Load(peer, LoginScript() + Script{{'E', "STAT\r\n"},
                                           {'S', "+OK 1 100\r\n"},
                                           {'E', "LIST 1\r\n"},
                                           {'S', "+OK 1 100\r\n"},
                                           {'E', "TOP 1 2\r\n"},
                                           {'S', "+OK\r\nSubject: s\r\n\r\n"}});
         Stream(peer, line, 25);
       },
       [](const ScriptedPeer& peer) {
         SurveyResult result;
         SurveyMailbox(nullptr, PeerAccount(peer), 2, &result, nullptr, nullptr);
         return result.error;
       },
       kNoAnswer, 9, 12.5},
      {"a retrieval whose message never ends: 6 + 2 for 100 bytes",
       [&](ScriptedPeer* peer) {
         Load(peer,
              LoginScript() + Script{{'E', "RETR 1\r\n"}, {'S', "+OK\r\nSubject: s\r\n\r\n"}});
         Stream(peer, line, 25);
       },
       [](const ScriptedPeer& peer) {
         std::string header, body, error;
         RetrieveMessage(nullptr, nullptr, 1, 100, PeerAccount(peer), &header, &body, &error);
         return error;
       },
       kNoAnswer, 7, 10.5},
      {"a retrieval of 1.6 MB that takes 10 s: within its size's time",
       [&](ScriptedPeer* peer) {
         Load(peer,
              LoginScript() + Script{{'E', "RETR 1\r\n"}, {'S', "+OK\r\nSubject: s\r\n\r\n"}});
         Stream(peer, line, 10);
         peer->Send(".\r\n");
       },
       [](const ScriptedPeer& peer) {
         std::string header, body, error;
         RetrieveMessage(nullptr, nullptr, 1, 1600 * 1024, PeerAccount(peer), &header, &body,
                         &error);
         return error;
       },
       "", 9, 12.5},
      {"a forward whose greeting line never ends: 6",
       [&](ScriptedPeer* peer) {
         peer->Send("220-");
         Stream(peer, std::string(80, 'x'), 25);
       },
       [](const ScriptedPeer& peer) {
         HostEntry host;
         host.forward = true;
         host.smtp_server = "127.0.0.1";
         host.smtp_port = peer.port();
         host.notify_address = "notify@example.com";
         host.timeout = 1;
         MailEntry entry;
         ForwardMail(host, &entry, nullptr);
         return entry.state;
       },
       "転送時サーバからの応答がありません", 5, 8.5},
  };
  // The cases wait side by side: each takes its seconds whatever the others do.
  const std::size_t n = sizeof cases / sizeof cases[0];
  std::vector<ScriptedPeer> peers(n);
  std::vector<Outcome> outcomes(n);
  std::vector<std::thread> threads;
  for (std::size_t i = 0; i < n; ++i) {
    cases[i].script(&peers[i]);
    peers[i].Start();
    threads.emplace_back([&, i] {
      const auto start = std::chrono::steady_clock::now();
      outcomes[i].text = cases[i].run(peers[i]);
      outcomes[i].seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (std::size_t i = 0; i < n; ++i) {
    SCOPED_TRACE(cases[i].what);
    peers[i].Finish(1000);
    EXPECT_EQ(Escape(cases[i].text), Escape(outcomes[i].text));
    EXPECT_GE(outcomes[i].seconds, cases[i].at_least);
    EXPECT_LE(outcomes[i].seconds, cases[i].at_most);
  }
}

}  // namespace
}  // namespace tarnu
