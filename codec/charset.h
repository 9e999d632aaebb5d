// Text of mail in any charset, decoded to UTF-8: the Japanese charsets by
// tarnu's own converters (so they give exactly the characters code page 932
// gives), the rest by the platform's tables, unknown labels by a guess.
#ifndef TARNU_CODEC_CHARSET_H_
#define TARNU_CODEC_CHARSET_H_

#include <string>
#include <string_view>

namespace tarnu {

// A charset label as it stands in mail ("ISO-2022-JP", "\"utf-8\"",
// "iso-8859-1*en" of RFC 2231) as the lower-case name it is looked up by,
// with the usual supersets for the labels that readers read as their
// superset (iso-8859-1 as windows-1252, gb2312 as gb18030, euc-kr as cp949).
std::string CanonicalCharset(std::string_view label);

// Decodes `bytes` labelled `charset` into well-formed UTF-8; bytes that form
// no character become U+FFFD. Text without any byte from 0x80 up and without
// ESC is returned as it is, whatever the label. An empty, ASCII or unknown
// label with 8-bit bytes is guessed: UTF-8 when the bytes are well-formed
// UTF-8, else ISO-2022-JP, EUC-JP or Shift_JIS as the body conversion
// decides on the bytes alone, unless `fallback` names a charset (the
// message's own) to try before the Japanese guess.
std::string DecodeMailText(std::string_view charset, std::string_view bytes,
                           std::string_view fallback = {});

// UTF-8 mail text as code page 932 for places that hold only that (the
// console's cp932 output, `decode-header`): a character it lacks becomes the
// geta mark.
std::string MailTextToCp932(std::string_view utf8);

// UTF-8 mail text as code page 932 that ISO-2022-JP can carry whole: what
// MailTextToCp932 gives, with every character that has no JIS X 0208 code
// (user-defined and IBM vendor rows) also the geta mark. The forwarded
// notification is built from this.
std::string MailTextForJis(std::string_view utf8);

}  // namespace tarnu

#endif  // TARNU_CODEC_CHARSET_H_
