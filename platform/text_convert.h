// Conversion between code page 932 and UTF-8, for the console front end.
#ifndef TARNU_PLATFORM_TEXT_CONVERT_H_
#define TARNU_PLATFORM_TEXT_CONVERT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu::platform {

// Bytes that do not convert are replaced by U+FFFD (or '?' going back).
std::string Cp932ToUtf8(std::string_view text);
std::string Utf8ToCp932(std::string_view text);

// UTF-8 to code page 932 without loss. False when `text` holds a character
// code page 932 has no place for, or bytes that are not UTF-8; `*bad_at` is
// then the offset of the first one in `text`.
bool Utf8ToCp932Exact(std::string_view text, std::string* out, std::size_t* bad_at);
// UTF-8 and UTF-16, as the wide-character API of Windows takes it. A byte
// sequence that is not UTF-8 (or a lone surrogate going back) becomes
// U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_TEXT_CONVERT_H_
