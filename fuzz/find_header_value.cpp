// Taking header values out of any bytes, with every name the survey uses,
// by scanning the block and through its index.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/header_fields.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks a capacity, the rest is the header block.
  std::size_t capacity = data[0] * 5;
  std::string_view block(reinterpret_cast<const char*>(data + 1), size - 1);
  for (const char* name : {"Message-ID:", "subject:", "cc:", "from:", "to:"}) {
    std::string value;
    int found = tarnu::FindHeaderValue(name, block, &value, capacity);
    if (value.size() + 2 > capacity && !value.empty()) __builtin_trap();
    if (found != 0 && !value.empty()) __builtin_trap();
    std::string full;
    tarnu::FindHeaderValue(name, block, &full);
    if (full.size() > 1022) __builtin_trap();
    // The block looked at once answers the same.
    const tarnu::HeaderFieldIndex index(block);
    std::string indexed;
    if (index.FindValue(name, &indexed, capacity) != found || indexed != value) __builtin_trap();
  }
  const tarnu::HeaderFieldIndex index(block);
  for (const char* field : {"content-type", "to", "subject"}) {
    if (index.Field(field) != tarnu::FindHeaderField(block, field)) __builtin_trap();
  }
  return 0;
}
