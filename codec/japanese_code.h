// Message bodies between the Japanese encodings, decided on the bytes alone.
#ifndef TARNU_CODEC_JAPANESE_CODE_H_
#define TARNU_CODEC_JAPANESE_CODE_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu {

enum JapaneseCode : int {
  kCodePlain = 0,
  kCodeEucJp = 1,
  kCodeShiftJis = 2,
  kCodeIso2022Jp = 4,
};

// The encoding class of `text`, looking at the bytes up to the first NUL (or
// the end); the first decisive byte settles it.
int DetectJapaneseCode(std::string_view text);

// In place on the NUL-terminated text in `text`: EUC-JP and ISO-2022-JP into
// Shift_JIS; other texts are left alone. The text never grows. Bytes that
// form no character are kept as they are and never take a neighbour with
// them.
void ToShiftJis(char* text);

// Room ToJis needs for a text of `length` bytes, NUL included. Half-width
// katakana in a Shift_JIS text are widened (one byte becomes two), so the
// worst case is 4.5 * length + 4.5; texts without them (all EUC-JP texts
// among them) never need more than 3 * length + 3.
inline constexpr std::size_t ToJisBufferSize(std::size_t length) { return 5 * length + 4; }

// In place on the NUL-terminated text in `text`: Shift_JIS and EUC-JP into
// ISO-2022-JP (always 7-bit); other texts are left alone. The buffer must
// hold ToJisBufferSize(strlen(text)) bytes. May throw std::bad_alloc (it
// works on a copy).
void ToJis(char* text);

// The same on a string: the text is taken up to its first NUL, converted,
// and the string resized to the result.
void ToShiftJis(std::string* text);
void ToJis(std::string* text);

// The conversions behind ToShiftJis and ToJis with the encoding known
// instead of detected, on any bytes (a NUL is an ordinary byte).
std::string ShiftJisFromEucJp(std::string_view text);
std::string ShiftJisFromIso2022Jp(std::string_view text);
// Half-width katakana are widened; a pair without a JIS X 0208 code becomes
// the geta mark; the result is 7-bit.
std::string Iso2022JpFromShiftJis(std::string_view text);

}  // namespace tarnu

#endif  // TARNU_CODEC_JAPANESE_CODE_H_
