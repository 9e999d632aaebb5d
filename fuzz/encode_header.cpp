// Header encoding for forwarded mail on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/header_decode.h"
#include "codec/header_encode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = "left over";
  if (tarnu::EncodeHeaderText(text, &out) != 0) __builtin_trap();
  // The header that goes out is 7-bit, whatever came in.
  for (unsigned char c : out) {
    if (c >= 0x80) __builtin_trap();
  }
  // Every word we write is well-formed: reading it back meets no malformed
  // word (as long as the plain text holds no "=?" of its own).
  std::string_view scanned = text.substr(0, text.find('\xFF'));
  if (scanned.find_first_of("=?") == std::string_view::npos) {
    std::string back;
    if (tarnu::DecodeHeaderText(out, &back) != 0) __builtin_trap();
    // Plain ASCII passes unchanged (ESC aside: the decoder reads raw
    // ISO-2022-JP in a header).
    bool ascii = true;
    for (unsigned char c : scanned) ascii = ascii && c < 0x80 && c != 0x1B;
    if (ascii && (out != scanned || back != scanned)) __builtin_trap();
  }
  return 0;
}
