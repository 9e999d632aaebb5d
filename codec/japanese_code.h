// Message bodies between the Japanese encodings, decided on the bytes alone.
#ifndef TARNU_CODEC_JAPANESE_CODE_H_
#define TARNU_CODEC_JAPANESE_CODE_H_

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
// Shift_JIS; other texts are left alone. The text never grows.
void ToShiftJis(char* text);

// In place on the NUL-terminated text in `text`: Shift_JIS and EUC-JP into
// ISO-2022-JP. The buffer must hold 3 * strlen(text) + 4 bytes.
void ToJis(char* text);

// The same on a string: the text is taken up to its first NUL, converted,
// and the string resized to the result.
void ToShiftJis(std::string* text);
void ToJis(std::string* text);

}  // namespace tarnu

#endif  // TARNU_CODEC_JAPANESE_CODE_H_
