// Decoding of a received header block into UTF-8: MIME encoded words
// (=?charset?B?...?= and =?charset?Q?...?=, RFC 2047) and raw 8-bit text
// (RFC 6532).
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

// Replaces every well-formed encoded word in `text` by its text (B or Q in
// either case, its charset decoded by DecodeMailText); adjacent encoded words
// are joined without the white space between them, and the bytes of adjacent
// words in one charset are decoded together, so a character split between
// them comes out whole. A decoded word's CR, LF and NUL become spaces. The
// rest of the block is copied with its line structure, each line's raw
// bytes decoded as DecodeMailText guesses (UTF-8, else `fallback`, the
// message's charset, else the Japanese encodings); 0xFF is an ordinary byte.
// `out` (UTF-8) is emptied first. Returns 0, or 1 when a malformed encoded
// word was met (its bytes are copied as they stand and the scan goes on) or
// memory ran out (the scan stops; `out` keeps what was decoded before).
// Never throws.
int DecodeHeaderText(std::string_view text, std::string* out, std::string_view fallback = {});

}  // namespace tarnu

#endif  // TARNU_CODEC_HEADER_DECODE_H_
