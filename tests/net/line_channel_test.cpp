#include "net/line_channel.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/recording_hooks.h"
#include "tests/support/scripted_peer.h"

#ifndef _WIN32
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarnu {
namespace {

using testing::CountingPump;
using testing::Escape;
using testing::RecordingStatus;
using testing::ScriptedPeer;

// ---- splitting a gathered multi-line reply ----

TEST(SplitMultiline, Table) {
  struct Case {
    const char* name;
    std::string gathered;
    std::string header;
    std::string body;
  } cases[] = {
      {"plain message", "A: 1\r\nB: 2\r\n\r\nline 1\r\nline 2\r\n.\r\n", "A: 1\r\nB: 2\r",
       "line 1\r\nline 2\r\n"},
      {"empty body after the blank line", "A: 1\r\n\r\n.\r\n", "A: 1\r", ""},
      {"no blank line: all header, no terminator dot in it", "A: 1\r\nB: 2\r\n.\r\n",
       "A: 1\r\nB: 2\r", ""},
      {"only the terminating line", ".\r\n", "", ""},
      {"opens with the blank line: no header", "\r\nbody\r\n.\r\n", "", "body\r\n"},
      {"blank body line kept", "A: 1\r\n\r\n\r\nx\r\n.\r\n", "A: 1\r", "\r\nx\r\n"},
      {"second blank line stays in the body", "A: 1\r\n\r\nx\r\n\r\ny\r\n.\r\n", "A: 1\r",
       "x\r\n\r\ny\r\n"},
      // Stuffing is undone at line starts only.
      {"two dots become one", "A: 1\r\n\r\n..\r\n.\r\n", "A: 1\r", ".\r\n"},
      {"letter and two dots stay", "A: 1\r\n\r\na..\r\n.\r\n", "A: 1\r", "a..\r\n"},
      {"two dots and a letter lose one", "A: 1\r\n\r\n..a\r\n.\r\n", "A: 1\r", ".a\r\n"},
      {"three dots lose one", "A: 1\r\n\r\n...\r\n.\r\n", "A: 1\r", "..\r\n"},
      {"first body line stuffed", "A: 1\r\n\r\n..x\r\ny..z\r\n..\r\n.\r\n", "A: 1\r",
       ".x\r\ny..z\r\n.\r\n"},
      {"a stuffed header line", "..A: 1\r\n\r\nx\r\n.\r\n", ".A: 1\r", "x\r\n"},
      {"dots in the middle untouched", "A: x..y\r\n\r\nb..\r\n.\r\n", "A: x..y\r", "b..\r\n"},
      {"not complete: taken as it stands", "A: 1\r\n\r\nbody", "A: 1\r", "body"},
      {"nothing at all", "", "", ""},
      {"bare LF line ends: incomplete, all header", "A: 1\n\nbody\n.\r\n", "A: 1\n\nbody\n.\r", ""},
  };
  for (const Case& c : cases) {
    std::string header = "stale";
    std::string body = "stale";
    SplitMultiline(c.gathered, &header, &body);
    EXPECT_EQ(Escape(header), Escape(c.header)) << c.name;
    EXPECT_EQ(Escape(body), Escape(c.body)) << c.name;
  }
}

TEST(IsMultilineComplete, Table) {
  struct Case {
    std::string text;
    bool complete;
  } cases[] = {
      {".\r\n", true},        {"\r\n.\r\n", true}, {"a\r\n.\r\n", true}, {"a\r\n..\r\n", false},
      {"a\r\n.\r\nx", false}, {"a.\r\n", false},   {"", false},          {".\n", false},
      {"..\r\n", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsMultilineComplete(c.text), c.complete) << Escape(c.text);
}

// ---- the channel against a scripted peer ----

class ChannelTest : public ::testing::Test {
 protected:
  void Connect() {
    peer.Start();
    ASSERT_TRUE(channel.Connect("127.0.0.1", peer.port(), 5)) << channel.last_error();
  }
  ScriptedPeer peer;
  CountingPump pump;
  LineChannel channel{&pump};
};

TEST_F(ChannelTest, LongLineComesInTwoReads) {
  std::string line(1498, 'x');
  peer.Send(line + "\r\nnext\r\n");
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), 1023);
  EXPECT_EQ(got, line.substr(0, 1023));
  EXPECT_EQ(channel.ReadLine(&got, 2), 477);
  EXPECT_EQ(got, line.substr(1023) + "\r\n");
  EXPECT_EQ(channel.ReadLine(&got, 2), 6);
  EXPECT_EQ(got, "next\r\n");
  channel.Close();
  EXPECT_EQ(peer.Finish(), "");
  EXPECT_TRUE(peer.problems().empty()) << peer.Log();
}

TEST_F(ChannelTest, LineOfExactlyCapacityMinusOneWithItsLf) {
  std::string line(1021, 'y');
  peer.Send(line + "\r\n");
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), 1023);
  EXPECT_EQ(got, line + "\r\n");
}

TEST_F(ChannelTest, LineInOneBytePieces) {
  peer.SendInPieces("+OK split into many segments\r\n", 1);
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), 30);
  EXPECT_EQ(got, "+OK split into many segments\r\n");
}

TEST_F(ChannelTest, ReadLineLeavesTheRestForTheNextRead) {
  // Status line and message in one segment: the multi-line reader must start
  // exactly behind the status line.
  peer.Send("+OK 12 octets\r\nA: 1\r\n\r\nbody\r\n.\r\n");
  Connect();
  std::string line, header, body;
  EXPECT_EQ(channel.ReadLine(&line, 2), 15);
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), 17);
  EXPECT_EQ(header, "A: 1\r");
  EXPECT_EQ(body, "body\r\n");
}

TEST_F(ChannelTest, DiscardUnreadDropsTheBufferedRestAndWhatLaterArrived) {
  // "b" shares the segment of "a"; "c" comes in a segment of its own while
  // the client has not asked for anything.
  peer.Send("a\r\nb\r\n").Silence(100).Send("c\r\n").Expect("NEXT\r\n").Send("answer\r\n");
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), 3);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  channel.DiscardUnread();
  EXPECT_EQ(channel.Send("NEXT\r\n"), 6);
  EXPECT_EQ(channel.ReadLine(&got, 2), 8);
  EXPECT_EQ(got, "answer\r\n");
  channel.Close();
  peer.Finish();
  EXPECT_TRUE(peer.problems().empty()) << peer.Log();
}

TEST_F(ChannelTest, PeerClosingDuringReadLineIsAFailureNotATimeout) {
  peer.Send("+OK half a li").ShutdownWrite();
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), -1);
  EXPECT_EQ(channel.last_error(), 0);  // an orderly close has no error number
}

TEST_F(ChannelTest, ResetDuringReadLineIsAFailureWithItsNumber) {
  peer.Send("+OK half").Silence(200).Reset();
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, 2), -1);
#ifndef _WIN32
  EXPECT_EQ(channel.last_error(), ECONNRESET);
#endif
}

TEST_F(ChannelTest, SilentPeerTimesOutAfterTheTimeoutPumpingMeanwhile) {
  peer.Silence(4000);
  Connect();
  std::string got;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(channel.ReadLine(&got, 2), kReadTimeout);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 1.9);
  EXPECT_LT(seconds, 3.5);
  // Once before reading and once between the two one-second slices.
  EXPECT_GE(pump.calls, 2);
}

TEST_F(ChannelTest, UnlimitedWaitStillPumpsBetweenSlices) {
  peer.Silence(1500).Send("late\r\n");
  Connect();
  std::string got;
  EXPECT_EQ(channel.ReadLine(&got, -1), 6);
  EXPECT_EQ(got, "late\r\n");
  EXPECT_GE(pump.calls, 2);  // before reading, and after the first silent second
}

TEST_F(ChannelTest, TimeoutZeroStillWaitsOneSlice) {
  peer.Silence(3000);
  Connect();
  char buffer[16];
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(channel.ReceiveSome(buffer, sizeof buffer, 0), 0);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 0.9);
  EXPECT_LT(seconds, 2.5);
}

TEST_F(ChannelTest, MultilineInSmallPiecesWithProgress) {
  std::string reply = "Subject: x\r\n\r\nline\r\n..dot\r\n.\r\n";
  peer.SendInPieces(reply, 3);
  Connect();
  RecordingStatus status("T");
  std::string header, body;
  int total = channel.ReadMultiline(&status, 100, &header, &body, 2);
  EXPECT_EQ(total, static_cast<int>(reply.size()));
  EXPECT_EQ(header, "Subject: x\r");
  EXPECT_EQ(body, "line\r\n.dot\r\n");
  ASSERT_GE(status.history.size(), 2u);
  EXPECT_EQ(status.history.front(), "T[0/100]");
  EXPECT_EQ(status.history.back(), "T[" + std::to_string(reply.size()) + "/100]");
  // The caller restores the title; the channel leaves the last progress.
  EXPECT_EQ(status.title, status.history.back());
}

TEST_F(ChannelTest, EmptyMessageIsCompleteAtOnce) {
  peer.Send(".\r\n").Silence(3000);
  Connect();
  std::string header = "x", body = "y";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), 3);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 0.9);  // did not wait for a timeout
  EXPECT_EQ(header, "");
  EXPECT_EQ(body, "");
}

TEST_F(ChannelTest, BlankLineOnlyMessageIsComplete) {
  peer.Send("\r\n.\r\n").Silence(3000);
  Connect();
  std::string header, body;
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), 5);
  EXPECT_EQ(header, "");
  EXPECT_EQ(body, "");
}

TEST_F(ChannelTest, PeerClosingDuringMultilineIsATimeout) {
  peer.Send("A: 1\r\n\r\nbody li").ShutdownWrite();
  Connect();
  std::string header, body;
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), kReadTimeout);
}

TEST_F(ChannelTest, SilenceDuringMultilineIsATimeout) {
  peer.Send("A: 1\r\n\r\nbody\r\n").Silence(3000);
  Connect();
  std::string header, body;
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 1), kReadTimeout);
}

TEST_F(ChannelTest, NulBytesAreDroppedAndTheRestKept) {
  peer.Send(std::string("A: 1\0x\r\n\r\nb\0ody\r\n.\r\n", 20));
  Connect();
  std::string header, body;
  EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), 20);
  EXPECT_EQ(header, "A: 1x\r");
  EXPECT_EQ(body, "body\r\n");
}

TEST_F(ChannelTest, LargeReplyAcrossManyChunks) {
  std::string body;
  for (int i = 0; i < 2000; ++i) body += "line " + std::to_string(i) + " ..........\r\n";
  peer.Send("H: v\r\n\r\n" + body + ".\r\n");
  Connect();
  std::string header, got;
  int total = channel.ReadMultiline(nullptr, 0, &header, &got, 2);
  EXPECT_EQ(total, static_cast<int>(body.size() + 11));
  EXPECT_EQ(got, body);
}

// Replies to pipelined commands arrive back to back: a multi-line reply is
// read to its terminating line and not a byte further, wherever the
// segments happen to be cut, and whatever part of it is kept.
TEST(LineChannelPipelined, EachReplyEndsAtItsTerminatingLine) {
  const std::string message = "A: 1\r\n\r\nbody\r\n.\r\n";  // its text: 14 bytes
  const std::string with_nul("A: 1\r\n\r\nb\0x\r\n.\r\n", 16);
  struct Case {
    const char* name;
    std::string first;  // the multi-line reply
    std::size_t keep;
    std::string header, body;
  } cases[] = {
      {"a message", message, kMultilineLimit, "A: 1\r", "body\r\n"},
      {"an empty message", ".\r\n", kMultilineLimit, "", ""},
      {"a dot line just before the end", "A: 1\r\n\r\n..\r\n.\r\n", kMultilineLimit, "A: 1\r",
       ".\r\n"},
      {"a NUL byte in it", with_nul, kMultilineLimit, "A: 1\r", "bx\r\n"},
      {"kept: its first 10 bytes", message, 10, "A: 1\r", "bo"},
      {"kept: exactly its text", message, 14, "A: 1\r", "body\r\n"},
      // Cut inside the terminating line: the text is whole, and no part of
      // that line joins it.
      {"kept: its text and the dot", message, 15, "A: 1\r", "body\r\n"},
      {"kept: all but the last byte", message, 16, "A: 1\r", "body\r\n"},
      {"kept: its text and the dot, a NUL byte in it", with_nul, 13, "A: 1\r", "bx\r\n"},
  };
  for (const Case& c : cases) {
    for (std::size_t piece : {1u, 2u, 3u, 4u, 5u, 7u, 64u}) {
      ScriptedPeer peer;
      peer.SendInPieces(c.first + ".\r\n+OK next\r\n", piece, 0);
      peer.Start();
      LineChannel channel(nullptr);
      ASSERT_TRUE(channel.Connect("127.0.0.1", peer.port(), 5));
      std::string header, body, line;
      EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2, c.keep),
                static_cast<int>(c.first.size()))
          << c.name << " in pieces of " << piece;
      EXPECT_EQ(Escape(header), Escape(c.header)) << c.name << " " << piece;
      EXPECT_EQ(Escape(body), Escape(c.body)) << c.name << " " << piece;
      // The next reply is an empty message, then a status line.
      EXPECT_EQ(channel.ReadMultiline(nullptr, 0, &header, &body, 2), 3) << c.name << " " << piece;
      EXPECT_EQ(channel.ReadLine(&line, 2), 10) << c.name << " " << piece;
      EXPECT_EQ(line, "+OK next\r\n") << c.name << " " << piece;
      channel.Close();
      peer.Finish();
    }
  }
}

TEST_F(ChannelTest, SendReachesThePeer) {
  peer.Expect("HELLO there\r\n");
  Connect();
  EXPECT_EQ(channel.Send("HELLO there\r\n"), 13);
  channel.Close();
  EXPECT_EQ(peer.Finish(), "HELLO there\r\n");
  EXPECT_TRUE(peer.problems().empty()) << peer.Log();
}

// ---- time limits: a peer that sends a byte now and then is never silent
// for the timeout, yet every line, every reply and the whole dialogue end ----

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(ChannelTest, EveryLineAndReplyMustBeWholeWithinItsTime) {
  const std::string line = "+OK " + std::string(30, 'd') + "\r\n";
  struct Case {
    const char* what;
    bool multiline;
    int pause_ms;  // between the bytes
  } cases[] = {{"a reply line", false, 300}, {"a multi-line reply", true, 300}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedPeer dripping;
    dripping.SendInPieces(c.multiline ? "H: v\r\n\r\n" + line + ".\r\n" : line, 1, c.pause_ms);
    dripping.Start();
    LineChannel drip_channel(&pump);
    ASSERT_TRUE(drip_channel.Connect("127.0.0.1", dripping.port(), 5));
    const auto start = std::chrono::steady_clock::now();
    std::string header, body;
    const int got = c.multiline ? drip_channel.ReadMultiline(nullptr, 0, &header, &body, 2)
                                : drip_channel.ReadLine(&body, 2);
    EXPECT_EQ(kReadTimeout, got);
    // All of it would take 10 s or more; the limit is 2 s and a slice.
    EXPECT_LT(SecondsSince(start), 3.5);
    drip_channel.Close();
    dripping.Finish(0);
  }
}

// A large reply from a slow server gets one more timeout for every 64 KiB.
TEST_F(ChannelTest, LargeReplyGetsTimeForItsSize) {
  std::string reply = "H: v\r\n\r\n";
  while (reply.size() < 300 * 1024) reply += std::string(1000, 'b') + "\r\n";
  reply += ".\r\n";
  // 300 KiB in pieces of 16 KiB every 250 ms: 4.7 s, over twice the timeout.
  peer.SendInPieces(reply, 16 * 1024, 250);
  Connect();
  std::string header, body;
  EXPECT_EQ(static_cast<int>(reply.size()), channel.ReadMultiline(nullptr, 0, &header, &body, 2));
  EXPECT_EQ(reply.size() - 8 - 3, body.size());
}

// Only the first part of a huge reply is kept; the rest is read to its end,
// so the next reply is read where it starts.
TEST_F(ChannelTest, HugeReplyKeepsItsFirstPart) {
  const std::string head = "Subject: big\r\n\r\n";
  std::string reply = head;
  while (reply.size() < (3u << 20)) reply += std::string(998, 'z') + "\r\n";
  peer.Send(reply + ".\r\n").Expect("NEXT\r\n").Send("+OK next\r\n");
  Connect();
  std::string header, body;
  EXPECT_EQ(static_cast<int>(reply.size() + 3),
            channel.ReadMultiline(nullptr, 0, &header, &body, 5, 1 << 20));
  EXPECT_EQ("Subject: big\r", header);
  EXPECT_EQ((1u << 20) - head.size(), body.size());
  EXPECT_EQ(reply.substr(head.size(), body.size()), body);
  std::string next;
  EXPECT_EQ(6, channel.Send("NEXT\r\n"));
  EXPECT_EQ(10, channel.ReadLine(&next, 2));
  EXPECT_EQ("+OK next\r\n", next);
}

TEST(LineChannelDialogue, HasAnEndThatItsWorkCanExtend) {
  for (long long extend : {0LL, 10LL}) {
    SCOPED_TRACE(extend);
    ScriptedPeer peer;
    // Eight lines, each after 900 ms: every one in time, all of them not.
    for (int i = 0; i < 8; ++i) peer.Silence(900).Send("line\r\n");
    peer.Start();
    LineChannel channel(nullptr);
    ASSERT_TRUE(channel.Connect("127.0.0.1", peer.port(), 1));
    channel.ExtendDialogue(extend);
    int read = 0;
    std::string line;
    while (read < 8 && channel.ReadLine(&line, 1) > 0) ++read;
    // Six timeouts (6 s) hold six lines, and the one in progress at the end.
    if (extend == 0) {
      EXPECT_TRUE(read == 6 || read == 7) << read;
    } else {
      EXPECT_EQ(8, read);
    }
    channel.Close();
    peer.Finish(0);
  }
}

#ifndef _WIN32
// A peer that stops reading: the sender gives up after the timeout instead
// of waiting for room forever.
TEST(LineChannelSend, PeerThatDoesNotReadIsGivenUpOn) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(listener, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address));
  ASSERT_EQ(0, listen(listener, 1));  // never accepted, never read
  ASSERT_EQ(0, getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length));
  CountingPump pump;
  LineChannel channel(&pump);
  ASSERT_TRUE(channel.Connect("127.0.0.1", ntohs(address.sin_port), 2));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(-1, channel.Send(std::string(64 << 20, 'x')));
  EXPECT_EQ(ETIMEDOUT, channel.last_error());
  EXPECT_LT(SecondsSince(start), 6.0);
  EXPECT_GE(pump.calls, 1);
  channel.Close();
  close(listener);
}
#endif

TEST(LineChannelConnect, RefusedPortFailsWithTheErrorNumber) {
  int port;
  {
    ScriptedPeer closed;  // a port that was just free and is now closed
    port = closed.port();
  }
  LineChannel channel(nullptr);
  EXPECT_FALSE(channel.Connect("127.0.0.1", port, 2));
  EXPECT_FALSE(channel.is_open());
#ifndef _WIN32
  EXPECT_EQ(channel.last_error(), ECONNREFUSED);
#endif
}

TEST(LineChannelConnect, UnresolvableNameFails) {
  LineChannel channel(nullptr);
  EXPECT_FALSE(channel.Connect("", 110, 2));
  EXPECT_NE(channel.last_error(), 0);
  EXPECT_FALSE(channel.is_open());
}

#ifndef _WIN32
// A listener whose accept queue is full drops new SYNs, so a connect to it
// hangs: the channel must give up after the timeout, pumping meanwhile.
TEST(LineChannelConnect, HangingConnectIsGivenUpAfterTheTimeout) {
  int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::listen(listener, 0), 0);
  socklen_t length = sizeof address;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  std::vector<int> fillers;
  for (int i = 0; i < 3; ++i) {
    int s = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    fillers.push_back(s);
  }
  CountingPump pump;
  LineChannel channel(&pump);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(channel.Connect("127.0.0.1", ntohs(address.sin_port), 2));
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(channel.last_error(), ETIMEDOUT);
  EXPECT_GE(seconds, 1.9);
  EXPECT_LT(seconds, 3.5);
  EXPECT_GE(pump.calls, 1);
  for (int s : fillers) ::close(s);
  ::close(listener);
}
#endif

TEST(LineChannelUnconnected, EveryOperationFailsQuietly) {
  LineChannel channel(nullptr);
  char buffer[4];
  std::string line;
  EXPECT_EQ(channel.Send("x"), -1);
  EXPECT_EQ(channel.ReceiveSome(buffer, sizeof buffer, 0), -1);
  EXPECT_EQ(channel.ReadLine(&line, 0), -1);
  channel.Close();
  channel.Close();
}

// The machine is going to sleep: whatever the channel waits for is given up
// at the next slice, with the error of an abandoned connection, instead of
// waiting out the timeout (or hanging after the wake-up).
class AbandoningPump : public MessagePump {
 public:
  explicit AbandoningPump(int calls_before) : calls_before_(calls_before) {}
  void PumpMessages() override { ++calls; }
  bool WaitsAbandoned() override { return calls > calls_before_; }
  int calls = 0;

 private:
  int calls_before_;
};

TEST(LineChannelAbandoned, EveryWaitEndsAtOnceWithTheAbandonedError) {
  struct Case {
    const char* what;
    int calls_before;  // pump calls before the waits are abandoned
    bool connects;
  } cases[] = {
      {"before the connect", -1, false},
      {"while a reply is awaited", 1, true},
  };
  for (const Case& c : cases) {
    ScriptedPeer peer;
    peer.Silence(10000);  // a server that never answers
    peer.Start();
    AbandoningPump pump(c.calls_before);
    LineChannel channel(&pump);
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(channel.Connect("127.0.0.1", peer.port(), 30), c.connects) << c.what;
    if (c.connects) {
      std::string line;
      EXPECT_EQ(channel.ReadLine(&line, 30), -1) << c.what;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(channel.last_error(), platform::NetAbandonedError()) << c.what;
    EXPECT_LT(seconds, 5) << c.what;
    channel.Close();
    peer.Finish();
  }
}

}  // namespace
}  // namespace tarnu
