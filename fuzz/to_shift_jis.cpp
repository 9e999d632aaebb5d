// In-place body conversion to Shift_JIS on any bytes, in a buffer of
// exactly the text's size: it must never grow.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "codec/japanese_code.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  text.resize(std::strlen(text.c_str()));
  std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
  std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
  tarnu::ToShiftJis(buffer.get());
  std::size_t length = std::strlen(buffer.get());
  if (length > text.size()) __builtin_trap();
  int code = tarnu::DetectJapaneseCode(text);
  if ((code == tarnu::kCodePlain || code == tarnu::kCodeShiftJis) &&
      std::memcmp(buffer.get(), text.c_str(), text.size() + 1) != 0) {
    __builtin_trap();
  }
  std::string on_string(reinterpret_cast<const char*>(data), size);
  tarnu::ToShiftJis(&on_string);
  if (on_string != buffer.get()) __builtin_trap();
  return 0;
}
