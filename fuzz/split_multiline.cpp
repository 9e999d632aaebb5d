// Splitting and unstuffing a gathered multi-line reply, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "net/line_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string header, body;
  tarnu::SplitMultiline(text, &header, &body);
  // Nothing is invented: the parts together are never longer than the input.
  if (header.size() + body.size() > size) __builtin_trap();
  bool complete = tarnu::IsMultilineComplete(text);
  if (complete && size < 3) __builtin_trap();
  return 0;
}
