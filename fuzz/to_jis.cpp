// In-place body conversion to ISO-2022-JP on any bytes, in a buffer of
// exactly the room the caller is told to give.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "codec/japanese_code.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));
  int code = tarnu::DetectJapaneseCode(text);
  // Three times the length plus four, unless half-width katakana of a
  // Shift_JIS text are widened.
  bool kana = false;
  for (unsigned char c : text) kana = kana || (c >= 0xA1 && c <= 0xDF);
  std::size_t room = code == tarnu::kCodeShiftJis && kana ? tarnu::ToJisBufferSize(text.size())
                                                          : 3 * text.size() + 4;
  std::unique_ptr<char[]> buffer(new char[room]);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  tarnu::ToJis(buffer.get());
  std::size_t length = std::strlen(buffer.get());
  if (length + 1 > room) __builtin_trap();
  if (code == tarnu::kCodeShiftJis || code == tarnu::kCodeEucJp) {
    for (std::size_t i = 0; i < length; ++i) {
      if (static_cast<unsigned char>(buffer[i]) >= 0x80) __builtin_trap();
    }
  } else if (text != buffer.get()) {
    __builtin_trap();
  }
  std::string on_string(reinterpret_cast<const char*>(data), size);
  tarnu::ToJis(&on_string);
  if (on_string != buffer.get()) __builtin_trap();
  return 0;
}
