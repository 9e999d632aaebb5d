#include "tests/support/fault_proxy.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

namespace tarnu::testing {
namespace {

using Clock = std::chrono::steady_clock;

// What the client sends is kept for the test up to this much.
constexpr std::size_t kKeepClientBytes = 1 << 20;
// A connection whose client has gone is ended this long after, whatever the
// server does (a stalled close would otherwise keep it forever).
constexpr auto kLinger = std::chrono::milliseconds(1000);

void NonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

int ConnectUpstream(int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(s);
    return -1;
  }
  return s;
}

// One direction of a connection.
struct Flow {
  int from = -1;
  int to = -1;
  std::string out;         // ready to be written to `to`
  std::string held;        // dripping: waits to be let through byte by byte
  std::size_t count = 0;   // bytes of the source's stream taken so far
  long long trigger = -1;  // stream position where the fault strikes
  bool eof = false;        // the source closed
  bool shut = false;       // the close was passed on
  bool stalled = false;
  bool dripping = false;
  Clock::time_point next_drip;
};

}  // namespace

FaultProxy::FaultProxy(int upstream_port, Plan plan)
    : upstream_port_(upstream_port), plan_(std::move(plan)) {}

FaultProxy::~FaultProxy() { Stop(); }

bool FaultProxy::Start() {
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener_, 16) != 0 ||
      getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void FaultProxy::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

std::string FaultProxy::client_bytes() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return client_bytes_;
}

void FaultProxy::Serve() {
  std::vector<std::thread> relays;
  while (!stop_) {
    pollfd p = {listener_, POLLIN, 0};
    if (poll(&p, 1, 20) <= 0) continue;
    int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    const int number = ++connections_;
    relays.emplace_back([this, client, number] {
      int server = ConnectUpstream(upstream_port_);
      if (server < 0) {
        close(client);
        return;
      }
      Relay(client, server, number == plan_.connection && plan_.fault != Fault::kNone);
    });
  }
  for (std::thread& relay : relays) relay.join();
}

void FaultProxy::Relay(int client, int server, bool faulted) {
  NonBlocking(client);
  NonBlocking(server);
  Flow up;  // client to server
  up.from = client;
  up.to = server;
  Flow down;  // server to client
  down.from = server;
  down.to = client;
  Flow& struck = plan_.direction == Direction::kToServer ? up : down;
  if (faulted && plan_.marker.empty()) struck.trigger = static_cast<long long>(plan_.skip);
  std::string client_stream;  // for finding the marker
  bool closed = false;
  Clock::time_point client_gone{};

  auto end = [&](bool reset) {
    if (reset) {
      linger abort_now = {1, 0};
      setsockopt(client, SOL_SOCKET, SO_LINGER, &abort_now, sizeof abort_now);
    }
    close(client);
    close(server);
    closed = true;
  };

  // Takes `bytes` from the flow's source, applying the fault at its point.
  auto take = [&](Flow& flow, std::string bytes) {
    if (flow.stalled) return;
    if (flow.dripping) {
      flow.held += bytes;
      return;
    }
    const bool armed = faulted && &flow == &struck && !fired_ && flow.trigger >= 0;
    if (!armed || flow.count + bytes.size() < static_cast<std::size_t>(flow.trigger)) {
      flow.count += bytes.size();
      flow.out += bytes;
      return;
    }
    // The point lies within these bytes (or right after them).
    const std::size_t room = static_cast<std::size_t>(flow.trigger) - flow.count;
    flow.out.append(bytes, 0, room);
    flow.count += bytes.size();
    bytes.erase(0, room);
    fired_ = true;
    switch (plan_.fault) {
      case Fault::kCut:
        // What came before the point still goes out first.
        send(flow.to, flow.out.data(), flow.out.size(), MSG_NOSIGNAL);
        shutdown(client, SHUT_RDWR);
        end(false);
        break;
      case Fault::kReset:
        send(flow.to, flow.out.data(), flow.out.size(), MSG_NOSIGNAL);
        end(true);
        break;
      case Fault::kStall:
        flow.stalled = true;
        break;
      case Fault::kInject:
        flow.out += plan_.bytes;
        flow.out += bytes;
        break;
      case Fault::kDrip:
        flow.dripping = true;
        flow.held = std::move(bytes);
        flow.next_drip = Clock::now();
        break;
      case Fault::kNone:
        break;
    }
  };

  char buffer[65536];
  while (!closed && !stop_) {
    if (up.eof && Clock::now() - client_gone > kLinger) break;
    pollfd p[2] = {{client, 0, 0}, {server, 0, 0}};
    if (!up.eof) p[0].events |= POLLIN;
    if (!down.eof) p[1].events |= POLLIN;
    if (!down.out.empty()) p[0].events |= POLLOUT;
    if (!up.out.empty()) p[1].events |= POLLOUT;
    int wait_ms = 20;
    for (Flow* flow : {&up, &down}) {
      if (flow->dripping && !flow->held.empty()) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(flow->next_drip - Clock::now())
                .count();
        if (left < wait_ms) wait_ms = left < 0 ? 0 : static_cast<int>(left);
      }
    }
    if (poll(p, 2, wait_ms) < 0 && errno != EINTR) break;

    for (int i = 0; i < 2 && !closed; ++i) {
      Flow& flow = i == 0 ? up : down;
      if ((p[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0 && !flow.eof) {
        ssize_t n = recv(flow.from, buffer, sizeof buffer, 0);
        if (n > 0) {
          std::string bytes(buffer, static_cast<std::size_t>(n));
          if (&flow == &up) {
            if (faulted) {
              std::lock_guard<std::mutex> lock(mutex_);
              if (client_bytes_.size() < kKeepClientBytes) client_bytes_ += bytes;
            }
            // The marker, once the client has sent all of it.
            if (faulted && !plan_.marker.empty() && struck.trigger < 0) {
              const std::size_t before = client_stream.size();
              client_stream += bytes;
              std::size_t at = client_stream.find(plan_.marker);
              if (at != std::string::npos) {
                if (&struck == &up) {
                  struck.trigger = static_cast<long long>(at + plan_.skip);
                } else {
                  struck.trigger = static_cast<long long>(down.count + plan_.skip);
                }
              } else if (client_stream.size() > kKeepClientBytes) {
                client_stream.erase(0, before);
              }
            }
          }
          take(flow, std::move(bytes));
        } else if (n == 0) {
          flow.eof = true;
          if (&flow == &up) client_gone = Clock::now();
        } else if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
          if (&flow == &up) {
            // The client aborted: so does the server's side.
            end(true);
          } else {
            shutdown(client, SHUT_RDWR);
            end(false);
          }
        }
      }
    }
    if (closed) break;
    for (Flow* flow : {&up, &down}) {
      if (flow->dripping && !flow->held.empty() && Clock::now() >= flow->next_drip) {
        flow->out += flow->held[0];
        flow->held.erase(0, 1);
        flow->next_drip = Clock::now() + std::chrono::milliseconds(plan_.drip_ms);
      }
      while (!flow->out.empty()) {
        ssize_t n = send(flow->to, flow->out.data(), flow->out.size(), MSG_NOSIGNAL);
        if (n <= 0) break;
        flow->out.erase(0, static_cast<std::size_t>(n));
      }
      // A close is passed on once everything before it went through; a
      // stalled direction keeps its silence.
      if (flow->eof && !flow->shut && flow->out.empty() && flow->held.empty() && !flow->stalled) {
        shutdown(flow->to, SHUT_WR);
        flow->shut = true;
      }
    }
    if (up.shut && down.shut) break;
  }
  if (!closed) end(false);
}

}  // namespace tarnu::testing
