// The socket calls the protocols need, over Winsock on Windows and BSD
// sockets elsewhere, so the protocol code is written once.
#ifndef TARNU_PLATFORM_SOCKET_H_
#define TARNU_PLATFORM_SOCKET_H_

#include <cstdint>
#include <string>

namespace tarnu::platform {

using Socket = std::intptr_t;
inline constexpr Socket kNoSocket = -1;

// Winsock start-up and clean-up for one connection (WSAStartup 2.0 /
// WSACleanup); nothing to do elsewhere. NetStartup returns false on failure.
bool NetStartup();
void NetCleanup();

// The error number of the last failed call on this thread (WSAGetLastError;
// errno, or the resolver's code, elsewhere).
int NetLastError();

// The error number of a timed-out operation (WSAETIMEDOUT / ETIMEDOUT), for a
// connect the caller gave up on.
int NetTimedOutError();

// What a platform error number means, for a short reason after it.
enum class NetErrorKind {
  kOther,
  kPeerClosed,  // 0 after a receive: the server closed the connection
  kRefused,
  kTimedOut,
  kHostNotFound,
  kLookupTryAgain,
  kNetworkUnreachable,
  kHostUnreachable,
  kReset,
  kAborted,
  kAccessDenied,        // a firewall or security software said no
  kAddressUnavailable,  // no connection possible to that address or port (port 0)
};
NetErrorKind ClassifyNetError(int code);

// The error number of a wait the program abandoned (WSAECONNABORTED /
// ECONNABORTED), for example because the machine is going to sleep.
int NetAbandonedError();

// Resolves a host name or dotted address to an IPv4 address in network order.
bool ResolveHost(const std::string& host, std::uint32_t* address);

// A TCP socket whose connect does not block; kNoSocket on failure.
Socket OpenStreamSocket();

// Starts connecting: 1 connected, 0 in progress, -1 failed.
int StartConnect(Socket s, std::uint32_t address, int port);

// Waits at most `seconds` (>= 0) for the connect to finish: 1 connected,
// 0 still pending, -1 failed (NetLastError holds the reason). A connected
// socket is switched back to blocking sends.
int WaitConnected(Socket s, int seconds);

// Waits for data: 1 readable, 0 nothing within `seconds` (-1: no limit),
// -1 failure.
int WaitReadable(Socket s, int seconds);

// One send / one receive. Send never raises SIGPIPE. Return as send/recv.
int SendBytes(Socket s, const char* data, int length);
int ReceiveBytes(Socket s, char* buffer, int size);

// SendWithin's answer when no byte could be sent in time.
inline constexpr int kSendTimedOut = -2;

// Waits at most `seconds` (>= 0) until the socket takes data and sends what
// it takes without blocking: a count > 0, kSendTimedOut when nothing could
// go in time (a peer that stopped reading), -1 on failure. Never raises
// SIGPIPE.
int SendWithin(Socket s, const char* data, int length, int seconds);

// ReceiveWithin's answer when nothing arrived in time.
inline constexpr int kReceiveTimedOut = -2;

// Waits at most `seconds` (>= 0) for data on a socket connected by
// StartConnect/WaitConnected and takes up to `size` bytes: a count > 0, 0
// when the peer closed, -1 on failure, kReceiveTimedOut when nothing came.
// A one-second wait costs a single receive call where the platform allows.
int ReceiveWithin(Socket s, char* buffer, int size, int seconds);

// shutdown(receive) then close.
void CloseSocket(Socket s);

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_SOCKET_H_
