// Shift_JIS to ISO-2022-JP on any bytes, and back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/jis_sjis.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string jis = "left over";
  if (tarnu::SjisToJis(text, &jis) != 0) __builtin_trap();
  // Only the single bytes that have no JIS form stay 8-bit.
  for (unsigned char c : jis) {
    if (c >= 0x80 && c != 0x80 && c != 0xA0 && c != 0xFD && c != 0xFE) __builtin_trap();
  }
  std::string_view scanned = text.substr(0, text.find('\xFF'));
  if (scanned.find_first_of("\x1B\x0E\x0F") != std::string_view::npos) return 0;
  // Every run is opened once and closed once, and the text ends in ASCII.
  std::size_t opened = 0, closed = 0;
  for (std::size_t p = 0; (p = jis.find("\x1B$B", p)) != std::string::npos; ++p) ++opened;
  for (std::size_t p = 0; (p = jis.find("\x1B(B", p)) != std::string::npos; ++p) ++closed;
  if (opened != closed) __builtin_trap();
  if (opened > 0 && jis.compare(jis.rfind('\x1B'), 3, "\x1B(B") != 0) __builtin_trap();
  // Converting back gives the same number of characters or fewer, and text
  // made only of ASCII comes back unchanged.
  std::string back;
  tarnu::JisToSjis(jis, &back);
  if (opened == 0 && back != jis) __builtin_trap();
  return 0;
}
