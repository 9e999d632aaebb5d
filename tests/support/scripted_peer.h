// A scripted TCP peer on loopback, for the faults a real server cannot be
// made to produce: silence, cut connections, odd line lengths, replies in
// tiny segments. It serves the POP3 and the SMTP tests alike.
//
// Usage:
//   ScriptedPeer peer;                       // listens on 127.0.0.1, port 0
//   peer.Send("+OK ready\r\n").Expect("USER u\r\n").Silence(3000);
//   peer.Start();                            // a thread accepts one client
//   ... run the client against 127.0.0.1:peer.port() ...
//   EXPECT_EQ(peer.Finish(), "USER u\r\nQUIT\r\n");  // all the client sent
//   EXPECT_EQ(peer.problems(), std::vector<std::string>{});
//
// The steps are played in order on the peer's thread once a client has
// connected. Every read polls with a deadline and writes never raise SIGPIPE,
// so a faulty client can neither hang nor kill the test run. After the last
// step the peer keeps reading until the client closes, so commands sent after
// the script (QUIT after a timeout) are part of what Finish returns, and a
// client that never closes is reported as a problem.
#ifndef TARNU_TESTS_SUPPORT_SCRIPTED_PEER_H_
#define TARNU_TESTS_SUPPORT_SCRIPTED_PEER_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace tarnu::testing {

class ScriptedPeer {
 public:
  ScriptedPeer();
  ~ScriptedPeer();  // finishes the script if the test did not
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  // --- Script steps (call before Start) ---

  // Writes exactly these bytes, in one send.
  ScriptedPeer& Send(std::string bytes);
  // Writes the bytes `piece` at a time with Nagle off and a short pause
  // between pieces, so that they arrive as many small segments.
  ScriptedPeer& SendInPieces(std::string bytes, std::size_t piece, int pause_ms = 1);
  // Reads one line (through its LF) and requires it to equal `line`. A
  // mismatch, a silent client or a close is a problem and ends the script.
  ScriptedPeer& Expect(std::string line);
  // Reads one line and requires it to begin with `prefix`.
  ScriptedPeer& ExpectPrefix(std::string prefix);
  // Reads until what the client sent since the last step ends with `end`
  // (an SMTP message through its "\r\n.\r\n", say).
  ScriptedPeer& ExpectUntil(std::string end);
  // Answers nothing for `ms` milliseconds (what the client sends meanwhile
  // is still recorded); ends early once the client has closed.
  ScriptedPeer& Silence(int ms);
  // Half-closes: the client reads end of stream; its sends still arrive.
  ScriptedPeer& ShutdownWrite();
  // Aborts the connection (RST). Ends the script; later client bytes are
  // lost.
  ScriptedPeer& Reset();
  // Waits for the client to close its connection, then accepts its next
  // one (a client that starts again); the rest of the script plays there.
  ScriptedPeer& NextClient();

  // How long one Expect waits for the client (default 5000 ms).
  void set_read_deadline_ms(int ms) { read_deadline_ms_ = ms; }

  // --- Running ---

  int port() const { return port_; }
  // Starts the thread: it accepts one client and plays the script.
  void Start();
  // Waits until the script is played and the client closed (at most
  // `drain_ms` after the last step), and returns every byte the client sent.
  // Call it after the client code has returned. Without any client it
  // returns at once with an empty string (see connected()).
  std::string Finish(int drain_ms = 3000);

  bool connected() const { return connected_; }
  // What went wrong on the peer's side, in order; empty when the client did
  // exactly what the script expected and closed its connection.
  const std::vector<std::string>& problems() const { return problems_; }
  // Server and client lines as played, for failure messages ("S: ..." and
  // "C: ..." with control bytes escaped).
  std::string Log() const;

 private:
  enum class Kind {
    kSend,
    kSendPieces,
    kExpect,
    kExpectPrefix,
    kExpectUntil,
    kSilence,
    kShutdownWrite,
    kReset,
    kNextClient
  };
  struct Step {
    Kind kind;
    std::string bytes;
    std::size_t piece = 0;
    int ms = 0;
  };

  void Run();
  bool Play(const Step& step);
  // Reads what is available within `ms` into received_: >0 bytes, 0 nothing
  // within the time, -1 closed or failed.
  int ReadSome(int ms);
  bool ReadLine(std::string* line);
  bool WriteAll(const std::string& bytes);
  void Problem(std::string text);

  std::intptr_t listener_ = -1;
  std::intptr_t client_ = -1;
  int port_ = 0;
  int read_deadline_ms_ = 5000;
  std::vector<Step> steps_;
  std::thread thread_;
  std::atomic<bool> client_done_{false};
  std::atomic<bool> connected_{false};
  std::atomic<int> drain_ms_{3000};
  bool client_closed_ = false;
  std::string received_;
  std::size_t consumed_ = 0;
  std::vector<std::string> problems_;
  std::vector<std::string> log_;
};

// Renders bytes with CR, LF, TAB, backslash and non-ASCII as escapes.
std::string Escape(const std::string& bytes);

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_SCRIPTED_PEER_H_
