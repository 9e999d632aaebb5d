#include "app/screen_text.h"

#include "codec/utf8_text.h"
#include "platform/text_convert.h"

namespace tarnu {

// Mail text is UTF-8 from the decoder on.
std::u16string MailTextToScreen(std::string_view text) { return Utf8ToUtf16(text); }

std::u16string SettingsTextToScreen(std::string_view text) {
  return Utf8ToUtf16(platform::Cp932ToUtf8(text));
}

std::string SettingsTextFromScreen(std::u16string_view text) {
  // One character at a time, so that one the code page lacks becomes one
  // '?' on every platform and a byte limit counts the same everywhere.
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::size_t length = 1;
    if (text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      length = 2;
    }
    std::string one = platform::Utf8ToCp932(Utf16ToUtf8(text.substr(i, length)));
    if (one.find('?') != std::string::npos && text[i] != u'?') one = "?";
    out += one;
    i += length - 1;
  }
  return out;
}

std::u16string OneLine(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c != u'\r' && c != u'\n') {
      out += c;
      continue;
    }
    // A CR LF pair (or a lone CR or LF) is one break.
    if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    const bool folded = i + 1 < text.size() && (text[i + 1] == u' ' || text[i + 1] == u'\t');
    if (!folded) out += u' ';
  }
  return out;
}

}  // namespace tarnu
