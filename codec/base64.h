// Base64 as mail headers and tarnu's files use it (RFC 2045 alphabet).
#ifndef TARNU_CODEC_BASE64_H_
#define TARNU_CODEC_BASE64_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu {

// Decodes `text` into `out` (replacing its contents) and returns the number of
// bytes written, at most 3/4 of the text's length. Space, tab, CR and LF are
// skipped; a 0xFF byte ends the text; characters after the first padding "="
// are ignored; a text whose significant characters end inside a group of four
// decodes to nothing (0). Characters outside the alphabet count as -1.
// May throw std::bad_alloc.
std::size_t DecodeBase64(std::string_view text, std::string* out);

// Appends the encoding of `data` to `out` (which is not emptied): lines of 72
// characters, each followed by LF, the last shorter line too; empty data adds
// nothing. Returns 0, or 1 when memory ran out (what was appended stays).
int EncodeBase64(std::string_view data, std::string* out);

}  // namespace tarnu

#endif  // TARNU_CODEC_BASE64_H_
