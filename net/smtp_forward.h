// The notification mail for one new message, sent through SMTP.
#ifndef TARNU_NET_SMTP_FORWARD_H_
#define TARNU_NET_SMTP_FORWARD_H_

#include "model/host_entry.h"
#include "model/mail_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// Sends `entry` as a notification mail to the host's notification address.
// Returns 0 when the mail was accepted (the state text is emptied) or the
// host does not forward, -1 with the failure text in entry->state.
int ForwardMail(const HostEntry& host, MailEntry* entry, MessagePump* pump);

}  // namespace tarnu

#endif  // TARNU_NET_SMTP_FORWARD_H_
