// The quoted ("Q") decoding on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/header_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view scanned = text.substr(0, text.find('\xFF'));
  std::string out;
  std::size_t n = tarnu::DecodeQuoted(text, &out);
  if (n != out.size() || n > scanned.size()) __builtin_trap();
  if (scanned.find('=') == std::string_view::npos && out != scanned) __builtin_trap();
  return 0;
}
