// Operations on the host list that can fail or need care beyond std::vector.
#ifndef TARNU_MODEL_HOST_LIST_H_
#define TARNU_MODEL_HOST_LIST_H_

#include <cstddef>

#include "model/host_entry.h"
#include "platform/ui_hooks.h"

namespace tarnu {

// Appends a copy of `entry` at the end. When memory runs out, shows
// "メモリが足りません", asks the program to quit with exit code -1 and
// returns false; the list is unchanged.
bool AppendHost(HostList* hosts, const HostEntry& entry, UserMessages* messages);

// Removes the entry at `index`, history and all; false when there is none.
bool RemoveHost(HostList* hosts, std::size_t index);

}  // namespace tarnu

#endif  // TARNU_MODEL_HOST_LIST_H_
