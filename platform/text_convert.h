// Conversion between code page 932 and UTF-8, for the console front end.
#ifndef TARNU_PLATFORM_TEXT_CONVERT_H_
#define TARNU_PLATFORM_TEXT_CONVERT_H_

#include <string>
#include <string_view>

namespace tarnu::platform {

// Bytes that do not convert are replaced by U+FFFD (or '?' going back).
std::string Cp932ToUtf8(std::string_view text);
std::string Utf8ToCp932(std::string_view text);

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_TEXT_CONVERT_H_
