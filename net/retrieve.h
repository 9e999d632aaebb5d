// Fetching one whole message (RETR) for the detail window.
#ifndef TARNU_NET_RETRIEVE_H_
#define TARNU_NET_RETRIEVE_H_

#include <string>

#include "net/pop3_account.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// Fetches message `number` with a connection of its own. On success returns
// 0 with the decoded header block and the text of the body as a reader shows
// it (both UTF-8, lines ending in CR LF); on failure -1
// with the Japanese error text in `error`.
int RetrieveMessage(StatusLine* status, MessagePump* pump, int number, unsigned long expected_size,
                    const Pop3Account& account, std::string* header, std::string* body,
                    std::string* error);

}  // namespace tarnu

#endif  // TARNU_NET_RETRIEVE_H_
