// The socket seam over Winsock. Each connection holds its own WSAStartup
// (version 2.0), given back by NetCleanup.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstring>

#include "platform/socket.h"

namespace tarnu::platform {
namespace {

SOCKET Raw(Socket s) { return static_cast<SOCKET>(s); }

bool SetBlocking(Socket s, bool blocking) {
  u_long non_blocking = blocking ? 0 : 1;
  return ::ioctlsocket(Raw(s), FIONBIO, &non_blocking) == 0;
}

timeval Slice(int seconds) {
  timeval tv;
  tv.tv_sec = seconds;
  tv.tv_usec = 0;
  return tv;
}

}  // namespace

bool NetStartup() {
  WSADATA data;
  return ::WSAStartup(MAKEWORD(2, 0), &data) == 0;
}

void NetCleanup() { ::WSACleanup(); }

int NetLastError() { return ::WSAGetLastError(); }

int NetTimedOutError() { return WSAETIMEDOUT; }

int NetAbandonedError() { return WSAECONNABORTED; }

NetErrorKind ClassifyNetError(int code) {
  switch (code) {
    case 0:
      return NetErrorKind::kPeerClosed;
    case WSAECONNREFUSED:
      return NetErrorKind::kRefused;
    case WSAETIMEDOUT:
      return NetErrorKind::kTimedOut;
    case WSAHOST_NOT_FOUND:
    case WSANO_DATA:
    case WSANO_RECOVERY:
      return NetErrorKind::kHostNotFound;
    case WSATRY_AGAIN:
      return NetErrorKind::kLookupTryAgain;
    case WSAENETUNREACH:
    case WSAENETDOWN:
      return NetErrorKind::kNetworkUnreachable;
    case WSAEHOSTUNREACH:
    case WSAEHOSTDOWN:
      return NetErrorKind::kHostUnreachable;
    case WSAECONNRESET:
    case WSAENETRESET:
      return NetErrorKind::kReset;
    case WSAECONNABORTED:
      return NetErrorKind::kAborted;
    case WSAEACCES:
      return NetErrorKind::kAccessDenied;
    case WSAEADDRNOTAVAIL:
      return NetErrorKind::kAddressUnavailable;
    default:
      return NetErrorKind::kOther;
  }
}

bool ResolveHost(const std::string& host, std::uint32_t* address) {
  hostent* entry = ::gethostbyname(host.c_str());
  if (entry == nullptr) return false;
  if (entry->h_addrtype != AF_INET || entry->h_length != 4 || entry->h_addr_list[0] == nullptr) {
    ::WSASetLastError(WSAHOST_NOT_FOUND);
    return false;
  }
  std::memcpy(address, entry->h_addr_list[0], 4);
  return true;
}

Socket OpenStreamSocket() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s == INVALID_SOCKET) return kNoSocket;
  if (!SetBlocking(static_cast<Socket>(s), false)) {
    int error = ::WSAGetLastError();
    ::closesocket(s);
    ::WSASetLastError(error);
    return kNoSocket;
  }
  return static_cast<Socket>(s);
}

int StartConnect(Socket s, std::uint32_t address, int port) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = ::htons(static_cast<u_short>(port));
  to.sin_addr.s_addr = address;
  if (::connect(Raw(s), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    return SetBlocking(s, true) ? 1 : -1;
  }
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? 0 : -1;
}

int WaitConnected(Socket s, int seconds) {
  fd_set writable;
  fd_set failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(Raw(s), &writable);
  FD_SET(Raw(s), &failed);
  timeval tv = Slice(seconds < 0 ? 0 : seconds);
  int n = ::select(0, nullptr, &writable, &failed, &tv);
  if (n == SOCKET_ERROR) return -1;
  if (n == 0) return 0;
  if (FD_ISSET(Raw(s), &failed)) {
    int error = 0;
    int length = sizeof error;
    ::getsockopt(Raw(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    ::WSASetLastError(error != 0 ? error : WSAECONNREFUSED);
    return -1;
  }
  return SetBlocking(s, true) ? 1 : -1;
}

int WaitReadable(Socket s, int seconds) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Raw(s), &readable);
  timeval tv = Slice(seconds);
  int n = ::select(0, &readable, nullptr, nullptr, seconds < 0 ? nullptr : &tv);
  if (n == SOCKET_ERROR) return -1;
  return n > 0 ? 1 : 0;
}

int SendBytes(Socket s, const char* data, int length) {
  int n = ::send(Raw(s), data, length, 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int SendWithin(Socket s, const char* data, int length, int seconds) {
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(Raw(s), &writable);
  timeval tv = Slice(seconds < 0 ? 0 : seconds);
  int ready = ::select(0, nullptr, &writable, nullptr, &tv);
  if (ready == SOCKET_ERROR) return -1;
  if (ready == 0) return kSendTimedOut;
  // Room for some bytes is not room for all: a blocking send could still
  // wait for a peer that stopped reading.
  if (!SetBlocking(s, false)) return -1;
  int n = ::send(Raw(s), data, length, 0);
  const int error = n == SOCKET_ERROR ? ::WSAGetLastError() : 0;
  SetBlocking(s, true);
  if (n == SOCKET_ERROR) {
    ::WSASetLastError(error);
    return error == WSAEWOULDBLOCK ? kSendTimedOut : -1;
  }
  return n;
}

int ReceiveBytes(Socket s, char* buffer, int size) {
  int n = ::recv(Raw(s), buffer, size, 0);
  if (n == SOCKET_ERROR) return -1;
  // An orderly close carries no error number of its own; do not let a stale
  // one (such as the WSAEWOULDBLOCK of the connect) stand in for it.
  if (n == 0) ::WSASetLastError(0);
  return n;
}

int ReceiveWithin(Socket s, char* buffer, int size, int seconds) {
  // A receive timeout would leave a Winsock socket in an undefined state:
  // wait with select instead.
  int ready = WaitReadable(s, seconds);
  if (ready < 0) return -1;
  if (ready == 0) return kReceiveTimedOut;
  return ReceiveBytes(s, buffer, size);
}

void CloseSocket(Socket s) {
  if (s == kNoSocket) return;
  ::shutdown(Raw(s), SD_RECEIVE);
  ::closesocket(Raw(s));
}

}  // namespace tarnu::platform
