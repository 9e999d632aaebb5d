// The line channel (RFC 1939 section 3 for the multi-line replies).
#include "net/line_channel.h"

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

std::string Progress(const std::string& title, long long done, unsigned long expected) {
  return title + "[" + std::to_string(done) + "/" + std::to_string(expected) + "]";
}

}  // namespace

std::string ReceiveErrorText(std::string_view prefix, int error) {
  std::string text(prefix);
  text += std::to_string(error);
  if (error == 0) text += " サーバが接続を切断しました";
  return text;
}

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

bool LineChannel::Connect(const std::string& host, int port, int timeout) {
  Close();
  last_error_ = 0;
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
  }
  if (state < 0) return fail(platform::NetLastError());
  socket_ = s;
  pending_.clear();
  pending_pos_ = 0;
  return true;
}

int LineChannel::Send(std::string_view bytes) {
  if (!is_open()) return -1;
  int length = bytes.size() > INT_MAX ? INT_MAX : static_cast<int>(bytes.size());
  int n = platform::SendBytes(socket_, bytes.data(), length);
  if (n < 0) {
    last_error_ = platform::NetLastError();
    return -1;
  }
  return n;
}

int LineChannel::ReceiveSome(char* buffer, int size, int timeout) {
  if (!is_open() || size <= 0) return -1;
  if (pending_pos_ < pending_.size()) {
    std::size_t n = pending_.size() - pending_pos_;
    if (n > static_cast<std::size_t>(size)) n = static_cast<std::size_t>(size);
    std::memcpy(buffer, pending_.data() + pending_pos_, n);
    pending_pos_ += n;
    return static_cast<int>(n);
  }
  Deadline deadline(timeout);
  for (;;) {
    int n = platform::ReceiveWithin(socket_, buffer, size, 1);
    if (n > 0) return n;
    if (n != platform::kReceiveTimedOut) {
      last_error_ = platform::NetLastError();  // 0: the peer closed
      return -1;
    }
    if (deadline.Passed()) return 0;
    PumpMessages();
  }
}

int LineChannel::Fill(int timeout) {
  if (pending_pos_ < pending_.size()) return 1;
  // Large receives: replies to pipelined commands arrive back to back.
  char chunk[kReceiveSize];
  int n = ReceiveSome(chunk, kReceiveSize, timeout);
  if (n <= 0) return n;
  pending_.assign(chunk, static_cast<std::size_t>(n));
  pending_pos_ = 0;
  return 1;
}

int LineChannel::ReadLine(std::string* line, int timeout) {
  line->clear();
  PumpMessages();
  const std::size_t limit = kLineCapacity - 1;
  for (;;) {
    // The timeout applies to the silence before each piece of the line, not
    // to the whole line.
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

int LineChannel::Gather(StatusLine* status, unsigned long expected_size, int timeout) {
  gathered_.clear();
  std::string title;
  if (status != nullptr) {
    title = status->GetTitle();
    status->SetTitle(Progress(title, 0, expected_size));
  }
  long long total = 0;
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
      const std::size_t end = TerminatorEnd(gathered_, start, available);
      if (end != std::string::npos) {
        take = end;
        complete = true;
      }
      gathered_.append(start, take);
    } else {
      // NUL bytes are dropped one by one: cutting the text at a NUL would
      // lose text, and the terminating line with it.
      for (take = 0; take < available && !complete;) {
        const char c = start[take++];
        if (c == '\0') continue;
        gathered_.push_back(c);
        complete = c == '\n' && IsMultilineComplete(gathered_);
      }
    }
    pending_pos_ += take;
    total += static_cast<long long>(take);
    if (gathered_.size() > kMultilineLimit) return kReadNoMemory;
    if (status != nullptr) status->SetTitle(Progress(title, total, expected_size));
    if (complete) return total > INT_MAX ? INT_MAX : static_cast<int>(total);
  }
}

int LineChannel::ReadMultiline(StatusLine* status, unsigned long expected_size, std::string* header,
                               std::string* body, int timeout) {
  header->clear();
  body->clear();
  try {
    const int got = Gather(status, expected_size, timeout);
    if (got < 0) return got;
    SplitGathered(&gathered_, header, body);
    return got;
  } catch (const std::bad_alloc&) {
    header->clear();
    body->clear();
    return kReadNoMemory;
  }
}

int LineChannel::ReadListing(std::string* text, int timeout) {
  text->clear();
  try {
    const int got = Gather(nullptr, 0, timeout);
    if (got < 0) return got;
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
    if (platform::ReceiveWithin(socket_, chunk, kChunkSize, 0) <= 0) break;
  }
}

void LineChannel::Close() {
  if (!is_open()) return;
  platform::CloseSocket(socket_);
  platform::NetCleanup();
  socket_ = platform::kNoSocket;
  pending_.clear();
  pending_pos_ = 0;
}

}  // namespace tarnu
