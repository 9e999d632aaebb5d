// The notification mail for one new message, sent through SMTP.
#ifndef TARNU_NET_SMTP_FORWARD_H_
#define TARNU_NET_SMTP_FORWARD_H_

#include <ctime>
#include <string>
#include <string_view>

#include "model/host_entry.h"
#include "model/mail_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// What ForwardMail returns besides 0 (accepted).
inline constexpr int kForwardFailed = -1;  // the server did not take the mail
// The whole mail and its final dot went out but no answer came: the server
// may have taken it, so it must not be sent again.
inline constexpr int kForwardUncertain = -2;

// Sends `entry` as a notification mail to the host's notification address.
// Returns 0 when the mail was accepted (the state text is emptied) or the
// host does not forward; kForwardFailed or kForwardUncertain with the
// failure text in entry->state.
int ForwardMail(const HostEntry& host, MailEntry* entry, MessagePump* pump);

// The HELO command for `address`: the computer name in small letters joined
// by a dot to the address's domain (the part after its first "@", or the
// whole address), or the domain alone when there is no usable name.
std::string FormatHelo(std::string_view address, const std::string* computer_name);

// `when` as a mail Date value in local time, e.g.
// "Mon, 01 Jan 2024 09:00:00 +0900".
std::string FormatMailDate(std::time_t when);

// The DATA section after the header: the forwarding line and `body` (mail
// text, UTF-8) converted to ISO-2022-JP (the geta mark for a character it
// cannot hold), every line ending made CR LF and a dot put in
// front of every line that starts with one. Not yet followed by the final
// dot line.
std::string FormatForwardedBody(std::string_view body);

}  // namespace tarnu

#endif  // TARNU_NET_SMTP_FORWARD_H_
