// A blocking line channel over TCP: connect, send, timed receive, one reply
// line, a dot-terminated multi-line reply. Every wait is cut into one-second
// slices between which the thread's window messages are pumped.
#ifndef TARNU_NET_LINE_CHANNEL_H_
#define TARNU_NET_LINE_CHANNEL_H_

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/socket.h"
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

// A receive failure's text: `prefix` and the error number, and for the
// number 0 (the server closed the connection in order, which carries no
// error number of its own) the words saying so.
std::string ReceiveErrorText(std::string_view prefix, int error);

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
  // platform's error number.
  bool Connect(const std::string& host, int port, int timeout);

  // One send of all the bytes; returns the count the platform took, or -1.
  int Send(std::string_view bytes);

  // Waits up to `timeout` seconds (at least one slice) for data and takes up
  // to `size` bytes: a count > 0, 0 on timeout, -1 on failure or close.
  int ReceiveSome(char* buffer, int size, int timeout);

  // One line, LF included, at most kLineCapacity - 1 bytes; never consumes
  // past the LF. Returns its length, kReadTimeout or -1.
  int ReadLine(std::string* line, int timeout);

  // The rest of a multi-line reply up to its terminating dot line, split into
  // the header block (up to, not including, the LF of the last header line)
  // and the body (dot-stuffing undone), as SplitMultiline does. NUL bytes are
  // dropped. With `status` the title shows the progress against
  // `expected_size` ("title[received/expected]" after each receive); the
  // caller restores the title. Returns the byte total, kReadTimeout (silence
  // or a closed connection) or kReadNoMemory.
  int ReadMultiline(StatusLine* status, unsigned long expected_size, std::string* header,
                    std::string* body, int timeout);

  // The rest of a multi-line reply that is a listing (CAPA, UIDL, LIST):
  // its lines up to, not including, the terminating dot line, dot-stuffing
  // undone, NUL bytes dropped. Results as ReadMultiline.
  int ReadListing(std::string* text, int timeout);

  // Drops what has arrived but was not asked for: the unread rest of the
  // buffer and whatever the platform already holds. A command calls it
  // before it is sent, so no stray line of an earlier reply can be taken as
  // its answer.
  void DiscardUnread();

  // Shuts down receiving and closes; safe to call twice.
  void Close();

  bool is_open() const { return socket_ != platform::kNoSocket; }
  // The platform error number of the last failure (WSAGetLastError).
  int last_error() const { return last_error_; }
  void PumpMessages();

 private:
  // Makes at least one unread byte available in pending_: 1, or the
  // ReceiveSome result (0 timeout, -1 failure).
  int Fill(int timeout);
  // Takes the rest of a multi-line reply, terminating line included, into
  // gathered_ and nothing after it. Returns the byte total, kReadTimeout or
  // kReadNoMemory. May throw std::bad_alloc.
  int Gather(StatusLine* status, unsigned long expected_size, int timeout);

  MessagePump* pump_;
  platform::Socket socket_ = platform::kNoSocket;
  int last_error_ = 0;
  // Bytes received but not yet handed out. Reply lines are taken from here
  // so that a line never costs one receive per byte, while nothing after a
  // line's LF is handed out before it is asked for.
  std::string pending_;
  std::size_t pending_pos_ = 0;
  // The multi-line reply being read; kept so that its room is reused.
  std::string gathered_;
};

}  // namespace tarnu

#endif  // TARNU_NET_LINE_CHANNEL_H_
