#include "app/win32/network_state.h"

#include <winsock2.h>
// winsock2.h and ws2ipdef.h before iphlpapi.h.
#include <iphlpapi.h>
#include <ws2ipdef.h>

#include <vector>

namespace tarnu::win32 {
namespace {

bool IsRoutable(const SOCKADDR* address) {
  if (address == nullptr) return false;
  if (address->sa_family == AF_INET) {
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(address);
    const unsigned char* b = reinterpret_cast<const unsigned char*>(&v4->sin_addr);
    return !(b[0] == 169 && b[1] == 254) && b[0] != 127 && b[0] != 0;
  }
  if (address->sa_family == AF_INET6) {
    const auto* v6 = reinterpret_cast<const sockaddr_in6*>(address);
    const unsigned char* b = v6->sin6_addr.s6_addr;
    return !(b[0] == 0xFE && (b[1] & 0xC0) == 0x80);  // fe80::/10
  }
  return false;
}

}  // namespace

bool NetworkIsUp() {
  const ULONG flags = GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER |
                      GAA_FLAG_SKIP_FRIENDLY_NAME;
  ULONG size = 16 * 1024;
  std::vector<unsigned char> buffer;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  for (int tries = 0; tries < 3 && result == ERROR_BUFFER_OVERFLOW; ++tries) {
    buffer.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, flags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()), &size);
  }
  if (result == ERROR_NO_DATA) return false;
  if (result != NO_ERROR) return true;
  for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.data()); adapter != nullptr;
       adapter = adapter->Next) {
    if (adapter->OperStatus != IfOperStatusUp) continue;
    if (adapter->IfType == IF_TYPE_SOFTWARE_LOOPBACK || adapter->IfType == IF_TYPE_TUNNEL) continue;
    for (auto* unicast = adapter->FirstUnicastAddress; unicast != nullptr;
         unicast = unicast->Next) {
      if (IsRoutable(unicast->Address.lpSockaddr)) return true;
    }
  }
  return false;
}

}  // namespace tarnu::win32
