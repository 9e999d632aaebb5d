// A UIDL or LIST listing as any server may send it: what is taken is one
// value a message, each inside the listing, the ids unique and printable.
#include <cstddef>
#include <cstdint>
#include <set>
#include <string_view>
#include <vector>

#include "net/survey.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const int total = data[0] % 16;
  const std::string_view listing(reinterpret_cast<const char*>(data + 1), size - 1);
  for (bool unique : {false, true}) {
    std::vector<std::string_view> values;
    if (!tarnu::ParseListing(listing, total, unique, &values)) continue;
    if (values.size() != static_cast<std::size_t>(total)) __builtin_trap();
    std::set<std::string_view> seen;
    for (std::string_view v : values) {
      if (v.empty() || v.data() < listing.data() ||
          v.data() + v.size() > listing.data() + listing.size()) {
        __builtin_trap();
      }
      if (unique && (v.size() > 70 || !seen.insert(v).second)) __builtin_trap();
    }
  }
  return 0;
}
