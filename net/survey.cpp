// The mailbox survey: LIST and TOP for every message (RFC 1939 sections 5
// and 7), one MailEntry each; pipelined when the server offers it (RFC 2449
// sections 5 and 6.6), and with known messages taken from the cache by
// their unique ids (UIDL, RFC 1939 section 7).
#include "net/survey.h"

#include <chrono>
#include <deque>
#include <new>
#include <string>
#include <unordered_set>
#include <utility>

#include "codec/header_decode.h"
#include "codec/header_fields.h"
#include "codec/mime_body.h"
#include "net/mailbox.h"
#include "net/message_identity.h"
#include "net/pop3_session.h"

namespace tarnu {
namespace {

constexpr char kTextReceiving[] = "受信中...";
constexpr char kTextOutOfMemory[] = "メモリが足りません";

// Bytes of commands sent ahead of their replies. Small enough that the
// unanswered commands always fit the server's receive buffer, so neither
// side can end up blocked on a full buffer while the other waits.
constexpr std::size_t kWindow = 4096;
// Messages planned but not yet delivered to the result, at most: the ones
// taken from the cache wait behind one still being fetched.
constexpr std::size_t kMaxOpen = 512;
// The longest unique id (RFC 1939 section 7).
constexpr std::size_t kMaxUidLength = 70;

// What a TOP reply may make the survey hold: a server that ignores the line
// count (or sends a huge header) is read to the end, but only this much of
// the message is kept.
constexpr std::size_t kTopKeep = std::size_t{1} << 20;
// Listings are held whole, so what they may hold is bounded too: a CAPA
// reply is a few lines; a UIDL or LIST line (number, id or size) is well
// under kListingBytesPerMessage. A longer listing is read and not used.
constexpr std::size_t kCapaKeep = std::size_t{64} << 10;
constexpr std::size_t kListingBytesPerMessage = 128;

std::size_t ListingKeep(int total) {
  return kCapaKeep + kListingBytesPerMessage * static_cast<std::size_t>(total < 0 ? 0 : total);
}

// Replies a message's steps may need (LIST, TOP and the TOPs that fetch
// more of an encoded body), each given the timeout.
constexpr long long kRepliesPerMessage = 4;

// SurveyOnce's result when a pipelining server lost step with the commands.
constexpr int kOutOfStep = 1;

using Clock = std::chrono::steady_clock;

// A found value loses its leading white space (not the full-width space);
// trailing white space stays. Shown values are unfolded; the Message-ID is
// kept as it stands, since the history knows messages by its bytes.
void TakeValue(const char* name, const HeaderFieldIndex& block, bool unfold, std::string* field) {
  std::string value;
  if (block.FindValue(name, &value, 1023) != 0 || value.empty()) return;
  if (unfold) value = UnfoldHeaderValue(value);
  std::size_t first = value.find_first_not_of(" \t\r\n\v\f");
  if (first == std::string::npos) return;
  field->assign(value, first, std::string::npos);
}

// A message whose header no empty line ends: its body starts at the first
// line that is no header line.
void SeparateBody(std::string* header, std::string* body) {
  const std::size_t end = HeaderBlockEnd(*header);
  if (end >= header->size()) return;
  // The block lacks the LF of its last line; the empty line follows it.
  *body = header->substr(end) + (body->empty() ? "\n" : "\n\r\n") + *body;
  header->resize(end);
  if (header->size() >= 2 && header->compare(header->size() - 2, 2, "\r\n") == 0) {
    header->pop_back();
  }
}

// Lines of a multi-line reply's body, counted as the server sent them.
int CountLines(const std::string& body) {
  int count = 0;
  for (char c : body) count += c == '\n';
  if (!body.empty() && body.back() != '\n') ++count;
  return count;
}

// The entry's fields from its last TOP reply: the raw header looked at once
// for how the body is to be read, the decoded one once for every value the
// list shows. May throw std::bad_alloc.
void ReadEntry(const std::string& header, const ContentInfo& content, const std::string& body,
               int lines, MailEntry* entry) {
  std::string decoded;
  DecodeHeaderText(header, &decoded, content.charset);
  entry->body = MessageBodyExcerpt(header, content, body, lines);
  const HeaderFieldIndex fields(decoded);
  TakeValue("Message-ID:", fields, false, &entry->message_id);
  TakeValue("subject:", fields, true, &entry->subject);
  TakeValue("cc:", fields, true, &entry->cc);
  TakeValue("from:", fields, true, &entry->from);
  TakeValue("to:", fields, true, &entry->to);
}

std::size_t Digits(int n) {
  std::size_t digits = n < 0 ? 2 : 1;
  for (long long v = n < 0 ? -static_cast<long long>(n) : n; v >= 10; v /= 10) ++digits;
  return digits;
}

bool IsNegative(const std::string& reply) { return reply.compare(0, 4, "-ERR") == 0; }

bool HasTag(std::string_view listing, std::string_view tag) {
  for (std::size_t p = 0; p < listing.size();) {
    std::size_t eol = listing.find('\n', p);
    if (eol == std::string_view::npos) eol = listing.size();
    std::string_view line = listing.substr(p, eol - p);
    std::size_t end = line.find_first_of(" \t\r");
    line = line.substr(0, end);
    bool same = line.size() == tag.size();
    for (std::size_t i = 0; same && i < tag.size(); ++i) {
      char c = line[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      same = c == tag[i];
    }
    if (same) return true;
    p = eol + 1;
  }
  return false;
}

// What the server says it can do (RFC 2449 CAPA).
struct Capabilities {
  bool answered = false;  // CAPA was answered positively
  bool pipelining = false;
  bool uidl = false;
};

// One command of the survey: "LIST n", or "TOP n lines".
struct Step {
  int n;
  bool list;
  int lines;
  std::size_t length;  // of the command line
};

// One survey over one connection.
class Survey {
 public:
  Survey(Pop3Session* session, SurveyResult* result, int lines, int total, bool pipelined,
         UserMessages* messages)
      : session_(*session),
        result_(*result),
        lines_(lines),
        total_(total),
        pipelined_(pipelined),
        messages_(messages) {}

  // 0 when every message went through (the session still open), -1 after
  // the failure path, kOutOfStep when a pipelining server lost step.
  int Run(UidlUse* uidl);
  // CAPA; -1 after the failure path.
  int AskCapabilities(Capabilities* capabilities);

 private:
  struct Work {
    MailEntry entry;
    // The message's key in the history before it is made unique within the
    // mailbox; empty when its Message-ID is the key.
    std::string base_key;
    bool done = false;
    // -1 until the first TOP is answered; then the tries at more lines for
    // a body that is not plain text.
    int attempt = -1;
  };

  // The UIDL and LIST listings; -1 after the failure path, kOutOfStep, or 0
  // (uidl->listed says whether the server gave them).
  int ReadListings(UidlUse* uidl);
  // Plans message n: taken from the cache, or its commands queued.
  void Plan(int n);
  // Sends what the window allows and handles the oldest reply.
  int Exchange();
  int OnList(const Step& step, const std::string& reply);
  int OnTop(const Step& step, const std::string& reply);
  // Appends the finished messages that are next in order; -1 after the
  // failure path.
  int Deliver();
  void Progress(int n, bool always);
  int Failed() { return pipelined_ ? kOutOfStep : MailboxFailed(session_, &result_); }
  int Fail(std::string text) {
    return pipelined_ ? (session_.Quit(), kOutOfStep) : FailMailbox(&session_, &result_, text);
  }
  Work& WorkOf(int n) { return open_[static_cast<std::size_t>(n - first_open_)]; }

  Pop3Session& session_;
  SurveyResult& result_;
  const int lines_;
  const int total_;
  const bool pipelined_;
  UserMessages* messages_;

  UidlUse* uidl_ = nullptr;
  std::vector<std::string_view> sizes_;  // from LIST, when listed
  std::string size_listing_;

  int next_ = 1;        // the next message to plan
  int first_open_ = 1;  // the oldest message not yet delivered
  std::deque<Work> open_;
  std::deque<Step> unsent_;
  std::deque<Step> unanswered_;
  std::size_t unanswered_bytes_ = 0;
  std::string batch_;
  std::string reply_;
  std::string header_;
  std::string body_;
  KeyCounter keys_;
  Clock::time_point last_progress_;
};

int Survey::AskCapabilities(Capabilities* capabilities) {
  int state = session_.Command("CAPA\r\n", &reply_);
  if (state < 0) return MailboxFailed(session_, &result_);
  if (state == 0) return 0;  // no capabilities to tell
  std::string listing;
  int got = session_.channel().ReadListing(&listing, session_.timeout(), kCapaKeep);
  if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
  if (got < 0) return FailMailbox(&session_, &result_, kTextNoAnswer);
  capabilities->answered = true;
  capabilities->pipelining = HasTag(listing, "PIPELINING");
  capabilities->uidl = HasTag(listing, "UIDL");
  return 0;
}

int Survey::ReadListings(UidlUse* uidl) {
  std::string ids;
  if (pipelined_) {
    if (!session_.SendCommands("UIDL\r\nLIST\r\n")) return Failed();
    int uidl_state = session_.ReadStatus(&reply_);
    if (uidl_state < 0) return Failed();
    if (uidl_state == 0 && !IsNegative(reply_)) return Fail(kTextCannotServe);
    if (uidl_state == 1) {
      int got = session_.channel().ReadListing(&ids, session_.timeout(), ListingKeep(total_));
      if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
      if (got < 0) return Failed();
    }
    int list_state = session_.ReadStatus(&reply_);
    if (list_state < 0) return Failed();
    if (list_state == 0 && !IsNegative(reply_)) return Fail(kTextCannotServe);
    if (list_state == 1) {
      int got =
          session_.channel().ReadListing(&size_listing_, session_.timeout(), ListingKeep(total_));
      if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
      if (got < 0) return Failed();
    }
    if (uidl_state != 1 || list_state != 1) return 0;
  } else {
    int state = session_.Command("UIDL\r\n", &reply_);
    if (state < 0) return Failed();
    if (state == 0) return 0;
    int got = session_.channel().ReadListing(&ids, session_.timeout(), ListingKeep(total_));
    if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
    if (got < 0) return FailMailbox(&session_, &result_, kTextNoAnswer);
    state = session_.Command("LIST\r\n", &reply_);
    if (state < 0) return Failed();
    if (state == 0) return 0;
    got = session_.channel().ReadListing(&size_listing_, session_.timeout(), ListingKeep(total_));
    if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
    if (got < 0) return FailMailbox(&session_, &result_, kTextNoAnswer);
  }
  // A listing that is cut, out of order or holds an id twice is not used:
  // every message is then fetched as without UIDL.
  uidl->listing.swap(ids);
  if (!ParseListing(uidl->listing, total_, true, &uidl->uids) ||
      !ParseListing(size_listing_, total_, false, &sizes_)) {
    uidl->uids.clear();
    sizes_.clear();
    return 0;
  }
  uidl->listed = true;
  uidl->fetched.assign(static_cast<std::size_t>(total_), true);
  return 0;
}

void Survey::Progress(int n, bool always) {
  // Every message's number when each is fetched one at a time; otherwise a
  // few times a second, which is all a title can show.
  const Clock::time_point now = Clock::now();
  if (!always && n != total_ && now - last_progress_ < std::chrono::milliseconds(100)) return;
  last_progress_ = now;
  session_.ShowProgress(std::string("(") + kTextReceiving + ")[" + std::to_string(n) + "/" +
                        std::to_string(total_) + "]");
  session_.channel().PumpMessages();
}

void Survey::Plan(int n) {
  open_.emplace_back();
  Work& work = open_.back();
  if (uidl_ != nullptr && uidl_->listed) {
    const std::size_t i = static_cast<std::size_t>(n - 1);
    std::size_t pos = 0;
    int size = 0;
    ScanInt(sizes_[i], &pos, &size);
    // The size is the server's, as LIST n would give it; a cached entry of
    // another size is not the same message.
    if (uidl_->cache != nullptr && uidl_->cache->Take(uidl_->uids[i], &work.entry) &&
        work.entry.size == size) {
      uidl_->fetched[i] = false;
      // The cache keeps the key as the survey made it, before Deliver makes
      // it unique among this mailbox's messages.
      work.base_key = std::move(work.entry.history_key);
      work.entry.history_key.clear();
      work.done = true;
      return;
    }
    work.entry.Reset();
    work.entry.size = size;
  } else {
    unsent_.push_back(Step{n, true, 0, 7 + Digits(n)});  // "LIST n\r\n"
  }
  unsent_.push_back(Step{n, false, lines_, 7 + Digits(n) + Digits(lines_)});  // "TOP n l\r\n"
}

int Survey::Exchange() {
  Step step;
  if (!pipelined_) {
    // The plain dialogue: each command once the previous one is answered.
    step = unsent_.front();
    unsent_.pop_front();
    const std::string command =
        step.list ? "LIST " + std::to_string(step.n) + "\r\n"
                  : "TOP " + std::to_string(step.n) + " " + std::to_string(step.lines) + "\r\n";
    const int state = session_.Command(command, &reply_);
    if (state < 0) return Failed();
    return step.list ? OnList(step, reply_) : OnTop(step, reply_);
  }
  // Refill the window once half of it has been answered, in one send.
  if (unanswered_bytes_ <= kWindow / 2 && !unsent_.empty()) {
    batch_.clear();
    while (!unsent_.empty() && unanswered_bytes_ + unsent_.front().length <= kWindow) {
      const Step& next = unsent_.front();
      batch_ += next.list ? "LIST " : "TOP ";
      batch_ += std::to_string(next.n);
      if (!next.list) {
        batch_ += ' ';
        batch_ += std::to_string(next.lines);
      }
      batch_ += "\r\n";
      unanswered_bytes_ += next.length;
      unanswered_.push_back(next);
      unsent_.pop_front();
    }
    if (!session_.SendCommands(batch_)) return Failed();
  }
  step = unanswered_.front();
  unanswered_.pop_front();
  unanswered_bytes_ -= step.length;
  const int state = session_.ReadStatus(&reply_);
  if (state < 0) return Failed();
  // Every reply starts with "+OK" or "-ERR"; anything else is a line of
  // another reply: the server lost step.
  if (state == 0 && !IsNegative(reply_)) return Fail(kTextCannotServe);
  return step.list ? OnList(step, reply_) : OnTop(step, reply_);
}

int Survey::OnList(const Step& step, const std::string& reply) {
  if (IsNegative(reply) || reply.compare(0, 3, "+OK") != 0) {
    return FailMailbox(&session_, &result_, std::string(kTextCannotServe) + "\r\n" + reply);
  }
  // "+OK n size"; a size that cannot be read counts as 0. One at a time the
  // number is not compared with n; ahead of the replies it tells whether the
  // server keeps step.
  std::size_t pos = 3;
  int number = 0;
  int size = 0;
  const bool read = ScanInt(reply, &pos, &number) && ScanInt(reply, &pos, &size);
  if (pipelined_ && (!read || number != step.n)) return Fail(kTextCannotServe);
  WorkOf(step.n).entry.size = read ? size : 0;
  return 0;
}

int Survey::OnTop(const Step& step, const std::string& reply) {
  if (IsNegative(reply) || reply.compare(0, 3, "+OK") != 0) {
    return FailMailbox(&session_, &result_, kTextCannotServe);
  }
  const int got =
      session_.channel().ReadMultiline(nullptr, 0, &header_, &body_, session_.timeout(), kTopKeep);
  if (got == kReadNoMemory) return FailMailbox(&session_, &result_, kTextNoMemory);
  if (got < 0)
    return pipelined_ ? Fail(kTextNoAnswer) : FailMailbox(&session_, &result_, kTextNoAnswer);
  Work& work = WorkOf(step.n);
  try {
    SeparateBody(&header_, &body_);
    const ContentInfo content = ReadContentInfo(HeaderFieldIndex(header_));
    // The first lines of a multipart or encoded body are not the first
    // lines of its text: fetch more, a bounded number of lines, and once
    // more only when the server cut the text short of the excerpt.
    int more = 0;
    if (work.attempt < 0) {
      if (lines_ > 0 && BodyNeedsDecoding(content)) more = ExcerptFetchLines(lines_, 0);
    } else {
      bool whole = false;
      work.entry.body = MessageBodyExcerpt(header_, content, body_, lines_, &whole);
      if (work.attempt == 0 && !whole && CountLines(body_) >= step.lines) {
        more = ExcerptFetchLines(lines_, 1);
      }
    }
    if (more > lines_) {
      ++work.attempt;
      // Next, ahead of the commands not yet sent.
      unsent_.push_front(Step{step.n, false, more, 7 + Digits(step.n) + Digits(more)});
      return 0;
    }
    ReadEntry(header_, content, body_, lines_, &work.entry);
    std::string key = MessageHistoryKey(work.entry.message_id, header_, work.entry.size);
    if (key != work.entry.message_id) work.base_key = std::move(key);
  } catch (const std::bad_alloc&) {
    return FailMailbox(&session_, &result_, kTextNoMemory);
  }
  work.done = true;
  return 0;
}

int Survey::Deliver() {
  while (!open_.empty() && open_.front().done) {
    if (pipelined_ || (uidl_ != nullptr && uidl_->listed)) Progress(first_open_, false);
    Work& work = open_.front();
    // Keys made for messages without a usable Message-ID are told apart in
    // message order, whichever way each message came.
    if (!work.base_key.empty()) {
      try {
        std::string key = keys_.Unique(work.base_key);
        if (key != work.entry.message_id) work.entry.history_key = std::move(key);
        if (uidl_ != nullptr && uidl_->listed) {
          uidl_->base_keys[static_cast<std::size_t>(first_open_ - 1)] = std::move(work.base_key);
        }
      } catch (const std::bad_alloc&) {
        return FailMailbox(&session_, &result_, kTextNoMemory);
      }
    }
    try {
      // Room for the whole list at once: no copies while it grows.
      if (result_.mails.empty()) {
        result_.mails.reserve(static_cast<std::size_t>(total_ < 100000 ? total_ : 100000));
      }
      result_.mails.push_back(std::move(open_.front().entry));
    } catch (const std::bad_alloc&) {
      // Not a survey failure: the program is asked to end, the survey goes on.
      if (messages_ != nullptr) {
        messages_->ShowMessage(kTextOutOfMemory);
        messages_->RequestQuit(-1);
      }
    }
    ++result_.mail_count;
    open_.pop_front();
    ++first_open_;
  }
  return 0;
}

int Survey::Run(UidlUse* uidl) {
  uidl_ = uidl;
  if (uidl_ != nullptr) {
    const int state = ReadListings(uidl_);
    if (state != 0) return state;
  }
  const bool known_sizes = uidl_ != nullptr && uidl_->listed;
  while (first_open_ <= total_) {
    // Plan messages while there is room for their commands: one message at
    // a time in the plain dialogue, a window's worth when pipelined.
    while (next_ <= total_ && open_.size() < kMaxOpen &&
           (pipelined_ ? unsent_.size() * 16 < kWindow : unsent_.empty())) {
      // One at a time, the title counts every message before its LIST.
      if (!pipelined_ && !known_sizes) Progress(next_, true);
      Plan(next_++);
    }
    if (Deliver() != 0) return -1;
    if (unsent_.empty() && unanswered_.empty()) continue;
    const int state = Exchange();
    if (state != 0) return state;
    if (Deliver() != 0) return -1;
  }
  return 0;
}

int SurveyOnce(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
               MessagePump* pump, UserMessages* messages, UidlUse* uidl, bool pipelining) {
  Pop3Session session(status, pump);
  const int total = OpenMailbox(account, result, &session);
  if (total < 0) return -1;
  // The whole dialogue is bounded, by time that grows with the mailbox.
  if (session.timeout() >= 0) {
    session.channel().ExtendDialogue(kRepliesPerMessage * total * session.timeout());
  }
  if (total > 0) {
    Capabilities capabilities;
    if (pipelining) {
      Survey probe(&session, result, lines, total, false, messages);
      if (probe.AskCapabilities(&capabilities) < 0) return -1;
    }
    // A server that told its capabilities without UIDL is not asked for it.
    const bool ask_uidl = uidl != nullptr && uidl->cache != nullptr && account.uidl &&
                          (!capabilities.answered || capabilities.uidl);
    Survey survey(&session, result, lines, total, capabilities.pipelining, messages);
    const int state = survey.Run(ask_uidl ? uidl : nullptr);
    if (state != 0) return state;
  }
  CloseMailbox(&session);
  return 0;
}

}  // namespace

int ExcerptFetchLines(int lines, int attempt) {
  // A few lines of part headers and boundaries, and room for base64 and
  // quoted-printable, which spread a line of text over several; the second
  // try makes room for a long HTML head. Never more than 1000 lines.
  const long first = 40L + 10L * lines;
  const long wanted = attempt == 0 ? first : 400L + 40L * lines;
  return static_cast<int>(wanted < 1000 ? wanted : 1000);
}

bool ParseListing(std::string_view listing, int total, bool unique,
                  std::vector<std::string_view>* values) {
  values->clear();
  if (total < 0) return false;
  values->reserve(static_cast<std::size_t>(total));
  std::unordered_set<std::string_view> seen;
  if (unique) seen.reserve(static_cast<std::size_t>(total));
  std::size_t p = 0;
  for (int n = 1; n <= total; ++n) {
    if (p >= listing.size()) return false;
    std::size_t eol = listing.find('\n', p);
    if (eol == std::string_view::npos) return false;
    std::string_view line = listing.substr(p, eol - p);
    p = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t pos = 0;
    int number = 0;
    if (!ScanInt(line, &pos, &number) || number != n || pos >= line.size() || line[pos] != ' ') {
      return false;
    }
    std::string_view value = line.substr(pos + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    if (value.empty()) return false;
    if (unique) {
      if (value.size() > kMaxUidLength) return false;
      for (char c : value) {
        if (c < 0x21 || c > 0x7E) return false;
      }
      if (!seen.insert(value).second) return false;
    }
    values->push_back(value);
  }
  return p == listing.size();
}

int SurveyMailbox(StatusLine* status, const Pop3Account& account, int lines, SurveyResult* result,
                  MessagePump* pump, UserMessages* messages, UidlUse* uidl) {
  if (uidl != nullptr) {
    uidl->listed = false;
    uidl->uids.clear();
    uidl->fetched.clear();
    uidl->base_keys.clear();
  }
  int state = SurveyOnce(status, account, lines, result, pump, messages, uidl, account.pipelining);
  if (state == kOutOfStep) {
    // The server offered pipelining and then lost step: everything again,
    // one command at a time, on a new connection.
    result->mails.clear();
    result->mail_count = 0;
    result->error.clear();
    if (uidl != nullptr) {
      uidl->listed = false;
      uidl->uids.clear();
      uidl->fetched.clear();
      uidl->base_keys.clear();
    }
    state = SurveyOnce(status, account, lines, result, pump, messages, uidl, false);
  }
  return state;
}

}  // namespace tarnu
