// Header block decoding into UTF-8, on any bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/header_decode.h"
#include "codec/utf8_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out;
  int status = tarnu::DecodeHeaderText(text, &out);
  if (status != 0 && status != 1) __builtin_trap();
  // Always well-formed UTF-8, and a decoded word never adds a line break
  // (one whose text runs over a line end, as some mailers fold them, takes
  // that line end in).
  if (!tarnu::IsUtf8(out)) __builtin_trap();
  if (std::count(out.begin(), out.end(), '\n') > std::count(text.begin(), text.end(), '\n')) {
    __builtin_trap();
  }
  // ASCII without an encoded word comes through unchanged.
  const bool ascii = std::all_of(text.begin(), text.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x80 && c != '\x1B';
  });
  if (ascii && text.find("=?") == std::string_view::npos && (out != text || status != 0)) {
    __builtin_trap();
  }
  return 0;
}
