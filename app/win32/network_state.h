// Whether the machine has a network to reach mail servers through.
#ifndef TARNU_APP_WIN32_NETWORK_STATE_H_
#define TARNU_APP_WIN32_NETWORK_STATE_H_

namespace tarnu::win32 {

// An interface that is up, is neither the loopback nor a tunnel, and holds
// an address other than a self-assigned (link-local) one. True also when
// the adapters cannot be listed: then nothing should wait for them.
bool NetworkIsUp();

}  // namespace tarnu::win32

#endif  // TARNU_APP_WIN32_NETWORK_STATE_H_
