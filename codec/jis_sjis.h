// ISO-2022-JP (7-bit JIS) and Shift_JIS (code page 932) for header text.
#ifndef TARNU_CODEC_JIS_SJIS_H_
#define TARNU_CODEC_JIS_SJIS_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "codec/cp932_text.h"  // the byte classes

namespace tarnu {

// The JIS X 0208 pair (j1, j2) as Shift_JIS; false when either byte is
// outside 0x21-0x7E.
bool JisPairToSjis(unsigned char j1, unsigned char j2, unsigned char* s1, unsigned char* s2);
// The Shift_JIS pair (s1, s2) as JIS X 0208; false when the result is not a
// valid JIS pair (every lead byte from 0xF0 up among others).
bool SjisPairToJis(unsigned char s1, unsigned char s2, unsigned char* j1, unsigned char* j2);

// One row per half-width katakana 0xA1-0xDF: the full-width character as a
// Shift_JIS code (lead byte high), the form with the voiced mark (0xDE) and
// the form with the semi-voiced mark (0xDF); 0 where there is none.
extern const std::array<std::array<std::uint16_t, 3>, 63> HalfwidthKanaTable;

// The full-width Shift_JIS code for the half-width katakana at text[i],
// combined with a following voiced or semi-voiced mark where the table has
// that form. Returns the number of bytes taken (1 or 2).
std::size_t WidenHalfwidthKana(std::string_view text, std::size_t i, std::uint16_t* sjis);

// ISO-2022-JP to Shift_JIS; `out` is emptied first; a 0xFF byte ends the
// text. Always returns 0; may throw std::bad_alloc.
int JisToSjis(std::string_view text, std::string* out);

// Shift_JIS to ISO-2022-JP, half-width katakana widened; every run of
// two-byte characters is enclosed in ESC $ B ... ESC ( B. `out` is emptied
// first; a 0xFF byte ends the text. A lead byte that ends the text is
// dropped. Always returns 0; may throw std::bad_alloc.
int SjisToJis(std::string_view text, std::string* out);

}  // namespace tarnu

#endif  // TARNU_CODEC_JIS_SJIS_H_
