#include "model/host_list.h"

#include <new>

namespace tarnu {

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
