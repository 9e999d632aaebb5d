// Encoding of header values for outgoing mail.
#ifndef TARNU_CODEC_HEADER_ENCODE_H_
#define TARNU_CODEC_HEADER_ENCODE_H_

#include <string>
#include <string_view>

namespace tarnu {

// Leaves plain bytes as they are and replaces every run of Japanese characters
// by one "=?ISO-2022-JP?B?...?=" word on a single line. A lead byte without
// its trail byte and the non-characters 0x80, 0xA0, 0xFD, 0xFE are left out,
// so the result is 7-bit. `out` is emptied first; a 0xFF byte ends the text.
// Always returns 0 and never throws: when memory runs out, the run (or byte)
// at hand is left out and the rest still goes.
int EncodeHeaderText(std::string_view text, std::string* out);

}  // namespace tarnu

#endif  // TARNU_CODEC_HEADER_ENCODE_H_
