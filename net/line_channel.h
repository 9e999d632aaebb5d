// A blocking line channel over TCP: connect, send, timed receive, one reply
// line, a dot-terminated multi-line reply. Every wait is cut into one-second
// slices between which the thread's window messages are pumped. After
// StartTls the same calls carry their bytes through TLS.
#ifndef TARNU_NET_LINE_CHANNEL_H_
#define TARNU_NET_LINE_CHANNEL_H_

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/tls.h"
#include "platform/ui_hooks.h"

namespace tarnu {

inline constexpr int kReadTimeout = -9999;
inline constexpr int kReadNoMemory = -9998;
// Reply lines are read into 1024-byte buffers: at most 1023 bytes a line.
inline constexpr int kLineCapacity = 1024;
// Each receive asked for by a caller takes at most this many bytes.
inline constexpr int kChunkSize = 2047;
// The channel's own receives (lines and multi-line replies) take up to this.
inline constexpr int kReceiveSize = 16384;
// A multi-line reply that grows past this is refused as kReadNoMemory rather
// than left to exhaust the process.
inline constexpr std::size_t kMultilineLimit = std::size_t{1} << 30;
// Time a server is given beyond the silence timeout: a multi-line reply may
// take one more timeout for every this many bytes it brings, so a large
// reply from a slow server gets through while a server dripping a byte now
// and then is cut off.
inline constexpr std::size_t kBytesPerTimeout = std::size_t{64} << 10;
// A whole dialogue is given this many timeouts from its connection for the
// greeting, the login and the first command; the dialogues add to it what
// their work needs (LineChannel::ExtendDialogue).
inline constexpr int kDialogueTimeouts = 6;

// True when the gathered text of a multi-line reply ends with its terminating
// line: the text is only ".\r\n" (an empty message) or ends with
// "\r\n.\r\n".
bool IsMultilineComplete(std::string_view gathered);

// Splits a complete multi-line reply (terminating line included) into the
// header block and the body. Byte-stuffing is undone at line starts only
// (".." opening a line becomes "."). The header block runs up to the CR of
// its last line (the LF and the blank line are not part of it); the body is
// everything after the blank line, its last CR LF kept. Without a blank line
// the whole message is header; a message opening with a blank line has an
// empty header. May throw std::bad_alloc.
void SplitMultiline(std::string_view gathered, std::string* header, std::string* body);

// How StartTls ended.
enum class TlsStart {
  kSecured,         // the handshake is done; judge peer_certificate()
  kTimedOut,        // the server fell silent for the timeout (last_error() is the timed-out error)
  kClosed,          // the server closed the connection during the handshake
  kSocketError,     // a send or receive failed (last_error())
  kFailed,          // the TLS handshake failed (tls_error() says how)
  kUnexpectedData,  // the server sent bytes before the handshake began
  kCaFileUnreadable,
};
class LineChannel {
 public:
  // `pump` may be null; it is called while waiting.
  explicit LineChannel(MessagePump* pump);
  ~LineChannel();  // closes an open connection
  LineChannel(const LineChannel&) = delete;
  LineChannel& operator=(const LineChannel&) = delete;

  // Resolves `host`, connects to `port` and waits at most `timeout` seconds
  // (-1: no limit) in one-second slices that pump messages. Returns true when
  // connected; on failure nothing stays open and last_error() holds the
  // platform's error number. The dialogue that follows is limited to
  // kDialogueTimeouts times `timeout` (none for -1) until extended.
  bool Connect(const std::string& host, int port, int timeout);

  // Sends all the bytes (over TLS as records), waiting in one-second slices
  // that pump messages while the peer takes nothing; gives up when it took
  // nothing for the connection's timeout or the dialogue's time is up.
  // Returns the count sent (all of it), or -1.
  int Send(std::string_view bytes);

  // Gives the dialogue `seconds` more (nothing changes without a limit).
  void ExtendDialogue(long long seconds);

  // Waits up to `timeout` seconds (at least one slice) for data and takes up
  // to `size` bytes: a count > 0, 0 on timeout, -1 on failure or close.
  int ReceiveSome(char* buffer, int size, int timeout);

  // One line, LF included, at most kLineCapacity - 1 bytes; never consumes
  // past the LF. The whole line must come within `timeout` seconds (a peer
  // dripping a byte now and then cannot stretch it). Returns its length,
  // kReadTimeout or -1.
  int ReadLine(std::string* line, int timeout);

  // The rest of a multi-line reply up to its terminating dot line, split into
  // the header block (up to, not including, the LF of the last header line)
  // and the body (dot-stuffing undone), as SplitMultiline does. NUL bytes are
  // dropped. With `status` the title shows the progress against
  // `expected_size` ("title[received/expected]" after each receive); the
  // caller restores the title. The reply must end within `timeout` seconds
  // plus one more for every kBytesPerTimeout received. Only the first `keep`
  // bytes are kept; the rest is read to the end and dropped. Returns the byte
  // total, kReadTimeout (silence, time up or a closed connection) or
  // kReadNoMemory.
  int ReadMultiline(StatusLine* status, unsigned long expected_size, std::string* header,
                    std::string* body, int timeout, std::size_t keep = kMultilineLimit);

  // The rest of a multi-line reply that is a listing (CAPA, UIDL, LIST):
  // its lines up to, not including, the terminating dot line, dot-stuffing
  // undone, NUL bytes dropped. A listing longer than `keep` bytes is read
  // to its end and given as empty: a part of it would say nothing sure.
  // Results as ReadMultiline.
  int ReadListing(std::string* text, int timeout, std::size_t keep = kMultilineLimit);

  // Drops what has arrived but was not asked for: the unread rest of the
  // buffer and whatever the platform already holds. A command calls it
  // before it is sent, so no stray line of an earlier reply can be taken as
  // its answer.
  void DiscardUnread();

  // Starts TLS on the open connection: the handshake for `host` (the name
  // the certificate must carry; `ca_file`: more trusted roots, may be empty),
  // each wait at most `timeout` seconds of silence in one-second slices that
  // pump messages. Bytes received before it and not yet read are refused:
  // nothing sent in plain text may pass for what comes through TLS. After
  // kSecured every Send and receive goes through TLS; the certificate is not
  // judged here (see peer_certificate()).
  TlsStart StartTls(const std::string& host, const std::string& ca_file, int timeout);

  bool is_secure() const { return tls_ != nullptr; }
  // The server's certificate as the handshake found it; null before TLS.
  const platform::PeerCertificate* peer_certificate() const {
    return tls_ ? &tls_->peer() : nullptr;
  }
  // The TLS library's words for the last TLS failure, and the protocol.
  const std::string& tls_error() const { return tls_error_; }
  std::string tls_protocol() const { return tls_ ? tls_->protocol() : std::string(); }

  // Shuts down receiving and closes; safe to call twice.
  void Close();

  bool is_open() const { return socket_ != platform::kNoSocket; }
  // The platform error number of the last failure (WSAGetLastError).
  int last_error() const { return last_error_; }
  void PumpMessages();
  // The pump asks every wait to be given up (it then fails with
  // platform::NetAbandonedError()).
  bool WaitsAbandoned() const;

 private:
  // Makes at least one unread byte available in pending_: 1, 0 when the
  // peer stayed silent for `timeout` seconds, -1 on failure or close.
  int Fill(int timeout);
  // Passes received bytes through TLS into pending_. False when TLS failed
  // or the server closed it.
  bool Decrypt(const char* bytes, int length);
  // Sends every byte within the send bounds; false (last_error_ set) when
  // the platform fails or the peer took nothing in time.
  bool SendAll(std::string_view bytes);

  // True when the read in progress or the whole dialogue is out of time.
  bool OutOfTime() const;
  // Takes the rest of a multi-line reply, terminating line included, into
  // gathered_ (its first `keep` bytes; the rest is read and dropped) and
  // nothing after it. Returns the byte total, kReadTimeout or kReadNoMemory.
  // May throw std::bad_alloc.
  int Gather(StatusLine* status, unsigned long expected_size, int timeout, std::size_t keep);

  MessagePump* pump_;
  platform::Socket socket_ = platform::kNoSocket;
  int timeout_ = -1;  // the connection's, for sends
  // The ends of the whole dialogue and of the read in progress; max() when
  // there is none.
  std::chrono::steady_clock::time_point dialogue_end_ =
      std::chrono::steady_clock::time_point::max();
  std::chrono::steady_clock::time_point read_end_ = std::chrono::steady_clock::time_point::max();
  int last_error_ = 0;
  // Bytes received but not yet handed out. Reply lines are taken from here
  // so that a line never costs one receive per byte, while nothing after a
  // line's LF is handed out before it is asked for.
  std::string pending_;
  std::size_t pending_pos_ = 0;
  std::unique_ptr<platform::TlsClient> tls_;
  std::string tls_error_;
  bool tls_ended_ = false;  // TLS failed or was closed by the server
  // The multi-line reply being read; kept so that its room is reused.
  std::string gathered_;
};

}  // namespace tarnu

#endif  // TARNU_NET_LINE_CHANNEL_H_
