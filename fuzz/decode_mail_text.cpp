// Charset decoding of mail text, and the way back to code page 932 and
// ISO-2022-JP, on any bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/charset.h"
#include "codec/jis_sjis.h"
#include "codec/utf8_text.h"

namespace {

const char* const kCharsets[] = {"",          "utf-8",      "iso-2022-jp",  "shift_jis",
                                 "euc-jp",    "iso-8859-1", "windows-1251", "koi8-r",
                                 "gb2312",    "big5",       "euc-kr",       "utf-7",
                                 "x-unknown", "us-ascii",   "\"UTF-8\"*en", "iso-2022-jp-2"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const char* charset = kCharsets[data[0] % (sizeof kCharsets / sizeof kCharsets[0])];
  std::string_view bytes(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string utf8 = tarnu::DecodeMailText(charset, bytes, "windows-1252");
  if (!tarnu::IsUtf8(utf8)) __builtin_trap();
  // Every double-byte character of the notification text has a JIS code.
  const std::string cp932 = tarnu::MailTextForJis(utf8);
  for (std::size_t i = 0; i < cp932.size(); ++i) {
    const auto b = static_cast<unsigned char>(cp932[i]);
    if (!tarnu::IsSjisLeadByte(b) || i + 1 >= cp932.size()) continue;
    unsigned char j1, j2;
    if (!tarnu::SjisPairToJis(b, static_cast<unsigned char>(cp932[i + 1]), &j1, &j2)) {
      __builtin_trap();
    }
    ++i;
  }
  return 0;
}
