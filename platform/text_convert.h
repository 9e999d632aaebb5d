// The platform's charset tables, the one place tarnu converts between a
// charset and UTF-8: iconv on Linux, MultiByteToWideChar and
// WideCharToMultiByte code pages on Windows.
#ifndef TARNU_PLATFORM_TEXT_CONVERT_H_
#define TARNU_PLATFORM_TEXT_CONVERT_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tarnu::platform {

// Decodes `text` from the charset named `charset` (a MIME name in lower case,
// e.g. "windows-1252", "koi8-r", "gb18030") into UTF-8; bytes that form no
// character become U+FFFD. Returns false, leaving `out` empty, when the
// platform has no table for that charset.
bool CharsetToUtf8(std::string_view charset, std::string_view text, std::string* out);

// Encodes UTF-8 `text` into `charset`; a character the charset cannot hold
// (and every byte that is not UTF-8) becomes `replacement`, given in that
// charset. False when the platform has no table for the charset.
bool Utf8ToCharset(std::string_view charset, std::string_view text, std::string_view replacement,
                   std::string* out);

// Code page 932 and UTF-8, both ways. Going to code page 932 a character it
// lacks becomes `replacement` (code page 932 bytes).
std::string Cp932ToUtf8(std::string_view text);
std::string Utf8ToCp932(std::string_view text, std::string_view replacement = "?");

// UTF-8 to code page 932 without loss. False when `text` holds a character
// code page 932 has no place for, or bytes that are not UTF-8; `*bad_at` is
// then the offset of the first one in `text`.
bool Utf8ToCp932Exact(std::string_view text, std::string* out, std::size_t* bad_at);

#ifndef _WIN32
// `text` from iconv's encoding `from` to `to` without loss, appended to
// `out`. False when the pair is unknown (`*bad_at` 0) or `text` holds bytes
// that do not convert (`*bad_at` their offset).
bool IconvExact(const char* to, const char* from, std::string_view text, std::string* out,
                std::size_t* bad_at);
#endif

}  // namespace tarnu::platform

#endif  // TARNU_PLATFORM_TEXT_CONVERT_H_
