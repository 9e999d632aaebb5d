// A TCP proxy on loopback between tarnu and a real server (Dovecot,
// aiosmtpd) that damages one connection at one point of its byte stream: it
// cuts, resets, stalls, injects bytes or lets the rest through one byte at a
// time. So real servers are tested under the faults of a real network
// without scripting the server's side.
//
//   FaultProxy::Plan plan;
//   plan.fault = FaultProxy::Fault::kCut;
//   plan.direction = FaultProxy::Direction::kToClient;
//   plan.marker = "TOP 2 ";   // the server's answer to the client's TOP 2...
//   plan.skip = 10;           // ...is cut after its tenth byte
//   FaultProxy proxy(dovecot.port(), plan);
//   ASSERT_TRUE(proxy.Start());
//   ... tarnu connects to 127.0.0.1:proxy.port() ...
//
// Connections are served one after the other; the plan applies to one of
// them (the first by default), the others pass untouched. Linux only.
#ifndef TARNU_TESTS_SUPPORT_FAULT_PROXY_H_
#define TARNU_TESTS_SUPPORT_FAULT_PROXY_H_

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace tarnu::testing {

class FaultProxy {
 public:
  enum class Direction { kToServer, kToClient };
  enum class Fault {
    kNone,
    kCut,     // both connections closed in order (the client reads end of stream)
    kReset,   // the client's connection aborted (RST); the server's closed
    kStall,   // nothing more passes in this direction; the connection stays
    kInject,  // `bytes` are put into the stream here, then the rest follows
    kDrip,    // from here on one byte every `drip_ms`
  };
  struct Plan {
    Fault fault = Fault::kNone;
    Direction direction = Direction::kToClient;
    // Where the fault strikes: `skip` bytes after the start of the first
    // `marker` the client sends (kToServer), or `skip` bytes into what the
    // server sends once the client's whole `marker` has passed (kToClient).
    // An empty marker counts from the first byte of the connection.
    std::string marker;
    std::size_t skip = 0;
    std::string bytes;   // kInject
    int drip_ms = 1000;  // kDrip
    int connection = 1;  // the connection that gets the fault, from 1
  };

  FaultProxy(int upstream_port, Plan plan);
  ~FaultProxy();
  FaultProxy(const FaultProxy&) = delete;
  FaultProxy& operator=(const FaultProxy&) = delete;

  // Listens on 127.0.0.1 (a free port) and serves connections on a thread.
  bool Start();
  // Ends every connection and the thread.
  void Stop();

  int port() const { return port_; }
  int connections() const { return connections_; }
  // The fault struck (its point was reached).
  bool fired() const { return fired_; }
  // Everything the client sent on the faulted connection.
  std::string client_bytes() const;

 private:
  void Serve();
  void Relay(int client, int server, bool faulted);

  int upstream_port_;
  Plan plan_;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<bool> fired_{false};
  mutable std::mutex mutex_;
  std::string client_bytes_;
};

}  // namespace tarnu::testing

#endif  // TARNU_TESTS_SUPPORT_FAULT_PROXY_H_
