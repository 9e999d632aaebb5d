// Base64 decoding on any bytes, and encoding of what came out.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string decoded;
  std::size_t n = tarnu::DecodeBase64(text, &decoded);
  if (n != decoded.size() || n > size / 4 * 3) __builtin_trap();
  // Any bytes survive encoding and decoding, and the encoding is made of
  // lines of at most 72 characters, each ended by LF.
  std::string encoded = "x";
  if (tarnu::EncodeBase64(text, &encoded) != 0 || encoded[0] != 'x') __builtin_trap();
  std::size_t column = 0;
  for (std::size_t i = 1; i < encoded.size(); ++i) {
    if (encoded[i] == '\n') {
      column = 0;
    } else if (++column > 72) {
      __builtin_trap();
    }
  }
  if (size > 0 && encoded.back() != '\n') __builtin_trap();
  std::string back;
  tarnu::DecodeBase64(std::string_view(encoded).substr(1), &back);
  if (back != text) __builtin_trap();
  return 0;
}
