// The command line's text. The verbs see every argument as UTF-8: on
// Windows the arguments arrive as UTF-16 (wmain); elsewhere their bytes are
// decoded from the locale's encoding, or from --input-encoding.
#ifndef TARNU_TOOLS_TARNU_CLI_INPUT_TEXT_H_
#define TARNU_TOOLS_TARNU_CLI_INPUT_TEXT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnu::cli {

struct InputEncoding {
  std::string name;   // as the user knows it: "UTF-8", "EUC-JP", "Shift_JIS"
  std::string iconv;  // what decodes it; empty: the bytes are UTF-8 already
};

// The code point starting at `at` and its length in bytes; 0 when the bytes
// there are not UTF-8 (overlong forms and surrogates included).
std::size_t Utf8At(std::string_view text, std::size_t at, std::uint32_t* code_point);

// The encoding named by --input-encoding (`option` not null) or by the
// locale. False when the option names an encoding this system cannot decode.
bool ChooseInputEncoding(const std::string* option, InputEncoding* encoding);

// One argument's bytes as UTF-8; false when they are not text of `encoding`.
bool DecodeArgument(std::string_view bytes, const InputEncoding& encoding, std::string* utf8);

// UTF-8 to code page 932. False for a character code page 932 has no place
// for; `character` is then that character (UTF-8) and `code` its U+XXXX.
bool ToCodePage932(std::string_view utf8, std::string* cp932, std::string* character,
                   std::string* code);

#ifdef _WIN32
// A UTF-16 argument as UTF-8; false for a lone surrogate.
bool WideToUtf8(const wchar_t* wide, std::string* utf8);
// A path argument in the code page the file functions use (the ANSI code
// page); false when it holds a character that code page cannot hold.
bool Utf8ToAnsiPath(std::string_view utf8, std::string* path);
#endif

}  // namespace tarnu::cli

#endif  // TARNU_TOOLS_TARNU_CLI_INPUT_TEXT_H_
