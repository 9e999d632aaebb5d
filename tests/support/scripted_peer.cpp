#include "tests/support/scripted_peer.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace tarnu::testing {
namespace {

#ifdef _WIN32
using RawSocket = SOCKET;
constexpr int kNoSignal = 0;
int PollSockets(WSAPOLLFD* p, int ms) { return ::WSAPoll(p, 1, ms); }
using PollFd = WSAPOLLFD;
void CloseRaw(RawSocket s) { ::closesocket(s); }
constexpr int kShutWrite = SD_SEND;
#else
using RawSocket = int;
constexpr int kNoSignal = MSG_NOSIGNAL;
int PollSockets(pollfd* p, int ms) { return ::poll(p, 1, ms); }
using PollFd = pollfd;
void CloseRaw(RawSocket s) { ::close(s); }
constexpr int kShutWrite = SHUT_WR;
#endif

using Clock = std::chrono::steady_clock;

RawSocket Raw(std::intptr_t s) { return static_cast<RawSocket>(s); }

// 1 ready, 0 not within `ms`, -1 failure.
int WaitFor(std::intptr_t s, short events, int ms) {
  PollFd p = {};
  p.fd = Raw(s);
  p.events = events;
  int n = PollSockets(&p, ms < 0 ? 0 : ms);
  if (n < 0) return -1;
  return n > 0 ? 1 : 0;
}

int MillisecondsLeft(Clock::time_point end) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

}  // namespace

std::string Escape(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\\') {
      out += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

ScriptedPeer::ScriptedPeer() {
#ifdef _WIN32
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
#endif
  RawSocket s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(s, 4) != 0) {
    problems_.push_back("cannot listen on loopback");
    CloseRaw(s);
    return;
  }
  socklen_t length = sizeof address;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  listener_ = static_cast<std::intptr_t>(s);
}

ScriptedPeer::~ScriptedPeer() {
  if (thread_.joinable()) Finish(0);
  if (listener_ != -1) CloseRaw(Raw(listener_));
#ifdef _WIN32
  ::WSACleanup();
#endif
}

ScriptedPeer& ScriptedPeer::Send(std::string bytes) {
  steps_.push_back({Kind::kSend, std::move(bytes)});
  return *this;
}

ScriptedPeer& ScriptedPeer::SendInPieces(std::string bytes, std::size_t piece, int pause_ms) {
  steps_.push_back({Kind::kSendPieces, std::move(bytes), piece == 0 ? 1 : piece, pause_ms});
  return *this;
}

ScriptedPeer& ScriptedPeer::Expect(std::string line) {
  steps_.push_back({Kind::kExpect, std::move(line)});
  return *this;
}

ScriptedPeer& ScriptedPeer::ExpectPrefix(std::string prefix) {
  steps_.push_back({Kind::kExpectPrefix, std::move(prefix)});
  return *this;
}

ScriptedPeer& ScriptedPeer::ExpectUntil(std::string end) {
  steps_.push_back({Kind::kExpectUntil, std::move(end)});
  return *this;
}

ScriptedPeer& ScriptedPeer::Silence(int ms) {
  steps_.push_back({Kind::kSilence, std::string(), 0, ms});
  return *this;
}

ScriptedPeer& ScriptedPeer::ShutdownWrite() {
  steps_.push_back({Kind::kShutdownWrite, std::string()});
  return *this;
}

ScriptedPeer& ScriptedPeer::Reset() {
  steps_.push_back({Kind::kReset, std::string()});
  return *this;
}

ScriptedPeer& ScriptedPeer::NextClient() {
  steps_.push_back({Kind::kNextClient, std::string()});
  return *this;
}

void ScriptedPeer::Start() {
  if (listener_ == -1 || thread_.joinable()) return;
  thread_ = std::thread([this] { Run(); });
}

std::string ScriptedPeer::Finish(int drain_ms) {
  drain_ms_ = drain_ms;
  client_done_ = true;
  if (thread_.joinable()) thread_.join();
  return received_;
}

std::string ScriptedPeer::Log() const {
  std::string out;
  for (const std::string& line : log_) out += line + "\n";
  for (const std::string& p : problems_) out += "problem: " + p + "\n";
  return out;
}

void ScriptedPeer::Problem(std::string text) { problems_.push_back(std::move(text)); }

void ScriptedPeer::Run() {
  // Accept one client; once the test says its client is done, one last look
  // takes a connection still waiting in the backlog.
  for (;;) {
    bool last_look = client_done_;
    int ready = WaitFor(listener_, POLLIN, last_look ? 0 : 20);
    if (ready > 0) break;
    if (ready < 0 || last_look) return;
  }
  RawSocket s = ::accept(Raw(listener_), nullptr, nullptr);
#ifdef _WIN32
  if (s == INVALID_SOCKET) return;
#else
  if (s < 0) return;
#endif
  client_ = static_cast<std::intptr_t>(s);
  connected_ = true;

  for (const Step& step : steps_) {
    if (!Play(step)) break;
  }

  // Keep reading until the client closes: what it sends after the script is
  // part of the transcript, and a connection left open is a fault.
  if (client_ != -1) {
    while (!client_closed_) {
      if (client_done_) {
        Clock::time_point end = Clock::now() + std::chrono::milliseconds(drain_ms_.load());
        while (!client_closed_ && ReadSome(MillisecondsLeft(end)) >= 0 && Clock::now() < end) {
        }
        if (!client_closed_) Problem("the client did not close its connection");
        break;
      }
      ReadSome(20);
    }
    CloseRaw(Raw(client_));
    client_ = -1;
  }
}

int ScriptedPeer::ReadSome(int ms) {
  if (client_closed_) return -1;
  int ready = WaitFor(client_, POLLIN, ms);
  if (ready == 0) return 0;
  char buffer[4096];
  int n = ready < 0 ? -1 : static_cast<int>(::recv(Raw(client_), buffer, sizeof buffer, 0));
  if (n <= 0) {
    client_closed_ = true;
    return -1;
  }
  received_.append(buffer, static_cast<std::size_t>(n));
  return n;
}

bool ScriptedPeer::ReadLine(std::string* line) {
  Clock::time_point end = Clock::now() + std::chrono::milliseconds(read_deadline_ms_);
  for (;;) {
    std::size_t lf = received_.find('\n', consumed_);
    if (lf != std::string::npos) {
      *line = received_.substr(consumed_, lf + 1 - consumed_);
      consumed_ = lf + 1;
      log_.push_back("C: " + Escape(*line));
      return true;
    }
    if (Clock::now() >= end) return false;
    if (ReadSome(MillisecondsLeft(end) < 20 ? MillisecondsLeft(end) : 20) < 0) return false;
  }
}

bool ScriptedPeer::WriteAll(const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (WaitFor(client_, POLLOUT, read_deadline_ms_) <= 0) return false;
    int n = static_cast<int>(::send(Raw(client_), bytes.data() + done,
                                    static_cast<int>(bytes.size() - done), kNoSignal));
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

namespace {

// What the log shows of bytes sent: their start, which is what tells one
// reply from another, and the count of a long run.
std::string Shown(const std::string& bytes) {
  constexpr std::size_t kShown = 4000;
  if (bytes.size() <= kShown) return Escape(bytes);
  return Escape(bytes.substr(0, kShown)) + "... (" + std::to_string(bytes.size()) + " bytes)";
}

}  // namespace

bool ScriptedPeer::Play(const Step& step) {
  switch (step.kind) {
    case Kind::kSend:
      log_.push_back("S: " + Shown(step.bytes));
      if (!WriteAll(step.bytes)) {
        Problem("could not send " + Shown(step.bytes));
        return false;
      }
      return true;
    case Kind::kSendPieces: {
      log_.push_back("S (in pieces of " + std::to_string(step.piece) + "): " + Shown(step.bytes));
      int on = 1;
      ::setsockopt(Raw(client_), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                   sizeof on);
      for (std::size_t i = 0; i < step.bytes.size(); i += step.piece) {
        if (!WriteAll(step.bytes.substr(i, step.piece))) {
          Problem("could not send " + Shown(step.bytes));
          return false;
        }
        if (step.ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(step.ms));
      }
      return true;
    }
    case Kind::kExpect:
    case Kind::kExpectPrefix: {
      std::string line;
      if (!ReadLine(&line)) {
        Problem("expected " + Escape(step.bytes) + ", got " +
                (client_closed_ ? "a closed connection" : "silence") + " after " +
                Escape(received_.substr(consumed_)));
        return false;
      }
      bool match = step.kind == Kind::kExpect ? line == step.bytes
                                              : line.compare(0, step.bytes.size(), step.bytes) == 0;
      if (!match) {
        Problem("expected " + Escape(step.bytes) + ", got " + Escape(line));
        return false;
      }
      return true;
    }
    case Kind::kExpectUntil: {
      Clock::time_point end = Clock::now() + std::chrono::milliseconds(read_deadline_ms_);
      for (;;) {
        std::size_t at = received_.find(step.bytes, consumed_);
        if (at != std::string::npos) {
          std::size_t stop = at + step.bytes.size();
          log_.push_back("C: " + Escape(received_.substr(consumed_, stop - consumed_)));
          consumed_ = stop;
          return true;
        }
        if (Clock::now() >= end || ReadSome(20) < 0) {
          Problem("expected data ending with " + Escape(step.bytes));
          return false;
        }
      }
    }
    case Kind::kSilence: {
      log_.push_back("S: (silent " + std::to_string(step.ms) + " ms)");
      Clock::time_point end = Clock::now() + std::chrono::milliseconds(step.ms);
      while (Clock::now() < end) {
        int left = MillisecondsLeft(end);
        if (ReadSome(left < 20 ? left : 20) < 0) break;  // the client is gone
      }
      return true;
    }
    case Kind::kShutdownWrite:
      log_.push_back("S: (shutdown write)");
      ::shutdown(Raw(client_), kShutWrite);
      return true;
    case Kind::kReset: {
      log_.push_back("S: (reset)");
      struct linger abort_close = {};
      abort_close.l_onoff = 1;
      abort_close.l_linger = 0;
      ::setsockopt(Raw(client_), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&abort_close),
                   sizeof abort_close);
      CloseRaw(Raw(client_));
      client_ = -1;
      return false;
    }
    case Kind::kNextClient: {
      Clock::time_point end = Clock::now() + std::chrono::milliseconds(read_deadline_ms_);
      while (!client_closed_ && ReadSome(MillisecondsLeft(end)) >= 0 && Clock::now() < end) {
      }
      if (!client_closed_) {
        Problem("the client did not close before connecting again");
        return false;
      }
      CloseRaw(Raw(client_));
      client_ = -1;
      client_closed_ = false;
      consumed_ = received_.size();
      if (WaitFor(listener_, POLLIN, read_deadline_ms_) <= 0) {
        Problem("the client did not connect again");
        return false;
      }
      RawSocket s = ::accept(Raw(listener_), nullptr, nullptr);
#ifdef _WIN32
      if (s == INVALID_SOCKET) return false;
#else
      if (s < 0) return false;
#endif
      client_ = static_cast<std::intptr_t>(s);
      log_.push_back("-- the client connects again");
      return true;
    }
  }
  return false;
}

}  // namespace tarnu::testing
