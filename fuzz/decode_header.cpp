// Encoded-word decoding of a received header block, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/header_decode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string_view scanned = text.substr(0, text.find('\xFF'));
  std::string out;
  int status = tarnu::DecodeHeaderText(text, &out);
  if (status != 0 && status != 1) __builtin_trap();
  // Decoding never lengthens anything, and nothing is lost or doubled where
  // there is no encoded word to decode.
  if (out.size() > scanned.size()) __builtin_trap();
  if (scanned.find("=?") == std::string_view::npos && (out != scanned || status != 0)) {
    __builtin_trap();
  }
  // A malformed word leaves its bytes in place, so without any "?=" the
  // text comes through unchanged.
  if (scanned.find("?=") == std::string_view::npos && out != scanned) __builtin_trap();
  return 0;
}
