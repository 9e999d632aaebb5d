// Decoding of MIME encoded words (=?charset?B?...?= and =?charset?Q?...?=)
// in a received header block into code page 932.
#ifndef TARNU_CODEC_HEADER_DECODE_H_
#define TARNU_CODEC_HEADER_DECODE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu {

inline constexpr int kCharsetNotFound = -1;
inline constexpr int kCharsetIso2022Jp = 0;

// Index of `name` in the charset table (ASCII case ignored), or
// kCharsetNotFound. Row 0 is "iso-2022-jp"; only that row changes decoding.
int LookupCharset(std::string_view name);

// Decodes the "Q" form: "=XX" gives the byte XX, other bytes are copied (an
// underscore stays an underscore); a broken "=" sequence is dropped. A 0xFF
// byte ends the text. Replaces `out`; returns the count written (<= length).
// May throw std::bad_alloc.
std::size_t DecodeQuoted(std::string_view text, std::string* out);

// Replaces every well-formed encoded word in `text` by its decoded bytes
// (ISO-2022-JP payloads converted to Shift_JIS); every other byte, CR and LF
// included, is copied. A 0xFF byte ends the text. `out` is emptied first.
// Returns 0, or 1 when a malformed encoded word was met (its bytes are copied
// as they stand and the scan goes on) or memory ran out (the scan stops;
// `out` keeps what was decoded before). Never throws.
int DecodeHeaderText(std::string_view text, std::string* out);

}  // namespace tarnu

#endif  // TARNU_CODEC_HEADER_DECODE_H_
