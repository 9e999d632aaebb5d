// Encoding of header values for outgoing mail.
#ifndef TARNU_CODEC_HEADER_ENCODE_H_
#define TARNU_CODEC_HEADER_ENCODE_H_

#include <string>
#include <string_view>

namespace tarnu {

// Leaves plain bytes as they are and replaces every run of Japanese characters
// by one "=?ISO-2022-JP?B?...?=" word on a single line. `out` is emptied
// first; a 0xFF byte ends the text. Always returns 0.
int EncodeHeaderText(std::string_view text, std::string* out);

}  // namespace tarnu

#endif  // TARNU_CODEC_HEADER_ENCODE_H_
