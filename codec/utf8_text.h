// UTF-8 text, the form every text that comes from mail takes from the
// decoder to the screen: validity, characters, letter case, UTF-16.
#ifndef TARNU_CODEC_UTF8_TEXT_H_
#define TARNU_CODEC_UTF8_TEXT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu {

// U+FFFD, what a byte that forms no character becomes.
inline constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";

// Appends the UTF-8 form of `code_point` (U+FFFD for a surrogate or a value
// beyond U+10FFFF).
void AppendUtf8(char32_t code_point, std::string* out);

// The length of the well-formed character at text[pos], or 0 when the bytes
// there are not one (a stray byte, an overlong form, a surrogate, a
// character cut off by the end).
std::size_t Utf8CharLength(std::string_view text, std::size_t pos);

// Utf8CharLength, but 1 for a byte that starts no character: for stepping
// through any text.
std::size_t Utf8StepLength(std::string_view text, std::size_t pos);

// True when the whole text is well-formed UTF-8.
bool IsUtf8(std::string_view text);

// `text` with every ill-formed sequence replaced by one U+FFFD (each maximal
// start of a well-formed sequence, as Unicode recommends and readers do).
std::string ValidUtf8(std::string_view text);

// The longest head of `text` of at most `max_bytes` bytes that does not end
// inside a character.
std::string_view Utf8Prefix(std::string_view text, std::size_t max_bytes);

// A copy with small letters made capitals: ASCII, the full-width Latin
// letters, Greek and Cyrillic, and the Latin letters of Latin-1 and Latin
// Extended-A. Within what code page 932 holds this folds exactly what
// UpperCaseCp932 folds.
std::string UpperCaseUtf8(std::string_view text);

// UTF-16 (surrogate pairs beyond U+FFFF) and back; malformed input becomes
// U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tarnu

#endif  // TARNU_CODEC_UTF8_TEXT_H_
