// The socket seam over BSD sockets. Waits use poll, so a descriptor number
// above FD_SETSIZE can never overrun a select set; sends never raise SIGPIPE.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"

namespace tarnu::platform {
namespace {

// errno is overwritten by any later library call; keep the number of the
// failure we report until the caller asks for it.
thread_local int last_error = 0;

int Fail(int error) {
  last_error = error;
  return -1;
}

// A connected socket blocks with a one-second receive timeout, so that a
// one-second slice of waiting is a single recv call, without a poll first.
bool MakeConnected(int fd) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return false;
  timeval one_second = {};
  one_second.tv_sec = 1;
  return ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &one_second, sizeof one_second) == 0;
}

bool MakeNonBlocking(int fd) {
  int flags = ::fcntl(fd, F_GETFL, 0);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

int PollOne(Socket s, short events, int seconds, short* revents) {
  pollfd p = {};
  p.fd = static_cast<int>(s);
  p.events = events;
  int wait_ms = seconds < 0 ? -1 : (seconds > 2000000 ? 2000000000 : seconds * 1000);
  int n = ::poll(&p, 1, wait_ms);
  if (n < 0) {
    // A signal cut the wait short: report "nothing yet"; callers loop on
    // their own deadline.
    if (errno == EINTR) return 0;
    return Fail(errno);
  }
  *revents = p.revents;
  return n;
}

}  // namespace

bool NetStartup() { return true; }
void NetCleanup() {}

int NetLastError() { return last_error; }

int NetTimedOutError() { return ETIMEDOUT; }

int NetAbandonedError() { return ECONNABORTED; }

NetErrorKind ClassifyNetError(int code) {
  switch (code) {
    case 0:
      return NetErrorKind::kPeerClosed;
    case ECONNREFUSED:
      return NetErrorKind::kRefused;
    case ETIMEDOUT:
      return NetErrorKind::kTimedOut;
    // The resolver's codes (negative in glibc) share the number space.
    case EAI_NONAME:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
      return NetErrorKind::kHostNotFound;
    case EAI_AGAIN:
      return NetErrorKind::kLookupTryAgain;
    case ENETUNREACH:
    case ENETDOWN:
      return NetErrorKind::kNetworkUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
      return NetErrorKind::kHostUnreachable;
    case ECONNRESET:
    case EPIPE:
      return NetErrorKind::kReset;
    case ECONNABORTED:
      return NetErrorKind::kAborted;
    case EACCES:
    case EPERM:
      return NetErrorKind::kAccessDenied;
    case EADDRNOTAVAIL:
      return NetErrorKind::kAddressUnavailable;
    default:
      return NetErrorKind::kOther;
  }
}

bool ResolveHost(const std::string& host, std::uint32_t* address) {
  addrinfo hints = {};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0) {
    last_error = (rc == EAI_SYSTEM) ? errno : rc;
    return false;
  }
  bool ok = false;
  for (addrinfo* a = found; a != nullptr; a = a->ai_next) {
    if (a->ai_family == AF_INET && a->ai_addrlen >= sizeof(sockaddr_in)) {
      sockaddr_in in;
      std::memcpy(&in, a->ai_addr, sizeof in);
      *address = in.sin_addr.s_addr;
      ok = true;
      break;
    }
  }
  ::freeaddrinfo(found);
  if (!ok) last_error = EAI_NONAME;
  return ok;
}

Socket OpenStreamSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    last_error = errno;
    return kNoSocket;
  }
  if (!MakeNonBlocking(fd)) {
    last_error = errno;
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

int StartConnect(Socket s, std::uint32_t address, int port) {
  sockaddr_in to = {};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<std::uint16_t>(port));
  to.sin_addr.s_addr = address;
  if (::connect(static_cast<int>(s), reinterpret_cast<sockaddr*>(&to), sizeof to) == 0) {
    if (!MakeConnected(static_cast<int>(s))) return Fail(errno);
    return 1;
  }
  if (errno == EINPROGRESS || errno == EINTR) return 0;
  return Fail(errno);
}

int WaitConnected(Socket s, int seconds) {
  short revents = 0;
  int n = PollOne(s, POLLOUT, seconds < 0 ? 0 : seconds, &revents);
  if (n <= 0) return n;
  int error = 0;
  socklen_t length = sizeof error;
  if (::getsockopt(static_cast<int>(s), SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
    return Fail(errno);
  }
  if (error != 0) return Fail(error);
  if (!MakeConnected(static_cast<int>(s))) return Fail(errno);
  return 1;
}

int WaitReadable(Socket s, int seconds) {
  short revents = 0;
  int n = PollOne(s, POLLIN, seconds, &revents);
  if (n <= 0) return n;
  // Hang-up and error are "readable" too: the receive that follows reports
  // them.
  return 1;
}

int SendBytes(Socket s, const char* data, int length) {
  ssize_t n = ::send(static_cast<int>(s), data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  if (n < 0) return Fail(errno);
  return static_cast<int>(n);
}

int SendWithin(Socket s, const char* data, int length, int seconds) {
  short revents = 0;
  int ready = PollOne(s, POLLOUT, seconds, &revents);
  if (ready < 0) return -1;
  if (ready == 0) return kSendTimedOut;
  ssize_t n = ::send(static_cast<int>(s), data, static_cast<std::size_t>(length),
                     MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kSendTimedOut;
    return Fail(errno);
  }
  return static_cast<int>(n);
}

int ReceiveBytes(Socket s, char* buffer, int size) {
  ssize_t n = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(size), 0);
  if (n < 0) return Fail(errno);
  // An orderly close carries no error number of its own.
  if (n == 0) last_error = 0;
  return static_cast<int>(n);
}

int ReceiveWithin(Socket s, char* buffer, int size, int seconds) {
  if (seconds != 1) {
    int ready = WaitReadable(s, seconds);
    if (ready < 0) return -1;
    if (ready == 0) return kReceiveTimedOut;
  }
  ssize_t n = ::recv(static_cast<int>(s), buffer, static_cast<std::size_t>(size), 0);
  if (n < 0) {
    // The receive timeout ran out, or a signal cut the wait short.
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kReceiveTimedOut;
    return Fail(errno);
  }
  if (n == 0) last_error = 0;
  return static_cast<int>(n);
}

void CloseSocket(Socket s) {
  if (s == kNoSocket) return;
  ::shutdown(static_cast<int>(s), SHUT_RD);
  ::close(static_cast<int>(s));
}

}  // namespace tarnu::platform
