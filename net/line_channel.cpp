// The line channel (RFC 1939 section 3 for the multi-line replies).
#include "net/line_channel.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstring>
#include <new>

namespace tarnu {
namespace {

constexpr std::string_view kTerminator = "\r\n.\r\n";

using Clock = std::chrono::steady_clock;

// The end of a wait of `timeout` seconds starting now; none for a negative
// timeout (no limit).
struct Deadline {
  explicit Deadline(int timeout)
      : unlimited(timeout < 0),
        at(Clock::now() + std::chrono::seconds(timeout < 0 ? 0 : timeout)) {}
  bool Passed() const { return !unlimited && Clock::now() >= at; }
  bool unlimited;
  Clock::time_point at;
};

// The start of a line the server sent, for a message: printable ASCII, the
// rest shown as dots.
std::string Printable(std::string_view bytes) {
  std::string text;
  for (char c : bytes.substr(0, bytes.find_first_of("\r\n")).substr(0, 60)) {
    text += (c >= 0x20 && c < 0x7F) ? c : '.';
  }
  return text;
}

// `seconds` from now, or the far end of time when that would not fit.
Clock::time_point After(long long seconds) {
  const long long kTenYears = 10LL * 366 * 24 * 3600;
  if (seconds > kTenYears) return Clock::time_point::max();
  return Clock::now() + std::chrono::seconds(seconds < 0 ? 0 : seconds);
}

// Sets a read's end for the scope of one read and lifts it afterwards.
class ReadEnd {
 public:
  ReadEnd(Clock::time_point* end, int timeout) : end_(end) {
    *end_ = timeout < 0 ? Clock::time_point::max() : After(timeout);
  }
  ~ReadEnd() { *end_ = Clock::time_point::max(); }
  void MoveTo(Clock::time_point at) { *end_ = at; }

 private:
  Clock::time_point* end_;
};

std::string Progress(const std::string& title, long long done, unsigned long expected) {
  return title + "[" + std::to_string(done) + "/" + std::to_string(expected) + "]";
}

}  // namespace

bool IsMultilineComplete(std::string_view gathered) {
  if (gathered == ".\r\n") return true;
  return gathered.size() >= kTerminator.size() &&
         gathered.compare(gathered.size() - kTerminator.size(), kTerminator.size(), kTerminator) ==
             0;
}

namespace {

// Undoes the stuffing at line starts (".." opening a line becomes ".") in
// place, a line at a time.
void Unstuff(std::string* text) {
  char* data = text->data();
  const std::size_t length = text->size();
  std::size_t read = 0;
  std::size_t write = 0;
  while (read < length) {
    // At a line start; "a..\r\n" keeps its dots.
    if (data[read] == '.' && read + 1 < length && data[read + 1] == '.') ++read;
    const void* lf = std::memchr(data + read, '\n', length - read);
    const std::size_t end =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - data) + 1 : length;
    if (write != read) std::memmove(data + write, data + read, end - read);
    write += end - read;
    read = end;
  }
  text->resize(write);
}

// SplitMultiline on a text it may change.
void SplitGathered(std::string* text, std::string* header, std::string* body) {
  header->clear();
  body->clear();
  // The content: everything before the terminating ".\r\n"; the CR LF in
  // front of the dot ends the last line and stays.
  if (IsMultilineComplete(*text)) text->resize(text->size() - 3);
  Unstuff(text);
  if (text->compare(0, 2, "\r\n") == 0) {  // no header at all
    body->assign(*text, 2, std::string::npos);
    return;
  }
  const std::size_t blank = text->find("\r\n\r\n");
  if (blank != std::string::npos) {
    header->assign(*text, 0, blank + 1);  // up to and including the last CR
    body->assign(*text, blank + 4, std::string::npos);
    return;
  }
  // Header only: drop the final LF so the block ends with a CR like any other.
  std::size_t end = text->size();
  if (end >= 2 && (*text)[end - 2] == '\r' && (*text)[end - 1] == '\n') --end;
  header->assign(*text, 0, end);
}

// How many bytes of `data` complete the multi-line reply whose text so far
// is `gathered` (which holds no terminating line yet); npos when `data`
// does not complete it. Only the few bytes that may join `gathered` to
// `data` are looked at twice.
std::size_t TerminatorEnd(const std::string& gathered, const char* data, std::size_t size) {
  const std::size_t old_size = gathered.size();
  // The first line is the dot alone: an empty message.
  if (old_size < 3) {
    char first[3];
    std::size_t have = 0;
    for (; have < old_size; ++have) first[have] = gathered[have];
    for (std::size_t i = 0; have < 3 && i < size; ++i) first[have++] = data[i];
    if (have == 3 && std::string_view(first, 3) == ".\r\n") return 3 - old_size;
  }
  // A terminating line that starts in what was gathered before.
  const std::size_t tail = old_size < kTerminator.size() - 1 ? old_size : kTerminator.size() - 1;
  const std::size_t head = size < kTerminator.size() - 1 ? size : kTerminator.size() - 1;
  char joint[2 * (kTerminator.size() - 1)];
  std::memcpy(joint, gathered.data() + old_size - tail, tail);
  std::memcpy(joint + tail, data, head);
  const std::size_t at = std::string_view(joint, tail + head).find(kTerminator);
  if (at != std::string_view::npos && at < tail) return at + kTerminator.size() - tail;
  const std::size_t in_data = std::string_view(data, size).find(kTerminator);
  return in_data == std::string_view::npos ? in_data : in_data + kTerminator.size();
}

}  // namespace

void SplitMultiline(std::string_view gathered, std::string* header, std::string* body) {
  std::string text(gathered);
  SplitGathered(&text, header, body);
}

LineChannel::LineChannel(MessagePump* pump) : pump_(pump) {}

LineChannel::~LineChannel() { Close(); }

void LineChannel::PumpMessages() {
  if (pump_ != nullptr) pump_->PumpMessages();
}

bool LineChannel::WaitsAbandoned() const { return pump_ != nullptr && pump_->WaitsAbandoned(); }

bool LineChannel::Connect(const std::string& host, int port, int timeout) {
  Close();
  last_error_ = 0;
  if (WaitsAbandoned()) {
    last_error_ = platform::NetAbandonedError();
    return false;
  }
  if (!platform::NetStartup()) {
    last_error_ = platform::NetLastError();
    return false;
  }
  platform::Socket s = platform::kNoSocket;
  auto fail = [&](int error) {
    last_error_ = error;
    if (s != platform::kNoSocket) platform::CloseSocket(s);
    platform::NetCleanup();
    return false;
  };
  std::uint32_t address = 0;
  if (!platform::ResolveHost(host, &address)) return fail(platform::NetLastError());
  s = platform::OpenStreamSocket();
  if (s == platform::kNoSocket) return fail(platform::NetLastError());
  // The connect runs in one-second slices that keep the interface alive and
  // is given up after the reply timeout.
  Deadline deadline(timeout);
  int state = platform::StartConnect(s, address, port);
  while (state == 0) {
    state = platform::WaitConnected(s, 1);
    if (state != 0) break;
    if (deadline.Passed()) return fail(platform::NetTimedOutError());
    PumpMessages();
    if (WaitsAbandoned()) return fail(platform::NetAbandonedError());
  }
  if (state < 0) return fail(platform::NetLastError());
  socket_ = s;
  pending_.clear();
  pending_pos_ = 0;
  timeout_ = timeout;
  dialogue_end_ = timeout < 0 ? Clock::time_point::max()
                              : After(static_cast<long long>(timeout) * kDialogueTimeouts);
  read_end_ = Clock::time_point::max();
  return true;
}

void LineChannel::ExtendDialogue(long long seconds) {
  if (dialogue_end_ == Clock::time_point::max() || seconds <= 0) return;
  const Clock::time_point far = After(seconds + 1);
  if (far == Clock::time_point::max()) {
    dialogue_end_ = far;
    return;
  }
  dialogue_end_ += std::chrono::seconds(seconds);
}

bool LineChannel::OutOfTime() const {
  const Clock::time_point now = Clock::now();
  return now >= dialogue_end_ || now >= read_end_;
}

int LineChannel::Send(std::string_view bytes) {
  if (!is_open()) return -1;
  if (tls_) {
    std::string records;
    if (tls_ended_ || !tls_->Seal(bytes, &records)) {
      last_error_ = 0;
      return -1;
    }
    if (!SendAll(records)) return -1;
  } else if (!SendAll(bytes)) {
    return -1;
  }
  return bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
}

bool LineChannel::SendAll(std::string_view bytes) {
  // A peer that stops reading fills the buffers; the wait for room is timed
  // like the wait for a reply, so it can never hold the dialogue forever.
  Deadline silence(timeout_);
  while (!bytes.empty()) {
    int length = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
    int n = platform::SendWithin(socket_, bytes.data(), length, 1);
    if (n > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      silence = Deadline(timeout_);
      continue;
    }
    if (n != platform::kSendTimedOut) {
      last_error_ = platform::NetLastError();
      return false;
    }
    if (silence.Passed() || OutOfTime()) {
      last_error_ = platform::NetTimedOutError();
      return false;
    }
    PumpMessages();
    if (WaitsAbandoned()) {
      last_error_ = platform::NetAbandonedError();
      return false;
    }
  }
  return true;
}

int LineChannel::ReceiveSome(char* buffer, int size, int timeout) {
  if (!is_open() || size <= 0) return -1;
  int state = Fill(timeout);
  if (state <= 0) return state;
  std::size_t n = pending_.size() - pending_pos_;
  if (n > static_cast<std::size_t>(size)) n = static_cast<std::size_t>(size);
  std::memcpy(buffer, pending_.data() + pending_pos_, n);
  pending_pos_ += n;
  return static_cast<int>(n);
}

bool LineChannel::Decrypt(const char* bytes, int length) {
  if (tls_ended_) return false;
  std::string reply;
  bool ok =
      tls_->Open(std::string_view(bytes, static_cast<std::size_t>(length)), &pending_, &reply);
  if (!reply.empty() && !SendAll(reply)) ok = false;
  if (!ok) {
    tls_ended_ = true;
    tls_error_ = tls_->closed() ? std::string() : tls_->error();
    last_error_ = 0;
  }
  // Text that came with the close is still handed out; the close shows at
  // the next read.
  return ok || pending_pos_ < pending_.size();
}

int LineChannel::Fill(int timeout) {
  if (pending_pos_ < pending_.size()) return 1;
  if (!is_open()) return -1;
  pending_.clear();
  pending_pos_ = 0;
  if (tls_ended_) return -1;
  // Large receives: replies to pipelined commands arrive back to back, and
  // TLS records (up to 16 KiB) are taken whole where they come whole.
  char chunk[kReceiveSize];
  const int size = kReceiveSize;
  Deadline deadline(timeout);
  for (;;) {
    int n = platform::ReceiveWithin(socket_, chunk, size, 1);
    if (n > 0) {
      if (!tls_) {
        pending_.assign(chunk, static_cast<std::size_t>(n));
        return 1;
      }
      if (!Decrypt(chunk, n)) return -1;
      if (pending_pos_ < pending_.size()) return 1;
      // Only part of a record, or a record without text: keep waiting.
    } else if (n != platform::kReceiveTimedOut) {
      last_error_ = platform::NetLastError();  // 0: the peer closed
      return -1;
    }
    if (deadline.Passed() || OutOfTime()) return 0;
    PumpMessages();
    if (WaitsAbandoned()) {
      last_error_ = platform::NetAbandonedError();
      return -1;
    }
  }
}

TlsStart LineChannel::StartTls(const std::string& host, const std::string& ca_file, int timeout) {
  tls_error_.clear();
  if (!is_open()) return TlsStart::kSocketError;
  if (tls_) return TlsStart::kSecured;
  if (pending_pos_ < pending_.size()) return TlsStart::kUnexpectedData;
  bool ca_file_unreadable = false;
  std::unique_ptr<platform::TlsClient> client =
      platform::TlsClient::Create(host, ca_file, &tls_error_, &ca_file_unreadable);
  if (!client) return ca_file_unreadable ? TlsStart::kCaFileUnreadable : TlsStart::kFailed;

  std::string out;
  platform::TlsStep step = client->Handshake(std::string_view(), &out);
  char chunk[16384];
  bool first_answer = true;
  for (;;) {
    if (!out.empty() && !SendAll(out)) return TlsStart::kSocketError;
    out.clear();
    if (step == platform::TlsStep::kDone) break;
    if (step == platform::TlsStep::kFailed) {
      tls_error_ = client->error();
      return TlsStart::kFailed;
    }
    // The handshake waits like every reply: the timeout counts the silence
    // before each piece, in slices that keep the interface alive.
    Deadline deadline(timeout);
    int n;
    for (;;) {
      n = platform::ReceiveWithin(socket_, chunk, static_cast<int>(sizeof chunk), 1);
      if (n > 0) break;
      if (n != platform::kReceiveTimedOut) {
        last_error_ = platform::NetLastError();
        return last_error_ == 0 ? TlsStart::kClosed : TlsStart::kSocketError;
      }
      if (deadline.Passed() || OutOfTime()) {
        last_error_ = platform::NetTimedOutError();
        return TlsStart::kTimedOut;
      }
      PumpMessages();
      if (WaitsAbandoned()) {
        last_error_ = platform::NetAbandonedError();
        return TlsStart::kSocketError;
      }
    }
    // A server's first answer is a TLS record: a handshake or an alert. A
    // plain-text answer (a POP3 greeting on the TLS port) is told as such at
    // once rather than taken for the start of a record that never ends.
    if (first_answer && chunk[0] != 0x16 && chunk[0] != 0x15) {
      tls_error_ =
          "not a TLS answer: " + Printable(std::string_view(chunk, static_cast<std::size_t>(n)));
      return TlsStart::kFailed;
    }
    first_answer = false;
    step = client->Handshake(std::string_view(chunk, static_cast<std::size_t>(n)), &out);
  }
  tls_ = std::move(client);
  tls_ended_ = false;
  // Records that came with the end of the handshake (a greeting sent at
  // once) wait inside the engine: bring them out now, or no socket wait
  // would ever see them.
  Decrypt(chunk, 0);
  return TlsStart::kSecured;
}

int LineChannel::ReadLine(std::string* line, int timeout) {
  line->clear();
  PumpMessages();
  const std::size_t limit = kLineCapacity - 1;
  // The timeout counts the silence before each piece of the line, and the
  // whole line must come within it too.
  // A dialogue whose time is up reads nothing more.
  if (Clock::now() >= dialogue_end_) return kReadTimeout;
  ReadEnd end(&read_end_, timeout);
  for (bool first = true;; first = false) {
    if (!first && OutOfTime()) return kReadTimeout;
    int state = Fill(timeout);
    if (state == 0) return kReadTimeout;
    if (state < 0) return -1;
    std::size_t available = pending_.size() - pending_pos_;
    std::size_t room = limit - line->size();
    std::size_t take = available < room ? available : room;
    const char* start = pending_.data() + pending_pos_;
    const void* lf = std::memchr(start, '\n', take);
    if (lf != nullptr) take = static_cast<std::size_t>(static_cast<const char*>(lf) - start) + 1;
    line->append(start, take);
    pending_pos_ += take;
    if (lf != nullptr || line->size() == limit) return static_cast<int>(line->size());
  }
}

int LineChannel::Gather(StatusLine* status, unsigned long expected_size, int timeout,
                        std::size_t keep) {
  gathered_.clear();
  std::string title;
  if (status != nullptr) {
    title = status->GetTitle();
    status->SetTitle(Progress(title, 0, expected_size));
  }
  // Asked to keep everything, a reply too large for the process is refused.
  const bool keep_all = keep >= kMultilineLimit;
  if (keep_all) keep = kMultilineLimit;
  if (keep < kTerminator.size()) keep = kTerminator.size();
  if (Clock::now() >= dialogue_end_) return kReadTimeout;
  // The reply's end moves one timeout further for every kBytesPerTimeout
  // that arrive.
  ReadEnd end_of_reply(&read_end_, timeout);
  const Clock::time_point started = Clock::now();
  // Past `keep`, only the last bytes are looked at, for the end.
  std::string tail;
  bool cut = false;
  // Keeps `c` or, past `keep`, only looks at it; false when everything was
  // to be kept and cannot be.
  auto take_byte = [&](char c) {
    if (!cut && gathered_.size() < keep) {
      gathered_.push_back(c);
      return true;
    }
    if (keep_all) return false;
    if (!cut) {
      cut = true;
      tail.assign(gathered_, gathered_.size() - kTerminator.size(), std::string::npos);
    }
    tail.push_back(c);
    if (tail.size() > kTerminator.size()) tail.erase(0, tail.size() - kTerminator.size());
    return true;
  };
  long long total = 0;
  // Bytes of the reply without its NUL bytes: with a cut, what its text was.
  std::size_t text = 0;
  for (;;) {
    const int state = Fill(timeout);
    if (state <= 0) return kReadTimeout;  // a closed connection included
    const char* start = pending_.data() + pending_pos_;
    const std::size_t available = pending_.size() - pending_pos_;
    // Only this reply is taken: what follows its terminating line is the
    // next reply (pipelined commands) and stays unread.
    std::size_t take = available;
    bool complete = false;
    if (std::memchr(start, '\0', available) == nullptr) {
      const std::size_t end = TerminatorEnd(cut ? tail : gathered_, start, available);
      if (end != std::string::npos) {
        take = end;
        complete = true;
      }
      text += take;
      std::size_t kept = 0;
      if (!cut) {
        kept = std::min(take, keep - std::min(keep, gathered_.size()));
        gathered_.append(start, kept);
      }
      if (kept < take) {
        if (keep_all) return kReadNoMemory;
        for (std::size_t i = take - std::min(take - kept, kTerminator.size()); i < take; ++i) {
          take_byte(start[i]);
        }
      }
    } else {
      // NUL bytes are dropped one by one: cutting the text at a NUL would
      // lose text, and the terminating line with it.
      for (take = 0; take < available && !complete;) {
        const char c = start[take++];
        if (c == '\0') continue;
        ++text;
        if (!take_byte(c)) return kReadNoMemory;
        complete = c == '\n' && IsMultilineComplete(cut ? tail : gathered_);
      }
    }
    pending_pos_ += take;
    total += static_cast<long long>(take);
    if (status != nullptr) status->SetTitle(Progress(title, total, expected_size));
    if (complete) {
      // Cut within its terminating line, the reply kept all of its text: the
      // part of that line that was kept goes, or it would pass for text.
      if (cut && gathered_.size() > text - 3) gathered_.resize(text - 3);
      return total > INT_MAX ? INT_MAX : static_cast<int>(total);
    }
    if (timeout >= 0) {
      end_of_reply.MoveTo(
          started + std::chrono::seconds(static_cast<long long>(timeout) *
                                         (1 + total / static_cast<long long>(kBytesPerTimeout))));
    }
    if (OutOfTime()) return kReadTimeout;
  }
}

int LineChannel::ReadMultiline(StatusLine* status, unsigned long expected_size, std::string* header,
                               std::string* body, int timeout, std::size_t keep) {
  header->clear();
  body->clear();
  try {
    const int got = Gather(status, expected_size, timeout, keep);
    if (got < 0) return got;
    SplitGathered(&gathered_, header, body);
    return got;
  } catch (const std::bad_alloc&) {
    header->clear();
    body->clear();
    return kReadNoMemory;
  }
}

int LineChannel::ReadListing(std::string* text, int timeout, std::size_t keep) {
  text->clear();
  try {
    // One byte more than allowed tells a listing that is too long.
    const bool limited = keep < kMultilineLimit;
    const int got = Gather(nullptr, 0, timeout, limited ? keep + 1 : kMultilineLimit);
    if (got < 0) return got;
    if (limited && gathered_.size() > keep) {
      gathered_.clear();
      return got;
    }
    gathered_.resize(gathered_.size() - 3);  // the terminating line
    Unstuff(&gathered_);
    text->swap(gathered_);
    return got;
  } catch (const std::bad_alloc&) {
    text->clear();
    return kReadNoMemory;
  }
}

void LineChannel::DiscardUnread() {
  pending_.clear();
  pending_pos_ = 0;
  if (!is_open()) return;
  char chunk[kChunkSize];
  // Bounded, so a server that keeps sending cannot hold the dialogue here;
  // a close or failure is left for the next read to report.
  for (int i = 0; i < 16; ++i) {
    int n = platform::ReceiveWithin(socket_, chunk, kChunkSize, 0);
    if (n <= 0) break;
    if (tls_ && !Decrypt(chunk, n)) break;
    pending_.clear();
    pending_pos_ = 0;
  }
}

void LineChannel::Close() {
  if (!is_open()) return;
  if (tls_) {
    // The close notification, as a courtesy; nothing waits for its answer.
    std::string out;
    if (!tls_ended_) tls_->Shutdown(&out);
    if (!out.empty()) SendAll(out);
    tls_.reset();
  }
  tls_ended_ = false;
  platform::CloseSocket(socket_);
  platform::NetCleanup();
  socket_ = platform::kNoSocket;
  pending_.clear();
  pending_pos_ = 0;
}

}  // namespace tarnu
