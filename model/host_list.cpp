#include "model/host_list.h"

#include <atomic>
#include <new>

namespace tarnu {

std::uint64_t NewHostIdentity() {
  static std::atomic<std::uint64_t> next{1};
  return next.fetch_add(1, std::memory_order_relaxed);
}

int FindHost(const HostList& hosts, std::uint64_t identity) {
  for (std::size_t i = 0; i < hosts.size(); ++i) {
    if (hosts[i].identity == identity) return static_cast<int>(i);
  }
  return -1;
}

bool AppendHost(HostList* hosts, const HostEntry& entry, UserMessages* messages) {
  try {
    hosts->push_back(entry);
  } catch (const std::bad_alloc&) {
    messages->ShowMessage("メモリが足りません");
    messages->RequestQuit(-1);
    return false;
  }
  return true;
}

bool RemoveHost(HostList* hosts, std::size_t index) {
  if (index >= hosts->size()) return false;
  hosts->erase(hosts->begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

}  // namespace tarnu
