// Notification mails still owed: a forward that failed before the SMTP
// server took the mail is tried again at the next checks, and one that the
// server took (or may have taken) is remembered until the history holds its
// message, so that it is never sent twice. They are kept between runs in
// "tarnu.pending" beside the other data files, a small text file of our own:
//
//   tarnu pending forwards 1
//   STATE <TAB> FIRST-FAILURE <TAB> TRIES <TAB> PORT <TAB> SERVER <TAB> USER <TAB> KEY
//
// STATE is "retry" or "sent"; FIRST-FAILURE is in seconds since 1970; the
// texts are written with every byte outside "!" to "~" and every "%" as
// "%XX", so a line is always one line. Lines that cannot be read are
// dropped; a file of another version is kept aside as "tarnu.pending.bak"
// before it is replaced.
#ifndef TARNU_MODEL_PENDING_FORWARDS_H_
#define TARNU_MODEL_PENDING_FORWARDS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

inline constexpr char kPendingFileName[] = "tarnu.pending";

// A failed forward is tried at most this many times in all, and not after
// this long since its first failure.
inline constexpr std::int32_t kForwardTries = 10;
inline constexpr std::int64_t kForwardRetrySeconds = 24 * 60 * 60;

struct PendingForward {
  // The mailbox: a host is known by its server, port and user.
  std::string server;
  std::int32_t port = 0;
  std::string user;
  std::string key;    // the message's HistoryKey
  bool sent = false;  // the server took (or may have taken) the mail
  std::int64_t first_failure = 0;
  std::int32_t tries = 0;

  bool Belongs(const HostEntry& host) const {
    return server == host.server && port == host.pop3_port && user == host.user;
  }
};

using PendingForwards = std::vector<PendingForward>;

// The entry of `host` for the message with `key`, or null.
PendingForward* FindPending(PendingForwards* pending, const HostEntry& host, std::string_view key);

// Reads the file into `pending` (emptied first). A missing file is no
// pending forward. Returns 0, or -1 when the file could not be read (then
// `pending` holds what could be).
int LoadPendingForwards(PendingForwards* pending);

// Writes `pending` over the file, through a temporary file; with nothing
// pending the file is removed. Returns 0 or -1 (the old file stays).
int SavePendingForwards(const PendingForwards& pending);

// The file's text for `pending`, and back; for the file functions and their
// tests. ParsePendingForwards returns false for another version (nothing is
// taken) and skips lines it cannot read.
std::string FormatPendingForwards(const PendingForwards& pending);
bool ParsePendingForwards(std::string_view text, PendingForwards* pending);

}  // namespace tarnu

#endif  // TARNU_MODEL_PENDING_FORWARDS_H_
