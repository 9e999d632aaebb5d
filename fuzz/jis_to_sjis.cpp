// ISO-2022-JP to Shift_JIS on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/jis_sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string out = "left over";
  if (tarnu::JisToSjis(text, &out) != 0) __builtin_trap();
  // Escapes and shifts are dropped, pairs stay pairs: never longer.
  if (out.size() > size) __builtin_trap();
  // Text without ESC, SO and SI is single-byte ASCII throughout: unchanged.
  std::string_view scanned = text.substr(0, text.find('\xFF'));
  if (scanned.find_first_of("\x1B\x0E\x0F") == std::string_view::npos && out != scanned) {
    __builtin_trap();
  }
  return 0;
}
